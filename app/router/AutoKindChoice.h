// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <optional>

// When the automatic kind has heard enough to pick a kind, from what its two searches told
// so far. UPnP is preferred: a PCP / NAT-PMP answer is taken once a UPnP router had its time
// to answer the search (UpnpDiscoveryTime) without doing so, or had UpnpGrace more and did
// not finish. The kind the last run picked for this router (RouterMemory) is taken at once when
// its protocol answers again and no UPnP router has answered meanwhile: the search beside it
// still runs and confirms or corrects it for the next start.
class AutoKindChoice {
public:
    using ms = std::chrono::milliseconds;
    // How long UPnP may still answer once PCP or NAT-PMP did.
    static constexpr ms UpnpGrace{1000};
    // How long a UPnP router takes to answer the search on a LAN (miniupnpd about 55 ms), with
    // room to spare.
    static constexpr ms UpnpDiscoveryTime{250};

    struct Heard {
        bool upnpDone = false;
        bool upnpFound = false; // an Internet address through UPnP
        bool upnpHeard = false; // a UPnP router answered the search
        bool otherDone = false;
        QString otherFound; // "pcp" or "natpmp" when that protocol told an address
    };

    // remembered: the kind the last run picked; start: when the searches went out.
    AutoKindChoice(QString remembered, ms start)
        : remembered_(std::move(remembered)), start_(start) {}

    // The kind to take now: "upnp", "pcp" or "natpmp"; empty when neither found a router;
    // nothing while it is worth waiting.
    std::optional<QString> decide(const Heard& heard, ms now);

private:
    QString remembered_;
    ms start_;
    std::optional<ms> otherFoundAt_;
};
