// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

class QTcpSocket;

// Reads one HTTP/1.x response as its bytes arrive: Content-Length, chunked and
// close-delimited bodies, interim 1xx answers skipped. Sizes are bounded throughout.
class HttpResponseReader {
public:
    enum class State { Headers, Body, Done, TooLarge, Malformed };
    static constexpr qsizetype MaxHeaderBytes = 16 * 1024;

    explicit HttpResponseReader(qsizetype bodyLimit = 0) : bodyLimit_(bodyLimit) {}

    State feed(QByteArrayView data);
    // The peer closed: a close-delimited body ends here, anything unfinished is broken.
    State finish();

    State state() const { return state_; }
    int status() const { return status_; }
    const QByteArray& body() const { return body_; }

private:
    enum class Framing { Length, Chunked, Close };
    enum class Chunk { Size, Data, DataEnd, Trailer };

    bool parseHeaders();
    void parseBody();
    bool takeLine(QByteArray& line, qsizetype maxLength);
    State fail(State why);

    qsizetype bodyLimit_;
    State state_ = State::Headers;
    Framing framing_ = Framing::Close;
    Chunk chunk_ = Chunk::Size;
    QByteArray pending_;
    qsizetype at_ = 0; // read position in pending_ while the body is parsed
    qint64 remaining_ = 0;
    qsizetype trailerBytes_ = 0;
    int status_ = 0;
    QByteArray body_;
};

struct HttpLimits {
    std::chrono::milliseconds connect{2000};
    std::chrono::milliseconds total{8000};
    qsizetype bodyLimit = 64 * 1024;
};

struct HttpResult {
    enum class Outcome { Done, Unreachable, TimedOut, TooLarge, Malformed, Refused };
    Outcome outcome = Outcome::Refused;
    int status = 0;
    QByteArray body;
};

// A GET for the device description, CR LF, Host with its port, no cookies or credentials.
QByteArray BuildGetRequest(const QUrl& url);

// One HTTP exchange at a time with the router, over a plain QTcpSocket with no proxy: the
// request bytes go out exactly as built, redirects and authentication are answers like any
// other and never followed, and the body is capped as it arrives.
class HttpExchange : public QObject {
    Q_OBJECT
public:
    explicit HttpExchange(QObject* parent = nullptr);
    ~HttpExchange() override;

    // Sends `request` to `router` at the URL's port. Refused (false, result Refused) when the
    // URL is not http, names another host than the router, or an exchange is in flight.
    bool start(const QHostAddress& router, const QUrl& url, const QByteArray& request,
               const HttpLimits& limits);
    void cancel();
    // Later exchanges leave from `source` (null: the kernel's choice), or not at all when it
    // cannot be bound (false, result Unreachable). IPv6 gateways take pinhole requests only
    // from the address the pinhole is for.
    void setSource(const QHostAddress& source) { source_ = source; }

    bool busy() const { return busy_; }
    const HttpResult& result() const { return result_; }

signals:
    void finished();

private:
    void onConnected();
    void onReadyRead();
    void onClosed();
    void finish(HttpResult::Outcome outcome);

    std::unique_ptr<QTcpSocket> socket_;
    QTimer connectTimer_;
    QTimer totalTimer_;
    HttpResponseReader reader_;
    QByteArray request_;
    HttpResult result_;
    bool busy_ = false;
    bool connected_ = false;
    QHostAddress source_;
};

// Same address, IPv4-mapped IPv6 and plain IPv4 counted alike; names compared without case.
bool SameHost(const QString& a, const QString& b);
