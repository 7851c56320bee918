// A new user's road through the driver: a fresh project, the library to
// choose, forcefield types, and messages that name what was tried.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

using Result = QzTest::DriverOutcome;

const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
const std::string driverData = std::string(QZ_TEST_DATA) + "/driver/";

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class Newcomer : public ::testing::Test {
protected:
    Result Run(const std::string& arguments) const { return QzTest::RunDriver(folder.Path(), "registry.json", arguments); }

    void Step(const std::string& arguments) const
    {
        const Result result = Run(arguments);
        ASSERT_EQ(result.code, 0) << arguments << "\n" << result.out << result.err;
    }

    void SetUp() override
    {
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + examples + "rocksalt.cif --project p");
    }

    std::string P(const std::string& name) const { return folder.File("p/" + name); }

    QzTest::TempFolder folder{"newcomer"};
};

} // namespace

TEST_F(Newcomer, AFreshProjectNamesTheLibraryThePathsLookedAtAndHowToChooseOne)
{
    const Result deck = Run("deck p/rocksalt.qsd");
    EXPECT_EQ(deck.code, 1);
    EXPECT_TRUE(Has(deck.err, "Unable to read ZELM library file.\nthe forcefield library \"dreiding\" was looked for as:"))
        << deck.err;
    EXPECT_TRUE(Has(deck.err, "/ZELM/dreiding.lib (not there)")) << deck.err;
    EXPECT_TRUE(Has(deck.err, P("dreiding.lib") + " (not there)")) << deck.err;
    EXPECT_TRUE(Has(deck.err, "select one with: zelm-host state --project " + folder.File("p") + " ZelmLogic library NAME"))
        << deck.err;
    const Result check = Run("check p/rocksalt.qsd");
    EXPECT_TRUE(Has(check.out, "library: the forcefield library \"dreiding\" was looked for as:")) << check.out;

    // The file's name with its extension selects it as well.
    std::filesystem::copy_file(examples + "rocksalt.lib", P("rocksalt.lib"));
    const Result chosen = Run("state --project p ZelmLogic library rocksalt.lib");
    EXPECT_EQ(chosen.out, "ZelmLogic.library = rocksalt\nlibrary file: " + P("rocksalt.lib") + "\n") << chosen.err;
    Step("deck p/rocksalt.qsd");
}

TEST_F(Newcomer, TypedLibraryNeedsTypesWhichTheTypesCommandGives)
{
    Step("import " + examples + "methanol.xyz --project p");
    std::filesystem::copy_file(examples + "molecular.lib", P("dreiding.lib"));
    const Result untyped = Run("export p/methanol.qsd --task Energy");
    EXPECT_EQ(untyped.code, 1);
    EXPECT_TRUE(Has(untyped.err, "Use the ZELM Preparations Options dialog to assign forcefield types.\n"
                                 "here: assign forcefield types with: zelm-host types "))
        << untyped.err;

    const Result typed = Run("types p/methanol.qsd --type C=C_3");
    ASSERT_EQ(typed.code, 0) << typed.err;
    EXPECT_TRUE(Has(typed.out, "  C -> C_3 (1 atom)\n  O -> O (1 atom)\n  H -> H (4 atoms)\n")) << typed.out;
    EXPECT_TRUE(Has(Run("show p/methanol.qsd").out, "  1  1  C  C_3  ")) << "type saved in the document";
    Step("export p/methanol.qsd --task Energy");

    EXPECT_TRUE(Has(Run("types p/methanol.qsd --type Fe=Fe").err, "no atom of element \"Fe\""));
}

TEST_F(Newcomer, ShowCountsTheOperatorsAndListsThemOnRequest)
{
    const Result plain = Run("show p/rocksalt.qsd");
    EXPECT_TRUE(Has(plain.out, "Operators: 192 (list them with --operators)\n")) << plain.out;
    EXPECT_FALSE(Has(plain.out, "  1  x,y,z")) << plain.out;
    const Result listed = Run("show p/rocksalt.qsd --operators");
    EXPECT_TRUE(Has(listed.out, "Operators: 192:\n")) << listed.out;
    EXPECT_TRUE(Has(listed.out, "  192  ")) << listed.out;
}

TEST_F(Newcomer, ForcefieldShowTellsTheLinesKeptUnread)
{
    const Result shown = Run("forcefield --project p show " + driverData + "damaged.lib");
    ASSERT_EQ(shown.code, 0) << shown.err;
    const std::size_t model = shown.out.find("interactions:\n  [1]");
    const std::size_t warnings = shown.out.find("load warnings (3 lines kept as text, not read):\n");
    ASSERT_NE(model, std::string::npos) << shown.out;
    ASSERT_NE(warnings, std::string::npos) << shown.out;
    EXPECT_LT(model, warnings);
    EXPECT_TRUE(Has(shown.out, "  line 8: Na core Na core abc 0.3 0 0 10\n    Found invalid field in the string abc\n"))
        << shown.out;
    EXPECT_TRUE(Has(shown.out, "  line 9: foo bar baz\n")) << shown.out;
    EXPECT_TRUE(Has(shown.out, "  line 11: Na core\n")) << shown.out;
    EXPECT_FALSE(Has(Run("forcefield --project p show " + examples + "rocksalt.lib").out, "load warnings"));
}

TEST_F(Newcomer, MessagesNameTheFileTried)
{
    std::filesystem::copy(examples + "results", P("results"), std::filesystem::copy_options::recursive);
    const Result optics = Run("analyse p/results/geomopt/rocksalt.gout optics");
    EXPECT_EQ(optics.code, 1);
    EXPECT_TRUE(Has(optics.err, "No output in \"" + P("results/geomopt/") + "\" has optical results")) << optics.err;
    EXPECT_FALSE(Has(optics.err, "/.gout")) << optics.err;
    const Result dispersion = Run("analyse p/results/geomopt/rocksalt.gout dispersion");
    EXPECT_TRUE(Has(dispersion.err, "\"" + P("results/geomopt/rocksalt.disp") + "\" is not there")) << dispersion.err;

    const Result folderImport = Run("import " + examples + " --project p");
    EXPECT_EQ(folderImport.code, 1);
    EXPECT_TRUE(Has(folderImport.err, "is a folder: import takes a CIF file or an XYZ file")) << folderImport.err;
}

TEST_F(Newcomer, SurfaceActionsFollowTheCalculatorsAnswer)
{
    Step("import " + examples + "methanol.xyz --project p");
    const Result molecule = Run("surface --project p p/methanol.qsd --select 1 add-surface");
    EXPECT_EQ(molecule.code, 1);
    EXPECT_TRUE(Has(molecule.err, "add-surface refused: the surface calculator answers no to CanAddToSurfaceAtomSet "
                                  "(\"methanol\" is not a 2-D periodic slab)"))
        << molecule.err;
    EXPECT_TRUE(Has(Run("show p/methanol.qsd").out, "Named sets: none")) << "nothing was added";

    std::filesystem::copy_file(examples + "slab.qsd", P("slab.qsd"));
    const Result remove = Run("surface --project p p/slab.qsd remove-surface");
    EXPECT_EQ(remove.code, 1);
    EXPECT_TRUE(Has(remove.err, "nothing to remove: the document has no \"SurfaceAtoms\" set")) << remove.err;
    EXPECT_FALSE(Has(remove.out, "done")) << remove.out;
    const Result attachment = Run("surface --project p p/slab.qsd --select 1 add-attachment");
    EXPECT_TRUE(Has(attachment.err, "SurfaceCalculator CalculateAttachmentEnergy true")) << attachment.err;
}

TEST_F(Newcomer, AnXyzFileOfSeveralFramesGivesOneAndSaysSo)
{
    const Result first = Run("import " + driverData + "hydrogen-frames.xyz --project p");
    ASSERT_EQ(first.code, 0) << first.err;
    EXPECT_TRUE(Has(first.out, "took frame 1 of 3 (skipped 2; --frame N takes another)\n")) << first.out;
    const Result second = Run("import " + driverData + "hydrogen-frames.xyz --project p --frame 2 --name second");
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_TRUE(Has(Run("show p/second.qsd").out, "| 0.000000 0.000000 0.800000")) << "the second frame's atoms";
    EXPECT_TRUE(Has(Run("import " + driverData + "hydrogen-frames.xyz --project p --frame 4").err,
                    "The file holds 3 frames; there is no frame 4."));
}

// Values out of range are refused with a plain bound: no frame 0 (and no
// 300-digit limit), no layer range outside the slab (and nothing saved).
TEST_F(Newcomer, OutOfRangeFramesAndLayersAreRefusedPlainly)
{
    const Result frame = Run("import " + driverData + "hydrogen-frames.xyz --project p --frame 0");
    EXPECT_EQ(frame.code, 2);
    EXPECT_TRUE(Has(frame.err, "frames are numbered from 1; \"0\" is no frame number")) << frame.err;
    EXPECT_LT(frame.err.size(), 200u) << frame.err;

    std::filesystem::copy_file(examples + "slab.qsd", P("slab.qsd"));
    const std::string before = QzTest::ReadFile(P("slab.qsd"));
    for (const char* range : {"5 6", "0 1", "3 1", "1 5"}) {
        const Result layer = Run(std::string("surface --project p p/slab.qsd select-layer ") + range);
        EXPECT_EQ(layer.code, 1) << range;
        EXPECT_TRUE(Has(layer.err, "the slab has 4 layers, counted from 1 at the top")) << layer.err;
        EXPECT_EQ(QzTest::ReadFile(P("slab.qsd")), before) << range;
    }
    const Result inside = Run("surface --project p p/slab.qsd select-layer 1 4");
    EXPECT_EQ(inside.code, 0) << inside.err;
    EXPECT_TRUE(Has(inside.out, "Selection: 8 atoms")) << inside.out;
}

// Messages that name what to do: the command that writes a deck's side
// files, and a Surface task of a structure that is not a slab.
TEST_F(Newcomer, StartNamesTheCommandThatWritesTheSideFilesAndSurfaceNeedsASlab)
{
    std::filesystem::copy_file(examples + "rocksalt.lib", P("rocksalt.lib"));
    Step("state --project p ZelmLogic library rocksalt");
    Step("deck p/rocksalt.qsd --task GeomOpt");
    const Result start = Run("start p/rocksalt.gin");
    EXPECT_EQ(start.code, 1);
    EXPECT_TRUE(Has(start.err, "rocksalt.trjaux\" cannot be uploaded")) << start.err;
    EXPECT_TRUE(Has(start.err, "written with it by: zelm-host export")) << start.err;

    const Result surface = Run("deck p/rocksalt.qsd --task Surface --out surface");
    EXPECT_EQ(surface.code, 1);
    EXPECT_TRUE(Has(surface.err, "A Surface run needs a slab")) << surface.err;
    EXPECT_FALSE(std::filesystem::exists(folder.File("surface"))) << "a refused deck made its folder";
    EXPECT_TRUE(Has(Run("check p/rocksalt.qsd --task Surface").out, "can export files:           no"));
    EXPECT_TRUE(Has(Run("check p/rocksalt.qsd --task GeomOpt").out, "can export files:           yes"));
}

// A library whose species lines cannot be read stops `export` and `deck`;
// `check` answers as `export` does, and a refused deck leaves no folder
// (nor the folders above it that it would have made).
TEST_F(Newcomer, CheckAnswersAsExportDoesAndARefusedDeckMakesNoFolder)
{
    QzTest::WriteFile(P("rocksalt.lib"), "species\nNa core one\nCl core -1.0\n");
    Step("state --project p ZelmLogic library rocksalt");
    const Result exported = Run("export p/rocksalt.qsd --task GeomOpt");
    EXPECT_EQ(exported.code, 1);
    EXPECT_TRUE(Has(exported.err, "species lines that cannot be read")) << exported.err;
    EXPECT_TRUE(Has(Run("check p/rocksalt.qsd --task GeomOpt").out, "can export files:           no"));

    const Result deck = Run("deck p/rocksalt.qsd --task GeomOpt --out new/deeper");
    EXPECT_EQ(deck.code, 1);
    EXPECT_TRUE(Has(deck.err, "species lines that cannot be read")) << deck.err;
    EXPECT_FALSE(std::filesystem::exists(folder.File("new"))) << "a refused deck made its folder";
    // A folder that was there stays.
    std::filesystem::create_directory(folder.File("there"));
    EXPECT_EQ(Run("deck p/rocksalt.qsd --task GeomOpt --out there/deeper").code, 1);
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("there")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("there/deeper")));
}

// Listed settings show their names; a library outside the project is
// refused when it is chosen, as a deck would refuse it.
TEST_F(Newcomer, StateNamesListedValuesAndRefusesALibraryOutsideTheProject)
{
    EXPECT_TRUE(Has(Run("state --project p ZelmLogic").out, "Task = 1 (Energy)\n"));
    const Result task = Run("state --project p ZelmLogic Task 42");
    EXPECT_EQ(task.code, 1);
    EXPECT_TRUE(Has(task.err, "takes one of: 1 \"Energy\"")) << task.err;
    EXPECT_EQ(Run("state --project p ZelmLogic ChargeOption 'From the library'").code, 1);

    std::filesystem::copy_file(examples + "rocksalt.lib", folder.File("outside.lib"));
    const Result outside = Run("state --project p ZelmLogic library " + folder.File("outside.lib"));
    EXPECT_EQ(outside.code, 1);
    EXPECT_TRUE(Has(outside.err, folder.File("outside.lib") + " is not in the current project")) << outside.err;
    EXPECT_EQ(Run("state --project p ZelmLogic library").out, "dreiding\n");
}

// `check` says an export can be made exactly when `export` makes it, and
// gives the export's reason: each refusal of the export is the check's "no",
// and `deck` and `run` refuse the same, whatever refuses it.
TEST_F(Newcomer, CheckAnswersAsExportForEveryRefusal)
{
    Step("import " + examples + "methanol.xyz --project p");
    Step("engine --project p --stub");
    const std::string observables = "state --project p ObservableData ";
    // The rock salt under another name and identifier, somewhere else.
    const auto copyOfRockSalt = [&](const std::string& path, const std::string& name, bool withAtoms) {
        std::string text = QzTest::ReadFile(P("rocksalt.qsd"));
        text = std::regex_replace(text, std::regex("\\{[0-9A-F-]+\\}"), "{0D0C0B0A-0000-4000-8000-" + name.substr(0, 4) + "00000000}",
                                  std::regex_constants::format_first_only);
        text = std::regex_replace(text, std::regex("\"name\": \"rocksalt\""), "\"name\": \"" + name + "\"");
        if (!withAtoms)
            text = text.substr(0, text.find("\"atoms\": [")) + "\"atoms\": [],\n  " + text.substr(text.find("\"bonds\":"));
        QzTest::WriteFile(path, text);
    };
    const auto idOf = [](const std::string& file) {
        std::smatch found;
        const std::string text = QzTest::ReadFile(file);
        return std::regex_search(text, found, std::regex("\\{[0-9A-F-]+\\}")) ? found.str() : std::string();
    };
    const auto rows = [&](const std::string& id, int kind) {
        return std::vector<std::string>{
            observables + "StructureIDArray '[\"" + id + "\"]'", observables + "StructureNameArray '[\"named\"]'",
            observables + "ObservableArray '[" + std::to_string(kind) + "]'", observables + "FirstIndexArray '[0]'",
            observables + "SecondIndexArray '[0]'", observables + "ValueArray '[1.0]'",
            observables + "UseObservable '[true]'"};
    };
    struct Case {
        std::string what;
        std::function<std::vector<std::string>()> steps;  // driver commands, after the files are set up
        std::string document;
        std::string task;
        bool exported;
        std::string refusal;  // a part of export's message
        bool deck = true;     // `deck` (which types no atoms and takes any folder) refuses it too
    };
    const std::string library = "state --project p ZelmLogic library rocksalt";
    const std::vector<Case> cases{
        {"the default library absent, atoms untyped", [] { return std::vector<std::string>{}; }, "p/methanol.qsd",
         "Energy", false, "Forcefield types have not been assigned", false},
        {"a typed library (uff) absent, atoms untyped",
         [] { return std::vector<std::string>{"state --project p ZelmLogic library uff"}; }, "p/rocksalt.qsd", "Energy",
         false, "Forcefield types have not been assigned", false},
        {"a typed library (dreiding) in the project, atoms untyped",
         [&] {
             std::filesystem::copy_file(examples + "rocksalt.lib", P("dreiding.lib"),
                                        std::filesystem::copy_options::overwrite_existing);
             return std::vector<std::string>{"state --project p ZelmLogic library dreiding"};
         },
         "p/rocksalt.qsd", "GeomOpt", false, "Forcefield types have not been assigned", false},
        {"the project's library", [&] { return std::vector<std::string>{library}; }, "p/rocksalt.qsd", "GeomOpt", true, ""},
        {"the selected library deleted",
         [&] {
             std::filesystem::remove(P("rocksalt.lib"));
             return std::vector<std::string>{library};
         },
         "p/rocksalt.qsd", "GeomOpt", false, "Unable to read ZELM library file."},
        {"the library path a folder",
         [&] {
             std::filesystem::remove(P("rocksalt.lib"));
             std::filesystem::create_directory(P("rocksalt.lib"));
             return std::vector<std::string>{library};
         },
         "p/rocksalt.qsd", "GeomOpt", false, "Unable to read ZELM library file."},
        {"an empty library giving the charges",
         [&] {
             QzTest::WriteFile(P("rocksalt.lib"), "");
             return std::vector<std::string>{library, "state --project p ZelmLogic ChargeOption Library"};
         },
         "p/rocksalt.qsd", "GeomOpt", false, "This forcefield library contains no charges."},
        {"a document without atoms",
         [&] {
             copyOfRockSalt(P("bare.qsd"), "bare", false);
             return std::vector<std::string>{library};
         },
         "p/bare.qsd", "GeomOpt", false, "No atoms have been found in the input scope."},
        {"a document in a folder of the project that is a link leading outside",
         [&] {
             std::filesystem::create_directories(folder.File("outside"));
             std::filesystem::create_directory_symlink(folder.File("outside"), P("linked"));
             copyOfRockSalt(P("linked/far.qsd"), "far", true);
             return std::vector<std::string>{library};
         },
         "p/linked/far.qsd", "GeomOpt", false, "cannot be made in \"" + P("linked") + "\": it is a symbolic link", false},
        {"a fit observable naming a missing document",
         [&] {
             std::vector<std::string> steps = rows("gone", 2);
             steps.insert(steps.begin(), library);
             return steps;
         },
         "p/rocksalt.qsd", "Fit", false, "The observables name the structure \"named\""},
        {"a fit observable naming a chart document",
         [&] {
             std::filesystem::create_directories(P("res"));
             for (const char* name : {"rocksalt.gout", "rocksalt.arc", "rocksalt.geomopt"})
                 std::filesystem::copy_file(examples + "results/geomopt/" + name, P("res/") + name);
             Step("read p/res/rocksalt --project p --charts");
             std::vector<std::string> steps = rows(idOf(P("rocksalt Energy.qcd")), 2);
             steps.insert(steps.begin(), library);
             return steps;
         },
         "p/rocksalt.qsd", "Fit", false, "which is not a structure document"},
        {"a fit observable of kind 42",
         [&] {
             std::vector<std::string> steps = rows(idOf(P("rocksalt.qsd")), 42);
             steps.insert(steps.begin(), library);
             return steps;
         },
         "p/rocksalt.qsd", "Fit", false, "has the kind 42, which is not one of 1 to 11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(P("rocksalt.lib"));
        std::filesystem::copy_file(examples + "rocksalt.lib", P("rocksalt.lib"));
        Step("state --project p ZelmLogic ChargeOption 'Use current'");
        for (const std::string& step : c.steps())
            Step(step);
        const Result check = Run("check " + c.document + " --task " + c.task);
        const std::size_t at = check.out.find("can export files:");
        const std::string answer = at == std::string::npos ? std::string() : check.out.substr(at, check.out.find("\n", at) - at);
        EXPECT_EQ(answer.rfind("can export files:           " + (c.exported ? std::string("yes") : "no ("), 0), 0u)
            << check.out << check.err;
        EXPECT_TRUE(Has(answer, c.refusal)) << check.out;
        std::vector<std::string> commands{"export " + c.document, "run " + c.document};
        if (c.deck)
            commands.push_back("deck " + c.document + " --out d");
        for (const std::string& command : commands) {
            const Result result = Run(command + " --task " + c.task);
            EXPECT_EQ(result.code, c.exported ? 0 : 1) << command << "\n" << result.out << result.err;
            EXPECT_TRUE(Has(result.err, c.refusal)) << command << "\n" << result.err;
        }
    }
}
