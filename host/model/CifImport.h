// Import of a crystal structure from a CIF file into a structure document.
#pragma once

#include "host/model/Document.h"
#include "host/model/QsdFile.h"

#include <memory>
#include <string>

namespace HostModel {

// What an import did beside making the document.
struct CifImportReport {
    std::size_t sites = 0;       // atom sites of the block
    std::size_t mergedSites = 0; // sites that merged into an earlier site of the same element
};

// Reads the first data block that has a cell: cell, symmetry (the operator
// list when present, else the Hall symbol, the Hermann-Mauguin symbol or the
// space-group number; P 1 when none is given) and the atom sites as
// symmetry parents (element and formal charge from the type symbol, or from
// the label when the type symbol is missing). A site on the place of an
// earlier site of the same element (given twice, or mapped there by the
// symmetry) merges into it. Partial occupancies
// ('_atom_site_occupancy') are kept as the atoms' occupancy. The document is
// named after the data block.
// A block without a whole, possible cell (all three lengths and three
// angles) is refused, as are a length below 0.1 Angstrom, a nearly flat cell
// (volume below 1e-6 of the product of the lengths), a block without atom
// sites, a length above 1000000 Angstrom, an occupancy that is not a number
// or lies outside [0.000001, 1] (the deck's six decimals), and a site whose
// position is unknown or so far from the cell that its images could not be
// placed exactly.
// Throws FileError with the reason when the file cannot be used; the reason
// does not name the file (the caller does).
// With a report, says how many sites were read and merged.
std::shared_ptr<Document> ImportCif(const std::string& path, CifImportReport* report = nullptr);
std::shared_ptr<Document> ImportCifText(const std::string& text, CifImportReport* report = nullptr);

// The number of symmetry-parent sites of a crystal that share their position
// (within 0.01 Angstrom) with an atom of another site, as partly occupied
// sites do.
std::size_t CountSharedSites(const Document& document);

} // namespace HostModel
