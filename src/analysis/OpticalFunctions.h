// Optical functions of a dielectric tensor series: the dielectric function
// along an incident and a reflected direction, its polycrystal average, and
// the refractive index, extinction, reflectivity and absorption derived from
// the principal square root of a dielectric value.
//
// A division by complex zero (zero damping at a mode frequency, a zero trace
// in the average) gives non-finite values, which the series keep; the
// charts break their lines there.
#pragma once

#include "analysis/OpticalSettings.h"
#include "qorqm/QMPhysicalConstants.h"

#include <complex>
#include <vector>

using ComplexSeries = std::vector<std::complex<double>>;

// a . M . b for each tensor, with a and b the unit directions. Raises
// "Incident direction is ill defined." or "Reflected direction is ill
// defined." (E_UNEXPECTED) for a direction not longer than 1e-8.
ComplexSeries DirectionalDielectricFunction(const std::vector<DielectricTensor>& data, const double incident[3],
                                            const double reflected[3]);

// (4/9) T - Q / (3 T) with T the trace and Q the sum of the squared
// elements; an isotropic tensor gives its diagonal value.
ComplexSeries PolycrystalAverage(const std::vector<DielectricTensor>& data);

// The principal square root of a dielectric value; a zero imaginary part is
// taken as -0, so that the root of a negative value has a non-positive
// imaginary part and the extinction is never negative.
std::complex<double> DielectricRoot(std::complex<double> epsilon);

// n, the real part of the root.
std::vector<double> RefractiveIndexSeries(const ComplexSeries& epsilon);
// kappa, the negated imaginary part of the root.
std::vector<double> ExtinctionSeries(const ComplexSeries& epsilon);
// ((1 - n)^2 + k^2) / ((1 + n)^2 + k^2) for the root n + ik.
std::vector<double> ReflectivitySeries(const ComplexSeries& epsilon);
// The absorption coefficient 4 pi kappa / lambda in 1/cm: with the photon
// energy E = factor * x in eV (x the grid point in its display unit, factor
// one display unit in eV), 1 / lambda = E * EV_TO_CM_1 per cm, so each point
// is 4 pi EV_TO_CM_1 * E * kappa. A grid shorter than the series ends it.
inline constexpr double AbsorptionPerElectronvolt = 4.0 * 3.14159265358979323846 * QMPhysicalConstants::EV_TO_CM_1;
std::vector<double> AbsorptionSeries(const ComplexSeries& epsilon, const std::vector<double>& grid, double factor);

// Real and imaginary parts of a complex series.
std::vector<double> RealParts(const ComplexSeries& values);
std::vector<double> ImaginaryParts(const ComplexSeries& values);
// One component of every tensor.
ComplexSeries TensorComponent(const std::vector<DielectricTensor>& data, DielectricComponent component);
