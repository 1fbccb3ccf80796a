// Rate limiter: a token bucket per sender, and a count of the windows in a row in which
// that sender stayed far over its allowance.
#pragma once

namespace netduel {

// Drops are judged per window of this many seconds; windows follow one another from the
// last reset, so a sender's streak grows by one per second of flooding.
inline constexpr double RATE_WINDOW_SECONDS = 1.0;

// What one kind of traffic is allowed.
struct RateRule {
    double perSecond = 0.0;  // steady allowance, units per second
    double burst = 0.0;      // most units that may come at once after a quiet spell
    int floodDrops = 0;      // drops within one window that make it a flooding window
};

// One sender's state under one rule; all times are program-clock seconds.
struct RateLimiter {
    double tokens = 0.0;      // units allowed now
    double refilledAt = 0.0;  // when the tokens were last topped up
    double windowEnd = 0.0;   // end of the current window
    int windowDrops = 0;      // drops so far in the current window
    int floodWindows = 0;     // flooding windows in a row, up to the last one that ended
};

// A full allowance, no drops and a first window starting at `now`.
void rateLimiterReset(RateLimiter& limiter, const RateRule& rule, double now);

// Spends one unit at `now`: true when the allowance held it, false when it is dropped.
// A clock that goes back refills nothing.
bool rateLimiterTake(RateLimiter& limiter, const RateRule& rule, double now);

// Counts the window that holds `now` as flooding, as if the rule's flood mark of units had
// been dropped in it, for a sender whose excess was stopped before it could be counted.
void rateLimiterMarkFlooding(RateLimiter& limiter, const RateRule& rule, double now);

}  // namespace netduel
