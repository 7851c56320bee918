// Helpers of the phonon commands of the analysis component.
#pragma once

#include <string>

// Whether the deck at the path asks for a density of states: a line whose
// first four characters are "shri". A deck that cannot be opened or read
// raises "Unable to open file: <path>" (E_UNEXPECTED).
bool DeckAsksForDos(const std::string& inputPath);
