// The structure importer (COM class ZelmStructureImporter): the host runs it
// to make a new structure document from a ".qsd" stream; it loads the stream
// and then writes the last frame of the archive of the same name (".arc")
// into the document.
#pragma once

#include "com/com.h"

// The class-table create function: a new importer in *out (E_POINTER for a
// null out pointer).
HRESULT CreateZelmStructureImporter(void** out);
