// Whether a structure document still holds the structure it held before: the
// test that decides whether writing a run's result back changed a document.
#pragma once

#include "host/model/Document.h"

namespace HostModel {

// How far cells and atom positions may differ and still be the same.
//
// A result comes back through text: the archive prints cell lengths with six
// decimals, angles with six decimals of a degree and Cartesian coordinates
// with nine, and the reader turns them back into the document's frame
// (fractional for a 3-D cell), so a structure that did not move returns
// with differences of float noise (1e-15 Angstrom) and of the coordinates'
// last printed digit (5e-10 Angstrom).
//
// Lengths: 1e-7 Angstrom, on cell lengths and on each Cartesian coordinate
// of each atom (fractional positions are compared as the Cartesian places
// they stand for). That is ten times finer than the last printed digit of a
// cell length, a hundred times finer than the smallest move an optimisation
// reports, and two hundred times above the rounding of a coordinate's ninth
// decimal.
inline constexpr double SameLengthTolerance = 1.0e-7;
// Angles (radians): 1e-9, what moves the end of a 10 Angstrom cell vector by
// 1e-8 Angstrom; seventeen times finer than the last printed digit of an
// angle (1e-6 degree), and far above the float noise of converting degrees.
inline constexpr double SameAngleTolerance = 1.0e-9;

// True when `after` holds the structure of `before`: the same periodicity,
// cell parameters within the tolerances above, the same atoms in the same
// order each at the same Cartesian place within the length tolerance, and
// everything else (symmetry, elements, types, charges, IDs, bonds,
// pi-systems, sets, surface description) exactly equal. What names a
// document (name, URL, identity, properties) is not compared.
bool SameStructure(const Document& before, const Document& after);

} // namespace HostModel
