// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/HttpExchange.h"

#include "router/upnp/Soap.h"
#include "router/upnp/Ssdp.h"

#include <QNetworkProxy>
#include <QTcpSocket>

bool SameHost(const QString& a, const QString& b) {
    const QHostAddress x(a);
    const QHostAddress y(b);
    if (!x.isNull() && !y.isNull())
        return x.isEqual(y, QHostAddress::TolerantConversion);
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

HttpResponseReader::State HttpResponseReader::fail(State why) {
    state_ = why;
    pending_.clear();
    at_ = 0;
    return state_;
}

bool HttpResponseReader::takeLine(QByteArray& line, qsizetype maxLength) {
    const qsizetype nl = pending_.indexOf('\n', at_);
    if (nl < 0) {
        if (pending_.size() - at_ > maxLength)
            fail(State::Malformed);
        return false;
    }
    if (nl - at_ > maxLength) {
        fail(State::Malformed);
        return false;
    }
    line = pending_.mid(at_, nl - at_);
    if (line.endsWith('\r'))
        line.chop(1);
    at_ = nl + 1;
    return true;
}

bool HttpResponseReader::parseHeaders() {
    // Interim 1xx answers come before the real one; the loop drops them.
    for (;;) {
        at_ = 0;
        QByteArray line;
        if (!takeLine(line, MaxHeaderBytes))
            return false;
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        const int status = parts.size() >= 2 ? parts.at(1).toInt(&ok) : 0;
        if (!line.startsWith("HTTP/1.") || !ok || status < 100 || status > 599 ||
            parts.at(1).size() != 3) {
            fail(State::Malformed);
            return false;
        }
        qint64 length = -1;
        bool chunked = false;
        for (;;) {
            if (!takeLine(line, MaxHeaderBytes)) {
                at_ = 0;
                return false;
            }
            if (at_ > MaxHeaderBytes) {
                fail(State::Malformed);
                return false;
            }
            if (line.isEmpty())
                break;
            const std::optional<HeaderField> field = SplitHeaderLine(line);
            if (!field)
                continue;
            const QByteArray& name = field->name;
            const QByteArray& value = field->value;
            if (name == "content-length") {
                const qint64 n = value.toLongLong(&ok);
                if (!ok || n < 0 || value.startsWith('+') || (length >= 0 && length != n)) {
                    fail(State::Malformed);
                    return false;
                }
                length = n;
            } else if (name == "transfer-encoding") {
                const QByteArray coding = value.toLower();
                if (coding == "chunked")
                    chunked = true;
                else if (coding != "identity") {
                    fail(State::Malformed);
                    return false;
                }
            }
        }
        if (status < 200) {
            pending_.remove(0, at_);
            continue;
        }
        status_ = status;
        state_ = State::Body;
        if (status == 204 || status == 304) {
            state_ = State::Done;
        } else if (chunked) {
            framing_ = Framing::Chunked;
        } else if (length >= 0) {
            framing_ = Framing::Length;
            remaining_ = length;
            if (length > bodyLimit_) {
                fail(State::TooLarge);
                return false;
            }
            if (length == 0)
                state_ = State::Done;
        } else {
            framing_ = Framing::Close;
        }
        return true;
    }
}

void HttpResponseReader::parseBody() {
    while (state_ == State::Body && at_ < pending_.size()) {
        const qsizetype available = pending_.size() - at_;
        if (framing_ == Framing::Close) {
            if (body_.size() + available > bodyLimit_) {
                fail(State::TooLarge);
                return;
            }
            body_.append(pending_.constData() + at_, available);
            at_ = pending_.size();
        } else if (framing_ == Framing::Length ||
                   (framing_ == Framing::Chunked && chunk_ == Chunk::Data)) {
            const qsizetype take = qsizetype(std::min<qint64>(remaining_, available));
            body_.append(pending_.constData() + at_, take);
            at_ += take;
            remaining_ -= take;
            if (remaining_ == 0) {
                if (framing_ == Framing::Length)
                    state_ = State::Done;
                else
                    chunk_ = Chunk::DataEnd;
            }
        } else if (chunk_ == Chunk::Size) {
            QByteArray line;
            if (!takeLine(line, 1024))
                return;
            const qsizetype extension = line.indexOf(';');
            const QByteArray hex = (extension < 0 ? line : line.left(extension)).trimmed();
            bool ok = hex.size() <= 8 && !hex.isEmpty();
            const qint64 size = ok ? hex.toLongLong(&ok, 16) : 0;
            if (!ok || size < 0 || hex.startsWith('+') || hex.startsWith('-')) {
                fail(State::Malformed);
                return;
            }
            if (body_.size() + size > bodyLimit_) {
                fail(State::TooLarge);
                return;
            }
            remaining_ = size;
            chunk_ = size == 0 ? Chunk::Trailer : Chunk::Data;
        } else if (chunk_ == Chunk::DataEnd) {
            QByteArray line;
            if (!takeLine(line, 2))
                return;
            if (!line.isEmpty()) {
                fail(State::Malformed);
                return;
            }
            chunk_ = Chunk::Size;
        } else {
            const qsizetype before = at_;
            QByteArray line;
            if (!takeLine(line, MaxHeaderBytes))
                return;
            trailerBytes_ += at_ - before;
            if (trailerBytes_ > MaxHeaderBytes) {
                fail(State::Malformed);
                return;
            }
            if (line.isEmpty())
                state_ = State::Done;
        }
    }
}

HttpResponseReader::State HttpResponseReader::feed(QByteArrayView data) {
    if (state_ != State::Headers && state_ != State::Body)
        return state_;
    pending_.append(data.data(), data.size());
    if (state_ == State::Headers) {
        if (!parseHeaders()) {
            if (state_ == State::Headers && pending_.size() > MaxHeaderBytes)
                fail(State::Malformed);
            return state_;
        }
    }
    parseBody();
    if (state_ == State::Body) {
        pending_.remove(0, at_);
        at_ = 0;
    }
    return state_;
}

HttpResponseReader::State HttpResponseReader::finish() {
    if (state_ == State::Body && framing_ == Framing::Close)
        state_ = State::Done;
    else if (state_ == State::Headers || state_ == State::Body)
        fail(State::Malformed);
    return state_;
}

QByteArray BuildGetRequest(const QUrl& url) {
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return "GET " + target + " HTTP/1.1\r\nHost: " + HostHeader(url) +
           "\r\nConnection: close\r\nUser-Agent: " + QByteArray(UpnpUserAgent) + "\r\n\r\n";
}

HttpExchange::HttpExchange(QObject* parent) : QObject(parent) {
    connectTimer_.setSingleShot(true);
    totalTimer_.setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        if (!connected_)
            finish(HttpResult::Outcome::TimedOut);
    });
    connect(&totalTimer_, &QTimer::timeout, this,
            [this] { finish(HttpResult::Outcome::TimedOut); });
}

HttpExchange::~HttpExchange() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
}

bool HttpExchange::start(const QHostAddress& router, const QUrl& url, const QByteArray& request,
                         const HttpLimits& limits) {
    if (busy_)
        return false;
    result_ = HttpResult{};
    if (router.isNull() || url.scheme() != QLatin1String("http") ||
        !SameHost(url.host(), router.toString()) || request.isEmpty())
        return false;
    // The last exchange's socket is gone from every signal by now, so it can go at once.
    socket_ = std::make_unique<QTcpSocket>();
    // Router traffic never goes through a proxy, whatever the desktop sets.
    socket_->setProxy(QNetworkProxy::NoProxy);
    // The router checks a pinhole request against its sender: from another address it would
    // be refused, or open the pinhole for the wrong computer, so it does not go at all.
    if (!source_.isNull() && !socket_->bind(source_, 0)) {
        socket_.reset();
        result_.outcome = HttpResult::Outcome::Unreachable;
        return false;
    }
    reader_ = HttpResponseReader(limits.bodyLimit);
    request_ = request;
    connected_ = false;
    busy_ = true;
    connect(socket_.get(), &QTcpSocket::connected, this, &HttpExchange::onConnected);
    connect(socket_.get(), &QTcpSocket::readyRead, this, &HttpExchange::onReadyRead);
    connect(socket_.get(), &QTcpSocket::disconnected, this, &HttpExchange::onClosed);
    connect(socket_.get(), &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (connected_ && error == QAbstractSocket::RemoteHostClosedError)
                    onClosed();
                else
                    finish(connected_ ? HttpResult::Outcome::Malformed
                                      : HttpResult::Outcome::Unreachable);
            });
    connectTimer_.start(limits.connect);
    totalTimer_.start(limits.total);
    socket_->connectToHost(router, quint16(url.port(80)));
    return true;
}

void HttpExchange::cancel() {
    finish(HttpResult::Outcome::TimedOut);
}

void HttpExchange::onConnected() {
    connected_ = true;
    connectTimer_.stop();
    socket_->write(request_);
}

void HttpExchange::onReadyRead() {
    const QByteArray data = socket_->readAll();
    switch (reader_.feed(data)) {
    case HttpResponseReader::State::Done:
        finish(HttpResult::Outcome::Done);
        break;
    case HttpResponseReader::State::TooLarge:
        finish(HttpResult::Outcome::TooLarge);
        break;
    case HttpResponseReader::State::Malformed:
        finish(HttpResult::Outcome::Malformed);
        break;
    default:
        break;
    }
}

void HttpExchange::onClosed() {
    if (!busy_)
        return;
    if (socket_->bytesAvailable() > 0)
        onReadyRead();
    if (!busy_)
        return;
    switch (reader_.finish()) {
    case HttpResponseReader::State::Done:
        finish(HttpResult::Outcome::Done);
        break;
    case HttpResponseReader::State::TooLarge:
        finish(HttpResult::Outcome::TooLarge);
        break;
    default:
        finish(HttpResult::Outcome::Malformed);
    }
}

void HttpExchange::finish(HttpResult::Outcome outcome) {
    if (!busy_)
        return;
    busy_ = false;
    connectTimer_.stop();
    totalTimer_.stop();
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
    }
    result_.outcome = outcome;
    if (outcome == HttpResult::Outcome::Done) {
        result_.status = reader_.status();
        result_.body = reader_.body();
    }
    emit finished();
}
