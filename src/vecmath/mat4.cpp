// Mat4 products, columns and transform builders.
#include "mat4.h"

#include <cmath>
#include <initializer_list>
#include <numbers>

namespace netduel {

namespace {

// Storage index of row r, column c.
constexpr int at(int r, int c) { return c * 4 + r; }

constexpr bool isColumn(int j) { return j >= 0 && j <= 3; }

// Row r of m × (x, y, z, 1), in 64-bit precision.
double rowTimesPoint(const Mat4& m, int r, double x, double y, double z)
{
    return m.e[at(r, 0)] * x + m.e[at(r, 1)] * y + m.e[at(r, 2)] * z + m.e[at(r, 3)];
}

Vec4 timesPoint(const Mat4& m, Vec3 v)
{
    return {toF32(rowTimesPoint(m, 0, v.x, v.y, v.z)), toF32(rowTimesPoint(m, 1, v.x, v.y, v.z)),
            toF32(rowTimesPoint(m, 2, v.x, v.y, v.z)), rowTimesPoint(m, 3, v.x, v.y, v.z)};
}

// One entry of an elementary factor: storage index and value.
struct Entry {
    int index;
    float value;
};

// m ← m × X, X the identity with the given entries written over it.
void timesIdentityWith(Mat4& m, std::initializer_list<Entry> entries)
{
    Mat4 x;
    identity(x);
    for (Entry entry : entries) x.e[entry.index] = entry.value;
    m *= x;
}

// The elementary rotation about one axis: which elements hold cos, +sin and −sin.
struct EulerFactor {
    int cos1;
    int cos2;
    int sinPlus;
    int sinMinus;
};
constexpr EulerFactor EULER_X{5, 10, 6, 9};
constexpr EulerFactor EULER_Y{0, 10, 8, 2};
constexpr EulerFactor EULER_Z{0, 5, 1, 4};

void rotateAbout(Mat4& m, const EulerFactor& f, double degrees)
{
    if (degrees == 0.0) return;
    double radians = degrees * DEGREES_TO_RADIANS;
    float c = toF32(std::cos(radians));
    float s = toF32(std::sin(radians));
    timesIdentityWith(m, {{f.cos1, c}, {f.cos2, c}, {f.sinPlus, s}, {f.sinMinus, -s}});
}

void rotateEulerDegrees(Mat4& m, double x, double y, double z)
{
    rotateAbout(m, EULER_X, x);
    rotateAbout(m, EULER_Y, y);
    rotateAbout(m, EULER_Z, z);
}

}  // namespace

void fill(Mat4& m, float v)
{
    m.e.fill(v);
}

void identity(Mat4& m)
{
    m.e.fill(0.0f);
    for (int i = 0; i < 4; ++i) m.e[at(i, i)] = 1.0f;
}

Mat4 fromColumns(Vec3 a, Vec3 b, Vec3 c, Vec3 d)
{
    Mat4 m;
    setColumn(m, 0, Vec4(a, 0.0));
    setColumn(m, 1, Vec4(b, 0.0));
    setColumn(m, 2, Vec4(c, 0.0));
    setColumn(m, 3, Vec4(d, 1.0));
    return m;
}

std::array<float, 16>& elements(Mat4& m)
{
    return m.e;
}

const std::array<float, 16>& elements(const Mat4& m)
{
    return m.e;
}

Mat4 operator*(const Mat4& a, const Mat4& b)
{
    Mat4 p;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += double(a.e[at(r, k)]) * b.e[at(k, c)];
            p.e[at(r, c)] = toF32(sum);
        }
    }
    return p;
}

Mat4& operator*=(Mat4& a, const Mat4& b)
{
    return a = a * b;
}

Vec2 operator*(const Mat4& m, Vec2 v)
{
    return {toF32(double(m.e[0]) * v.x + double(m.e[4]) * v.y + m.e[12]),
            toF32(double(m.e[1]) * v.x + double(m.e[5]) * v.y + m.e[13])};
}

Vec4 operator*(const Mat4& m, Vec3 v)
{
    return timesPoint(m, v);
}

Vec4 operator*(const Mat4& m, Vec4 v)
{
    return timesPoint(m, toVec3(v));
}

Vec3& operator*=(Vec3& a, const Mat4& m)
{
    return a = toVec3(timesPoint(m, a));
}

Vec4& operator*=(Vec4& a, const Mat4& m)
{
    return a = timesPoint(m, toVec3(a));
}

bool setColumn(Mat4& m, int j, Vec3 v)
{
    if (!isColumn(j)) return false;
    m.e[at(0, j)] = v.x;
    m.e[at(1, j)] = v.y;
    m.e[at(2, j)] = v.z;
    return true;
}

bool setColumn(Mat4& m, int j, Vec4 v)
{
    if (!setColumn(m, j, toVec3(v))) return false;
    m.e[at(3, j)] = v.w;
    return true;
}

Vec4 getColumn(const Mat4& m, int j)
{
    if (!isColumn(j)) return {};
    return {m.e[at(0, j)], m.e[at(1, j)], m.e[at(2, j)], m.e[at(3, j)]};
}

Mat4 rigidInverse(const Mat4& m)
{
    Mat4 r;
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 3; ++k) r.e[at(k, c)] = m.e[at(c, k)];
    }
    for (int i = 0; i < 3; ++i) {
        const float* column = &m.e[4 * i];
        double t = double(column[0]) * m.e[12] + double(column[1]) * m.e[13] + double(column[2]) * m.e[14];
        r.e[12 + i] = toF32(-t);
    }
    r.e[15] = 1.0f;
    return r;
}

Mat4 withoutTranslation(const Mat4& m)
{
    Mat4 r = m;
    r.e[12] = r.e[13] = r.e[14] = 0.0f;
    return r;
}

Mat4 planarShadow(Vec4 p, Vec4 l)
{
    const double d = dot(p, l);
    const std::array<float, 4> pr{p.x, p.y, p.z, p.w};
    const std::array<float, 4> lc{l.x, l.y, l.z, l.w};
    Mat4 m;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) m.e[at(r, c)] = toF32((r == c ? d : 0.0) - double(pr[r]) * lc[c]);
    }
    return m;
}

void lookAt(Mat4& m, Vec3 eye, Vec3 target, Vec3 up)
{
    Vec3 f = normalized(eye - target);
    Vec3 s = normalized(cross(f, up));
    Vec3 u = normalized(cross(s, f));
    const Vec3 rows[3] = {-s, u, f};
    fill(m, 0.0f);
    for (int r = 0; r < 3; ++r) {
        m.e[at(r, 0)] = rows[r].x;
        m.e[at(r, 1)] = rows[r].y;
        m.e[at(r, 2)] = rows[r].z;
    }
    m.e[15] = 1.0f;
    translate(m, -eye);
}

void orientTowards(Mat4& m, Vec3 position, Vec3 target)
{
    Vec3 f = normalized(position - target);
    Vec3 up = std::fabs(double(f.y)) > 0.9999 ? Vec3(0.0f, 0.0f, 1.0f) : Vec3(0.0f, 1.0f, 0.0f);
    Vec3 x = normalized(-cross(f, up));
    Vec3 y = normalized(-cross(x, f));
    m = fromColumns(x, y, f, position);
}

void perspectiveInfinite(Mat4& m, float angle, float aspect, float near)
{
    float c = toF32(1.0 / std::tan(double(angle)));
    fill(m, 0.0f);
    m.e[0] = toF32(double(c) / aspect);
    m.e[5] = c;
    m.e[10] = -1.0f;
    m.e[11] = -1.0f;
    m.e[14] = toF32(-2.0 * near);
}

void perspective(Mat4& m, float fovy, float aspect, float near, float far)
{
    float top = toF32(near * std::tan(fovy * std::numbers::pi / 360.0));
    float bottom = -top;
    float right = toF32(double(aspect) * top);
    float left = -right;
    fill(m, 0.0f);
    m.e[0] = toF32(2.0 * near / (double(right) - left));
    m.e[5] = toF32(2.0 * near / (double(top) - bottom));
    m.e[8] = toF32((double(right) + left) / (double(right) - left));
    m.e[9] = toF32((double(top) + bottom) / (double(top) - bottom));
    m.e[10] = toF32((-double(near) - far) / (double(far) - near));
    m.e[11] = -1.0f;
    m.e[14] = toF32(-2.0 * near * far / (double(far) - near));
}

void axisRotation(Mat4& m, Vec3& axis, float degrees)
{
    normalize(axis);
    const double x = axis.x, y = axis.y, z = axis.z;
    const double radians = double(degrees) * DEGREES_TO_RADIANS;
    const double c = toF32(std::cos(radians));
    const double s = toF32(std::sin(radians));
    const double t = toF32(1.0 - c);
    m.e[0] = toF32(c + x * x * t);
    m.e[5] = toF32(c + y * y * t);
    m.e[10] = toF32(c + z * z * t);
    m.e[1] = toF32(t * x * y - s * z);
    m.e[4] = toF32(t * x * y + s * z);
    m.e[2] = toF32(t * x * z + s * y);
    m.e[8] = toF32(t * x * z - s * y);
    m.e[6] = toF32(t * y * z - s * x);
    m.e[9] = toF32(t * y * z + s * x);
    m.e[15] = 1.0f;
}

void translate(Mat4& m, Vec2 offset)
{
    translate(m, offset.x, offset.y, 0.0f);
}

void translate(Mat4& m, Vec3 offset)
{
    translate(m, offset.x, offset.y, offset.z);
}

void translate(Mat4& m, float x, float y, float z)
{
    timesIdentityWith(m, {{12, x}, {13, y}, {14, z}});
}

void translate(Mat4& m, int x, int y, int z)
{
    translate(m, toF32(x), toF32(y), toF32(z));
}

void rotateEuler(Mat4& m, float x, float y, float z)
{
    rotateEulerDegrees(m, x, y, z);
}

void rotateEuler(Mat4& m, int x, int y, int z)
{
    rotateEulerDegrees(m, x, y, z);
}

void rotateEuler(Mat4& m, Vec3 degrees)
{
    rotateEulerDegrees(m, degrees.x, degrees.y, degrees.z);
}

void scale(Mat4& m, float s)
{
    scale(m, s, s, s);
}

void scale(Mat4& m, float sx, float sy, float sz)
{
    timesIdentityWith(m, {{0, sx}, {5, sy}, {10, sz}});
}

void fromDirection(Mat4& m, Vec3 d)
{
    Vec3 v = d / std::sqrt(double(dot(d, d)));
    Vec3 h = std::fabs(double(v.z)) > 0.577 ? Vec3(-v.y, v.z, 0.0f) : Vec3(-v.y, v.x, 0.0f);
    Vec3 p = v * h;
    p = p / std::sqrt(double(dot(p, p)));
    Vec3 q = p * v;
    m = fromColumns(p, q, v, Vec3());
}

Frame3 toFrame(const Mat4& m)
{
    return {toVec3(getColumn(m, 0)), toVec3(getColumn(m, 1)), toVec3(getColumn(m, 2)), toVec3(getColumn(m, 3))};
}

std::string toString(const Mat4& m)
{
    std::string text;
    for (int k = 0; k < 16; ++k) {
        std::string index = std::to_string(k);
        if (k <= 9) index += ' ';
        // floatText never writes blanks, so the line needs no trimming.
        text += "(" + index + ") " + floatText(m.e[k]) + "\r\n";
    }
    return text;
}

}  // namespace netduel
