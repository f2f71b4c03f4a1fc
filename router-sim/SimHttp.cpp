// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP side the simulated web and UPnP routers share: request framing in both firmwares'
// manners, the answer's frame, and the server that logs each request and answers it.
#include "SimHttp.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <utility>

qsizetype RequestEnd(const QByteArray& data) {
    qsizetype lineStart = 0;
    bool sawLine = false;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        const bool blank = i == lineStart;
        qsizetype next = i + 1;
        if (c == '\r' && next < data.size() && data[next] == '\n')
            ++next;
        if (blank && sawLine)
            return next;
        sawLine = sawLine || !blank;
        lineStart = next;
        i = next - 1;
    }
    return -1;
}

namespace SimHttp {

QList<QByteArray> requestLines(const QByteArray& request) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < request.size(); ++i) {
        const char c = request[i];
        if (c != '\r' && c != '\n')
            continue;
        lines << request.mid(start, i - start);
        if (c == '\r' && i + 1 < request.size() && request[i + 1] == '\n')
            ++i;
        start = i + 1;
        if (lines.back().isEmpty() && lines.size() > 1)
            break;
    }
    return lines;
}

SimFrame frameHead(const QByteArray& received, qsizetype maxBytes) {
    qsizetype end = RequestEnd(received);
    // A client that ends its lines in CR LF may still owe the last LF; closing before it comes
    // would make the kernel reset the connection under the client's unread answer.
    if (end == received.size() && received.endsWith('\r') && received.contains("\r\n"))
        end = -1;
    if (end < 0)
        return {received.size() > maxBytes ? SimFrame::Dropped : SimFrame::Incomplete, 0, {}};
    return {SimFrame::Complete, end, {}};
}

QByteArray Head::value(const QByteArray& name, bool* present) const {
    for (const Header& h : headers) {
        if (h.name == name) {
            if (present)
                *present = true;
            return h.value;
        }
    }
    if (present)
        *present = false;
    return {};
}

qsizetype headEnd(const QByteArray& data) {
    const qsizetype crlf = data.indexOf("\r\n\r\n");
    const qsizetype lf = data.indexOf("\n\n");
    if (crlf < 0 && lf < 0)
        return -1;
    if (lf < 0 || (crlf >= 0 && crlf + 2 <= lf))
        return crlf + 4;
    return lf + 2;
}

QList<QByteArray> splitLines(const QByteArray& block) {
    QList<QByteArray> lines = block.split('\n');
    for (QByteArray& l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    return lines;
}

bool parseHead(const QByteArray& data, Head& head) {
    head.end = headEnd(data);
    if (head.end < 0)
        return false;
    const QList<QByteArray> lines = splitLines(data.left(head.end));
    const QList<QByteArray> words = lines.value(0).split(' ');
    if (words.size() != 3)
        return false;
    head.method = words[0];
    head.target = words[1];
    head.version = words[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            return false;
        head.headers.append(
            {lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed()});
    }
    return true;
}

SimFrame frameMessage(const QByteArray& received, qsizetype maxHead, qsizetype maxBody) {
    const auto refuse = [](const char* status) {
        return SimFrame{SimFrame::Refused, 0, QByteArray(status)};
    };
    Head head;
    if (!parseHead(received, head)) {
        if (head.end >= 0)
            return refuse("400 Bad Request");
        if (received.size() > maxHead)
            return refuse("431 Request Header Fields Too Large");
        return {};
    }
    if (head.end > maxHead)
        return refuse("431 Request Header Fields Too Large");
    qsizetype length = 0;
    bool hasLength = false;
    const QByteArray lengthText = head.value("content-length", &hasLength);
    if (hasLength) {
        bool ok = false;
        length = lengthText.toLongLong(&ok);
        if (!ok || length < 0)
            return refuse("400 Bad Request");
        if (length > maxBody)
            return refuse("413 Payload Too Large");
    }
    if (received.size() < head.end + length)
        return {};
    return {SimFrame::Complete, head.end + length, {}};
}

QByteArray answer(const QByteArray& head, const QByteArray& tail, const QByteArray& body) {
    return head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n" + tail + "\r\n" +
           body;
}

} // namespace SimHttp

namespace Sim {

void appendToLog(const QString& path, const QByteArray& entry) {
    if (path.isEmpty())
        return;
    QFile log(path);
    if (log.open(QIODevice::Append))
        log.write(entry + "\n");
}

qint64 steadySeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace Sim

SimHttpServer::SimHttpServer(SimHttpSite site, QObject* parent)
    : QObject(parent), site_(std::move(site)), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &SimHttpServer::onConnection);
}

bool SimHttpServer::listen(const QHostAddress& address, quint16 port) {
    return server_->listen(address, port);
}

void SimHttpServer::close() {
    server_->close();
}

QHostAddress SimHttpServer::address() const {
    return server_->serverAddress();
}

quint16 SimHttpServer::port() const {
    return server_->serverPort();
}

void SimHttpServer::onConnection() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its request does not hold the connection for ever.
        if (site_.idleTimeoutMs > 0)
            QTimer::singleShot(site_.idleTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void SimHttpServer::onReadable(QTcpSocket* socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    const QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const SimFrame frame = site_.frame(buffer);
    switch (frame.kind) {
    case SimFrame::Incomplete:
        socket->setProperty("buffer", buffer);
        return;
    case SimFrame::Dropped:
        socket->abort();
        return;
    case SimFrame::Refused:
    case SimFrame::Complete:
        break;
    }
    socket->setProperty("answered", true);
    socket->setProperty("buffer", QByteArray());
    if (frame.kind == SimFrame::Refused) {
        socket->write(site_.refuse(frame.status));
        socket->disconnectFromHost();
        return;
    }

    const QByteArray request = buffer.left(frame.length);
    requests_ << request;
    Sim::appendToLog(site_.conduct().logPath, request);
    emit requestReceived(request);
    const SimConduct conduct = site_.conduct();
    if (conduct.silent)
        return;

    const QByteArray reply = site_.respond(request, socket->peerAddress());
    const auto send = [this, socket, reply] {
        socket->write(reply);
        if (!site_.conduct().keepOpen)
            socket->disconnectFromHost();
    };
    if (conduct.delayMs > 0)
        QTimer::singleShot(conduct.delayMs, socket, send);
    else
        send();
}
