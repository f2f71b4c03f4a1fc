// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <algorithm>

// How an operation on the router ended, worst last: a run of steps ends as the worst of them.
// Shown to the user only through StatusWord.
enum class Outcome {
    Completed, // everything held
    Error,     // the router refused something, or something could not be done
    Failed,    // the router did not answer
    Cancelled, // the user's Cancel, between two exchanges
};

constexpr Outcome WorstOf(Outcome a, Outcome b) {
    return std::max(a, b);
}

// "Completed", "Error", "Failed", "Cancelled": the window's status words.
QString StatusWord(Outcome o);
