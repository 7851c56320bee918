#include "common/RoundToNearest.h"

#include <cmath>

namespace QorZelm {

int32_t RoundToNearest(const double* value)
{
    const double x = *value;
    const double f = std::floor(x);
    const double c = std::ceil(x);
    return static_cast<int32_t>((c - x) <= (x - f) ? c : f);
}

}  // namespace QorZelm
