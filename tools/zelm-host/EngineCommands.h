#pragma once
// The driver's engine: the `engine` command sets or shows the command that
// runs the "ZELM" server program's engine in a project (a project host
// setting), and FollowJob follows a staged job to completion through it.

#include <iosfwd>

namespace QzHost {
class HostApplication;
class ManagedJob;
}  // namespace QzHost

namespace ZelmHost {

class CommandLine;

void AddEngineCommands(CommandLine& commandLine);

// With an engine command configured: runs the job's engine and prints each
// event with its result, how the engine ended and the documents of the
// results folder; a failed job throws with its first failure after
// printing. Without one: the job's life is delivered without an engine, as
// before.
// Fails, saying how to accept it, when the project's settings hold an
// engine command of "ZELM" that was not set or accepted on this machine.
void RequireAcceptedEngines(const QzHost::HostApplication& host);

void FollowJob(QzHost::HostApplication& host, QzHost::ManagedJob& job, std::ostream& out);

}  // namespace ZelmHost
