#include "router/RouterLink.h"

#include "Module.h"
#include "platform/EventPump.h"
#include "platform/RouterSocket.h"
#include "platform/Windows1252.h"
#include "router/MainView.h"

RouterAddress ParseRouterAddress(const QString& lanPrivateIp, quint16 defaultPort) {
    RouterAddress address;
    address.port = defaultPort;
    QString host = lanPrivateIp.trimmed();
    QString port;
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close < 0)
            return address;
        const QString rest = host.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return address;
            port = rest.mid(1);
        }
        host = host.mid(1, close - 1);
    } else if (host.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = host.indexOf(QLatin1Char(':'));
        port = host.mid(colon + 1);
        host.truncate(colon);
    }
    if (host.isEmpty())
        return address;
    if (!port.isNull()) {
        bool ok = false;
        const uint n = port.toUInt(&ok);
        if (!ok || n == 0 || n > 65535)
            return address;
        address.port = static_cast<quint16>(n);
    }
    address.host = host;
    address.valid = true;
    return address;
}

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
    view_.setStatusCaption(QStringLiteral("Failed"));
    view_.EnableInterface(true, false);
    return false;
}

bool RouterLink::SendRouterRequest(const QString& sRequestLine, const QString& sActivity,
                                   bool bPageRequest) {
    module_.RouterResponse.clear();
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

    module_.ResponseComplete = false;
    sckSend_.SendData(request);
    const auto complete = [this] {
        return module_.ResponseComplete || overflow_ || sckSend_.State() == SocketState::NoCarrier;
    };
    for (int pass = 0;; ++pass) {
        if (overflow_)
            return fail();
        if (module_.ResponseComplete)
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
                              bool bPageRequest, const std::function<QString()>& scan) {
    view_.setTimer1Enabled(false);
    if (!SendRouterRequest(sRequestLine, sActivity, bPageRequest)) {
        view_.setTimer1Enabled(true);
        return false;
    }
    view_.setStatusCaption(scan());
    view_.EnableInterface(true, false);
    view_.setTimer1Enabled(true);
    return true;
}

void RouterLink::ShowStatus() {
    const int state = sckSend_.State();
    const QString word = socketStateWord(state);
    if (!word.isEmpty())
        view_.setSendStatusCaption(word);
    if (state == SocketState::NoCarrier)
        module_.ResponseComplete = true;
}

void RouterLink::DataArrival(qint64 bytesTotal) {
    if (sckSend_.State() != SocketState::Connected)
        return;
    if (bytesTotal == 0) {
        module_.ResponseComplete = true;
        return;
    }
    const QByteArray data = sckSend_.GetData();
    if (module_.RouterResponse.size() + data.size() > MaxResponseBytes) {
        overflow_ = true;
        pump_.wake();
        return;
    }
    module_.RouterResponse += data;
}

void RouterLink::WaitSeconds(int nSeconds, const std::function<bool()>& done) {
    pump_.DoEvents();
    for (int i = 0; i < nSeconds && !(done && done()); ++i)
        pump_.WaitPass(done);
}

QByteArray RemoveSpaces(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != ' ')
            out += c;
    return out;
}

QString RemoveSpaces(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c != QLatin1Char(' '))
            out += c;
    return out;
}
