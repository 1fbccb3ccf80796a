// Rate limiter: burst, steady refill, cap, and the flooding streak in whole windows.
#include <gtest/gtest.h>

#include "base/rate_limit.h"

namespace netduel {
namespace {

constexpr RateRule RULE{25.0, 10.0, 50};

// How many of `count` units sent at `now` the limiter lets through.
int takeMany(RateLimiter& limiter, int count, double now)
{
    int allowed = 0;
    for (int i = 0; i < count; ++i) allowed += rateLimiterTake(limiter, RULE, now) ? 1 : 0;
    return allowed;
}

TEST(RateLimiter, BurstThenSteadyRefillUpToTheBurst)
{
    RateLimiter limiter;
    rateLimiterReset(limiter, RULE, 100.0);
    EXPECT_EQ(takeMany(limiter, 12, 100.0), 10);
    EXPECT_EQ(limiter.windowDrops, 2);
    // 0.2 s at 25 a second refills five units.
    EXPECT_EQ(takeMany(limiter, 8, 100.2), 5);
    // A long quiet spell refills no more than the burst.
    EXPECT_EQ(takeMany(limiter, 30, 160.0), 10);
    // A clock that goes back gives nothing.
    EXPECT_EQ(takeMany(limiter, 3, 150.0), 0);
    EXPECT_EQ(takeMany(limiter, 3, 160.06), 1);  // 1.5 units since 160
}

TEST(RateLimiter, SteadySenderAtTheRateIsNeverDropped)
{
    RateLimiter limiter;
    rateLimiterReset(limiter, RULE, 0.0);
    int allowed = 0;
    for (int i = 1; i <= 250; ++i) allowed += rateLimiterTake(limiter, RULE, i / 25.0) ? 1 : 0;
    EXPECT_EQ(allowed, 250);
    EXPECT_EQ(limiter.floodWindows, 0);
}

TEST(RateLimiter, StreakCountsConsecutiveFloodingWindows)
{
    RateLimiter limiter;
    rateLimiterReset(limiter, RULE, 10.0);
    takeMany(limiter, 10 + 50, 10.5);  // exactly the flood mark of drops in the first window
    EXPECT_EQ(limiter.floodWindows, 0);  // judged when the window has ended
    takeMany(limiter, 10 + 50, 11.5);
    EXPECT_EQ(limiter.floodWindows, 1);
    takeMany(limiter, 1, 12.0);
    EXPECT_EQ(limiter.floodWindows, 2);

    // One drop short of the mark in the third window breaks the streak.
    RateLimiter shy;
    rateLimiterReset(shy, RULE, 10.0);
    takeMany(shy, 10 + 50, 10.5);
    takeMany(shy, 10 + 49, 11.5);
    takeMany(shy, 1, 12.5);
    EXPECT_EQ(shy.floodWindows, 0);
}

TEST(RateLimiter, AQuietWindowBreaksTheStreakAndResetStartsAfresh)
{
    RateLimiter limiter;
    rateLimiterReset(limiter, RULE, 0.0);
    takeMany(limiter, 100, 0.1);
    takeMany(limiter, 100, 1.1);
    EXPECT_EQ(limiter.floodWindows, 1);
    // Nothing at all in [2, 3): the flooding window before it no longer counts.
    takeMany(limiter, 1, 3.2);
    EXPECT_EQ(limiter.floodWindows, 0);
    EXPECT_EQ(limiter.windowEnd, 4.0);  // windows keep their one-second grid

    takeMany(limiter, 200, 3.3);
    rateLimiterReset(limiter, RULE, 3.3);
    EXPECT_EQ(limiter.windowDrops, 0);
    EXPECT_EQ(limiter.floodWindows, 0);
    EXPECT_EQ(takeMany(limiter, 11, 3.3), 10);
}

TEST(RateLimiter, AMarkedWindowFloodsLikeOneWithItsDrops)
{
    RateLimiter limiter;
    rateLimiterReset(limiter, RULE, 0.0);
    rateLimiterMarkFlooding(limiter, RULE, 0.5);
    EXPECT_EQ(limiter.windowDrops, RULE.floodDrops);
    EXPECT_EQ(takeMany(limiter, 10, 0.6), 10);  // a mark spends no allowance
    rateLimiterMarkFlooding(limiter, RULE, 1.5);
    EXPECT_EQ(limiter.floodWindows, 1);
    takeMany(limiter, 100, 1.6);
    const int drops = limiter.windowDrops;
    EXPECT_GT(drops, RULE.floodDrops);
    rateLimiterMarkFlooding(limiter, RULE, 1.7);  // keeps the higher count
    EXPECT_EQ(limiter.windowDrops, drops);
    rateLimiterMarkFlooding(limiter, RULE, 2.1);
    EXPECT_EQ(limiter.floodWindows, 2);
}

}  // namespace
}  // namespace netduel
