// Import of a molecule from an XYZ file into a non-periodic structure
// document.
#pragma once

#include "host/model/Document.h"
#include "host/model/QsdFile.h"

#include <memory>
#include <string>

namespace HostModel {

// Reads an XYZ file: a line with the number of atoms, a comment line, then
// one line per atom with its element symbol and its Cartesian position in
// Angstrom (further columns are ignored). The atoms become symmetry parents
// with IDs 1, 2, ... in file order; the document has no lattice and is
// named after the file. A truncated file, an atom count that does not
// match the atom lines, an unknown element or a coordinate that is not a
// finite number is refused: FileError with the line and the reason (the
// caller names the file).
std::shared_ptr<Document> ImportXyz(const std::string& path);
std::shared_ptr<Document> ImportXyzText(const std::string& text);

} // namespace HostModel
