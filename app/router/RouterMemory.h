// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the last run learnt about the router (where its description and control URL are, the
// service, the IGD version, its boot identity; for PCP and NAT-PMP the address and protocol),
// so that the next run talks to it at once instead of searching again. `Harborly.router`
// beside Harborly.leases: "kind.key=value" lines, owner-only, replaced whole (AtomicFile), one
// set per kind (the automatic kind remembers its choice, the kind chosen its router). It saves
// a search and nothing more: the first exchange checks it, and a router that does not answer
// there, or answers as another one (another UDN in its description), makes the caller forget it and
// search as before.

#include <QMap>
#include <QString>

class RouterMemory {
public:
    using Values = QMap<QString, QString>;

    explicit RouterMemory(QString path) : path_(std::move(path)) {}
    // Harborly.router beside the INI file; empty when the INI path is.
    static QString pathFor(const QString& iniPath);

    // What was saved for this kind and router address; empty when nothing was, or for
    // another.
    Values load(const QString& kind, const QString& target) const;
    bool save(const QString& kind, const QString& target, const Values& values) const;
    void forget(const QString& kind) const;

private:
    QString path_;
};
