// Mat4: the 4×4 transform matrix with the view, projection, rotation, translation, scale and
// shadow builders of a 3D renderer, and its products with vectors.
//
// Storage is column-major: element k is row k mod 4, column k div 4; column 3 (elements
// 12–14) holds the translation and element 15 the homogeneous 1. Vectors are columns,
// transformed as m × v, so (a × b) × v applies b first. "m ← m × X" builders multiply on
// the right. Products follow the numeric rule of Vec2: each element is summed in 64-bit
// precision and stored as a 32-bit float. Angles in degrees unless a line says radians.
#pragma once

#include <array>
#include <string>

#include "vecmath/frame3.h"
#include "vecmath/vec2.h"
#include "vecmath/vec3.h"
#include "vecmath/vec4.h"

namespace netduel {

// π/180 as a 32-bit float; degree arguments are multiplied by it in 64-bit precision, so
// cos(90 · DEGREES_TO_RADIANS) is about 1.2e-8, not 0.
inline constexpr float DEGREES_TO_RADIANS = 0.017453292f;

// Zero-filled by default; see identity().
struct Mat4 {
    std::array<float, 16> e{};
};
static_assert(sizeof(Mat4) == 64, "Mat4 is sixteen packed floats");

// All 16 elements ← v.
void fill(Mat4& m, float v);
// 1 on the diagonal (elements 0, 5, 10, 15), 0 elsewhere.
void identity(Mat4& m);
// Columns (a, 0), (b, 0), (c, 0), (d, 1).
Mat4 fromColumns(Vec3 a, Vec3 b, Vec3 c, Vec3 d);
// The 16 floats in storage order.
std::array<float, 16>& elements(Mat4& m);
const std::array<float, 16>& elements(const Mat4& m);

// The matrix product.
Mat4 operator*(const Mat4& a, const Mat4& b);
// a ← a × b.
Mat4& operator*=(Mat4& a, const Mat4& b);
// (m0·x + m4·y + m12, m1·x + m5·y + m13).
Vec2 operator*(const Mat4& m, Vec2 v);
// m × (x, y, z, 1).
Vec4 operator*(const Mat4& m, Vec3 v);
// m × (x, y, z, 1): the w of v is not read.
Vec4 operator*(const Mat4& m, Vec4 v);
// a ← x, y, z of m × (a, 1); no division by w.
Vec3& operator*=(Vec3& a, const Mat4& m);
// a ← m × (a.x, a.y, a.z, 1); the old w is not read.
Vec4& operator*=(Vec4& a, const Mat4& m);

// Elements 4j … 4j+2 ← v, element 4j+3 unchanged; false (m unchanged) unless 0 ≤ j ≤ 3.
bool setColumn(Mat4& m, int j, Vec3 v);
// Elements 4j … 4j+3 ← v; false (m unchanged) unless 0 ≤ j ≤ 3.
bool setColumn(Mat4& m, int j, Vec4 v);
// Elements 4j … 4j+3; (0, 0, 0, 0) unless 0 ≤ j ≤ 3.
Vec4 getColumn(const Mat4& m, int j);

// Inverse of a rotation-plus-translation: the transposed 3×3 part and the translation
// turned back through it; bottom row (0, 0, 0, 1).
Mat4 rigidInverse(const Mat4& m);
// Copy of m with elements 12, 13, 14 ← 0 (element 15 kept).
Mat4 withoutTranslation(const Mat4& m);
// Projection from p (a point light with w = 1, or a direction with w = 0) onto the
// plane l = (a, b, c, d) of a·x + b·y + c·z + d = 0: element (row r, column c) ←
// (dot(p, l) if r = c, else 0) − p[r]·l[c].
Mat4 planarShadow(Vec4 p, Vec4 l);

// Overwrites m with the view from eye towards target, up giving the vertical.
void lookAt(Mat4& m, Vec3 eye, Vec3 target, Vec3 up);
// Overwrites m with the frame at position whose z axis points away from target.
void orientTowards(Mat4& m, Vec3 position, Vec3 target);
// Overwrites m with a projection without a far plane; angle in radians, used unchanged
// (1 ÷ tan(angle) is the focal scale).
void perspectiveInfinite(Mat4& m, float angle, float aspect, float near);
// Overwrites m with the projection of vertical field fovy (degrees) between near and far.
void perspective(Mat4& m, float fovy, float aspect, float near, float far);
// Normalises the caller's axis in place, then writes the rotation about it into the upper
// 3×3 part and element 15; elements 3, 7, 11, 12, 13, 14 are not written.
void axisRotation(Mat4& m, Vec3& axis, float degrees);
// m ← m × T, T the identity with the offset in elements 12–14.
void translate(Mat4& m, Vec2 offset);
void translate(Mat4& m, Vec3 offset);
void translate(Mat4& m, float x, float y, float z);
void translate(Mat4& m, int x, int y, int z);
// m ← m × Rx × Ry × Rz (degrees); an angle of exactly 0 skips its factor.
void rotateEuler(Mat4& m, float x, float y, float z);
void rotateEuler(Mat4& m, int x, int y, int z);
void rotateEuler(Mat4& m, Vec3 degrees);
// m ← m × S, S the identity with the factors in elements 0, 5 and 10.
void scale(Mat4& m, float s);
void scale(Mat4& m, float sx, float sy, float sz);
// Overwrites m with a basis whose column 2 is d normalised and translation 0. A d whose
// helper product vanishes (such as (0, 0, 1)) gives non-numbers.
void fromDirection(Mat4& m, Vec3 d);

// Frame3 of the x, y, z of columns 0, 1, 2 and 3.
Frame3 toFrame(const Mat4& m);
// 16 lines "(k ) value" for k ≤ 9 and "(k) value" for k ≥ 10, in storage order, each
// ended by "\r\n".
std::string toString(const Mat4& m);

}  // namespace netduel
