#pragma once
// The driver's trajectory commands:
//   trg FILE [--cell] [--module LIB]   reads an engine binary trajectory
//       through the module's two exported functions, loaded with dlopen and
//       dlsym as any other program calls them, and prints its frames;
//   update-structure, import-result and trajectory (ResultCommands.h);
// and the trajectory part of `show` for a ".qtd" document.

#include <iosfwd>
#include <string>

namespace HostModel {
class Document;
}

namespace ZelmHost {

class CommandLine;

// Adds trg, update-structure, import-result and trajectory to the driver.
void AddTrajectoryCommands(CommandLine& commandLine);

// Reads FILE through the module's exports and prints it; throws with a clear
// message when the module or the file cannot be read.
void ReadTrajectoryFile(const std::string& modulePath, const std::string& file, bool cell, std::ostream& out);

// Prints the frames of a trajectory document (nothing for a document
// without frames).
void ShowTrajectory(const HostModel::Document& document, std::ostream& out);

}  // namespace ZelmHost
