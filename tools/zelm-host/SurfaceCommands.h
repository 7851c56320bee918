#pragma once
// The driver's surface command: it plays the host's surface-calculation
// interface on a 2-D periodic slab, calling the module's "SurfaceCalculator"
// logic through IQoZelmSurfaceCalculator only.
//
//   surface [--project DIR] DOC.qsd [--select LIST] [--no-select] ACTION [FROM TO]
//
// ACTION is one of
//   report             periodicity, depths, dipole moment, region-1 charge,
//                      every Can and proceed answer, both sets' members;
//   add-surface, remove-surface, add-attachment, remove-attachment
//                      change a set from the selection (--no-select: the
//                      selection is not turned into the set afterwards);
//   select-surface, select-attachment
//                      the selection becomes the set;
//   select-layer FROM TO
//                      the selection becomes layers FROM to TO, counted
//                      down from the top of the slab.
// --select sets the selection first (atom numbers as `show` prints them:
// "1,2,5" or "1-4,7"). A document the command changed is saved.

#include <iosfwd>
#include <string>
#include <vector>

#include "com/com.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace ZelmHost {

struct SurfaceOptions {
    std::string project;
    std::string document;
    std::string selection;
    CLI::Option* selectOption = nullptr;  // tells whether --select was given
    bool noSelect = false;
    std::string action;
    std::vector<LONG> layers;
};

class CommandLine;

// Adds the "surface" command to the driver's command line.
void AddSurfaceCommands(CommandLine& commandLine);

// Adds the command's arguments to `surface`, filling `options` when it is
// parsed.
void AddSurfaceArguments(CLI::App& surface, SurfaceOptions& options);

// Runs the command; throws with a clear message when it cannot be done.
void SurfaceCommand(const SurfaceOptions& options, std::ostream& out);

// The atom numbers of a selection list ("1,2,5", "1-4,7"), in the order
// given, each once; every number must lie in 1..atomCount.
std::vector<std::size_t> ParseAtomList(const std::string& list, std::size_t atomCount);

}  // namespace ZelmHost
