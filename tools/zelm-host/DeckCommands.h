#pragma once
// The driver's deck command: writes the engine's input deck for a structure
// document through the module's logic object, as the host's "save input
// files" action does.

#include <iosfwd>
#include <string>

namespace ZelmHost {

class CommandLine;

// Adds the "deck" command to the driver's command line.
void AddDeckCommands(CommandLine& commandLine);

// Opens the project (the given folder, else the document's) and the
// document, makes its contents the default scope, sets "Task" for this call
// when a task name (Energy, GeomOpt, Dynamics, Fit, Surface) or code is
// given, asks the "ZelmLogic" logic to save its input files into `out`
// (default: the document's folder), lists the files written and prints the
// deck. The project's saved state is not changed.
void WriteDeck(const std::string& documentPath, const std::string& project, const std::string& task,
               const std::string& outFolder, std::ostream& out);

}  // namespace ZelmHost
