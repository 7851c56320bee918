#pragma once
// Lattice arithmetic on plain arrays of doubles. Lengths are in any one unit,
// angles in radians. Vectors are Cartesian triples (x, y, z); a rotation is
// a 3 by 3 array applied to column vectors: v' = rot * v, that is
// v'[i] = sum over j of rot[i][j] * v[j].
//
// Two orientations of a cell are used:
// - the cell orientation of the parameter conversions (Zelm3DParamToCell):
//   a along +x, b in the xy plane with a positive y component, c wherever the
//   angles put it (positive z for a right-handed cell);
// - the standard orientation of GetRotationToStandard, in which the cell's
//   vectors form a lower-triangular array: c along +z, b in the yz plane with
//   a positive y component, a wherever its angles put it. In it the six
//   numbers a.x, b.y, c.z, b.z, a.z, a.y describe the whole cell.
//
// Reciprocal vectors carry no factor 2 pi: a . r1 = 1, a . r2 = 0, and so on.

namespace LatticeUtilities {

// The three cell vectors of a cell given by its parameters, in the cell
// orientation above. False, with all nine components zero, when a length is
// not positive, a value is not finite or the angles describe no cell.
bool Zelm3DParamToCell(double a, double b, double c, double alpha, double beta, double gamma, double v1[3],
                       double v2[3], double v3[3]);

// The two in-plane vectors of a surface cell: v1 = (a, 0), v2 = (b cos alpha,
// b sin alpha). False, with both vectors zero, when a length is not positive,
// a value is not finite or the angle makes the vectors parallel.
bool Zelm2DParamToCell(double a, double b, double alpha, double v1[2], double v2[2]);

// a . (b x c): the signed volume of the cell spanned by a, b, c.
double VecTripleProduct(const double a[3], const double b[3], const double c[3]);

// The rotation that carries the cell a, b, c into the standard orientation
// (c along +z, b in the yz plane). It is a proper rotation (determinant 1),
// so lengths, angles and handedness are kept. False, with rot the identity,
// when c is null or b is parallel to c.
bool GetRotationToStandard(const double a[3], const double b[3], const double c[3], double rot[3][3]);

// Applies rot to each of the three cell vectors, in place.
void RealignCell(double a[3], double b[3], double c[3], const double rot[3][3]);

// Applies rot to one vector, in place.
void RealignVector(double v[3], const double rot[3][3]);

// Position P of a slab (Cartesian, the surface in the xy plane) in the form
// of a slab's fractional position: f = (fu, fv, z) with
// P.xy = fu * u1 + fv * u2 and z = P.z unchanged. False, with f = (0, 0, P.z),
// when u1 and u2 are parallel or not finite.
bool Transform2DCartToFracArc(const double u1[2], const double u2[2], const double P[3], double f[3]);

// The reciprocal vectors r1 = (b x c) / V, r2 = (c x a) / V, r3 = (a x b) / V
// with V = a . (b x c), without a factor 2 pi. False, with all three zero,
// when the cell has no volume.
bool GetReciprocalVectors(const double a[3], const double b[3], const double c[3], double r1[3], double r2[3],
                          double r3[3]);

// Euclidean length of v. A NaN component gives NaN.
double GetVectorLength(const double v[3]);

}  // namespace LatticeUtilities
