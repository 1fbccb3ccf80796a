// Geometry functions: segments, planes, triangles, boxes, Bézier points, fast inverse square root.
#include "vecmath/geometry.h"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

namespace netduel {
namespace {

// Right triangle in the plane z = 0, counter-clockwise seen from +z.
const Triangle3 FLOOR{Vec3(0.0f, 0.0f, 0.0f), Vec3(4.0f, 0.0f, 0.0f), Vec3(0.0f, 4.0f, 0.0f)};

TEST(Segments, ClosestPointInItsThreeRegions)
{
    const Vec3 a(0.0f, 0.0f, 0.0f);
    const Vec3 b(10.0f, 0.0f, 0.0f);
    EXPECT_EQ(closestPointOnSegment(a, b, Vec3(-5.0f, 3.0f, 0.0f)), a);
    EXPECT_EQ(closestPointOnSegment(a, b, Vec3(15.0f, 1.0f, 0.0f)), b);
    EXPECT_EQ(closestPointOnSegment(a, b, Vec3(4.0f, 2.0f, 0.0f)), Vec3(4.0f, 0.0f, 0.0f));
}

TEST(Segments, HitsTriangleOnlyThroughItsInside)
{
    Vec3 hit(-1.0f, -1.0f, -1.0f);
    EXPECT_TRUE(segmentHitsTriangle(FLOOR, {Vec3(1.0f, 1.0f, -1.0f), Vec3(1.0f, 1.0f, 3.0f)}, hit));
    EXPECT_EQ(hit, Vec3(1.0f, 1.0f, 0.0f));

    // Crosses the plane beside the triangle (x + y = 6 > 4): the crossing is still reported.
    EXPECT_FALSE(segmentHitsTriangle(FLOOR, {Vec3(3.0f, 3.0f, 2.0f), Vec3(3.0f, 3.0f, -2.0f)}, hit));
    EXPECT_EQ(hit, Vec3(3.0f, 3.0f, 0.0f));

    // Parallel to the plane, or ending short of it: no crossing, hit untouched.
    hit = Vec3(9.0f, 9.0f, 9.0f);
    EXPECT_FALSE(segmentHitsTriangle(FLOOR, {Vec3(1.0f, 1.0f, 1.0f), Vec3(2.0f, 1.0f, 1.0f)}, hit));
    EXPECT_FALSE(segmentHitsTriangle(FLOOR, {Vec3(1.0f, 1.0f, 1.0f), Vec3(1.0f, 1.0f, 0.5f)}, hit));
    EXPECT_EQ(hit, Vec3(9.0f, 9.0f, 9.0f));
}

TEST(Planes, NormalsOffsetsAndIntersections)
{
    EXPECT_EQ(triangleNormal(FLOOR), Vec3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(triangleNormal({FLOOR[0], FLOOR[2], FLOOR[1]}), Vec3(0.0f, 0.0f, -1.0f));
    EXPECT_EQ(planeOffset(Vec3(0.0f, 0.0f, 1.0f), Vec3(5.0f, 5.0f, 2.0f)), -2.0f);

    // The plane z = 1 through three of its points: 0·x + 0·y + 1·z − 1 = 0.
    const Vec4 plane = planeFromPoints(Vec3(0.0f, 0.0f, 1.0f), Vec3(1.0f, 0.0f, 1.0f), Vec3(0.0f, 1.0f, 1.0f));
    EXPECT_EQ(toVec3(plane), Vec3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(plane.w, -1.0f);

    // Line through (0, 0, 5) and (0, 3, 1), direction (0, 0.6, −0.8), meets z = 2 at y = 2.25.
    const Vec3 up(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(linePlaneIntersection(up, {Vec3(0.0f, 0.0f, 5.0f), Vec3(0.0f, 3.0f, 1.0f)}, -2.0f), Vec3(0.0f, 2.25f, 2.0f));
    // A line parallel to the plane answers its first point.
    EXPECT_EQ(linePlaneIntersection(up, {Vec3(1.0f, 2.0f, 5.0f), Vec3(3.0f, 2.0f, 5.0f)}, -2.0f), Vec3(1.0f, 2.0f, 5.0f));

    float signedDistance = 0.0f;
    const Vec3 point(7.0f, 7.0f, 3.0f);
    EXPECT_EQ(classifyAgainstPlane(point, up, Vec3(0.0f, 0.0f, 1.0f), 2.5f, signedDistance), PLANE_BELOW_THRESHOLD);
    EXPECT_EQ(signedDistance, 2.0f);
    EXPECT_EQ(classifyAgainstPlane(point, up, Vec3(0.0f, 0.0f, 1.0f), 2.0f, signedDistance), PLANE_AT_OR_ABOVE_THRESHOLD);
}

TEST(Triangles, PointInTriangleAndSphereEdges)
{
    EXPECT_TRUE(pointInTriangle(Vec3(1.0f, 1.0f, 0.0f), FLOOR));
    EXPECT_TRUE(pointInTriangle(Vec3(4.0f, 0.0f, 0.0f), FLOOR));
    EXPECT_FALSE(pointInTriangle(Vec3(3.0f, 3.0f, 0.0f), FLOOR));
    EXPECT_FALSE(pointInTriangle(Vec3(-0.5f, 1.0f, 0.0f), FLOOR));
    EXPECT_TRUE(sameSide(Vec3(1.0f, 1.0f, 0.0f), FLOOR[0], FLOOR[1], FLOOR[2]));
    EXPECT_FALSE(sameSide(Vec3(5.0f, 5.0f, 0.0f), FLOOR[0], FLOOR[1], FLOOR[2]));

    // Centre 1 below edge a–b; the other two edges are farther (√5 and 3/√2).
    const Vec3 centre(2.0f, -1.0f, 0.0f);
    EXPECT_TRUE(sphereTouchesTriangleEdge(centre, FLOOR, 1.5f));
    EXPECT_FALSE(sphereTouchesTriangleEdge(centre, FLOOR, 1.0f));
    EXPECT_TRUE(sphereTouchesTriangleEdge(Vec3(3.0f, 3.0f, 0.0f), FLOOR, 1.5f));
}

TEST(Triangles, ClassifyPixelAgainstTriangle)
{
    const Vec2 a(0.0f, 0.0f);
    const Vec2 b(4.0f, 0.0f);
    const Vec2 c(0.0f, 4.0f);
    EXPECT_EQ(classifyInTriangle2(0, 0, a, b, c), TRIANGLE_OUTSIDE);  // corner a: two weights 0
    EXPECT_EQ(classifyInTriangle2(1, 1, a, b, c), TRIANGLE_INSIDE);
    EXPECT_EQ(classifyInTriangle2(2, 0, a, b, c), TRIANGLE_EDGE_AB);
    EXPECT_EQ(classifyInTriangle2(0, 2, a, b, c), TRIANGLE_EDGE_CA);
    EXPECT_EQ(classifyInTriangle2(2, 2, a, b, c), TRIANGLE_EDGE_BC);
    EXPECT_EQ(classifyInTriangle2(5, 5, a, b, c), TRIANGLE_OUTSIDE);
    EXPECT_EQ(classifyInTriangle2(-1, 1, a, b, c), TRIANGLE_OUTSIDE);
    // (1, 0) lies on edge a–b, but twice the area, 0.4, rounds to 0: the sliver holds nothing.
    EXPECT_EQ(classifyInTriangle2(1, 0, a, Vec2(2.0f, 0.0f), Vec2(1.0f, 0.2f)), TRIANGLE_OUTSIDE);
    EXPECT_EQ(classifyInTriangle2(1, 0, a, Vec2(2.0f, 0.0f), Vec2(1.0f, 0.3f)), TRIANGLE_EDGE_AB);
    // Huge coordinates stay defined (the area is far beyond any 32-bit integer).
    EXPECT_EQ(classifyInTriangle2(1, 1, a, Vec2(1e30f, 0.0f), Vec2(0.0f, 1e30f)), TRIANGLE_INSIDE);
}

TEST(Boxes, TouchingBoxesOverlap)
{
    EXPECT_TRUE(boxesOverlap2(Vec2(0.0f, 0.0f), Vec2(1.0f, 1.0f), Vec2(1.0f, 0.5f), Vec2(2.0f, 3.0f)));
    EXPECT_TRUE(boxesOverlap2(Vec2(0.0f, 0.0f), Vec2(1.0f, 1.0f), Vec2(-1.0f, -1.0f), Vec2(0.0f, 0.0f)));
    EXPECT_FALSE(boxesOverlap2(Vec2(0.0f, 0.0f), Vec2(1.0f, 1.0f), Vec2(1.5f, 0.0f), Vec2(2.0f, 1.0f)));
    EXPECT_FALSE(boxesOverlap2(Vec2(0.0f, 0.0f), Vec2(1.0f, 1.0f), Vec2(0.0f, -2.0f), Vec2(1.0f, -0.5f)));

    const Vec3 lo(0.0f, 0.0f, 0.0f);
    const Vec3 hi(1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(boxesOverlap3(lo, hi, Vec3(0.0f, 0.0f, 1.0f), Vec3(1.0f, 1.0f, 2.0f)));
    EXPECT_FALSE(boxesOverlap3(lo, hi, Vec3(0.0f, 0.0f, 1.5f), Vec3(1.0f, 1.0f, 2.0f)));
    EXPECT_FALSE(boxesOverlap3(lo, hi, Vec3(0.0f, 2.0f, 0.0f), Vec3(1.0f, 3.0f, 1.0f)));

    EXPECT_TRUE(pointInBox3(hi, lo, hi));
    EXPECT_TRUE(pointInBox3(Vec3(0.5f, 0.0f, 1.0f), lo, hi));
    EXPECT_FALSE(pointInBox3(Vec3(0.5f, 0.5f, 1.01f), lo, hi));
}

TEST(Curves, BezierEndsAndMiddle)
{
    // Start k0, end k2; k1 steers the start and k3 the end.
    const BezierKeys k{Vec3(0.0f, 0.0f, 0.0f), Vec3(1.0f, 2.0f, 0.0f),
                       Vec3(4.0f, 0.0f, 1.0f), Vec3(3.0f, 2.0f, 1.0f)};
    EXPECT_EQ(bezierPoint(k, 0.0f), k[0]);
    EXPECT_EQ(bezierPoint(k, 1.0f), k[2]);
    // (k0 + 3·k1 + 3·k3 + k2) / 8.
    EXPECT_EQ(bezierPoint(k, 0.5f), Vec3(2.0f, 1.5f, 0.5f));
}

TEST(Scalars, FastInverseSqrtIsWithinTwoTenthsOfAPercent)
{
    for (float x : {1e-6f, 0.01f, 0.3f, 1.0f, 2.0f, 4.0f, 10.0f, 12345.0f, 3e20f}) {
        const double exact = 1.0 / std::sqrt(double(x));
        EXPECT_NEAR(fastInverseSqrt(x), exact, exact * 0.002) << "x = " << x;
    }
    // The scratch values stay behind: h = 2; i = 0x5F3759DF − (0x40800000 >> 1).
    fastInverseSqrtHalf = 0.0f;
    fastInverseSqrtBits = 0;
    fastInverseSqrt(4.0f);
    EXPECT_EQ(fastInverseSqrtHalf, 2.0f);
    EXPECT_EQ(fastInverseSqrtBits, 0x3EF759DF);
    // −0 has the bits 0x80000000; the signed shift gives −2^30 and the difference,
    // 0x5F3759DF + 2^30 = 0x9F3759DF, wraps to a negative 32-bit integer instead of overflowing.
    fastInverseSqrt(-0.0f);
    EXPECT_EQ(fastInverseSqrtBits, 1597463007LL + 1073741824LL - 4294967296LL);
}

TEST(Scalars, CotangentAndScaleByDifference)
{
    EXPECT_NEAR(cotangent(std::numbers::pi_v<float> / 4.0f), 1.0f, 1e-6);
    EXPECT_NEAR(cotangent(std::numbers::pi_v<float> / 6.0f), std::sqrt(3.0f), 1e-6);
    EXPECT_EQ(scaleByDifference(Vec3(1.0f, 2.0f, -3.0f), 5.0f, 3.0f), Vec3(2.0f, 4.0f, -6.0f));
}

}  // namespace
}  // namespace netduel
