#pragma once
// The driver's inspection command `read`: it reads the files of a finished
// engine run through the module's output readers (linked from the module's
// static core, since they have no COM road) and prints what each holds; with
// --charts it also writes the run's history and density-of-states charts
// into chart documents of a project.

#include <iosfwd>
#include <string>

namespace ZelmHost {

struct ReadOptions {
    // The run's files without extension (folder and seed); a path with an
    // extension of one of them is taken without it.
    std::string result;
    std::string project = ".";
    bool charts = false;
};

class CommandLine;

// Adds the `read` command to the driver's command line.
void AddReadCommands(CommandLine& commandLine);

// Reads every file of the run that is there. A reader that fails prints
// "zelm-host: <file>: <message>" on `err` and the others still run; the exit
// code is then 1, as it is when no file of the run exists.
int ReadResults(const ReadOptions& options, std::ostream& out, std::ostream& err);

}  // namespace ZelmHost
