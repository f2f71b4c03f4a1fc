#include "router/upnp/UpnpRouter.h"

#include "platform/Clock.h"
#include "router/net/Ipv6Address.h"
#include "router/upnp/PinholeClient.h"

#include <QFile>

// IPv6 pinholes beside the IPv4 forwards, on routers whose description offers the IPv6
// firewall. The gateway cannot list them, so the record is their only list.

namespace {

const QString kPinholeKind = QStringLiteral("pinhole6");

QByteArray readSmall(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(1 << 20) : QByteArray();
}

} // namespace

std::unique_ptr<PinholeClient> UpnpRouter::pinholeClient(QString& why) {
    if (!client_ || client_->router().firewall.serviceType.isEmpty())
        return nullptr;
    const QHostAddress self = !options_.pinholeAddress.isNull()
                                  ? options_.pinholeAddress
                                  : PinholeAddress(options_.ifInet6Path);
    if (self.isNull())
        return nullptr; // no global IPv6 address here: nothing to open, nothing to say
    QHostAddress router6 = options_.router6;
    const QHostAddress described(client_->router().descriptionUrl.host());
    if (router6.isNull() && described.protocol() == QAbstractSocket::IPv6Protocol)
        router6 = described;
    // A router reached on IPv4 loopback runs on this computer (a simulated one): its IPv6
    // side is ::1.
    if (router6.isNull() && described.isLoopback())
        router6 = QHostAddress::LocalHostIPv6;
    if (router6.isNull())
        router6 = Ipv6DefaultRouter(readSmall(options_.ipv6RoutePath));
    if (router6.isNull()) {
        why = QStringLiteral("The router offers IPv6 port opening but cannot be reached over "
                             "IPv6 from this computer.");
        return nullptr;
    }
    IgdService firewall = client_->router().firewall;
    firewall.controlUrl = OnIpv6Host(firewall.controlUrl, router6);
    return std::make_unique<PinholeClient>(*waiter_, firewall, self, options_.timings);
}

void UpnpRouter::openPinholes(const QList<PlannedMapping>& mappings) {
    QString why;
    const auto pinholes = pinholeClient(why);
    if (!pinholes) {
        if (!why.isEmpty())
            problems_ << why;
        return;
    }
    const FirewallStatus status = pinholes->getFirewallStatus();
    if (!status.ok()) {
        problems_ << QStringLiteral("The router did not say whether it filters IPv6.");
        return;
    }
    if (!status.enabled)
        return; // IPv6 already gets through: nothing needs opening
    if (!status.inboundAllowed) {
        problems_ << PinholeProblem(703, 0);
        return;
    }
    for (const PlannedMapping& m : mappings) {
        const PinholeResult r = pinholes->addPinhole(quint16(m.port), m.protocol);
        if (!r.ok) {
            problems_ << r.problem;
            if (r.answer.errorCode == 701 || r.answer.errorCode == 703)
                return;
            continue;
        }
        recordPinhole(m.port, m.protocol, m.application, Ipv6Text(pinholes->source()), r.uniqueId);
    }
}

void UpnpRouter::recordPinhole(int port, const QString& protocol, const QString& application,
                               const QString& address, quint16 uniqueId) {
    const quint32 lease = PinholeClient::AskedLease;
    LeaseEntry e;
    e.router = routerKey();
    e.kind = kPinholeKind;
    e.protocol = protocol;
    e.externalPort = e.internalPort = port;
    e.leaseEnd = clock_.now().addSecs(lease).toUTC();
    e.lifetime = lease;
    e.application = application;
    e.address = address;
    e.uniqueId = uniqueId;
    record_.put(e);
}

QList<LeaseEntry> UpnpRouter::recordedPinholes() const {
    QList<LeaseEntry> mine;
    for (const LeaseEntry& e : record_.load())
        if (e.kind == kPinholeKind && e.router == routerKey())
            mine << e;
    return mine;
}

// The gateway cannot be asked about a pinhole beyond its lease: the record answers.
std::optional<bool> UpnpRouter::HoldsPinhole(const PlannedMapping& mapping) {
    for (const LeaseEntry& e : recordedPinholes())
        if (e.protocol == mapping.protocol && e.internalPort == mapping.port)
            return !e.leaseEnd.isValid() || e.leaseEnd > clock_.now();
    return std::nullopt;
}

QList<ForwardEntry> UpnpRouter::pinholeRows() const {
    QList<ForwardEntry> rows;
    const QDateTime now = clock_.now();
    for (const LeaseEntry& e : recordedPinholes()) {
        if (e.leaseEnd.isValid() && e.leaseEnd <= now)
            continue;
        ForwardEntry f;
        f.externalPort = f.externalPortEnd = f.internalPort = e.internalPort;
        f.protocol = e.protocol;
        f.internalClient = e.address;
        f.description = QStringLiteral("IPv6 pinhole: ") + e.application;
        f.secondsLeft = e.leaseEnd.isValid() ? now.secsTo(e.leaseEnd) : -1;
        f.thisComputer = true;
        f.pinhole = true;
        rows << f;
    }
    return rows;
}

bool UpnpRouter::renewPinholes() {
    const QDateTime now = clock_.now();
    if (nextPinholeLook_.isValid() && now < nextPinholeLook_)
        return true;
    nextPinholeLook_ = now.addSecs(60);
    QList<LeaseEntry> due;
    for (const LeaseEntry& e : recordedPinholes())
        if (!e.leaseEnd.isValid() || now.secsTo(e.leaseEnd) <= qint64(e.lifetime / 2))
            due << e;
    if (due.isEmpty())
        return true;
    QString why;
    const auto pinholes = pinholeClient(why);
    if (!pinholes)
        return false;
    bool ok = true;
    for (const LeaseEntry& e : due) {
        PinholeResult r = pinholes->updatePinhole(e.uniqueId);
        // Gone (a restart, or lapsed): identical arguments make it again, with its new ID.
        if (r.gone)
            r = pinholes->addPinhole(quint16(e.internalPort), e.protocol);
        if (!r.ok) {
            problems_ << r.problem;
            ok = false;
            continue;
        }
        recordPinhole(e.internalPort, e.protocol, e.application, e.address, r.uniqueId);
    }
    return ok;
}

bool UpnpRouter::closePinholes() {
    const QList<LeaseEntry> mine = recordedPinholes();
    if (mine.isEmpty())
        return true;
    QString why;
    const auto pinholes = pinholeClient(why);
    bool ok = true;
    for (const LeaseEntry& e : mine) {
        const PinholeResult r = pinholes ? pinholes->deletePinhole(e.uniqueId) : PinholeResult{};
        if (r.ok || (e.leaseEnd.isValid() && e.leaseEnd <= clock_.now())) {
            record_.remove(e);
            continue;
        }
        problems_ << QStringLiteral("IPv6 pinhole %1/%2: %3")
                         .arg(e.internalPort)
                         .arg(e.protocol, r.problem.isEmpty() ? why : r.problem);
        ok = false;
    }
    return ok;
}
