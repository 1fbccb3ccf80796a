// Frame3: a coordinate frame of three axes and an origin.
#pragma once

#include "vecmath/vec3.h"

namespace netduel {

// Aggregate: Frame3{xAxis, yAxis, zAxis, origin}; the default is the unit axes at 0.
struct Frame3 {
    Vec3 xAxis{1.0f, 0.0f, 0.0f};
    Vec3 yAxis{0.0f, 1.0f, 0.0f};
    Vec3 zAxis{0.0f, 0.0f, 1.0f};
    Vec3 origin;
};

// Turns the axes by a1 (about x), a2 (about y) and a3 (about z), radians, in that order;
// each step renormalises one axis and rebuilds another by a cross product. origin unchanged.
void rotate(Frame3& f, float a1, float a2, float a3);

}  // namespace netduel
