// Vec3: the three-float vector of the 3D half of the vector library (points, directions, normals).
//
// Same numeric rule as Vec2: each result component is computed in 64-bit precision and
// stored as a 32-bit float; divisions by zero and non-numbers are left to IEEE-754.
#pragma once

#include <string>

#include "vecmath/vec2.h"

namespace netduel {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
};
static_assert(sizeof(Vec3) == 12, "Vec3 is three packed floats");

constexpr Vec3 operator+(Vec3 a, Vec3 b)
{
    return {toF32(double(a.x) + b.x), toF32(double(a.y) + b.y), toF32(double(a.z) + b.z)};
}
constexpr Vec3 operator-(Vec3 a, Vec3 b)
{
    return {toF32(double(a.x) - b.x), toF32(double(a.y) - b.y), toF32(double(a.z) - b.z)};
}
constexpr Vec3 operator*(Vec3 a, Vec3 b)
{
    return {toF32(double(a.x) * b.x), toF32(double(a.y) * b.y), toF32(double(a.z) * b.z)};
}
constexpr Vec3 operator/(Vec3 a, Vec3 b)
{
    return {toF32(double(a.x) / b.x), toF32(double(a.y) / b.y), toF32(double(a.z) / b.z)};
}
constexpr Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
constexpr Vec3 operator+(Vec3 a, float s)
{
    return {toF32(double(a.x) + s), toF32(double(a.y) + s), toF32(double(a.z) + s)};
}
constexpr Vec3 operator-(Vec3 a, float s)
{
    return {toF32(double(a.x) - s), toF32(double(a.y) - s), toF32(double(a.z) - s)};
}
constexpr Vec3 operator*(Vec3 a, float s)
{
    return {toF32(double(a.x) * s), toF32(double(a.y) * s), toF32(double(a.z) * s)};
}
constexpr Vec3 operator/(Vec3 a, float s)
{
    return {toF32(double(a.x) / s), toF32(double(a.y) / s), toF32(double(a.z) / s)};
}
constexpr Vec3 operator*(Vec3 a, double s) { return {toF32(a.x * s), toF32(a.y * s), toF32(a.z * s)}; }
constexpr Vec3 operator/(Vec3 a, double s) { return {toF32(a.x / s), toF32(a.y / s), toF32(a.z / s)}; }
constexpr Vec3& operator*=(Vec3& a, float s) { return a = a * s; }
constexpr Vec3& operator+=(Vec3& a, Vec3 b) { return a = a + b; }
// Exact float comparison of all three components.
constexpr bool operator==(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

float dot(Vec3 a, Vec3 b);
Vec3 cross(Vec3 a, Vec3 b);
// Euclidean length; 1.0 for the zero vector, so normalising never divides by 0.
float length(Vec3 a);
// a ← a ÷ length(a); the zero vector stays zero.
void normalize(Vec3& a);
Vec3 normalized(Vec3 a);
// Distance from a to b, each difference stored as a 32-bit float first.
float distance(Vec3 a, Vec3 b);
// Unsigned angle between a and b in radians, 0 … π; π/2 when either is zero.
float angleBetween(Vec3 a, Vec3 b);
// (x, y), z dropped.
Vec2 toVec2(Vec3 a);
// "x: <x>, y: <y>, z: <z>".
std::string toString(Vec3 a);

}  // namespace netduel
