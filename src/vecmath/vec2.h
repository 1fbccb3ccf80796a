// Vec2: the two-float vector of all 2D arithmetic in the duel (positions, headings, directions).
//
// Numeric rule of the whole vector library: every result component is computed in
// 64-bit precision and stored as a 32-bit float. Nothing checks for division by zero
// or for values that are not numbers; IEEE-754 decides those results.
#pragma once

#include <string>

namespace netduel {

struct Vec2 {
    float x = 0.0f;
    float y = 0.0f;

    constexpr Vec2() = default;
    constexpr Vec2(float x_, float y_) : x(x_), y(y_) {}
    constexpr Vec2(double x_, double y_) : x(static_cast<float>(x_)), y(static_cast<float>(y_)) {}
};
static_assert(sizeof(Vec2) == 8, "Vec2 is two packed floats on the wire");

// Stores a 64-bit intermediate as a 32-bit component (round to nearest).
constexpr float toF32(double v) { return static_cast<float>(v); }

constexpr Vec2 operator+(Vec2 a, Vec2 b) { return {toF32(double(a.x) + b.x), toF32(double(a.y) + b.y)}; }
constexpr Vec2 operator-(Vec2 a, Vec2 b) { return {toF32(double(a.x) - b.x), toF32(double(a.y) - b.y)}; }
constexpr Vec2 operator+(Vec2 a, float s) { return {toF32(double(a.x) + s), toF32(double(a.y) + s)}; }
constexpr Vec2 operator*(Vec2 a, Vec2 b) { return {toF32(double(a.x) * b.x), toF32(double(a.y) * b.y)}; }
constexpr Vec2 operator*(Vec2 a, float s) { return {toF32(double(a.x) * s), toF32(double(a.y) * s)}; }
constexpr Vec2 operator*(Vec2 a, double s) { return {toF32(a.x * s), toF32(a.y * s)}; }
constexpr Vec2 operator/(Vec2 a, Vec2 b) { return {toF32(double(a.x) / b.x), toF32(double(a.y) / b.y)}; }
constexpr Vec2 operator/(Vec2 a, float s) { return {toF32(double(a.x) / s), toF32(double(a.y) / s)}; }
constexpr Vec2 operator/(Vec2 a, double s) { return {toF32(a.x / s), toF32(a.y / s)}; }
constexpr Vec2 operator/(Vec2 a, int n) { return {toF32(a.x / double(n)), toF32(a.y / double(n))}; }
// Exact float comparison of both components.
constexpr bool operator==(Vec2 a, Vec2 b) { return a.x == b.x && a.y == b.y; }

// √squared as a 32-bit float, or 1.0 where that is 0: every vector's length, which
// normalising divides by without a zero check.
float lengthFromSquared(double squared);

float dot(Vec2 a, Vec2 b);
float cross(Vec2 a, Vec2 b);
// Euclidean length; 1.0 for the zero vector, so the divisions below never divide by 0.
float length(Vec2 a);
// Distance from a to b, each difference stored as a 32-bit float first.
float distance(Vec2 a, Vec2 b);
// a ← a ÷ length(a); the zero vector stays zero.
void normalize(Vec2& a);
Vec2 normalized(Vec2 a);
// Unit normal of the segment a→b, a quarter turn from b − a towards −y.
Vec2 normalBetween(Vec2 a, Vec2 b);
// Unsigned angle between a and b in radians, 0 … π; π/2 when either is zero.
float angleBetween(Vec2 a, Vec2 b);
// The point the share f of the way from a to b (past b for f > 1), each difference a
// 32-bit float first.
Vec2 lerp(Vec2 a, Vec2 b, double f);

// A 32-bit float as "%.7g" of its 64-bit widening, a trailing "." dropped.
std::string floatText(float v);
// "x: <x>, y: <y>".
std::string toString(Vec2 a);

}  // namespace netduel
