// The archive reader over hand-written archives.

#include "readers/ArchiveFileReader.h"
#include "readers/StructureUpdater.h"

#include "ReaderFiles.h"

#include "kelv/kelv.h"
#include "qorqm/QMPhysicalConstants.h"

#include <gtest/gtest.h>

using QzTest::ReaderFolder;

namespace {

const char* const Atom1 = "Na1     0.000000000    0.000000000    0.000000000 CORE 1      Na      Na   1.0000 1\n";
const char* const Atom2 = "Cl1     2.820100000    2.820100000    2.820100000 CORE 2      Cl      Cl  -1.0000 2\n";

std::string Frame(const std::string& header, const std::string& cell, const std::string& atoms,
                  const std::string& closing = "end\nend\n")
{
    return header + "\n!DATE Tue Dec  8 2026\n" + cell + atoms + closing;
}

std::string Archive3D(const std::string& version = "2")
{
    return "!KORVEX archive " + version + "\nPBC=ON\n" +
           Frame("0.000 ps -2300.0", "PBC    5.6402    5.6402    5.6402   90.0000   90.0000   90.0000 (P1)\n",
                 std::string(Atom1) + Atom2) +
           Frame("1.500 ps -2306.1", "PBC    5.7000    5.7100    5.7200   90.0000   91.0000   92.0000\n",
                 std::string(Atom1) + Atom2);
}

struct Read {
    std::vector<CArchiveFrameInfo> frames;
    bool periodic3D = false;
    bool periodic2D = false;
};

Read ReadArchive(const std::string& text, const CAtomicIndexMap& map = CAtomicIndexMap::Default)
{
    ReaderFolder folder("arc");
    CArchiveFileReader reader(folder.Write("run.arc", text), map);
    return {reader.GetFrames(), reader.Is3DPeriodic(), reader.Is2DPeriodic()};
}

std::string Failure(const std::string& text, const CAtomicIndexMap& map = CAtomicIndexMap::Default)
{
    try {
        ReadArchive(text, map);
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        return error.GetMessage();
    }
    return "no failure";
}

} // namespace

TEST(ArchiveReader, ReadsFramesOfA3DArchive)
{
    for (const std::string version : {"2", "3"}) {
        for (bool crlf : {false, true}) {
            const std::string text = crlf ? QzTest::WithCrLf(Archive3D(version)) : Archive3D(version);
            Read read = ReadArchive(text);
            ASSERT_EQ(2u, read.frames.size()) << version << crlf;
            EXPECT_TRUE(read.periodic3D);
            EXPECT_FALSE(read.periodic2D);
            const CArchiveFrameInfo& second = read.frames[1];
            EXPECT_DOUBLE_EQ(1.5, second.GetTime());
            EXPECT_DOUBLE_EQ(-2306.1 / QMPhysicalConstants::EV_TO_KCAL_MOL, second.GetEnergy());
            EXPECT_DOUBLE_EQ(5.71, second.GetLattice().get_Cell_B());
            EXPECT_DOUBLE_EQ(92.0, second.GetLattice().get_Cell_Gamma());
            ASSERT_EQ(2u, second.GetAtomPositions().size());
            EXPECT_DOUBLE_EQ(2.8201, second.GetAtomPositions()[1].z);
        }
    }
}

TEST(ArchiveReader, HeaderPeriodicityAndCellVariants)
{
    const std::string atoms = std::string(Atom1) + Atom2;
    struct Case {
        std::string text;
        size_t frames;
        bool is3D, is2D;
        double b = 0, c = 0, alpha = 0, time = 0, energyKcal = 0;
    } cases[] = {
        // Version 4 is not read; nor is a file that is not an archive.
        {"!KORVEX archive 4\nPBC=ON\n" + Frame("-1.0", "PBC 1 2 3 90 90 90\n", atoms), 0, false, false},
        {"", 0, false, false},
        {"!KORVEX archive 2\nPBC=ON", 0, false, false},
        // No cell: the periodicity token has neither ON nor 2D.
        {"!KORVEX archive 2\nPBC=OFF\n" + Frame("-4.5", "", atoms), 1, false, false, 0, 0, 0, 0, -4.5},
        // A surface cell: a, b and the angle in the alpha position.
        {"!KORVEX archive 2\nPBC=2D\n" + Frame("2.000 ps -7.0", "PBC 4.0 5.0 120.0\n", atoms), 1, false, true, 5.0,
         0.0, 120.0, 2.0, -7.0},
        // A cell line of too few words, or the date line missing, ends the reading.
        {"!KORVEX archive 2\nPBC=ON\n" + Frame("-1.0", "PBC 1 2 3 90 90\n", atoms), 0, true, false},
        {"!KORVEX archive 2\nPBC=OFF\n-1.0\nno date\n" + atoms, 0, false, false},
        // "end" without its closing "end": that frame and every later one is dropped.
        {"!KORVEX archive 2\nPBC=OFF\n" + Frame("-1.0", "", atoms) + Frame("-2.0", "", atoms, "end\nnot end\n") +
             Frame("-3.0", "", atoms),
         1, false, false, 0, 0, 0, 0, -1.0},
        // The file ends right after the atoms: the last frame stays.
        {"!KORVEX archive 2\nPBC=OFF\n-1.0\n!DATE\n" + atoms, 1, false, false, 0, 0, 0, 0, -1.0},
        // A blank line completes a frame; a header of "end" ends the archive.
        {"!KORVEX archive 2\nPBC=OFF\n-1.0\n!DATE\n" + atoms + "\nend\n", 1, false, false, 0, 0, 0, 0, -1.0},
    };
    for (const Case& c : cases) {
        Read read = ReadArchive(c.text);
        ASSERT_EQ(c.frames, read.frames.size()) << c.text;
        EXPECT_EQ(c.is3D, read.periodic3D) << c.text;
        EXPECT_EQ(c.is2D, read.periodic2D) << c.text;
        if (c.frames == 1) {
            const CArchiveFrameInfo& frame = read.frames[0];
            EXPECT_DOUBLE_EQ(c.b, frame.GetLattice().get_Cell_B());
            EXPECT_DOUBLE_EQ(c.c, frame.GetLattice().get_Cell_C());
            EXPECT_DOUBLE_EQ(c.alpha, frame.GetLattice().get_Cell_Alpha());
            EXPECT_DOUBLE_EQ(c.time, frame.GetTime());
            EXPECT_DOUBLE_EQ(c.energyKcal / QMPhysicalConstants::EV_TO_KCAL_MOL, frame.GetEnergy());
            EXPECT_EQ(2u, frame.GetAtomPositions().size());
        }
    }
}

TEST(ArchiveReader, FailuresNameTheirCause)
{
    const std::string head = "!KORVEX archive 2\nPBC=OFF\n-1.0\n!DATE\n";
    EXPECT_EQ("ZELM output not readable.", Failure(head + "Na1 0 0 0 CORE 1 Na Na\n"));
    EXPECT_EQ("Found invalid field in the string abc", Failure(head + "Na1 0 abc 0 CORE 1 Na Na 1 1\n"));
    ReaderFolder folder;
    try {
        CArchiveFileReader reader(folder.Path("missing.arc"), CAtomicIndexMap::Default);
        FAIL();
    } catch (const KelvResult& error) {
        EXPECT_EQ("Failed to open ZELM arc file.", error.GetMessage());
    }
}

TEST(ArchiveReader, MapTakesEachDocumentAtomFromItsEngineNumber)
{
    // A rotation of three atoms is not its own inverse: document atom i takes
    // engine atom MapDoc2Zelm(i), never the other way round.
    CAtomicIndexMap map;
    map.SetSize(3);
    map.MakeDoc2ZelmEntry(1, 2);
    map.MakeDoc2ZelmEntry(2, 3);
    map.MakeDoc2ZelmEntry(3, 1);
    std::vector<xxPoint3d> mapped;
    CArchiveFileReader::ApplyMap(mapped, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, map);
    ASSERT_EQ(3u, mapped.size());
    EXPECT_EQ(2.0, mapped[0].x);
    EXPECT_EQ(3.0, mapped[1].x);
    EXPECT_EQ(1.0, mapped[2].x);
}

TEST(ArchiveReader, MapPutsAtomsIntoDocumentOrder)
{
    CAtomicIndexMap map;
    map.SetSize(2);
    map.MakeDoc2ZelmEntry(1, 2);
    map.MakeDoc2ZelmEntry(2, 1);
    Read read = ReadArchive(Archive3D(), map);
    ASSERT_EQ(2u, read.frames.size());
    EXPECT_DOUBLE_EQ(2.8201, read.frames[0].GetAtomPositions()[0].x);
    EXPECT_DOUBLE_EQ(0.0, read.frames[0].GetAtomPositions()[1].x);

    CAtomicIndexMap three;
    three.SetSize(3);
    EXPECT_EQ("CArchiveFileReader::ApplyMap: atomPositionCount != map.GetSize().\n", Failure(Archive3D(), three));

    // A map in force with an atom that has no entry fails instead of reading
    // outside the frame.
    CAtomicIndexMap partial;
    partial.SetSize(2);
    partial.MakeDoc2ZelmEntry(1, 2);
    EXPECT_NE(std::string::npos, Failure(Archive3D(), partial).find("CArchiveFileReader::ApplyMap"));
}

TEST(ArchiveReader, AnyWriterWordInTheFirstLine)
{
    // Real archives name their writer with words of their own.
    const CArchiveFileReader other(std::string(QZ_TEST_DATA) + "/readers/other-maker.arc", CAtomicIndexMap::Default);
    ASSERT_EQ(2u, other.GetFrames().size());
    EXPECT_TRUE(other.Is3DPeriodic());
    EXPECT_NEAR(-2310.4 / QMPhysicalConstants::EV_TO_KCAL_MOL, other.GetFrames()[1].GetEnergy(), 1e-9);
    EXPECT_EQ(0.01, other.GetFrames()[1].GetAtomPositions()[0].x);
    // "!" needs its word, and "archive" and the version stay as they are.
    const std::string rest = Archive3D().substr(Archive3D().find('\n'));
    for (const char* header : {"! archive 3", "!archive 3", "!MAKER archive 4", "!MAKER ARCHIVE 3", "MAKER archive 3"}) {
        EXPECT_TRUE(ReadArchive(header + rest).frames.empty()) << header;
    }
}

// The bundled archive cut at every byte of its last frame, with LF and CR LF
// breaks: the reader keeps the four whole frames before it unless the file
// ends right after the frame's atom lines or is whole, tells the cut unless
// only blanks of the frame are there, and the working copy of the last frame
// holds exactly the reader's last frame.
TEST(ArchiveReader, CutAtEveryByteOfTheLastFrame)
{
    ReaderFolder folder("arc-cut");
    for (const bool crlf : {false, true}) {
        std::string text = QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/../../examples/results/geomopt/rocksalt.arc");
        if (crlf)
            text = QzTest::WithCrLf(text);
        const std::string lineBreak = crlf ? "\r\n" : "\n";
        const std::size_t last = text.rfind(lineBreak, text.rfind("!DATE") - lineBreak.size() - 1) + lineBreak.size();
        const std::size_t afterAtoms = text.size() - 2 * (3 + lineBreak.size());
        for (std::size_t cut = last; cut <= text.size(); ++cut) {
            const std::string part = text.substr(0, cut);
            SCOPED_TRACE((crlf ? "CR LF, " : "LF, ") + std::to_string(cut - last) + " bytes of the last frame");
            const bool five = cut == afterAtoms || cut == text.size();
            const bool blanks = part.find_first_not_of(" \r\n", last) == std::string::npos;
            const std::string path = folder.Write("run.arc", part);
            const CArchiveFileReader reader(path, CAtomicIndexMap::Default);
            ASSERT_EQ(reader.GetFrames().size(), five ? 5u : 4u);
            EXPECT_EQ(reader.IsLastFrameCut(), !five && !blanks);

            ReadFinalArcFrame(path, folder.Path("run_TDE_.arc"));
            const CArchiveFileReader copy(folder.Path("run_TDE_.arc"), CAtomicIndexMap::Default);
            ASSERT_EQ(copy.GetFrames().size(), 1u);
            const CArchiveFrameInfo& mine = copy.GetFrames()[0];
            const CArchiveFrameInfo& theirs = reader.GetFrames().back();
            EXPECT_EQ(mine.GetLattice().get_Cell_A(), theirs.GetLattice().get_Cell_A());
            ASSERT_EQ(mine.GetAtomPositions().size(), 8u);
            for (std::size_t atom = 0; atom < 8; ++atom)
                EXPECT_EQ(mine.GetAtomPositions()[atom].z, theirs.GetAtomPositions()[atom].z);
        }
    }
}

// A frame is whole with as many atom lines as the run has (the count given,
// else the first frame's); the first frame that is not, though the file goes
// on, ends the frames and is named. Reading the atom lines or only counting
// them judges the frames alike.
TEST(ArchiveReader, TheFirstFrameThatIsNotWholeEndsTheFrames)
{
    const std::string two = std::string(Atom1) + Atom2;
    const std::string head = "!KORVEX archive 2\nPBC=OFF\n";
    const auto frame = [](const std::string& atoms) { return Frame("-1.0", "", atoms); };
    const struct {
        const char* what;
        std::string text;
        std::size_t atoms;  // the run's count; 0 for none
        std::size_t frames, damaged;
        bool cut;
    } rows[] = {
        {"whole", head + frame(two) + frame(two), 0, 2, 0, false},
        {"an atom line missing", head + frame(two) + frame(Atom1) + frame(two), 0, 1, 2, false},
        {"an atom line too many", head + frame(two) + frame(two + Atom1) + frame(two), 0, 1, 2, false},
        {"an empty frame", head + frame(two) + frame("") + frame(two), 0, 1, 2, false},
        {"the last frame short", head + frame(two) + frame(Atom1), 0, 1, 2, false},
        {"the run's count", head + frame(two) + frame(two), 2, 2, 0, false},
        {"frames of other than the run's count", head + frame(two) + frame(two), 3, 0, 1, false},
        {"a date line missing", head + frame(two) + "-2.0\nno date\n" + two + "end\nend\n", 0, 1, 2, false},
        {"an end without its closing end", head + frame(two) + Frame("-2.0", "", two, "end\nnot end\n"), 0, 1, 2,
         false},
        {"cut in the atom lines", head + frame(two) + "-2.0\n!DATE\n" + Atom1, 0, 1, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ReaderFolder folder("arc");
        const std::string path = folder.Write("run.arc", row.text);
        for (const auto keep : {CArchiveFileReader::Keep::AllFrames, CArchiveFileReader::Keep::LastFrameText}) {
            const CArchiveFileReader reader(path, CAtomicIndexMap::Default, keep, row.atoms);
            EXPECT_EQ(reader.GetWholeFrameCount(), row.frames);
            EXPECT_EQ(reader.DamagedFrame(), row.damaged);
            EXPECT_EQ(reader.IsLastFrameCut(), row.cut);
            EXPECT_EQ(reader.GetFrames().size(), keep == CArchiveFileReader::Keep::AllFrames ? row.frames : 0u);
        }
    }
}

// An atom line of a middle frame is judged by one rule whether the frames
// are kept or only placed (the last-frame copy): what fails one reading
// fails the other, and the copy, alike; what one takes the others take.
TEST(ArchiveReader, AnAtomLineIsJudgedAlikeByEveryReading)
{
    const std::string head = "!KORVEX archive 2\nPBC=OFF\n";
    const auto with = [&](const std::string& line) {
        return head + Frame("-1.0", "", std::string(Atom1) + Atom2) + Frame("-2.0", "", std::string(Atom1) + line) +
               Frame("-3.0", "", std::string(Atom1) + Atom2);
    };
    const auto atom = [](const std::string& x) { return "Cl1 " + x + " 2.8201 2.8201 CORE 2 Cl Cl -1.0000 2\n"; };
    const struct {
        const char* what;
        std::string line;
        std::string outcome;  // "3 frames" or the failure
    } rows[] = {
        {"plain numbers", atom("2.8201"), "3 frames"},
        {"signed, no decimals, a point alone", "Cl1 +2 -3 4. CORE 2 Cl Cl -1.0000 2\n", "3 frames"},
        {"an exponent", atom("2.8201e-1"), "3 frames"},
        {"a word for a coordinate", atom("x2.8"), "Found invalid field in the string x2.8"},
        {"a number with letters after it is read as its number", atom("2.8x"), "3 frames"},
        {"a sign alone", atom("-"), "Found invalid field in the string -"},
        {"eight words", "Cl1 2.8 2.8 2.8 CORE 2 Cl Cl\n", "ZELM output not readable."},
        {"eight words and a bad coordinate", "Cl1 x 2.8 2.8 CORE 2 Cl Cl\n", "ZELM output not readable."},
    };
    ReaderFolder folder("arc-atoms");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string path = folder.Write("run.arc", with(row.line));
        const auto outcome = [&](const auto& read) {
            try {
                return std::to_string(read()) + " frames";
            } catch (const KelvResult& failure) {
                return failure.GetMessage();
            }
        };
        for (const auto keep : {CArchiveFileReader::Keep::AllFrames, CArchiveFileReader::Keep::LastFrameText})
            EXPECT_EQ(outcome([&] { return CArchiveFileReader(path, CAtomicIndexMap::Default, keep).GetWholeFrameCount(); }),
                      row.outcome);
        EXPECT_EQ(outcome([&] {
                      ReadFinalArcFrame(path, folder.Path("run_TDE_.arc"));
                      return 3;
                  }),
                  row.outcome);
    }
}
