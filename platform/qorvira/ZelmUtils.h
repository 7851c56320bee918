// Engine-specific structure helpers of the host: preparing a structure for a
// typed forcefield and writing its connectivity section.
#pragma once

#include <ostream>
#include <string>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorvira/AtomicIndexMap.h"

class CZelmSpeciesReader;

namespace ZelmUtils
{
// Prepares the structure behind the scope for a forcefield that describes
// atoms by forcefield types. When the preparation logic's state has
// "AssignForcefieldTypes" set, every symmetry-parent atom of the scope's
// document without a "ForcefieldType" gets one made from its element symbol
// (the symbol itself when it has two letters, the letter and "_" when it has
// one: "C_", "Na"); typed atoms keep their types. Otherwise the structure
// stays as it is. A null argument throws the framework's null-pointer error;
// failing host calls throw the host's error.
void PrepareStructure(ISBLogic* chooserLogic, ISBLogic* preparationLogic, ISBScope* scope);

// Writes one line "connect i j" for every bond of the structure, where i < j
// are engine atom numbers (the document numbers through the map). Document
// numbers are the 1-based positions of the atoms of the contents scope
// normalised to symmetry parents ("Normalization:Model3d!SymmetryParent")
// and filtered to atoms ("Filter:Model3d!Atom"); the bonds are read from
// each atom's "AttachedAtoms", a bonded symmetry image standing for its
// parent. Each pair is written once, in ascending order of i, then j; bonds
// of an atom to itself or to an atom outside the scope are left out.
// The library name, the species reader and the flag are accepted as the
// deck writer hands them over; the connectivity does not depend on them.
void WriteBonds(std::ostream& stream, ISBScope* contents, ISBContainerRoot* root, const std::string& libraryName,
                const CZelmSpeciesReader& species, bool flag, const CAtomicIndexMap& map);

// As WriteBonds for a 3-D or 2-D periodic structure: a bond that reaches an
// atom of a neighbouring cell (by the atoms' fractional positions, the
// nearest image) ends its line with the three cell offsets of that image
// relative to the first atom, "connect i j n1 n2 n3" (the third is 0 for a
// slab). Bonds to symmetry images are written between the parents without
// offsets.
void WritePeriodicBonds(std::ostream& stream, ISBScope* contents, ISBContainerRoot* root,
                        const std::string& libraryName, const CZelmSpeciesReader& species, bool flag,
                        const CAtomicIndexMap& map);
} // namespace ZelmUtils
