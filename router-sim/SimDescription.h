// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A root description the UPnP simulator serves as it is (a real router's, or a test's own):
// where its connection services' controls are, so that requests to them are answered.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// A description file is refused beyond this size.
inline constexpr qsizetype MaxSimDescriptionBytes = 1024 * 1024;

struct SimControl {
    QString serviceType;
    QUrl url; // resolved as a client resolves it, the host left as written
};

struct SimDescription {
    QByteArray document;
    QString deviceType; // the root device's
    QString udn;        // the root device's
    QString urlBase;
    QList<std::pair<QString, QString>> connections; // service type, control URL as written

    int igdVersion() const;
    // The controls, resolved against URLBase or else against the LOCATION it is served at.
    QList<SimControl> controls(const QUrl& location) const;
};

// The document of a file's bytes (after an HTTP head when it starts with one), read by its
// tags as a broken one must be. Nothing when it names no WANIPConnection or WANPPPConnection.
std::optional<SimDescription> ReadSimDescription(const QByteArray& bytes);

// The bytes of a captured HTTP answer that come after its head; the bytes themselves when
// they are no HTTP answer.
QByteArray HttpBodyOf(const QByteArray& bytes);
