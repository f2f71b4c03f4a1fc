// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpEpoch.h"

bool EpochWatch::observe(quint32 serverEpoch, std::chrono::milliseconds clientTime) {
    bool lost = false;
    if (last_) {
        const qint64 s0 = last_->server;
        const qint64 s1 = serverEpoch;
        const qint64 elapsedMs = (clientTime - last_->client).count();
        if (rule_ == Rule::NatPmp) {
            // In milliseconds, so that ⅞ of a short interval is not rounded away.
            lost = s1 * 1000 < s0 * 1000 + elapsedMs * 7 / 8 - 2000;
        } else {
            const qint64 clientDelta = elapsedMs / 1000;
            const qint64 serverDelta = s1 - s0;
            lost = s1 < s0 - 1 || clientDelta + 2 < serverDelta - serverDelta / 16 ||
                   serverDelta + 2 < clientDelta - clientDelta / 16;
        }
    }
    last_ = Sample{serverEpoch, clientTime};
    return lost;
}
