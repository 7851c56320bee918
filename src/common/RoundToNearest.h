#pragma once
// The numeric helper shared by the structure readers.

#include <cstdint>

namespace QorZelm {

// Rounds to the nearest integer; a tie goes up, towards +infinity, also for
// negative values (-2.5 gives -2).
int32_t RoundToNearest(const double* value);

}  // namespace QorZelm
