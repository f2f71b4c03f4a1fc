// SPDX-License-Identifier: GPL-3.0-or-later
// The UPnP kind's simulated router: its sockets, options, clock and tables. Discovery and the
// description are in UpnpSimulatorDiscovery.cpp, the control actions in UpnpSimulatorSoap.cpp.
#include "UpnpSimulator.h"

#include "SimHttp.h"
#include "UpnpSimulatorAnswers.h"

#include <QUdpSocket>

#include <utility>

using UpnpSimAnswer::httpError;

UpnpSimulator::UpnpSimulator(UpnpSimOptions options, QObject* parent)
    : QObject(parent), clock_(Sim::steadySeconds), ssdp_(new QUdpSocket(this)) {
    startedAt_ = now();
    setOptions(std::move(options));
    http_ = new SimHttpServer(site(), this);
    connect(http_, &SimHttpServer::requestReceived, this, &UpnpSimulator::requestReceived);
    connect(ssdp_, &QUdpSocket::readyRead, this, [this] { onDatagrams(ssdp_); });
}

UpnpSimulator::~UpnpSimulator() = default;

SimHttpSite UpnpSimulator::site() {
    return {.frame =
                [](const QByteArray& received) {
                    return SimHttp::frameMessage(received, MaxHeaderBytes, MaxBodyBytes);
                },
            .respond = [this](const QByteArray& request,
                              const QHostAddress& peer) { return respondHttp(request, peer); },
            .refuse = httpError,
            .conduct = [this] { return SimConduct{.logPath = options_.logPath}; },
            .idleTimeoutMs = IdleTimeoutMs};
}

bool UpnpSimulator::listen(const QHostAddress& address, quint16 httpPort, quint16 ssdpPort) {
    if (!address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (!http_->listen(address, httpPort))
        return false;
    if (!ssdp_->bind(address, ssdpPort)) {
        http_->close();
        return false;
    }
    if (options_.ipv6 && !listenIpv6())
        return false;
    return listenOnControlPorts();
}

bool UpnpSimulator::listenOnControlPorts() {
    if (!described_)
        return true;
    QList<quint16> ports{httpPort()};
    for (const SimControl& c : described_->controls(QUrl(locationUrl()))) {
        const quint16 port = quint16(c.url.port(80));
        if (ports.contains(port))
            continue;
        ports << port;
        auto* server = new SimHttpServer(site(), this);
        connect(server, &SimHttpServer::requestReceived, this, &UpnpSimulator::requestReceived);
        controlServers_ << server;
        if (!server->listen(address(), port))
            return false;
    }
    return true;
}

bool UpnpSimulator::listenIpv6() {
    http6_ = new SimHttpServer(site(), this);
    connect(http6_, &SimHttpServer::requestReceived, this, &UpnpSimulator::requestReceived);
    if (!http6_->listen(QHostAddress::LocalHostIPv6, httpPort()))
        return false;
    ssdp6_ = new QUdpSocket(this);
    connect(ssdp6_, &QUdpSocket::readyRead, this, [this] { onDatagrams(ssdp6_); });
    return ssdp6_->bind(QHostAddress::LocalHostIPv6, ssdpPort()) ||
           ssdp6_->bind(QHostAddress::LocalHostIPv6, 0);
}

bool UpnpSimulator::setIpv6Listening(bool on) {
    if (!http6_)
        return false;
    if (!on) {
        http6_->close();
        return true;
    }
    return http6_->listen(QHostAddress::LocalHostIPv6, httpPort());
}

QList<SimPinhole> UpnpSimulator::pinholes() {
    return pinholes_.pinholes(now());
}

quint16 UpnpSimulator::addPinhole(const SimPinhole& pinhole) {
    return pinholes_.add(pinhole);
}

QHostAddress UpnpSimulator::address() const {
    return http_->address();
}

quint16 UpnpSimulator::httpPort() const {
    return http_->port();
}

quint16 UpnpSimulator::ssdpPort() const {
    return ssdp_->localPort();
}

quint16 UpnpSimulator::ssdp6Port() const {
    return ssdp6_ ? ssdp6_->localPort() : 0;
}

QString UpnpSimulator::locationUrl(bool ipv6) const {
    const QString host = !options_.locationHost.isEmpty() ? options_.locationHost
                         : ipv6                           ? QStringLiteral("[::1]")
                                                          : address().toString();
    return QStringLiteral("http://%1:%2%3").arg(host).arg(httpPort()).arg(descriptionPath_);
}

void UpnpSimulator::setOptions(const UpnpSimOptions& options) {
    options_ = options;
    described_.reset();
    if (!options_.description.isEmpty())
        described_ = ReadSimDescription(options_.description);
    if (described_)
        options_.igdVersion = described_->igdVersion();
    options_.igdVersion = options_.igdVersion == 1 ? 1 : 2;
    descriptionPath_ = descriptionPath();
    for (const QByteArray& line : options_.ssdpReply.split('\n')) {
        if (line.toLower().startsWith("location:")) {
            const QString path = QUrl(QString::fromLatin1(line.mid(9).trimmed())).path();
            if (path.startsWith(QLatin1Char('/')))
                descriptionPath_ = path;
        }
    }
    if (options_.conflictPort == 0)
        return;
    // The conflicting port belongs to a computer that mapped it for good.
    for (const char* protocol : {"TCP", "UDP"}) {
        if (table_.find(QString::fromLatin1(protocol), options_.conflictPort) >= 0)
            continue;
        table_.put(UpnpMapping{{},
                               options_.conflictPort,
                               QString::fromLatin1(protocol),
                               options_.conflictPort,
                               QStringLiteral("192.168.1.77"),
                               true,
                               QStringLiteral("Game console"),
                               0,
                               0});
    }
}

void UpnpSimulator::setClock(Clock clock) {
    clock_ = std::move(clock);
    startedAt_ = now();
}

qint64 UpnpSimulator::now() const {
    return clock_();
}

QString UpnpSimulator::serviceType() const {
    if (!callType_.isEmpty())
        return callType_;
    if (described_)
        return described_->connections.constFirst().first;
    return QStringLiteral("urn:schemas-upnp-org:service:WANIPConnection:%1")
        .arg(options_.igdVersion);
}

QString UpnpSimulator::rootUdn() const {
    return described_ ? described_->udn : udn();
}

QString UpnpSimulator::deviceType() const {
    if (described_)
        return described_->deviceType;
    return QStringLiteral("urn:schemas-upnp-org:device:InternetGatewayDevice:%1")
        .arg(options_.igdVersion);
}

QList<UpnpMapping> UpnpSimulator::mappings() {
    table_.expire(now());
    return table_.rows();
}

void UpnpSimulator::addMapping(const UpnpMapping& mapping) {
    table_.put(mapping);
}

void UpnpSimulator::restart() {
    table_ = SimIgdTable();
    dead_.clear();
    deleted_.clear();
    pinholes_ = SimPinholes();
    ++options_.bootId;
    startedAt_ = now();
}

const QList<QByteArray>& UpnpSimulator::requests() const {
    return http_->requests();
}
