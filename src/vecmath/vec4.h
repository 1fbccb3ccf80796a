// Vec4: the four-float vector (homogeneous points, plane coefficients, matrix columns).
//
// Same numeric rule as Vec2: each result component is computed in 64-bit precision and
// stored as a 32-bit float; divisions by zero and non-numbers are left to IEEE-754.
#pragma once

#include <string>

#include "vecmath/vec3.h"

namespace netduel {

struct Vec4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    constexpr Vec4() = default;
    constexpr Vec4(float x_, float y_, float z_, double w_) : x(x_), y(y_), z(z_), w(toF32(w_)) {}
    // (v, w); w is 0 when left out.
    constexpr explicit Vec4(Vec3 v, double w_ = 0.0) : x(v.x), y(v.y), z(v.z), w(toF32(w_)) {}
};
static_assert(sizeof(Vec4) == 16, "Vec4 is four packed floats");

constexpr Vec4 operator+(Vec4 a, Vec4 b)
{
    return {toF32(double(a.x) + b.x), toF32(double(a.y) + b.y), toF32(double(a.z) + b.z), toF32(double(a.w) + b.w)};
}
constexpr Vec4 operator-(Vec4 a, Vec4 b)
{
    return {toF32(double(a.x) - b.x), toF32(double(a.y) - b.y), toF32(double(a.z) - b.z), toF32(double(a.w) - b.w)};
}
constexpr Vec4 operator*(Vec4 a, Vec4 b)
{
    return {toF32(double(a.x) * b.x), toF32(double(a.y) * b.y), toF32(double(a.z) * b.z), toF32(double(a.w) * b.w)};
}
constexpr Vec4 operator/(Vec4 a, Vec4 b)
{
    return {toF32(double(a.x) / b.x), toF32(double(a.y) / b.y), toF32(double(a.z) / b.z), toF32(double(a.w) / b.w)};
}
constexpr Vec4 operator-(Vec4 a) { return {-a.x, -a.y, -a.z, -a.w}; }
constexpr Vec4 operator+(Vec4 a, float s)
{
    return {toF32(double(a.x) + s), toF32(double(a.y) + s), toF32(double(a.z) + s), toF32(double(a.w) + s)};
}
constexpr Vec4 operator*(Vec4 a, float s)
{
    return {toF32(double(a.x) * s), toF32(double(a.y) * s), toF32(double(a.z) * s), toF32(double(a.w) * s)};
}
constexpr Vec4 operator/(Vec4 a, float s)
{
    return {toF32(double(a.x) / s), toF32(double(a.y) / s), toF32(double(a.z) / s), toF32(double(a.w) / s)};
}
constexpr Vec4 operator/(Vec4 a, double s)
{
    return {toF32(a.x / s), toF32(a.y / s), toF32(a.z / s), toF32(a.w / s)};
}
constexpr Vec4 operator/(Vec4 a, int n) { return a / double(n); }
constexpr Vec4& operator*=(Vec4& a, float s) { return a = a * s; }

float dot(Vec4 a, Vec4 b);
// Euclidean length over all four components; 1.0 for the zero vector.
float length(Vec4 a);
// a ← a ÷ length(a); the zero vector stays zero.
void normalize(Vec4& a);
Vec4 normalized(Vec4 a);
// Cross product of the x, y, z parts; w is taken from a.
Vec4 cross(Vec4 a, Vec4 b);
// Distance over all four components, each difference stored as a 32-bit float first.
float distance(Vec4 a, Vec4 b);
// (x, y, z), w dropped.
Vec3 toVec3(Vec4 a);
// "x: <x>, y: <y>, z: <z>, w: <w>".
std::string toString(Vec4 a);

}  // namespace netduel
