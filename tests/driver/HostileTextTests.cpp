// A project from elsewhere may hold any text in the files the commands read.
// Whatever a command says about such a file, its message stays short and
// brings no control character and no malformed UTF-8 to the user's terminal.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t HostileSize = 1 << 20;

// One line of about 1 MB: terminal escape sequences (CSI, OSC, a bell), C1
// controls as UTF-8 and as single bytes, bytes of no UTF-8 character
// (invalid, overlong, a surrogate, a sequence cut short), DEL, a backspace,
// a carriage return and characters that reverse, break or hide a line.
std::string HostileBytes()
{
    const std::string unit = "\x1b]0;owned\x07\x1b[2J\xc2\x9b" "31m\x9b" "32m\xff\xfe\xc0\xaf\xed\xa0\x80\xe2\x82"
                             "A\x7f\b\r\x85\xe2\x80\xae\xe2\x80\xa8\xe2\x81\xa6\xef\xbb\xbf ";
    std::string text;
    while (text.size() < HostileSize)
        text += unit;
    return text;
}

// The same within a JSON text (a JSON file holds UTF-8 only): the controls
// written as JSON escapes.
std::string HostileJson()
{
    const std::string unit = "\\u001b]0;owned\\u0007\\u001b[2J\\u009b31m\\u0085\\u007f\\b\\r\\u202e\\u2029\\u200b ";
    std::string text;
    while (text.size() < HostileSize)
        text += unit;
    return text;
}

// A character that reorders, hides or breaks the line it stands in.
bool IsFormatCharacter(unsigned long code)
{
    return (code >= 0x200B && code <= 0x200F) || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2060 && code <= 0x2064) || (code >= 0x2066 && code <= 0x2069) || code == 0x061C ||
           code == 0xFEFF || (code >= 0xFFF9 && code <= 0xFFFB) || code == 0xE0001 ||
           (code >= 0xE0020 && code <= 0xE007F);
}

// What may reach the terminal: printable UTF-8, line breaks and tabs.
std::string FirstFault(const std::string& message)
{
    for (std::size_t i = 0; i < message.size();) {
        const unsigned char c = static_cast<unsigned char>(message[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f)
                return "control byte " + std::to_string(c) + " at " + std::to_string(i);
            ++i;
            continue;
        }
        std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > message.size())
            return "malformed UTF-8 at " + std::to_string(i);
        unsigned long code = c & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(message[i + k]);
            if ((next & 0xC0) != 0x80)
                return "malformed UTF-8 at " + std::to_string(i);
            code = (code << 6) | (next & 0x3F);
        }
        const unsigned long least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return "malformed UTF-8 at " + std::to_string(i);
        if (code >= 0x80 && code <= 0x9F)
            return "C1 control at " + std::to_string(i);
        if (IsFormatCharacter(code))
            return "format character at " + std::to_string(i);
        i += length;
    }
    return std::string();
}

class HostileText : public QzTest::DriverTest {
protected:
    HostileText() : DriverTest("hostile-text") {}

    void SetUp() override
    {
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project template");
        Step("import " + examples + "rocksalt.cif --project template");
        fs::copy_file(examples + "rocksalt.lib", folder.File("template/rocksalt.lib"));
        Step("state --project template ZelmLogic library rocksalt");
        Step("export template/rocksalt.qsd --task GeomOpt");
    }

    // A copy of the template project, for one case to spoil.
    std::string Project(const std::string& name) const
    {
        fs::copy(folder.File("template"), folder.File(name), fs::copy_options::recursive);
        return name;
    }

    // A file of the test's folder with the first `from` in it replaced.
    void EditFile(const std::string& file, const std::string& from, const std::string& to) const
    {
        const std::string path = folder.File(file);
        std::string text = QzTest::ReadFile(path);
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        QzTest::WriteFile(path, text);
    }

    // The project's state with the value of one of its keys replaced.
    void SetStateText(const std::string& project, const std::string& from, const std::string& to) const
    {
        EditFile(project + "/project-state.json", from, to);
    }

    const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
};

std::string ChartDocument(const std::string& properties, const std::string& title, const std::string& points)
{
    return "{\"format\": \"QorZelm chart document\", \"version\": 1, \"name\": \"c\", \"id\": \"{0}\", "
           "\"properties\": " + properties + ", \"charts\": [{\"title\": \"" + title +
           "\", \"xAxisTitle\": \"x\", \"yAxisTitle\": \"y\", \"graphs\": [{\"name\": \"g\", \"points\": " + points +
           "}]}]}";
}

std::string CifWith(const std::string& lines)
{
    return "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
           "_cell_angle_beta 90\n_cell_angle_gamma 90\n" + lines +
           "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
           "_atom_site_fract_z\nNa1 Na 0 0 0\n";
}

} // namespace

TEST_F(HostileText, EveryCommandQuotesAFilesTextShortAndEscaped)
{
    const std::string bytes = HostileBytes();
    const std::string json = HostileJson();
    const std::string engine = folder.File("engine.sh");
    QzTest::WriteFile(engine, "printf '@intermediate-file %s\\n' \"$(cat '" + folder.File("hostile.txt") +
                                  "')\"\ncat '" + folder.File("hostile.txt") + "' >&2\nexit 3\n");
    QzTest::WriteFile(folder.File("hostile.txt"), bytes.substr(0, 300000));

    struct Case {
        std::string what;
        std::function<std::string()> spoil;  // spoils a project, gives the command
        bool refused;
    };
    const std::string exported = "rocksalt ZELM GeomOpt";
    const std::vector<Case> cases = {
        {"run: an engine command not accepted",
         [&] {
             const std::string p = Project("engine-run");
             QzTest::WriteFile(folder.File(p + "/host-settings.json"), "{\"engines\": {\"ZELM\": \"" + json + "\"}}");
             return "run " + p + "/rocksalt.qsd";
         },
         true},
        {"engine: the project's command shown",
         [&] {
             const std::string p = Project("engine-show");
             QzTest::WriteFile(folder.File(p + "/host-settings.json"), "{\"engines\": {\"ZELM\": \"" + json + "\"}}");
             return "engine --project " + p;
         },
         false},
        {"engine: settings that are no JSON",
         [&] {
             const std::string p = Project("engine-bytes");
             QzTest::WriteFile(folder.File(p + "/host-settings.json"), "{\"engines\": {\"ZELM\": \"" + bytes + "\"}}");
             return "engine --project " + p;
         },
         true},
        {"run: an engine's error lines and announcement",
         [&] {
             const std::string p = Project("engine-output");
             Step("engine --project " + p + " 'sh " + engine + "'");
             return "run " + p + "/rocksalt.qsd";
         },
         true},
        {"deck: the library name of the state",
         [&] {
             const std::string p = Project("deck");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + json + "\"");
             return "deck " + p + "/rocksalt.qsd";
         },
         true},
        {"check: the library name of the state",
         [&] {
             const std::string p = Project("check");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + json + "\"");
             return "check " + p + "/rocksalt.qsd";
         },
         false},
        {"export: the library name of the state",
         [&] {
             const std::string p = Project("export");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + json + "\"");
             return "export " + p + "/rocksalt.qsd";
         },
         true},
        {"run: the library name of the state",
         [&] {
             const std::string p = Project("run-library");
             Step("engine --project " + p + " --stub");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + json + "\"");
             return "run " + p + "/rocksalt.qsd";
         },
         true},
        {"state: the values shown",
         [&] {
             const std::string p = Project("state-shown");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + json + "\"");
             return "state --project " + p + " ZelmLogic";
         },
         false},
        {"state: the library's value and where it was looked for",
         [&] {
             const std::string p = Project("state-library");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + json + "\"");
             return "state --project " + p + " ZelmLogic library";
         },
         false},
        {"state: a logic the host does not know",
         [&] {
             const std::string p = Project("state-logic");
             SetStateText(p, "{", "{\"" + json + "\": {},");
             return "state --project " + p + " ZelmLogic";
         },
         true},
        {"state: a property the logic does not have",
         [&] {
             const std::string p = Project("state-property");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"" + json + "\": 1");
             return "state --project " + p + " ZelmLogic";
         },
         true},
        {"state: a value not among a setting's values",
         [&] {
             const std::string p = Project("state-enum");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"rocksalt\", \"ensemble\": \"" + json + "\"");
             return "state --project " + p + " ZelmLogic";
         },
         true},
        {"state: a state file that is no JSON",
         [&] {
             const std::string p = Project("state-bytes");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + bytes + "\"");
             return "state --project " + p + " ZelmLogic";
         },
         true},
        {"start: the deck's library note",
         [&] {
             const std::string p = Project("start");
             QzTest::WriteFile(folder.File(p + "/" + exported + "/selectedLibrary.libaux"), bytes);
             return "start '" + p + "/" + exported + "/rocksalt.gin'";
         },
         true},
        {"chart: a property key",
         [&] {
             QzTest::WriteFile(folder.File("key.qcd"), ChartDocument("{\"" + json + "\": 1}", "t", "[[1, 2]]"));
             return std::string("chart key.qcd --svg key.svg");
         },
         true},
        {"chart: the title of a chart that cannot be drawn",
         [&] {
             QzTest::WriteFile(folder.File("title.qcd"),
                               ChartDocument("{}", json, "[[-1.7e308, 1], [1.7e308, 2]]"));
             return std::string("chart title.qcd --svg title.svg");
         },
         true},
        {"import: an XYZ title",
         [&] {
             QzTest::WriteFile(folder.File("bad.xyz"), bytes + "\nx\nNa 0 0 0\n");
             return std::string("import bad.xyz --project template");
         },
         true},
        {"import: a CIF Hall symbol",
         [&] {
             QzTest::WriteFile(folder.File("hall.cif"), CifWith("_space_group_name_Hall '" + bytes + "'\n"));
             return std::string("import hall.cif --project template");
         },
         true},
        {"import: a CIF symmetry operator",
         [&] {
             QzTest::WriteFile(folder.File("symop.cif"),
                               CifWith("loop_\n_symmetry_equiv_pos_as_xyz\n'x,y,z'\n'" + bytes + "'\n"));
             return std::string("import symop.cif --project template");
         },
         true},
        {"forcefield: a library's charge",
         [&] {
             const std::string p = Project("forcefield");
             QzTest::WriteFile(folder.File(p + "/bad.lib"), "species\nNa core " + bytes + "\nCl core -1\n");
             return "forcefield --project " + p + " show " + p + "/bad.lib";
         },
         false},
        {"deck: a library's species line",
         [&] {
             const std::string p = Project("deck-species");
             QzTest::WriteFile(folder.File(p + "/rocksalt.lib"), "species\nNa core " + bytes + "\nCl core -1\n");
             return "deck " + p + "/rocksalt.qsd";
         },
         true},
        {"read: an engine error line",
         [&] {
             QzTest::WriteFile(folder.File("failed.gout"), "Job Started\n!! ERROR : " + bytes + "\n");
             return std::string("read failed");
         },
         true},
        {"results: an engine error line",
         [&] {
             const std::string p = Project("results");
             fs::create_directories(folder.File(p + "/out"));
             QzTest::WriteFile(folder.File(p + "/out/failed.gout"), "Job Started\n!! ERROR : " + bytes + "\n");
             return "results " + p + "/out/failed.gout";
         },
         false},
        {"show: a document's periodicity",
         [&] {
             const std::string p = Project("show");
             const std::string path = folder.File(p + "/rocksalt.qsd");
             std::string document = QzTest::ReadFile(path);
             const std::size_t at = document.find("\"periodicity\"");
             EXPECT_NE(at, std::string::npos);
             const std::size_t value = document.find('"', document.find(':', at));
             document.replace(value, document.find('"', value + 1) - value + 1, "\"" + json + "\"");
             QzTest::WriteFile(path, document);
             return "show " + p + "/rocksalt.qsd";
         },
         true},
        {"show: the names of the document, a type and a set",
         [&] {
             const std::string p = Project("show-names");
             EditFile(p + "/rocksalt.qsd", "\"name\": \"rocksalt\"", "\"name\": \"" + json + "\"");
             EditFile(p + "/rocksalt.qsd", "\"forcefieldType\": \"\"", "\"forcefieldType\": \"" + json + "\"");
             EditFile(p + "/rocksalt.qsd", "\"sets\": []",
                      "\"sets\": [{\"name\": \"" + json + "\", \"visible\": true, \"atoms\": [0]}]");
             return "show " + p + "/rocksalt.qsd";
         },
         false},
        {"surface report: the document's name",
         [&] {
             const std::string p = Project("surface-name");
             EditFile(p + "/rocksalt.qsd", "\"name\": \"rocksalt\"", "\"name\": \"" + json + "\"");
             return "surface " + p + "/rocksalt.qsd report";
         },
         false},
        {"forcefield show: the library name of the state",
         [&] {
             const std::string p = Project("forcefield-library");
             SetStateText(p, "\"library\": \"rocksalt\"", "\"library\": \"" + json + "\"");
             return "forcefield --project " + p + " show";
         },
         true},
        {"results: the names of the run's files",
         [&] {
             const std::string p = Project("results-names");
             fs::create_directories(folder.File(p + "/out"));
             const std::string name = "\x1b]0;owned\x07\x1b[2J\x9b" "31m\xe2\x80\xae\xe2\x80\xa8\xc2\x85" + std::string(100, 'x');
             for (const std::string& run : {std::string("rocksalt"), name})
                 for (const char* extension : {".gout", ".arc"})
                     fs::copy_file(examples + "results/geomopt/rocksalt" + extension,
                                   folder.File(p + "/out/" + run + extension));
             return "results " + p + "/out/rocksalt.gout --select 'Structure=" + name + ".gout'";
         },
         false},
        {"deck: the document's name",
         [&] {
             const std::string p = Project("deck-name");
             EditFile(p + "/rocksalt.qsd", "\"name\": \"rocksalt\"", "\"name\": \"" + json + "\"");
             EditFile(p + "/rocksalt.qsd", "\"id\": \"", "\"id\": \"" + json);
             return "deck " + p + "/rocksalt.qsd";
         },
         false},
        {"types: the document's name and an element",
         [&] {
             const std::string p = Project("types-names");
             EditFile(p + "/rocksalt.qsd", "\"name\": \"rocksalt\"", "\"name\": \"" + json + "\"");
             EditFile(p + "/rocksalt.qsd", "\"element\": \"Na\"", "\"element\": \"" + json + "\"");
             return "types " + p + "/rocksalt.qsd";
         },
         false},
        {"deck --task Fit: a fit structure's name of 1 MB",
         [&] {
             const std::string p = Project("fit-name");
             const std::string document = QzTest::ReadFile(folder.File(p + "/rocksalt.qsd"));
             const std::size_t at = document.rfind("\"id\": \"{");
             const std::string id = document.substr(at + 7, document.find('"', at + 7) - at - 7);
             for (const std::string& setting :
                  {"StructureIDArray '[\"" + id + "\"]'", std::string("StructureNameArray '[\"salt\"]'"),
                   std::string("ObservableArray '[2]'"), std::string("FirstIndexArray '[0]'"),
                   std::string("SecondIndexArray '[0]'"), std::string("ValueArray '[1.0]'"),
                   std::string("UseObservable '[true]'")})
                 Step("state --project " + p + " ObservableData " + setting);
             SetStateText(p, "\"salt\"", "\"" + std::string(HostileSize, 'x') + "\"");
             return "deck " + p + "/rocksalt.qsd --task Fit";
         },
         false},
        {"surface: a document name holding a tag character, on standard error",
         [&] {
             const std::string p = Project("tag-name");
             EditFile(p + "/rocksalt.qsd", "\"name\": \"rocksalt\"", "\"name\": \"rock\\udb40\\udc41salt\"");
             return "surface " + p + "/rocksalt.qsd add-surface";
         },
         true},
        {"results: a file name holding ESC ] ... BEL, on standard error",
         [&] {
             const std::string p = Project("osc-name");
             fs::create_directories(folder.File(p + "/out"));
             return "results '" + p + "/out/a\x1b]0;owned\x07b.gout'";
         },
         true},
        {"export: the document's name",
         [&] {
             const std::string p = Project("export-name");
             EditFile(p + "/rocksalt.qsd", "\"name\": \"rocksalt\"", "\"name\": \"" + json + "\"");
             return "export " + p + "/rocksalt.qsd";
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string arguments = c.spoil();
        const QzTest::DriverOutcome outcome = Run(arguments);
        const std::string message = outcome.out + outcome.err;
        EXPECT_TRUE(outcome.exited);
        if (c.refused) {
            EXPECT_EQ(outcome.code, 1);
        }
        EXPECT_LT(message.size(), 4096u) << message.substr(0, 2000);
        EXPECT_EQ(FirstFault(message), "") << message.substr(0, 2000);
    }
}

TEST_F(HostileText, StateDefinitionsQuoteTheirNamesShortAndEscaped)
{
    const std::string json = HostileJson();
    const struct {
        std::string what;
        std::string definitions;
    } cases[] = {
        {"a type", "{\"logics\": [{\"logic\": \"L\", \"properties\": [{\"name\": \"p\", \"type\": \"" + json +
                       "\", \"default\": 1}]}]}"},
        {"a logic and a property", "{\"logics\": [{\"logic\": \"" + json + "\", \"properties\": [{\"name\": \"" +
                                       json + "\", \"type\": \"long\"}]}]}"},
        {"a property defined twice", "{\"logics\": [{\"logic\": \"L\", \"properties\": [{\"name\": \"" + json +
                                         "\", \"type\": \"long\", \"default\": 1}, {\"name\": \"" + json +
                                         "\", \"type\": \"long\", \"default\": 1}]}]}"},
    };
    const std::string path = folder.File("state-definitions.json");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QzTest::WriteFile(path, c.definitions);
        ::setenv("QZ_STATE_DEFINITIONS", path.c_str(), 1);
        const QzTest::DriverOutcome outcome = Run("state --project template ZelmLogic");
        ::unsetenv("QZ_STATE_DEFINITIONS");
        const std::string message = outcome.out + outcome.err;
        EXPECT_EQ(outcome.code, 1);
        EXPECT_NE(message.find("State definitions"), std::string::npos) << message.substr(0, 2000);
        EXPECT_LT(message.size(), 4096u) << message.substr(0, 2000);
        EXPECT_EQ(FirstFault(message), "") << message.substr(0, 2000);
    }
}

// Text of a project that a deck line would carry (a fit structure's name,
// the job's name) holding a line break
// and the keywords of the lines it would make: every command that writes a
// deck refuses it by the field's name, `check` answers no, and no deck
// anywhere in the project holds a line of the text's making.
TEST_F(HostileText, ProjectTextNeverBecomesDeckLines)
{
    const std::string lines = "end\\ndump ../../outside/pwn.res\\nlibrary evil\\noutput arc evil";
    const std::string id = [&] {
        const std::string document = QzTest::ReadFile(folder.File("template/rocksalt.qsd"));
        const std::size_t at = document.rfind("\"id\": \"{");
        return document.substr(at + 7, document.find('"', at + 7) - at - 7);
    }();
    const std::string observables = " ObservableData ";
    struct Field {
        std::string what;   // the name the refusal gives the field; "" for the clean project
        std::string value;  // JSON text of the value, its line breaks as "\n"
    };
    const Field fields[] = {
        {"", "salt"},
        {"fit observable structure name", "salt\\n" + lines},
        {"fit observable structure name", "salt\\r"},
        {"fit observable structure name", "salt\\u2028end"},
        {"fit observable structure name", "salt\\\"\\nend"},
        {"job name", "salt\\n" + lines},
    };
    const char* commands[] = {"deck", "export", "run", "check"};
    int n = 0;
    for (const Field& field : fields) {
        for (const char* command : commands) {
            const std::string p = Project("deck-text-" + std::to_string(n++));
            SCOPED_TRACE(std::string(command) + " " + field.what + " " + field.value);
            const std::string name = field.what == "fit observable structure name" ? field.value : "salt";
            for (const std::string& setting :
                 {"StructureIDArray '[\"" + id + "\"]'", "StructureNameArray '[\"" + name + "\"]'",
                  std::string("ObservableArray '[2]'"), std::string("FirstIndexArray '[0]'"),
                  std::string("SecondIndexArray '[0]'"), std::string("ValueArray '[1.0]'"),
                  std::string("UseObservable '[true]'")})
                Step("state --project " + p + observables + setting);
            if (field.what == "job name") {
                Step("state --project " + p + " QMJobTemplate AutomateJobPrefix false");
                SetStateText(p, "\"JobPrefix\": \"\"", "\"JobPrefix\": \"" + field.value + "\"");
            }
            if (std::string(command) == "run")
                Step("engine --project " + p + " --stub");
            const QzTest::DriverOutcome outcome = Run(std::string(command) + " " + p + "/rocksalt.qsd --task Fit");
            if (std::string(command) == "check") {
                EXPECT_NE(outcome.out.find(std::string("can export files:           ") +
                                           (field.what.empty() ? "yes" : "no")),
                          std::string::npos)
                    << outcome.out << outcome.err;
            } else if (field.what.empty()) {
                EXPECT_EQ(outcome.code, 0) << outcome.out << outcome.err;
            } else {
                EXPECT_EQ(outcome.code, 1) << outcome.out << outcome.err;
                EXPECT_NE(outcome.err.find("The " + field.what + " \""), std::string::npos) << outcome.err;
            }
            std::size_t decks = 0;
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder.File(p))) {
                if (entry.path().extension() != ".gin")
                    continue;
                ++decks;
                std::istringstream deck(QzTest::ReadFile(entry.path().string()));
                for (std::string line; std::getline(deck, line);) {
                    EXPECT_NE(line, "library evil") << entry.path();
                    EXPECT_NE(line, "output arc evil") << entry.path();
                    EXPECT_NE(line.rfind("dump ../../outside", 0), 0u) << entry.path();
                }
            }
            // The template's own GeomOpt export, and the Fit deck of a clean
            // project's deck or export (a run's deck goes with its engine
            // folder once its results are home).
            const bool writes = field.what.empty() && std::string(command) != "check" && std::string(command) != "run";
            EXPECT_EQ(decks, writes ? 2u : 1u);
        }
    }
}

// A word for the test's own command lines: single-quoted for the shell.
std::string Quoted(const std::string& word)
{
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Advice that prints a command names a project's folder as one shell word:
// pasted as written, the command runs on that folder, and nothing in the
// folder's name is run.
TEST_F(HostileText, AdviceQuotesAProjectsPathForTheShell)
{
    const std::string hostile = "it's $(touch pwned) `touch pwned` ; touch pwned";
    struct Case {
        std::string what;
        std::function<std::string()> spoil;  // gives the command whose refusal advises
        std::string after;                   // the advice follows this
        std::string until;                   // and ends before this
    };
    const std::vector<Case> cases = {
        {"a project folder that is not there",
         [&] { return "state --project " + Quoted("missing " + hostile) + " ZelmLogic"; }, "make it with: ", ")"},
        {"a folder that is no project",
         [&] {
             fs::create_directories(folder.File("plain " + hostile));
             return "state --project " + Quoted("plain " + hostile) + " ZelmLogic";
         },
         "make it one with: ", ")"},
        {"an engine command not accepted",
         [&] {
             const std::string p = Project("engine " + hostile);
             QzTest::WriteFile(folder.File(p + "/host-settings.json"), "{\"engines\": {\"ZELM\": \"true\"}}");
             return "run " + Quoted(p + "/rocksalt.qsd");
         },
         "accept it once with: ", " (or set"},
        {"a standard library folder moved out of the installation",
         [&] {
             const std::string p = Project("folder " + hostile);
             fs::create_directories(folder.File("elsewhere"));
             SetStateText(p, "\"ZelmLibraryFolder\": \"Resources/Virakon/ZELM/\"",
                          "\"ZelmLibraryFolder\": \"" + folder.File("elsewhere") + "\"");
             return "deck " + Quoted(p + "/rocksalt.qsd");
         },
         "clear the value with: ", "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QzTest::DriverOutcome refused = Run(c.spoil());
        EXPECT_EQ(refused.code, 1) << refused.err;
        const std::size_t from = refused.err.find(c.after + "zelm-host ");
        ASSERT_NE(from, std::string::npos) << refused.err;
        const std::size_t start = from + c.after.size() + std::string("zelm-host ").size();
        const std::size_t end = refused.err.rfind(c.until);
        ASSERT_NE(end, std::string::npos) << refused.err;
        ASSERT_GT(end, start) << refused.err;
        const std::string advice = refused.err.substr(start, end - start);
        const QzTest::DriverOutcome taken = Run(advice);
        EXPECT_EQ(taken.code, 0) << advice << "\n" << taken.out << taken.err;
        EXPECT_FALSE(fs::exists(folder.File("pwned"))) << advice;
    }
}
