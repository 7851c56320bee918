#pragma once
// The driver's `status` command: how a job's run stands, read from its
// results folder. A run whose driver (the process that followed it) is gone
// before it handed the job's completion over reads as stopped, and its
// status document is mended to say so, with how to bring in what it left.

#include <iosfwd>
#include <string>

namespace ZelmHost {

class CommandLine;

void AddStatusCommands(CommandLine& commandLine);

// The status line of a results folder ("Status: ..."), as `status` prints
// it first; a run whose driver is gone has its status document mended
// first (under the folder's lock).
std::string RunStatusLine(const std::string& resultsFolder);

}  // namespace ZelmHost
