// The engine stand-in's run: what it reads of a deck and what it writes.
#pragma once

#include <array>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ZelmStub {

enum class Task { Energy, GeomOpt, Dynamics, Fit, Surface };
enum class Dimension { Bulk3D, Surface2D, Molecule };

const char* TaskName(Task task);

class DeckError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct StubAtom {
    std::string label;   // "Na1"
    std::string element; // "Na"
    double charge = 0.0;
    std::array<double, 3> cartesian{};
    int region = 1;      // surface runs: the deck's "sfractional region N"
};

// What the stand-in takes from "<seed>.gin" (and the staged "<seed>.qsd").
struct Deck {
    std::string seed;
    std::string keywordLine;
    Task task = Task::Energy;
    bool constantPressure = false; // "conp" or the npt ensemble
    bool thermostat = false;       // the nvt ensemble
    Dimension dimension = Dimension::Molecule;
    std::array<double, 6> cell{};  // a b c alpha beta gamma (degrees); 2-D: u v theta
    std::vector<StubAtom> atoms;   // every atom of the cell, in frame order
    std::string library;           // "rocksalt" of "library rocksalt"
    std::string dumpFile;          // "dump X"
    std::string trajectoryFile;    // "output trajectory X"
    std::string pressureFile;      // "output pressure X"
};

// Reads "<seed>.gin" in folder; for 3-D and molecular runs the atoms come
// from the staged "<seed>.qsd" (document order, symmetry images included),
// for surface runs from the deck's region lines. Throws DeckError.
Deck ReadDeck(const std::string& folder, const std::string& seed);

struct Script {
    int steps = 5;
    double delaySeconds = 0.0;
    int failAfter = -1; // stop with status 1 after this many steps
    int hangAfter = -1; // stop answering after this many steps
    // An engine error: after the first step the run stops with the framed
    // "!! ERROR : <text>" in its main output and ends with status 0, as the
    // engine does; what the job makes of it is the module's to tell.
    std::string engineError;
};

// Writes the outputs into folder, announcing each snapshot on `announce`.
// Returns the process status.
int Run(const std::string& folder, const Deck& deck, const Script& script, std::ostream& announce,
        std::ostream& errors);

} // namespace ZelmStub
