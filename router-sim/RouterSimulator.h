// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The web kind's simulated router (Linksys style): pages, Basic authentication and the
// Gozila.cgi commands, over HTTP/1.0 on a loopback address.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <array>

class SimHttpServer;

struct SimOptions {
    QString password = QStringLiteral("admin");
    bool keepOpen = false;     // answer, but never close the connection
    int delayMs = 0;           // wait this long before answering
    bool silent = false;       // read the request, never answer
    bool quotedFields = false; // write the form's attribute values in quotes
    QString logPath;           // append every request received, byte for byte
};

// One of the router's ten forwarding slots.
struct SimForward {
    QString name;
    int from = 0;
    int to = 0;
    bool tcp = false;
    bool udp = false;
    QString ip; // last number of the target computer's address
    bool enabled = false;

    bool operator==(const SimForward&) const = default;
};

// A home router of the kind Harborly drives, on a loopback address: Basic authentication,
// the status, forwarding and DMZ pages, and Gozila.cgi commands that change its slots and
// DMZ host. Every answer ends with the router closing the connection.
class RouterSimulator : public QObject {
    Q_OBJECT
public:
    static constexpr int SlotCount = 10;

    explicit RouterSimulator(SimOptions options = {}, QObject* parent = nullptr);
    ~RouterSimulator() override;

    // Loopback addresses only; port 0 picks a free one.
    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const;
    QHostAddress address() const;
    // "127.0.0.1:<port>", ready for LanPrivateIP.
    QString hostAndPort() const;

    const SimOptions& options() const { return options_; }
    void setOptions(const SimOptions& options) { options_ = options; }

    const std::array<SimForward, SlotCount>& forwards() const { return forwards_; }
    void setForward(int slot, const SimForward& forward) { forwards_.at(slot) = forward; }
    QString dmzHost() const { return dmzHost_; } // "0" when off
    QString wanAddress() const { return QStringLiteral("24.61.118.42"); }
    QString lanAddress() const { return QStringLiteral("192.168.1.1"); }
    QString macAddress() const { return QStringLiteral("00-06-25-0A-1B-2C"); }
    QString firmware() const { return QStringLiteral("1.44.2, Mar 12 2004"); }

    const QList<QByteArray>& requests() const;

    // The answer to one complete request; public so the pages can be checked without a socket.
    QByteArray respond(const QByteArray& request);

signals:
    void requestReceived(const QByteArray& request);

private:
    bool authorised(const QList<QByteArray>& headerLines) const;
    void applyCommand(const QByteArray& query);
    QByteArray statusPage() const;
    QByteArray forwardPage() const;
    QByteArray dmzPage() const;
    QByteArray field(const char* name) const;

    SimOptions options_;
    SimHttpServer* http_ = nullptr;
    std::array<SimForward, SlotCount> forwards_{};
    QString dmzHost_ = QStringLiteral("0");
};
