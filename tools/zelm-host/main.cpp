// zelm-host: a command-line host application for the QorZelm module. It
// loads the module as the host does and drives it, and plays the host's own
// part over a project folder: documents, logic states and the operation log.
//
// Each group of commands adds its commands here with one line. All the
// driver prints, on standard output and standard error, passes through a
// PrintableOutput.

#include <iostream>

#include "AnalysisCommands.h"
#include "CommandLine.h"
#include "DeckCommands.h"
#include "EngineCommands.h"
#include "ForcefieldCommands.h"
#include "HostCommands.h"
#include "JobCommands.h"
#include "ModuleCommands.h"
#include "PrintableOutput.h"
#include "ReadCommands.h"
#include "StatusCommands.h"
#include "SurfaceCommands.h"
#include "TrajectoryCommands.h"
#include "TypeCommands.h"

int main(int argc, char** argv)
{
    const ZelmHost::PrintableOutput out(std::cout);
    const ZelmHost::PrintableOutput err(std::cerr);
    ZelmHost::CommandLine commandLine;
    ZelmHost::AddModuleCommands(commandLine);
    ZelmHost::AddHostCommands(commandLine);
    ZelmHost::AddTypeCommands(commandLine);
    ZelmHost::AddDeckCommands(commandLine);
    ZelmHost::AddSurfaceCommands(commandLine);
    ZelmHost::AddJobCommands(commandLine);
    ZelmHost::AddEngineCommands(commandLine);
    ZelmHost::AddForcefieldCommands(commandLine);
    ZelmHost::AddTrajectoryCommands(commandLine);
    ZelmHost::AddReadCommands(commandLine);
    ZelmHost::AddAnalysisCommands(commandLine);
    ZelmHost::AddStatusCommands(commandLine);
    return commandLine.Run(argc, argv, std::cout, std::cerr);
}
