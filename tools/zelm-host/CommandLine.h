#pragma once
// The driver's command line: its global options, its commands and the
// driver's error convention.
//
// Each group of commands lives in a file of its own and adds its commands
// through one function taking the CommandLine (AddModuleCommands,
// AddHostCommands, ...); main.cpp calls those functions, then Run.
//
// The convention: a command writes its outcome to standard output; a failure
// is "zelm-host: <reason>" on standard error with exit code 1; a usage error
// (unknown command, missing or unexpected argument) is reported as the
// command-line parser words it, with the same prefix, and exit code 2.

#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

namespace ZelmHost {

inline constexpr int UsageErrorExitCode = 2;

class CommandLine {
public:
    CommandLine();

    CLI::App& App() { return app_; }
    // Whether --log was given.
    bool PrintLog() const { return printLog_; }

    // Adds a command. `action` runs when the command is given and returns the
    // exit code; an exception it lets through is reported as a failure.
    CLI::App* Add(const std::string& name, const std::string& description, std::function<int()> action);

    // Adds a host command: `command` writes its outcome to `out` and throws
    // with a clear message when it cannot be done. With --log the host's
    // operation log follows the outcome. --log and --registry may also follow
    // the command's own arguments.
    CLI::App* AddHostCommand(const std::string& name, const std::string& description,
                             std::function<void(std::ostream& out)> command);

    // Parses the arguments and runs the command given: its exit code.
    int Run(int argc, char** argv, std::ostream& out, std::ostream& err);

private:
    int ReportUsageError(const CLI::ParseError& error, std::ostream& out, std::ostream& err);
    std::string CommandNames() const;

    CLI::App app_;
    std::string registry_;
    bool printLog_ = false;
    std::vector<std::pair<CLI::App*, std::function<int()>>> actions_;
};

}  // namespace ZelmHost
