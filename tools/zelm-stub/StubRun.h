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
    std::array<double, 3> fractional{}; // bulk atoms: in the cell's fractions
    int region = 1;      // surface runs: the deck's "sfractional region N"
    // Surface runs: which coordinates the deck lets move (its flags "1 1 1";
    // all, when it gives none).
    std::array<bool, 3> free{{true, true, true}};
};

// A structure of a fitting deck: its lines as the deck gives them.
struct FitStructure {
    std::string name;                  // the text after "name"
    std::string cell;                  // the line after "cell"
    std::vector<std::string> atoms;    // the atom lines after "fractional"
    int spaceGroup = 0;                // the number after "spacegroup" (0: none)
    std::vector<std::string> observables; // the lines between "observable" and "end"
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
    // A bulk deck that gives its atoms with a space group: the number and the
    // deck's own atoms (the asymmetric unit; fractional coordinates). As the
    // engine, the stand-in prints the asymmetric unit alone in its tables
    // ("Number of irreducible atoms/shells" below the total) and moves the
    // whole cell in its trajectory and archive.
    int spaceGroup = 0;
    std::vector<StubAtom> asymmetricUnit;
    std::vector<std::string> title;         // the lines of the "title" block
    std::vector<FitStructure> fitStructures; // fitting decks
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
    // The engine's stop without an error line: after the first step the
    // main output ends with these reasons framed by "****", the current cell
    // and "Program terminated by processor 0 in ..."; status 0.
    std::vector<std::string> terminate;
    // The main output of a run killed after this many cycles (or steps): it
    // ends right after that cycle line, without the closing lines; status 0,
    // so that only the output tells.
    int cutOffAfter = -1;
    // An optimisation that blows up: its energies and gradient norms grow
    // until they fill their fields and then overflow them (stars), and its
    // final energy is stars.
    bool unstable = false;
    // The first word of the archives ("!WORD archive 3"): it names the
    // program that wrote the file, and differs from writer to writer; the
    // engine's is its own name, the module's KORVEX.
    std::string archiveWord = "ZELM";
};

// Writes the outputs into folder, announcing each snapshot on `announce`.
// Returns the process status.
int Run(const std::string& folder, const Deck& deck, const Script& script, std::ostream& announce,
        std::ostream& errors);

} // namespace ZelmStub
