// Import of a crystal structure from a CIF file into a structure document.
#pragma once

#include "host/model/Document.h"
#include "host/model/QsdFile.h"

#include <memory>
#include <string>

namespace HostModel {

// Reads the first data block that has a cell: cell, symmetry (the operator
// list when present, else the Hall symbol, the Hermann-Mauguin symbol or the
// space-group number; P 1 when none is given) and the atom sites as
// symmetry parents (element and formal charge from the type symbol, or from
// the label when the type symbol is missing). Sites that the symmetry maps
// onto earlier sites of the same element merge. Partial occupancies are
// kept as full sites. The document is named after the data block.
// Throws FileError with the reason when the file cannot be used.
std::shared_ptr<Document> ImportCif(const std::string& path);
std::shared_ptr<Document> ImportCifText(const std::string& text);

} // namespace HostModel
