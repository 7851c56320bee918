#include "StatusCommands.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "CommandLine.h"
#include "DriverSupport.h"
#include "HostCommands.h"
#include "com/regularfile.h"
#include "host/jobs/JobDriverNote.h"
#include "host/state/ProjectLock.h"
#include "job/ZelmJob.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "setup/ZelmRunInfo.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

// A status document is a few lines; more is not read.
constexpr std::size_t StatusLimit = 64 * 1024;
const char* const StatusWord = "Status: ";

struct StatusDocument {
    bool present = false; // a regular file that could be read
    std::string text;
};

StatusDocument ReadStatusDocument(const std::string& resultsFolder)
{
    StatusDocument document;
    bool whole = false;
    std::string why;
    document.present =
        RegularFile::ReadAtMost(CZelmJob::StatusDocumentPath(resultsFolder), StatusLimit, document.text, whole, why);
    return document;
}

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// The last line of the text that begins with "Status: " ("" when none).
std::string LastStatusLine(const std::string& text)
{
    std::string found;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, std::char_traits<char>::length(StatusWord), StatusWord) == 0)
            found = line;
    return found;
}

// Whether `path` lies beneath `folder` (both absolute), as it is named and
// once every link on its way is followed.
bool LiesBeneath(const fs::path& path, const fs::path& folder)
{
    const auto beneath = [](const fs::path& inner, const fs::path& outer) {
        const fs::path relative = inner.lexically_relative(outer);
        return !relative.empty() && *relative.begin() != ".." && relative != ".";
    };
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    if (error)
        return false;
    const fs::path base = fs::weakly_canonical(folder, error);
    return !error && beneath(path.lexically_normal(), folder.lexically_normal()) && beneath(resolved, base);
}

// Text that a message shows as it stands (printable, short).
bool Printable(const std::string& text)
{
    return MessageText::Excerpt(text, 4096) == text;
}

// A seed that names a file in the folder it is joined to, and nothing else.
bool IsPlainSeed(const std::string& seed)
{
    return !seed.empty() && seed != "." && seed != ".." && seed.find('/') == std::string::npos &&
           seed.find('\\') == std::string::npos && Printable(seed);
}

// Why a run whose driver is gone stopped, and how what it left is brought
// in: the head of its mended status document. The engine's folder and the
// seed come from the job's note, which may have come with a project from
// elsewhere: the command is printed only for an engine folder inside the
// project of the results folder and a seed that is a plain file name; every
// path it names is quoted for the shell, as a user may paste any of them.
std::string StoppedRunReason(const QzHost::JobDriverRecord& record, const std::string& resultsFolder)
{
    const std::string head = std::string(StatusWord) + "stopped (the process that ran it, pid " +
                             std::to_string(record.pid) + ", is gone); its results were not brought in.\n";
    const std::string project = ProjectOfFolder(resultsFolder);
    const std::string& server = record.serverFolder;
    const std::string& seed = record.seed;
    const bool plainSeed = IsPlainSeed(seed);
    if (server.empty() || !fs::path(server).is_absolute() || !Printable(server) ||
        !LiesBeneath(fs::path(server), fs::path(project)) || !plainSeed)
        return head + "The job's note names the engine's folder " + ShellQuoted(MessageText::Excerpt(server)) +
               " and the seed " + ShellQuoted(MessageText::Excerpt(seed)) + ", which do not name a folder in the project " +
               ShellQuoted(MessageText::Excerpt(project)) +
               ": they are not used (the note may have come with the project from elsewhere). The results of a run "
               "that the engine finished are brought in with \"zelm-host analyse\" on its main output.";
    const std::string output = PathUtilities::Join(server, seed + CZelmRunInfo::OutputFileExtension());
    return head + "What the engine wrote stays in " + ShellQuoted(server) +
           ". The results of a run that the engine finished are brought in with\n  zelm-host analyse " +
           ShellQuoted(output) + " structure DOCUMENT.qsd\n(or trajectory, energy); a run that the engine did not "
           "finish has none.";
}

// Mends the status document of a run whose driver is gone: it says the run
// stopped, keeping what it said last. Under the folder's lock; a status
// document that is no regular file is left alone (its line still says so).
void MendStoppedRun(const std::string& resultsFolder)
{
    const QzHost::ProjectLock lock(resultsFolder, "results folder");
    QzHost::JobDriverRecord record;
    if (!QzHost::ReadJobDriverNote(resultsFolder, record) || QzHost::StateOf(record) != QzHost::JobDriverState::Gone)
        return; // mended meanwhile, or no longer gone
    const std::string path = CZelmJob::StatusDocumentPath(resultsFolder);
    const StatusDocument last = ReadStatusDocument(resultsFolder);
    std::error_code error;
    if (!last.present && fs::symlink_status(path, error).type() != fs::file_type::not_found)
        return;
    std::string why;
    // A link that leads out of the results folder is not written through.
    if (!ReplaceFileContents(path, CZelmJob::FailedRunStatus(StoppedRunReason(record, resultsFolder), last.text), &why,
                             resultsFolder))
        Fail("the status document \"" + path + "\" cannot be written: " + why);
    QzHost::RemoveJobDriverNote(resultsFolder);
}

// The seed the live status names ("Seed: salt"), "" when none.
std::string SeedOf(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, 6, "Seed: ") == 0)
            return line.substr(6);
    return std::string();
}

// A finished run reads as finished only while its main output is in the
// results folder (the seed's, or any when the status names no seed): a
// status line of a run whose output is gone says so instead.
std::string FinishedOnlyWithItsOutput(const std::string& line, const std::string& resultsFolder,
                                      const std::string& text)
{
    if (line != std::string(StatusWord) + "finished")
        return line;
    const std::string extension = CZelmRunInfo::OutputFileExtension();
    const std::string seed = SeedOf(text);
    const bool plainSeed = IsPlainSeed(seed);
    const auto isOutput = [&](const std::string& name) {
        std::string why;
        const int fd = RegularFile::Open(PathUtilities::Join(resultsFolder, name), why);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    };
    if (plainSeed) {
        if (isOutput(seed + extension))
            return line;
    } else {
        std::error_code error;
        for (fs::directory_iterator entry(resultsFolder, error), end; !error && entry != end; entry.increment(error))
            if (entry->path().extension() == extension && isOutput(entry->path().filename().string()))
                return line;
    }
    const std::string output = plainSeed ? "\"" + MessageText::Excerpt(seed + extension) + "\"" : "(" + extension + ")";
    return std::string(StatusWord) + "main output missing (the engine said \"finished\", but the results folder holds "
                                     "no main output " + output + ")";
}

struct StatusArguments {
    std::string folder;
};

void StatusCommand(const StatusArguments& a, std::ostream& out)
{
    std::error_code error;
    if (!fs::is_directory(a.folder, error))
        Fail("\"" + a.folder + "\" is not a results folder");
    out << RunStatusLine(a.folder) << "\n";
    const StatusDocument document = ReadStatusDocument(a.folder);
    if (!document.present)
        return;
    out << "the status document " << CZelmJob::StatusDocumentPath(a.folder) << ":\n";
    std::istringstream lines(document.text);
    std::string line;
    for (int count = 0; std::getline(lines, line) && count < 40; ++count)
        out << "  " << MessageText::Excerpt(line) << "\n";
}

}  // namespace

std::string RunStatusLine(const std::string& resultsFolder)
{
    QzHost::JobDriverRecord record;
    if (QzHost::ReadJobDriverNote(resultsFolder, record)) {
        const std::string command = record.command.empty() ? std::string() : ": " + MessageText::Excerpt(record.command);
        switch (QzHost::StateOf(record)) {
        case QzHost::JobDriverState::Running:
            return std::string(StatusWord) + "running (followed by process " + std::to_string(record.pid) + command + ")";
        case QzHost::JobDriverState::Elsewhere:
            return std::string(StatusWord) + "not known here (followed by process " + std::to_string(record.pid) +
                   " on the machine \"" + MessageText::Excerpt(record.machine) + "\")";
        case QzHost::JobDriverState::Gone:
            MendStoppedRun(resultsFolder);
            return FirstLine(StoppedRunReason(record, resultsFolder));
        }
    }
    const StatusDocument document = ReadStatusDocument(resultsFolder);
    const std::string first = FirstLine(document.text);
    if (first.compare(0, std::char_traits<char>::length(StatusWord), StatusWord) == 0)
        return MessageText::Excerpt(FinishedOnlyWithItsOutput(first, resultsFolder, document.text));
    if (CZelmJob::IsFailedRunStatus(document.text))
        return std::string(StatusWord) + "failed (" + MessageText::Excerpt(first) + ")";
    const std::string last = LastStatusLine(document.text);
    if (last.empty())
        return std::string(StatusWord) + "not known (the results folder holds no status)";
    // The job's completion was handed over (a run without its main output
    // says so then), so no process follows the run any more.
    if (last.substr(std::char_traits<char>::length(StatusWord)) == "running")
        return std::string(StatusWord) + "ended (no process follows it any more; the engine last said \"running\")";
    return MessageText::Excerpt(FinishedOnlyWithItsOutput(last, resultsFolder, document.text));
}

void AddStatusCommands(CommandLine& commandLine)
{
    auto arguments = std::make_shared<StatusArguments>();
    CLI::App* status = commandLine.AddHostCommand(
        "status", "Tell how a job's run stands, from its results folder (a run whose process is gone reads as stopped)",
        [arguments](std::ostream& out) { StatusCommand(*arguments, out); });
    status->add_option("folder", arguments->folder, "The job's results folder")->required();
}

}  // namespace ZelmHost
