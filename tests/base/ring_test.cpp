// Fixed ring: ages count back from the newest across the wrap, a full ring drops its
// oldest, and the oldest comes out first.
#include <algorithm>

#include <gtest/gtest.h>

#include "base/ring.h"

namespace netduel {
namespace {

TEST(Ring, AgesCountBackFromTheNewestAndAFullRingDropsItsOldest)
{
    Ring<int, 4> ring;
    for (int pushed = 1; pushed <= 11; ++pushed) {
        EXPECT_EQ(ringPush(ring, pushed * 10), pushed * 10);
        ASSERT_EQ(ring.count, std::min(pushed, 4)) << pushed;
        for (int age = 0; age < ring.count; ++age) EXPECT_EQ(ringAt(ring, age), (pushed - age) * 10) << pushed;
    }
    int oldest = 0;
    for (const int expected : {80, 90, 100, 110}) {
        ASSERT_TRUE(ringPopOldest(ring, oldest));
        EXPECT_EQ(oldest, expected);
    }
    EXPECT_FALSE(ringPopOldest(ring, oldest));
    EXPECT_EQ(oldest, 110);  // left alone
    ringPush(ring, 1);
    ringPush(ring, 2);
    ringClear(ring);
    EXPECT_EQ(ring.count, 0);
    ringPush(ring, 3);
    EXPECT_EQ(ring.count, 1);
    EXPECT_EQ(ringAt(ring, 0), 3);
}

}  // namespace
}  // namespace netduel
