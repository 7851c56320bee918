// A project received from a colleague chooses its forcefield library: by
// its state (the library's name, the standard library folder), by links
// shipped in it, and by the note beside a saved deck. Whatever it chooses,
// the library must lie in the project or in the installation's standard
// library folder, links followed: anything else is refused naming the file,
// and nothing from outside the project reaches it.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

namespace fs = std::filesystem;
using QzTest::DriverOutcome;

const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";

class LibraryPlace : public QzTest::DriverTest {
protected:
    LibraryPlace() : DriverTest("library-place") {}

    void SetUp() override
    {
        RockSaltProject();
        // A library of the user's, outside the project: readable, and a
        // library the engine would take.
        fs::create_directories(folder.File("outside"));
        secret = "# not for the project\n" + QzTest::ReadFile(examples + "rocksalt.lib");
        QzTest::WriteFile(Outside("secret.lib"), secret);
    }

    std::string Outside(const std::string& name) const { return folder.File("outside") + "/" + name; }

    // The project as it was sent: a value of the engine logic's state
    // written into its state file.
    void Store(const std::string& key, const std::string& value) const
    {
        const std::string file = folder.File("p/project-state.json");
        const std::string text = QzTest::ReadFile(file);
        const std::regex entry("\"" + key + "\": \"[^\"]*\"");
        std::smatch found;
        ASSERT_TRUE(std::regex_search(text, found, entry)) << key;
        std::string escaped;
        for (const char c : value) {
            escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        QzTest::WriteFile(file, found.prefix().str() + "\"" + key + "\": \"" + escaped + "\"" + found.suffix().str());
    }

    // Whether a file of the project (links left out) holds the outside
    // library's text: a copy made for a job, a deck folder or anything.
    bool SecretCopiedIntoProject() const
    {
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder.File("p"), error), end; it != end; it.increment(error)) {
            if (error) {
                break;
            }
            if (fs::is_regular_file(it->symlink_status()) && QzTest::ReadFile(it->path().string()) == secret) {
                return true;
            }
        }
        return false;
    }

    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    std::string secret;
};

// Refused by name: the command fails, names what it refuses, and the bare
// texts of an error code stand nowhere.
void ExpectRefused(const DriverOutcome& outcome, const std::string& command, const std::vector<std::string>& parts)
{
    const std::string said = outcome.out + outcome.err;
    EXPECT_EQ(outcome.code, 1) << command << "\n" << said;
    for (const std::string& part : parts) {
        EXPECT_TRUE(said.find(part) != std::string::npos) << command << ": no \"" << part << "\" in\n" << said;
    }
    EXPECT_EQ(said.find("Access is denied."), std::string::npos) << command << "\n" << said;
    EXPECT_EQ(said.find("Catastrophic failure"), std::string::npos) << command << "\n" << said;
}

}  // namespace

// The state's "ZelmLibraryFolder" can lead the standard library folder
// anywhere on the machine: a value that does not come to the installation's
// own folder is refused wherever the folder is used.
TEST_F(LibraryPlace, AStandardFolderElsewhereIsRefusedByEveryCommand)
{
    Step("export p/rocksalt.qsd");
    std::string upwards;
    for (int i = 0; i < 40; ++i) {
        upwards += "../";
    }
    const std::string moved = upwards + folder.File("outside").substr(1) + "/";
    Store("ZelmLibraryFolder", moved);
    Store("library", "secret");

    for (const std::string command :
         {"state --project p ZelmLogic library secret", "deck p/rocksalt.qsd --out d", "check p/rocksalt.qsd",
          "export p/rocksalt.qsd", "run p/rocksalt.qsd", "start 'p/rocksalt ZELM Energy/rocksalt.gin'"}) {
        ExpectRefused(Run(command), command,
                      {moved + " is not in the current project", "ZelmLogic.ZelmLibraryFolder"});
    }
    EXPECT_FALSE(SecretCopiedIntoProject());
    EXPECT_FALSE(fs::exists(folder.File("d/rocksalt.gin")));

    // The installation's folder however it is spelt is the folder.
    Store("library", "rocksalt");
    for (const std::string spelt : {"Resources/./Virakon/ZELM", "Resources\\Virakon\\ZELM\\",
                                    "Resources/Virakon/ZELM/../ZELM/"}) {
        Store("ZelmLibraryFolder", spelt);
        const DriverOutcome deck = Run("deck p/rocksalt.qsd --out d");
        EXPECT_EQ(deck.code, 0) << spelt << "\n" << deck.out << deck.err;
    }
}

// A library shipped as a link to a file outside the project is not read,
// written into a deck or uploaded, whether the state names it bare or with
// its extension.
TEST_F(LibraryPlace, ALibraryLinkLeavingTheProjectIsRefused)
{
    fs::create_symlink(Outside("secret.lib"), folder.File("p/evil.lib"));
    const std::string refusal = folder.File("p/evil.lib") + " is not in the current project: a link leads it to \"" +
                                fs::canonical(Outside("secret.lib")).string() + "\"";
    ExpectRefused(Run("state --project p ZelmLogic library evil"), "state", {refusal});
    for (const std::string stored : {"evil", "evil.lib"}) {
        Store("library", stored);
        for (const std::string command : {"deck p/rocksalt.qsd --out d", "export p/rocksalt.qsd", "run p/rocksalt.qsd"}) {
            ExpectRefused(Run(command), stored + ": " + command, {refusal});
        }
        EXPECT_TRUE(Has(Run("check p/rocksalt.qsd").out, refusal)) << stored;
    }
    EXPECT_FALSE(SecretCopiedIntoProject());
    EXPECT_FALSE(fs::exists(folder.File("d/rocksalt.gin")));

    // A link in the project to a library of the project is that library.
    fs::create_symlink("rocksalt.lib", folder.File("p/alias.lib"));
    Step("state --project p ZelmLogic library alias");
    const DriverOutcome run = Run("run p/rocksalt.qsd");
    ASSERT_EQ(run.code, 1) << run.out << run.err; // staged; the project sets no engine
    EXPECT_TRUE(Has(run.err, "\" and not run: the project")) << run.err;
    EXPECT_TRUE(fs::exists(folder.File("p/.server/rocksalt/alias.lib"))) << run.out;
}

// The note beside a saved deck ("selectedLibrary.libaux") names the library
// that the deck's job uploads, and is uploaded itself: either leading
// outside the project is refused, naming the file and why, before anything
// is staged.
TEST_F(LibraryPlace, ASavedDecksNoteLeadsNowhereOutside)
{
    Step("export p/rocksalt.qsd");
    const std::string deck = folder.File("p/rocksalt ZELM Energy");
    const std::string note = deck + "/selectedLibrary.libaux";
    fs::create_symlink(Outside("secret.lib"), folder.File("p/evil.lib"));
    QzTest::WriteFile(Outside("note.libaux"), "rocksalt\nNotStandardLibrary\n/rocksalt.lib\n");
    std::string upwards;
    for (int i = 0; i < 40; ++i) {
        upwards += "../";
    }

    struct Case {
        std::string what;
        std::string content;  // the note's text; "->" + a path: a link there; "folder": a folder
        std::vector<std::string> said;
    };
    const std::vector<Case> cases{
        {"a note that is a link out", "->" + Outside("note.libaux"),
         {note + " is not in the current project: a link leads it to"}},
        {"a note naming a library link out", "evil\nNotStandardLibrary\n/evil.lib\n",
         {folder.File("p/evil.lib") + " is not in the current project: a link leads it to", note}},
        {"a note climbing out of the project", "secret\nNotStandardLibrary\n/../outside/secret.lib\n",
         {folder.File("p/../outside/secret.lib") + " is not in the current project", note}},
        {"a standard note climbing out", upwards + folder.File("outside/secret").substr(1) + "\nStandardLibrary\n",
         {"outside/secret.lib is not in the current project", note}},
        {"a note that is a folder", "folder", {"The library note \"" + note + "\" is a folder"}},
    };
    for (const Case& c : cases) {
        fs::remove_all(note);
        if (c.content == "folder") {
            fs::create_directory(note);
        } else if (c.content.rfind("->", 0) == 0) {
            fs::create_symlink(c.content.substr(2), note);
        } else {
            QzTest::WriteFile(note, c.content);
        }
        ExpectRefused(Run("start 'p/rocksalt ZELM Energy/rocksalt.gin'"), c.what, c.said);
        EXPECT_FALSE(SecretCopiedIntoProject()) << c.what;
        EXPECT_FALSE(fs::exists(folder.File("p/.server"))) << c.what;
    }
}

// The forcefield command with no library typed takes the one the project's
// state selects: it shows it only from the project or the standard library
// folder, and saves over it only in the project. Anything else is refused
// naming the file, and nothing outside is read, shown or written; a library
// typed on the command line is the user's choice and is saved where it leads.
TEST_F(LibraryPlace, TheForcefieldCommandShowsAndSavesOnlyTheProjectsLibrary)
{
    fs::create_symlink(Outside("secret.lib"), folder.File("p/evil.lib"));
    const std::string standard = std::string(QZ_LIB_DIR) + "/../share/qzhost/core/Resources/Virakon/ZELM/halides.lib";
    ASSERT_TRUE(fs::exists(standard));
    const std::string standardText = QzTest::ReadFile(standard);
    const std::string notInProject = " is not in the current project";
    const std::string adviceToSaveAs = "save the edited library with --save-as PATH";
    // The surface calculator takes its charges from the library.
    fs::copy_file(examples + "slab.qsd", folder.File("p/slab.qsd"));
    Step("state --project p ZelmLogic ChargeOption Library");
    fs::create_directories(folder.File("p/sub"));
    fs::copy_file(folder.File("p/rocksalt.lib"), folder.File("p/sub/rocksalt.lib"));

    struct Case {
        std::string what;
        std::string selected;               // the state's "library"
        std::vector<std::string> showSaid;  // empty: shown
        std::vector<std::string> saveSaid;  // empty: saved
    };
    const std::vector<Case> cases{
        {"an absolute path outside", Outside("secret"), {Outside("secret.lib") + notInProject}, {}},
        // A relative path is the project's, wherever the command runs.
        {"a relative path climbing out", "../outside/secret", {folder.File("p/../outside/secret.lib") + notInProject}, {}},
        {"a relative path inside the project", "sub/rocksalt", {}, {}},
        {"a link of the project leading out", "evil",
         {folder.File("p/evil.lib") + notInProject + ": a link leads it to"}, {}},
        {"a standard library", "halides", {},
         {standard.substr(standard.rfind("/Resources/")) + notInProject + ": it is a standard library of the installation",
          adviceToSaveAs}},
        {"the project's library", "rocksalt", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store("library", c.selected);
        const DriverOutcome show = Run("forcefield --project p show");
        if (c.showSaid.empty()) {
            EXPECT_EQ(show.code, 0) << show.out << show.err;
        } else {
            ExpectRefused(show, "show", c.showSaid);
        }
        const DriverOutcome surface = Run("surface --project p p/slab.qsd report");
        for (const std::string& part : c.showSaid) {
            EXPECT_TRUE(Has(surface.out, "Dipole moment: not available: " + part)) << surface.out << surface.err;
        }
        if (c.showSaid.empty()) {
            EXPECT_FALSE(Has(surface.out, "Dipole moment: not available")) << surface.out;
        }
        const std::string edit = "forcefield --project p edit --charge 'Cl core=-0.5' --save";
        const DriverOutcome save = Run(edit);
        if (!c.showSaid.empty()) {
            ExpectRefused(save, edit, c.showSaid);
        } else if (!c.saveSaid.empty()) {
            ExpectRefused(save, edit, c.saveSaid);
            const std::string saveAs = "forcefield --project p edit --charge 'Cl core=-0.5' --save-as p/mine.lib";
            const DriverOutcome copy = Run(saveAs);
            EXPECT_EQ(copy.code, 0) << copy.out << copy.err;
            EXPECT_TRUE(Has(QzTest::ReadFile(folder.File("p/mine.lib")), "Cl core -0.5\n"));
        } else {
            EXPECT_EQ(save.code, 0) << save.out << save.err;
            EXPECT_TRUE(Has(QzTest::ReadFile(folder.File("p/" + c.selected + ".lib")), "Cl core -0.5\n"));
        }
        EXPECT_FALSE(Has(show.out + save.out, "# not for the project"));
        EXPECT_EQ(QzTest::ReadFile(Outside("secret.lib")), secret);
        EXPECT_EQ(QzTest::ReadFile(standard), standardText);
        std::vector<std::string> outsideFiles;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder.File("outside"))) {
            outsideFiles.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(outsideFiles, std::vector<std::string>{"secret.lib"});
    }

    // Typed on the command line, a library outside is the user's own choice.
    const DriverOutcome typed = Run("forcefield --project p edit " + Outside("secret.lib") + " --charge 'Cl core=-0.25' --save");
    EXPECT_EQ(typed.code, 0) << typed.out << typed.err;
    EXPECT_TRUE(Has(QzTest::ReadFile(Outside("secret.lib")), "Cl core -0.25\n"));
}

// The engine reads a line of a library to its line length (1,023 columns):
// a data line longer than that, with a word beyond the column, is refused
// by every command that hands the library to the engine, naming the line
// and the word; a long comment is only cut, and trailing blanks cut nothing.
TEST_F(LibraryPlace, ALibraryWhoseDataLinesTheEngineWouldReadCutIsRefused)
{
    const std::string original = QzTest::ReadFile(examples + "rocksalt.lib");
    const std::string pad(1016, ' ');
    struct Case {
        std::string what;
        std::string library;
        std::string cut;  // the word named; empty: the library is taken
    };
    const std::vector<Case> cases{
        {"a charge across the column", "species\nNa core 1.0\nCl core" + pad + "-1.25\n", "-1.25"},
        {"a value across the column", original + "buck\nNa core Cl core 1.0 0.3 0.0 0.0" + pad + "12.5\n", "12.5"},
        {"a form option across the column", original + "buck" + pad + "   kcal\nNa core Cl core 1 0.3 0 0 9\n",
         "kcal"},
        {"a long comment", original + "# " + std::string(600, 'x') + " " + std::string(600, 'y') + "\n", ""},
        {"trailing blanks", "species\nNa core 1.0" + std::string(1100, ' ') + "\nCl core -1.0\n", ""},
    };
    for (const Case& c : cases) {
        QzTest::WriteFile(folder.File("p/rocksalt.lib"), c.library);
        for (const std::string command : {"deck p/rocksalt.qsd --out d", "export p/rocksalt.qsd", "run p/rocksalt.qsd"}) {
            const DriverOutcome outcome = Run(command);
            if (c.cut.empty()) {
                // No engine is set: a run that is taken is staged and not run.
                const bool taken = outcome.code == 0 || Has(outcome.err, "and not run");
                EXPECT_TRUE(taken) << c.what << ": " << command << "\n" << outcome.out << outcome.err;
            } else {
                ExpectRefused(outcome, c.what + ": " + command,
                              {"rocksalt.lib\" has lines longer than the 1023 columns", "before the word \"" + c.cut + "\""});
            }
        }
        EXPECT_TRUE(Has(Run("check p/rocksalt.qsd").out,
                        std::string("can export files:           ") + (c.cut.empty() ? "yes" : "no")))
            << c.what;
        fs::remove_all(folder.File("p/.server"));
    }
}
