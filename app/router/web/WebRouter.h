// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RouterSocket.h"
#include "router/Router.h"
#include "router/web/PageCapture.h"
#include "router/web/PortForwarding.h"
#include "router/web/RouterLink.h"
#include "router/web/StatusQuery.h"

struct RouterDeps;

// The old router family's web administration pages: every step and byte is that of
// StatusQuery, PortForwarding and ScreenCapture over the kind's own socket and link; this
// only puts them behind the seam.
class WebRouter final : public Router {
public:
    explicit WebRouter(const RouterDeps& deps);

    QString kindName() const override;
    RouterCapabilities capabilities() const override;
    void Timer1_Timer() override { statusQuery_.Timer1_Timer(); }
    QString wanAddress() const override { return statusQuery_.wanAddress(); }
    void PointToMe() override { forwarding_.btnPoint_Click(); }
    PointOutcome lastPointOutcome() const override;
    Outcome lastOutcome() const override { return link_.lastOutcome(); }
    bool ClearAll() override { return forwarding_.ClearAllForwards(); }
    bool SetDmz(bool bDisable) override { return forwarding_.SetDMZPort(bDisable); }
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    bool CaptureScreen(bool dmz) override;
    void Close() override { sckSend_.Close(); }

private:
    RouterSocket sckSend_;
    RouterLink link_;
    StatusQuery statusQuery_;
    PortForwarding forwarding_;
    ScreenCapture capture_;
};
