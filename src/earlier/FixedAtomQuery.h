// The answer of the scope utility's fixed-atom query for one atom.
#pragma once

#include "com/com.h"

namespace ZelmEarlier {

// Whether the query reports the atom fixed as a whole: both arrays came back
// and the atom array holds an atom. Empty arrays, or one array alone, fix
// nothing.
bool ReportsFixedAtom(SAFEARRAY* masks, SAFEARRAY* atoms);

} // namespace ZelmEarlier
