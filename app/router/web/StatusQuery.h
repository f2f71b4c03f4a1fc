// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

struct Module;
class MainView;
class RouterLink;
class Prompts;

// The once-per-run look at the router's status page, run by the first tick of `Timer1`, and
// the tick itself.
class StatusQuery {
public:
    StatusQuery(Module& module, MainView& view, RouterLink& link, Prompts& prompts);

    void Timer1_Timer();
    void GetRouterFirmwareVersion();

    const QString& wanAddress() const { return wanAddress_; }

private:
    Module& module_;
    MainView& view_;
    RouterLink& link_;
    Prompts& prompts_;
    QString wanAddress_;
    bool inTick_ = false;
};

// The first dotted number that stands after a ">" and is ended by a "<", or "n/a".
QByteArray ExtractAddress(const QByteArray& sText);
// The first run of the characters "1" to "9" and ".".
QByteArray ExtractVersion(const QByteArray& sText);
// The leading number of a text: digits with at most one decimal point; 0 when there is none.
double LeadingNumber(const QByteArray& text);
