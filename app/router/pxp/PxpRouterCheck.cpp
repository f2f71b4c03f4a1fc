#include "router/pxp/PxpRouter.h"

#include "platform/Clock.h"

// Neither protocol can be asked about one mapping without making it: the record of what the
// router granted, and its lease, answer for it.
std::optional<bool> PxpRouter::HoldsForward(const PlannedMapping& mapping) {
    if (!client_)
        return std::nullopt;
    const QDateTime now = clock_.now();
    for (const LeaseEntry& e : held())
        if (e.protocol == mapping.protocol && e.internalPort == mapping.port)
            return !e.leaseEnd.isValid() || e.leaseEnd > now;
    return false;
}
