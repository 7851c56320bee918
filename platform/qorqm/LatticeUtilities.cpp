#include "qorqm/LatticeUtilities.h"

#include <cmath>

namespace LatticeUtilities {

namespace {

// Relative size below which a length, area or volume counts as nothing.
constexpr double Degenerate = 1e-10;
constexpr double Pi = 3.14159265358979323846;

void Cross(const double a[3], const double b[3], double out[3]) {
    const double x = a[1] * b[2] - a[2] * b[1];
    const double y = a[2] * b[0] - a[0] * b[2];
    const double z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

double Dot(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void Fill(double v[], int count, double value) {
    for (int i = 0; i < count; ++i) {
        v[i] = value;
    }
}

bool IsLength(double value) {
    return std::isfinite(value) && value > 0.0;
}

bool IsAngle(double value) {
    return std::isfinite(value) && value > 0.0 && value < Pi;
}

}  // namespace

bool Zelm3DParamToCell(double a, double b, double c, double alpha, double beta, double gamma, double v1[3],
                       double v2[3], double v3[3]) {
    Fill(v1, 3, 0.0);
    Fill(v2, 3, 0.0);
    Fill(v3, 3, 0.0);
    if (!IsLength(a) || !IsLength(b) || !IsLength(c) || !IsAngle(alpha) || !IsAngle(beta) || !IsAngle(gamma)) {
        return false;
    }
    const double cosAlpha = std::cos(alpha);
    const double cosBeta = std::cos(beta);
    const double cosGamma = std::cos(gamma);
    const double sinGamma = std::sin(gamma);
    if (sinGamma < Degenerate) {
        return false;
    }
    // Direction cosines of c: x from beta, y from alpha and the position of b,
    // z what is left of the unit length.
    const double cy = (cosAlpha - cosBeta * cosGamma) / sinGamma;
    const double czSquared = 1.0 - cosBeta * cosBeta - cy * cy;
    // Rounding leaves about 1e-16 here for a flat cell: demand a real height.
    if (!(czSquared > Degenerate * 100.0)) {
        return false;
    }
    v1[0] = a;
    v2[0] = b * cosGamma;
    v2[1] = b * sinGamma;
    v3[0] = c * cosBeta;
    v3[1] = c * cy;
    v3[2] = c * std::sqrt(czSquared);
    return true;
}

bool Zelm2DParamToCell(double a, double b, double alpha, double v1[2], double v2[2]) {
    Fill(v1, 2, 0.0);
    Fill(v2, 2, 0.0);
    if (!IsLength(a) || !IsLength(b) || !std::isfinite(alpha)) {
        return false;
    }
    const double sinAlpha = std::sin(alpha);
    if (std::fabs(sinAlpha) < Degenerate) {
        return false;
    }
    v1[0] = a;
    v2[0] = b * std::cos(alpha);
    v2[1] = b * sinAlpha;
    return true;
}

double VecTripleProduct(const double a[3], const double b[3], const double c[3]) {
    double bc[3];
    Cross(b, c, bc);
    return Dot(a, bc);
}

bool GetRotationToStandard(const double a[3], const double b[3], const double c[3], double rot[3][3]) {
    (void)a;  // a follows from b and c: the rotation is fixed by them alone
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            rot[i][j] = i == j ? 1.0 : 0.0;
        }
    }
    const double lengthB = GetVectorLength(b);
    const double lengthC = GetVectorLength(c);
    double bc[3];
    Cross(b, c, bc);
    const double area = GetVectorLength(bc);
    if (!std::isfinite(area) || !(lengthC > 0.0) || !(area > Degenerate * lengthB * lengthC)) {
        return false;
    }
    // Rows of the rotation: the new x, y and z axes in the old frame.
    // z along c, x normal to the bc plane, y = z x x (so b . y > 0).
    double ex[3];
    double ey[3];
    double ez[3];
    for (int i = 0; i < 3; ++i) {
        ez[i] = c[i] / lengthC;
        ex[i] = bc[i] / area;
    }
    Cross(ez, ex, ey);
    for (int j = 0; j < 3; ++j) {
        rot[0][j] = ex[j];
        rot[1][j] = ey[j];
        rot[2][j] = ez[j];
    }
    return true;
}

void RealignVector(double v[3], const double rot[3][3]) {
    double out[3];
    for (int i = 0; i < 3; ++i) {
        out[i] = rot[i][0] * v[0] + rot[i][1] * v[1] + rot[i][2] * v[2];
    }
    for (int i = 0; i < 3; ++i) {
        v[i] = out[i];
    }
}

void RealignCell(double a[3], double b[3], double c[3], const double rot[3][3]) {
    RealignVector(a, rot);
    RealignVector(b, rot);
    RealignVector(c, rot);
}

bool Transform2DCartToFracArc(const double u1[2], const double u2[2], const double P[3], double f[3]) {
    const double z = P[2];
    const double det = u1[0] * u2[1] - u1[1] * u2[0];
    const double scale = std::hypot(u1[0], u1[1]) * std::hypot(u2[0], u2[1]);
    if (!std::isfinite(det) || !std::isfinite(scale) || !(std::fabs(det) > Degenerate * scale)) {
        f[0] = 0.0;
        f[1] = 0.0;
        f[2] = z;
        return false;
    }
    const double fu = (P[0] * u2[1] - P[1] * u2[0]) / det;
    const double fv = (u1[0] * P[1] - u1[1] * P[0]) / det;
    f[0] = fu;
    f[1] = fv;
    f[2] = z;
    return true;
}

bool GetReciprocalVectors(const double a[3], const double b[3], const double c[3], double r1[3], double r2[3],
                          double r3[3]) {
    double bc[3];
    double ca[3];
    double ab[3];
    Cross(b, c, bc);
    Cross(c, a, ca);
    Cross(a, b, ab);
    const double volume = Dot(a, bc);
    const double scale = GetVectorLength(a) * GetVectorLength(b) * GetVectorLength(c);
    Fill(r1, 3, 0.0);
    Fill(r2, 3, 0.0);
    Fill(r3, 3, 0.0);
    if (!std::isfinite(volume) || !std::isfinite(scale) || !(std::fabs(volume) > Degenerate * scale)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        r1[i] = bc[i] / volume;
        r2[i] = ca[i] / volume;
        r3[i] = ab[i] / volume;
    }
    return true;
}

double GetVectorLength(const double v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

}  // namespace LatticeUtilities
