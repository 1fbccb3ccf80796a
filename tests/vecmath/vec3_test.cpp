// Vec3 and Vec4 arithmetic, lengths, cross products and text forms; Frame3 rotation.
#include "vecmath/frame3.h"
#include "vecmath/vec3.h"
#include "vecmath/vec4.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

namespace netduel {
namespace {

void expectVec4(Vec4 v, float x, float y, float z, float w)
{
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_EQ(v.w, w);
}

void expectNear(Vec3 v, Vec3 want)
{
    EXPECT_NEAR(v.x, want.x, 1e-6) << toString(v);
    EXPECT_NEAR(v.y, want.y, 1e-6) << toString(v);
    EXPECT_NEAR(v.z, want.z, 1e-6) << toString(v);
}

TEST(Vec3Arithmetic, ComponentAndScalarForms)
{
    const Vec3 a(1.0f, 2.0f, 3.0f);
    const Vec3 b(4.0f, -2.0f, 0.5f);
    EXPECT_EQ(a + b, Vec3(5.0f, 0.0f, 3.5f));
    EXPECT_EQ(a - b, Vec3(-3.0f, 4.0f, 2.5f));
    EXPECT_EQ(a * b, Vec3(4.0f, -4.0f, 1.5f));
    EXPECT_EQ(a / b, Vec3(0.25f, -1.0f, 6.0f));
    EXPECT_EQ(-a, Vec3(-1.0f, -2.0f, -3.0f));
    EXPECT_EQ(a + 1.0f, Vec3(2.0f, 3.0f, 4.0f));
    EXPECT_EQ(a - 1.0f, Vec3(0.0f, 1.0f, 2.0f));
    EXPECT_EQ(a * 2.0f, Vec3(2.0f, 4.0f, 6.0f));
    EXPECT_EQ(a / 2.0f, Vec3(0.5f, 1.0f, 1.5f));
    Vec3 c = a;
    c *= 3.0f;
    c += b;
    EXPECT_EQ(c, Vec3(7.0f, 4.0f, 9.5f));
    EXPECT_FALSE(a == Vec3(1.0f, 2.0f, 3.0000002f));
    EXPECT_EQ(toVec2(a), Vec2(1.0f, 2.0f));
}

TEST(Vec3Arithmetic, SixtyFourBitScalarsRoundOnce)
{
    // 9 × 0.1 in double is 0.9 to 17 digits, whose nearest float is 0.9f; going through
    // the float 0.1f first would give 0.90000004.
    EXPECT_EQ((Vec3(9.0f, 0.0f, 0.0f) * 0.1).x, 0.9f);
    EXPECT_NE((Vec3(9.0f, 0.0f, 0.0f) * 0.1f).x, 0.9f);
    // 7 ÷ 0.3 = 23.3333…, nearest float 70/3 rounded; via 0.3f it would be 23.333332.
    EXPECT_EQ((Vec3(7.0f, 0.0f, 0.0f) / 0.3).x, 70.0f / 3.0f);
}

TEST(Vec3Geometry, LengthOfZeroIsOneSoNormalisingKeepsZero)
{
    EXPECT_EQ(length(Vec3()), 1.0f);
    EXPECT_EQ(normalized(Vec3()), Vec3());
    EXPECT_EQ(length(Vec3(2.0f, 3.0f, 6.0f)), 7.0f);
    EXPECT_EQ(normalized(Vec3(2.0f, 3.0f, 6.0f)), Vec3(2.0f / 7.0f, 3.0f / 7.0f, 6.0f / 7.0f));
    Vec3 v(0.0f, 0.0f, -2.0f);
    normalize(v);
    EXPECT_EQ(v, Vec3(0.0f, 0.0f, -1.0f));
    EXPECT_EQ(distance(Vec3(1.0f, 2.0f, 3.0f), Vec3(4.0f, 6.0f, 3.0f)), 5.0f);
    EXPECT_EQ(dot(Vec3(1.0f, 2.0f, 3.0f), Vec3(4.0f, -5.0f, 6.0f)), 12.0f);
}

TEST(Vec3Geometry, CrossFollowsTheRightHandRule)
{
    EXPECT_EQ(cross(Vec3(1.0f, 0.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f)), Vec3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(cross(Vec3(0.0f, 1.0f, 0.0f), Vec3(1.0f, 0.0f, 0.0f)), Vec3(0.0f, 0.0f, -1.0f));
    // (2·6 − 3·5, 3·4 − 1·6, 1·5 − 2·4)
    EXPECT_EQ(cross(Vec3(1.0f, 2.0f, 3.0f), Vec3(4.0f, 5.0f, 6.0f)), Vec3(-3.0f, 6.0f, -3.0f));
}

TEST(Vec3Geometry, AngleBetween)
{
    const float halfPi = std::numbers::pi_v<float> / 2.0f;
    EXPECT_EQ(angleBetween(Vec3(1.0f, 0.0f, 0.0f), Vec3(0.0f, 2.0f, 0.0f)), halfPi);
    EXPECT_EQ(angleBetween(Vec3(0.0f, 3.0f, 4.0f), Vec3(0.0f, 6.0f, 8.0f)), 0.0f);
    EXPECT_EQ(angleBetween(Vec3(0.0f, 0.0f, 1.0f), Vec3(0.0f, 0.0f, -4.0f)), std::numbers::pi_v<float>);
    EXPECT_EQ(angleBetween(Vec3(), Vec3(1.0f, 0.0f, 0.0f)), halfPi);
}

TEST(Vec3Text, ComponentsInPrintfG)
{
    EXPECT_EQ(toString(Vec3(1.5f, -2.0f, 0.0f)), "x: 1.5, y: -2, z: 0");
    EXPECT_EQ(toString(Vec4(1.0f, 2.0f, 3.0f, 4.0)), "x: 1, y: 2, z: 3, w: 4");
}

TEST(Vec4Arithmetic, ConstructorsAndOperators)
{
    expectVec4(Vec4(1.0f, 2.0f, 3.0f, 0.1), 1.0f, 2.0f, 3.0f, 0.1f);
    expectVec4(Vec4(Vec3(1.0f, 2.0f, 3.0f)), 1.0f, 2.0f, 3.0f, 0.0f);
    expectVec4(Vec4(Vec3(1.0f, 2.0f, 3.0f), 1.0), 1.0f, 2.0f, 3.0f, 1.0f);
    const Vec4 a(1.0f, 2.0f, 3.0f, 4.0);
    const Vec4 b(2.0f, 2.0f, -1.0f, 8.0);
    expectVec4(a + b, 3.0f, 4.0f, 2.0f, 12.0f);
    expectVec4(a - b, -1.0f, 0.0f, 4.0f, -4.0f);
    expectVec4(a * b, 2.0f, 4.0f, -3.0f, 32.0f);
    expectVec4(a / b, 0.5f, 1.0f, -3.0f, 0.5f);
    expectVec4(-a, -1.0f, -2.0f, -3.0f, -4.0f);
    expectVec4(a + 1.0f, 2.0f, 3.0f, 4.0f, 5.0f);
    expectVec4(a * 0.5f, 0.5f, 1.0f, 1.5f, 2.0f);
    expectVec4(a / 2, 0.5f, 1.0f, 1.5f, 2.0f);
    expectVec4(a / 4.0f, 0.25f, 0.5f, 0.75f, 1.0f);
    expectVec4(Vec4(7.0f, 0.0f, 0.0f, 7.0) / 0.3, 70.0f / 3.0f, 0.0f, 0.0f, 70.0f / 3.0f);
    Vec4 c = a;
    c *= -2.0f;
    expectVec4(c, -2.0f, -4.0f, -6.0f, -8.0f);
}

TEST(Vec4Geometry, LengthDotCrossDistance)
{
    EXPECT_EQ(length(Vec4(1.0f, 2.0f, 2.0f, 4.0)), 5.0f);
    EXPECT_EQ(length(Vec4()), 1.0f);
    expectVec4(normalized(Vec4()), 0.0f, 0.0f, 0.0f, 0.0f);
    Vec4 v(0.0f, 0.0f, 0.0f, -3.0);
    normalize(v);
    expectVec4(v, 0.0f, 0.0f, 0.0f, -1.0f);
    EXPECT_EQ(dot(Vec4(1.0f, 2.0f, 3.0f, 4.0), Vec4(1.0f, 1.0f, 1.0f, -1.0)), 2.0f);
    // The x, y, z cross product; w comes from the left operand.
    expectVec4(cross(Vec4(1.0f, 0.0f, 0.0f, 5.0), Vec4(0.0f, 1.0f, 0.0f, 9.0)), 0.0f, 0.0f, 1.0f, 5.0f);
    EXPECT_EQ(distance(Vec4(), Vec4(1.0f, 1.0f, 1.0f, 1.0)), 2.0f);
    EXPECT_EQ(toVec3(Vec4(1.0f, 2.0f, 3.0f, 4.0)), Vec3(1.0f, 2.0f, 3.0f));
}

TEST(Frame3Rotate, ZeroAnglesLeaveTheFrameAlone)
{
    Frame3 f;
    EXPECT_EQ(f.xAxis, Vec3(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(f.zAxis, Vec3(0.0f, 0.0f, 1.0f));
    rotate(f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(f.xAxis, Vec3(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(f.yAxis, Vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(f.zAxis, Vec3(0.0f, 0.0f, 1.0f));
}

TEST(Frame3Rotate, QuarterTurnSwingsZOntoY)
{
    // zAxis ← z·cos + y·sin = the old y; yAxis ← z × x = y × x = −(old z).
    Frame3 g{Vec3(1.0f, 0.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f), Vec3(5.0f, 6.0f, 7.0f)};
    rotate(g, std::numbers::pi_v<float> / 2.0f, 0.0f, 0.0f);
    expectNear(g.xAxis, Vec3(1.0f, 0.0f, 0.0f));
    expectNear(g.yAxis, Vec3(0.0f, 0.0f, -1.0f));
    expectNear(g.zAxis, Vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(g.origin, Vec3(5.0f, 6.0f, 7.0f));
}

TEST(Frame3Rotate, QuarterTurnsAboutYAndZ)
{
    // Second angle: zAxis ← z·cos − x·sin, so z swings onto −x and x onto the old z.
    Frame3 aboutY;
    rotate(aboutY, 0.0f, std::numbers::pi_v<float> / 2.0f, 0.0f);
    expectNear(aboutY.xAxis, Vec3(0.0f, 0.0f, 1.0f));
    expectNear(aboutY.yAxis, Vec3(0.0f, 1.0f, 0.0f));
    expectNear(aboutY.zAxis, Vec3(-1.0f, 0.0f, 0.0f));

    // Third angle: xAxis ← x·cos + y·sin, so x swings onto y and y onto −x.
    Frame3 aboutZ;
    rotate(aboutZ, 0.0f, 0.0f, std::numbers::pi_v<float> / 2.0f);
    expectNear(aboutZ.xAxis, Vec3(0.0f, 1.0f, 0.0f));
    expectNear(aboutZ.yAxis, Vec3(-1.0f, 0.0f, 0.0f));
    expectNear(aboutZ.zAxis, Vec3(0.0f, 0.0f, 1.0f));
}

TEST(Frame3Rotate, StaysOrthonormalAndRightHanded)
{
    Frame3 f;
    for (int i = 0; i < 20; ++i) {
        rotate(f, 0.3f * i, -0.7f + 0.1f * i, 1.1f - 0.2f * i);
        EXPECT_NEAR(length(f.xAxis), 1.0f, 1e-5f);
        EXPECT_NEAR(length(f.yAxis), 1.0f, 1e-5f);
        EXPECT_NEAR(dot(f.xAxis, f.yAxis), 0.0f, 1e-5f);
        EXPECT_NEAR(dot(f.yAxis, f.zAxis), 0.0f, 1e-5f);
        expectNear(cross(f.xAxis, f.yAxis), f.zAxis);
    }
}

}  // namespace
}  // namespace netduel
