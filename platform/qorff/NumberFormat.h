// Number texts of the forcefield library files.
#pragma once

#include <string>

namespace QorForcefield {

// The shortest text that reads back to exactly the same double ("1", "0.1",
// "-2.5e-08"). Zero of either sign is "0".
std::string FormatShortest(double value);

// FormatShortest, always holding a decimal point ("1" becomes "1.0", "0"
// "0.0", "1e+20" "1.0e+20"; "0.1" and "2.5e-08" stay as they are), so that
// a value is never taken for a fit flag "0" or "1". Infinity and NaN keep
// their texts.
std::string FormatWithDecimalPoint(double value);

}  // namespace QorForcefield
