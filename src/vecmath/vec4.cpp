// Vec4 operations beyond the inline operators.
#include "vec4.h"

#include <cmath>

namespace netduel {

namespace {

double squaredLength(Vec4 a)
{
    return double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z + double(a.w) * a.w;
}

}  // namespace

float dot(Vec4 a, Vec4 b)
{
    return toF32(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w);
}

float length(Vec4 a)
{
    return lengthFromSquared(squaredLength(a));
}

void normalize(Vec4& a)
{
    a = a / length(a);
}

Vec4 normalized(Vec4 a)
{
    return a / length(a);
}

Vec4 cross(Vec4 a, Vec4 b)
{
    return Vec4(cross(toVec3(a), toVec3(b)), a.w);
}

float distance(Vec4 a, Vec4 b)
{
    return toF32(std::sqrt(squaredLength(b - a)));
}

Vec3 toVec3(Vec4 a)
{
    return {a.x, a.y, a.z};
}

std::string toString(Vec4 a)
{
    return toString(toVec3(a)) + ", w: " + floatText(a.w);
}

}  // namespace netduel
