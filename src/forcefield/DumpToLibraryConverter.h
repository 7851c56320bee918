// Turns the dump of a fitting run into a forcefield library.
#pragma once

#include <string>

// The constructor does the whole conversion: the run keywords are dropped
// from the dump's keyword line (its first line that is neither empty nor a
// comment), everything before the species block is
// dropped, the species block and the forcefield lines after it are kept up
// to a line holding "observables" or "dump"; the result is read as a
// library, every parameter is marked not to be fitted and the library is
// written in the module's layout.
//
// The library file is replaced only when the whole conversion succeeds: the
// converted text is written to a temporary file beside it. A dump or library
// that cannot be opened, a dump without species block and every reading or
// writing error throw KelvResult naming the file, and leave an existing
// library as it was.
class CDumpToLibraryConverter {
public:
    CDumpToLibraryConverter(const std::string& dumpPath, const std::string& libraryPath);
    virtual ~CDumpToLibraryConverter();
};
