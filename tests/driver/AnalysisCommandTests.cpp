// The driver's analysis commands on a project with a run's results: the
// categories and answers through the module's analysis component, a
// library made from a fitting dump, and a chart document as a picture.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "DriverRun.h"

namespace {

class AnalysisCommands : public QzTest::DriverTest {
protected:
    AnalysisCommands() : DriverTest("driver-analysis") {}
    void SetUp() override
    {
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        std::filesystem::create_directories(folder.File("p/run"));
        QzTest::WriteFile(folder.File("p/run/a.gout"), "output\n");
        QzTest::WriteFile(folder.File("p/run/a.arc"), "archive\n");
        QzTest::WriteFile(folder.File("p/run/b.gout"), "output\n");
        QzTest::WriteFile(folder.File("p/run/b.dens"), "densities\n");
    }
    static std::string Data(const std::string& name) { return std::string(QZ_TEST_DATA) + "/" + name; }

};

TEST_F(AnalysisCommands, ResultsListsEveryCategory)
{
    const QzTest::DriverOutcome outcome = Run("results p/run/b.gout --select Structure=b.gout");
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    for (const char* line : {"Results folder: " , "EnEvol: a.gout b.gout\n  selected: a.gout; contains results: yes\n",
                             "Structure: a.gout\n  selected: b.gout; contains results: yes\n",
                             "Optics: none\n  selected: none; contains results: no\n",
                             "Phonons: b.gout\n  selected: b.gout; contains results: yes\n",
                             "CanImportLibrary: no (There are no fitting results from which a library can be "
                             "generated)\n"})
        EXPECT_NE(outcome.out.find(line), std::string::npos) << line << "\n" << outcome.out;
    EXPECT_NE(outcome.out.find(folder.File("p/run/") + "\n"), std::string::npos) << outcome.out;
}

TEST_F(AnalysisCommands, LibraryFromAFittingDump)
{
    // The dump of the run named, in its folder; one elsewhere in the project
    // is no dump of this run.
    std::filesystem::copy_file(Data("forcefield/fit.res"), folder.File("p/fit.res"));
    EXPECT_EQ(Run("analyse p/run/a.gout library").code, 1);
    std::filesystem::copy_file(Data("forcefield/fit.res"), folder.File("p/run/a.res"));
    const QzTest::DriverOutcome outcome = Run("analyse p/run/a.gout library");
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("made: run/a.lib\n"), std::string::npos) << outcome.out;
    EXPECT_FALSE(std::filesystem::exists(folder.File("p/fit.lib")));
    // Again: the library is what the dump gives, so nothing changes.
    EXPECT_EQ(Run("analyse p/run/a.gout library").out,
              "no document was made or changed\nthe fitted library run/a.lib is there already, as the dump gives it\n");
    // A numbered copy that holds it, after another library and a different
    // copy, is the one named.
    std::filesystem::rename(folder.File("p/run/a.lib"), folder.File("p/run/a_3.lib"));
    QzTest::WriteFile(folder.File("p/run/a.lib"), "species\nNa core 1.0\n");
    QzTest::WriteFile(folder.File("p/run/a_2.lib"), "species\nNa core 2.0\n");
    EXPECT_EQ(Run("analyse p/run/a.gout library").out,
              "no document was made or changed\nthe fitted library run/a_3.lib is there already, as the dump gives it\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("p/run/a_4.lib")));
}

TEST_F(AnalysisCommands, FailuresAndUsage)
{
    QzTest::DriverOutcome outcome = Run("analyse p/run/a.gout library");
    EXPECT_EQ(outcome.code, 1);
    EXPECT_EQ(outcome.err, "zelm-host: There are no fitting results from which a library can be generated\n");
    outcome = Run("analyse p/run/missing.gout energy");
    EXPECT_EQ(outcome.code, 1);
    EXPECT_NE(outcome.err.find("missing.gout"), std::string::npos) << outcome.err;
    outcome = Run("analyse p/run/a.gout melt");
    EXPECT_EQ(outcome.code, 2) << outcome.err;
    outcome = Run("results p/run/a.gout --select Structure");
    EXPECT_EQ(outcome.code, 1);
    EXPECT_NE(outcome.err.find("CATEGORY=FILE"), std::string::npos) << outcome.err;
}

TEST_F(AnalysisCommands, TheBundledOptimisationsChartsAndStructure)
{
    const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
    Step("import " + examples + "rocksalt.cif --project p");
    for (const char* extension : {".gout", ".arc"})
        std::filesystem::copy_file(examples + "results/geomopt/rocksalt" + extension,
                                   folder.File(std::string("p/run/rocksalt") + extension));
    std::filesystem::copy_file(folder.File("p/rocksalt.qsd"), folder.File("p/run/rocksalt.qsd"));

    QzTest::DriverOutcome outcome = Run("analyse p/run/rocksalt.gout energy --select EnEvol=rocksalt.gout");
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    for (const char* made : {"made: run/rocksalt Energies.qcd\n", "made: run/rocksalt Convergence.qcd\n",
                             "made: run/rocksalt.qtd\n", "made: run/rocksalt.trj\n"})
        EXPECT_NE(outcome.out.find(made), std::string::npos) << made << outcome.out;

    // Drawn again from the same run, the charts keep their bytes: nothing is
    // reported changed.
    outcome = Run("analyse p/run/rocksalt.gout energy --select EnEvol=rocksalt.gout");
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "no document was made or changed\n");

    outcome = Run("analyse p/run/rocksalt.gout structure p/rocksalt.qsd --select Structure=rocksalt.gout");
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("changed: rocksalt.qsd\n"), std::string::npos) << outcome.out;

    EXPECT_EQ(Run("analyse p/run/rocksalt.gout trajectory").code, 1);
}

// The positions of a structure document's atoms, in document order.
std::vector<std::vector<double>> Positions(const std::string& document)
{
    static const std::regex position("\"position\": \\[\\s*([^,\\]]+),\\s*([^,\\]]+),\\s*([^\\]]+)\\]");
    std::vector<std::vector<double>> positions;
    const std::string text = QzTest::ReadFile(document);
    for (std::sregex_iterator it(text.begin(), text.end(), position), end; it != end; ++it)
        positions.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3])});
    return positions;
}

// A slab that is all region 1, with an attachment layer that is not its
// first atoms: the engine numbers the layer first, and its output in the
// engine's order (the slab's dimensionality before the general information,
// no region lines) is a surface run, so every atom takes its own final
// place, never its neighbour's.
TEST_F(AnalysisCommands, OneRegionSlabWithAnAttachmentLayerKeepsEachAtomInItsPlace)
{
    const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
    std::filesystem::copy_file(examples + "slab.qsd", folder.File("p/slab.qsd"));
    std::filesystem::copy_file(examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
    Step("state --project p ZelmLogic library rocksalt");
    Step("state --project p SurfaceCalculator CalculateAttachmentEnergy true");
    Step("surface --project p p/slab.qsd --select 3,4 add-attachment");
    Step("surface --project p p/slab.qsd --select 1,2,3,4,5,6,7,8 add-surface");
    Step("deck p/slab.qsd --project p --task Surface --out p/slab-run");
    const std::string deck = QzTest::ReadFile(folder.File("p/slab-run/slab.gin"));
    ASSERT_EQ(deck.find("region 2"), std::string::npos) << deck;
    const std::string stub = std::string(QZ_BIN_DIR) + "/zelm-stub";
    ASSERT_EQ(0, std::system(("cd '" + folder.File("p/slab-run") + "' && '" + stub + "' slab --steps 3 >/dev/null")
                                 .c_str()));
    const std::string output = QzTest::ReadFile(folder.File("p/slab-run/slab.gout"));
    ASSERT_LT(output.find("Dimensionality = 2"), output.find("General input information")) << output;
    ASSERT_EQ(output.find("Region 1 :"), std::string::npos) << output;

    const std::vector<std::vector<double>> before = Positions(folder.File("p/slab.qsd"));
    ASSERT_EQ(8u, before.size());
    const QzTest::DriverOutcome outcome =
        Run("analyse p/slab-run/slab.gout structure p/slab.qsd --select Structure=slab.gout");
    ASSERT_EQ(outcome.code, 0) << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find("changed: slab.qsd\n"), std::string::npos) << outcome.out;
    const std::vector<std::vector<double>> after = Positions(folder.File("p/slab.qsd"));
    ASSERT_EQ(before.size(), after.size());
    // The run moves each atom by hundredths of an angstrom; the atoms of
    // the slab stand 2.8 angstroms apart.
    for (std::size_t i = 0; i < before.size(); ++i)
        for (std::size_t k = 0; k < 3; ++k)
            EXPECT_NEAR(before[i][k], after[i][k], 0.05) << "atom " << i + 1 << ", coordinate " << k;
}

TEST_F(AnalysisCommands, ChartAsPicture)
{
    const QzTest::DriverOutcome outcome = Run("chart " + Data("hostcharts/two-charts.qcd") + " --svg charts.svg");
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "wrote charts.svg (2 charts)\n");
    EXPECT_EQ(QzTest::ReadFile(folder.File("charts.svg")).rfind("<?xml", 0), 0u);
    EXPECT_EQ(Run("chart nothing.qcd --svg x.svg").code, 1);
}

// A received chart document with texts of over a thousand characters draws
// with them shortened, and says so; a picture that cannot be written is a
// failure, not "wrote".
TEST_F(AnalysisCommands, ChartOfLongTextsAndAPictureThatCannotBeWritten)
{
    QzTest::DriverOutcome outcome = Run("chart " + Data("hostcharts/long-texts.qcd") + " --svg long.svg");
    ASSERT_TRUE(outcome.exited);
    ASSERT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("warning: The chart \"TTTT"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("the name of graph 1"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("wrote long.svg (1 chart)\n"), std::string::npos) << outcome.out;

    outcome = Run("chart " + Data("hostcharts/two-charts.qcd") + " --svg no-such-folder/x.svg");
    EXPECT_EQ(outcome.code, 1);
    EXPECT_EQ(outcome.out.find("wrote"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.err.find("no-such-folder/x.svg"), std::string::npos) << outcome.err;
}

} // namespace
