#pragma once
// Physical constants of the job and analysis utilities.

namespace QMPhysicalConstants {

// Kilocalories per mole in one electronvolt (per particle).
inline constexpr double EV_TO_KCAL_MOL = 23.060548;

// Wavenumbers (cm^-1) in one electronvolt.
inline constexpr double EV_TO_CM_1 = 8065.544;

// Speed of light in vacuum, m/s.
inline constexpr double speed_light_si = 299792458.0;

}  // namespace QMPhysicalConstants
