// Vec3 operations beyond the inline operators.
#include "vec3.h"

#include <algorithm>
#include <cmath>

namespace netduel {

namespace {

double squaredLength(Vec3 a)
{
    return double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z;
}

}  // namespace

float dot(Vec3 a, Vec3 b)
{
    return toF32(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z);
}

Vec3 cross(Vec3 a, Vec3 b)
{
    return {toF32(double(a.y) * b.z - double(a.z) * b.y),
            toF32(double(a.z) * b.x - double(a.x) * b.z),
            toF32(double(a.x) * b.y - double(a.y) * b.x)};
}

float length(Vec3 a)
{
    return lengthFromSquared(squaredLength(a));
}

void normalize(Vec3& a)
{
    a = a / length(a);
}

Vec3 normalized(Vec3 a)
{
    return a / length(a);
}

float distance(Vec3 a, Vec3 b)
{
    return toF32(std::sqrt(squaredLength(b - a)));
}

float angleBetween(Vec3 a, Vec3 b)
{
    double k = double(dot(a, b)) / (double(length(b)) * length(a));
    // Rounding can push |k| a hair past 1 for parallel vectors; the angle is then 0 or π, not NaN.
    double s = std::sqrt(std::max(0.0, 1.0 - k * k));
    return toF32(std::atan2(s, k));
}

Vec2 toVec2(Vec3 a)
{
    return {a.x, a.y};
}

std::string toString(Vec3 a)
{
    return "x: " + floatText(a.x) + ", y: " + floatText(a.y) + ", z: " + floatText(a.z);
}

}  // namespace netduel
