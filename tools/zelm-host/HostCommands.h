#pragma once
// The driver's host commands: they play the host application over a project
// folder (documents, logic states, the operation log of the host's services).
//
// A project is a folder holding the project's state file (ProjectStateFile);
// `project` makes one with the host's default state values. Every command
// that works on an existing project refuses a folder without that file, so a
// mistyped folder name never turns into a new, empty project.

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

struct ISBDocumentRoot;

namespace QzHost {
class DocumentManager;
struct HostConfiguration;
class ProjectLock;
}

namespace ZelmHost {

class CommandLine;

// Adds the host commands: project, import, show, state.
void AddHostCommands(CommandLine& commandLine);

// The state values of every logic of a project, as the host saves them.
inline constexpr const char* ProjectStateFile = "project-state.json";

// The project's state file in `folder`: its path when it is a regular file,
// "" when there is none. Anything else standing there (a folder, a FIFO, a
// device, a socket) fails naming it: such a project is not taken for one
// without a state, which would go on with the default values. Every command
// that reads a project's state asks here.
std::string ProjectStateOf(const std::string& folder);

// The project of the files a command writes into `folder`: the nearest
// folder at or above it (as named) that holds a project state, else the
// folder itself. The project of a written file comes from where it is
// written, never from another argument.
std::string ProjectOfFolder(const std::string& folder);

// The host's configuration over a project folder, with its state file when
// the folder has one. A folder the user named (`given`) without a state file
// fails, saying how to make it a project.
QzHost::HostConfiguration ProjectConfiguration(const std::string& folder, bool given);

// Held by a command that changes a project's documents, from before it reads
// them to after it has written them back: the project's lock and, when the
// document lies in another folder, that folder's lock too (a command that
// names the document without its project locks the folder as its project),
// so that two commands never interleave their reads and writes of one
// document. Taken before the host is made over the project: the host reads
// the project's state and documents as it starts.
class DocumentChangeLock {
public:
    DocumentChangeLock(const std::string& project, const std::string& document = std::string());
    ~DocumentChangeLock();
    DocumentChangeLock(const DocumentChangeLock&) = delete;
    DocumentChangeLock& operator=(const DocumentChangeLock&) = delete;

private:
    std::unique_ptr<QzHost::ProjectLock> project_;
    std::unique_ptr<QzHost::ProjectLock> folder_;
};

// Each command writes its outcome to `out` and throws (KelvResult or a
// std::exception) with a clear message when it cannot be done; RunHostCommand
// turns that into a message on `err` and a non-zero exit code.

// Makes DIR a project. An existing project keeps its state values.
void CreateProject(const std::string& folder, std::ostream& out);

// Reads a crystal from a CIF file, or a molecule from an XYZ file (".xyz"),
// into a new structure document "<name>.qsd" of the project (name: the given
// one, else the file's name). A file of that name that is there already is
// never replaced: the new one takes the next free name.
// An XYZ file of several frames gives its first frame, or frame `frame`
// (from 1; 0 for the first).
void ImportStructure(const std::string& filePath, const std::string& project, const std::string& name,
                     std::size_t frame, std::ostream& out);

// Prints a structure document: lattice, space group and the number of its
// operators (listed with `operators`), atoms and named sets. The project is
// the given folder, else the document's folder.
void ShowDocument(const std::string& documentPath, const std::string& project, bool operators, std::ostream& out);
inline void ShowDocument(const std::string& documentPath, const std::string& project, std::ostream& out)
{
    ShowDocument(documentPath, project, false, out);
}

// Saves a structure document the user named on the command line over its
// own file (the host's structure exporter), as the user's own document.
void SaveNamedDocument(QzHost::DocumentManager& documents, ISBDocumentRoot* document);

// Prints every state value of a logic, one value, or sets one and saves the
// project's state file.
void StateCommand(const std::string& project, const std::string& logic, const std::optional<std::string>& key,
                  const std::optional<std::string>& value, std::ostream& out);

// Runs a host command: failures become "zelm-host: <message>" on `err` and
// exit code 1. With printLog the host's operation log follows the outcome
// (failed or not) on `out`.
template <class F>
int RunHostCommand(F&& command, bool printLog, std::ostream& out, std::ostream& err);

// Reports the exception being handled as "zelm-host: <reason>" on `err`;
// returns exit code 1.
int ReportFailure(std::ostream& err);

// Implementation detail of RunHostCommand.
void PrintOperationLog(std::ostream& out);

template <class F>
int RunHostCommand(F&& command, bool printLog, std::ostream& out, std::ostream& err)
{
    int status = 0;
    try {
        command();
    } catch (...) {
        status = ReportFailure(err);
    }
    if (printLog) {
        PrintOperationLog(out);
    }
    return status;
}

}  // namespace ZelmHost
