#pragma once
// The driver's job commands: the structure checks and the export and start
// queries (`check`), writing a job's input files (`export`), running a
// calculation (`run`) and starting a saved deck (`start`), each through the
// module's "ZelmLogic" logic as the host's user interface calls it.

namespace ZelmHost {

class CommandLine;

// Adds the four commands to the driver's command line.
void AddJobCommands(CommandLine& commandLine);

}  // namespace ZelmHost
