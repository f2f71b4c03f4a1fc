// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/outer/OuterRouter.h"
#include "router/pcpnatpmp/PcpNatPmpClient.h"

#include <memory>

// A router in front spoken to over PCP or NAT-PMP. NAT-PMP maps toward the address the router
// sees, so it needs nothing from the inner router; PCP names the client's address, so it is
// used only where the inner router's outside address is known. Neither can be asked about a
// mapping without making it: a restart shows in the epoch, and everything is made again.
class PcpNatPmpOuterRouter final : public OuterRouter {
public:
    // `client` has answered; `told` its address answer.
    PcpNatPmpOuterRouter(std::unique_ptr<PcpNatPmpClient> client,
                         const PcpNatPmpAddressResult& told, const Clock& clock);

    QString address() const override;
    QString description() const override;
    QString publicAddress() const override { return public_; }
    QString toward() const override;
    LeaseEntry wanted(int port, const QString& protocol, const QString& application) override;
    std::optional<bool> holdsForward(int port, const QString& protocol) override;
    std::optional<QList<ForwardEntry>> forwards() override;

    bool owns(const LeaseEntry& e) const override;
    QString words(const LeaseEntry& e) const override;
    Made make(const LeaseEntry& wanted) override;
    Removed remove(const LeaseEntry& e) override;
    CheckStart startCheck(bool wasSilent) override;
    bool checkSoon() const override { return !remake_.isEmpty(); }

private:
    std::unique_ptr<PcpNatPmpClient> client_;
    QString public_;
    QString kind_; // "pcp" or "natpmp": the record's word for what this client speaks
    QString remake_;
    const Clock& clock_;
};
