// Two small host objects over the document model: the atom numbering object
// (CLSID_QoAtomNumbering) and the scope holder (CLSID_QoScopeHolder).
#pragma once

#include "host/model/ComSupport.h"

namespace HostModel {

HRESULT CreateAtomNumbering(void** out);
HRESULT CreateScopeHolder(void** out);

} // namespace HostModel
