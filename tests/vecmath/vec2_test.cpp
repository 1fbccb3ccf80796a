// Vec2 arithmetic, the 64-bit forms of the numeric rule, geometry helpers and the text form.
#include "vecmath/vec2.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace netduel {
namespace {

TEST(Vec2Arithmetic, VectorAndScalarForms)
{
    EXPECT_EQ(Vec2(1.5f, -2.0f) + Vec2(0.5f, 2.0f), Vec2(2.0f, 0.0f));
    EXPECT_EQ(Vec2(3.0f, 4.0f) - Vec2(1.0f, 1.0f), Vec2(2.0f, 3.0f));
    EXPECT_EQ(Vec2(3.0f, 4.0f) * 0.5f, Vec2(1.5f, 2.0f));
    EXPECT_EQ(Vec2(3.0f, 4.0f) * Vec2(2.0f, -1.0f), Vec2(6.0f, -4.0f));
    EXPECT_EQ(Vec2(3.0f, 4.0f) + 1.0f, Vec2(4.0f, 5.0f));
    EXPECT_EQ(Vec2(3.0f, 4.0f) / Vec2(2.0f, 8.0f), Vec2(1.5f, 0.5f));
    EXPECT_EQ(Vec2(3.0f, 4.0f) / 2.0f, Vec2(1.5f, 2.0f));
}

TEST(Vec2Arithmetic, SixtyFourBitFormsRoundOnceFromDouble)
{
    // Scaling by the double 0.1 rounds once from 64 bits: 9 × 0.1 → 0.9f. Scaling by
    // the float nearest 0.1 would give 0.90000004f.
    EXPECT_EQ((Vec2(9.0f, 1.0f) * 0.1).x, 0.9f);
    EXPECT_NE((Vec2(9.0f, 1.0f) * 0.1f).x, 0.9f);
    EXPECT_EQ((Vec2(9.0f, 5.0f) / 10.0).x, 0.9f);
    EXPECT_EQ((Vec2(1.0f, 2.0f) / 3).y, 0.6666667f);
    // The 64-bit constructor converts the start positions exactly.
    EXPECT_EQ(Vec2(50.0, 384.0), Vec2(50.0f, 384.0f));
    EXPECT_EQ(Vec2(974.0, 384.0).x, 974.0f);
    EXPECT_EQ(Vec2(0.1, 0.0).x, 0.1f);
}

TEST(Vec2Arithmetic, EqualityIsExact)
{
    EXPECT_TRUE(Vec2(1.0f, 2.0f) == Vec2(1.0f, 2.0f));
    EXPECT_FALSE(Vec2(1.0f, 2.0f) == Vec2(1.0f, 2.0000002f));
}

TEST(Vec2Geometry, DotCrossDistance)
{
    EXPECT_EQ(dot(Vec2(1.0f, 2.0f), Vec2(3.0f, 4.0f)), 11.0f);
    EXPECT_EQ(cross(Vec2(1.0f, 0.0f), Vec2(0.0f, 1.0f)), 1.0f);
    EXPECT_EQ(cross(Vec2(0.0f, 1.0f), Vec2(1.0f, 0.0f)), -1.0f);
    EXPECT_EQ(distance(Vec2(50.0f, 384.0f), Vec2(50.0f, 374.0f)), 10.0f);
    EXPECT_EQ(distance(Vec2(0.0f, 0.0f), Vec2(3.0f, 4.0f)), 5.0f);
    EXPECT_TRUE(std::isnan(distance(Vec2(std::nanf(""), 0.0f), Vec2(0.0f, 0.0f))));
}

TEST(Vec2Geometry, LengthOfZeroIsOneSoNormalisingNeverDividesByZero)
{
    EXPECT_EQ(length(Vec2(3.0f, 4.0f)), 5.0f);
    EXPECT_EQ(length(Vec2()), 1.0f);
    EXPECT_EQ(normalized(Vec2(3.0f, 4.0f)), Vec2(0.6f, 0.8f));
    EXPECT_EQ(normalized(Vec2()), Vec2());
    Vec2 v(0.0f, -2.0f);
    normalize(v);
    EXPECT_EQ(v, Vec2(0.0f, -1.0f));
}

TEST(Vec2Geometry, NormalBetweenTurnsTowardsNegativeY)
{
    EXPECT_EQ(normalBetween(Vec2(0.0f, 0.0f), Vec2(2.0f, 0.0f)), Vec2(0.0f, -1.0f));
    EXPECT_EQ(normalBetween(Vec2(1.0f, 1.0f), Vec2(1.0f, 4.0f)), Vec2(1.0f, 0.0f));
    EXPECT_EQ(normalBetween(Vec2(5.0f, 5.0f), Vec2(5.0f, 5.0f)), Vec2(0.0f, 0.0f));
}

TEST(Vec2Geometry, AngleBetween)
{
    EXPECT_EQ(angleBetween(Vec2(1.0f, 0.0f), Vec2(0.0f, 1.0f)), 1.5707964f);
    EXPECT_EQ(angleBetween(Vec2(1.0f, 0.0f), Vec2(2.0f, 0.0f)), 0.0f);
    EXPECT_EQ(angleBetween(Vec2(1.0f, 0.0f), Vec2(-3.0f, 0.0f)), static_cast<float>(M_PI));
    EXPECT_EQ(angleBetween(Vec2(), Vec2(1.0f, 1.0f)), 1.5707964f);
    // Parallel vectors whose rounded k lands a hair above 1 give 0, not NaN.
    for (float s = 0.1f; s < 10.0f; s += 0.37f) {
        const float a = angleBetween(Vec2(s, 3.0f * s), Vec2(2.0f * s, 6.0f * s));
        EXPECT_FALSE(std::isnan(a)) << s;
        EXPECT_NEAR(a, 0.0f, 1e-3f) << s;
    }
}

TEST(Vec2Text, SevenSignificantDigits)
{
    EXPECT_EQ(toString(Vec2(1.5f, -2.0f)), "x: 1.5, y: -2");
    EXPECT_EQ(toString(Vec2(0.1f, 100.0f)), "x: 0.1, y: 100");
    EXPECT_EQ(toString(Vec2(0.0f, 1234567.0f)), "x: 0, y: 1234567");
    EXPECT_EQ(toString(Vec2(12345678.0f, 0.083333336f)), "x: 1.234568e+07, y: 0.08333334");
}

}  // namespace
}  // namespace netduel
