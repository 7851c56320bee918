#include "CommandLine.h"

#include "com/regularfile.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <set>

#include <cstdlib>
#include <iostream>

#include "HostCommands.h"

namespace ZelmHost {

CommandLine::CommandLine() : app_("zelm-host: drives the QorZelm module as its host application does")
{
    // At most one command; a missing one is reported by Run, so that an
    // unknown word is named as the unknown command it is.
    app_.require_subcommand(0, 1);
    app_.add_option("--registry", registry_, "Class registry file (default: $QZ_REGISTRY_FILE or the user's)");
    app_.add_flag("--log", printLog_, "After a host command, print the operation log of the host calls it made");
}

CLI::App* CommandLine::Add(const std::string& name, const std::string& description, std::function<int()> action)
{
    CLI::App* command = app_.add_subcommand(name, description);
    actions_.emplace_back(command, std::move(action));
    return command;
}

CLI::App* CommandLine::AddHostCommand(const std::string& name, const std::string& description,
                                      std::function<void(std::ostream& out)> command)
{
    CLI::App* added = Add(name, description, [this, command = std::move(command)] {
        return RunHostCommand([&] { command(std::cout); }, printLog_, std::cout, std::cerr);
    });
    added->fallthrough();
    return added;
}

std::string CommandLine::CommandNames() const
{
    std::string names;
    for (const auto& [command, action] : actions_) {
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    return names;
}

int CommandLine::ReportUsageError(const CLI::ParseError& error, std::ostream& out, std::ostream& err)
{
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
        return app_.exit(error, out, err);  // --help
    }
    std::string reason = error.what();
    const std::vector<CLI::App*> given = app_.get_subcommands();
    const std::vector<std::string> extra = app_.remaining();
    if (given.empty() && dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr && !extra.empty() && extra.front().rfind('-', 0) != 0) {
        reason = "unknown command \"" + extra.front() + "\" (commands: " + CommandNames() + ")";
    } else if (!given.empty()) {
        reason = given.front()->get_name() + ": " + reason;
    }
    err << "zelm-host: " << reason << "\nRun with --help for more information.\n";
    return UsageErrorExitCode;
}

namespace {

// Each value given with whether it names the project (--project).
void CollectValues(const CLI::App& command, std::vector<std::pair<std::string, bool>>& values)
{
    for (const CLI::Option* option : command.get_options())
        for (const std::string& value : option->results())
            values.emplace_back(value, option->check_lname("project"));
    for (const CLI::App* inner : command.get_subcommands())
        CollectValues(*inner, values);
}

// The files named on the command line are the user's choice, opened as
// named; the folder each lies in holds the files a command picks beside it
// (a run's folder: the folder of the output or archive named), as does a
// folder named, and those are
// opened beneath that folder, never through a link leading out of it.
std::vector<std::unique_ptr<RegularFile::Hold>> HoldNamedFiles(const CLI::App& command)
{
    std::vector<std::pair<std::string, bool>> values;
    CollectValues(command, values);
    std::vector<std::unique_ptr<RegularFile::Hold>> held;
    std::set<std::string> folders;
    for (const auto& [value, project] : values) {
        struct stat status;
        if (value.empty() || ::lstat(value.c_str(), &status) != 0)
            continue;
        RegularFile::UsersOwn(value);
        std::filesystem::path folder = std::filesystem::absolute(value).lexically_normal();
        if (folder.filename().empty())
            folder = folder.parent_path();
        if (!S_ISDIR(status.st_mode))
            folder = folder.parent_path();
        if (folders.insert(folder.string() + (project ? "/" : "")).second)
            held.push_back(std::make_unique<RegularFile::Hold>(folder.string(), project ? "the project" : "its folder"));
    }
    return held;
}

}  // namespace

int CommandLine::Run(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    try {
        app_.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return ReportUsageError(error, out, err);
    }
    if (!registry_.empty()) {
        setenv("QZ_REGISTRY_FILE", registry_.c_str(), 1);
    }
    for (const auto& [command, action] : actions_) {
        if (command->parsed()) {
            try {
                const std::vector<std::unique_ptr<RegularFile::Hold>> held = HoldNamedFiles(*command);
                return action();
            } catch (...) {
                return ReportFailure(err);
            }
        }
    }
    err << "zelm-host: a command is required (commands: " << CommandNames()
        << ")\nRun with --help for more information.\n";
    return UsageErrorExitCode;
}

}  // namespace ZelmHost
