// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <chrono>
#include <optional>

// Tells from the epoch in each answer whether the router lost its mappings since the previous
// answer (it restarted, or its table was reset). One per router and protocol; times are this
// computer's, from the injected clock.
class EpochWatch {
public:
    enum class Rule {
        NatPmp, // the epoch fell behind ⅞ of the time that passed here, by more than 2 s
        Pcp,    // the epoch went back, or it and the time here drifted apart by over 1/16
    };

    explicit EpochWatch(Rule rule) : rule_(rule) {}

    // Takes the epoch of a valid answer received at `clientTime`; true when the router lost
    // its state since the answer before. The first answer never does.
    bool observe(quint32 serverEpoch, std::chrono::milliseconds clientTime);

    bool known() const { return last_.has_value(); }
    quint32 lastEpoch() const { return last_ ? last_->server : 0; }
    void forget() { last_.reset(); }

private:
    struct Sample {
        quint32 server = 0;
        std::chrono::milliseconds client{0};
    };
    Rule rule_;
    std::optional<Sample> last_;
};
