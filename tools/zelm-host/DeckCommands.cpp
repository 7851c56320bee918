#include "DeckCommands.h"

#include "com/regularfile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "DriverSupport.h"
#include "CommandLine.h"
#include "HostCommands.h"
#include "LibraryAdvice.h"
#include "common/ZelmInterfaces.h"
#include "host/HostApplication.h"
#include "kelv/kelv.h"
#include "qorqm/MessageText.h"
#include "qorqm/ReplaceFile.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const std::string& path)
{
    std::string text;
    std::string why;
    RegularFile::ReadAll(path, text, why, RegularFile::Bound::Deck);
    return text;
}

}  // namespace

void WriteDeck(const std::string& documentPath, const std::string& project, const std::string& task,
               const std::string& outFolder, std::ostream& out)
{
    std::error_code error;
    const fs::path file = fs::absolute(documentPath, error).lexically_normal();
    if (const std::string why = NotAnInputFile(file.string()); !why.empty()) {
        Fail("the document \"" + documentPath + "\" " + why);
    }
    const std::string folder = project.empty() ? file.parent_path().string() : project;
    const QzHost::HostConfiguration configuration = ProjectConfiguration(folder, !project.empty());
    const long taskCode = task.empty() ? 0 : TaskCode(task);

    QzHost::HostApplication host(configuration);

    KelvComPtr<ISBDocumentRoot> document;
    const KelvBSTR path(file.string());
    KelvResult::Check(host.Documents().FindDocument(path.Get(), document.Receive()));
    if (!document) {
        Fail("\"" + documentPath + "\" is not a structure document (.qsd) in the project folder \"" + folder + "\"");
    }
    KelvComPtr<ISBScope> contents;
    KelvResult::Check(document->get_ContentsAsScope(contents.Receive()));
    host.Scopes().SetDefaultScope(contents);

    if (taskCode != 0) {
        const KelvComPtr<QzHost::HostState> state = host.State("ZelmLogic");
        if (!state) {
            Fail("the host keeps no state for \"ZelmLogic\"");
        }
        const KelvVariant value(static_cast<int32_t>(taskCode));
        state->SetValue("Task", value.Get());
    }

    const KelvComPtr<ISBLogic> logic = host.Logic(QzHost::ModuleExtensionName, "ZelmLogic");
    if (!logic) {
        std::string reason;
        for (const std::string& missing : host.MissingLogics()) {
            reason += "\n  " + missing;
        }
        for (const std::string& failed : host.ConnectionErrors()) {
            reason += "\n  " + failed;
        }
        Fail("the module's logic \"ZelmLogic\" is not available (is the module registered?)" + reason);
    }
    RefuseLibraryThatIsNoFile(host);
    const KelvComPtr<IZelm> zelm = logic.QueryInterface<IZelm>();

    const std::string target = outFolder.empty() ? file.parent_path().string() : outFolder;
    const fs::path targetPath = fs::absolute(target, error).lexically_normal();
    // The place first: a folder of the project whose links lead outside it
    // gets no deck, and no folder is made there for one.
    const std::string leaving = LinkLeavingProject(targetPath.string(), host.DocumentsFolder());
    if (!leaving.empty()) {
        Fail("the deck cannot be written in \"" + MessageText::Excerpt(targetPath.string()) + "\": " + leaving);
    }
    // A deck the module refuses leaves no folder made for it.
    MadeFolders made;
    if (!made.MakeFolders(targetPath.string(), host.DocumentsFolder())) {
        Fail("the folder \"" + target + "\" cannot be made");
    }
    // What the folder held before, so that the files written can be told.
    std::map<std::string, fs::file_time_type> before;
    for (const fs::directory_entry& entry : fs::directory_iterator(targetPath, error)) {
        before[entry.path().filename().string()] = entry.last_write_time(error);
    }

    BSTR deckName = nullptr;
    const KelvBSTR folderText(targetPath.string());
    const HRESULT hr = zelm->SaveZelmInputFiles(contents.get(), folderText.Get(), &deckName);
    const std::string deck = NarrowFromBSTR(deckName);
    SysFreeString(deckName);
    if (FAILED(hr)) {
        throw KelvResult(hr, WithLibraryAdvice(host, ErrorText(hr), file.string()));
    }

    std::vector<std::string> written;
    for (const fs::directory_entry& entry : fs::directory_iterator(targetPath, error)) {
        const std::string name = entry.path().filename().string();
        const auto old = before.find(name);
        if (entry.is_regular_file(error) && (old == before.end() || old->second != entry.last_write_time(error))) {
            written.push_back(name);
        }
    }
    std::sort(written.begin(), written.end());
    made.Keep();
    out << "wrote " << ShownName(deck) << " in " << ShownText(targetPath.string()) << "\n";
    out << "files written:\n";
    for (const std::string& name : written) {
        out << "  " << ShownName(name) << "\n";
    }
    out << "---- " << ShownName(deck) << " ----\n";
    // The deck's lines hold names from the project (a fit structure's name,
    // the job's): each line is shown bounded.
    std::istringstream lines(ReadWhole((targetPath / deck).string()));
    for (std::string line; std::getline(lines, line);)
        out << ShownText(line) << "\n";
}

void AddDeckCommands(CommandLine& commandLine)
{
    struct DeckArguments {
        std::string document;
        std::string project;
        std::string task;
        std::string out;
    };
    auto deck = std::make_shared<DeckArguments>();
    CLI::App* command = commandLine.AddHostCommand(
        "deck", "Write the engine's input deck of a structure document and print it",
        [deck](std::ostream& out) { WriteDeck(deck->document, deck->project, deck->task, deck->out, out); });
    command->add_option("document", deck->document, "The .qsd document")->required();
    command->add_option("--project", deck->project, "The project folder (default: the document's folder)");
    command->add_option("--task", deck->task, "Energy, GeomOpt, Dynamics, Fit or Surface (default: the state's \"Task\")");
    command->add_option("--out", deck->out, "Folder of the deck (default: the document's folder)");
}

}  // namespace ZelmHost
