// Small vector and matrix helpers for the document model: three-component
// vectors and 3x3 matrices stored by rows.
#pragma once

#include <array>
#include <cmath>

namespace HostModel {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>; // m[row][column]

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Vec3 operator*(double s, const Vec3& a) { return {s * a[0], s * a[1], s * a[2]}; }

inline double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
inline double TripleProduct(const Vec3& a, const Vec3& b, const Vec3& c) { return Dot(a, Cross(b, c)); }

inline Vec3 Multiply(const Mat3& m, const Vec3& v)
{
    return {Dot(m[0], v), Dot(m[1], v), Dot(m[2], v)};
}

inline Mat3 Multiply(const Mat3& a, const Mat3& b)
{
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r[i][j] += a[i][k] * b[k][j];
    return r;
}

inline double Determinant(const Mat3& m) { return TripleProduct(m[0], m[1], m[2]); }

// Inverse of m; false (and m unchanged in `out`) when m is singular.
inline bool Invert(const Mat3& m, Mat3& out)
{
    const double det = Determinant(m);
    if (!(std::fabs(det) > 1e-300))
        return false;
    Mat3 r{};
    r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    out = r;
    return true;
}

// Moves every component into [0, 1); values within `tolerance` below 1 wrap to 0.
inline Vec3 WrapFractional(const Vec3& f, double tolerance = 1e-8)
{
    Vec3 r{};
    for (int i = 0; i < 3; ++i) {
        double x = f[i] - std::floor(f[i]);
        if (x >= 1.0 - tolerance)
            x = 0.0;
        r[i] = x;
    }
    return r;
}

// Distance between two fractional positions through the nearest lattice
// translation, measured in fractional units per axis (largest component).
inline double PeriodicFractionalDistance(const Vec3& a, const Vec3& b)
{
    double worst = 0.0;
    for (int i = 0; i < 3; ++i) {
        double d = a[i] - b[i];
        d -= std::round(d);
        worst = std::fmax(worst, std::fabs(d));
    }
    return worst;
}

} // namespace HostModel
