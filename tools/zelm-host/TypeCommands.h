#pragma once
// The host's typing step, as its preparation options would do it: forcefield
// types for the atoms of a structure document.

#include <iosfwd>
#include <string>
#include <vector>

namespace ZelmHost {

class CommandLine;

// Gives every symmetry-parent atom of the document (its images follow) a
// forcefield type: its element symbol, or TYPE for an element named in
// `assignments` ("El=TYPE"); `clear` removes every type instead. Prints the
// types given and saves the document. The project is the given folder, else
// the document's folder.
void TypeAtoms(const std::string& document, const std::string& project, const std::vector<std::string>& assignments,
               bool clear, std::ostream& out);

void AddTypeCommands(CommandLine& commandLine);

}  // namespace ZelmHost
