// The main output reader: run type, dimensionality, atom table, and the
// oscillator-strength and density-of-states files beside the output.

#include "readers/OutputFileReader.h"
#include "readers/EngineLines.h"

#include "ReaderFiles.h"

#include "kelv/kelv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

using QzTest::ReaderFolder;

namespace {

const std::string Rule(80, '-');

std::string Totals()
{
    return "  Number of irreducible atoms/shells =       2\n  Total number atoms/shells =       2\n";
}

std::string TableHeader()
{
    return Rule + "\n   No.  Atomic       x           y          z         Charge      Occupancy\n" +
           "        Label      (Frac)      (Frac)     (Frac)        (e)         (Frac)\n" + Rule + "\n";
}

std::string Row(int n, const char* label, const char* kind)
{
    return "  " + std::to_string(n) + " " + label + " " + kind + "  0.0 0.0 0.0  1.0  1.0\n";
}

std::string OscBlock(const std::string& modes, int count)
{
    return "# zone-centre modes\noscillator strengths and phonon frequencies " + std::to_string(count) + "\n" +
           modes + "high frequency dielectric constant tensor\n 2.5 0.0 0.0\n 0.0 2.5 0.0\n 0.0 0.0 2.6\n";
}

std::string Mode(int number, double frequency, const std::string& xx, const std::string& extra = "")
{
    std::string text = std::to_string(number) + " " + std::to_string(frequency) + "\n";
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            text += std::to_string(i) + " " + std::to_string(j) + " " + (i == 1 && j == 1 ? xx : std::string("0.0")) +
                    "\n";
        }
    }
    return text + extra;
}

} // namespace

TEST(OutputReader, RunTypeByTheFirstDecidingLine)
{
    struct Case {
        std::string text;
        int type;
    } cases[] = {
        {"Number of CPUs 4\n* perform molecular dynamics run\n", 1},
        {"* perform molecular dynamics run\nNumber of CPUs 4\n", 3},
        {"* perform optimisation run\nGeneral input information\nRegion 1 : x\n", 2},
        {"* perform optimisation run\nRegion 1 : x\nGeneral input information\n", 5},
        {"* perform optimisation run\nnothing else\n", 2},
        // The engine's order: the configuration's dimensionality before the
        // general information; a slab without region lines is a surface run
        // in both layouts, a bulk one is not, and a later line decides
        // nothing.
        {"* perform optimisation run\n  Dimensionality = 2               :  Surface\nGeneral input information\n", 5},
        {"* perform optimisation run\n  Dimensionality 2 : Surface\nGeneral input information\n", 5},
        {"* perform optimisation run\n  Dimensionality = 3               :  Bulk\nGeneral input information\n"
         "  Dimensionality = 2               :  Surface\n",
         2},
        {"* perform optimisation run\nGeneral input information\n  Dimensionality = 2               :  Surface\n", 2},
        {"* perform molecular dynamics run\n  Dimensionality = 2               :  Surface\n", 3},
        {"perform optimisation run\nRegion 1 : without its line break", 2},
        {"nothing\n", 1},
        {"", 1},
        {std::string(1500, 'x') + "\n* perform molecular dynamics run\n", 1},
    };
    ReaderFolder folder;
    for (const Case& c : cases) {
        EXPECT_EQ(c.type, COutputFileReader::ScanRunType(folder.Write("run.gout", c.text))) << c.text;
    }
    EXPECT_THROW(COutputFileReader::ScanRunType(folder.Path("none.gout")), KelvResult);
}

TEST(OutputReader, AtomTableCountsCoresAndShells)
{
    const std::string oneEnd = Rule + "\n";
    struct Case {
        std::string text;
        int cores, shells;
    } cases[] = {
        {Totals() + TableHeader() + Row(1, "Na", "c") + Row(2, "Cl", "c") + Row(3, "Cl", "s") + oneEnd +
             Row(4, "Na", "c"),
         2, 1},
        // Two parts: a sub-header, a rule between the parts, a closing rule.
        // Rows after the closing rule do not count.
        {Totals() + TableHeader() + "Region 1 :\n" + Rule + "\n" + Row(1, "Na", "c") + Row(2, "Cl", "s") + Rule +
             "\nRegion 2 :\n" + Rule + "\n" + Row(3, "Cl", "c") + Rule + "\n" + Row(4, "Na", "c") + Row(5, "Na", "s"),
         2, 1},
        // The header before the totals line is not a table.
        {TableHeader() + Row(1, "Na", "c") + Totals() + Row(2, "Na", "c"), 0, 0},
        // A row of 12 words counts as neither.
        {Totals() + TableHeader() + Row(1, "Na", "c") + "  2 Cl c 0 0 0 1 1 x y z w\n" + oneEnd, 1, 0},
    };
    ReaderFolder folder;
    for (const Case& c : cases) {
        int cores = -1, shells = -1;
        COutputFileReader::ReadAtomTable(folder.Write("run.gout", c.text), cores, shells);
        EXPECT_EQ(c.cores, cores) << c.text;
        EXPECT_EQ(c.shells, shells) << c.text;
    }
}

TEST(OutputReader, DimensionalityAndMissingSideFiles)
{
    ReaderFolder folder;
    struct Case {
        const char* text;
        int dimensionality;
    } cases[] = {{"  Dimensionality 2 : Surface\n", 2}, {"no such line\n", 3}, {"Dimensionality\n", 3}};
    for (const Case& c : cases) {
        COutputFileReader reader(folder.Write("run.gout", c.text));
        EXPECT_EQ(c.dimensionality, reader.GetDimensionality());
        EXPECT_TRUE(reader.GetModeFrequencies().empty());
        EXPECT_TRUE(reader.GetOscillatorStrengths().empty());
        EXPECT_TRUE(reader.GetDosFrequencies().empty());
        EXPECT_TRUE(reader.GetFirstFlag() && reader.GetSecondFlag());
    }
    try {
        COutputFileReader reader(folder.Write("run.gout", "  Dimensionality x3\n"));
        FAIL();
    } catch (const KelvResult& error) {
        EXPECT_EQ("Found invalid field in the string x3", error.GetMessage());
    }
    try {
        COutputFileReader reader(folder.Path("missing.gout"));
        FAIL();
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        EXPECT_EQ("Unable to open ZELM .gout file.", error.GetMessage());
    }
}

TEST(OutputReader, OscillatorFileBlocks)
{
    struct Case {
        std::string osc;
        size_t modes;
        double dielectricZZ;
    } cases[] = {
        {OscBlock(Mode(1, 100.0, "0.5") + Mode(2, 200.0, "0.25"), 2), 2, 2.6},
        {OscBlock("", 0), 0, 2.6},
        // A mode out of sequence, an entry outside the tensor, a short line:
        // no modes and no dielectric tensor.
        {OscBlock(Mode(2, 100.0, "0.5"), 1), 0, 0.0},
        {OscBlock("1 100.0\n4 1 0.5\n1 2 0\n1 3 0\n2 1 0\n2 2 0\n2 3 0\n3 1 0\n3 2 0\n3 3 0\n", 1), 0, 0.0},
        {OscBlock("1 100.0\n1 1\n", 1), 0, 0.0},
        // A hostile count reserves nothing and ends with the file.
        {OscBlock(Mode(1, 100.0, "0.5"), 2000000000), 0, 0.0},
        // The block's last line without a line break is read.
        {"oscillator strengths and phonon frequencies 0\nhigh frequency dielectric constant tensor\n1 0 0\n0 1 0\n0 0 7",
         0, 7.0},
    };
    ReaderFolder folder;
    for (const Case& c : cases) {
        folder.Write("run.osc", c.osc);
        COutputFileReader reader(folder.Write("run.gout", "Dimensionality 3\n"));
        EXPECT_EQ(c.modes, reader.GetModeFrequencies().size()) << c.osc;
        EXPECT_EQ(c.modes, reader.GetOscillatorStrengths().size()) << c.osc;
        EXPECT_DOUBLE_EQ(c.dielectricZZ, reader.GetHighFrequencyDielectricTensor()(3, 3)) << c.osc;
    }
    // A later line for the same entry replaces the earlier one.
    std::string twice = OscBlock("1 100.0\n1 1 0.1\n1 1 0.7\n1 2 0\n1 3 0\n2 1 0\n2 2 0\n2 3 0\n3 1 0\n3 2 0\n", 1);
    folder.Write("run.osc", twice);
    COutputFileReader reader(folder.Write("run.gout", "Dimensionality 3\n"));
    ASSERT_EQ(1u, reader.GetOscillatorStrengths().size());
    EXPECT_DOUBLE_EQ(0.7, reader.GetOscillatorStrengths()[0](1, 1));
    EXPECT_DOUBLE_EQ(100.0, reader.GetModeFrequencies()[0]);
}

TEST(OutputReader, OscillatorStrengthCheck)
{
    struct Case {
        std::string osc;
        bool result;
        std::string message;
    } cases[] = {
        {OscBlock(Mode(1, 100.0, "2e-8"), 1), true, ""},
        {OscBlock(Mode(1, 100.0, "1e-8"), 1), false,
         "All oscillator strengths in the run.osc file are zero. \nPlease make sure to use charges when requesting "
         "optical properties."},
        {OscBlock(Mode(1, 100.0, "nan"), 1), false, "There is no information about oscillator strengths in the run.osc file"},
        {OscBlock(Mode(1, 100.0, "inf"), 1), false, "There is no information about oscillator strengths in the run.osc file"},
        {OscBlock(Mode(1, 100.0, "-2.0"), 1), false,
         "All oscillator strengths in the run.osc file are zero. \nPlease make sure to use charges when requesting "
         "optical properties."},
        {OscBlock("", 0), false, "There is no information about oscillator strengths in the run.osc file"},
    };
    ReaderFolder folder;
    for (const Case& c : cases) {
        folder.Write("run.osc", c.osc);
        COutputFileReader reader(folder.Write("run.gout", "Dimensionality 3\n"));
        std::string message = "stale";
        EXPECT_EQ(c.result, reader.CheckOscillatorStrengths("run", message));
        EXPECT_EQ(c.message, message);
    }
}

TEST(OutputReader, DensityOfStatesFile)
{
    // Points are two numbers; comments, lines of other counts and headings
    // of two words are passed over; a value that is no number gives no
    // point at all, and says so naming the line and the word.
    const struct {
        const char* what;
        const char* dens;
        std::vector<double> frequencies;
        std::vector<double> values;
        const char* failure;  // a part of it; empty: none
    } cases[] = {
        {"points", "# frequency density\n1.0 0.5 # remark\n2.0 0.25\n3 tokens here\n\n5.0 1.5", {2.0, 5.0},
         {0.25, 1.5}, ""},
        {"a heading of two words", "frequency density\n2.0 0.25\n", {2.0}, {0.25}, ""},
        {"words only", "frequency density\nno points\n", {}, {}, ""},
        {"NaN density", "2.0 0.25\n4.0 NaN\n", {}, {}, "gives \"NaN\" on line 2, which is no number"},
        {"inf frequency", "inf 0.25\n", {}, {}, "gives \"inf\" on line 1"},
        {"hexadecimal", "2.0 0x10\n", {}, {}, "gives \"0x10\""},
        {"beyond a double", "1e999 0.5\n", {}, {}, "gives \"1e999\""},
    };
    ReaderFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        folder.Write("run.dens", c.dens);
        COutputFileReader reader(folder.Write("run.gout", "Dimensionality 3\n"));
        EXPECT_EQ(c.frequencies, reader.GetDosFrequencies());
        EXPECT_EQ(c.values, reader.GetDosValues());
        if (*c.failure == '\0') {
            EXPECT_EQ(reader.GetDosFailure(), "");
        } else {
            EXPECT_NE(reader.GetDosFailure().find(c.failure), std::string::npos) << reader.GetDosFailure();
            EXPECT_NE(reader.GetDosFailure().find("run.dens\""), std::string::npos) << reader.GetDosFailure();
        }
    }
}

namespace {

// The whole text of the file as a kept engine file gives it; "refused: ..."
// when it cannot be opened.
std::string KeptText(const std::string& path)
{
    CKeptEngineFile stream;
    if (!stream.Open(path))
        return "refused: " + stream.Failure("Unable to open.");
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

} // namespace

// The questions asked of one run read its main output once: the text of a
// file whose last change lies well behind is kept, and a later opening of
// the file gives what the file holds then, however it changed.
TEST(KeptEngineFile, AFileChangedSinceItsTextWasKeptIsReadAnew)
{
    const struct {
        const char* change;
        std::function<void(const std::string& path)> make;
        std::string after;
    } rows[] = {
        {"none", [](const std::string&) {}, "run finished\n"},
        {"rewritten in place at the same size", [](const std::string& path) { QzTest::WriteFile(path, "run FAILED!!\n"); },
         "run FAILED!!\n"},
        {"added to", [](const std::string& path) { std::ofstream(path, std::ios::app) << "more\n"; },
         "run finished\nmore\n"},
        {"replaced by another file",
         [](const std::string& path) {
             QzTest::WriteFile(path + ".new", "new run\n");
             std::filesystem::rename(path + ".new", path);
         },
         "new run\n"},
        {"removed", [](const std::string& path) { std::filesystem::remove(path); },
         "refused: Unable to open."},
    };
    ReaderFolder folder("kept-text");
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < std::size(rows); ++i)
        paths.push_back(folder.Write("run" + std::to_string(i) + ".gout", "run finished\n"));
    // Only a text that no change within the clock's resolution can share
    // its time with is kept.
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].change);
        ASSERT_EQ(KeptText(paths[i]), "run finished\n");
        ASSERT_EQ(KeptText(paths[i]), "run finished\n");
        rows[i].make(paths[i]);
        EXPECT_EQ(KeptText(paths[i]), rows[i].after);
        // A reading that seeks, as the dynamics readers do, moves in the text.
        CKeptEngineFile stream;
        if (stream.Open(paths[i])) {
            stream.seekg(0, std::ios::end);
            EXPECT_EQ(static_cast<std::size_t>(stream.tellg()), rows[i].after.size());
            stream.seekg(4);
            EXPECT_EQ(stream.get(), static_cast<int>(static_cast<unsigned char>(rows[i].after[4])));
        }
    }
}
