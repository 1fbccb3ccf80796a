// Geometry functions on the vector types.
#include "geometry.h"

#include <bit>
#include <cmath>

namespace netduel {

float fastInverseSqrtHalf = 0.0f;
std::int32_t fastInverseSqrtBits = 0;

namespace {

// Signed distance of p from the plane (n, d) for unit n, in 64-bit precision.
double planeSide(Vec3 p, Vec3 n, float d)
{
    return double(dot(p, n)) + d;
}

// One Bézier component: a·t³ + b·t² + c·t + k0.
float cubic(double a, double b, double c, double k0, double t)
{
    return toF32(a * std::pow(t, 3.0) + b * (t * t) + c * t + k0);
}

}  // namespace

float fastInverseSqrt(float x)
{
    fastInverseSqrtHalf = toF32(0.5 * x);
    // Arithmetic shift of the signed bits; the difference wraps to 32 bits as two's complement.
    std::int64_t shifted = std::bit_cast<std::int32_t>(x) >> 1;
    fastInverseSqrtBits = static_cast<std::int32_t>(0x5F3759DF - shifted);
    double y = std::bit_cast<float>(fastInverseSqrtBits);
    return toF32(y * (1.5 - fastInverseSqrtHalf * y * y));
}

float cotangent(float a)
{
    return toF32(1.0 / std::tan(double(a)));
}

Vec3 triangleNormal(const Triangle3& t)
{
    return normalized(cross(t[1] - t[0], t[2] - t[0]));
}

float planeOffset(Vec3 n, Vec3 p)
{
    return -dot(n, p);
}

Vec4 planeFromPoints(Vec3 p1, Vec3 p2, Vec3 p3)
{
    const double x1 = p1.x, y1 = p1.y, z1 = p1.z;
    const double x2 = p2.x, y2 = p2.y, z2 = p2.z;
    const double x3 = p3.x, y3 = p3.y, z3 = p3.z;
    double a = (z2 - z3) * y1 + (z3 - z1) * y2 + (z1 - z2) * y3;
    double b = (x2 - x3) * z1 + (x3 - x1) * z2 + (x1 - x2) * z3;
    double c = (y2 - y3) * x1 + (y3 - y1) * x2 + (y1 - y2) * x3;
    double d = -((z3 * y2 - z2 * y3) * x1 + (y3 * z1 - z3 * y1) * x2 + (z2 * y1 - y2 * z1) * x3);
    return {toF32(a), toF32(b), toF32(c), d};
}

Vec3 closestPointOnSegment(Vec3 a, Vec3 b, Vec3 p)
{
    Vec3 u = normalized(b - a);
    float span = distance(a, b);
    float t = dot(u, p - a);
    if (t <= 0.0f) return a;
    if (t < span) return a + u * t;
    return b;
}

bool segmentCrossesPlane(const Triangle3& t, const Segment3& s, Vec3& n, float& d)
{
    n = triangleNormal(t);
    d = planeOffset(n, t[0]);
    return planeSide(s[0], n, d) * planeSide(s[1], n, d) < 0.0;
}

Vec3 linePlaneIntersection(Vec3 n, const Segment3& s, float d)
{
    Vec3 u = normalized(s[1] - s[0]);
    float k = dot(n, u);
    if (k == 0.0f) return s[0];
    double t = -planeSide(s[0], n, d) / k;
    return s[0] + u * t;
}

bool sameSide(Vec3 p, Vec3 a, Vec3 b, Vec3 c)
{
    Vec3 edge = c - b;
    return dot(cross(edge, p - b), cross(edge, a - b)) >= 0.0f;
}

bool pointInTriangle(Vec3 p, const Triangle3& t)
{
    return sameSide(p, t[0], t[1], t[2]) && sameSide(p, t[1], t[0], t[2]) && sameSide(p, t[2], t[0], t[1]);
}

bool segmentHitsTriangle(const Triangle3& t, const Segment3& s, Vec3& hit)
{
    Vec3 n;
    float d = 0.0f;
    if (!segmentCrossesPlane(t, s, n, d)) return false;
    hit = linePlaneIntersection(n, s, d);
    return pointInTriangle(hit, t);
}

bool sphereTouchesTriangleEdge(Vec3 c, const Triangle3& t, float r)
{
    for (int i = 0; i < 3; ++i) {
        if (distance(closestPointOnSegment(t[i], t[(i + 1) % 3], c), c) < r) return true;
    }
    return false;
}

Vec3 scaleByDifference(Vec3 v, float a, float b)
{
    return v * toF32(double(a) - b);
}

int classifyAgainstPlane(Vec3 p, Vec3 n, Vec3 q, float threshold, float& signedDistance)
{
    signedDistance = toF32(planeSide(p, n, planeOffset(n, q)));
    return signedDistance < threshold ? PLANE_BELOW_THRESHOLD : PLANE_AT_OR_ABOVE_THRESHOLD;
}

int classifyInTriangle2(int px, int py, Vec2 a, Vec2 b, Vec2 c)
{
    // Twice the signed area, rounded to a whole number but kept as a double so that no
    // size of triangle can overflow an integer.
    const double area =
        std::nearbyint((double(b.x) - a.x) * (double(c.y) - a.y) - (double(c.x) - a.x) * (double(b.y) - a.y));
    if (area == 0.0) return TRIANGLE_OUTSIDE;
    const double ax = a.x - double(px), ay = a.y - double(py);
    const double bx = b.x - double(px), by = b.y - double(py);
    const double cx = c.x - double(px), cy = c.y - double(py);
    const float wa = toF32((bx * cy - cx * by) / area);
    const float wb = toF32((cx * ay - ax * cy) / area);
    const float wc = toF32((ax * by - bx * ay) / area);
    if (wa > 0.0f && wb > 0.0f && wc > 0.0f) return TRIANGLE_INSIDE;
    if (wa > 0.0f && wb > 0.0f && wc == 0.0f) return TRIANGLE_EDGE_AB;
    if (wa > 0.0f && wb == 0.0f && wc > 0.0f) return TRIANGLE_EDGE_CA;
    if (wa == 0.0f && wb > 0.0f && wc > 0.0f) return TRIANGLE_EDGE_BC;
    return TRIANGLE_OUTSIDE;
}

bool boxesOverlap2(Vec2 aMin, Vec2 aMax, Vec2 bMin, Vec2 bMax)
{
    return !(bMax.x < aMin.x || bMin.x > aMax.x || bMax.y < aMin.y || bMin.y > aMax.y);
}

bool boxesOverlap3(Vec3 aMin, Vec3 aMax, Vec3 bMin, Vec3 bMax)
{
    return boxesOverlap2(toVec2(aMin), toVec2(aMax), toVec2(bMin), toVec2(bMax)) &&
           !(bMax.z < aMin.z || bMin.z > aMax.z);
}

bool pointInBox3(Vec3 p, Vec3 min, Vec3 max)
{
    return min.x <= p.x && p.x <= max.x && min.y <= p.y && p.y <= max.y && min.z <= p.z && p.z <= max.z;
}

Vec3 bezierPoint(const BezierKeys& k, float t)
{
    Vec3 c = (k[1] - k[0]) * 3.0f;
    Vec3 b = (k[3] - k[1]) * 3.0f - c;
    Vec3 a = k[2] - k[0] - c - b;
    return {cubic(a.x, b.x, c.x, k[0].x, t), cubic(a.y, b.y, c.y, k[0].y, t), cubic(a.z, b.z, c.z, k[0].z, t)};
}

}  // namespace netduel
