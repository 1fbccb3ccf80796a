// Vec2 operations beyond the inline operators.
#include "vec2.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace netduel {

float dot(Vec2 a, Vec2 b)
{
    return toF32(double(a.x) * b.x + double(a.y) * b.y);
}

float cross(Vec2 a, Vec2 b)
{
    return toF32(double(a.x) * b.y - double(a.y) * b.x);
}

float lengthFromSquared(double squared)
{
    const float l = toF32(std::sqrt(squared));
    return l == 0.0f ? 1.0f : l;
}

float length(Vec2 a)
{
    return lengthFromSquared(double(a.x) * a.x + double(a.y) * a.y);
}

Vec2 lerp(Vec2 a, Vec2 b, double f)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    return {toF32(a.x + dx * f), toF32(a.y + dy * f)};
}

float distance(Vec2 a, Vec2 b)
{
    float dx = toF32(double(b.x) - a.x);
    float dy = toF32(double(b.y) - a.y);
    return toF32(std::sqrt(double(dx) * dx + double(dy) * dy));
}

void normalize(Vec2& a)
{
    a = a / length(a);
}

Vec2 normalized(Vec2 a)
{
    return a / length(a);
}

Vec2 normalBetween(Vec2 a, Vec2 b)
{
    Vec2 d = b - a;
    float l = length(d);
    return {toF32(double(d.y) / l), toF32(-double(d.x) / l)};
}

float angleBetween(Vec2 a, Vec2 b)
{
    double k = double(dot(a, b)) / (double(length(a)) * length(b));
    // Rounding can push |k| a hair past 1 for parallel vectors; the angle is then 0 or π, not NaN.
    double s = std::sqrt(std::max(0.0, 1.0 - k * k));
    return toF32(std::atan2(s, k));
}

std::string floatText(float v)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.7g", double(v));
    std::string out = text;
    if (!out.empty() && out.back() == '.') out.pop_back();
    return out;
}

std::string toString(Vec2 a)
{
    return "x: " + floatText(a.x) + ", y: " + floatText(a.y);
}

}  // namespace netduel
