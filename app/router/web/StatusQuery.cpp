// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/StatusQuery.h"

#include "Module.h"
#include "platform/Prompts.h"
#include "platform/RouterSocket.h"
#include "router/ListOps.h"
#include "router/MainView.h"
#include "router/Router.h"
#include "router/web/RouterLink.h"

#include <QCoreApplication>
#include <QScopedValueRollback>

StatusQuery::StatusQuery(Module& module, MainView& view, RouterLink& link, Prompts& prompts)
    : module_(module), view_(view), link_(link), prompts_(prompts) {}

void StatusQuery::Timer1_Timer() {
    // Ticks that fall due while the query waits for the router are dropped.
    if (inTick_)
        return;
    const QScopedValueRollback<bool> busy(inTick_, true);

    if (module_.StatusQueryPending) {
        GetRouterFirmwareVersion();
        module_.StatusQueryPending = false;
        view_.setTimer1Interval(100);
        if (!module_.RouterFound)
            return EndForNoRouter(view_, prompts_, true);
    }
    link_.ShowStatus();
}

void StatusQuery::GetRouterFirmwareVersion() {
    if (!link_.SendRouterRequest(QStringLiteral("GET /Status.htm HTTP/1.1"),
                                 QStringLiteral(QT_TRANSLATE_NOOP("Status", "Req Ver")), true))
        return;
    link_.RouterResponse = RemoveSpaces(link_.RouterResponse);
    const QByteArray& r = link_.RouterResponse;

    const qsizetype mac = r.indexOf("MACAddress:");
    QByteArray s = mac >= 0 ? r.mid(mac + 11) : QByteArray();
    qsizetype q = s.indexOf("IPAddress:");
    if (q >= 0) {
        // The first label after the MAC address is the LAN side; the WAN side follows.
        s = s.mid(q + 10 + 1);
        q = s.indexOf("IPAddress:");
        if (q >= 0) {
            wanAddress_ = QString::fromLatin1(ExtractAddress(s.mid(q + 1)));
            view_.setWanAddressCaption(wanAddress_);
        }
    }
    if (!module_.LocalIpAddress.isEmpty() && !wanAddress_.isEmpty())
        module_.RouterFound = true;

    const auto failed = [this] {
        link_.socket().Close();
        link_.showOutcome(Outcome::Failed);
        view_.EnableInterface(true, false);
    };
    const qsizetype f = r.indexOf("FirmwareVersion");
    if (f < 0)
        return failed();
    const QByteArray firmware = r.mid(f);
    qsizetype year = -1;
    for (const char* y : {"2000", "2001", "2002", "2003", "2004", "2005"}) {
        year = firmware.indexOf(y);
        if (year >= 0)
            break;
    }
    if (year < 0)
        return failed();
    const QByteArray version = ExtractVersion(firmware.mid(std::max<qsizetype>(0, year - 16)));
    if (LeadingNumber(version) > 0)
        view_.setStatusBarText(
            QCoreApplication::translate("Router", "Linksys Router Firmware Version ") +
            QString::fromLatin1(version));
    link_.showOutcome(Outcome::Completed);
    view_.EnableInterface(true, false);
}

QByteArray ExtractAddress(const QByteArray& sText) {
    QByteArray result;
    bool afterTag = false;
    int dots = 0;
    for (const char c : sText) {
        if (c == '>') {
            afterTag = true;
        } else if ((c >= '0' && c <= '9') || c == '.') {
            if (afterTag) {
                result += c;
                dots += c == '.' ? 1 : 0;
            }
        } else if (c == '<') {
            if (afterTag && dots > 2)
                return result;
            afterTag = false;
            dots = 0;
        }
    }
    return QByteArrayLiteral("n/a");
}

QByteArray ExtractVersion(const QByteArray& sText) {
    QByteArray result;
    for (const char c : sText) {
        if ((c >= '1' && c <= '9') || c == '.')
            result += c;
        else if (!result.isEmpty())
            break;
    }
    return result;
}

double LeadingNumber(const QByteArray& text) {
    qsizetype end = 0;
    bool point = false;
    while (end < text.size()) {
        const char c = text[end];
        if (c == '.' && !point)
            point = true;
        else if (c < '0' || c > '9')
            break;
        ++end;
    }
    bool ok = false;
    const double value = text.left(end).toDouble(&ok);
    return ok ? value : 0.0;
}
