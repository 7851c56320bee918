// Library files: the writer's exact text, reading a library into the
// engine's forcefield and writing it back, and the editor's reload.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include <boost/make_shared.hpp>

#include "LibraryFiles.h"
#include "common/TestForms.h"
#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmForcefieldEditor.h"
#include "forcefield/ZelmLibWriter.h"
#include "forcefield/ZelmServerDescription.h"
#include "kelv/kelv.h"
#include "qorvira/ZelmParseUtilities.h"
#include "common/TempFolder.h"

using QzTest::TempFolder;
using fftest::DataFile;
using QzTest::ReadFile;
using QzTest::WriteFile;
using namespace std::string_literals;

namespace {

using InteractionMap = CZelmLibWriter::InteractionMap;

std::string Written(const std::list<const CAtomType*>& atomTypes, const std::list<std::string>& keptLines,
                    const InteractionMap& interactions)
{
    const CZelmServerDescription description;
    std::ostringstream stream;
    CZelmLibWriter(stream, "", atomTypes, keptLines, interactions, description);
    return stream.str();
}

// An editor whose server description also knows the test forms.
class CTestEditor : public CZelmForcefieldEditor {
public:
    CTestEditor() { testforms::RegisterTestTypes(*GetServerDescriptionPtr()); }
};

std::string Saved(CForcefieldEditor& editor, const TempFolder& folder, const std::string& name)
{
    editor.SaveAs(folder.File(name));
    return ReadFile(folder.File(name));
}

}  // namespace

TEST(LibraryWriter, EmptyForcefield)
{
    EXPECT_EQ("\nspecies\n\n\n", Written({}, {}, {}));
}

TEST(LibraryWriter, SpeciesWithChargesThatReadBackExactly)
{
    const CAtomType si("Si core", 4.0), oShell("O shel", -2.86902), zero("Ti core", 0.0),
        fitted("Na core", 0.123456789012), tiny("H shel", -1e-7);
    EXPECT_EQ("\nspecies\nSi core 4\nO shel -2.86902\nTi core 0\nNa core 0.123456789012\nH shel -1e-07\n\n\n",
              Written({&si, &oShell, &zero, &fitted, &tiny}, {}, {}));
}

TEST(LibraryWriter, KeptLinesAndInteractionsInMapOrder)
{
    const CAtomType si("Si core", 4.0);
    const InteractionMap interactions{
        {"sw2\n", {"Si core Si core 1.0 10.0 0\n"}},
        {"buck kjmol\n", {"Si core O shel 3.0 0.3 0.0 12.0 1 0 0\n"}},
        {"buck\n", {"Si core O shel 1.0 0.3 0.0 12.0 0 0 0\n", "O shel O shel 2.0 0.2 0.0 12.0 0 0 0\n"}},
    };
    EXPECT_EQ("\nspecies\nSi core 4\n\n# kept\nkeyword conp\n"
              "buck\nSi core O shel 1.0 0.3 0.0 12.0 0 0 0\nO shel O shel 2.0 0.2 0.0 12.0 0 0 0\n"
              "buck kjmol\nSi core O shel 3.0 0.3 0.0 12.0 1 0 0\n"
              "sw2\nSi core Si core 1.0 10.0 0\n\n",
              Written({&si}, {"# kept", "keyword conp"}, interactions));
}

TEST(LibraryWriter, GlueLinesAreNeverCutOtherLinesAre)
{
    std::string longLine = "Si core Si core";
    while (longLine.size() <= ZelmParseUtilities::ZelmLineLength() + 40)
        longLine += " 1.2345678901";
    longLine += "\n";
    const std::string cut = ZelmParseUtilities::ChopToZelmLength(longLine);
    ASSERT_NE(longLine, cut);

    for (const char* formLine : {"srgl\n", "eam_f glue\n", "srglue kjmol\n"}) {
        const std::string text = Written({}, {}, {{formLine, {longLine}}});
        EXPECT_EQ(std::string("\nspecies\n\n") + formLine + longLine + "\n", text) << formLine;
    }
    EXPECT_EQ("\nspecies\n\nbuck\n" + cut + "\n", Written({}, {}, {{"buck\n", {longLine}}}));
}

TEST(LibraryWriter, PathWriterReportsAFileItCannotOpen)
{
    const CZelmServerDescription description;
    const std::string path = "/nonexistent-folder-of-the-tests/out.lib";
    try {
        CZelmLibWriter(path, "", {}, {}, {}, description);
        FAIL() << "no error";
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        EXPECT_EQ(0u, error.GetMessage().rfind("Cannot open " + path + ": ", 0)) << error.GetMessage();
        EXPECT_NE(std::string::npos, error.GetMessage().find("No such file or directory")) << error.GetMessage();
    }
    TempFolder folder;
    CZelmLibWriter(folder.File("a.lib"), "", {}, {"kept"}, {}, description);
    EXPECT_EQ("\nspecies\n\nkept\n\n", ReadFile(folder.File("a.lib")));
}

// The longest lines the module writes itself (four atom types with long
// names, many parameters whose values need all their digits, a flag each)
// stay far inside the engine's line length, so nothing is ever cut off them.
TEST(LibraryWriter, TheModulesOwnLinesFitTheEngineLineLength)
{
    ParameterDescriptionList parameters;
    for (int i = 0; i < 24; ++i)
        parameters.push_back(testforms::Parameter("p" + std::to_string(i), "eV", 0.0, true, false));
    // A type of its own beside the engine's five.
    auto type = boost::make_shared<CInteractionType>("Wide four-body", 4);
    type->AddFunctionalForm(boost::make_shared<CZelmFunctionalForm>(
        "Wide (wide)", "wide", parameters, BooleanOptionDescriptionList{}, IntegerOptionDescriptionList{},
        DoubleOptionDescriptionList{}));

    std::ostringstream library;
    library << "species\n";
    const std::string names[] = {"Abcdefghijklmnop", "Bbcdefghijklmnop", "Cbcdefghijklmnop", "Dbcdefghijklmnop"};
    for (const std::string& name : names)
        library << name << " shel -1.2345678901234567e-300\n";
    TempFolder folder;
    WriteFile(folder.File("in.lib"), library.str());
    CZelmForcefieldEditor editor;
    editor.GetServerDescriptionPtr()->AddInteractionType(type);
    CForcefield& forcefield = editor.Load(folder.File("in.lib"));
    CInteraction& wide = forcefield.AddInteraction(
        "Wide four-body", "wide",
        {names[0] + " shel", names[1] + " shel", names[2] + " shel", names[3] + " shel"});
    for (CParameter& parameter : wide.GetParameters()) {
        parameter.SetValue(-1.2345678901234567e-300);
        parameter.SetIsToBeFitted(true);
    }
    const std::string line = forcefield.GetAllInteractions().begin()->second.front();
    EXPECT_GT(line.size(), 24u * 24u);
    EXPECT_LT(line.size(), ZelmParseUtilities::ZelmLineLength());
    EXPECT_EQ(line, ZelmParseUtilities::ChopToZelmLength(line));

    // And the saved library reads back to the same values and flags.
    editor.SaveAs(folder.File("out.lib"));
    CForcefield& again = editor.Load(folder.File("out.lib"));
    const CInteraction& read =
        again.GetInteraction("Wide four-body", "wide",
                             {names[0] + " shel", names[1] + " shel", names[2] + " shel", names[3] + " shel"}, 0);
    for (const CParameter& parameter : read.GetParameters()) {
        EXPECT_EQ(-1.2345678901234567e-300, parameter.GetValue());
        EXPECT_TRUE(parameter.IsToBeFitted());
    }
    EXPECT_EQ(-1.2345678901234567e-300, again.GetAtomType(names[0] + " shel").GetCharge());
}

TEST(LibraryFile, ReadsSpeciesInteractionsAndKeptLines)
{
    CTestEditor editor;
    const CForcefield& forcefield = editor.Load(DataFile("small.lib"));
    EXPECT_EQ((std::list<std::string>{"Li core", "Na core", "O core", "O shel", "Si core"}),
              forcefield.GetAtomTypeNames());
    EXPECT_EQ(0.123456789012345, forcefield.GetAtomType("Li core").GetCharge());
    EXPECT_EQ(-2.86902, forcefield.GetAtomType("O shel").GetCharge());
    EXPECT_EQ((std::list<std::string>{"# Test library written by hand", "keyword conp"}),
              static_cast<const CZelmForcefield&>(forcefield).GetKeptLines());
    EXPECT_EQ(7u, forcefield.GetInteractionEntries().size());
    EXPECT_EQ("", forcefield.GetDescription());

    // "xsw2jb" is the longer keyword "xsw2j", not "xsw2" with shifted values.
    const CInteraction& sw = forcefield.GetInteraction("Test pair", "xsw2j", {"Si core", "Si core"}, 0);
    EXPECT_EQ(4.0, sw.GetParameter(3).GetValue());
    EXPECT_EQ(5.0, sw.GetParameter(5).GetValue());
    EXPECT_TRUE(sw.GetParameter(3).IsToBeFitted());

    const CInteraction& na = forcefield.GetInteraction("Test pair", "xbuc", {"O shel", "Na core"}, 0);
    EXPECT_EQ(1226.84, na.GetParameter(0).GetValue());
    EXPECT_TRUE(na.GetParameter(1).IsToBeFitted());
    const CInteraction& oo = forcefield.GetInteraction("Test pair", "xbuc", {"O shel", "O shel"}, 0);
    EXPECT_TRUE(oo.GetBooleanOptionValue(2));
    EXPECT_EQ(0.5, oo.GetDoubleOptionValue(0));
    const CInteraction& lj = forcefield.GetInteraction("Test pair", "xlen", {"Li core", "O shel"}, 0);
    EXPECT_EQ(9, lj.GetIntegerOptionValue(0));
    EXPECT_EQ(6, lj.GetIntegerOptionValue(1));
    const CInteraction& spring = forcefield.GetInteraction("Test core", "xspr", {"O core"}, 0);
    EXPECT_TRUE(spring.GetParameter(0).IsToBeFitted());
}

TEST(LibraryFile, SavesInTheModulesLayoutAndIsStableOnTheNextRound)
{
    TempFolder folder;
    CTestEditor editor;
    editor.Load(DataFile("small.lib"));
    const std::string expected = ReadFile(DataFile("small-saved.lib"));
    EXPECT_EQ(expected, Saved(editor, folder, "first.lib"));

    CTestEditor second;
    second.Load(folder.File("first.lib"));
    EXPECT_EQ(expected, Saved(second, folder, "second.lib"));
    EXPECT_EQ(editor.GetForcefield().GetAtomTypeNames(), second.GetForcefield().GetAtomTypeNames());
    EXPECT_EQ(editor.GetForcefield().GetAllInteractions(), second.GetForcefield().GetAllInteractions());

    // Only the saved files remain: no temporary file is left behind.
    std::vector<std::string> entries = folder.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::string>{"first.lib", "second.lib"}), entries);
}

TEST(LibraryFile, WithoutRegisteredTypesEveryFormLineIsKept)
{
    TempFolder folder;
    CZelmForcefieldEditor editor;
    const CForcefield& forcefield = editor.Load(DataFile("small.lib"));
    EXPECT_TRUE(forcefield.GetInteractionEntries().empty());
    const std::list<std::string>& kept = static_cast<const CZelmForcefield&>(forcefield).GetKeptLines();
    ASSERT_EQ(15u, kept.size());
    EXPECT_EQ("xbuc", *std::next(kept.begin(), 2));
    EXPECT_EQ("Li core O shel 100.0 50.0 8.0", kept.back());

    // Saved and read again, the kept lines come back unchanged.
    const std::string first = Saved(editor, folder, "kept.lib");
    CZelmForcefieldEditor again;
    again.Load(folder.File("kept.lib"));
    EXPECT_EQ(kept, static_cast<const CZelmForcefield&>(again.GetForcefield()).GetKeptLines());
    EXPECT_EQ(first, Saved(again, folder, "kept2.lib"));
}

TEST(LibraryFile, AFailedReadLeavesNoForcefield)
{
    const CZelmServerDescription description;
    try {
        CZelmForcefield forcefield("/no/such/library.lib", description);
        FAIL() << "no error";
    } catch (const KelvResult& error) {
        EXPECT_EQ("Unable to open ZELM library file.", error.GetMessage());
    }
}

TEST(ForcefieldEditor, ReloadKeepsAnEarlierForcefieldAliveWhileItIsHeld)
{
    CTestEditor editor;
    EXPECT_FALSE(editor.HasForcefield());
    editor.MarkAllParametersNoFit();  // nothing loaded: nothing happens

    editor.Load(DataFile("small.lib"));
    const ForcefieldPtr held = editor.GetForcefieldPtr();
    const InteractionPtr interaction = held->GetInteractionPtr("Test pair", "xbuc", {"Si core", "O shel"}, 0);

    editor.Load(DataFile("other.lib"));
    EXPECT_EQ(DataFile("other.lib"), editor.GetFilePath());
    EXPECT_EQ((std::list<std::string>{"Ca core", "F core", "F shel"}), editor.GetForcefield().GetAtomTypeNames());
    EXPECT_NE(held.get(), &editor.GetForcefield());
    EXPECT_EQ(1283.907, interaction->GetParameter(0).GetValue());
    EXPECT_TRUE(held->HasAtomType("Si core"));

    // A load that fails keeps the forcefield installed before.
    EXPECT_THROW(editor.Load(DataFile("missing.lib")), KelvResult);
    EXPECT_EQ(DataFile("other.lib"), editor.GetFilePath());
    EXPECT_TRUE(editor.GetForcefield().HasAtomType("Ca core"));

    editor.Load(DataFile("small.lib"));
    editor.MarkAllParametersNoFit();
    for (const auto& entry : editor.GetForcefield().GetInteractionEntries()) {
        for (const CParameter& parameter : entry.interaction->GetParameters())
            EXPECT_FALSE(parameter.IsToBeFitted());
    }
    // The forcefield held from the first load is a different object.
    EXPECT_TRUE(interaction->GetParameter(0).IsToBeFitted());
}

// Libraries that once changed each time they were saved and loaded again
// (the saved file must be a library that loads back to the same file).
TEST(LibraryFile, SavedLibraryLoadsBackToTheSameFile)
{
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"a line ending in two carriage returns", "\0\r\r"s},
        {"a form line in a library without species section", "rydl"},
        {"form lines before the species section",
         "buck\nNa Cl 1.0 0.3 0.0 0.0 10.0\nspecies\nNa core 1\nCl core -1\n"},
        {"a species whose name holds core", "core 1"},
        {"a kept line ending a multi-line block at the end of the file", "srgl\nN"},
        {"a blank line in a multi-line block that is written last", "species\nsrgl\n \0\n\nequa"s},
        {"kept lines among equal interactions",
         "\025\216\235ions and fit flags.\n"
         "species\n"
         "Si     coree 100.02.5 1\n"
         "0 1\n"
         "axilrod\n"
         "Si.0 2.00 03.0 1\n"
         "axilrod\n"
         "Si core Si core Si core 100.0 0.1 3.0 0.2 3.0 0.3 3.0 1\n"
         "\n"
         "Si core Si core Si core 100.0 0.1 3.0 0.2 3.0 0.3 3.0 1\n"
         "bcr\000\000\000\000bond\n"
         "C 1.1 1.6 1erre 2.5 1\n"s},
        {"coefficients inline followed by a line of numbers",
         "\nspecies\nC core01\nryck \nC C core C C core \n1\n9\n"},
        {"a species named like a form keyword",
         "#ry three1\nN       c0\nN     core\0\0\n\nequatorial \nhydro tcore000.\nspecies\nSi     core  4.0\n"
         "O      core  0\nH    core 0.4orrore  0.0\n\nequato2.0 1\nhydro taper kcal\n"
         "H core O core N core 500 12.0 .0 0.0 3. 3.0 0.O \nbac 1r"s},
        // A form line written with a keyword that names a species would read
        // as an interaction, and the lines after it under the form before.
        {"a three-body form line whose keyword names a species",
         "species\nthre core 0\nC core 0\nO core 0\n\nsw3\nthree k3\nC core C core O core 200.0 15.0 120.0 1.8 1.8 2.8\n"},
        {"a hydrogen-bond form line whose keyword names a species",
         "species\nhydro core 0\nH core 0\nO core 0\nN core 0\n\nequatorial\nhydrogen taper\n"
         "H core O core N core 5000.0 1200.0 90.0 180.0 0.0 2.5 0.0 3.0 0.0 3.5\n"},
        {"a kept line under a glue form line whose keyword names a species",
         "species\neam_f core 0\nO core 0\nSi core 0\n\nbcross\neam_fx glue\neam_f O Si 0.5 2.0 3.0 2.0 2.0 3.0\n"},
        {"a blank line kept in a block whose keyword names a species",
         "species\neam_d core 0\nN core 0\n\neam_density glue\nN\n\n3\n"},
        // Kept lines of two blocks of one multi-line form line are written
        // together: a kept interaction short of values would take the other
        // block's lines of numbers as its own.
        {"a kept interaction of a multi-line block before another block's numbers",
         "species\nH core 0\n\neam_density glue\nH 0 0 0\nH\neam_density glue\n"
         "2.0 3.5 4.5\n1.0 2.0 3.0 4.0\n5.0 6.0 7.0 8.0\n9.0 10.0 11.0 12.0\n"},
        // A charge too large for a double before the species section read
        // as an infinite charge, written back as "-inf".
        {"an overflowing charge before the species section",
         "O      core  0.86902\nO      shel -2.8e902\nspecies\nSi     core  4.0\nO      core  0.86902\n"},
        {"the fuzzing input of an overflowing charge",
         ReadFile(std::string(QZ_TEST_DATA) + "/../../fuzz/seeds/library/overflowing-charge-before-species")},
        // Lines longer than the engine's line length are read as the writer
        // cuts them: what stands beyond the cut neither makes a species line
        // nor spoils an interaction.
        {"the fuzzing input of a species line longer than the engine's line",
         ReadFile(std::string(QZ_TEST_DATA) + "/../../fuzz/seeds/library/finding-long-species-line")},
        {"the fuzzing input of kept lines that look like species lines",
         ReadFile(std::string(QZ_TEST_DATA) + "/../../fuzz/seeds/library/finding-round-trip-kept-species-like-lines")},
        {"a species keyword beyond the cut, in the species section",
         "species\nO core -2\n" + std::string(1030, 'L') + " Na core 1.0\n"},
        {"a species charge beyond the cut", "species\n" + std::string(1017, 'N') + " core" + std::string(20, ' ') + "1.5\n"},
        {"an interaction whose unreadable word stands beyond the cut",
         "species\nNa core 1\n\nbuck\nNa core Na core 1.0 2.0 3.0 4.0" + std::string(1000, ' ') + "abc\n"},
        {"a form keyword beyond the cut", "species\nNa core 1\n\n" + std::string(1030, ' ') + "buck\nNa core Na core 1.0 2.0 3.0 4.0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder("lib-round-trip");
        WriteFile(folder.File("in.lib"), c.text);
        CZelmForcefieldEditor editor;
        editor.Load(folder.File("in.lib"));
        const std::string first = Saved(editor, folder, "first.lib");
        CZelmForcefieldEditor again;
        again.Load(folder.File("first.lib"));
        EXPECT_EQ(first, Saved(again, folder, "second.lib"));
    }
}

// A charge word too large for a double is no charge, before the species
// section as within it: no atom type of the library gets an infinite charge.
TEST(LibraryFile, OverflowingChargeIsNoCharge)
{
    TempFolder folder("lib-overflow");
    WriteFile(folder.File("in.lib"), "O shel -2.8e902\nspecies\nSi core 4.0\nO core 0.5\nNa core 1e999\n");
    CZelmForcefieldEditor editor;
    const CForcefield& forcefield = editor.Load(folder.File("in.lib"));
    for (const CAtomType* atomType : forcefield.GetAtomTypes())
        EXPECT_TRUE(std::isfinite(atomType->GetCharge())) << atomType->GetName();
    const std::string saved = Saved(editor, folder, "out.lib");
    EXPECT_EQ(std::string::npos, saved.find("inf")) << saved;
}

// A species whose name holds "core" keeps its charge (the keyword is looked
// for after the name).
TEST(LibraryFile, SpeciesNameHoldingCoreKeepsItsCharge)
{
    TempFolder folder("lib-core-name");
    WriteFile(folder.File("in.lib"), "species\nScore core 1.5\n");
    CZelmForcefieldEditor editor;
    const CForcefield& forcefield = editor.Load(folder.File("in.lib"));
    EXPECT_EQ(1.5, forcefield.GetAtomType("Score core").GetCharge());
}

// Form lines before the species section start blocks of their own: their
// interactions are read, not dropped or taken for species.
TEST(LibraryFile, FormLinesBeforeTheSpeciesSectionAreRead)
{
    TempFolder folder("lib-form-first");
    WriteFile(folder.File("in.lib"), "buck\nNa Cl 1.0 0.3 0.0 0.0 10.0\nspecies\nNa core 1\nCl core -1\n");
    CZelmForcefieldEditor editor;
    editor.Load(folder.File("in.lib"));
    const std::string saved = Saved(editor, folder, "out.lib");
    EXPECT_NE(std::string::npos, saved.find("\nbuck\nCl core Na core 1.0 0.3 ")) << saved;
}

// A line that holds one word of a megabyte (a piece over and over), where a
// form line may stand: among the lines before the first form, in a block,
// and read back after a save. The word is kept as text; the forms around it
// are read.
TEST(LibraryFile, AMegabyteWordIsKeptAndTheFormsAroundItRead)
{
    std::string word;
    while (word.size() < (1u << 20))
        word += "qwerty";
    TempFolder folder;
    for (const std::string& library :
         {"species\nNa core 1.0\nO core -2.0\n\n" + word + "\nbuck\nNa core O core 1.0 2.0 3.0 0.0 10.0\n",
          "species\nNa core 1.0\nO core -2.0\n\nbuck\nNa core O core 1.0 2.0 3.0 0.0 10.0\n" + word +
              "\nbuck\nO core O core 4.0 5.0 6.0 0.0 10.0\n"}) {
        CZelmForcefieldEditor editor;
        const CForcefield& forcefield = editor.Load(folder.Write("long.lib", library));
        EXPECT_FALSE(forcefield.GetInteractionEntries().empty());
        const std::string saved = Saved(editor, folder, "saved.lib");
        EXPECT_NE(saved.find("\nqwertyqwerty"), std::string::npos);
        CZelmForcefieldEditor again;
        EXPECT_EQ(again.Load(folder.File("saved.lib")).GetInteractionEntries().size(),
                  forcefield.GetInteractionEntries().size());
    }
}

// A form keyword the reader does not know opens a block kept as text, with
// whatever words follow it: its lines are not read as interactions of the
// form before it, and a save after an unrelated edit writes them as they
// stand (no fit flags added) and loads back to the same file.
TEST(LibraryFile, AnUnknownFormKeywordKeepsItsBlockThroughAnUnrelatedEdit)
{
    const std::string head = "species\nSi core 4.0\nO core -2.0\n\nbuck\nSi core O core 1.0 0.3 0.0 10.0\n";
    const std::string lines = "Si core Si core 2.0 3.0\nO core 1.5 2.5 3.5\n";
    const struct {
        const char* what;
        std::string formLine;
    } cases[] = {
        {"keyword alone", "tersoff"},
        {"keyword and a species", "tersoff Si"},
        {"keyword and two species", "tersoff Si O"},
        {"keyword and qualified species", "tersoff Si core O core"},
        {"keyword and numbers", "tersoff 1.5 2.0"},
        {"keyword and options", "tersoff combine taper"},
        {"keyword in capitals and a species", "TERSOFF O"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder("lib-unknown-form");
        CZelmForcefieldEditor editor;
        CForcefield& forcefield = editor.Load(folder.Write("in.lib", head + c.formLine + "\n" + lines));
        EXPECT_EQ(forcefield.GetInteractionEntries().size(), 1u);
        forcefield.GetAtomType("Si core").SetCharge(3.5);
        const std::string saved = Saved(editor, folder, "saved.lib");
        EXPECT_NE(saved.find("\n" + c.formLine + "\n" + lines), std::string::npos) << saved;
        EXPECT_NE(saved.find("Si core 3.5\n"), std::string::npos) << saved;
        CZelmForcefieldEditor again;
        EXPECT_EQ(again.Load(folder.File("saved.lib")).GetInteractionEntries().size(), 1u);
        EXPECT_EQ(Saved(again, folder, "again.lib"), saved);
    }
}
