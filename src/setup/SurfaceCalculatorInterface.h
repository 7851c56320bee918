// The module's surface calculator interface, as far as the run settings
// need it (its lookup). The calculator's own operations are declared with
// the calculator.
#pragma once

#include "hostapi/hostapi.h"
#include "com/com.h"

inline constexpr IID IID_IQoZelmSurfaceCalculator = HostApi::MakeGuid("52A85834-A660-4A3E-8557-D1D2F1127694");

struct IQoZelmSurfaceCalculator : public ISBLogic {
    static const IID& Iid() { return IID_IQoZelmSurfaceCalculator; }
};
