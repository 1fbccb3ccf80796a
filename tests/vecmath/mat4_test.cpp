// Mat4 storage, products with matrices and vectors, the transform builders and the text form.
#include "vecmath/mat4.h"

#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

namespace netduel {
namespace {

Mat4 identityMatrix()
{
    Mat4 m;
    identity(m);
    return m;
}

void expectElements(const Mat4& m, const std::array<float, 16>& want, double tolerance = 1e-6)
{
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(m.e[k], want[k], tolerance) << "element " << k;
}

void expectVec4(Vec4 v, float x, float y, float z, float w)
{
    EXPECT_NEAR(v.x, x, 1e-6);
    EXPECT_NEAR(v.y, y, 1e-6);
    EXPECT_NEAR(v.z, z, 1e-6);
    EXPECT_NEAR(v.w, w, 1e-6);
}

TEST(Mat4Storage, ColumnMajorColumnsAndAccess)
{
    Mat4 m = fromColumns(Vec3(1.0f, 2.0f, 3.0f), Vec3(4.0f, 5.0f, 6.0f),
                         Vec3(7.0f, 8.0f, 9.0f), Vec3(10.0f, 11.0f, 12.0f));
    expectElements(m, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1}, 0.0);
    elements(m)[3] = 42.0f;
    expectVec4(getColumn(m, 0), 1.0f, 2.0f, 3.0f, 42.0f);

    // The Vec3 form leaves row 3 alone; the Vec4 form writes it.
    EXPECT_TRUE(setColumn(m, 0, Vec3(-1.0f, -2.0f, -3.0f)));
    expectVec4(getColumn(m, 0), -1.0f, -2.0f, -3.0f, 42.0f);
    EXPECT_TRUE(setColumn(m, 3, Vec4(0.5f, 0.25f, 0.125f, 2.0)));
    expectVec4(getColumn(m, 3), 0.5f, 0.25f, 0.125f, 2.0f);

    // A column outside 0–3 is refused and touches nothing.
    const Mat4 before = m;
    EXPECT_FALSE(setColumn(m, 4, Vec3(9.0f, 9.0f, 9.0f)));
    EXPECT_FALSE(setColumn(m, -1, Vec4(9.0f, 9.0f, 9.0f, 9.0)));
    EXPECT_EQ(m.e, before.e);
    expectVec4(getColumn(m, 4), 0.0f, 0.0f, 0.0f, 0.0f);

    Frame3 f = toFrame(fromColumns(Vec3(1.0f, 0.0f, 0.0f), Vec3(0.0f, 0.0f, 1.0f),
                                   Vec3(0.0f, -1.0f, 0.0f), Vec3(3.0f, 4.0f, 5.0f)));
    EXPECT_EQ(f.yAxis, Vec3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(f.zAxis, Vec3(0.0f, -1.0f, 0.0f));
    EXPECT_EQ(f.origin, Vec3(3.0f, 4.0f, 5.0f));
}

TEST(Mat4Text, IdentityIsSixteenPaddedCrLfLines)
{
    EXPECT_EQ(toString(identityMatrix()),
              "(0 ) 1\r\n(1 ) 0\r\n(2 ) 0\r\n(3 ) 0\r\n(4 ) 0\r\n(5 ) 1\r\n(6 ) 0\r\n(7 ) 0\r\n"
              "(8 ) 0\r\n(9 ) 0\r\n(10) 1\r\n(11) 0\r\n(12) 0\r\n(13) 0\r\n(14) 0\r\n(15) 1\r\n");
    Mat4 m;
    fill(m, -2.5f);
    const std::string text = toString(m);
    EXPECT_EQ(text.substr(0, 10), "(0 ) -2.5\r");
    EXPECT_EQ(text.substr(text.size() - 11), "(15) -2.5\r\n");
}

TEST(Mat4Product, RightOperandAppliesFirst)
{
    Mat4 move = identityMatrix();
    translate(move, 1.0f, 0.0f, 0.0f);
    Mat4 grow = identityMatrix();
    scale(grow, 2.0f);
    const Vec3 v(1.0f, 1.0f, 1.0f);
    // Scale, then move: (2, 2, 2) + (1, 0, 0).
    expectVec4((move * grow) * v, 3.0f, 2.0f, 2.0f, 1.0f);
    // Move, then scale: (2, 1, 1) × 2.
    expectVec4((grow * move) * v, 4.0f, 2.0f, 2.0f, 1.0f);
    Mat4 m = move;
    m *= grow;
    EXPECT_EQ(m.e, (move * grow).e);
}

TEST(Mat4Product, VectorsTakeWAsOne)
{
    Mat4 m = identityMatrix();
    translate(m, Vec3(5.0f, 6.0f, 7.0f));
    EXPECT_EQ(m * Vec2(1.0f, 2.0f), Vec2(6.0f, 8.0f));
    expectVec4(m * Vec4(1.0f, 2.0f, 3.0f, 0.0), 6.0f, 8.0f, 10.0f, 1.0f);
    Vec3 p(1.0f, 1.0f, 1.0f);
    p *= m;
    EXPECT_EQ(p, Vec3(6.0f, 7.0f, 8.0f));
    // The input w is not read: the matrix's last row applied to (x, y, z, 1) replaces it.
    Vec4 q(1.0f, 2.0f, 3.0f, 9.0);
    q *= identityMatrix();
    expectVec4(q, 1.0f, 2.0f, 3.0f, 1.0f);
}

TEST(Mat4Builders, TranslateAndScaleForms)
{
    Mat4 a = identityMatrix();
    translate(a, Vec2(1.0f, 2.0f));
    expectElements(a, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 0, 1}, 0.0);
    Mat4 b = identityMatrix();
    translate(b, 1, 2, 3);
    translate(b, 1.0f, 1.0f, 1.0f);
    expectElements(b, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 3, 4, 1}, 0.0);
    // A scale after the translation does not scale the offset.
    scale(b, 2.0f, 3.0f, 4.0f);
    expectElements(b, {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 2, 3, 4, 1}, 0.0);
    expectElements(withoutTranslation(b), {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1}, 0.0);
}

TEST(Mat4Builders, RotateEulerSkipsZeroAngles)
{
    // Any multiplication would turn ∞ × 0 into NaN; zero angles must leave m as it is.
    Mat4 m;
    fill(m, std::numeric_limits<float>::infinity());
    rotateEuler(m, 0.0f, -0.0f, 0.0f);
    rotateEuler(m, 0, 0, 0);
    rotateEuler(m, Vec3());
    for (float e : m.e) EXPECT_EQ(e, std::numeric_limits<float>::infinity());
}

TEST(Mat4Builders, RotateEulerQuarterTurnAboutZ)
{
    Mat4 m = identityMatrix();
    rotateEuler(m, 0.0f, 0.0f, 90.0f);
    EXPECT_EQ(m.e[1], 1.0f);
    EXPECT_EQ(m.e[4], -1.0f);
    // cos(90 · 0.017453292f): the float constant falls 1.2168e-8 short of π/2.
    EXPECT_GT(m.e[0], 0.0f);
    EXPECT_NEAR(m.e[0], 1.2168e-8, 1e-11);
    EXPECT_EQ(m.e[5], m.e[0]);
    EXPECT_EQ(m.e[10], 1.0f);
    EXPECT_EQ(m.e[15], 1.0f);

    Mat4 byInt = identityMatrix();
    rotateEuler(byInt, 0, 0, 90);
    EXPECT_EQ(byInt.e, m.e);
    Mat4 byVec = identityMatrix();
    rotateEuler(byVec, Vec3(0.0f, 0.0f, 90.0f));
    EXPECT_EQ(byVec.e, m.e);
}

TEST(Mat4Builders, RotateEulerAxesAndOrder)
{
    Mat4 x = identityMatrix();
    rotateEuler(x, 90.0f, 0.0f, 0.0f);
    expectVec4(x * Vec3(0.0f, 1.0f, 0.0f), 0.0f, 0.0f, 1.0f, 1.0f);
    Mat4 y = identityMatrix();
    rotateEuler(y, 0.0f, 90.0f, 0.0f);
    expectVec4(y * Vec3(1.0f, 0.0f, 0.0f), 0.0f, 0.0f, -1.0f, 1.0f);
    // m × Rx × Ry: y acts on the vector first, (1,0,0) → (0,0,−1), then x takes it to (0,1,0).
    Mat4 xy = identityMatrix();
    rotateEuler(xy, 90.0f, 90.0f, 0.0f);
    expectVec4(xy * Vec3(1.0f, 0.0f, 0.0f), 0.0f, 1.0f, 0.0f, 1.0f);
}

TEST(Mat4Builders, AxisRotationNormalisesTheCallersAxis)
{
    Mat4 m;
    fill(m, 7.0f);
    Vec3 axis(0.0f, 0.0f, 2.0f);
    axisRotation(m, axis, 90.0f);
    EXPECT_EQ(axis, Vec3(0.0f, 0.0f, 1.0f));
    // Elements 3, 7, 11 and 12–14 keep what they held.
    expectElements(m, {0, -1, 0, 7, 1, 0, 0, 7, 0, 0, 1, 7, 7, 7, 7, 1});

    // 120° about (1, 1, 1) cycles the axes: x → z, y → x, z → y with these signs.
    Vec3 diagonal(1.0f, 1.0f, 1.0f);
    axisRotation(m, diagonal, 120.0f);
    EXPECT_NEAR(diagonal.x, 0.57735027, 1e-7);
    EXPECT_EQ(diagonal.x, diagonal.z);
    expectElements(m, {0, 0, 1, 7, 1, 0, 0, 7, 0, 1, 0, 7, 7, 7, 7, 1});
}

TEST(Mat4Builders, AxisRotationQuarterTurnAboutY)
{
    // m2 ← t·x·z + s·y and m8 ← t·x·z − s·y: +1 and −1 for a quarter turn about y.
    Mat4 m = identityMatrix();
    Vec3 axis(0.0f, 3.0f, 0.0f);
    axisRotation(m, axis, 90.0f);
    EXPECT_EQ(m.e[2], 1.0f);
    EXPECT_EQ(m.e[8], -1.0f);
    EXPECT_NEAR(m.e[0], 0.0f, 1e-7f);
    EXPECT_NEAR(m.e[10], 0.0f, 1e-7f);
    EXPECT_EQ(m.e[5], 1.0f);
    expectVec4(m * Vec3(0.0f, 0.0f, 1.0f), -1.0f, 0.0f, 0.0f, 1.0f);
}

TEST(Mat4Builders, RigidInverseUndoesRotationAndTranslation)
{
    Mat4 m = identityMatrix();
    translate(m, 1.0f, 2.0f, 3.0f);
    rotateEuler(m, 0.0f, 0.0f, 90.0f);
    // Transposed rotation; translation −Rᵀ(1, 2, 3) = (−2, 1, −3).
    const Mat4 inverse = rigidInverse(m);
    expectElements(inverse, {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, -2, 1, -3, 1});
    expectElements(inverse * m, identityMatrix().e);

    Mat4 turned = identityMatrix();
    rotateEuler(turned, 30.0f, -45.0f, 60.0f);
    translate(turned, -4.0f, 0.5f, 8.0f);
    expectElements(rigidInverse(turned) * turned, identityMatrix().e);
}

TEST(Mat4Builders, PlanarShadowProjectsOntoThePlane)
{
    // Point light at (0, 10, 0) onto the floor y = 0.
    const Mat4 shadow = planarShadow(Vec4(0.0f, 10.0f, 0.0f, 1.0), Vec4(0.0f, 1.0f, 0.0f, 0.0));
    expectElements(shadow, {10, 0, 0, 0, 0, 0, 0, -1, 0, 0, 10, 0, 0, 0, 0, 10}, 0.0);
    // The ray from the light through (3, 5, 4) meets the floor at (6, 0, 8): w = 5.
    expectVec4(shadow * Vec3(3.0f, 5.0f, 4.0f), 30.0f, 0.0f, 40.0f, 5.0f);
    // A point already on the floor keeps its place (scaled by dot(p, l) = 10).
    expectVec4(shadow * Vec3(2.0f, 0.0f, 7.0f), 20.0f, 0.0f, 70.0f, 10.0f);
}

TEST(Mat4Builders, LookAtFromTheSide)
{
    // Eye on +x looking at the origin: camera x is world −z, camera z (towards the eye) world +x.
    Mat4 m;
    lookAt(m, Vec3(3.0f, 0.0f, 0.0f), Vec3(), Vec3(0.0f, 1.0f, 0.0f));
    expectElements(m, {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, -3, 1});
    expectVec4(m * Vec3(3.0f, 0.0f, 0.0f), 0.0f, 0.0f, 0.0f, 1.0f);
    lookAt(m, Vec3(0.0f, 0.0f, 5.0f), Vec3(), Vec3(0.0f, 1.0f, 0.0f));
    expectElements(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1});
}

TEST(Mat4Builders, OrientTowardsAndItsPoleCase)
{
    Mat4 m;
    orientTowards(m, Vec3(0.0f, 0.0f, 5.0f), Vec3());
    expectElements(m, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1});
    // Straight above the target the up vector switches to +z.
    orientTowards(m, Vec3(0.0f, 5.0f, 0.0f), Vec3());
    expectElements(m, {-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 5, 0, 1});
}

TEST(Mat4Builders, PerspectiveProjections)
{
    Mat4 m;
    fill(m, 9.0f);
    // 90° field: top 1, bottom −1, right 2, left −2.
    perspective(m, 90.0f, 2.0f, 1.0f, 3.0f);
    expectElements(m, {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -2, -1, 0, 0, -3, 0});
    // 60° field: top 2·tan 30° = 2/√3, right √3; m5 = cot 30° = √3.
    perspective(m, 60.0f, 1.5f, 2.0f, 10.0f);
    expectElements(m, {1.1547005f, 0, 0, 0, 0, 1.7320508f, 0, 0, 0, 0, -1.5f, -1, 0, 0, -5, 0});

    fill(m, 9.0f);
    perspectiveInfinite(m, std::numbers::pi_v<float> / 4.0f, 2.0f, 0.5f);
    expectElements(m, {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -1, 0});
}

TEST(Mat4Builders, FromDirection)
{
    // d = (1, 2, 2): v = d/3; |v.z| > 0.577 so h = (−2/3, 2/3, 0); p = v·h = (−2/9, 4/9, 0)
    // normalised to (−1, 2, 0)/√5; q = p·v = (−1/3, 4/3, 0)/√5.
    Mat4 m;
    fromDirection(m, Vec3(1.0f, 2.0f, 2.0f));
    const float r5 = 1.0f / std::sqrt(5.0f);
    expectElements(m, {-r5, 2 * r5, 0, 0, -r5 / 3, 4 * r5 / 3, 0, 0, 1.0f / 3, 2.0f / 3, 2.0f / 3, 0, 0, 0, 0, 1});
}

}  // namespace
}  // namespace netduel
