// Lattices of a structure document: the 3-D cell (a, b, c, alpha, beta, gamma)
// and the 2-D surface cell (u, v, theta). Angles are radians. Cell vectors use
// the standard orientation: a (or u) along x, b (or v) in the xy plane.
#pragma once

#include "host/model/Geometry.h"

#include <stdexcept>
#include <string>

namespace HostModel {

class LatticeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CellParameters {
    double a = 1.0, b = 1.0, c = 1.0;
    double alpha = 0.0, beta = 0.0, gamma = 0.0; // radians
};

class Lattice3D {
public:
    // Throws LatticeError for non-positive lengths, angles outside (0, pi)
    // or angles that close no cell.
    explicit Lattice3D(const CellParameters& parameters);
    // Cell from three vectors (any orientation); throws LatticeError when
    // they are (nearly) coplanar.
    static Lattice3D FromVectors(const Vec3& a, const Vec3& b, const Vec3& c);

    const CellParameters& Parameters() const { return m_parameters; }
    // Row i is cell vector i (a, b, c) in the standard orientation.
    const Mat3& Vectors() const { return m_vectors; }
    double Volume() const;

    Vec3 ToCartesian(const Vec3& fractional) const;
    Vec3 ToFractional(const Vec3& cartesian) const;

    // True when the parameters describe a real cell.
    static bool IsValid(const CellParameters& parameters, std::string* why = nullptr);

private:
    CellParameters m_parameters;
    Mat3 m_vectors{};       // rows a, b, c
    Mat3 m_toFractional{};  // inverse of the column matrix [a b c]
};

struct SurfaceCellParameters {
    double u = 1.0, v = 1.0;
    double theta = 0.0; // radians
};

// A surface cell: two periodic vectors in the xy plane; z is not periodic.
// Its "fractional" positions are (fu, fv, z) with z Cartesian.
class Lattice2D {
public:
    explicit Lattice2D(const SurfaceCellParameters& parameters);

    const SurfaceCellParameters& Parameters() const { return m_parameters; }
    Vec3 U() const;
    Vec3 V() const;
    double Area() const;

    Vec3 ToCartesian(const Vec3& fractional) const;
    Vec3 ToFractional(const Vec3& cartesian) const;

    static bool IsValid(const SurfaceCellParameters& parameters, std::string* why = nullptr);

private:
    SurfaceCellParameters m_parameters;
};

inline constexpr double Pi = 3.14159265358979323846;
inline double Radians(double degrees) { return degrees * Pi / 180.0; }
inline double Degrees(double radians) { return radians * 180.0 / Pi; }

} // namespace HostModel
