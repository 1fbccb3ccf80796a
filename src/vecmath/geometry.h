// Geometry on the vector types: fast inverse square root, planes, segments, triangles, boxes
// and cubic Bézier curves.
#pragma once

#include <array>
#include <cstdint>

#include "vecmath/vec2.h"
#include "vecmath/vec3.h"
#include "vecmath/vec4.h"

namespace netduel {

// classifyAgainstPlane results.
inline constexpr int PLANE_BELOW_THRESHOLD = 1;
inline constexpr int PLANE_AT_OR_ABOVE_THRESHOLD = 2;

// classifyInTriangle2 results.
inline constexpr int TRIANGLE_OUTSIDE = 0;  // also corners and degenerate triangles
inline constexpr int TRIANGLE_INSIDE = 1;
inline constexpr int TRIANGLE_EDGE_AB = 2;
inline constexpr int TRIANGLE_EDGE_CA = 3;
inline constexpr int TRIANGLE_EDGE_BC = 4;

using Triangle3 = std::array<Vec3, 3>;
using Segment3 = std::array<Vec3, 2>;
// k0 start, k2 end; k1 is the control point next to k0, k3 the one next to k2.
using BezierKeys = std::array<Vec3, 4>;

// Scratch values of fastInverseSqrt, kept program-wide: h = x/2 and the integer i of the
// bit trick. Not safe for two threads at once; tests may reset them.
extern float fastInverseSqrtHalf;
extern std::int32_t fastInverseSqrtBits;

// About 1/√x (within 0.2 % for positive normal x): the bit-trick guess and one Newton step.
float fastInverseSqrt(float x);
// 1 ÷ tan(a), a in radians.
float cotangent(float a);
// Unit normal of t by the right-hand rule t0 → t1 → t2; zero for a degenerate triangle.
Vec3 triangleNormal(const Triangle3& t);
// The d of the plane with normal n through p: −dot(n, p).
float planeOffset(Vec3 n, Vec3 p);
// (a, b, c, d) of the plane a·x + b·y + c·z + d = 0 through three points, unnormalised.
Vec4 planeFromPoints(Vec3 p1, Vec3 p2, Vec3 p3);
// The point of segment a–b nearest to p.
Vec3 closestPointOnSegment(Vec3 a, Vec3 b, Vec3 p);
// Sets n and d to the plane of t; true when the ends of s lie strictly on opposite sides.
bool segmentCrossesPlane(const Triangle3& t, const Segment3& s, Vec3& n, float& d);
// Where the line through s meets the plane (n, d); s0 when the line runs parallel to it.
Vec3 linePlaneIntersection(Vec3 n, const Segment3& s, float d);
// True when p and a lie on the same side of the line through b and c (or on it).
bool sameSide(Vec3 p, Vec3 a, Vec3 b, Vec3 c);
// True when p, taken to lie in the plane of t, is inside t or on its border.
bool pointInTriangle(Vec3 p, const Triangle3& t);
// True when s passes through t; hit ← the crossing point whenever s crosses t's plane.
bool segmentHitsTriangle(const Triangle3& t, const Segment3& s, Vec3& hit);
// True when an edge of t comes closer than r to the centre c.
bool sphereTouchesTriangleEdge(Vec3 c, const Triangle3& t, float r);
// v × (a − b), the difference rounded to a 32-bit float first.
Vec3 scaleByDifference(Vec3 v, float a, float b);
// signedDistance ← distance of p from the plane with normal n through q (n taken as unit);
// PLANE_BELOW_THRESHOLD when it is below threshold, else PLANE_AT_OR_ABOVE_THRESHOLD.
int classifyAgainstPlane(Vec3 p, Vec3 n, Vec3 q, float threshold, float& signedDistance);
// Where the pixel (px, py) lies against triangle a, b, c: TRIANGLE_* by barycentric weights.
int classifyInTriangle2(int px, int py, Vec2 a, Vec2 b, Vec2 c);
// True when the boxes overlap; touching boxes overlap.
bool boxesOverlap2(Vec2 aMin, Vec2 aMax, Vec2 bMin, Vec2 bMax);
bool boxesOverlap3(Vec3 aMin, Vec3 aMax, Vec3 bMin, Vec3 bMax);
// True when min ≤ p ≤ max in all three components.
bool pointInBox3(Vec3 p, Vec3 min, Vec3 max);
// The point at t (0 … 1) of the cubic Bézier curve of k.
Vec3 bezierPoint(const BezierKeys& k, float t);

}  // namespace netduel
