#include "ForcefieldCommands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "DriverSupport.h"
#include "CommandLine.h"
#include "HostCommands.h"
#include "LibraryAdvice.h"
#include "host/HostApplication.h"
#include "host/model/TextEncoding.h"
#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorqm/MessageText.h"
#include "qorvira/ZelmForcefieldLocator.h"
#include "qorvira/ZelmStandardLibraries.h"
#include "common/ZelmInterfaces.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

using ZelmHost::Take;

std::vector<std::string> Take(SAFEARRAY* array)
{
    const KelvSafeArray owner(array);
    std::vector<std::string> texts;
    for (LONG i = 0; i < static_cast<LONG>(owner.Count()); ++i)
        texts.push_back(owner.GetString(i));
    return texts;
}

std::string Number(double value)
{
    std::ostringstream text;
    text << std::setprecision(12) << value;
    return text.str();
}

double ParseNumber(const std::string& text, const std::string& what)
{
    std::istringstream in(text);
    double value = 0.0;
    if (!(in >> value) || !(in >> std::ws).eof())
        Fail("\"" + text + "\" is not a number (" + what + ")");
    return value;
}

// "NAME=VALUE", split at the last "=".
std::pair<std::string, std::string> Assignment(const std::string& text, const char* option)
{
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0)
        Fail(std::string(option) + " " + text + ": expected NAME=VALUE");
    return {text.substr(0, equals), text.substr(equals + 1)};
}

struct Interaction {
    std::string type;
    std::vector<std::string> atoms;
    KelvComPtr<IQoInteraction> object;
};

// The session: the project's host, the logic's editor and its forcefield.
class Session {
public:
    explicit Session(const std::string& project)
    {
        const QzHost::HostConfiguration configuration = ProjectConfiguration(project, true);
        m_host = std::make_unique<QzHost::HostApplication>(configuration);
        const KelvComPtr<ISBLogic> logic = m_host->Logic(QzHost::ModuleExtensionName, "ZelmLogic");
        if (!logic)
            Fail("the module's logic \"ZelmLogic\" is not available (is the module registered?)");
        m_consumer = logic.QueryInterface<IQoEditedForcefieldConsumer>();
    }

    IQoEditedForcefieldConsumer& Consumer() const { return *m_consumer.get(); }

    // Selects a library for this run only (the project keeps its choice).
    void Select(const std::string& library)
    {
        const KelvComPtr<QzHost::HostState> state = m_host->State("ZelmLogic");
        if (!state)
            Fail("the host keeps no state for \"ZelmLogic\"");
        state->SetValue("library", KelvVariant(library).Get());
    }

    // The library the project's state selects ("" when none): the project
    // chose it, so it is taken from the project or the standard library
    // folder only, links followed, as a deck or a run takes it; elsewhere it
    // is refused by name before it is read.
    std::string SelectedLibrary() const
    {
        const KelvComPtr<QzHost::HostState> state = m_host->State("ZelmLogic");
        if (!state)
            Fail("the host keeps no state for \"ZelmLogic\"");
        const std::string path =
            CZelmForcefieldLocator(static_cast<ISBState*>(state.get()), m_host->Root()).GetSelectedPath();
        if (!path.empty())
            CZelmStandardLibraries(m_host->Root()).RequireLibraryInPlace(path);
        return path;
    }

    // Refuses a save over the selected library unless it is the project's
    // own: a standard library or one elsewhere is saved with --save-as.
    void RequireSelectedLibraryTheProjects(const std::string& path) const
    {
        const std::string reason = CZelmStandardLibraries(m_host->Root()).WhyLibraryIsNotTheProjects(path);
        if (!reason.empty())
            Fail(reason + "; it is not saved over: save the edited library with --save-as PATH");
    }

    // The editor loaded with the selected library, or with `library`.
    void Open(const std::string& library)
    {
        std::string path;
        if (!library.empty()) {
            path = fs::absolute(library).lexically_normal().string();
            RequireInputFile(library, "the library");
            Select(path);
        } else {
            SelectedLibrary();
        }
        const HRESULT hr = m_consumer->get_ForcefieldEditor(m_editor.Receive());
        if (FAILED(hr))
            throw KelvResult(hr, WithLibraryAdvice(*m_host, ErrorText(hr)));
        if (path.empty())
            Require(m_editor->get_Forcefield(m_forcefield.Receive()));
        else
            Require(m_editor->get_Load(KelvBSTR(path).Get(), m_forcefield.Receive()));
    }

    IQoForcefieldEditor& Editor() const { return *m_editor.get(); }
    IQoForcefield& Forcefield() const { return *m_forcefield.get(); }

    // Every interaction, numbered from 1 in the order show lists them: by
    // interaction type, then by atom types (in the order the forcefield
    // lists them; a pair once, whichever way round, named in that order,
    // since a pair's order does not matter), then in the order they were
    // added. What the forcefield holds is asked of the module's editor object
    // (IZelmHeldInteractions), so that the time grows with the interactions
    // held, not with the combinations of atom types; each interaction is then
    // reached through the editor's COM objects, which show and edit work on.
    std::vector<Interaction> Interactions() const
    {
        KelvComPtr<IQoServerDescription> server;
        Require(m_editor->get_ServerDescription(server.Receive()));
        SAFEARRAY* array = nullptr;
        Require(server->get_InteractionTypeNames(&array));
        const std::vector<std::string> types = Take(array);
        Require(m_forcefield->get_AtomTypes(&array));
        const std::vector<std::string> atomTypes = Take(array);
        std::unordered_map<std::string, std::size_t> rankOfType;
        std::vector<std::size_t> atomsOfType;
        for (std::size_t i = 0; i < types.size(); ++i) {
            INT atoms = 0;
            Require(server->get_NumberOfAtomsOfType(KelvBSTR(types[i]).Get(), &atoms));
            rankOfType.emplace(types[i], i);
            atomsOfType.push_back(static_cast<std::size_t>(std::max<INT>(0, atoms)));
        }
        std::unordered_map<std::string, std::size_t> indexOf; // the first atom type of a name
        for (std::size_t i = 0; i < atomTypes.size(); ++i)
            indexOf.emplace(atomTypes[i], i);

        struct Held {
            std::size_t type;
            std::vector<std::size_t> atoms; // indexes into atomTypes, in the order shown
            std::string form;
            int id;
        };
        std::vector<Held> held;
        const KelvComPtr<IZelmHeldInteractions> listing =
            KelvComPtr<IQoForcefieldEditor>(m_editor.get()).TryQueryInterface<IZelmHeldInteractions>();
        if (!listing)
            Fail("the forcefield editor does not list the interactions it holds");
        Require(listing->get_HeldInteractions(&array));
        for (const std::string& entry : Take(array)) {
            // "TYPE<tab>FORM<tab>ID<tab>ATOM..."
            std::vector<std::string> fields;
            for (std::size_t from = 0;;) {
                const std::size_t tab = entry.find('\t', from);
                fields.push_back(entry.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
                if (tab == std::string::npos)
                    break;
                from = tab + 1;
            }
            if (fields.size() < 4)
                continue;
            const auto rank = rankOfType.find(fields[0]);
            if (rank == rankOfType.end() || atomsOfType[rank->second] != fields.size() - 3)
                continue;
            Held one{rank->second, {}, fields[1], std::atoi(fields[2].c_str())};
            for (std::size_t k = 3; k < fields.size(); ++k) {
                const auto index = indexOf.find(fields[k]);
                if (index == indexOf.end())
                    Fail("the forcefield has no atom type \"" + MessageText::Excerpt(fields[k]) + "\" of its interactions");
                one.atoms.push_back(index->second);
            }
            if (one.atoms.size() == 2 && one.atoms[0] > one.atoms[1])
                std::swap(one.atoms[0], one.atoms[1]);
            held.push_back(std::move(one));
        }
        // The listing keeps the order of addition; a stable sort keeps it
        // among the interactions of one type between the same atom types.
        std::stable_sort(held.begin(), held.end(), [](const Held& a, const Held& b) {
            return a.type != b.type ? a.type < b.type : a.atoms < b.atoms;
        });

        std::vector<Interaction> all;
        all.reserve(held.size());
        for (const Held& one : held) {
            std::vector<std::string> names;
            for (std::size_t i : one.atoms)
                names.push_back(atomTypes[i]);
            KelvSafeArray namesArray = KelvSafeArray::FromStrings(names);
            SAFEARRAY* raw = namesArray.Get();
            KelvComPtr<IQoInteraction> object;
            Require(m_forcefield->get_Interaction(KelvBSTR(types[one.type]).Get(), &raw, KelvBSTR(one.form).Get(),
                                                  one.id, object.Receive()));
            all.push_back({types[one.type], std::move(names), std::move(object)});
        }
        return all;
    }

private:
    std::unique_ptr<QzHost::HostApplication> m_host;
    KelvComPtr<IQoEditedForcefieldConsumer> m_consumer;
    KelvComPtr<IQoForcefieldEditor> m_editor;
    KelvComPtr<IQoForcefield> m_forcefield;
};

// The options of one kind of an interaction, as " name=value" texts.
std::string OptionList(SAFEARRAY* names, const std::function<std::string(INT)>& value)
{
    std::string text;
    INT index = 0;
    for (const std::string& name : Take(names))
        text += " " + ShownName(name) + "=" + value(index++);
    return text;
}

std::string LoadedPath(const Session& session)
{
    BSTR text = nullptr;
    Require(session.Editor().get_LoadedFilePath(&text));
    return Take(text);
}

// The lines of the loaded library that the module's reader kept as text
// instead of reading them, which the module's editor object answers through
// its own interface (IZelmLoadWarnings).
void PrintLoadWarnings(IQoForcefieldEditor& editor, std::ostream& out)
{
    const KelvComPtr<IZelmLoadWarnings> warnings = KelvComPtr<IQoForcefieldEditor>(&editor).TryQueryInterface<IZelmLoadWarnings>();
    if (!warnings)
        return;
    SAFEARRAY* array = nullptr;
    Require(warnings->get_LoadWarnings(&array));
    const std::vector<std::string> lines = Take(array);
    if (lines.empty())
        return;
    out << "load warnings (" << lines.size() << (lines.size() == 1 ? " line" : " lines")
        << " kept as text, not read):\n";
    for (const std::string& line : lines)
        out << "  " << line << "\n";
}

void Show(const Session& session, std::ostream& out)
{
    BSTR text = nullptr;
    const std::string loaded = LoadedPath(session);
    out << "library: " << ShownText(loaded) << "\n";
    KelvComPtr<IQoServerDescription> server;
    Require(session.Editor().get_ServerDescription(server.Receive()));
    VARIANT_BOOL canFit = VARIANT_FALSE;
    Require(server->get_ServerName(&text));
    Require(server->get_CanFit(&canFit));
    out << "server: " << ShownName(Take(text)) << (canFit ? " (can fit)" : "") << "\n";

    SAFEARRAY* array = nullptr;
    Require(session.Forcefield().get_AtomTypes(&array));
    out << "atom types:\n";
    for (const std::string& name : Take(array)) {
        KelvComPtr<IQoAtomType> atomType;
        Require(session.Forcefield().get_AtomType(KelvBSTR(name).Get(), atomType.Receive()));
        double charge = 0.0;
        Require(atomType->get_Charge(&charge));
        out << "  " << ShownName(name) << "  " << Number(charge) << "\n";
    }

    out << "interactions:\n";
    int number = 0;
    for (const Interaction& interaction : session.Interactions()) {
        IQoInteraction& object = *interaction.object.get();
        INT id = 0;
        Require(object.get_FunctionalForm(&text));
        Require(object.get_Id(&id));
        out << "  [" << ++number << "] " << interaction.type << " " << ShownName(Take(text)) << " #" << id << ":";
        for (std::size_t i = 0; i < interaction.atoms.size(); ++i)
            out << (i ? ", " : " ") << ShownName(interaction.atoms[i]);
        out << "\n";
        LONG parameters = 0;
        Require(object.get_ParameterCount(&parameters));
        for (LONG i = 0; i < parameters; ++i) {
            KelvComPtr<IQoParameter> parameter;
            Require(object.get_Parameter(i, parameter.Receive()));
            double value = 0.0;
            VARIANT_BOOL fitted = VARIANT_FALSE;
            Require(parameter->get_Name(&text));
            const std::string name = Take(text);
            Require(parameter->get_Unit(&text));
            const std::string unit = Take(text);
            Require(parameter->get_Value(&value));
            Require(parameter->get_IsToBeFitted(&fitted));
            // Units are Latin-1 ("Å"); the terminal reads UTF-8.
            out << "      " << ShownName(name) << " = " << Number(value)
                << (unit.empty() ? "" : " " + ShownName(HostModel::Latin1ToUtf8(unit)))
                << (fitted ? "  (fit)" : "") << "\n";
        }
        SAFEARRAY* names = nullptr;
        Require(object.get_BooleanOptionNames(&names));
        const std::string booleans = OptionList(names, [&](INT k) {
            VARIANT_BOOL on = VARIANT_FALSE;
            Require(object.get_BooleanOption(k, &on));
            return std::string(on ? "1" : "0");
        });
        Require(object.get_IntegerOptionNames(&names));
        const std::string integers = OptionList(names, [&](INT k) {
            INT number = 0;
            Require(object.get_IntegerOption(k, &number));
            return std::to_string(number);
        });
        Require(object.get_DoubleOptionNames(&names));
        const std::string doubles = OptionList(names, [&](INT k) {
            double number = 0.0;
            Require(object.get_DoubleOption(k, &number));
            return Number(number);
        });
        if (!booleans.empty())
            out << "      options:" << booleans << "\n";
        if (!integers.empty() || !doubles.empty())
            out << "      values:" << integers << doubles << "\n";
    }
    PrintLoadWarnings(session.Editor(), out);
}

// "N.NAME" of show's numbering: the interaction and the name.
std::pair<IQoInteraction*, std::string> Target(const std::vector<Interaction>& all, const std::string& which)
{
    const std::size_t dot = which.find('.');
    std::size_t number = 0;
    try {
        number = dot == std::string::npos ? 0 : std::stoul(which.substr(0, dot));
    } catch (const std::exception&) {
        number = 0;
    }
    if (number == 0 || number > all.size() || dot + 1 >= which.size())
        Fail("\"" + which + "\" names no interaction: expected N.NAME with N from 1 to " +
             std::to_string(all.size()) + " as show numbers them");
    return {all[number - 1].object.get(), which.substr(dot + 1)};
}

KelvComPtr<IQoParameter> FindParameter(IQoInteraction& interaction, const std::string& name)
{
    LONG count = 0;
    Require(interaction.get_ParameterCount(&count));
    for (LONG i = 0; i < count; ++i) {
        KelvComPtr<IQoParameter> parameter;
        Require(interaction.get_Parameter(i, parameter.Receive()));
        BSTR text = nullptr;
        Require(parameter->get_Name(&text));
        if (Take(text) == name)
            return parameter;
    }
    Fail("the interaction has no parameter \"" + name + "\"");
}

INT IndexIn(SAFEARRAY* array, const std::string& name)
{
    const std::vector<std::string> names = Take(array);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name)
            return static_cast<INT>(i);
    }
    return -1;
}

void SetOption(IQoInteraction& interaction, const std::string& name, const std::string& value)
{
    SAFEARRAY* array = nullptr;
    Require(interaction.get_BooleanOptionNames(&array));
    if (const INT index = IndexIn(array, name); index >= 0) {
        bool on = value == "1" || value == "true" || value == "on";
        if (!on && value != "0" && value != "false" && value != "off")
            Fail("the option \"" + name + "\" takes 0 or 1, not \"" + value + "\"");
        Require(interaction.put_BooleanOption(index, on ? VARIANT_TRUE : VARIANT_FALSE));
        return;
    }
    Require(interaction.get_IntegerOptionNames(&array));
    if (const INT index = IndexIn(array, name); index >= 0) {
        const double number = ParseNumber(value, name);
        if (number != static_cast<INT>(number))
            Fail("the option \"" + name + "\" takes a whole number, not \"" + value + "\"");
        Require(interaction.put_IntegerOption(index, static_cast<INT>(number)));
        return;
    }
    Require(interaction.get_DoubleOptionNames(&array));
    if (const INT index = IndexIn(array, name); index >= 0) {
        Require(interaction.put_DoubleOption(index, ParseNumber(value, name)));
        return;
    }
    Fail("the interaction has no option \"" + name + "\"");
}

void Edit(Session& session, const ForcefieldOptions& options, std::ostream& out)
{
    const std::vector<Interaction> all = session.Interactions();
    for (const std::string& text : options.options) {
        const auto [which, value] = Assignment(text, "--option");
        const auto [interaction, name] = Target(all, which);
        SetOption(*interaction, name, value);
        out << "option " << which << " = " << value << "\n";
    }
    for (const std::string& text : options.values) {
        const auto [which, value] = Assignment(text, "--value");
        const auto [interaction, name] = Target(all, which);
        Require(FindParameter(*interaction, name)->put_Value(ParseNumber(value, which)));
        out << "value " << which << " = " << value << "\n";
    }
    for (const std::string& text : options.fits) {
        const auto [which, value] = Assignment(text, "--fit");
        const auto [interaction, name] = Target(all, which);
        if (value != "0" && value != "1")
            Fail("--fit " + text + ": the mark is 0 or 1");
        Require(FindParameter(*interaction, name)->put_IsToBeFitted(value == "1" ? VARIANT_TRUE : VARIANT_FALSE));
        out << "fit " << which << " = " << value << "\n";
    }
    for (const std::string& text : options.charges) {
        const auto [name, value] = Assignment(text, "--charge");
        KelvComPtr<IQoAtomType> atomType;
        Require(session.Forcefield().get_AtomType(KelvBSTR(name).Get(), atomType.Receive()));
        Require(atomType->put_Charge(ParseNumber(value, name)));
        out << "charge " << name << " = " << value << "\n";
    }
    if (!options.saveAs.empty()) {
        const std::string path = fs::absolute(options.saveAs).lexically_normal().string();
        Require(session.Editor().SaveAs(KelvBSTR(path).Get()));
        out << "saved as " << path << "\n";
    } else if (options.save && !options.argument.empty()) {
        // The library named on the command line is the user's choice: saved
        // where its path leads, as a save-as of that path.
        Require(session.Editor().SaveAs(KelvBSTR(LoadedPath(session)).Get()));
        out << "saved\n";
    } else if (options.save) {
        // No library typed: the project's state chose the file.
        session.RequireSelectedLibraryTheProjects(LoadedPath(session));
        Require(session.Editor().Save());
        out << "saved\n";
    } else {
        out << "not saved (give --save or --save-as PATH)\n";
    }
    Show(session, out);
}

}  // namespace

void AddForcefieldCommands(CommandLine& commandLine)
{
    auto options = std::make_shared<ForcefieldOptions>();
    CLI::App* command = commandLine.AddHostCommand(
        "forcefield", "Play the host's forcefield editor on the engine's library: show, edit, suggest, saved-to",
        [options](std::ostream& out) { RunForcefieldCommand(*options, out); });
    command->add_option("--project", options->project, "The project folder (default: the current folder)");
    command->add_option("action", options->action, "show [LIB], edit [LIB] ..., suggest, saved-to PATH")
        ->required()
        ->check(CLI::IsMember({"show", "edit", "suggest", "saved-to"}));
    command->add_option("argument", options->argument, "The library (show, edit) or the saved file (saved-to)");
    command->add_option("--charge", options->charges, "NAME=Q: an atom type's charge (edit)");
    command->add_option("--value", options->values, "N.PARAMETER=V: a parameter of interaction N (edit)");
    command->add_option("--fit", options->fits, "N.PARAMETER=0|1: the parameter's fit mark (edit)");
    command->add_option("--option", options->options, "N.OPTION=V: an option of interaction N (edit)");
    command->add_flag("--save", options->save, "Save the edited library over its file (edit)");
    command->add_option("--save-as", options->saveAs, "Save the edited library as PATH (edit)");
}

void RunForcefieldCommand(const ForcefieldOptions& options, std::ostream& out)
{
    const bool editing = options.action == "edit";
    if (!editing && (!options.charges.empty() || !options.values.empty() || !options.fits.empty() ||
                     !options.options.empty() || options.save || !options.saveAs.empty()))
        Fail("--charge, --value, --fit, --option, --save and --save-as belong to the edit action");
    if (options.save && !options.saveAs.empty())
        Fail("give --save or --save-as, not both");

    // A library edited and saved is read, changed and written under the
    // project's lock (and its own folder's), as a document is.
    std::unique_ptr<DocumentChangeLock> lock;
    if (editing && (options.save || !options.saveAs.empty()) && fs::is_directory(options.project))
        lock = std::make_unique<DocumentChangeLock>(options.project, options.argument);
    Session session(options.project);
    if (options.action == "suggest") {
        BSTR suggestion = nullptr;
        Require(session.Consumer().SuggestSavePath(KelvBSTR("").Get(), &suggestion));
        out << Take(suggestion) << "\n";
        return;
    }
    if (options.action == "saved-to") {
        if (options.argument.empty())
            Fail("saved-to needs the path of the saved library");
        const std::string path = fs::absolute(options.argument).lexically_normal().string();
        Require(session.Consumer().ForcefieldSavedTo(KelvBSTR(path).Get()));
        // Its name now selects it (for this run: the logic keeps no list).
        const std::string name = fs::path(path).stem().string();
        session.Select(name);
        session.Open(std::string());
        BSTR loaded = nullptr;
        Require(session.Editor().get_LoadedFilePath(&loaded));
        out << "the library \"" << ShownName(name) << "\" selects " << ShownText(Take(loaded)) << "\n";
        return;
    }
    session.Open(options.argument);
    if (editing)
        Edit(session, options, out);
    else
        Show(session, out);
}

}  // namespace ZelmHost
