// The engine stand-in: the task told from the deck's keyword line, outputs
// that the module's own readers accept, the announced snapshots, and clear
// failures for a missing or bad deck.

#include "forcefield/DumpToLibraryConverter.h"
#include "forcefield/ZelmForcefieldEditor.h"
#include "readers/ArchiveFileReader.h"
#include "readers/GeomOptReaders.h"
#include "readers/MolDynFileReader.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"
#include "readers/ZelmTrajectoryReader.h"

#include "host/model/CifImport.h"
#include "host/model/QsdFile.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

struct StubRun {
    int status = -1;
    std::vector<std::string> announced;
    std::string errors;
};

// Runs the stand-in in `folder` for the seed "rocksalt".
StubRun RunStub(const QzTest::TempFolder& folder, const std::string& options = "")
{
    const std::string command = "cd '" + folder.Path() + "' && '" + QZ_BIN_DIR + "/zelm-stub' rocksalt " + options +
                                " 2> stub.err";
    StubRun run;
    FILE* pipe = popen(command.c_str(), "r");
    char line[1024];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        run.announced.push_back(text);
    }
    const int status = pipe ? pclose(pipe) : -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = QzTest::ReadFile(folder.File("stub.err"));
    return run;
}

std::vector<std::string> LinesOf(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class Stub : public testing::Test {
protected:
    void Stage(const std::string& keywords, const std::string& body = "")
    {
        folder.Write("rocksalt.gin", keywords + "\n\ntitle\nrock salt\nend\n" + body + "library rocksalt\n");
        HostModel::SaveQsd(*HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.cif"),
                           folder.File("rocksalt.qsd"));
    }
    std::string Path(const std::string& name) const { return folder.File(name); }
    QzTest::TempFolder folder;
};

TEST_F(Stub, GeomOptOutputsReadByTheModulesReaders)
{
    Stage("opti conp conse qok nomod ");
    const StubRun run = RunStub(folder, "--steps 3");
    ASSERT_EQ(0, run.status) << run.errors;
    ASSERT_EQ(9u, run.announced.size());
    EXPECT_EQ("@intermediate-file rocksalt-step1.summary", run.announced[0]);
    EXPECT_EQ("@intermediate-file rocksalt-step3.arc", run.announced[8]);

    EXPECT_EQ(2, COutputFileReader::ScanRunType(Path("rocksalt.gout")));
    const CGeomOptOutputFileReader output(Path("rocksalt.gout"));
    EXPECT_EQ(3, output.GetDimensionality());
    EXPECT_EQ(8, output.GetCoreCount());
    EXPECT_EQ(3u, output.GetSeries1().size());
    EXPECT_DOUBLE_EQ(0.001, output.GetTolerance2());

    const CGeomOptFileReader history(Path("rocksalt.geomopt"));
    EXPECT_EQ(3u, history.GetSeries1().size());
    EXPECT_EQ(2u, history.GetSeries2().size());
    EXPECT_DOUBLE_EQ(0.00001, history.GetTolerance1());

    const CArchiveFileReader archive(Path("rocksalt.arc"), CAtomicIndexMap::Default);
    ASSERT_EQ(3u, archive.GetFrames().size());
    EXPECT_TRUE(archive.Is3DPeriodic());
    EXPECT_EQ(8u, archive.GetFrames().back().GetAtomPositions().size());
    // Each snapshot holds the frames so far.
    EXPECT_EQ(1u, CArchiveFileReader(Path("rocksalt-step1.arc"), CAtomicIndexMap::Default).GetFrames().size());
}

TEST_F(Stub, DynamicsWritesPressuresOnlyAtConstantPressureAndTheBinaryTrajectory)
{
    for (const bool npt : {true, false}) {
        Stage(npt ? "md conp conse qok nomod " : "md conv conse qok nomod ",
              npt ? "ensemble npt 0.005 0.005\noutput trajectory rocksalt.trg\n" : "");
        const StubRun run = RunStub(folder, "--steps 4");
        ASSERT_EQ(0, run.status) << run.errors;
        EXPECT_EQ(3, COutputFileReader::ScanRunType(Path("rocksalt.gout")));
        const CMolDynFileReader history(Path("rocksalt.mdynam"));
        EXPECT_EQ(npt, history.HasPressure());
        EXPECT_EQ(4u, history.GetTime().size());
        const CMolDynOutputFileReader output(Path("rocksalt.gout"));
        EXPECT_EQ(npt ? 3 : 1, output.GetEnsemble());
        EXPECT_EQ(4u, output.GetOutputFileInfo().GetCommonInfo().GetTotalEnergy().size());
        int atoms = 0, frames = 0, status = -1;
        double version = 0;
        Get_Zelm_Trajectory_File_Info(Path("rocksalt.trg").c_str(), npt ? 1 : 0, &atoms, &frames, &version, &status);
        EXPECT_EQ(0, status);
        EXPECT_EQ(8, atoms);
        EXPECT_EQ(4, frames) << npt;
    }
}

TEST_F(Stub, FitChangesOnlyTheValuesFlaggedForFittingAndDumpsInTheEnginesLayout)
{
    Stage("fit libff libd conp simu conse qok nomod ",
          "name rocksalt\ncell\n5.6402 5.6402 5.6402 90 90 90 1 1 1 1 1 1\nfractional\n"
          "Na1 core 0.0 0.0 0.0 1.0 1.0 0.0 1 1 1\nCl1 core 0.5 0.5 0.5 -1.0 1.0 0.0 1 1 1\n"
          "spacegroup\n225\nobservable\nbulk_modulus\n24\nend\ndump rocksalt.res\n");
    // Buckingham's A and the second Lennard-Jones value are flagged; the
    // lines without flags and the unflagged values stay as written.
    folder.Write("rocksalt.lib", "species\nNa core 1.0\nCl core -1.0\n# fitted below\nbuckingham\n"
                                 "Na core Cl core 1000.0 0.3 0.0 0.0 10.0 1 0 0\nlennard 12 6\n"
                                 "Cl core Cl core 1.0 2.0 0.0 12.0 0 1\nspring\nNa core 5.0\n");
    ASSERT_EQ(0, RunStub(folder).status);
    const std::string dump = QzTest::ReadFile(Path("rocksalt.res"));
    EXPECT_EQ(0u, dump.find("fit libff libd conp simu conse qok nomod \n#  \n")) << dump;
    const std::size_t structure = dump.find("name rocksalt\ncell\n");
    const std::size_t group = dump.find("\nspace\n225\ntotalenergy ");
    const std::size_t observables = dump.find("\nobservables\nbulk_modulus\n24\nend\n");
    const std::size_t species = dump.find("\nspecies   2\nNa core 1.0\nCl core -1.0\nbuckingham\n");
    ASSERT_NE(std::string::npos, structure) << dump;
    EXPECT_LT(structure, group) << dump;
    EXPECT_LT(group, observables) << dump;
    EXPECT_LT(observables, species) << dump;
    EXPECT_NE(std::string::npos, dump.find("\nNa core Cl core 1050.000000 0.3 0.0 0.0 10.0 1 0 0\n")) << dump;
    EXPECT_NE(std::string::npos, dump.find("\nlennard 12 6\nCl core Cl core 1.0 2.100000 0.0 12.0 0 1\n")) << dump;
    EXPECT_NE(std::string::npos, dump.find("\nspring\nNa core 5.0\ndump rocksalt.res\n")) << dump;
    EXPECT_EQ(std::string::npos, dump.find("fitted below")) << dump;
    // The fit road takes it: the converted library has the fitted values.
    CDumpToLibraryConverter(Path("rocksalt.res"), Path("fitted.lib"));
    CZelmForcefieldEditor editor;
    const CForcefield& fitted = editor.Load(Path("fitted.lib"));
    EXPECT_EQ(1050.0, fitted.GetInteraction("Two-body", "buck", {"Na core", "Cl core"}, 0).GetParameter(0).GetValue());
    EXPECT_EQ(0.3, fitted.GetInteraction("Two-body", "buck", {"Na core", "Cl core"}, 0).GetParameter(1).GetValue());
    EXPECT_EQ(2.1, fitted.GetInteraction("Two-body", "lenn", {"Cl core", "Cl core"}, 0).GetParameter(1).GetValue());

    std::remove(Path("rocksalt.lib").c_str());
    std::remove(Path("rocksalt.res").c_str());
    const StubRun missing = RunStub(folder);
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.errors.find("rocksalt.lib")) << missing.errors;
    EXPECT_FALSE(std::ifstream(Path("rocksalt.res")).good());
}

TEST_F(Stub, SurfaceRunTakesTheDecksRegionsInOrder)
{
    folder.Write("rocksalt.gin", "opti conv nomod qok pres \nscell\n5.64 5.64 90.0\nsfractional region 1\n"
                                 "Na1 core 0.5 0.5 -2.82 1.0 1.0 0.0 1 1 1\nCl1 core 0.0 0.5 0.0 -1.0\n"
                                 "sfractional region 2\nCl2 core 0.5 0.0 -5.64 -1.0\n"
                                 "sfractional region 3\nNa2 core 0.0 0.0 -8.46 1.0\n");
    const StubRun run = RunStub(folder, "--steps 2");
    ASSERT_EQ(0, run.status) << run.errors;
    EXPECT_EQ(5, COutputFileReader::ScanRunType(Path("rocksalt.gout")));
    // The output's surface table has the deck's three regions, its surface
    // cell stands under one blank line.
    const CGeomOptOutputFileReader output(Path("rocksalt.gout"));
    EXPECT_EQ(2, output.GetDimensionality());
    EXPECT_EQ(4, output.GetCoreCount());
    EXPECT_EQ(2u, output.GetSeries1().size());
    double a = 0, b = 0, alpha = 0;
    CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha, Path("rocksalt.gout"));
    EXPECT_EQ(5.64, a);
    EXPECT_EQ(90.0, alpha);
    const CArchiveFileReader archive(Path("rocksalt.arc"), CAtomicIndexMap::Default);
    ASSERT_EQ(2u, archive.GetFrames().size());
    EXPECT_TRUE(archive.Is2DPeriodic());
    const CArchiveFileReader snapshot(Path("rocksalt-step1.arc"), CAtomicIndexMap::Default);
    const std::vector<xxPoint3d>& first = snapshot.GetFrames().at(0).GetAtomPositions();
    ASSERT_EQ(4u, first.size());
    EXPECT_NEAR(2.82, first[0].x, 0.05);
    EXPECT_NEAR(-5.64, first[2].z, 0.05);
}

TEST_F(Stub, MissingOrBadDeckFailsClearly)
{
    const StubRun none = RunStub(folder);
    EXPECT_EQ(2, none.status);
    EXPECT_NE(std::string::npos, none.errors.find("rocksalt.gin\" cannot be opened")) << none.errors;
    EXPECT_TRUE(none.announced.empty());

    folder.Write("rocksalt.gin", "phon conse\n");
    const StubRun bad = RunStub(folder);
    EXPECT_EQ(2, bad.status);
    EXPECT_NE(std::string::npos, bad.errors.find("names no run")) << bad.errors;

    folder.Write("rocksalt.gin", "opti conse qok nomod\ncell\n5 5 5 90 90 90\n");
    const StubRun noStructure = RunStub(folder);
    EXPECT_EQ(2, noStructure.status);
    EXPECT_NE(std::string::npos, noStructure.errors.find("rocksalt.qsd")) << noStructure.errors;
}

TEST_F(Stub, EveryRunThatEndsOpensWithJobStartedAndClosesWithTheTimingAndJobFinished)
{
    const struct {
        const char* keywords;
        const char* body;
    } runs[] = {
        {"grad conp qok nomod ", ""},
        {"opti conp conse qok nomod ", ""},
        {"md conv conse qok nomod ", "ensemble nvt 0.1\n"},
        {"fit conp simu qok nomod ", "dump rocksalt.res\n"},
    };
    folder.Write("rocksalt.lib", "species\nNa core 1.0\nCl core -1.0\nbuckingham\nNa core Cl core 1000.0 0.3 0.0 0.0 10.0\n");
    for (const auto& run : runs) {
        SCOPED_TRACE(run.keywords);
        Stage(run.keywords, run.body);
        ASSERT_EQ(0, RunStub(folder, "--steps 2").status);
        const std::vector<std::string> lines = LinesOf(Path("rocksalt.gout"));
        ASSERT_GT(lines.size(), 6u);
        // After the keyword echo, before the first configuration.
        const auto configuration = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("Input for Configuration") != std::string::npos;
        });
        EXPECT_EQ(1, std::count_if(lines.begin(), configuration,
                                   [](const std::string& line) { return line.rfind("  Job Started  at ", 0) == 0; }));
        EXPECT_EQ(0u, lines.back().rfind("  Job Finished at ", 0)) << lines.back();
        EXPECT_TRUE(Has(QzTest::ReadFile(Path("rocksalt.gout")), "\n  Total CPU time ")) << run.keywords;
    }
}

TEST_F(Stub, StoppedAndKilledRunsEndAsTheEngineLeavesThem)
{
    const std::string terminated = " Program terminated by processor     0 in ";
    const struct {
        const char* options;
        const char* lastLineBegins;
        const char* holds; // empty: nothing more to find
        bool errorLine;
    } runs[] = {
        {"--engine-error 'input file is empty'", " Program terminated by processor     0 in ",
         "\n!! ERROR : input file is empty\n", true},
        {"--terminate 'Too many reciprocal lattice vectors needed' --terminate 'Probably due to unphysical cell'",
         " Program terminated by processor     0 in ",
         "  **** Too many reciprocal lattice vectors needed ****\n  **** Probably due to unphysical cell ****\n", false},
        {"--cut-off 2", "  Cycle:      1 Energy:", "  Cycle:      0 Energy:", false},
        {"--cut-off 9", "  Cycle:      3 Energy:", "", false},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.options);
        Stage("opti conp conse qok nomod ");
        const StubRun stub = RunStub(folder, std::string("--steps 4 ") + run.options);
        ASSERT_EQ(0, stub.status) << stub.errors;
        const std::string text = QzTest::ReadFile(Path("rocksalt.gout"));
        const std::vector<std::string> lines = LinesOf(Path("rocksalt.gout"));
        EXPECT_EQ(0u, lines.back().rfind(run.lastLineBegins, 0)) << lines.back();
        EXPECT_TRUE(Has(text, run.holds)) << text;
        EXPECT_EQ(run.errorLine, Has(text, "!! ERROR")) << text;
        EXPECT_TRUE(Has(text, "  Job Started  at "));
        for (const char* closing : {"Total CPU time", "Job Finished", "Optimisation achieved", "Final energy"})
            EXPECT_FALSE(Has(text, closing)) << closing;
    }
}

TEST_F(Stub, UnstableOptimisationFillsItsFieldsThenOverflowsThem)
{
    Stage("opti conp conse qok nomod ");
    ASSERT_EQ(0, RunStub(folder, "--unstable").status);
    const std::string text = QzTest::ReadFile(Path("rocksalt.gout"));
    // Values that fill their field touch their labels; larger ones are stars.
    EXPECT_TRUE(Has(text, "  Cycle:      3 Energy:-137983822.703439  Gnorm:1787732.361600  CPU:")) << text;
    EXPECT_TRUE(Has(text, "  Cycle:      4 Energy:*****************  Gnorm:**************  CPU:")) << text;
    EXPECT_TRUE(Has(text, "\n  Final energy =  ******************** eV\n")) << text;
    EXPECT_TRUE(Has(text, "\n  Job Finished at ")) << text;

    Stage("md conv conse qok nomod ");
    const StubRun dynamics = RunStub(folder, "--unstable");
    EXPECT_EQ(2, dynamics.status);
    EXPECT_TRUE(Has(dynamics.errors, "--unstable needs an optimisation deck")) << dynamics.errors;
}

TEST_F(Stub, ArchivesNameTheirWriterWithAWordOtherThanTheModules)
{
    Stage("opti conp conse qok nomod ");
    for (const char* word : {"", "MAKER", "KORVEX"}) {
        SCOPED_TRACE(word);
        const std::string options = *word ? std::string("--steps 2 --archive-word ") + word : "--steps 2";
        ASSERT_EQ(0, RunStub(folder, options).status);
        const std::string first = std::string("!") + (*word ? word : "ZELM") + " archive 3";
        for (const char* archive : {"rocksalt.arc", "rocksalt-step1.arc"})
            EXPECT_EQ(first, LinesOf(Path(archive)).at(0)) << archive;
        EXPECT_EQ(2u, CArchiveFileReader(Path("rocksalt.arc"), CAtomicIndexMap::Default).GetFrames().size());
    }
    for (const char* bad : {"''", "'two words'"}) {
        const StubRun refused = RunStub(folder, std::string("--archive-word ") + bad);
        EXPECT_EQ(2, refused.status) << bad;
        EXPECT_TRUE(Has(refused.errors, "--archive-word needs one word")) << refused.errors;
    }
}

TEST_F(Stub, SpaceGroupDeckPrintsItsAsymmetricUnitAndMovesTheWholeCell)
{
    // The module's rock-salt deck: two atoms and the group; the staged
    // structure has all eight.
    Stage("md conv conse qok nomod ", "cell\n5.6402 5.6402 5.6402 90 90 90\nfractional\n"
                                      "Na1 core 0.0 0.0 0.0 1.0 1.0 0.0 1 1 1\nCl1 core 0.5 0.5 0.5 -1.0 1.0 0.0 1 1 1\n"
                                      "spacegroup\n225\n");
    ASSERT_EQ(0, RunStub(folder, "--steps 3").status);
    const std::string text = QzTest::ReadFile(Path("rocksalt.gout"));
    EXPECT_TRUE(Has(text, "  Number of irreducible atoms/shells =       2\n")) << text;
    EXPECT_TRUE(Has(text, "  Total number atoms/shells =       8\n")) << text;
    EXPECT_TRUE(Has(text, "\n      2 Cl    c    0.500000     0.500000     0.500000 ")) << text;
    EXPECT_FALSE(Has(text, "\n      3 ")) << text;
    int atoms = 0, frames = 0, status = -1;
    double version = 0;
    Get_Zelm_Trajectory_File_Info(Path("rocksalt.trg").c_str(), 0, &atoms, &frames, &version, &status);
    EXPECT_EQ(0, status);
    EXPECT_EQ(8, atoms);
    EXPECT_EQ(3, frames);
    const CArchiveFileReader archive(Path("rocksalt.arc"), CAtomicIndexMap::Default);
    EXPECT_EQ(8u, archive.GetFrames().back().GetAtomPositions().size());

    // A deck without its group prints the cell it gives.
    Stage("md conv conse qok nomod ");
    ASSERT_EQ(0, RunStub(folder, "--steps 3").status);
    EXPECT_TRUE(Has(QzTest::ReadFile(Path("rocksalt.gout")), "  Number of irreducible atoms/shells =       8\n"));
}

TEST_F(Stub, SurfaceRowsFlagTheirFreeCoordinatesAndOneRegionHasNoRegionLine)
{
    const std::string cell = "opti conv nomod qok pres \nscell\n5.64 5.64 90.0\nsfractional region 1\n"
                             "Na1 core 0.5 0.5 0.0 1.0 1.0 0.0 1 1 0\nCl1 core 0.0 0.5 0.0 -1.0\n";
    folder.Write("rocksalt.gin", cell + "sfractional region 2\nCl2 core 0.5 0.0 -2.82 -1.0 1.0 0.0 1 1 1\n");
    ASSERT_EQ(0, RunStub(folder, "--steps 2").status);
    std::string text = QzTest::ReadFile(Path("rocksalt.gout"));
    // Region 1 moves where its flags say (all three without flags); region 2
    // is held.
    EXPECT_TRUE(Has(text, "      1 Na    c    0.500000 *   0.500000 *     0.0000     1.00000")) << text;
    EXPECT_TRUE(Has(text, "      2 Cl    c    0.000000 *   0.500000 *     0.0000 *  -1.00000")) << text;
    EXPECT_TRUE(Has(text, "      3 Cl    c    0.500000     0.000000      -2.8200    -1.00000")) << text;
    EXPECT_TRUE(Has(text, "\n  Region 1 :\n")) << text;
    // The engine's order: the configuration with its dimensionality and
    // its table (region lines too), then the general information, then the
    // output for the configuration.
    const auto inEnginesOrder = [](const std::string& output, const std::vector<std::string>& lines) {
        std::size_t at = 0;
        for (const std::string& line : lines) {
            const std::size_t next = output.find(line, at);
            if (next == std::string::npos)
                return false;
            at = next + line.size();
        }
        return true;
    };
    EXPECT_TRUE(inEnginesOrder(text, {"perform optimisation run", "Job Started", "Input for Configuration =   1",
                                      "Formula = Na1Cl2", "Dimensionality = 2", "\n  Region 1 :\n", "\n  Region 2 :",
                                      "      3 Cl    c", "General input information", "Output for configuration   1",
                                      "Start of surface optimisation"}))
        << text;
    EXPECT_EQ(5, COutputFileReader::ScanRunType(Path("rocksalt.gout")));

    folder.Write("rocksalt.gin", cell);
    ASSERT_EQ(0, RunStub(folder, "--steps 2").status);
    text = QzTest::ReadFile(Path("rocksalt.gout"));
    EXPECT_FALSE(Has(text, "Region")) << text;
    EXPECT_TRUE(Has(text, "  Dimensionality = 2               :  Surface\n")) << text;
    EXPECT_TRUE(Has(text, "\n  Start of surface optimisation :\n")) << text;
    EXPECT_TRUE(inEnginesOrder(text, {"Dimensionality = 2", "      2 Cl    c", "General input information",
                                      "Start of surface optimisation"}))
        << text;
    EXPECT_EQ(5, COutputFileReader::ScanRunType(Path("rocksalt.gout")));
    EXPECT_EQ(2, CGeomOptOutputFileReader(Path("rocksalt.gout")).GetCoreCount());
}

TEST_F(Stub, ConstantPressureRowsCarryTheEnginesSpacing)
{
    for (const bool npt : {true, false}) {
        SCOPED_TRACE(npt);
        Stage("md conv conse qok nomod ", npt ? "ensemble npt 0.005 0.005\n" : "ensemble nvt 0.1\n");
        ASSERT_EQ(0, RunStub(folder, "--steps 2").status);
        const std::string text = QzTest::ReadFile(Path("rocksalt.gout"));
        for (const char* row : {"\n       Cell parameter : a (A)   = ", "\n       Cell angle : beta  (o) = ",
                                "\n       Cell volume :   (A**3) = "})
            EXPECT_EQ(npt, Has(text, row)) << row << "\n" << text;
    }
}

} // namespace
