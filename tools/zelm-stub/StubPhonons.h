// The engine stand-in's phonon outputs: for a deck whose keyword line asks
// for phonons ("phon") it writes the zone-centre frequencies and oscillator
// strengths (".osc", with "inten"), a density of states over the "shrink"
// mesh (".dens") and the dispersion along the "dispersion" block's segments
// (".disp"), from a simple model of 3 modes per atom.
#pragma once

#include "StubRun.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace ZelmStub {

struct PhononRequest {
    bool phonons = false;     // "phon" on the keyword line
    bool intensities = false; // "inten"
    bool dos = false;         // a "shrink" line
    std::array<int, 3> mesh{{1, 1, 1}};
    // "x y z to x y z" lines of the "dispersion" block.
    std::vector<std::array<double, 6>> segments;
    // Core charge of each element, from the deck's coordinate lines.
    std::map<std::string, double> charges;
};

// Reads what the deck "<seed>.gin" of the folder asks for. Throws DeckError
// for a "dispersion" block that is cut short or malformed.
PhononRequest ReadPhononRequest(const std::string& folder, const std::string& seed);

// Points the stand-in writes along each dispersion segment.
inline constexpr int PointsPerSegment = 11;

// The lines the output gains: the cell's lattice vectors and, for a phonon
// run, its phonon section ("Frequency dependent properties :" with "inten").
std::string PhononOutputText(const Deck& deck, const PhononRequest& request);

// Writes ".osc", ".dens" and ".disp" as asked (a 3-D deck only).
void WritePhononFiles(const std::string& folder, const Deck& deck, const PhononRequest& request);

// The model: frequencies (cm-1) of every mode at the fractional k-point.
std::vector<double> ModelFrequencies(std::size_t atoms, const std::array<double, 3>& k);

} // namespace ZelmStub
