// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The HTTP the simulated web and UPnP routers share: framing a request, building an answer and
// a loopback server that takes one request a connection, logs it and answers; and the request
// log and clock every simulated router uses.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

// Where a request's header block ends (one past the blank line), or -1 while it is incomplete.
// Lines may end in CR alone, CR LF or LF.
qsizetype RequestEnd(const QByteArray& data);

// What the bytes a connection has sent so far amount to.
struct SimFrame {
    enum Kind {
        Incomplete, // wait for more
        Complete,   // a request of `length` bytes
        Refused,    // answered with `status`, as no request
        Dropped,    // the connection is reset without an answer
    };
    Kind kind = Incomplete;
    qsizetype length = 0;
    QByteArray status;
};

namespace SimHttp {

// The lines of a request up to its blank line, each ending as RequestEnd allows.
QList<QByteArray> requestLines(const QByteArray& request);

// A request that is its header block alone, lines ending in any way (the web kind's firmware);
// beyond `maxBytes` without its end the connection is dropped.
SimFrame frameHead(const QByteArray& received, qsizetype maxBytes);

struct Header {
    QByteArray name; // lower case
    QByteArray value;
};

// A request line and its headers, lines ending in CR LF or LF only.
struct Head {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<Header> headers;
    qsizetype end = -1; // first byte after the blank line

    QByteArray value(const QByteArray& name, bool* present = nullptr) const;
};

// Where the header block ends, or -1 while the blank line has not come.
qsizetype headEnd(const QByteArray& data);
// The lines of a block whose lines end in LF or CR LF.
QList<QByteArray> splitLines(const QByteArray& block);
// False for a head that is incomplete (head.end < 0) or malformed.
bool parseHead(const QByteArray& data, Head& head);

// A head and the body its Content-Length announces (the UPnP kind), refused with 400, 413 or
// 431 when it cannot be read or is larger than the bounds.
SimFrame frameMessage(const QByteArray& received, qsizetype maxHead, qsizetype maxBody);

// `head` is the status line and the header lines before the length, `tail` those after it, each
// line ending in CR LF.
QByteArray answer(const QByteArray& head, const QByteArray& tail, const QByteArray& body);

} // namespace SimHttp

namespace Sim {

// Appends one entry and a line end to the file; nothing without a path.
void appendToLog(const QString& path, const QByteArray& entry);

// The simulated routers' default clock: seconds that never go backwards.
qint64 steadySeconds();

} // namespace Sim

// How a simulated router treats a connection once a request is complete; asked again for every
// request, so that the router's options may change while it runs.
struct SimConduct {
    bool silent = false;   // log the request, never answer it
    int delayMs = 0;       // wait this long before answering
    bool keepOpen = false; // answer, but never close the connection
    QString logPath;       // append every request, byte for byte
};

// The router-specific parts of a SimHttpServer.
struct SimHttpSite {
    std::function<SimFrame(const QByteArray& received)> frame = {};
    std::function<QByteArray(const QByteArray& request, const QHostAddress& peer)> respond = {};
    // The answer to a request that cannot be read, by its status.
    std::function<QByteArray(const QByteArray& status)> refuse = {};
    std::function<SimConduct()> conduct = {};
    int idleTimeoutMs = 0; // 0: a connection may stay idle for ever
};

// One request a connection on a loopback address: what follows the request is read and ignored.
class SimHttpServer : public QObject {
    Q_OBJECT
public:
    explicit SimHttpServer(SimHttpSite site, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    void close();
    QHostAddress address() const;
    quint16 port() const;

    // Every complete request received, in order.
    const QList<QByteArray>& requests() const { return requests_; }

signals:
    void requestReceived(const QByteArray& request);

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);

    SimHttpSite site_;
    QTcpServer* server_;
    QList<QByteArray> requests_;
};
