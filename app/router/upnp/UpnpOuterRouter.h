// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/outer/OuterRouter.h"
#include "router/upnp/IgdClient.h"

#include <memory>

// A router in front spoken to over UPnP IGD. Its forwards name the inner router's outside
// address, which a router in secure mode accepts only when it is the one it sees: known here.
class UpnpOuterRouter final : public OuterRouter {
public:
    // `client` has found the router; `innerOutside` is the inner router's outside address.
    UpnpOuterRouter(std::unique_ptr<IgdClient> client, QString innerOutside, const Clock& clock);

    QString address() const override;
    QString description() const override;
    QString publicAddress() const override { return public_; }
    QString toward() const override { return inner_; }
    LeaseEntry wanted(int port, const QString& protocol, const QString& application) override;
    std::optional<bool> holdsForward(int port, const QString& protocol) override;
    std::optional<QList<ForwardEntry>> forwards() override;

    bool owns(const LeaseEntry& e) const override;
    QString words(const LeaseEntry& e) const override;
    Made make(const LeaseEntry& wanted) override;
    Removed remove(const LeaseEntry& e) override;
    Presence lookUp(const LeaseEntry& e) override;
    QList<LeaseEntry> unrecorded(const QList<LeaseEntry>& recorded, Outcome& out) override;

private:
    bool towardInner(const PortMappingEntry& e) const;

    std::unique_ptr<IgdClient> client_;
    QString inner_;
    QString public_;
    const Clock& clock_;
};
