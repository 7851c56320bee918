#pragma once
// The driver's forcefield command: plays the host's forcefield editor on the
// library selected for the engine, through the "ZelmLogic" logic's
// IQoEditedForcefieldConsumer and the editor's COM objects only.

#include <iosfwd>
#include <string>
#include <vector>

namespace ZelmHost {

struct ForcefieldOptions {
    std::string project = ".";
    std::string action;    // show, edit, suggest, saved-to
    std::string argument;  // show, edit: a library (default: the selected one); saved-to: the file
    std::vector<std::string> charges;  // NAME=Q
    std::vector<std::string> values;   // N.PARAMETER=V
    std::vector<std::string> fits;     // N.PARAMETER=0|1
    std::vector<std::string> options;  // N.OPTION=V
    bool save = false;
    std::string saveAs;
};

class CommandLine;

// Adds the "forcefield" command and its options to the driver.
void AddForcefieldCommands(CommandLine& commandLine);

// show: the server description, the atom types with their charges and every
//   interaction (numbered) with its parameters and options;
// edit: changes options first (so that values are given in the units they
//   choose), then parameter values, fit marks and charges, saves with --save
//   or --save-as, and shows the result; interactions are named by the
//   number show gives them, parameters and options by name;
// suggest: the path the logic suggests for an edited copy;
// saved-to: tells the logic that the file was saved, then shows which file
//   its name selects for the rest of this run.
// Throws with a clear message when the action cannot be done.
void RunForcefieldCommand(const ForcefieldOptions& options, std::ostream& out);

}  // namespace ZelmHost
