// The optimisation and dynamics trajectory providers over fake archives and
// outputs, real ".trg" files and host documents; what they serve is also
// written with the trajectory writer and read back.
#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>
#include <utility>

#include "common/ErrorInfo.h"
#include "host/model/Symmetry.h"
#include "qorqm/CTrjWriter.h"
#include "qorqm/LatticeUtilities.h"
#include "qorqm/TrjFile.h"
#include "readers/ZelmGeomOptTrjDataProvider.h"
#include "readers/ZelmMolDynTrjDataProvider.h"
#include "trajectory/FakeArchive.h"
#include "trajectory/FakeRunOutput.h"
#include "trajectory/HostProject.h"
#include "trajectory/TrgFiles.h"

namespace {

constexpr double Degrees = 180.0 / 3.14159265358979323846;

struct Providers : ::testing::Test {
    QzTest::HostProject project{"providers"};
    QzTest::FakeArchiveOpener archive;
    QzTest::FakeRunOutputServices output;
    std::string base = project.Path("run");

    void Files(bool trg = false)
    {
        QzTest::WriteFile(base + ".arc", "arc");
        QzTest::WriteFile(base + ".gout", "gout");
        if (trg)
            QzTest::WriteTrg(base + ".trg", trgSpec);
    }
    QzTest::TrgSpec trgSpec{1.0, 2, 3, false};
};

std::vector<double> Cell(CTrjDataProvider& p)
{
    std::vector<double> six(6, -9.0);
    p.GetCell(six.data());
    return six;
}

void ExpectNear(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-9) << "at " << i;
}

TrajectoryArchiveFrame Frame(double time, double energy, std::vector<std::array<double, 3>> positions,
                             CLatticeInfo lattice = CLatticeInfo())
{
    return {lattice, time, energy, std::move(positions)};
}

}  // namespace

TEST_F(Providers, OptimisationWithoutSymmetryServesEveryPositionAndItsEnergies)
{
    HostModel::Document molecule;
    for (int i = 0; i < 3; ++i)
        molecule.AddAtom("O", {double(i), 0, 0});
    KelvComPtr<ISBDocumentRoot> document = project.Open(molecule, "run");
    archive.content.frames = {Frame(0.0, -10.0, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}),
                              Frame(0.5, -12.0, {{0, 0, 1}, {1, 0, 1}, {2, 0, 1}})};
    EXPECT_EQ(nullptr, CreateZelmGeomOptTrjDataProvider(base, project.root, document, false));  // no files yet
    Files();
    QzTest::WriteFile(base + ".trjaux", "# ids\n7\n");
    for (int runType : {2, 5}) {
        SCOPED_TRACE(runType);
        output.content.runType = runType;
        std::unique_ptr<CZelmGeomOptTrjDataProvider> p(
            CreateZelmGeomOptTrjDataProvider(base, project.root, document, false));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->GetAtomCount(), 3);
        EXPECT_EQ(p->GetAtomIds(), (std::vector<std::int32_t>{7, 1, 2}));  // padded by position
        ASSERT_TRUE(p->GoToFirstFrame());
        ASSERT_TRUE(p->GoToNextFrame());
        ExpectNear(p->GetPositions(), {0, 0, 1, 1, 0, 1, 2, 0, 1});
        EXPECT_EQ(p->GetEnergySum(), -12.0);
        EXPECT_EQ(p->GetEnergyTerm1(), runType == 2 ? 0.0 : -6.0);
        EXPECT_EQ(p->GetTimeStep(), 0.5);
        EXPECT_EQ(p->GetVolumeProduct(), 0.0);
        EXPECT_EQ(Cell(*p), std::vector<double>(6, -9.0));
        EXPECT_FALSE(p->GoToNextFrame());
        // A restart serves the frames again from the first.
        ASSERT_TRUE(p->GoToFirstFrame());
        EXPECT_EQ(p->GetCurrentFrame(), 1);
    }
}

TEST_F(Providers, OptimisationServesParentsMovedNextToTheirDocumentPlaces)
{
    HostModel::Document crystal;
    crystal.SetCell({4.0, 5.0, 6.0, 90 / Degrees, 90 / Degrees, 90 / Degrees});
    crystal.SetSymmetry(HostModel::Symmetry::FromName("P -1"));
    crystal.AddAtomAt("Na", {0.98, 0.2, 0.3});  // multiplicity 2
    crystal.AddAtomAt("Cl", {0.0, 0.0, 0.0});   // multiplicity 1
    KelvComPtr<ISBDocumentRoot> document = project.Open(crystal, "run");
    archive.content.periodic3D = true;
    const CLatticeInfo lattice(4.0, 5.0, 6.0, 90, 90, 90);
    // Na's first image at fractional x -0.01: one cell along a (0.99 rounds to 1).
    archive.content.frames = {Frame(0, -1, {{-0.04, 1.0, 1.8}, {0.04, -1.0, -1.8}, {0, 0, 0}}, lattice),
                              Frame(1, -2, {{-0.08, 1.0, 1.8}, {0.08, -1.0, -1.8}, {0.4, 0, 0}}, lattice)};
    output.content.dimensionality = 3;
    output.content.pressure = 1.5;
    Files();
    std::unique_ptr<CZelmGeomOptTrjDataProvider> p(CreateZelmGeomOptTrjDataProvider(base, project.root, document, false));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->GetAtomCount(), 3);
    EXPECT_EQ(p->OffsetsA(), (std::vector<int>{1, 0}));
    ASSERT_TRUE(p->GoToFirstFrame());
    ASSERT_TRUE(p->GoToNextFrame());
    ExpectNear(p->GetPositions(), {3.92, 1.0, 1.8, 0.4, 0, 0, 0, 0, 0});  // offsets of the first frame
    EXPECT_NEAR(p->GetCellVolume(), 120.0, 1e-9);
    EXPECT_EQ(p->GetPressure(), 1.5);
    ExpectNear(Cell(*p), {4, 5, 6, 0, 0, 0});
}

TEST_F(Providers, OptimisationOfASlabServesItsAreaAndOneCellAFrame)
{
    HostModel::Document molecule;
    molecule.AddAtom("O", {0, 0, 0});
    KelvComPtr<ISBDocumentRoot> document = project.Open(molecule, "run");
    // a = (3, 0), b = (1, 2): both flags, read as a 3-D cell only when it is.
    const CLatticeInfo surface(3.0, std::sqrt(5.0), 0, std::atan2(2.0, 1.0) * Degrees, 0, 0);
    archive.content.periodic2D = true;
    archive.content.frames = {Frame(0, 0, {{1, 0, 2}}, surface)};
    output.content.dimensionality = 2;
    Files();
    std::unique_ptr<CZelmGeomOptTrjDataProvider> p(CreateZelmGeomOptTrjDataProvider(base, project.root, document, false));
    ASSERT_TRUE(p->GoToFirstFrame());
    EXPECT_NEAR(p->GetCellVolume(), 6.0, 1e-9);
    ExpectNear(Cell(*p), {1, 3 * std::sin(std::atan2(2.0, 1.0)), std::sqrt(5.0), 3 * std::cos(std::atan2(2.0, 1.0)), 0, 0});

    archive.content.periodic3D = true;
    archive.content.frames[0].lattice = CLatticeInfo(3, 4, 5, 90, 90, 90);
    output.content.dimensionality = 3;
    p.reset(CreateZelmGeomOptTrjDataProvider(base, project.root, document, false));
    ASSERT_TRUE(p->GoToFirstFrame());
    EXPECT_NEAR(p->GetCellVolume(), 60.0, 1e-9);  // one 3-D cell of nine values, not 18
    QzTest::TempFolder out("geomopt-trj");
    ASSERT_EQ(S_OK, CTrjWriter().WriteTrajFile(*p, out.File("run")));
    EXPECT_EQ(TrjFile::Read(out.File("run.trj")).frames.size(), 1u);
}

TEST_F(Providers, OptimisationFailuresLeaveTheConstructor)
{
    HostModel::Document molecule;
    molecule.AddAtom("O", {0, 0, 0});
    KelvComPtr<ISBDocumentRoot> document = project.Open(molecule, "run");
    archive.content.frames = {Frame(0, 0, {{0, 0, 0}}), Frame(1, 0, {{0, 0, 0}, {1, 1, 1}})};
    Files();
    try {
        CZelmGeomOptTrjDataProvider p(base, project.root, document, false);
        ADD_FAILURE();
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetMessage(), "Inconsistent number of atoms in frames of ZELM arc file.");
    }
    KelvComPtr<ISBDocumentRoot> none;
    try {
        CZelmGeomOptTrjDataProvider p(base, project.root, none, false);
        ADD_FAILURE();
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetMessage(), "No value for DocumentRoot passed to GetSymmetryImages");
    }
}

TEST_F(Providers, DynamicsCellsOfEachKindOfRun)
{
    struct Case {
        const char* what;
        int ensemble, dimensionality;
        std::vector<double> frameCell;  // expected GetCell of frame 2
    } cases[] = {
        {"NPT: the cell of every frame", 3, 3, {}},
        {"NVT: the output's final cell", 2, 3, {4, 5, 6, 0, 0, 0}},
        {"slab", 2, 2, {1, 3, 4, 0, 0, 0}},
        {"molecule", 1, 0, {-9, -9, -9, -9, -9, -9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        trgSpec.cell = c.ensemble == 3;
        Files(true);
        output.content.ensemble = c.ensemble;
        output.content.dimensionality = c.dimensionality;
        output.content.cores = 2;
        std::copy_n(std::vector<double>{4, 5, 6, 90, 90, 90}.begin(), 6, output.content.cell);
        std::copy_n(std::vector<double>{3, 4, 90}.begin(), 3, output.content.surfaceCell);
        std::unique_ptr<CZelmMolDynTrjDataProvider> p(CZelmMolDynTrjDataProvider::Create(base));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->HasCellRecords(), c.ensemble == 3);
        ASSERT_TRUE(p->GoToFirstFrame());
        ASSERT_TRUE(p->GoToNextFrame());
        EXPECT_EQ(p->GetTime(), QzTest::TrgValue(0, 1, 0));
        EXPECT_EQ(p->GetEnergySum(), QzTest::TrgValue(1, 1, 0) + QzTest::TrgValue(2, 1, 0));
        if (c.frameCell.empty()) {
            // The .trg's cell vectors, turned into the standard orientation.
            double a[3], b[3], cc[3], r[3][3];
            for (int k = 0; k < 3; ++k) {
                a[k] = QzTest::TrgValue(10, 1, k);
                b[k] = QzTest::TrgValue(10, 1, 3 + k);
                cc[k] = QzTest::TrgValue(10, 1, 6 + k);
            }
            LatticeUtilities::GetRotationToStandard(a, b, cc, r);
            LatticeUtilities::RealignCell(a, b, cc, r);
            ExpectNear(Cell(*p), {a[0], b[1], cc[2], b[2], a[2], a[1]});
        } else {
            ExpectNear(Cell(*p), c.frameCell);
        }
        if (c.dimensionality == 0) {
            ExpectNear(p->GetPositions(), {QzTest::TrgValue(4, 1, 0), QzTest::TrgValue(5, 1, 0), QzTest::TrgValue(6, 1, 0),
                                           QzTest::TrgValue(4, 1, 1), QzTest::TrgValue(5, 1, 1), QzTest::TrgValue(6, 1, 1)});
            ExpectNear(p->GetSecondAtomVectors(), {QzTest::TrgValue(7, 1, 0), QzTest::TrgValue(8, 1, 0),
                                                   QzTest::TrgValue(9, 1, 0), QzTest::TrgValue(7, 1, 1),
                                                   QzTest::TrgValue(8, 1, 1), QzTest::TrgValue(9, 1, 1)});
        }
    }
}

// The dynamics provider asks for the step series at every frame: they are
// the output's own, handed out without a copy (a copy per frame makes
// writing a trajectory quadratic in its frames).
template <class Series>
constexpr bool Shared = std::is_same_v<Series, const std::vector<double>&>;
static_assert(Shared<decltype(std::declval<const IDynamicsRunOutput&>().GetCellVolumes())>);
static_assert(Shared<decltype(std::declval<const IDynamicsRunOutput&>().GetPressures())>);
static_assert(Shared<decltype(std::declval<const IDynamicsRunOutput&>().GetPressureFileValues())>);

TEST_F(Providers, DynamicsVolumesPressuresAndTheirAbsence)
{
    Files(true);
    output.content.ensemble = 2;
    output.content.dimensionality = 3;
    output.content.cores = 2;
    std::copy_n(std::vector<double>{2, 3, 4, 90, 90, 90}.begin(), 6, output.content.cell);
    output.content.cellVolumes = {100, 101};  // fewer rows than frames
    output.content.pressures = {0.5};
    output.content.pressureFile = {1, 2, 3, 4, 5, 6};
    output.content.pressure = 7.0;
    std::unique_ptr<CZelmMolDynTrjDataProvider> p(CZelmMolDynTrjDataProvider::Create(base));
    double six[6];
    ASSERT_TRUE(p->GoToFirstFrame());
    EXPECT_EQ(p->GetCellVolume(), 100);
    EXPECT_EQ(p->GetVolumeProduct(), 50);
    p->GetSixComponentValueA(six);
    EXPECT_EQ(six[5], 6);
    EXPECT_EQ(p->GetPressure(), 7.0);
    ASSERT_TRUE(p->GoToNextFrame());
    EXPECT_EQ(p->GetVolumeFactor(), 0.0);  // past the pressure rows
    p->GetSixComponentValueA(six);
    EXPECT_EQ(six[0], 0.0);
    ASSERT_TRUE(p->GoToNextFrame());
    EXPECT_NEAR(p->GetCellVolume(), 24.0, 1e-9);  // past the volume rows: the cell's
    // A restart reads both files again and serves frame 1.
    ASSERT_TRUE(p->GoToFirstFrame());
    EXPECT_EQ(p->GetCurrentFrame(), 1);
}

TEST_F(Providers, DynamicsHeaderAndAtomCountFailures)
{
    struct Case {
        const char* what;
        QzTest::TrgSpec spec;
        int cores;
        const char* message;
    } cases[] = {
        {"no frames", {1.0, 2, 0, false}, 2, "Failed to read ZELM trajectory file header."},
        {"no atoms", {1.0, 0, 2, false}, 2, "Failed to read ZELM trajectory file header."},
        {"negative atom count", {1.0, -3, 2, false}, 2, "Failed to read ZELM trajectory file header."},
        {"more cores than the file's atoms", {1.0, 2, 2, false}, 3, "The ZELM output gives 3 atoms, the ZELM trajectory file 2."},
        {"no cores", {1.0, 2, 2, false}, 0, "The ZELM output gives 0 atoms, the ZELM trajectory file 2."},
    };
    Files();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QzTest::WriteTrg(base + ".trg", c.spec);
        output.content.cores = c.cores;
        try {
            CZelmMolDynTrjDataProvider p(base);
            ADD_FAILURE();
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
            EXPECT_EQ(error.GetMessage(), c.message);
        }
    }
    EXPECT_EQ(nullptr, CZelmMolDynTrjDataProvider::Create(project.Path("other")));
}

TEST_F(Providers, DynamicsFixedCellWithoutCellParameters)
{
    trgSpec.atoms = 3;
    Files(true);
    output.content.ensemble = 2;
    output.content.dimensionality = 3;
    output.content.cores = 2;  // fewer than the file's atoms: the first two a frame
    // Without cell parameters the archive's cell is taken.
    archive.content.frames = {Frame(0, 0, {}, CLatticeInfo(3, 3, 3, 90, 90, 90))};
    std::unique_ptr<CZelmMolDynTrjDataProvider> p(CZelmMolDynTrjDataProvider::Create(base));
    ASSERT_TRUE(p->GoToFirstFrame());
    EXPECT_NEAR(p->GetCellVolume(), 27.0, 1e-9);
    EXPECT_EQ(p->GetPositions().size(), 6u);
    ASSERT_TRUE(p->GoToNextFrame());
    EXPECT_NEAR(p->GetPositions()[3], QzTest::TrgValue(4, 1, 1), 1e-9);
    QzTest::TempFolder out("md-trj");
    ASSERT_EQ(S_OK, CTrjWriter().WriteTrajFile(*p, out.File("run")));
    const TrjContents read = TrjFile::Read(out.File("run.trj"));
    ASSERT_EQ(read.frames.size(), 3u);
    EXPECT_EQ(read.frames[2].secondAtomVectors.size(), 6u);
    // Cell parameters that make no cell, or none at all: a clear failure,
    // never a zero cell.
    std::copy_n(std::vector<double>{0, 3, 3, 90, 90, 90}.begin(), 6, output.content.cell);
    try {
        CZelmMolDynTrjDataProvider flat(base);
        ADD_FAILURE();
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetMessage(), "The cell parameters of the run describe no cell.");
    }
    output.content.cell[0] = NAN;
    archive.content.frames.clear();
    try {
        CZelmMolDynTrjDataProvider none(base);
        ADD_FAILURE();
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetMessage(), "Neither the ZELM output file nor the ZELM arc file gives the cell of the run.");
    }
}

TEST_F(Providers, DynamicsOfAnAsymmetricUnitTakesTheWholeCell)
{
    // The output lists 2 of the 8 atoms of a structure given with its space
    // group; every frame of the trajectory has all 8.
    trgSpec.atoms = 8;
    Files(true);
    output.content.ensemble = 2;
    output.content.dimensionality = 0;
    output.content.cores = 2;
    output.content.irreducible = 2;
    output.content.total = 8;
    std::unique_ptr<CZelmMolDynTrjDataProvider> p(CZelmMolDynTrjDataProvider::Create(base));
    ASSERT_TRUE(p);
    EXPECT_EQ(8, p->GetAtomCount());
    ASSERT_TRUE(p->GoToFirstFrame());
    ASSERT_EQ(24u, p->GetPositions().size());
    EXPECT_NEAR(p->GetPositions()[21], QzTest::TrgValue(4, 0, 7), 1e-9);

    // Counts that cannot be matched fail, naming them: a trajectory file of
    // the asymmetric unit only, and shells that do not pair with the cores.
    struct Case {
        const char* what;
        int trgAtoms, shells;
        const char* message;
    } cases[] = {
        {"fewer atoms in the file", 2, 0, "The ZELM output gives 8 atoms, the ZELM trajectory file 2."},
        {"shells on some cores", 8, 1,
         "The ZELM output lists the asymmetric unit (2 of 8 atoms and shells) of a structure whose cores and shells "
         "it does not count for the whole cell: the atoms of the ZELM trajectory file cannot be matched to the "
         "structure."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        trgSpec.atoms = c.trgAtoms;
        QzTest::WriteTrg(base + ".trg", trgSpec);
        output.content.shells = c.shells;
        try {
            CZelmMolDynTrjDataProvider failed(base);
            ADD_FAILURE();
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetMessage(), c.message);
        }
    }
}

TEST(DynamicsProvider, EngineOutputOfASpaceGroupStructure)
{
    // The engine's own layout, read by the output reader: 2 irreducible of
    // 8 atoms in the output, all 8 in the trajectory file.
    QzTest::TempFolder folder("spacegroup-md");
    const std::string base = folder.File("rocksalt");
    QzTest::WriteFile(base + ".gout",
                      QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/readers/spacegroup-dynamics.gout"));
    QzTest::WriteTrg(base + ".trg", QzTest::TrgSpec{1.0, 8, 2, false});
    std::unique_ptr<CZelmMolDynTrjDataProvider> p(CZelmMolDynTrjDataProvider::Create(base));
    ASSERT_TRUE(p);
    EXPECT_EQ(8, p->GetAtomCount());
    ASSERT_TRUE(p->GoToFirstFrame());
    EXPECT_EQ(24u, p->GetPositions().size());
    EXPECT_NEAR(p->GetCellVolume(), 5.64 * 5.64 * 5.64, 1e-6);
}
