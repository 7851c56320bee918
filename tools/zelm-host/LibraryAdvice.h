#pragma once
// What the driver adds when the module cannot read the selected forcefield
// library: the library's name, every file it was looked for as, and how to
// select one.

#include <string>
#include <vector>

namespace QzHost {
class HostApplication;
}

namespace ZelmHost {

// The files the selected library ("library" of the "ZelmLogic" state) is
// looked for as, in the order looked at: a path as given (".lib" added when
// it has no extension); a name, with or without ".lib", in the standard
// libraries' folder, then in the project folder. Empty when none is selected.
std::vector<std::string> LibraryCandidates(QzHost::HostApplication& host);

// Fails, naming it, when a file the selected library is looked for as is
// there but is no regular file (a pipe or a device): reading it would wait
// or never end.
void RefuseLibraryThatIsNoFile(QzHost::HostApplication& host);

// "" when the selected library's file can be read; else the lines that
// name the library, each file looked at with why it was not taken, and how
// to select a library.
std::string LibraryAdvice(QzHost::HostApplication& host);

// The message, followed by LibraryAdvice when it is the module's message of
// a library file it could not read or open, or by the driver's typing
// command when it is the module's message of atoms without forcefield types.
std::string WithLibraryAdvice(QzHost::HostApplication& host, const std::string& message,
                              const std::string& document = std::string());

}  // namespace ZelmHost
