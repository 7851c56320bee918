#include "EngineCommands.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits.h>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <unistd.h>
#include <vector>

#include <CLI/CLI.hpp>

#include "CommandLine.h"
#include "DriverSupport.h"
#include "HostCommands.h"
#include "host/HostApplication.h"
#include "host/jobs/EngineSettings.h"
#include "qorqm/MessageText.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

// A word for the shell: single-quoted when it holds anything but letters,
// digits and "/._-+,:@" (a quote inside written as '\'').
std::string ShellWord(const std::string& word)
{
    const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                               "0123456789/._-+,:@") == std::string::npos;
    if (plain)
        return word;
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The engine stand-in beside the driver, its path one word for the shell
// (a build folder may hold blanks).
std::string StubCommand()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string exe = length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string("./zelm-host");
    return ShellWord(exe.substr(0, exe.find_last_of('/')) + "/zelm-stub") + " %SEED%";
}

// The seconds of a --time-limit value: a whole text that reads as a finite
// number from 0 to the longest limit the job manager can keep. Anything else
// (an empty value too) is refused with the bounds.
double TimeLimitOf(const std::string& text)
{
    const auto refuse = [&text]() {
        throw std::runtime_error(std::string("the time limit must be a finite number of seconds from 0 to ") +
                                 QzHost::MaxTimeLimitText + " (0: no limit), not " +
                                 (text.empty() ? std::string("an empty value") : "\"" + MessageText::Excerpt(text) + "\""));
    };
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())))
        refuse();
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(seconds) || seconds < 0 ||
        seconds > QzHost::MaxTimeLimitSeconds)
        refuse();
    return seconds;
}

struct EngineArguments {
    std::string project = ".";
    std::string command;
    std::string timeLimit;
    bool stub = false;
    bool clear = false;
    bool accept = false;
};

void EngineCommand(const EngineArguments& a, CLI::App& app, std::ostream& out)
{
    std::error_code error;
    if (ProjectStateOf(a.project).empty())
        throw std::runtime_error("\"" + a.project + "\" is not a project folder: it has no \"" +
                                 std::string(ProjectStateFile) + "\"");
    const bool setLimit = app.count("--time-limit") > 0;
    const double timeLimit = setLimit ? TimeLimitOf(a.timeLimit) : 0.0;
    if (a.accept && (a.clear || a.stub || !a.command.empty()))
        throw std::runtime_error("--accept accepts the command the project holds; it takes no other command, "
                                 "--stub or --clear");
    const bool changes = a.clear || a.stub || !a.command.empty() || setLimit;
    // The user's accepted commands that cannot be read are refused before the
    // project's settings change (they are never written over).
    if (a.clear || a.stub || !a.command.empty() || a.accept)
        (void)QzHost::IsEngineAccepted(a.project, "ZELM", std::string());
    QzHost::EngineSettings settings;
    if (!changes) {
        settings = QzHost::LoadEngineSettings(a.project);
    } else {
        // Read, changed and written under the project's lock; --clear also
        // mends a settings file that cannot be read.
        settings = QzHost::UpdateEngineSettings(
            a.project,
            [&](QzHost::EngineSettings& s) {
                if (a.clear)
                    s.commands.erase("ZELM");
                else if (a.stub || !a.command.empty())
                    s.commands["ZELM"] = a.stub ? StubCommand() : a.command;
                if (setLimit)
                    s.timeLimitSeconds = timeLimit;
            },
            a.clear);
    }
    const auto it = settings.commands.find("ZELM");
    const std::string command = it == settings.commands.end() ? std::string() : it->second;
    // A command set here is the user's choice on this machine; one the
    // project brought along runs once it is accepted.
    if (a.clear || a.stub || !a.command.empty() || (a.accept && !command.empty()))
        QzHost::AcceptEngine(a.project, "ZELM", command);
    else if (a.accept)
        throw std::runtime_error("the project \"" + a.project + "\" holds no engine command to accept");
    out << "engine of \"ZELM\": " << (command.empty() ? std::string("none") : ShownText(command)) << "\n";
    if (!command.empty() && !QzHost::IsEngineAccepted(a.project, "ZELM", command))
        out << "not accepted on this machine: it came with the project's settings and does not run until it is "
               "accepted (zelm-host engine --project "
            << ShellQuoted(a.project) << " --accept) or set anew\n";
    out << "time limit: ";
    if (settings.timeLimitSeconds > 0)
        out << settings.timeLimitSeconds << " s\n";
    else
        out << "none\n";
}

std::vector<std::string> Files(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file(error))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

void RequireAcceptedEngines(const QzHost::HostApplication& host)
{
    const auto it = host.UnacceptedEngines().find("ZELM");
    if (it == host.UnacceptedEngines().end())
        return;
    // Accepted commands that cannot be read are named as what they are.
    (void)QzHost::IsEngineAccepted(host.DocumentsFolder(), "ZELM", std::string());
    throw std::runtime_error("the project's settings hold the engine command \"" + MessageText::Excerpt(it->second) +
                             "\", which was not set or accepted on this machine, so it does not run; if you trust "
                             "it, accept it once with: zelm-host engine --project " +
                             ShellQuoted(host.DocumentsFolder()) +
                             " --accept (or set your own with: zelm-host engine --project " +
                             ShellQuoted(host.DocumentsFolder()) + " COMMAND)");
}

void FollowJob(QzHost::HostApplication& host, QzHost::ManagedJob& job, std::ostream& out)
{
    if (host.Jobs().ServerCommand(job.ServerName()).empty()) {
        try {
            const QzHost::DeliveryReport report = host.Jobs().Deliver(job, QzHost::DeliveryRequest{});
            out << "delivered:\n";
            for (const std::string& event : report.events)
                out << "  " << event << "\n";
        } catch (const KelvResult& error) {
            out << "delivery: " << error.GetMessage() << "\n";
        }
        return;
    }
    const QzHost::DeliveryReport report = host.Jobs().Run(job);
    out << "engine: " << report.engine << "\n";
    out << "events:\n";
    for (const std::string& event : report.events)
        out << "  " << event << "\n";
    out << "documents of the results folder " << job.ResultsFolder() << ":\n";
    for (const std::string& file : Files(job.ResultsFolder()))
        out << "  " << file << "\n";
    if (!report.failures.empty()) {
        out << "failures:\n";
        for (const std::string& failure : report.failures)
            out << "  " << failure << "\n";
        throw std::runtime_error("the job failed: " + report.failures.front());
    }
}

void AddEngineCommands(CommandLine& commandLine)
{
    auto arguments = std::make_shared<EngineArguments>();
    auto app = std::make_shared<CLI::App*>(nullptr);
    CLI::App* engine = commandLine.AddHostCommand(
        "engine", "Set or show the command that runs the \"ZELM\" engine of a project's jobs (%SEED%: the job's seed)",
        [arguments, app](std::ostream& out) { EngineCommand(*arguments, **app, out); });
    *app = engine;
    engine->add_option("command", arguments->command, "The engine command, run in the job's server folder");
    engine->add_option("--project", arguments->project, "The project folder (default: the current folder)");
    engine->add_option("--time-limit", arguments->timeLimit, "Seconds an engine run may take (0: no limit)");
    engine->add_flag("--stub", arguments->stub, "Use the engine stand-in zelm-stub beside the driver");
    engine->add_flag("--clear", arguments->clear, "Remove the engine command");
    engine->add_flag("--accept", arguments->accept,
                     "Accept on this machine the engine command the project's settings hold (a command set here "
                     "is accepted as it is set)");
}

}  // namespace ZelmHost
