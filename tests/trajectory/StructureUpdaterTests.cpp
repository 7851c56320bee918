// The structure updater on host documents: the last archive frame copied,
// read back and written into 3-D, 2-D and molecular documents.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/ErrorInfo.h"
#include "host/HostApplication.h"
#include "host/model/CifImport.h"
#include "host/model/ModelObjects.h"
#include "host/model/OperationLog.h"
#include "host/model/QsdFile.h"
#include "qorqm/LatticeUtilities.h"
#include "qorqm/ScopeUtility.h"
#include "readers/ArchiveFileReader.h"
#include "readers/StructureUpdater.h"
#include "trajectory/FakeArchive.h"

namespace {

namespace fs = std::filesystem;
constexpr double Degrees = 180.0 / 3.14159265358979323846;

// The three cell vectors of a cell, as the archive's frame positions use them.
struct Cell {
    double u[3][3] = {};
    explicit Cell(const CLatticeInfo& l)
    {
        LatticeUtilities::Zelm3DParamToCell(l.get_Cell_A(), l.get_Cell_B(), l.get_Cell_C(), l.get_Cell_Alpha() / Degrees,
                                            l.get_Cell_Beta() / Degrees, l.get_Cell_Gamma() / Degrees, u[0], u[1], u[2]);
    }
    std::array<double, 3> Cartesian(double f1, double f2, double f3) const
    {
        return {f1 * u[0][0] + f2 * u[1][0] + f3 * u[2][0], f1 * u[0][1] + f2 * u[1][1] + f3 * u[2][1],
                f1 * u[0][2] + f2 * u[1][2] + f3 * u[2][2]};
    }
};

class StructureUpdater : public ::testing::Test {
protected:
    void SetUp() override
    {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = folder.Path() + "/project";
        configuration.connectModuleLogics = false;
        configuration.stateDefinitionsFile = std::string(QZ_TEST_DATA) + "/../../host/data/state-definitions.json";
        app = std::make_unique<QzHost::HostApplication>(configuration);
        ASSERT_TRUE(SUCCEEDED(QorQMUtilities::RegisterScopeUtility()));
        root = KelvComPtr<ISBContainerRoot>(app->Root());
        HostModel::OperationLog::Clear();
    }

    // Saves the model as a project document and opens it.
    std::shared_ptr<HostModel::Document> Open(const HostModel::Document& model, const std::string& name)
    {
        const std::string path = app->DocumentsFolder() + "/" + name + ".qsd";
        HostModel::SaveQsd(model, path);
        document = app->Documents().Open(path);
        return HostModel::DocumentOf(document.get());
    }

    // An archive file of one frame (its text is not read by the fake).
    std::string Archive(const std::string& name = "run.arc")
    {
        const std::string path = app->DocumentsFolder() + "/" + name;
        QzTest::WriteFile(path, "!KORVEX archive\nPBC=ON\ntitle\n!DATE one\natom\nend\n");
        return path;
    }

    void Update(const std::string& arc, CAtomicIndexMap map = CAtomicIndexMap())
    {
        UpdateStructureFromOutput(root, document, arc, map);
    }

    QzTest::TempFolder folder{"updater"};
    std::unique_ptr<QzHost::HostApplication> app;
    KelvComPtr<ISBContainerRoot> root;
    KelvComPtr<ISBDocumentRoot> document;
    QzTest::FakeArchiveOpener archive;
};

void ExpectNear(const HostModel::Vec3& actual, double x, double y, double z)
{
    EXPECT_NEAR(actual[0], x, 1e-9);
    EXPECT_NEAR(actual[1], y, 1e-9);
    EXPECT_NEAR(actual[2], z, 1e-9);
}

}  // namespace

TEST(ReadFinalArcFrame, CopiesTheHeaderAndTheLastFrameOnly)
{
    QzTest::TempFolder folder("arccopy");
    const auto frame = [](int f, const char* closing) {
        return "energy " + std::to_string(f) + "\n!DATE frame " + std::to_string(f) + "\nPBC 1 2 3 90 90 90\nNa 0 0 " +
               std::to_string(f) + " CORE 1 Na Na 0.0\n" + closing;
    };
    const std::string head = "!KORVEX archive 2\nPBC=ON\n";
    std::string text = head;
    for (int f = 1; f <= 5; ++f)
        text += frame(f, f == 3 ? "\n" : "end\nend\n");  // a blank line closes the third
    const std::string copyHead = head + "energy 1\n";
    const std::string fifth = "!DATE frame 5\nPBC 1 2 3 90 90 90\nNa 0 0 5 CORE 1 Na Na 0.0\n";
    const std::string fourth = "!DATE frame 4\nPBC 1 2 3 90 90 90\nNa 0 0 4 CORE 1 Na Na 0.0\nend\nend\n";
    struct Case {
        const char* what;
        std::string source;
        std::string copy;
    } cases[] = {
        {"five frames", text, copyHead + fifth + "end\nend\n"},
        {"a frame closed by a blank line", head + frame(1, "end\nend\n") + frame(2, "\n"),
         copyHead + "!DATE frame 2\nPBC 1 2 3 90 90 90\nNa 0 0 2 CORE 1 Na Na 0.0\n"},
        // The copy takes the archive reader's last whole frame.
        {"the last line without its break cuts the last frame", text.substr(0, text.size() - 1),
         copyHead + fourth},
        {"a last frame cut between its end lines", text.substr(0, text.size() - 4), copyHead + fourth},
        {"the end of the file right after the atom lines", text.substr(0, text.size() - 8), copyHead + fifth},
        // The long line ends the reading at the frame's cell line: that
        // frame is not copied.
        {"a line over 1023 characters ends the copy",
         text + "energy 6\n!DATE x\n" + std::string(1024, 'x') + "\nend\n", copyHead + fifth + "end\nend\n"},
        {"a last frame cut after its date line", text + "energy 6\n!DATE frame 6\n", copyHead + fifth + "end\nend\n"},
        {"no archive: the first three lines only", "a\nb\nc\nd", "a\nb\nc\n"},
        {"a line of 1023 characters with CR LF is whole",
         "!KORVEX archive 2\r\nPBC=OFF\r\n-1.0\r\n!DATE y\r\nNa 0 0 0 CORE 1 Na Na 0.0 " + std::string(997, 'y') +
             "\r\nend\r\nend\r\n",
         "!KORVEX archive 2\nPBC=OFF\n-1.0\n!DATE y\nNa 0 0 0 CORE 1 Na Na 0.0 " + std::string(997, 'y') +
             "\nend\nend\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QzTest::WriteFile(folder.File("run.arc"), c.source);
        ReadFinalArcFrame(folder.File("run.arc"), folder.File("run_TDE_.arc"));
        EXPECT_EQ(QzTest::ReadFile(folder.File("run_TDE_.arc")), c.copy);
    }
    // A missing source creates no copy.
    try {
        ReadFinalArcFrame(folder.File("none.arc"), folder.File("none_TDE_.arc"));
        ADD_FAILURE();
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetMessage(), "Unable to open ZELM arc file.");
    }
    EXPECT_FALSE(fs::exists(folder.File("none_TDE_.arc")));
}

// The structure update's read of an archive: the archive reader's last
// whole frame, in file order and through the map as the reader puts it, and
// the working copy's text as the copy alone writes it.
TEST(ReadFinalFrame, TheReadersLastWholeFrameInBothOrdersAndTheCopysText)
{
    QzTest::TempFolder folder("finalframe");
    std::string text = "!KORVEX archive 2\nPBC=ON\n";
    for (int f = 1; f <= 3; ++f)
        text += "energy " + std::to_string(f) + "\n!DATE frame " + std::to_string(f) +
                "\nPBC 5 5 5 90 90 90\nNa 0 0 " + std::to_string(f) + " CORE 1 Na Na 0.0\nCl 2.5 2.5 " +
                std::to_string(f) + ".5 CORE 2 Cl Cl 0.0\nend\nend\n";
    const struct {
        const char* what;
        std::string archive;
        bool swapped;
    } cases[] = {
        {"three frames", text, false},
        {"three frames, the atoms mapped", text, true},
        {"the last frame cut", text + "energy 4\n!DATE frame 4\nPBC 5 5 5 90 90 90\nNa 0 0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.File("run.arc");
        QzTest::WriteFile(path, c.archive);
        CAtomicIndexMap map;
        if (c.swapped) {
            map.SetSize(2);
            map.MakeDoc2ZelmEntry(1, 2);
            map.MakeDoc2ZelmEntry(2, 1);
        }
        const FinalArcFrame last = ReadFinalFrame(path, map);
        const CArchiveFileReader plain(path, CAtomicIndexMap(), CArchiveFileReader::Keep::AllFrames);
        const CArchiveFileReader mapped(path, map, CArchiveFileReader::Keep::AllFrames);
        ASSERT_EQ(last.frames, 3u);
        ASSERT_TRUE(last.hasFrame);
        EXPECT_EQ(last.lastFrameCut, plain.IsLastFrameCut());
        for (std::size_t i = 0; i < 2; ++i) {
            const xxPoint3d& p = plain.GetFrames().back().GetAtomPositions()[i];
            const xxPoint3d& m = mapped.GetFrames().back().GetAtomPositions()[i];
            EXPECT_EQ(last.frame.positions[i], (std::array<double, 3>{p.x, p.y, p.z})) << i;
            EXPECT_EQ(last.mapped.positions[i], (std::array<double, 3>{m.x, m.y, m.z})) << i;
        }
        ReadFinalArcFrame(path, folder.File("run_TDE_.arc"));
        EXPECT_EQ(last.copy, QzTest::ReadFile(folder.File("run_TDE_.arc")));
    }
}

TEST_F(StructureUpdater, NonOrthogonalCellKeepsAtomsNextToTheirPlaces)
{
    HostModel::Document model;
    model.SetCell({4.0, 5.0, 6.0, 80 / Degrees, 95 / Degrees, 105 / Degrees});
    model.AddAtomAt("Na", {0.01, 0.2, 0.3});
    model.AddAtomAt("Cl", {0.4, 0.5, 0.5});
    model.AddAtomAt("O", {0.6, 0.1, 0.1});
    std::shared_ptr<HostModel::Document> doc = Open(model, "tri");

    const CLatticeInfo lattice(4.1, 5.2, 6.3, 82, 96, 104);
    const Cell cell(lattice);
    archive.content.periodic3D = true;
    // New fractional x: 0.98 (-0.97 from 0.01: one cell back), 1.0 (-0.6:
    // one cell back), 0.0 (+0.6: one cell on). Halves: the rounding's own tests.
    archive.content.frames = {{lattice, 1.0, -5.0, {cell.Cartesian(0.98, 0.25, 0.3), cell.Cartesian(1.0, 0.5, 0.5),
                                                    cell.Cartesian(0.0, 0.1, 0.1)}}};
    Update(Archive());

    const HostModel::CellParameters& p = doc->Lattice3()->Parameters();
    EXPECT_NEAR(p.a, 4.1, 1e-12);
    EXPECT_NEAR(p.gamma * Degrees, 104, 1e-9);
    const auto& atoms = doc->Atoms();
    ExpectNear(doc->Fractional(atoms[0].handle), -0.02, 0.25, 0.3);
    ExpectNear(doc->Fractional(atoms[1].handle), 0.0, 0.5, 0.5);
    ExpectNear(doc->Fractional(atoms[2].handle), 1.0, 0.1, 0.1);
    // The archive is read once, by the preparation; the working copy is
    // written and removed again, never read back.
    ASSERT_EQ(archive.opened.size(), 1u);
    EXPECT_EQ(archive.opened[0], app->DocumentsFolder() + "/run.arc");
    const std::string copy = app->DocumentsFolder() + "/run_TDE_.arc";
    EXPECT_FALSE(fs::exists(copy));

    std::vector<std::string> calls;
    for (const HostModel::LoggedOperation& entry : HostModel::OperationLog::Entries()) {
        if (entry.service != "ScopeManager" && entry.service != "ScopeUtility")
            calls.push_back(entry.service + "." + entry.call + (entry.arguments.empty() ? "" : " " + entry.arguments[0]));
    }
    const std::vector<std::string> expected = {"OperationManager.CreateOperation \"Update structure\"",
                                               "DiskManager.DeleteFile \"" + copy + "\"",
                                               "DocumentManager.Synchronize"};
    for (const std::string& call : expected)
        EXPECT_NE(std::find(calls.begin(), calls.end(), call), calls.end()) << call;
    EXPECT_EQ(app->Operations().OpenCount(), 0u);
}

TEST_F(StructureUpdater, ParentsTakeTheFramePositionAfterTheirImages)
{
    std::shared_ptr<HostModel::Document> doc = Open(*HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/hostmodel/rocksalt.cif"), "salt");
    ASSERT_EQ(doc->Atoms().size(), 8u);
    const CLatticeInfo lattice(5.7, 5.7, 5.7, 90, 90, 90);
    const Cell cell(lattice);
    archive.content.periodic3D = true;
    TrajectoryArchiveFrame frame{lattice, 0.0, 0.0, {}};
    for (int i = 0; i < 8; ++i)
        frame.positions.push_back(cell.Cartesian(0.25, 0.25, 0.25));  // wrong for both parents
    frame.positions[0] = cell.Cartesian(1.0, 0.0, 0.0);  // Na: next to (0, 0, 0)
    frame.positions[4] = cell.Cartesian(0.5, 0.5, 0.5);  // Cl: after Na's four
    archive.content.frames = {frame};
    Update(Archive());
    EXPECT_NEAR(doc->Lattice3()->Parameters().a, 5.7, 1e-12);
    for (const HostModel::Atom& atom : doc->Atoms()) {
        if (!atom.IsSymmetryParent())
            continue;
        if (atom.element == "Na")
            ExpectNear(doc->Fractional(atom.handle), 0.0, 0.0, 0.0);
        else
            ExpectNear(doc->Fractional(atom.handle), 0.5, 0.5, 0.5);
    }
}

TEST_F(StructureUpdater, AMismatchChangesNothingAndLeavesNoFile)
{
    HostModel::Document model;
    model.SetCell({4.0, 4.0, 4.0, 90 / Degrees, 90 / Degrees, 90 / Degrees});
    model.AddAtomAt("Na", {0.1, 0.1, 0.1});
    model.AddAtomAt("Cl", {0.6, 0.6, 0.6});
    std::shared_ptr<HostModel::Document> doc = Open(model, "pair");
    const CLatticeInfo lattice(5.0, 5.0, 5.0, 90, 90, 90);
    archive.content.periodic3D = true;
    archive.content.frames = {{lattice, 0.0, 0.0, {{1, 1, 1}}}};  // one atom only
    try {
        Update(Archive());
        ADD_FAILURE();
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_INVALIDARG);
        EXPECT_EQ(error.GetMessage(), "Model has been modified and cannot be used for analysis: wrong number of atoms.");
    }
    EXPECT_NEAR(doc->Lattice3()->Parameters().a, 4.0, 1e-12);  // the cell stays too
    ExpectNear(doc->Fractional(doc->Atoms()[0].handle), 0.1, 0.1, 0.1);
    EXPECT_FALSE(fs::exists(app->DocumentsFolder() + "/run_TDE_.arc"));
    EXPECT_EQ(app->Operations().OpenCount(), 0u);
}

TEST_F(StructureUpdater, AHugePositionIsNamedApartFromOneThatIsNoNumber)
{
    HostModel::Document model;
    model.SetCell({4.0, 4.0, 4.0, 90 / Degrees, 90 / Degrees, 90 / Degrees});
    model.AddAtomAt("Na", {0.1, 0.1, 0.1});
    std::shared_ptr<HostModel::Document> doc = Open(model, "one");
    const CLatticeInfo lattice(4.0, 4.0, 4.0, 90, 90, 90);
    archive.content.periodic3D = true;
    const struct {
        double x;
        const char* message;
    } cases[] = {
        {std::nan(""), "ZELM arc file gives an atom position that is not a number."},
        {4e12, "ZELM arc file gives an atom position too large to place: more than 1e9 cells from the structure."},
        {-HUGE_VAL, "ZELM arc file gives an atom position too large to place: more than 1e9 cells from the structure."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        archive.content.frames = {{lattice, 0.0, 0.0, {{c.x, 0.4, 0.4}}}};
        try {
            Update(Archive());
            ADD_FAILURE();
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetMessage(), c.message);
        }
        ExpectNear(doc->Fractional(doc->Atoms()[0].handle), 0.1, 0.1, 0.1);
    }
}

TEST_F(StructureUpdater, SlabTakesTheCallersMapAndMoleculeItsPositions)
{
    HostModel::Document slab;
    slab.SetSurfaceCell({3.0, 4.0, 90 / Degrees});
    slab.AddAtomAt("Na", {0.1, 0.1, 0.0});
    slab.AddAtomAt("Cl", {0.5, 0.5, 1.0});
    std::shared_ptr<HostModel::Document> doc = Open(slab, "slab");
    archive.content.periodic2D = true;
    archive.content.frames = {{CLatticeInfo(3.0, 5.0, 0, 90, 0, 0), 0.0, 0.0, {{1.5, 1.0, 0.2}, {0.0, 2.5, 1.5}}}};
    CAtomicIndexMap map;
    map.SetSize(2);
    map.MakeDoc2ZelmEntry(1, 2);
    map.MakeDoc2ZelmEntry(2, 1);
    Update(Archive(), map);
    EXPECT_EQ(archive.mapSizes, std::vector<unsigned long>{2});
    EXPECT_NEAR(doc->Lattice2()->Parameters().v, 5.0, 1e-12);
    ExpectNear(doc->Fractional(doc->Atoms()[0].handle), 0.5, 0.2, 0.2);
    ExpectNear(doc->Fractional(doc->Atoms()[1].handle), 0.0, 0.5, 1.5);

    HostModel::Document molecule;
    molecule.AddAtom("O", {0, 0, 0});
    molecule.AddAtom("H", {1, 0, 0});
    doc = Open(molecule, "water");
    archive.content = {{{CLatticeInfo(), 0.0, 0.0, {{0.1, 0.2, 0.3}, {0.9, 0.5, -0.1}}}}, false, false};
    Update(Archive("water.arc"));
    ExpectNear(doc->Cartesian(doc->Atoms()[1].handle), 0.9, 0.5, -0.1);
    // A 2-D frame never updates a 3-D document.
}

TEST_F(StructureUpdater, OtherFilesDoNothing)
{
    HostModel::Document molecule;
    molecule.AddAtom("O", {0, 0, 0});
    Open(molecule, "lone");
    Update(app->DocumentsFolder() + "/run.xyz");
    QzTest::WriteFile(app->DocumentsFolder() + "/run.xyz", "x");
    Update(app->DocumentsFolder() + "/run.xyz");
    Update(app->DocumentsFolder() + "/missing.arc");
    EXPECT_TRUE(archive.opened.empty());
    EXPECT_TRUE(HostModel::OperationLog::Find("OperationManager").empty());
    EXPECT_FALSE(fs::exists(app->DocumentsFolder() + "/run_TDE_.arc"));
    // A 3-D document and a frame that is not 3-D: nothing is written.
    HostModel::Document cube;
    cube.SetCell({4.0, 4.0, 4.0, 90 / Degrees, 90 / Degrees, 90 / Degrees});
    cube.AddAtomAt("Na", {0.1, 0.1, 0.1});
    std::shared_ptr<HostModel::Document> doc = Open(cube, "cube");
    archive.content = {{{CLatticeInfo(5, 5, 5, 90, 90, 90), 0.0, 0.0, {{1, 1, 1}}}}, true, false};
    Update(Archive());
    EXPECT_NEAR(doc->Lattice3()->Parameters().a, 4.0, 1e-12);
}
