// Frame3 rotation.
#include "frame3.h"

#include <cmath>

namespace netduel {

// The rebuilt axes follow x = y × z, y = z × x, so the frame stays right-handed: turning
// by zero angles leaves it as it was rather than mirroring its y axis.
void rotate(Frame3& f, float a1, float a2, float a3)
{
    Frame3 r = f;
    r.zAxis = r.zAxis * std::cos(double(a1)) + r.yAxis * std::sin(double(a1));
    normalize(r.zAxis);
    r.yAxis = cross(r.zAxis, r.xAxis);

    r.zAxis = r.zAxis * std::cos(double(a2)) - r.xAxis * std::sin(double(a2));
    normalize(r.zAxis);
    r.xAxis = cross(r.yAxis, r.zAxis);

    r.xAxis = r.xAxis * std::cos(double(a3)) + r.yAxis * std::sin(double(a3));
    normalize(r.xAxis);
    r.yAxis = cross(r.zAxis, r.xAxis);
    f = r;
}

}  // namespace netduel
