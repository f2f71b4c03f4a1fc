// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The M-SEARCH rounds toward the router, unicast first and multicast where allowed, on the
// schedule of the options, and the replies they bring: the router's best one, and the other
// devices that answered.

#include "platform/Waiter.h"
#include "router/upnp/Ssdp.h"
#include "router/upnp/UpnpOptions.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

class QUdpSocket;

// A reply from some other UPnP device than the router, for a choice by hand.
struct SsdpDevice {
    QHostAddress address;
    SsdpReply reply;
};

// Multicast goes out through the machine's real interface: only when allowed, and never for
// a router on loopback (the simulated router, the tests, the demo).
bool MulticastAllowed(bool allowed, const QHostAddress& router, const QHostAddress& local);

class SsdpSearch : public QObject {
    Q_OBJECT
public:
    SsdpSearch(Waiter& waiter, const UpnpOptions& options, QObject* parent = nullptr);
    ~SsdpSearch() override;

    // The gateway's reply with the highest IGD version, from `local`; nothing when it did not
    // answer in time or the socket could not be bound.
    std::optional<SsdpReply> run(const QHostAddress& gateway, const QHostAddress& local,
                                 quint16 ssdpPort);
    const QList<SsdpDevice>& otherDevices() const { return otherDevices_; }

private:
    // Where each multicast search goes, with its HOST header.
    using Groups = QList<std::pair<QHostAddress, QByteArray>>;

    // Sets the socket up for multicast toward the router's link.
    Groups multicastGroups(const QHostAddress& local);
    // The rounds of searches until the router answered, or the time to give up came.
    void search(quint16 ssdpPort, const Groups& groups);
    // The router's best reply; the other devices' go to otherDevices_.
    std::optional<SsdpReply> gatewayReply();
    void readDatagrams();

    Waiter& waiter_;
    const UpnpOptions& options_;
    QHostAddress gateway_;
    QList<SsdpDevice> otherDevices_;
    std::unique_ptr<QUdpSocket> udp_;
    QList<std::pair<QHostAddress, SsdpReply>> replies_;
    std::optional<std::chrono::milliseconds> gatewayAnsweredAt_;
};
