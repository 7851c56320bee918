#include "SurfaceCommands.h"

#include <cmath>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "DriverSupport.h"
#include "CommandLine.h"
#include "HostCommands.h"
#include "host/HostApplication.h"
#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "kelv/kelv.h"
#include "common/SurfaceCalculatorInterface.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string>& Actions()
{
    static const std::vector<std::string> actions{"report",         "add-surface",       "remove-surface",
                                                  "add-attachment", "remove-attachment", "select-surface",
                                                  "select-attachment", "select-layer"};
    return actions;
}

std::string Fixed(double value)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(6) << value;
    std::string result = text.str();
    if (result.find_first_not_of("-0.") == std::string::npos && result.front() == '-') {
        result.erase(0, 1);
    }
    return result;
}

// The calculator's texts end with a line break; the driver prints its own.
std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// A failed call as an error with the calculator's text.
void Check(HRESULT hr)
{
    try {
        KelvResult::Check(hr);
    } catch (const KelvResult& failure) {
        throw KelvResult(failure.GetHRESULT(), Trimmed(failure.GetMessage()));
    }
}

const char* YesNo(VARIANT_BOOL value)
{
    return value == VARIANT_TRUE ? "yes" : "no";
}

// The atoms of a set (or of the selection) as `show` numbers them.
std::string AtomListText(const HostModel::Document& document, const std::vector<HostModel::Handle>& atoms)
{
    std::string text = std::to_string(atoms.size()) + (atoms.size() == 1 ? " atom" : " atoms");
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        text += (i == 0 ? ": " : " ") + std::to_string(document.IndexOf(atoms[i]) + 1);
    }
    return text;
}

void PrintSets(const HostModel::Document& document, std::ostream& out)
{
    for (const char* name : {"SurfaceAtoms", "AttachmentLayer"}) {
        out << name << ": "
            << (document.HasSet(name) ? AtomListText(document, document.SetAtoms(name)) : std::string("no set"))
            << "\n";
    }
}

void PrintSelection(const HostModel::Document& document, std::ostream& out)
{
    std::vector<HostModel::Handle> selected;
    for (const HostModel::Atom& atom : document.Atoms()) {
        if (atom.selected) {
            selected.push_back(atom.handle);
        }
    }
    out << "Selection: " << AtomListText(document, selected) << "\n";
}

// The project's "SurfaceCalculator" logic as its interface, or a message
// saying why the host could not connect it.
KelvComPtr<IQoZelmSurfaceCalculator> SurfaceCalculatorOf(const QzHost::HostApplication& host)
{
    const KelvComPtr<ISBLogic> logic = host.Logic(QzHost::ModuleExtensionName, "SurfaceCalculator");
    if (!logic) {
        std::string why;
        for (const std::string& note : host.MissingLogics()) {
            if (note.rfind("SurfaceCalculator", 0) == 0) {
                why = note;
            }
        }
        for (const std::string& note : host.ConnectionErrors()) {
            if (note.find("!SurfaceCalculator:") != std::string::npos) {
                why = note;
            }
        }
        Fail("the surface calculator is not available" + (why.empty() ? std::string() : ": " + Trimmed(why)));
    }
    return logic.QueryInterface<IQoZelmSurfaceCalculator>();
}

// One answer of the calculator for the report: "yes", "no", or why it failed.
std::string Answer(const std::function<HRESULT(VARIANT_BOOL*)>& call)
{
    VARIANT_BOOL value = VARIANT_FALSE;
    try {
        Check(call(&value));
    } catch (const KelvResult& failure) {
        return "failed: " + failure.GetMessage();
    }
    return YesNo(value);
}

std::string Figure(const std::function<HRESULT(double*)>& call)
{
    double value = 0.0;
    try {
        Check(call(&value));
    } catch (const KelvResult& failure) {
        return "not available: " + failure.GetMessage();
    }
    return Fixed(value);
}

void Report(IQoZelmSurfaceCalculator* calculator, ISBScope* scope, const HostModel::Document& document,
            std::ostream& out)
{
    VARIANT_BOOL periodic = VARIANT_FALSE;
    Check(calculator->Is2DPeriodic(scope, &periodic));
    out << "Document: " << ShownName(document.Name()) << " (" << document.Atoms().size() << " atoms)\n";
    out << "2D periodic: " << YesNo(periodic) << "\n";
    double relative = 0.0;
    double absolute = 0.0;
    const HRESULT depth = calculator->GetSurfaceDepth(scope, &relative, &absolute);
    if (FAILED(depth)) {
        KelvResult::SetLastError(depth);
        out << "Surface depth: not available: " << Trimmed(KelvResult::LastError().GetMessage()) << "\n";
    } else if (relative == 0.0 && absolute == 0.0) {
        out << "Surface depth: none (the document has no surface description)\n";
    } else {
        out << "Surface depth: relative " << Fixed(relative) << ", absolute " << Fixed(absolute) << "\n";
    }
    out << "Dipole moment: " << Figure([&](double* v) { return calculator->CalculateDipoleMoment(scope, v); })
        << "\n";
    out << "Region 1 charge: " << Figure([&](double* v) { return calculator->CalculateRegion1Charge(scope, v); })
        << "\n";
    using Query = HRESULT (IQoZelmSurfaceCalculator::*)(ISBScope*, VARIANT_BOOL*);
    const std::pair<const char*, Query> queries[] = {
        {"CanAddToSurfaceAtomSet", &IQoZelmSurfaceCalculator::CanAddToSurfaceAtomSet},
        {"CanRemoveFromSurfaceAtomSet", &IQoZelmSurfaceCalculator::CanRemoveFromSurfaceAtomSet},
        {"CanSelectSurfaceAtomSet", &IQoZelmSurfaceCalculator::CanSelectSurfaceAtomSet},
        {"CanAddToAttachmentLayerSet", &IQoZelmSurfaceCalculator::CanAddToAttachmentLayerSet},
        {"CanRemoveFromAttachmentLayerSet", &IQoZelmSurfaceCalculator::CanRemoveFromAttachmentLayerSet},
        {"CanSelectAttachmentLayerSet", &IQoZelmSurfaceCalculator::CanSelectAttachmentLayerSet},
        {"CanSelectLayer", &IQoZelmSurfaceCalculator::CanSelectLayer},
        {"SurfaceEnergyCalculationCanProceed", &IQoZelmSurfaceCalculator::SurfaceEnergyCalculationCanProceed},
        {"AttachmentEnergyCalculationCanProceed", &IQoZelmSurfaceCalculator::AttachmentEnergyCalculationCanProceed},
    };
    for (const auto& query : queries) {
        out << query.first << ": "
            << Answer([&](VARIANT_BOOL* v) { return (calculator->*query.second)(scope, v); }) << "\n";
    }
    PrintSets(document, out);
}

// The calculator's own question before an action; an action it answers no
// to is refused with the likeliest reason.
void RequireCalculatorAllows(const QzHost::HostApplication& host, IQoZelmSurfaceCalculator* calculator,
                             ISBScope* scope, const HostModel::Document& document, const std::string& action)
{
    using Query = HRESULT (IQoZelmSurfaceCalculator::*)(ISBScope*, VARIANT_BOOL*);
    struct Question {
        const char* action;
        const char* name;
        Query query;
        const char* set; // the set the action changes or selects
    };
    static const Question questions[] = {
        {"add-surface", "CanAddToSurfaceAtomSet", &IQoZelmSurfaceCalculator::CanAddToSurfaceAtomSet, ""},
        {"remove-surface", "CanRemoveFromSurfaceAtomSet", &IQoZelmSurfaceCalculator::CanRemoveFromSurfaceAtomSet,
         "SurfaceAtoms"},
        {"add-attachment", "CanAddToAttachmentLayerSet", &IQoZelmSurfaceCalculator::CanAddToAttachmentLayerSet, ""},
        {"remove-attachment", "CanRemoveFromAttachmentLayerSet",
         &IQoZelmSurfaceCalculator::CanRemoveFromAttachmentLayerSet, "AttachmentLayer"},
        {"select-surface", "CanSelectSurfaceAtomSet", &IQoZelmSurfaceCalculator::CanSelectSurfaceAtomSet,
         "SurfaceAtoms"},
        {"select-attachment", "CanSelectAttachmentLayerSet", &IQoZelmSurfaceCalculator::CanSelectAttachmentLayerSet,
         "AttachmentLayer"},
        {"select-layer", "CanSelectLayer", &IQoZelmSurfaceCalculator::CanSelectLayer, ""},
    };
    for (const Question& question : questions) {
        if (action != question.action) {
            continue;
        }
        VARIANT_BOOL allowed = VARIANT_FALSE;
        Check((calculator->*question.query)(scope, &allowed));
        if (allowed == VARIANT_TRUE) {
            return;
        }
        const bool attachment = action.find("attachment") != std::string::npos;
        const KelvComPtr<QzHost::HostState> state = host.State("SurfaceCalculator");
        const bool selected = std::any_of(document.Atoms().begin(), document.Atoms().end(),
                                          [](const HostModel::Atom& atom) { return atom.selected; });
        std::string why = "not for this document and selection";
        VARIANT_BOOL periodic = VARIANT_FALSE;
        if (SUCCEEDED(calculator->Is2DPeriodic(scope, &periodic)) && periodic != VARIANT_TRUE) {
            why = "\"" + ShownName(document.Name()) + "\" is not a 2-D periodic slab";
        } else if (attachment && state && state->ValueText("CalculateAttachmentEnergy") != "true") {
            why = "the attachment layer takes part only when the attachment energy is asked for: zelm-host state "
                  "--project " + ShellQuoted(host.DocumentsFolder()) + " SurfaceCalculator CalculateAttachmentEnergy true";
        } else if (*question.set != '\0' && !document.HasSet(question.set)) {
            why = (action.rfind("remove", 0) == 0 ? "nothing to remove: " : "nothing to select: ") +
                  std::string("the document has no \"") + question.set + "\" set";
        } else if (action != "select-layer" && (action.rfind("select", 0) != 0) && !selected) {
            why = "no atoms are selected; name them with --select, e.g. --select 1,2";
        } else if (action.rfind("remove", 0) == 0) {
            why = std::string("nothing to remove: none of the selected atoms is in the \"") + question.set + "\" set";
        } else if (action.rfind("add", 0) == 0) {
            why = "the selected atoms are in that set already";
        }
        Fail(action + " refused: the surface calculator answers no to " + question.name + " (" + why + ")");
    }
}

}  // namespace

std::vector<std::size_t> ParseAtomList(const std::string& list, std::size_t atomCount)
{
    std::vector<std::size_t> numbers;
    std::set<std::size_t> seen;
    const auto number = [&](const std::string& text) {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) {
            Fail("\"" + list + "\" is not a list of atom numbers (e.g. 1,2,5 or 1-4,7)");
        }
        const std::size_t n = std::stoul(text);
        if (n < 1 || n > atomCount) {
            Fail("atom " + text + " does not exist: the document has " + std::to_string(atomCount) + " atoms");
        }
        return n;
    };
    std::string item;
    std::istringstream items(list);
    while (std::getline(items, item, ',')) {
        item.erase(0, item.find_first_not_of(' '));
        item.erase(item.find_last_not_of(' ') + 1);
        const std::size_t dash = item.find('-');
        const std::size_t first = number(item.substr(0, dash));
        const std::size_t last = dash == std::string::npos ? first : number(item.substr(dash + 1));
        if (last < first) {
            Fail("the range \"" + item + "\" runs backwards");
        }
        for (std::size_t n = first; n <= last; ++n) {
            if (seen.insert(n).second) {
                numbers.push_back(n);
            }
        }
    }
    if (numbers.empty()) {
        Fail("\"" + list + "\" names no atom");
    }
    return numbers;
}

void AddSurfaceCommands(CommandLine& commandLine)
{
    auto options = std::make_shared<SurfaceOptions>();
    CLI::App* surface = commandLine.AddHostCommand(
        "surface", "Surface calculator on a 2-D periodic slab: report, edit the surface sets, select layers",
        [options](std::ostream& out) { SurfaceCommand(*options, out); });
    AddSurfaceArguments(*surface, *options);
}

void AddSurfaceArguments(CLI::App& surface, SurfaceOptions& options)
{
    surface.add_option("--project", options.project, "The project folder (default: the document's folder)");
    surface.add_option("document", options.document, "The .qsd document of a slab")->required();
    options.selectOption =
        surface.add_option("--select", options.selection, "Select these atoms first (e.g. 1,2,5 or 1-4,7)");
    surface.add_flag("--no-select", options.noSelect, "Add or remove without selecting the set afterwards");
    surface.add_option("action", options.action, "report, add-surface, remove-surface, add-attachment, "
                                                  "remove-attachment, select-surface, select-attachment, "
                                                  "select-layer")
        ->required()
        ->check(CLI::IsMember(Actions()));
    surface.add_option("layers", options.layers, "FROM TO of select-layer");
}

void SurfaceCommand(const SurfaceOptions& options, std::ostream& out)
{
    const bool layerAction = options.action == "select-layer";
    if (layerAction && options.layers.size() != 2) {
        Fail("select-layer needs two layer numbers: FROM TO");
    }
    if (!layerAction && !options.layers.empty()) {
        Fail(options.action + " takes no layer numbers");
    }
    std::error_code error;
    const std::string file = Absolute(options.document);
    if (const std::string why = NotAnInputFile(file); !why.empty()) {
        Fail("the document \"" + options.document + "\" " + why);
    }
    const std::string folder = options.project.empty() ? fs::path(file).parent_path().string() : options.project;
    const QzHost::HostConfiguration configuration = ProjectConfiguration(folder, !options.project.empty());
    const DocumentChangeLock lock(folder, file);
    QzHost::HostApplication host(configuration);
    const KelvComPtr<IQoZelmSurfaceCalculator> calculator = SurfaceCalculatorOf(host);

    KelvBSTR path(file);
    KelvComPtr<ISBDocumentRoot> root;
    const HRESULT found = host.Documents().FindDocument(path.Get(), root.Receive());
    KelvResult::Check(found);
    std::shared_ptr<HostModel::Document> document = root ? HostModel::DocumentOf(root.get()) : nullptr;
    if (found != S_OK || !document) {
        Fail("\"" + options.document + "\" is not a structure document (.qsd) in the project folder \"" + folder +
             "\"");
    }
    KelvComPtr<ISBScope> scope;
    KelvResult::Check(root->get_ContentsAsScope(scope.Receive()));

    // What the user picked in the host's window.
    if (options.selectOption != nullptr && options.selectOption->count() > 0) {
        const std::vector<std::size_t> numbers = ParseAtomList(options.selection, document->Atoms().size());
        document->ClearSelection();
        for (std::size_t n : numbers) {
            document->SetSelected(document->Atoms()[n - 1].handle, true);
        }
    }

    const VARIANT_BOOL select = options.noSelect ? VARIANT_FALSE : VARIANT_TRUE;
    IQoZelmSurfaceCalculator* c = calculator.get();
    if (options.action == "report") {
        Report(c, scope.get(), *document, out);
        return;
    }
    RequireCalculatorAllows(host, c, scope.get(), *document, options.action);
    if (options.action == "add-surface") {
        Check(c->AddToSurfaceAtomSet(scope.get(), select));
    } else if (options.action == "remove-surface") {
        Check(c->RemoveFromSurfaceAtomSet(scope.get(), select));
    } else if (options.action == "add-attachment") {
        Check(c->AddToAttachmentLayerSet(scope.get(), select));
    } else if (options.action == "remove-attachment") {
        Check(c->RemoveFromAttachmentLayerSet(scope.get(), select));
    } else if (options.action == "select-surface") {
        Check(c->SelectSurfaceAtomSet(scope.get()));
    } else if (options.action == "select-attachment") {
        Check(c->SelectAttachmentLayerSet(scope.get()));
    } else {
        // Layers are counted from 1 at the top down to the slab's depth; a
        // range outside them would select nothing and still be saved.
        double relative = 0.0;
        double absolute = 0.0;
        Check(c->GetSurfaceDepth(scope.get(), &relative, &absolute));
        const LONG layers = std::isfinite(relative) && relative >= 1.0 && relative < 1e9
                                ? static_cast<LONG>(std::floor(relative + 1e-6))
                                : 0;
        const LONG from = options.layers[0];
        const LONG to = options.layers[1];
        if (from < 1 || to < from || to > layers) {
            Fail("select-layer " + std::to_string(from) + " " + std::to_string(to) + ": the slab has " +
                 std::to_string(layers) + (layers == 1 ? " layer" : " layers") +
                 ", counted from 1 at the top; give FROM TO with 1 <= FROM <= TO <= " + std::to_string(layers));
        }
        Check(c->SelectLayer(scope.get(), from, to));
    }
    out << options.action << ": done\n";
    PrintSets(*document, out);
    PrintSelection(*document, out);

    SaveNamedDocument(host.Documents(), root.get());
    out << "saved " << ShownText(document->Url()) << "\n";
}

}  // namespace ZelmHost
