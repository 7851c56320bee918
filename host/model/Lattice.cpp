#include "host/model/Lattice.h"

#include <cmath>

namespace HostModel {

namespace {

bool AngleInRange(double angle) { return angle > 0.0 && angle < Pi && std::isfinite(angle); }
bool LengthValid(double length) { return length > 0.0 && std::isfinite(length); }

// Third row of the standard cell before scaling by c: the direction of c.
bool CDirection(const CellParameters& p, Vec3& out)
{
    const double ca = std::cos(p.alpha), cb = std::cos(p.beta), cg = std::cos(p.gamma);
    const double sg = std::sin(p.gamma);
    const double cy = (ca - cb * cg) / sg;
    const double zz = 1.0 - cb * cb - cy * cy;
    if (!(zz > 1e-12))
        return false;
    out = {cb, cy, std::sqrt(zz)};
    return true;
}

} // namespace

bool Lattice3D::IsValid(const CellParameters& p, std::string* why)
{
    auto fail = [&](const char* text) {
        if (why)
            *why = text;
        return false;
    };
    if (!LengthValid(p.a) || !LengthValid(p.b) || !LengthValid(p.c))
        return fail("Cell lengths must be positive.");
    if (!AngleInRange(p.alpha) || !AngleInRange(p.beta) || !AngleInRange(p.gamma))
        return fail("Cell angles must lie strictly between 0 and 180 degrees.");
    Vec3 dir;
    if (!CDirection(p, dir))
        return fail("The cell angles do not close a cell.");
    return true;
}

Lattice3D::Lattice3D(const CellParameters& parameters) : m_parameters(parameters)
{
    std::string why;
    if (!IsValid(parameters, &why))
        throw LatticeError(why);
    Vec3 dir;
    CDirection(parameters, dir);
    m_vectors[0] = {parameters.a, 0.0, 0.0};
    m_vectors[1] = {parameters.b * std::cos(parameters.gamma), parameters.b * std::sin(parameters.gamma), 0.0};
    m_vectors[2] = parameters.c * dir;
    const Mat3 columns = {{{m_vectors[0][0], m_vectors[1][0], m_vectors[2][0]},
                           {m_vectors[0][1], m_vectors[1][1], m_vectors[2][1]},
                           {m_vectors[0][2], m_vectors[1][2], m_vectors[2][2]}}};
    if (!Invert(columns, m_toFractional))
        throw LatticeError("The cell has no volume.");
}

Lattice3D Lattice3D::FromVectors(const Vec3& a, const Vec3& b, const Vec3& c)
{
    const double la = Length(a), lb = Length(b), lc = Length(c);
    if (!(la > 0.0 && lb > 0.0 && lc > 0.0))
        throw LatticeError("Cell vectors must not be zero.");
    if (std::fabs(TripleProduct(a, b, c)) < 1e-9 * la * lb * lc)
        throw LatticeError("Cell vectors are coplanar.");
    auto angle = [](const Vec3& x, const Vec3& y) {
        double cosine = Dot(x, y) / (Length(x) * Length(y));
        cosine = std::fmax(-1.0, std::fmin(1.0, cosine));
        return std::acos(cosine);
    };
    CellParameters p;
    p.a = la;
    p.b = lb;
    p.c = lc;
    p.alpha = angle(b, c);
    p.beta = angle(a, c);
    p.gamma = angle(a, b);
    return Lattice3D(p);
}

double Lattice3D::Volume() const
{
    return TripleProduct(m_vectors[0], m_vectors[1], m_vectors[2]);
}

Vec3 Lattice3D::ToCartesian(const Vec3& f) const
{
    return f[0] * m_vectors[0] + f[1] * m_vectors[1] + f[2] * m_vectors[2];
}

Vec3 Lattice3D::ToFractional(const Vec3& cartesian) const
{
    return Multiply(m_toFractional, cartesian);
}

bool Lattice2D::IsValid(const SurfaceCellParameters& p, std::string* why)
{
    if (!LengthValid(p.u) || !LengthValid(p.v)) {
        if (why)
            *why = "Surface cell lengths must be positive.";
        return false;
    }
    if (!AngleInRange(p.theta)) {
        if (why)
            *why = "The surface cell angle must lie strictly between 0 and 180 degrees.";
        return false;
    }
    return true;
}

Lattice2D::Lattice2D(const SurfaceCellParameters& parameters) : m_parameters(parameters)
{
    std::string why;
    if (!IsValid(parameters, &why))
        throw LatticeError(why);
}

Vec3 Lattice2D::U() const { return {m_parameters.u, 0.0, 0.0}; }

Vec3 Lattice2D::V() const
{
    return {m_parameters.v * std::cos(m_parameters.theta), m_parameters.v * std::sin(m_parameters.theta), 0.0};
}

double Lattice2D::Area() const { return m_parameters.u * m_parameters.v * std::sin(m_parameters.theta); }

Vec3 Lattice2D::ToCartesian(const Vec3& f) const
{
    const Vec3 u = U(), v = V();
    return {f[0] * u[0] + f[1] * v[0], f[0] * u[1] + f[1] * v[1], f[2]};
}

Vec3 Lattice2D::ToFractional(const Vec3& p) const
{
    const Vec3 u = U(), v = V();
    const double det = u[0] * v[1] - u[1] * v[0];
    const double fu = (p[0] * v[1] - p[1] * v[0]) / det;
    const double fv = (u[0] * p[1] - u[1] * p[0]) / det;
    return {fu, fv, p[2]};
}

} // namespace HostModel
