// SPDX-License-Identifier: GPL-3.0-or-later
// The router in front of the one a protocol kind drives (double NAT): found at the status
// query, its forwards made beside the inner ones, shown and checked.
#include "router/ProtocolRouter.h"

#include "Module.h"
#include "platform/Clock.h"
#include "router/outer/OuterRouter.h"

#include <QCoreApplication>

void ProtocolRouter::lookForOuter(const QHostAddress& inner, const QString& told) {
    OuterFound found = FindOuterRouter({module_.settings.OuterRouter, inner, told,
                                        outerWaiter_.get(), &clock_, pathProbe, outerPatience});
    outer_ = std::move(found.router);
    outerWords_ = found.words;
}

QList<HoldKind*> ProtocolRouter::withOuter(QList<HoldKind*> kinds) const {
    if (outer_)
        kinds << outer_.get();
    return kinds;
}

Outcome ProtocolRouter::forwardOuter(const QList<PlannedMapping>& mappings) {
    if (!outer_) {
        if (!outerWords_.isEmpty())
            notes_ << outerWords_;
        return Outcome::Completed;
    }
    QList<LeaseEntry> wanted;
    for (const PlannedMapping& m : mappings)
        wanted << outer_->wanted(m.port, m.protocol, m.application);
    const Outcome out = keeper_.point(*outer_, wanted, false);
    if (out == Outcome::Completed || out == Outcome::Cancelled)
        return out;
    problems_ << QCoreApplication::translate("OuterRouter",
                                             "The router in front (%1) did not forward them all; "
                                             "those it did not reach only the router here.")
                     .arg(outer_->address());
    return Outcome::Error;
}

QList<ForwardEntry> ProtocolRouter::outerRows() {
    if (!outer_)
        return {};
    const QString front =
        QCoreApplication::translate("OuterRouter", "In front (%1): ").arg(outer_->address());
    QList<ForwardEntry> rows;
    if (const auto listed = outer_->forwards()) {
        rows = *listed;
    } else {
        const QDateTime now = clock_.now();
        for (const LeaseEntry& e : keeper_.linesOf(*outer_)) {
            if (e.state == LeaseEntry::State::Clearing ||
                (e.leaseEnd.isValid() && e.leaseEnd <= now))
                continue;
            ForwardEntry f;
            f.externalPort = f.externalPortEnd = e.externalPort;
            f.protocol = e.protocol;
            f.internalPort = e.internalPort;
            f.internalClient = outer_->toward().isEmpty()
                                   ? QCoreApplication::translate("OuterRouter", "the router here")
                                   : outer_->toward();
            f.description = e.application;
            f.secondsLeft = e.leaseEnd.isValid() ? now.secsTo(e.leaseEnd) : 0;
            rows << f;
        }
    }
    SortForwards(rows);
    // Another router's: not this computer's to remove from here.
    for (ForwardEntry& f : rows) {
        f.description = front + f.description;
        f.thisComputer = false;
    }
    return rows;
}

std::optional<OuterView> ProtocolRouter::OuterFor(const PlannedMapping& mapping) {
    if (!outer_) {
        if (outerWords_.isEmpty())
            return std::nullopt;
        return OuterView{{}, std::nullopt, outerWords_};
    }
    OuterView v;
    v.router = outer_->address();
    v.forwarded = outer_->holdsForward(mapping.port, mapping.protocol);
    if (!v.forwarded) {
        // A router that cannot be asked: the record, while its lease runs.
        const QDateTime now = clock_.now();
        for (const LeaseEntry& e : keeper_.linesOf(*outer_))
            if (e.internalPort == mapping.port && e.protocol == mapping.protocol &&
                e.state == LeaseEntry::State::Held && (!e.leaseEnd.isValid() || e.leaseEnd > now))
                v.forwarded = true;
    }
    v.words = !v.forwarded ? QCoreApplication::translate(
                                 "OuterRouter", "the router in front (%1) could not be asked")
                                 .arg(v.router)
              : *v.forwarded
                  ? QCoreApplication::translate("OuterRouter", "the router in front (%1) forwards "
                                                               "it")
                        .arg(v.router)
                  : QCoreApplication::translate("OuterRouter",
                                                "the router in front (%1) does not forward it")
                        .arg(v.router);
    return v;
}
