// Converting the dump of a fitting run into a library.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "LibraryFiles.h"
#include "forcefield/DumpToLibraryConverter.h"
#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmForcefieldEditor.h"
#include "forcefield/ZelmServerDescription.h"
#include "kelv/kelv.h"
#include "common/TempFolder.h"

using QzTest::TempFolder;
using fftest::DataFile;
using QzTest::ReadFile;
using QzTest::WriteFile;

namespace {

// The one interaction of the small dumps below.
const char* const SiPotential = "buck\nSi core Si core 1000.0 0.3 0.0 0.0 10.0\n";

std::string MessageOf(const std::string& dump, const std::string& library)
{
    try {
        CDumpToLibraryConverter converter(dump, library);
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        return error.GetMessage();
    }
    ADD_FAILURE() << "no KelvResult thrown";
    return std::string();
}

// The library text a dump converts to (kept lines only, when its form lines
// are unknown).
std::string Converted(const TempFolder& folder, const std::string& dump)
{
    WriteFile(folder.File("run.res"), dump);
    CDumpToLibraryConverter converter(folder.File("run.res"), folder.File("run.lib"));
    return ReadFile(folder.File("run.lib"));
}

}  // namespace

TEST(DumpConversion, RealisticDumpBecomesALibraryWithNothingToFit)
{
    if (!CZelmServerDescription().HasFunctionalForm("buck") || !CZelmServerDescription().HasFunctionalForm("spring"))
        GTEST_SKIP() << "the engine's pair and core-shell forms are not registered";
    TempFolder folder;
    const std::string library = folder.File("fit.lib");
    CDumpToLibraryConverter(DataFile("fit.res"), library);

    const std::string text = ReadFile(library);
    EXPECT_EQ(0u, text.find("\nspecies\nMg core 2\nO core 0.86902\nO shel -2.86902\n\nkeyword comp md_run")) << text;
    for (const char* dropped : {"opti", "conp", "noautobond", "title", "cell", "fractional", "observables",
                                "dump", "energy", "-40.0"})
        EXPECT_EQ(std::string::npos, text.find(dropped)) << dropped;

    CZelmForcefieldEditor editor;
    const CForcefield& forcefield = editor.Load(library);
    ASSERT_EQ(2u, forcefield.GetInteractionEntries().size());
    const CInteraction& buck = forcefield.GetInteraction("Two-body", "buck", {"Mg core", "O shel"}, 0);
    EXPECT_EQ(1428.5, buck.GetParameter(0).GetValue());
    for (const auto& entry : forcefield.GetInteractionEntries()) {
        for (const CParameter& parameter : entry.interaction->GetParameters())
            EXPECT_FALSE(parameter.IsToBeFitted()) << parameter.GetName();
    }
    EXPECT_EQ((std::vector<std::string>{"fit.lib"}), folder.Entries());
}

TEST(DumpConversion, KeywordLineDropsRunKeywordsAndTheirPieces)
{
    const struct {
        const char* first;
        const char* keywordLine;
    } cases[] = {
        {"opti conp fit", "keyword"},
        {"o e conp fitting", "keyword fitting"},  // single letters of a run keyword go; longer words stay
        {"OPTI Conp comp", "keyword comp"},
        {"md_run phon libdump spatial", "keyword md_run"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const std::string text = Converted(folder, std::string(c.first) + "\nspecies\nSi core 4.0\n" + SiPotential);
        EXPECT_EQ(0u, text.find("\nspecies\nSi core 4\n\n" + std::string(c.keywordLine))) << c.first << "\n" << text;
    }
}

TEST(DumpConversion, CommentLinesBeforeTheKeywordLine)
{
    // As the engine opens some dumps: comment lines, then the run's keywords.
    for (const char* opening : {"# \n# Keywords:\n# \n", "#\n\n  # indented\n\n"}) {
        SCOPED_TRACE(opening);
        TempFolder folder;
        const std::string text =
            Converted(folder, std::string(opening) + "opti conp fit comp md_run\n# \nspecies\nSi core 4.0\n" +
                                  SiPotential);
        EXPECT_EQ(0u, text.find("\nspecies\nSi core 4\n\nkeyword comp md_run \n")) << text;
        EXPECT_EQ(std::string::npos, text.find("#")) << text;
    }
    // A dump of comments only has no keywords and no species block.
    TempFolder folder;
    WriteFile(folder.File("run.res"), "# \n# Keywords:\n");
    EXPECT_EQ("Invalid dump file format - species block absent",
              MessageOf(folder.File("run.res"), folder.File("run.lib")));
}

TEST(DumpConversion, CopiesFromTheSpeciesLineUpToDumpOrObservables)
{
    TempFolder folder;
    const std::string text = Converted(folder,
                                       "conp\n"
                                       "before species: Na core 1.0\n"
                                       "# species in a comment does not start the block\n"
                                       "species\n"
                                       "Na core 1.0\n"
                                       "\n"
                                       "zzfirst kept line\n"
                                       "zzsecond kept line\n"
                                       "buck\nNa core Na core 1000.0 0.3 0.0 0.0 10.0\n"
                                       "the run's dump file follows\n"
                                       "zzthird line never copied\n");
    EXPECT_NE(std::string::npos, text.find("zzfirst kept line\nzzsecond kept line\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("zzthird")) << text;
    EXPECT_EQ(std::string::npos, text.find("before")) << text;
    EXPECT_EQ(std::string::npos, text.find("comment")) << text;
    EXPECT_EQ(0u, text.find("\nspecies\nNa core 1\n\n")) << text;
}

TEST(DumpConversion, FailuresNameTheFileAndLeaveTheLibraryAsItWas)
{
    TempFolder folder;
    const std::string library = folder.File("kept.lib");
    WriteFile(library, "species\nSi core 4.0\n");

    const std::string missing = folder.File("missing.res");
    EXPECT_NE(std::string::npos, MessageOf(missing, library).find(missing));
    EXPECT_EQ("species\nSi core 4.0\n", ReadFile(library));

    WriteFile(folder.File("bad.res"), "opti conp\ntitle\nno block here\n");
    EXPECT_EQ("Invalid dump file format - species block absent", MessageOf(folder.File("bad.res"), library));
    EXPECT_EQ("species\nSi core 4.0\n", ReadFile(library));

    WriteFile(folder.File("good.res"), std::string("conp\nspecies\nSi core 4.0\n") + SiPotential);
    const std::string unreachable = folder.File("no-folder/out.lib");
    EXPECT_NE(std::string::npos, MessageOf(folder.File("good.res"), unreachable).find(unreachable));

    std::vector<std::string> entries = folder.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::string>{"bad.res", "good.res", "kept.lib"}), entries);
}

TEST(DumpConversion, DumpWithoutSpeciesBlockTakesItsSpeciesFromAtomAndInteractionLines)
{
    TempFolder folder;
    const std::string library = folder.File("fit.lib");
    CDumpToLibraryConverter(DataFile("nospecies.res"), library);

    // Charges as the atom lines write them; Cu, named by an interaction
    // only, gets none from them.
    CZelmForcefieldEditor editor;
    const CForcefield& forcefield = editor.Load(library);
    std::vector<std::pair<std::string, double>> species;
    for (const CAtomType* atomType : forcefield.GetAtomTypes())
        species.emplace_back(atomType->GetName(), atomType->GetCharge());
    EXPECT_EQ((std::vector<std::pair<std::string, double>>{{"Cu core", 0.0}, {"Fe core", 0.8}, {"S core", -0.4}}),
              species);

    // Every fitted value, nothing left to fit, nothing of the structures.
    const CInteraction& feFe = forcefield.GetInteraction("Two-body", "lenn", {"Fe core", "Fe core"}, 0);
    EXPECT_EQ(1.000136, feFe.GetParameter(0).GetValue());
    EXPECT_EQ(0.12644946E-05, feFe.GetParameter(1).GetValue());
    EXPECT_EQ(1.0, forcefield.GetInteraction("Two-body", "lenn", {"Fe core", "S core"}, 0).GetParameter(1).GetValue());
    EXPECT_EQ(0.2975, forcefield.GetInteraction("Two-body", "buck", {"Cu core", "S core"}, 0).GetParameter(1).GetValue());
    ASSERT_EQ(3u, forcefield.GetInteractionEntries().size());
    for (const auto& entry : forcefield.GetInteractionEntries()) {
        for (const CParameter& parameter : entry.interaction->GetParameters())
            EXPECT_FALSE(parameter.IsToBeFitted()) << parameter.GetName();
    }
    EXPECT_TRUE(editor.GetLoadWarnings().empty());
    // Species and potentials only: the keyword line is the run's.
    const std::string text = ReadFile(library);
    for (const char* dropped : {"keyword", "comp", "pyrite", "cell", "fractional", "observables", "variables",
                                "shift", "dump", "-42."})
        EXPECT_EQ(std::string::npos, text.find(dropped)) << dropped << "\n" << text;
}

TEST(DumpConversion, SpeciesWithTwoChargesInItsAtomLinesIsRefusedByName)
{
    TempFolder folder;
    std::string dump = ReadFile(DataFile("nospecies.res"));
    const std::string second = "S     core 0.2000000 0.3780000 0.0000000 -0.40000000";
    ASSERT_NE(std::string::npos, dump.find(second));
    dump.replace(dump.find(second), second.size(), "S     core 0.2000000 0.3780000 0.0000000 -0.45000000");
    WriteFile(folder.File("run.res"), dump);
    WriteFile(folder.File("run.lib"), "species\nSi core 4.0\n");

    EXPECT_EQ("Invalid dump file format - the atom lines give the species \"S core\" two charges, "
              "-0.40000000 and -0.45000000",
              MessageOf(folder.File("run.res"), folder.File("run.lib")));
    EXPECT_EQ("species\nSi core 4.0\n", ReadFile(folder.File("run.lib")));
}

// The answer is the conversion run dry: the same reading and checks, and
// nothing written (not even a working copy). A dump converts when it holds
// a potential, read or kept as text; a value that is no number, or none at
// all, is refused naming the dump.
TEST(DumpConversion, CanConvertAnswersWhatTheConversionDoes)
{
    const std::string conflicting = "fit\nfractional\nNa core 0 0 0 1.0\nNa core 0.5 0.5 0.5 0.9\nend\n";
    const std::string fit = ReadFile(DataFile("fit.res"));
    const std::string bondOrder = "fit noflags\nspecies\nFe core 0.0\nS core 0.0\nbondorder0_bond 50.0 9.5469 0 0\n"
                                  "dump fitting.grs\n";
    const std::string nanA = "fit\nspecies\nSi core 4.0\nbuck\nSi core Si core nan 0.3 0.0 0.0 10.0 1 0\ndump x\n";
    const std::size_t tooLarge = (std::size_t{256} << 20) + 1;
    const struct {
        const char* label;
        std::string dump;  // empty: no dump file
        bool converts;
        const char* said;  // a part of the refusal
    } cases[] = {
        {"species block", ReadFile(DataFile("fit.res")), true, ""},
        {"atom lines", ReadFile(DataFile("nospecies.res")), true, ""},
        {"potentials of forms kept as text", bondOrder, true, ""},
        {"several of them", "fit noflags\nspecies\nFe core 0.0\nS core 0.0\nbondorder0_bond     50.000000     9.546900 0 0\n"
                            "bondorder1_angle     1.000000     2.000000     3.000000 0 0\ndump fitting.grs\n", true, ""},
        {"of forms kept as text, without a species block",
         "fit noflags\nname fes\ncell\n5.0 5.0 5.0 90 90 90\nfractional  1\nFe core 0 0 0 0.0 1.0 0.0\n"
         "S core 0.5 0.5 0.5 0.0 1.0 0.0\nobservables\nenergy\n-1.0 1.0\nend\nvariables\nshift\nend\n"
         "bondorder0_bond     50.000000     9.546900 0 0\ndump fitting.grs\n", true, ""},
        {"kept potentials after a read one", "fit\nspecies\nSi core 4.0\n" + std::string(SiPotential) +
                                                 "tersoff Si core\nSi core Si core 1.0 2.0\ndump x\n", true, ""},
        {"two charges", conflicting, false, "two charges"},
        {"no species at all", "opti conp\ntitle\nno block here\n", false, "species block absent"},
        {"species alone", "fit conp\nspecies\nSi core 4.0\ndump fit.grs\n", false, "holds no interaction"},
        {"cut in an interaction line", fit.substr(0, fit.find("1428") + 2), false, "is cut short"},
        {"last line whole without its line break", "fit\nspecies\nSi core 4.0\n" + std::string(SiPotential) + "dump", true, ""},
        {"the only value not a number", nanA, false, "gives \"nan\", which is no number"},
        {"infinity beside a good potential", "fit\nspecies\nSi core 4.0\n" + std::string(SiPotential) +
                                                 "Si core Si core 1.0 inf 0.0 0.0 10.0\ndump x\n", false, "\"inf\""},
        {"a hexadecimal charge", "fit\nfractional\nSi core 0 0 0 0x10\nend\n" + std::string(SiPotential) + "dump x\n",
         false, "the charge \"0x10\" of the species \"Si core\""},
        {"a charge that is no number", "fit\nfractional\nSi core 0 0 0 nan\nend\n" + std::string(SiPotential) +
                                           "dump x\n", false, "\"nan\""},
        {"larger than a dump can be", std::string("sparse"), false, "is too large"},
        {"a potential longer than the engine reads",
         "fit\nspecies\nSi core 4.0\nbuck\nSi core Si core 1000.0 0.3 0.0 0.0" + std::string(1000, ' ') + "12.5\ndump x\n",
         false, "cut before the word \"12.5\""},
        {"a long comment among the potentials",
         "fit\nspecies\nSi core 4.0\n" + std::string(SiPotential) + "# " + std::string(1100, 'x') + "\ndump x\n", true, ""},
        {"no dump", "", false, "Cannot open the dump file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        const std::string dump = folder.File("run.res");
        if (!c.dump.empty())
            WriteFile(dump, c.dump == "sparse" ? std::string("fit\n") : c.dump);
        if (c.dump == "sparse")
            std::filesystem::resize_file(dump, tooLarge);
        // Nothing written, not even a file removed again: the folder's time
        // stays to the nanosecond.
        const std::filesystem::file_time_type before = std::filesystem::last_write_time(folder.Path());
        const bool can = CDumpToLibraryConverter::CanConvert(dump, folder.File("run.lib"));
        EXPECT_TRUE(std::filesystem::last_write_time(folder.Path()) == before) << "the check wrote";
        std::string said;
        try {
            CDumpToLibraryConverter::CheckConvertible(dump, folder.File("run.lib"));
        } catch (const KelvResult& error) {
            said = error.GetMessage();
        }
        EXPECT_TRUE(folder.Entries().size() == (c.dump.empty() ? 0u : 1u)) << "the check writes nothing";
        bool converted = true;
        try {
            CDumpToLibraryConverter(dump, folder.File("run.lib"));
        } catch (const KelvResult& error) {
            converted = false;
            EXPECT_EQ(said, error.GetMessage()) << "the answer's reason is the conversion's";
        }
        EXPECT_EQ(converted, can);
        EXPECT_EQ(converted, c.converts);
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        if (!c.converts) {
            EXPECT_FALSE(std::filesystem::exists(folder.File("run.lib")));
        }
    }
}

TEST(DumpConversion, DumpWithoutSpeciesBlockLeavesItsRunLinesOut)
{
    // The structure's space group and energy, the run's accuracy, tolerances,
    // print level, minimiser switch and movie: none is a library's.
    TempFolder folder;
    const std::string library = folder.File("halite.lib");
    CDumpToLibraryConverter(DataFile("runlines.res"), library);
    const std::string text = ReadFile(library);
    for (const char* dropped : {"keyword", "opti", "regi", "space", "225", "totalenergy", "132.6", "accuracy", "18.0",
                                "xtol", "gtol", "ftol", "print", "switch", "rfo", "movie", "halite_opt", "dump"})
        EXPECT_EQ(std::string::npos, text.find(dropped)) << dropped << "\n" << text;

    CZelmForcefieldEditor editor;
    const CForcefield& forcefield = editor.Load(library);
    EXPECT_TRUE(static_cast<const CZelmForcefield&>(forcefield).GetKeptLines().empty()) << text;
    EXPECT_TRUE(editor.GetLoadWarnings().empty()) << text;
    ASSERT_EQ(2u, forcefield.GetInteractionEntries().size()) << text;
    EXPECT_EQ(1271.504, forcefield.GetInteraction("Two-body", "buck", {"Na core", "Cl core"}, 0).GetParameter(0).GetValue());
    EXPECT_EQ(1.000136, forcefield.GetInteraction("Two-body", "lenn", {"Cl core", "Cl core"}, 0).GetParameter(0).GetValue());
}

TEST(DumpConversion, DumpWithoutSpeciesBlockKeepsTheTextOfFormsItDoesNotRead)
{
    // A form line this build cannot read, between two forms it reads: its
    // lines keep their text, the fit flags at their ends included; a space
    // group given by its symbol after the potentials is no form.
    TempFolder folder;
    const std::string text = Converted(folder,
                                       "fit conp\nfractional\nNa core 0 0 0 1.0\nCl core 0.5 0.5 0.5 -1.0\n"
                                       "variables\nshift\nend\n"
                                       "buck\nNa core Cl core 1271.5 0.3147 0.0 0.0 12.0 1 1 0\n"
                                       "lennard 12 6 zzword\nNa core Cl core  2.5000  1.2500 0.0 8.0 1 0\n"
                                       "lennard 12 6\nCl core Cl core 1.0 2.0 0.0 12.0 0 1\n"
                                       "space\nF M 3 M\n"
                                       "dump fit.grs\n");
    EXPECT_NE(std::string::npos, text.find("lennard 12 6 zzword\nNa core Cl core  2.5000  1.2500 0.0 8.0 1 0\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("F M 3 M")) << text;
    EXPECT_EQ(std::string::npos, text.find("space")) << text;
    EXPECT_EQ(std::string::npos, text.find("1271.5 0.3147 0.0 0.0 12.0 1 1 0")) << "a read form is written anew\n" << text;
}

// A converter killed half-way leaves its working copy beside the library;
// the next conversion removes it, but not one of a converter still running.
TEST(DumpConversion, NextConversionRemovesTheWorkingCopyOfAKilledOne)
{
    TempFolder folder;
    const std::string stale = folder.File("run.lib.converting-999999999-0");
    const std::string running = folder.File("run.lib.converting-1-0");
    // Named like a working copy, but none a converter makes: the user's.
    const std::string users[] = {folder.File("run.lib.converting-999999999-backup"),
                                 folder.File("run.lib.converting-999999999-07"),
                                 folder.File("run.lib.converting-999999999-100")};
    WriteFile(stale, "left by a converter that was killed\n");
    WriteFile(running, "a converter still at work\n");
    for (const std::string& user : users)
        WriteFile(user, "the user's\n");
    Converted(folder, std::string("opti conp\nspecies\nSi core 4.0\n") + SiPotential);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(running));
    for (const std::string& user : users)
        EXPECT_TRUE(std::filesystem::exists(user)) << user;
}

// The engine takes a run line by the first four letters of its word or
// more: each such spelling among the potentials stays out of the library,
// and so do the values that follow it.
TEST(DumpConversion, DumpWithoutSpeciesBlockLeavesOutRunLinesAbbreviatedToFourLetters)
{
    const struct {
        const char* lines;
        const char* absent;
    } cases[] = {
        {"accu 18.0\n", "accu"},
        {"accur 18.0\n", "accur"},
        {"swit rfo gnorm 0.1\n", "swit"},
        {"outp movie arc halite_opt\n", "outp"},
        {"spac\nF M 3 M\n", "F M 3 M"},
        {"prin 1\n", "prin"},
        {"tota -132.6 eV\n", "tota"},
        {"xtol opt 5\n", "xtol"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        TempFolder folder;
        const std::string text = Converted(folder, std::string("fit conp\nfractional\nNa core 0 0 0 1.0\n"
                                                               "Cl core 0.5 0.5 0.5 -1.0\nend\n"
                                                               "buck\nNa core Cl core 1271.5 0.3147 0.0 0.0 12.0 1 1 0\n") +
                                                       c.lines +
                                                       "lennard 12 6\nCl core Cl core 1.0 2.0 0.0 12.0 0 1\n"
                                                       "dump fit.grs\n");
        EXPECT_EQ(std::string::npos, text.find(c.absent)) << text;
        CZelmForcefieldEditor editor;
        const CForcefield& forcefield = editor.Load(folder.File("run.lib"));
        EXPECT_EQ(2u, forcefield.GetInteractionEntries().size()) << text;
        EXPECT_TRUE(editor.GetLoadWarnings().empty()) << text;
    }
}
