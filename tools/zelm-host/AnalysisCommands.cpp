#include "AnalysisCommands.h"

#include "com/regularfile.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "CommandLine.h"
#include "DriverSupport.h"
#include "HostCommands.h"
#include "ResultCommands.h"
#include "common/ZelmInterfaces.h"
#include "host/HostApplication.h"
#include "host/managers/HostContext.h"
#include "host/charts/ChartFile.h"
#include "host/charts/ChartSvg.h"
#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "host/model/StructureComparison.h"
#include "kelv/kelv.h"
#include "qorqm/MessageText.h"
#include "qorqm/WrittenFiles.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

const char* const Categories[] = {"EnEvol", "Structure", "Trajectory", "Optics", "Phonons"};

// The project of a results file: the given folder, else the nearest folder
// above the file that holds a project state, else the file's own folder.
std::string ProjectOf(const std::string& file, const std::string& given)
{
    if (!given.empty()) {
        if (ProjectStateOf(given).empty())
            Fail("\"" + given + "\" is not a project folder: it has no \"" + ProjectStateFile + "\"");
        // The files written beside the results belong to the project they
        // lie in: a results folder elsewhere is not taken as the given one's.
        std::error_code error;
        const fs::path project = fs::weakly_canonical(Absolute(given), error);
        const fs::path results = fs::weakly_canonical(fs::path(file).parent_path(), error);
        if (error || !QzHost::HostPaths::IsInside(project.string(), results.string()))
            Fail("the results file \"" + file + "\" is not in the project \"" + given +
                 "\": the files written beside it belong to the project it lies in");
        return Absolute(given);
    }
    return ProjectOfFolder(fs::path(file).parent_path().string());
}

QzHost::HostConfiguration ConfigurationFor(const std::string& project)
{
    return ProjectConfiguration(project, false);
}

// The project's "ZelmAnalysis" logic, or why the host could not connect it.
KelvComPtr<IZelmAnalysis> AnalysisOf(const QzHost::HostApplication& host)
{
    const KelvComPtr<ISBLogic> logic = host.Logic(QzHost::ModuleExtensionName, "ZelmAnalysis");
    if (!logic) {
        std::string why;
        for (const std::string& note : host.MissingLogics())
            if (note.rfind("ZelmAnalysis", 0) == 0)
                why = note;
        for (const std::string& note : host.ConnectionErrors())
            if (note.find("ZelmAnalysis") != std::string::npos)
                why = note;
        Fail("the analysis component is not available" + (why.empty() ? std::string() : ": " + why));
    }
    return logic.QueryInterface<IZelmAnalysis>();
}

KelvComPtr<IQoQMAnalysisScope> ScopeOf(IZelmAnalysis* analysis)
{
    KelvComPtr<IQoQMAnalysisScope> scope;
    KelvResult::Check(analysis->get_AnalysisScope(scope.Receive()));
    Kelv::CheckNullDereference(scope.get());
    return scope;
}

std::string Text(const KelvVariant& value)
{
    return value.Type() == VT_EMPTY ? std::string() : value.String();
}

// A name or path the project holds, as a listing shows it.
std::string Shown(const std::string& text)
{
    return MessageText::Excerpt(text, 1000);
}

// What the driver adds to the module's failure of a run without its
// structure document (told by its code): what stands in the document's
// place and how to put the document there; "" for any other failure.
std::string MissingDocumentAdvice(HRESULT hr, const std::string& output)
{
    if (hr != ZELM_E_NO_STRUCTURE_DOCUMENT)
        return std::string();
    const std::string document = fs::path(output).replace_extension(".qsd").string();
    const std::string shown = "\"" + Shown(document) + "\"";
    const std::string copy = "copy the structure document (.qsd) the run was made from there: cp DOC.qsd " + ShellQuoted(document);
    std::error_code error;
    const fs::file_status link = fs::symlink_status(document, error);
    if (fs::is_symlink(link) && !fs::exists(fs::status(document, error))) {
        const fs::path target = fs::read_symlink(document, error);
        return "\n  the run's structure document " + shown + " is a link to \"" + Shown(target.string()) +
               "\", which does not exist; remove the link (rm " + ShellQuoted(document) + ") and " + copy;
    }
    const std::string why = NotAnInputFile(document);
    if (why == RegularFile::NotThere)
        return "\n  the run's structure document " + shown + " is not there; " + copy;
    if (!why.empty())
        return "\n  the run's structure document " + shown + " " + why + "; move it out of the way (mv " + ShellQuoted(document) +
               " " + ShellQuoted(document + ".away") + ") and " + copy;
    return "\n  the run's structure document " + shown +
           " is there but is no structure document of the project; " + copy;
}

// "yes", "no", "no (the reason)" when the module refuses the run's files
// with the reason its command fails with, or "not in this build".
std::string Answer(const std::function<HRESULT(VARIANT_BOOL*)>& call, const std::string& output)
{
    VARIANT_BOOL value = VARIANT_FALSE;
    const HRESULT hr = call(&value);
    if (hr == E_NOTIMPL)
        return "not in this build";
    if (FAILED(hr)) {
        const std::string reason = ErrorText(hr);
        return "no (" + reason + ")" + MissingDocumentAdvice(hr, output);
    }
    return value == VARIANT_TRUE ? "yes" : "no";
}

// What a command made or changed is what the host wrote for it: the files
// it replaced whole, each against the bytes it replaced (WrittenFiles), and
// the files it removed. Nothing else of the project is read. Paths are shown
// relative to the project, a file outside it by its whole path.
std::string ReportedPath(const std::string& path, const std::string& project)
{
    const fs::path whole = fs::absolute(path).lexically_normal();
    const fs::path base = fs::absolute(project).lexically_normal();
    const fs::path inside = whole.lexically_relative(base);
    const bool within = !inside.empty() && *inside.begin() != "..";
    return (within ? inside : whole).string();
}

std::vector<WrittenFiles::Entry> WrittenSorted()
{
    std::vector<WrittenFiles::Entry> entries = WrittenFiles::Entries();
    // A file written and then removed by the command: made and gone is
    // nothing made; one that stood before is removed.
    for (WrittenFiles::Entry& entry : entries) {
        std::error_code error;
        if (!entry.removed && !fs::exists(fs::symlink_status(entry.path, error)))
            entry.removed = true;
    }
    std::sort(entries.begin(), entries.end(),
              [](const WrittenFiles::Entry& a, const WrittenFiles::Entry& b) { return a.path < b.path; });
    return entries;
}

void PrintWritten(const std::vector<WrittenFiles::Entry>& entries, const std::string& project, std::ostream& out)
{
    bool any = false;
    for (const WrittenFiles::Entry& entry : entries) {
        if (entry.removed || entry.change == WrittenFiles::Change::Unchanged)
            continue;
        out << (entry.change == WrittenFiles::Change::Made ? "made" : "changed") << ": "
            << Shown(ReportedPath(entry.path, project)) << "\n";
        any = true;
    }
    for (const WrittenFiles::Entry& entry : entries)
        if (entry.removed && entry.change != WrittenFiles::Change::Made)
            out << "removed: " << Shown(ReportedPath(entry.path, project)) << "\n";
    if (!any)
        out << "no document was made or changed\n";
}

struct AnalysisOptions {
    std::string output;
    std::string project;
    std::string action;
    std::string document;
    std::vector<std::string> selections;
};

// The host over the output's project, with the analysis component looking at
// the output's folder and the selections asked for. With `changes`
// (`analyse`, whose analyses write documents of the project) the project and
// the document's folder stay locked while the session lasts; `results` only
// asks: it reads files that writers replace whole, and takes no lock.
struct Session {
    Session(const AnalysisOptions& options, bool changes)
        : output(Absolute(options.output)), project(ProjectOf(output, options.project)),
          lock(changes ? std::make_unique<DocumentChangeLock>(project, options.document) : nullptr),
          host(ConfigurationFor(project))
    {
        RequireInputFile(options.output, "the results file");
        analysis = AnalysisOf(host);
        scope = ScopeOf(analysis.get());
        KelvResult::Check(scope->put_ResultsID(KelvVariant(output).Get()));
        for (const std::string& selection : options.selections) {
            const std::string::size_type equals = selection.find('=');
            if (equals == std::string::npos || equals == 0)
                Fail("--select takes CATEGORY=FILE, not \"" + selection + "\"");
            KelvResult::Check(scope->put_ResultsIDForProperty(KelvBSTR(selection.substr(0, equals)).Get(),
                                                              KelvVariant(selection.substr(equals + 1)).Get()));
        }
    }

    std::string output;
    std::string project;
    std::unique_ptr<DocumentChangeLock> lock;
    QzHost::HostApplication host;
    KelvComPtr<IZelmAnalysis> analysis;
    KelvComPtr<IQoQMAnalysisScope> scope;
};

// The note on how the frames of the archive end (with `withoutFrames` only
// for an archive of no whole frame), judged as the analysis component's
// answers judge them and taken from the summary it keeps, so that the
// archive is not read again; "" for an archive that is no file or cannot be
// read (the commands give the reason).
std::string FrameNote(const Session& session, const std::string& archive, bool withoutFrames)
{
    const KelvComPtr<IZelmArchiveFrames> frames =
        KelvComPtr<IZelmAnalysis>(session.analysis).TryQueryInterface<IZelmArchiveFrames>();
    if (!frames)
        return withoutFrames ? NoFrameNote(archive) : CutFrameNote(archive);
    std::error_code error;
    if (!fs::is_regular_file(archive, error))
        return std::string();
    LONG whole = 0, damaged = 0;
    VARIANT_BOOL cut = VARIANT_FALSE;
    // The error information of a failed action, which its message is read
    // from after the note, stays that action's.
    IErrorInfo* action = nullptr;
    GetErrorInfo(0, &action);
    const HRESULT asked = frames->GetArchiveFrames(KelvBSTR(archive).Get(), &whole, &cut, &damaged);
    SetErrorInfo(0, action);
    if (action != nullptr)
        action->Release();
    if (FAILED(asked) || (withoutFrames && whole != 0))
        return std::string();
    return CutFrameNote(archive, cut != VARIANT_FALSE, static_cast<std::size_t>(damaged),
                        static_cast<std::size_t>(whole));
}

// The notes on archives that end in a frame cut short, of the runs that the
// categories have selected (each run once); with `withoutFrames` only those
// of archives of no whole frame: an action that fails for want of a frame
// says why there is none.
std::string CutFrameNotes(const Session& session, std::initializer_list<const char*> categories,
                          bool withoutFrames = false)
{
    KelvVariant folder;
    KelvResult::Check(session.scope->get_ResultsID(folder.Receive()));
    std::vector<std::string> seen;
    std::string notes;
    for (const char* category : categories) {
        KelvVariant selected;
        KelvResult::Check(session.scope->get_ResultsIDForProperty(KelvBSTR(category).Get(), selected.Receive()));
        if (Text(selected).empty())
            continue;
        const std::string archive = fs::path(Text(folder) + Text(selected)).replace_extension(".arc").string();
        if (std::find(seen.begin(), seen.end(), archive) != seen.end())
            continue;
        seen.push_back(archive);
        notes += FrameNote(session, archive, withoutFrames);
    }
    return notes;
}

// The lines naming the files of the output's run that stand there but are
// no regular file (a folder, a FIFO, a device), which the module takes for
// no file or refuses: "" when there are none.
std::string FilesThatAreNoFiles(const std::string& output)
{
    std::string lines;
    for (const char* extension : {".gin", ".res", ".osc", ".dens", ".disp", ".kptaux", ".arc", ".trg", ".trj",
                                  ".qtd", ".pre", ".geomopt", ".mdynam", ".trjaux"}) {
        const std::string companion = fs::path(output).replace_extension(extension).string();
        const std::string why = NotAnInputFile(companion);
        if (!why.empty() && why != RegularFile::NotThere)
            lines += "\n\"" + Shown(companion) + "\" " + why + ": it is not read";
    }
    return lines;
}

void ResultsCommand(const AnalysisOptions& options, std::ostream& out)
{
    Session session(options, false);
    KelvVariant folder;
    KelvResult::Check(session.scope->get_ResultsID(folder.Receive()));
    out << "Results folder: " << Shown(Text(folder)) << "\n";
    for (const char* category : Categories) {
        const KelvBSTR name(category);
        KelvComPtr<ISDVariantDataDimension> list;
        KelvResult::Check(session.scope->get_AvailableResultsIDsForProperty(name.Get(), list.Receive()));
        LONG count = 0;
        KelvResult::Check(list->get_Count(&count));
        out << category << ":";
        for (LONG i = 1; i <= count; ++i) {
            KelvVariant item;
            KelvResult::Check(list->Item(i, item.Receive()));
            out << " " << Shown(Text(item));
        }
        if (count == 0)
            out << " none";
        KelvVariant selected;
        KelvResult::Check(session.scope->get_ResultsIDForProperty(name.Get(), selected.Receive()));
        VARIANT_BOOL contains = VARIANT_FALSE;
        KelvResult::Check(session.scope->get_ContainsResultsForProperty(name.Get(), &contains));
        out << "\n  selected: " << (Text(selected).empty() ? "none" : Shown(Text(selected)))
            << "; contains results: " << (contains == VARIANT_TRUE ? "yes" : "no") << "\n";
    }
    IZelmAnalysis* a = session.analysis.get();
    using Query = HRESULT (IZelmAnalysis::*)(VARIANT_BOOL*);
    const std::pair<const char*, Query> queries[] = {
        {"CanViewEnergyEvolution", &IZelmAnalysis::get_CanViewEnergyEvolution},
        {"CanUpdateStructure", &IZelmAnalysis::get_CanUpdateStructure},
        {"CanCreateTrajectory", &IZelmAnalysis::get_CanCreateTrajectory},
        {"CanImportLibrary", &IZelmAnalysis::get_CanImportLibrary},
        {"CanPlotOpticalProperties", &IZelmAnalysis::get_CanPlotOpticalProperties},
        {"CanPlotPhononDispersion", &IZelmAnalysis::get_CanPlotPhononDispersion},
        {"CanPlotPhononDOS", &IZelmAnalysis::get_CanPlotPhononDOS},
    };
    for (const auto& query : queries)
        out << query.first << ": " << Answer([&](VARIANT_BOOL* v) { return (a->*query.second)(v); }, session.output)
            << "\n";
    out << CutFrameNotes(session, {"EnEvol", "Structure", "Trajectory"});
    // What the answers took for no file of the run, said as what it is.
    const std::string notRead = FilesThatAreNoFiles(session.output);
    if (!notRead.empty())
        out << "Files of the run that are not read:" << notRead << "\n";
}

// The structure document named on the command line, opened in the project.
KelvComPtr<ISBDocumentRoot> StructureDocument(Session& session, const std::string& given)
{
    if (given.empty())
        Fail("this action needs a structure document (.qsd)");
    KelvComPtr<ISBDocumentRoot> document;
    const HRESULT found = session.host.Documents().FindDocument(KelvBSTR(Absolute(given)).Get(), document.Receive());
    KelvResult::Check(found);
    if (found != S_OK || !document)
        Fail("\"" + given + "\" is not a document of the project \"" + session.project + "\"");
    return document;
}

// A failed action: the module's reason, then the run's files that are no files.
void CheckAction(HRESULT hr, const std::string& output)
{
    if (FAILED(hr)) {
        const std::string reason = ErrorText(hr);
        throw KelvResult(hr, reason + MissingDocumentAdvice(hr, output) + FilesThatAreNoFiles(output));
    }
}

// The run the "Phonons" category has selected (the output given when none).
std::string SelectedPhononRun(const Session& session)
{
    KelvVariant folder;
    KelvVariant selected;
    if (FAILED(session.scope->get_ResultsID(folder.Receive())) ||
        FAILED(session.scope->get_ResultsIDForProperty(KelvBSTR("Phonons").Get(), selected.Receive())) ||
        Text(selected).empty())
        return session.output;
    return Text(folder) + Text(selected);
}

// A failed chart of phonon results: the module names the kind of file it
// missed; the driver adds the file beside the selected run it would have
// read.
void CheckPhononChart(HRESULT hr, const Session& session, const char* extension)
{
    if (SUCCEEDED(hr))
        return;
    const std::string output = SelectedPhononRun(session);
    std::string message = ErrorText(hr);
    const fs::path companion = fs::path(output).replace_extension(extension);
    const std::string why = NotAnInputFile(companion.string());
    if (message.find(std::string("ZELM ") + extension + " file") != std::string::npos && why.empty()) {
        message += "\n\"" + Shown(companion.string()) + "\" is there but holds no results the chart can use";
    } else if (message.find(std::string("ZELM ") + extension + " file") != std::string::npos &&
               why == RegularFile::NotThere) {
        message += "\n\"" + Shown(companion.string()) + "\" is not there: the run wrote no such results";
    }
    throw KelvResult(hr, message + FilesThatAreNoFiles(output));
}

void AnalyseCommand(const AnalysisOptions& options, std::ostream& out)
{
    const bool needsDocument = options.action == "structure" || options.action == "trajectory";
    if (!needsDocument && !options.document.empty())
        Fail(options.action + " takes no document");
    Session session(options, true);
    WrittenFiles::Start();
    IZelmAnalysis* analysis = session.analysis.get();
    // A document the action left as it was, kept without its file until the
    // host has written the others back.
    std::shared_ptr<HostModel::Document> unchanged;
    std::string unchangedUrl;
    // An action over the run's frames that fails for want of a whole frame
    // gives the note on its archive first.
    const auto checkFrames = [&](HRESULT hr, std::initializer_list<const char*> categories) {
        if (FAILED(hr))
            out << CutFrameNotes(session, categories, true);
        CheckAction(hr, session.output);
    };
    if (options.action == "energy") {
        checkFrames(analysis->PlotEnergyEvolution(), {"EnEvol"});
    } else if (options.action == "structure") {
        // The document is written only when the run's frame changes its
        // structure, by the one comparison update-structure makes: a frame
        // equal to it but for the rounding of printed numbers changes nothing.
        const KelvComPtr<ISBDocumentRoot> document = StructureDocument(session, options.document);
        const std::shared_ptr<HostModel::Document> model = HostModel::DocumentOf(document.get());
        if (!model)
            Fail("\"" + options.document + "\" is not a structure document");
        HostModel::Document before;
        before.CopyModelFrom(*model);
        const std::string url = model->Url();
        model->SetUrl(std::string());
        const HRESULT updated = analysis->UpdateStructure(document.get());
        if (FAILED(updated) || !HostModel::SameStructure(before, *model))
            model->SetUrl(url);
        checkFrames(updated, {"Structure"});
        if (model->Url().empty()) {
            unchanged = model;
            unchangedUrl = url;
        }
    } else if (options.action == "trajectory") {
        KelvComPtr<ISBDocumentRoot> trajectory;
        checkFrames(
            analysis->CreateTrajectory(StructureDocument(session, options.document).get(), trajectory.Receive()),
            {"Structure"});
    } else if (options.action == "optics") {
        CheckAction(analysis->PlotOpticalProperties(), session.output);
    } else if (options.action == "dispersion") {
        CheckPhononChart(analysis->PlotPhononDispersion(), session, ".disp");
    } else if (options.action == "dos") {
        CheckPhononChart(analysis->PlotPhononDOS(), session, ".dens");
    } else {
        CheckAction(analysis->ImportLibrary(), session.output);
    }
    // The host writes what changed in its documents back to their files.
    const HRESULT synchronized = session.host.Documents().Synchronize();
    if (unchanged)
        unchanged->SetUrl(unchangedUrl);
    KelvResult::Check(synchronized);
    const std::vector<WrittenFiles::Entry> written = WrittenSorted();
    PrintWritten(written, session.project, out);
    if (unchanged)
        out << "the document \"" << Shown(options.document)
            << "\" has the run's final structure already: it is not written\n";
    if (options.action == "energy")
        out << CutFrameNotes(session, {"EnEvol"});
    else if (needsDocument)
        out << CutFrameNotes(session, {"Structure"});
    if (const std::string notRead = FilesThatAreNoFiles(session.output); !notRead.empty())
        out << "Files of the run that are not read:" << notRead << "\n";
    // A library that the dump gives as it is stays (the library beside the
    // dump or one of its numbered copies): say which it is.
    if (options.action != "library")
        return;
    std::string library;
    const KelvComPtr<IZelmFittedLibrary> fitted =
        KelvComPtr<IZelmAnalysis>(analysis).TryQueryInterface<IZelmFittedLibrary>();
    if (fitted) {
        BSTR path = nullptr;
        KelvResult::Check(fitted->get_FittedLibrary(&path));
        // Named as the files of the snapshots are: it stands beside the output.
        const std::string name = fs::path(Take(path)).filename().string();
        if (!name.empty())
            library = (fs::path(session.output).parent_path() / name).string();
    }
    bool touched = false;  // a file made, or the library's bytes changed
    const std::string libraryPath = library.empty() ? library : fs::absolute(library).lexically_normal().string();
    for (const WrittenFiles::Entry& entry : written)
        touched = touched || (entry.change == WrittenFiles::Change::Made && !entry.removed) ||
                  (entry.path == libraryPath && (entry.removed || entry.change != WrittenFiles::Change::Unchanged));
    std::error_code error;
    if (!library.empty() && !touched && fs::is_regular_file(library, error))
        out << "the fitted library " << Shown(fs::path(library).lexically_relative(session.project).string())
            << " is there already, as the dump gives it\n";
}

struct ChartOptions {
    std::string document;
    std::string svg;
};

void ChartCommand(const ChartOptions& options, std::ostream& out)
{
    HostCharts::DocumentHeader header;
    HostCharts::ChartList charts;
    RequireInputFile(options.document, "the chart document");
    try {
        HostCharts::ReadChartFile(options.document, header, charts);
    } catch (const HostCharts::ChartFileError& error) {
        Fail(error.what());
    }
    std::vector<std::string> warnings;
    try {
        warnings = HostCharts::WriteChartSvg(charts, options.svg);
    } catch (const std::runtime_error& error) {
        Fail(error.what());
    }
    for (const std::string& warning : warnings)
        out << "warning: " << warning << "\n";
    out << "wrote " << options.svg << " (" << charts.size() << (charts.size() == 1 ? " chart" : " charts")
        << ")\n";
}

} // namespace

void AddAnalysisCommands(CommandLine& commandLine)
{
    auto results = std::make_shared<AnalysisOptions>();
    CLI::App* resultsCommand = commandLine.AddHostCommand(
        "results", "Lists an engine run's results by category with the selections and what can be made of them",
        [results](std::ostream& out) { ResultsCommand(*results, out); });
    resultsCommand->add_option("output", results->output, "A main output (.gout) of the results folder")->required();
    resultsCommand->add_option("--project", results->project, "The project folder (default: found above the output)");
    resultsCommand->add_option("--select", results->selections, "Select FILE for CATEGORY first (CATEGORY=FILE)");

    auto analyse = std::make_shared<AnalysisOptions>();
    CLI::App* analyseCommand = commandLine.AddHostCommand(
        "analyse", "Makes the energy, optics, phonon dispersion or density-of-states charts, updates a structure, "
                   "builds a trajectory or imports a fitted library",
        [analyse](std::ostream& out) { AnalyseCommand(*analyse, out); });
    analyseCommand->add_option("output", analyse->output, "A main output (.gout) of the results folder")->required();
    analyseCommand->add_option("action", analyse->action,
                               "energy, structure, trajectory, library, optics, dispersion or dos")
        ->required()
        ->check(CLI::IsMember({"energy", "structure", "trajectory", "library", "optics", "dispersion", "dos"}));
    analyseCommand->add_option("document", analyse->document, "The structure document (.qsd) of structure and "
                                                              "trajectory");
    analyseCommand->add_option("--project", analyse->project, "The project folder (default: found above the output)");
    analyseCommand->add_option("--select", analyse->selections, "Select FILE for CATEGORY first (CATEGORY=FILE)");

    auto chart = std::make_shared<ChartOptions>();
    CLI::App* chartCommand = commandLine.AddHostCommand("chart", "Draws a chart document (.qcd) as an SVG picture",
                                                        [chart](std::ostream& out) { ChartCommand(*chart, out); });
    chartCommand->add_option("document", chart->document, "The chart document (.qcd)")->required();
    chartCommand->add_option("--svg", chart->svg, "The picture to write")->required();
}

} // namespace ZelmHost
