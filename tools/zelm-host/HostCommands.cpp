#include "HostCommands.h"
#include "DriverSupport.h"
#include "TrajectoryCommands.h"

#include <charconv>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <unistd.h>

#include "CommandLine.h"
#include "LibraryAdvice.h"
#include "com/regularfile.h"
#include "qorqm/MessageText.h"
#include "host/HostApplication.h"
#include "host/state/ProjectLock.h"
#include "host/model/CifImport.h"
#include "host/model/Document.h"
#include "host/model/ModelClasses.h"
#include "host/model/ModelObjects.h"
#include "host/model/XyzImport.h"
#include "host/model/OperationLog.h"
#include "kelv/kelv.h"
#include "qorqm/SafeName.h"
#include "qorvira/ZelmForcefieldLocator.h"
#include "qorvira/ZelmStandardLibraries.h"
#include "host/managers/HostContext.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

// What the host application reported while it started (logics it could not
// create or connect); shown with the operation log.
std::vector<std::string>& StartNotes()
{
    static std::vector<std::string> notes;
    return notes;
}

std::string StateFileOf(const std::string& folder)
{
    return (fs::path(folder) / ProjectStateFile).string();
}

// A project folder that exists and holds a state file; anything else fails
// with a message telling how to make one.
void RequireProject(const std::string& folder)
{
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        Fail("the project folder \"" + folder + "\" does not exist (make it with: zelm-host project " + ShellQuoted(folder) + ")");
    }
    if (ProjectStateOf(folder).empty()) {
        Fail("\"" + folder + "\" is not a project folder: it has no \"" + ProjectStateFile +
             "\" (make it one with: zelm-host project " + ShellQuoted(folder) + ")");
    }
}

// The host application over a project folder, with the project's state
// values loaded when the folder has a state file.
std::unique_ptr<QzHost::HostApplication> OpenHost(const std::string& folder)
{
    QzHost::HostConfiguration configuration;
    configuration.projectFolder = folder;
    configuration.stateFile = ProjectStateOf(folder);
    auto host = std::make_unique<QzHost::HostApplication>(configuration);
    for (const std::string& missing : host->MissingLogics()) {
        StartNotes().push_back("logic not created: " + missing);
    }
    for (const std::string& failed : host->ConnectionErrors()) {
        StartNotes().push_back("logic not connected: " + failed);
    }
    return host;
}

std::string Fixed(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    // "-0.000000" reads as a different position from "0.000000".
    std::string result = text;
    if (result.find_first_not_of("-0.") == std::string::npos && result.front() == '-') {
        result.erase(0, 1);
    }
    return result;
}

std::string Triple(const HostModel::Vec3& v, int decimals = 6)
{
    return Fixed(v[0], decimals) + " " + Fixed(v[1], decimals) + " " + Fixed(v[2], decimals);
}

std::string FormalChargeText(const HostModel::Fraction& charge)
{
    if (charge.numerator == 0) {
        return "0";
    }
    std::string text = (charge.numerator > 0 ? "+" : "") + std::to_string(charge.numerator);
    if (charge.denominator != 1) {
        text += "/" + std::to_string(charge.denominator);
    }
    return text;
}

void ShowLattice(const HostModel::Document& document, bool operators, std::ostream& out)
{
    if (const HostModel::Lattice3D* lattice = document.Lattice3()) {
        const HostModel::CellParameters& p = lattice->Parameters();
        out << "Lattice: 3D  a=" << Fixed(p.a, 6) << " b=" << Fixed(p.b, 6) << " c=" << Fixed(p.c, 6)
            << "  alpha=" << Fixed(HostModel::Degrees(p.alpha), 4) << " beta=" << Fixed(HostModel::Degrees(p.beta), 4)
            << " gamma=" << Fixed(HostModel::Degrees(p.gamma), 4) << "  volume=" << Fixed(lattice->Volume(), 4)
            << "\n";
        const char* names[] = {"a", "b", "c"};
        for (int i = 0; i < 3; ++i) {
            out << "  " << names[i] << " = " << Triple(lattice->Vectors()[static_cast<std::size_t>(i)]) << "\n";
        }
        const HostModel::Symmetry& symmetry = document.GetSymmetry();
        out << "Space group: " << (symmetry.LongName().empty() ? std::string("(not tabulated)") : ShownName(symmetry.LongName()));
        if (symmetry.Number() > 0) {
            out << " (No. " << symmetry.Number() << ")";
        }
        if (!symmetry.Qualifier().empty()) {
            out << ", " << ShownName(symmetry.Qualifier());
        }
        out << ", centring " << ShownName(std::string(1, symmetry.Centring())) << "\n";
        const std::vector<std::string> triplets = symmetry.Triplets();
        out << "Operators: " << triplets.size() << (operators ? ":" : " (list them with --operators)") << "\n";
        for (std::size_t i = 0; operators && i < triplets.size(); ++i) {
            out << "  " << std::setw(3) << i + 1 << "  " << ShownName(triplets[i]) << "\n";
        }
    } else if (const HostModel::Lattice2D* surface = document.Lattice2()) {
        const HostModel::SurfaceCellParameters& p = surface->Parameters();
        out << "Lattice: 2D  u=" << Fixed(p.u, 6) << " v=" << Fixed(p.v, 6)
            << "  theta=" << Fixed(HostModel::Degrees(p.theta), 4) << "  area=" << Fixed(surface->Area(), 4) << "\n";
        out << "  u = " << Triple(surface->U()) << "\n";
        out << "  v = " << Triple(surface->V()) << "\n";
    } else {
        out << "Lattice: none (not periodic)\n";
    }
}

void ShowAtoms(const HostModel::Document& document, std::ostream& out)
{
    const std::vector<HostModel::Atom>& atoms = document.Atoms();
    const char* frame = document.Lattice3() ? "fractional" : document.Lattice2() ? "fu fv z" : "position";
    out << "Atoms (" << atoms.size() << "):\n";
    out << "  #  ID  element  type  charge  formal  " << frame << " | cartesian  symmetry\n";
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        const HostModel::Atom& atom = atoms[i];
        out << "  " << i + 1 << "  " << atom.id << "  " << ShownName(atom.element) << "  "
            << (atom.forcefieldType.empty() ? std::string("-") : ShownName(atom.forcefieldType)) << "  " << Fixed(atom.charge, 4)
            << "  " << FormalChargeText(atom.formalCharge) << "  " << Triple(document.Fractional(atom.handle))
            << " | " << Triple(document.Cartesian(atom.handle)) << "  ";
        if (atom.IsSymmetryParent()) {
            out << "parent, multiplicity " << document.Multiplicity(atom.handle);
        } else {
            out << "image of " << document.IndexOf(atom.parent) + 1 << " by operator " << atom.operatorIndex + 1;
        }
        out << "\n";
    }
}

void ShowSets(const HostModel::Document& document, std::ostream& out)
{
    const std::vector<std::string> names = document.SetNames();
    if (names.empty()) {
        out << "Named sets: none\n";
        return;
    }
    out << "Named sets (" << names.size() << "):\n";
    for (const std::string& name : names) {
        const HostModel::NamedSet& set = document.Sets().at(name);
        const std::vector<HostModel::Handle> members = document.SetAtoms(name);
        out << "  " << ShownName(name) << (set.visible ? "" : " (hidden)") << ": " << members.size() << " atoms";
        for (std::size_t i = 0; i < members.size(); ++i) {
            out << (i == 0 ? ": " : " ") << document.IndexOf(members[i]) + 1;
        }
        out << "\n";
    }
}

// A molecule in an XYZ file, told by the file's extension.
bool IsXyzFile(const std::string& path)
{
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".xyz";
}

// The file stem of a document name: safe characters only, without a ".qsd"
// the user may have added.
std::string DocumentFileStem(const std::string& name)
{
    std::string stem = name;
    if (stem.size() > 4) {
        std::string tail = stem.substr(stem.size() - 4);
        for (char& c : tail) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (tail == ".qsd") {
            stem.erase(stem.size() - 4);
        }
    }
    return QorQMUtilities::MakeSafeFileName(stem);
}

}  // namespace

std::string ProjectStateOf(const std::string& folder)
{
    const std::string path = StateFileOf(folder);
    std::string why;
    // The state is the project's own file, opened beneath its folder.
    const RegularFile::Folder project(folder);
    const int fd = project.IsOpen() ? RegularFile::Open(project, path, why) : RegularFile::Open(path, why);
    if (fd >= 0) {
        ::close(fd);
        return path;
    }
    if (why == RegularFile::NotThere)
        return std::string();
    Fail("the project state of \"" + MessageText::Excerpt(folder) + "\" cannot be read: " +
         RegularFile::Refusal(MessageText::Excerpt(path), why));
}

std::string ProjectOfFolder(const std::string& folder)
{
    const fs::path start = Absolute(folder.empty() ? "." : folder);
    std::error_code error;
    for (fs::path above = start; !above.empty(); above = above.parent_path()) {
        if (fs::exists(fs::symlink_status(above / ProjectStateFile, error)))
            return above.string();
        if (above == above.parent_path())
            break;
    }
    return start.string();
}

QzHost::HostConfiguration ProjectConfiguration(const std::string& folder, bool given)
{
    const std::string stateFile = ProjectStateOf(folder);
    const bool hasState = !stateFile.empty();
    if (given && !hasState) {
        Fail("\"" + folder + "\" is not a project folder: it has no \"" + ProjectStateFile +
             "\" (make it one with: zelm-host project " + ShellQuoted(folder) + ")");
    }
    QzHost::HostConfiguration configuration;
    configuration.projectFolder = folder;
    if (hasState) {
        configuration.stateFile = stateFile;
    }
    return configuration;
}

DocumentChangeLock::DocumentChangeLock(const std::string& project, const std::string& document)
{
    std::error_code error;
    const std::string projectFolder = Absolute(project.empty() ? "." : project);
    std::string documentFolder =
        document.empty() ? projectFolder : Absolute(fs::path(Absolute(document)).parent_path().string());
    const fs::path projectKey = fs::weakly_canonical(projectFolder, error);
    const fs::path documentKey = fs::weakly_canonical(documentFolder, error);
    if (projectKey == documentKey) {
        project_ = std::make_unique<QzHost::ProjectLock>(projectFolder);
        return;
    }
    // Always in the same order, so that two commands that lock the same two
    // folders from either side never wait for each other.
    if (documentKey < projectKey) {
        folder_ = std::make_unique<QzHost::ProjectLock>(documentFolder, "document's folder");
        project_ = std::make_unique<QzHost::ProjectLock>(projectFolder);
    } else {
        project_ = std::make_unique<QzHost::ProjectLock>(projectFolder);
        folder_ = std::make_unique<QzHost::ProjectLock>(documentFolder, "document's folder");
    }
}

DocumentChangeLock::~DocumentChangeLock() = default;

void CreateProject(const std::string& folder, std::ostream& out)
{
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_directory(folder, error)) {
        Fail("\"" + folder + "\" exists and is not a folder");
    }
    const std::string stateFile = StateFileOf(folder);
    const bool existed = !ProjectStateOf(folder).empty();
    std::unique_ptr<QzHost::HostApplication> host = OpenHost(folder);
    if (existed) {
        out << "project " << Absolute(folder) << " exists already; its state is kept\n";
        return;
    }
    host->SaveStates(stateFile);
    out << "created project " << Absolute(folder) << " (state file " << ProjectStateFile << ")\n";
    const std::string advice = LibraryAdvice(*host);
    if (!advice.empty()) {
        out << "note: before a deck or a run, " << advice << "\n";
    }
}

void ImportStructure(const std::string& filePath, const std::string& project, const std::string& name,
                     std::size_t frame, std::ostream& out)
{
    RequireProject(project);
    const bool molecule = IsXyzFile(filePath);
    const std::string file = std::string(molecule ? "the XYZ file \"" : "the CIF file \"") + filePath + "\"";
    std::error_code error;
    if (fs::is_directory(filePath, error)) {
        Fail("\"" + filePath + "\" is a folder: import takes a CIF file or an XYZ file (.xyz)");
    }
    if (const std::string why = NotAnInputFile(filePath); !why.empty()) {
        Fail(file + " " + why);
    }
    if (!molecule && frame != 0) {
        Fail("--frame is for XYZ files of several frames");
    }
    // Read the file before anything is made, so that a bad file leaves the
    // project as it was.
    std::shared_ptr<HostModel::Document> imported;
    HostModel::XyzFrame frames;
    HostModel::CifImportReport report;
    try {
        if (molecule) {
            frames = HostModel::ImportXyzFrame(filePath, frame == 0 ? 1 : frame);
            imported = frames.document;
        } else {
            imported = HostModel::ImportCif(filePath, &report);
        }
    } catch (const std::exception& failure) {
        Fail(file + " cannot be imported: " + failure.what());
    }
    const std::string documentName = name.empty() ? fs::path(filePath).stem().string() : name;
    const std::string stem = DocumentFileStem(documentName);
    if (stem.empty()) {
        Fail("the document name \"" + ShownName(documentName) + "\" gives no file name");
    }

    // The free name is chosen and the document written under the lock: two
    // imports of one name at once make two documents.
    const DocumentChangeLock lock(project);
    std::unique_ptr<QzHost::HostApplication> host = OpenHost(project);
    KelvBSTR progId(HostModel::Atomistic3dDocumentProgId);
    KelvBSTR path(host->DocumentsFolder() + "/" + stem + ".qsd");
    KelvVariant docName(documentName);
    KelvComPtr<ISBDocumentRoot> root;
    KelvResult::Check(
        host->Documents().NewProjectDocument(progId.Get(), path.Get(), 0, docName.Get(), root.Receive()));
    std::shared_ptr<HostModel::Document> document = HostModel::DocumentOf(root.get());
    if (!document) {
        Fail("the host made no structure document for \"" + ShownName(documentName) + "\"");
    }
    document->CopyModelFrom(*imported);
    imported.reset(); // the project's document holds the atoms from here on
    frames.document.reset();
    KelvBSTR exporter("SDModel3dImportExport.QSDImportExport");
    KelvBSTR sameFile("");
    KelvVariant noData;
    KelvResult::Check(
        host->Documents().ExportDocument(root.get(), 0, exporter.Get(), noData.Get(), sameFile.Get()));

    out << "imported " << ShownText(filePath) << " as \"" << ShownName(documentName) << "\": " << ShownText(document->Url()) << "\n";
    out << document->Atoms().size() << " atoms";
    if (document->Lattice3()) {
        out << ", space group " << ShownName(document->GetSymmetry().LongName());
    }
    out << "\n";
    if (report.mergedSites > 0) {
        out << report.mergedSites << (report.mergedSites == 1 ? " atom site shares" : " atom sites share")
            << " the position of an earlier site of the same element and merged into it (" << report.sites
            << " sites read, " << report.sites - report.mergedSites << " kept)\n";
    }
    if (const std::size_t shared = molecule ? 0 : HostModel::CountSharedSites(*document)) {
        out << shared << " atom sites share a position with another site (partial occupancies kept)\n";
    }
    if (frames.frames > 1) {
        out << "took frame " << frames.frame << " of " << frames.frames << " (skipped " << frames.frames - 1
            << "; --frame N takes another)\n";
    }
}

void ShowDocument(const std::string& documentPath, const std::string& project, bool operators, std::ostream& out)
{
    std::error_code error;
    const std::string file = Absolute(documentPath);
    if (const std::string why = NotAnInputFile(file); !why.empty()) {
        Fail("the document \"" + documentPath + "\" " + why);
    }
    const std::string folder = project.empty() ? fs::path(file).parent_path().string() : project;
    if (!project.empty()) {
        RequireProject(project);
    }
    std::unique_ptr<QzHost::HostApplication> host = OpenHost(folder);
    KelvBSTR path(file);
    KelvComPtr<ISBDocumentRoot> root;
    const HRESULT found = host->Documents().FindDocument(path.Get(), root.Receive());
    KelvResult::Check(found);
    if (found != S_OK || !root) {
        Fail("\"" + documentPath + "\" is not a structure document (.qsd) in the project folder \"" + folder + "\"");
    }
    std::shared_ptr<HostModel::Document> document = HostModel::DocumentOf(root.get());
    if (!document) {
        Fail("\"" + documentPath + "\" is not a structure document");
    }
    out << "Document: " << ShownName(document->Name()) << "  " << ShownName(document->Id()) << "\n";
    out << "File: " << ShownText(document->Url()) << "\n";
    ShowLattice(*document, operators, out);
    ShowAtoms(*document, out);
    ShowSets(*document, out);
    ShowTrajectory(*document, out);
}

void SaveNamedDocument(QzHost::DocumentManager& documents, ISBDocumentRoot* document)
{
    KelvVariant noData;
    documents.TakeAsUsersOwn(document);
    KelvResult::Check(documents.ExportDocument(document, 0, KelvBSTR("SDModel3dImportExport.QSDImportExport").Get(),
                                               noData.Get(), KelvBSTR("").Get()));
}

void StateCommand(const std::string& project, const std::string& logic, const std::optional<std::string>& key,
                  const std::optional<std::string>& value, std::ostream& out)
{
    RequireProject(project);
    std::unique_ptr<QzHost::HostApplication> host = OpenHost(project);
    KelvComPtr<QzHost::HostState> state = host->State(logic);
    if (!state) {
        std::string known;
        for (const QzHost::LogicStateDefinition& definition : host->Definitions().Logics()) {
            known += (known.empty() ? "" : ", ") + definition.logic;
        }
        Fail("the logic \"" + logic + "\" keeps no state here (logics with state: " + known + ")");
    }
    if (!key) {
        const std::vector<QzHost::StatePropertyDefinition>& properties = state->Definition().properties;
        if (properties.empty()) {
            out << logic << " has no state values\n";
        }
        for (const QzHost::StatePropertyDefinition& property : properties) {
            out << property.name << " = " << ShownText(state->DisplayText(property.name)) << "\n";
        }
        return;
    }
    if (!value) {
        out << ShownText(state->DisplayText(*key)) << "\n";
        return;
    }
    std::string text = *value;
    const bool library = logic == "ZelmLogic" && *key == "library";
    if (library && text.find_first_of("/\\") == std::string::npos && text.size() > 4) {
        // A library of the project or the standard folder is selected by
        // its name; the file's name with ".lib" names it too.
        std::string tail = text.substr(text.size() - 4);
        for (char& c : tail) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (tail == ".lib") {
            text.erase(text.size() - 4);
        }
    }
    state->SetValueFromText(*key, text);
    if (logic == "ZelmLogic" && (library || *key == "ZelmLibraryFolder")) {
        // A deck, an export or a run takes its library from the project or
        // the installation's standard library folder only (links followed),
        // so another place is refused here already, before it is saved.
        CZelmStandardLibraries(host->Root()).GetStandardLibrariesFolder();
        if (library) {
            try {
                const std::string path =
                    CZelmForcefieldLocator(static_cast<ISBState*>(state.get()), host->Root()).GetSelectedPath();
                if (!path.empty()) {
                    CZelmStandardLibraries(host->Root()).RequireLibraryInPlace(path);
                }
            } catch (const KelvResult& refused) {
                Fail(refused.GetMessage() + "; copy the library into the project folder \"" +
                     host->DocumentsFolder() + "\" and select it by its name");
            }
        }
    }
    host->SaveStates(StateFileOf(project));
    out << logic << "." << *key << " = " << ShownText(state->DisplayText(*key)) << "\n";
    if (library) {
        const std::string advice = LibraryAdvice(*host);
        if (advice.empty()) {
            for (const std::string& path : LibraryCandidates(*host)) {
                std::error_code error;
                if (fs::is_regular_file(path, error)) {
                    out << "library file: " << path << "\n";
                    break;
                }
            }
        } else {
            out << "note: " << advice << "\n";
        }
    }
}

int ReportFailure(std::ostream& err)
{
    try {
        throw;
    } catch (const KelvResult& failure) {
        std::string message = failure.GetMessage();
        if (message.empty()) {
            message = HResultDescription(failure.GetHRESULT());
        }
        err << "zelm-host: " << message << "\n";
    } catch (const std::exception& failure) {
        err << "zelm-host: " << failure.what() << "\n";
    } catch (...) {
        err << "zelm-host: the command failed for an unknown reason\n";
    }
    return 1;
}

void PrintOperationLog(std::ostream& out)
{
    const std::vector<HostModel::LoggedOperation> entries = HostModel::OperationLog::Entries();
    out << "Operation log (" << entries.size() << " host calls):\n";
    for (const HostModel::LoggedOperation& entry : entries) {
        out << "  " << entry.service << "." << entry.call << "(";
        for (std::size_t i = 0; i < entry.arguments.size(); ++i) {
            out << (i == 0 ? "" : ", ") << entry.arguments[i];
        }
        out << ")\n";
    }
    for (const std::string& note : StartNotes()) {
        out << "  note: " << note << "\n";
    }
}

void AddHostCommands(CommandLine& commandLine)
{
    auto folder = std::make_shared<std::string>();
    CLI::App* project = commandLine.AddHostCommand("project", "Create a project folder with the host's default state",
                                                   [folder](std::ostream& out) { CreateProject(*folder, out); });
    project->add_option("dir", *folder, "The project folder")->required();

    struct ImportArguments {
        std::string cif;
        std::string project = ".";
        std::string name;
        std::size_t frame = 0;
    };
    auto imported = std::make_shared<ImportArguments>();
    CLI::App* import =
        commandLine.AddHostCommand("import", "Import a CIF or XYZ (.xyz) file into a structure document (.qsd)",
                                   [imported](std::ostream& out) {
                                       ImportStructure(imported->cif, imported->project, imported->name, imported->frame, out);
                                   });
    import->add_option("file", imported->cif, "The CIF file, or the XYZ file of a molecule")->required();
    import->add_option("--project", imported->project, "The project folder (default: the current folder)");
    import->add_option("--name", imported->name, "Name of the new document (default: the file's name)");
    import->add_option("--frame", imported->frame, "The frame of an XYZ file of several frames (default: 1)")
        ->check(CLI::Validator(
            [](std::string& text) {
                std::size_t frame = 0;
                const char* end = text.data() + text.size();
                const auto read = std::from_chars(text.data(), end, frame);
                return read.ec == std::errc() && read.ptr == end && frame >= 1
                           ? std::string()
                           : "frames are numbered from 1; \"" + text + "\" is no frame number";
            },
            "FRAME"));

    struct ShowArguments {
        std::string document;
        std::string project;
        bool operators = false;
    };
    auto shown = std::make_shared<ShowArguments>();
    CLI::App* show = commandLine.AddHostCommand(
        "show", "Show a structure document: lattice, symmetry, atoms and sets",
        [shown](std::ostream& out) { ShowDocument(shown->document, shown->project, shown->operators, out); });
    show->add_option("document", shown->document, "The .qsd document")->required();
    show->add_option("--project", shown->project, "The project folder (default: the document's folder)");
    show->add_flag("--operators", shown->operators, "List the symmetry operators (else only their count)");

    struct StateArguments {
        std::string project = ".";
        std::string logic;
        std::string key;
        std::string value;
        CLI::Option* keyOption = nullptr;
        CLI::Option* valueOption = nullptr;
    };
    auto stated = std::make_shared<StateArguments>();
    CLI::App* state = commandLine.AddHostCommand(
        "state", "Show a logic's state values, one value, or set one", [stated](std::ostream& out) {
            std::optional<std::string> key;
            std::optional<std::string> value;
            if (stated->keyOption->count() > 0) {
                key = stated->key;
            }
            if (stated->valueOption->count() > 0) {
                value = stated->value;
            }
            StateCommand(stated->project, stated->logic, key, value, out);
        });
    state->add_option("--project", stated->project, "The project folder (default: the current folder)");
    state->add_option("logic", stated->logic, "The logic, e.g. ZelmLogic")->required();
    stated->keyOption = state->add_option("key", stated->key, "The state key to show or set");
    stated->valueOption =
        state->add_option("value", stated->value, "The value to set (an array as a list: \"[1, 2]\")");
}

}  // namespace ZelmHost
