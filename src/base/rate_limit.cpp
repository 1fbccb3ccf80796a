// Token bucket with a flooding streak counted in whole windows.
#include "rate_limit.h"

#include <algorithm>
#include <cmath>

namespace netduel {

namespace {

// Closes the window(s) that ended before `now`. A window with no unit at all between
// the last one and `now` breaks the streak.
void rateLimiterRoll(RateLimiter& limiter, const RateRule& rule, double now)
{
    if (now < limiter.windowEnd) return;
    const double windowsPassed = std::floor((now - limiter.windowEnd) / RATE_WINDOW_SECONDS);
    const bool flooded = limiter.windowDrops >= rule.floodDrops;
    limiter.floodWindows = flooded && windowsPassed < 1.0 ? limiter.floodWindows + 1 : 0;
    limiter.windowDrops = 0;
    limiter.windowEnd += (windowsPassed + 1.0) * RATE_WINDOW_SECONDS;
}

}  // namespace

void rateLimiterReset(RateLimiter& limiter, const RateRule& rule, double now)
{
    limiter = RateLimiter{};
    limiter.tokens = rule.burst;
    limiter.refilledAt = now;
    limiter.windowEnd = now + RATE_WINDOW_SECONDS;
}

bool rateLimiterTake(RateLimiter& limiter, const RateRule& rule, double now)
{
    rateLimiterRoll(limiter, rule, now);
    if (now > limiter.refilledAt) {
        limiter.tokens = std::min(rule.burst, limiter.tokens + (now - limiter.refilledAt) * rule.perSecond);
        limiter.refilledAt = now;
    }
    if (limiter.tokens >= 1.0) {
        limiter.tokens -= 1.0;
        return true;
    }
    ++limiter.windowDrops;
    return false;
}

void rateLimiterMarkFlooding(RateLimiter& limiter, const RateRule& rule, double now)
{
    rateLimiterRoll(limiter, rule, now);
    limiter.windowDrops = std::max(limiter.windowDrops, rule.floodDrops);
}

}  // namespace netduel
