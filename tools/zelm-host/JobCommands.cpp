#include "JobCommands.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "DriverSupport.h"
#include "CommandLine.h"
#include "EngineCommands.h"
#include "HostCommands.h"
#include "LibraryAdvice.h"
#include "com/regularfile.h"
#include "common/ZelmInterfaces.h"
#include "host/HostApplication.h"
#include "kelv/KelvSafeArray.h"
#include "kelv/kelv.h"
#include "qorqm/MessageText.h"
#include "qorqm/ReplaceFile.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

std::string Hex(LONG value)
{
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

// A host over the project with one document open and made the default
// scope, and the module's logic.
class Session {
public:
    // The project is the given folder, else the nearest folder holding the
    // document that is a project (else the document's own folder).
    // With `changes`, the project and the document's folder are locked
    // while the session lasts.
    Session(const std::string& documentPath, const std::string& project, const std::string& task,
            bool changes = false)
    {
        std::error_code error;
        m_file = fs::absolute(documentPath, error).lexically_normal();
        if (const std::string why = NotAnInputFile(m_file.string()); !why.empty()) {
            Fail("the document \"" + documentPath + "\" " + why);
        }
        const std::string folder = project.empty() ? ProjectOfFolder(m_file.parent_path().string()) : project;
        QzHost::HostConfiguration configuration = ProjectConfiguration(folder, !project.empty());
        if (changes) {
            m_lock = std::make_unique<DocumentChangeLock>(folder, m_file.string());
        }
        m_host = std::make_unique<QzHost::HostApplication>(configuration);

        const KelvBSTR path(m_file.string());
        KelvResult::Check(m_host->Documents().FindDocument(path.Get(), m_document.Receive()));
        if (!m_document) {
            Fail("\"" + documentPath + "\" is not a document (.qsd, .gin) in the project folder \"" + folder + "\"");
        }
        KelvResult::Check(m_document->get_ContentsAsScope(m_contents.Receive()));
        m_host->Scopes().SetDefaultScope(m_contents);

        // The task for this call only: the project's saved state stays.
        if (!task.empty()) {
            const long code = TaskCode(task);
            const KelvComPtr<QzHost::HostState> state = m_host->State("ZelmLogic");
            if (!state) {
                Fail("the host keeps no state for \"ZelmLogic\"");
            }
            const KelvVariant value(static_cast<int32_t>(code));
            state->SetValue("Task", value.Get());
        }

        const KelvComPtr<ISBLogic> logic = m_host->Logic(QzHost::ModuleExtensionName, "ZelmLogic");
        if (!logic) {
            std::string reason;
            for (const std::string& missing : m_host->MissingLogics()) {
                reason += "\n  " + missing;
            }
            for (const std::string& failed : m_host->ConnectionErrors()) {
                reason += "\n  " + failed;
            }
            Fail("the module's logic \"ZelmLogic\" is not available (is the module registered?)" + reason);
        }
        m_zelm = logic.QueryInterface<IZelm>();
        m_files = logic.QueryInterface<ISBManagedJobFiles>();
        RefuseLibraryThatIsNoFile(*m_host);
    }

    QzHost::HostApplication& Host() const { return *m_host; }
    IZelm* Zelm() const { return m_zelm.get(); }
    ISBManagedJobFiles* Files() const { return m_files.get(); }
    ISBScope* Contents() const { return m_contents.get(); }
    ISBDocumentRoot* Document() const { return m_document.get(); }
    const fs::path& File() const { return m_file; }

private:
    fs::path m_file;
    std::unique_ptr<DocumentChangeLock> m_lock;
    std::unique_ptr<QzHost::HostApplication> m_host;
    KelvComPtr<ISBDocumentRoot> m_document;
    KelvComPtr<ISBScope> m_contents;
    KelvComPtr<IZelm> m_zelm;
    KelvComPtr<ISBManagedJobFiles> m_files;
};

// A failed call of the module fails the command; a library it could not read
// is named with the files it was looked for as.
void RequireModule(const Session& session, HRESULT hr)
{
    if (FAILED(hr)) {
        throw KelvResult(hr, WithLibraryAdvice(session.Host(), ErrorText(hr), session.File().string()));
    }
}

std::vector<std::string> SortedFiles(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file(error)) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One answer of a yes/no question: "yes", "no", or the failure.
void Answer(std::ostream& out, const std::string& question, HRESULT hr, VARIANT_BOOL value)
{
    out << "  " << std::left << std::setw(28) << (question + ":");
    if (FAILED(hr)) {
        out << "failed: " << ErrorText(hr) << "\n";
    } else {
        out << (value ? "yes" : "no") << "\n";
    }
}

void CheckStructure(const std::string& document, const std::string& project, const std::string& task, bool makeP1,
                    std::ostream& out)
{
    const Session session(document, project, task, makeP1);
    IZelm* zelm = session.Zelm();
    ISBScope* scope = session.Contents();
    if (makeP1) {
        Require(zelm->MakeP1(scope));
        session.Host().Documents().TakeAsUsersOwn(session.Document()); // the document named on the command line
        KelvResult::Check(session.Host().Documents().Synchronize());
        out << "made " << ShownName(session.File().filename().string()) << " P1 and saved it\n";
    }
    out << "checks of " << ShownName(session.File().filename().string()) << ":\n";

    VARIANT_BOOL value = VARIANT_FALSE;
    SAFEARRAY* missing = nullptr;
    HRESULT hr = zelm->AllAtomicChargesInLibrary2(scope, &missing, &value);
    const KelvSafeArray elements(missing);
    Answer(out, "all atoms in the library", hr, value);
    if (SUCCEEDED(hr) && elements.Count() > 0) {
        out << "  missing elements:";
        for (ULONG i = 0; i < elements.Count(); ++i) {
            out << " " << ShownName(elements.GetString(static_cast<LONG>(i)));
        }
        out << "\n";
    }
    hr = zelm->IsP1(scope, &value);
    Answer(out, "P1", hr, value);
    hr = zelm->IsPeriodic(scope, &value);
    Answer(out, "3-D periodic", hr, value);
    hr = zelm->HasPiSystems(scope, &value);
    Answer(out, "pi-systems", hr, value);
    hr = zelm->CanDoPhononNonGamma(scope, &value);
    Answer(out, "phonons away from gamma", hr, value);
    BSTR exclusions = nullptr;
    hr = zelm->get_LibrariesToExclude(&exclusions);
    out << "  " << std::left << std::setw(28) << "libraries to exclude:"
        << (FAILED(hr) ? "failed: " + ErrorText(hr) : ShownText(NarrowFromBSTR(exclusions))) << "\n";
    SysFreeString(exclusions);
    // The export's own preparation run dry, with the reason it refuses.
    const auto exportCheck = KelvComPtr<IZelm>(zelm).TryQueryInterface<IZelmExportCheck>();
    BSTR refusal = nullptr;
    hr = exportCheck ? exportCheck->ExportRefusal(scope, &refusal) : session.Files()->CanExportFiles(scope, &value);
    const std::string why = Take(refusal);
    if (exportCheck && SUCCEEDED(hr) && !why.empty()) {
        out << "  " << std::left << std::setw(28) << "can export files:" << "no (" << ShownText(why, 400) << ")\n";
    } else {
        Answer(out, "can export files", hr, exportCheck ? VARIANT_BOOL(VARIANT_TRUE) : value);
    }
    hr = session.Files()->CanStartFiles(scope, &value);
    Answer(out, "can start files", hr, value);
    BSTR reason = nullptr;
    hr = session.Files()->ShouldStartFiles(scope, &reason, &value);
    Answer(out, "should start files", hr, value);
    SysFreeString(reason);
    const std::string advice = LibraryAdvice(session.Host());
    if (!advice.empty()) {
        out << "library: " << advice << "\n";
    }
}

void ExportFiles(const std::string& document, const std::string& project, const std::string& task, std::ostream& out)
{
    const Session session(document, project, task);
    // A refused export leaves no folder made for it; what it names is what
    // it made itself (another command may make folders in the same moment).
    MadeFolders made;
    const HRESULT hr = session.Files()->ExportFiles(session.Contents());
    made.Claimed(session.Host().FoldersMade());
    RequireModule(session, hr);
    made.Keep();
    for (const std::string& folder : session.Host().FoldersMade()) {
        out << "exported the input files into " << ShownText(folder) << ":\n";
        for (const std::string& file : SortedFiles(folder)) {
            out << "  " << ShownName(file) << "\n";
        }
    }
}

// The job as the job manager holds it, where it was staged, and what
// delivering its life to the module's job object gives.
void PrintJob(QzHost::HostApplication& host, std::ostream& out)
{
    if (host.Jobs().Jobs().empty()) {
        Fail("the job manager holds no job");
    }
    QzHost::ManagedJob& job = *host.Jobs().Jobs().back();
    out << "job " << job.Number() << " of the server program \"" << job.ServerName() << "\"\n";
    out << "  originator:   " << job.Originator() << "\n";
    out << "  description:  " << job.TaskDescription() << "\n";
    out << "  prefix:       " << ShownText(job.Prefix()) << "\n";
    out << "  handler:      " << job.NotificationHandler() << "\n";
    out << "  command items:\n";
    for (const auto& item : job.CommandItems()) {
        out << "    " << ShownName(item.first) << " \"" << ShownText(item.second) << "\"\n";
    }
    out << "  file-transfer items (upload, download, identifier, file):\n";
    for (const auto& item : job.Items()) {
        const std::string identifier =
            item->Identifier().IsEmpty() ? "-" : "\"" + ShownName(item->Identifier().String()) + "\"";
        out << "    " << std::left << std::setw(6) << Hex(item->UploadPolicy()) << std::setw(6)
            << Hex(item->DownloadPolicy()) << std::setw(12) << identifier << ShownText(item->Descriptor()) << "\n";
    }
    std::string scope = "none";
    if (job.Scope()) {
        KelvComPtr<ISBDocumentRoot> document;
        KelvBSTR name;
        if (SUCCEEDED(job.Scope()->get_DocumentRoot(document.Receive())) && document &&
            SUCCEEDED(document->get_DocumentName(name.Receive()))) {
            scope = "the contents of the document \"" + ShownName(name.ToTString()) + "\"";
        }
    }
    out << "  scope:        " << scope << "\n";
    if (job.Stage() == QzHost::JobStage::Created) {
        out << "the job was not started\n";
        return;
    }
    out << "staged in " << ShownText(job.ServerFolder()) << ":\n";
    for (const std::string& file : SortedFiles(job.ServerFolder())) {
        out << "  " << ShownName(file) << "\n";
    }
    out << "results folder: " << ShownText(job.ResultsFolder()) << "\n";
    const bool engineSet = !host.Jobs().ServerCommand(job.ServerName()).empty();
    FollowJob(host, job, out);
    if (!engineSet) {
        // Its life was delivered to the module's job object, but nothing ran.
        const std::string project = ShownText(host.DocumentsFolder());
        Fail("the job was staged in \"" + ShownText(job.ServerFolder()) + "\" and not run: the project \"" + project +
             "\" sets no engine for \"" + job.ServerName() + "\"; set one with: zelm-host engine --project " +
             ShellQuoted(host.DocumentsFolder()) + " --stub (the engine stand-in), or zelm-host engine --project " +
             ShellQuoted(host.DocumentsFolder()) + " 'COMMAND' (%SEED%: the job's seed); then run it again");
    }
}

void RunCalculation(const std::string& document, const std::string& project, const std::string& task,
                    std::ostream& out)
{
    const Session session(document, project, task);
    RequireAcceptedEngines(session.Host());
    // A refused run leaves no job folder made for it.
    MadeFolders made;
    const HRESULT hr = session.Zelm()->Run(session.Contents());
    made.Claimed(session.Host().FoldersMade());
    RequireModule(session, hr);
    made.Keep();
    PrintJob(session.Host(), out);
}

// A deck of a project whose folder a link leads outside it is refused
// before a byte of it is read: the folder is opened beneath the project.
void RequireDeckFolderInProject(const std::string& deck, const std::string& project)
{
    std::error_code error;
    const fs::path file = fs::absolute(deck, error).lexically_normal();
    const std::string deckFolder = file.parent_path().string();
    const std::string folder = project.empty() ? ProjectOfFolder(deckFolder) : project;
    const RegularFile::Folder held(folder);
    std::string inner;
    if (!held.IsOpen() || !held.Holds(deckFolder, inner))
        return;
    const int fd = held.OpenIn(inner, O_PATH | O_DIRECTORY);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno != EXDEV)
        return;  // the deck's own reader says what stands there
    std::string leaving = LinkLeavingProject(deckFolder, folder);
    if (leaving.rfind("it ", 0) == 0)
        leaving.erase(0, 3);
    Fail("the deck \"" + MessageText::Excerpt(deck) + "\" cannot be started: its folder \"" +
         MessageText::Excerpt(deckFolder) + "\" " + (leaving.empty() ? "leads outside the project" : leaving));
}

void StartDeck(const std::string& deck, const std::string& project, std::ostream& out)
{
    RequireDeckFolderInProject(deck, project);
    const Session session(deck, project, std::string());
    RequireAcceptedEngines(session.Host());
    VARIANT_BOOL canStart = VARIANT_FALSE;
    Require(session.Files()->CanStartFiles(session.Contents(), &canStart));
    if (!canStart) {
        Fail("\"" + deck + "\" is not a saved ZELM deck (.gin)");
    }
    const HRESULT hr = session.Files()->StartFiles(session.Contents());
    if (FAILED(hr)) {
        // `deck` writes the deck alone; its side files come with `export`.
        // The error information is taken once: asking again finds none.
        const std::string message = ErrorText(hr);
        for (const char* side : {".trjaux", ".kptaux", ".libaux"}) {
            const std::string missing = std::string(side) + "\" cannot be uploaded: it does not exist";
            if (message.find(missing) != std::string::npos) {
                throw KelvResult(hr, message + "\nthe deck's side files (\".trjaux\", \".kptaux\", "
                                               "\"selectedLibrary.libaux\") are written with it by: zelm-host "
                                               "export DOC.qsd (`deck` writes the deck alone); start the deck of "
                                               "that export");
            }
        }
        throw KelvResult(hr, WithLibraryAdvice(session.Host(), message, session.File().string()));
    }
    PrintJob(session.Host(), out);
}

}  // namespace

void AddJobCommands(CommandLine& commandLine)
{
    struct Arguments {
        std::string document;
        std::string project;
        std::string task;
        bool makeP1 = false;
    };
    const auto add = [&commandLine](const char* name, const char* description, const char* what, bool withTask,
                                    std::function<void(const Arguments&, std::ostream&)> action) {
        auto arguments = std::make_shared<Arguments>();
        CLI::App* command = commandLine.AddHostCommand(
            name, description, [arguments, action](std::ostream& out) { action(*arguments, out); });
        command->add_option("document", arguments->document, what)->required();
        command->add_option("--project", arguments->project,
                            "The project folder (default: the nearest folder holding the document that is one)");
        if (withTask) {
            command->add_option("--task", arguments->task,
                                "Energy, GeomOpt, Dynamics, Fit or Surface for this call (default: the state's \"Task\")");
        }
        return std::make_pair(command, arguments);
    };
    const auto check = add("check", "Ask the structure checks and the export and start questions of a document",
                           "The .qsd document", true, [](const Arguments& a, std::ostream& out) {
                               CheckStructure(a.document, a.project, a.task, a.makeP1, out);
                           });
    check.first->add_flag("--make-p1", check.second->makeP1, "Make the structure P1 first and save it");
    add("export", "Write a job's input files for a structure document into the project", "The .qsd document", true,
        [](const Arguments& a, std::ostream& out) { ExportFiles(a.document, a.project, a.task, out); });
    add("run", "Run a calculation of a structure document: the job is made and staged", "The .qsd document", true,
        [](const Arguments& a, std::ostream& out) { RunCalculation(a.document, a.project, a.task, out); });
    add("start", "Start a saved deck: the job is made and staged", "The .gin deck", false,
        [](const Arguments& a, std::ostream& out) { StartDeck(a.document, a.project, out); });
}

}  // namespace ZelmHost
