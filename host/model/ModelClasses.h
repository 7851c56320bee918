// Makes the document model's creatable classes known to this process: the
// point, matrix and variant collection objects, the property service, the
// atom numbering object and the scope holder.
#pragma once

#include "com/com.h"

namespace HostModel {

// Registers the class objects (once per process; later calls do nothing).
HRESULT RegisterModelClasses();

// The ProgID of the structure document type.
inline constexpr const char* Atomistic3dDocumentProgId = "SDDocuments.Atomistic3dDocument";

} // namespace HostModel
