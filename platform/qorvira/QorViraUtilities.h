// Numeric constants of the host's engine utilities.
#pragma once

namespace QorViraUtilities
{
// Degrees in one radian (180 / pi): angles in radians are multiplied by it
// to give degrees, angles in degrees divided by it to give radians.
double DegreesPerRadian() noexcept;

// The tolerance of floating-point comparisons of coordinates and lengths:
// 1.0e-6.
double FPTolerance() noexcept;

// x, or exactly 0.0 when |x| is below FPTolerance() (so that a coordinate
// a rounding error away from zero is written as 0 rather than as -0).
// Not-a-number comes back unchanged.
double Zero(double x) noexcept;
} // namespace QorViraUtilities
