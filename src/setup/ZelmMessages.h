// Texts of the logic object's standard refusals, shared by its requests.
#pragma once

namespace ZelmMessages {

inline constexpr const char* Components = "One or more components were not set up as expected";
inline constexpr const char* NoDocument = "Cannot conduct this operation without an active document";
inline constexpr const char* NoOutput = "No pointer supplied for output argument.";
inline constexpr const char* NoAtoms = "No atoms have been found in the input scope.";
inline constexpr const char* SurfaceNeedsCalculator =
    "A Surface deck needs the logic \"SurfaceCalculator\", which this application does not hold.";
inline constexpr const char* SurfaceNeedsSlab =
    "A Surface run needs a slab, a structure periodic in two dimensions; this structure is not one (a 3-D "
    "crystal is cut into a slab first).";

} // namespace ZelmMessages
