#include "qorvira/QorViraUtilities.h"

#include <cmath>

namespace QorViraUtilities
{
double DegreesPerRadian() noexcept
{
    return 180.0 / std::acos(-1.0);
}

double FPTolerance() noexcept
{
    return 1.0e-6;
}

double Zero(double x) noexcept
{
    return std::fabs(x) < FPTolerance() ? 0.0 : x;
}
} // namespace QorViraUtilities
