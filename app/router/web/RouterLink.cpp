// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/RouterLink.h"

#include "Module.h"
#include "platform/EventPump.h"
#include "platform/RouterSocket.h"
#include "platform/Windows1252.h"
#include "router/MainView.h"
#include "router/net/RouterAddress.h"

RouterLink::RouterLink(Module& module, MainView& view, RouterSocket& sckSend, EventPump& pump,
                       QObject* parent)
    : QObject(parent), module_(module), view_(view), sckSend_(sckSend), pump_(pump) {
    pump_.watch(sckSend_);
    connect(&sckSend_, &RouterSocket::dataArrival, this, &RouterLink::DataArrival);
}

QByteArray RouterLink::BuildRequest(const QString& sRequestLine, bool bPageRequest) const {
    QByteArray credentials;
    try {
        const std::u16string encoded = module_.codec->Encode(
            (QStringLiteral(":") + module_.settings.Password).toStdU16String());
        credentials = QString::fromStdU16String(encoded).toLatin1();
    } catch (const Base64Error&) {
        return {};
    }
    // The encoder breaks long output into lines, which would split the header in two.
    credentials.replace("\r", "").replace("\n", "");

    // The router reads Windows-1252, as the INI file is written. A character the code page
    // lacks must not go out as '?', which the router takes for the start of a slot group.
    const QString& address = module_.settings.LanPrivateIP;
    if (!FirstCharacterNotInWindows1252(sRequestLine).isEmpty() ||
        !FirstCharacterNotInWindows1252(address).isEmpty())
        return {};
    const QByteArray router = ToWindows1252(address);
    QByteArray request = ToWindows1252(sRequestLine);
    request += '\r';
    if (bPageRequest)
        request += "Host: " + router + "\rConnection: Keep-Alive\r";
    else
        request += router + '\r';
    request += "Authorization: Basic " + credentials + "\r\r";
    return request;
}

bool RouterLink::fail() {
    sckSend_.Close();
    showOutcome(Outcome::Failed);
    view_.EnableInterface(true, false);
    return false;
}

void RouterLink::showOutcome(Outcome outcome) {
    outcome_ = outcome;
    view_.showOutcome(outcome);
}

bool RouterLink::SendRouterRequest(const QString& sRequestLine, const QString& sActivity,
                                   bool bPageRequest) {
    RouterResponse.clear();
    overflow_ = false;
    const QByteArray request = BuildRequest(sRequestLine, bPageRequest);
    view_.setStatusCaption(sActivity);
    view_.EnableInterface(false, false);

    const RouterAddress address = ParseRouterAddress(module_.settings.LanPrivateIP);
    if (address.valid && !request.isEmpty()) {
        sckSend_.Connect(address.host, address.port);
        const auto settled = [this] {
            const int s = sckSend_.State();
            return s == SocketState::Connected || s == SocketState::Error;
        };
        for (int pass = 0; !settled() && pass < MaxPasses; ++pass) {
            ShowStatus();
            WaitSeconds(1, settled);
        }
    }
    if (bPageRequest)
        module_.LocalIpAddress = sckSend_.LocalIP();
    if (sckSend_.State() != SocketState::Connected)
        return fail();

    ResponseComplete = false;
    sckSend_.SendData(request);
    const auto complete = [this] {
        return ResponseComplete || overflow_ || sckSend_.State() == SocketState::NoCarrier;
    };
    for (int pass = 0;; ++pass) {
        if (overflow_)
            return fail();
        if (ResponseComplete)
            break;
        if (pass >= MaxPasses)
            return fail();
        ShowStatus();
        WaitSeconds(1, complete);
    }
    sckSend_.Close();
    return true;
}

bool RouterLink::RunOperation(const QString& sRequestLine, const QString& sActivity,
                              bool bPageRequest, const std::function<Outcome()>& scan) {
    view_.setTimer1Enabled(false);
    if (!SendRouterRequest(sRequestLine, sActivity, bPageRequest)) {
        view_.setTimer1Enabled(true);
        return false;
    }
    showOutcome(scan());
    view_.EnableInterface(true, false);
    view_.setTimer1Enabled(true);
    return true;
}

void RouterLink::ShowStatus() {
    const int state = sckSend_.State();
    if (state >= SocketState::Closed && state <= SocketState::Error)
        view_.showSendState(state);
    if (state == SocketState::NoCarrier)
        ResponseComplete = true;
}

void RouterLink::DataArrival(qint64 bytesTotal) {
    if (sckSend_.State() != SocketState::Connected)
        return;
    if (bytesTotal == 0) {
        ResponseComplete = true;
        return;
    }
    const QByteArray data = sckSend_.GetData();
    if (RouterResponse.size() + data.size() > MaxResponseBytes) {
        overflow_ = true;
        pump_.wake();
        return;
    }
    RouterResponse += data;
}

void RouterLink::WaitSeconds(int nSeconds, const std::function<bool()>& done) {
    pump_.DoEvents();
    for (int i = 0; i < nSeconds && !(done && done()); ++i)
        pump_.WaitPass(done);
}
