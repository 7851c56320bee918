// The updater, the providers and the trajectory writer over the engine
// output readers (no fakes): hand-written archives on host documents, and the
// bundled runs of examples/results written to ".trj" files and compared with
// their golden copies (regenerated when QZ_REGENERATE_EXAMPLES is set).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "host/model/CifImport.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"
#include "qorqm/CTrjWriter.h"
#include "qorqm/QMPhysicalConstants.h"
#include "qorqm/TrjFile.h"
#include "readers/StructureUpdater.h"
#include "readers/ZelmGeomOptTrjDataProvider.h"
#include "readers/ZelmMolDynTrjDataProvider.h"
#include "trajectory/HostProject.h"

namespace {

namespace fs = std::filesystem;
const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples";
const std::string golden = std::string(QZ_TEST_DATA) + "/trajectory/";

struct BundledRuns : ::testing::Test {
    QzTest::HostProject project{"bundled-runs"};

    KelvComPtr<ISBDocumentRoot> RockSalt() { return project.Open(*HostModel::ImportCif(examples + "/rocksalt.cif"), "salt"); }
    KelvComPtr<ISBDocumentRoot> Slab() { return project.Open(*HostModel::LoadQsd(examples + "/slab.qsd"), "slab"); }
    static std::shared_ptr<HostModel::Document> Model(const KelvComPtr<ISBDocumentRoot>& document)
    {
        return HostModel::DocumentOf(document.get());
    }

    // Copies the run's files into the project; returns its base name there.
    std::string Run(const std::string& run, const std::string& seed)
    {
        for (const char* extension : {".arc", ".gout", ".pre", ".trg"})
            if (fs::exists(examples + "/results/" + run + "/" + seed + extension))
                fs::copy_file(examples + "/results/" + run + "/" + seed + extension, project.Path(run + extension));
        return project.Path(run);
    }

    // Writes the provider's ".trj", reads it back and checks it against the
    // golden copy (the run's folder differs from machine to machine, so the
    // name is set to the run's own before the comparison).
    TrjContents WriteAndCompare(CTrjDataProvider& provider, const std::string& base, const std::string& run)
    {
        EXPECT_EQ(CTrjWriter().WriteTrajFile(provider, base), S_OK);
        TrjContents read = TrjFile::Read(base + ".trj");
        EXPECT_EQ(read.name, base);
        read.name = run;
        std::string bytes = TrjFile::EncodeHeader(read);
        for (const TrjFrame& frame : read.frames)
            bytes += TrjFile::EncodeFrame(frame);
        bytes += TrjFile::EncodeEnd(static_cast<std::uint32_t>(read.frames.size()));
        const std::string path = golden + run + ".trj";
        if (std::getenv("QZ_REGENERATE_EXAMPLES") != nullptr)
            QzTest::WriteFile(path, bytes);
        EXPECT_TRUE(QzTest::ReadFile(path) == bytes) << path << ": regenerate with QZ_REGENERATE_EXAMPLES=1";
        return read;
    }
};

void ExpectNear(const HostModel::Vec3& actual, double x, double y, double z)
{
    EXPECT_NEAR(actual[0], x, 1e-6);
    EXPECT_NEAR(actual[1], y, 1e-6);
    EXPECT_NEAR(actual[2], z, 1e-6);
}

}  // namespace

TEST_F(BundledRuns, UpdaterWritesTheLastFrameOfARealArchive)
{
    // The rock salt carries symmetry: two parents of four images each take
    // archive positions 0 and 4 of the last frame.
    KelvComPtr<ISBDocumentRoot> salt = RockSalt();
    UpdateStructureFromOutputWithMap(project.root, salt, Run("geomopt", "rocksalt") + ".arc");
    EXPECT_NEAR(Model(salt)->Lattice3()->Parameters().a, 5.62892, 1e-12);
    ASSERT_EQ(Model(salt)->Atoms().size(), 8u);
    ExpectNear(Model(salt)->Cartesian(Model(salt)->Atoms()[4].handle), 2.81446, 2.81446, 2.81446);
    EXPECT_FALSE(fs::exists(project.Path("geomopt_TDE_.arc")));

    // The slab takes the surface run's last frame through the 2-D road.
    KelvComPtr<ISBDocumentRoot> slab = Slab();
    UpdateStructureFromOutputWithMap(project.root, slab, Run("surface", "slab") + ".arc");
    EXPECT_NEAR(Model(slab)->Lattice2()->Parameters().u, 3.988082, 1e-12);
    ExpectNear(Model(slab)->Cartesian(Model(slab)->Atoms()[1].handle), 1.994041, 2.014041, -0.01);
    ExpectNear(Model(slab)->Cartesian(Model(slab)->Atoms()[3].handle), -0.02, 0.0, -2.81);

    // A frame the reader refuses, or one of another atom count, changes nothing.
    const std::string frame = "!KORVEX archive 3\nPBC=ON\n  -700.0\n!DATE now\nPBC 6 6 6 90 90 90\n";
    const std::string atom = "Na1 1.0 1.0 1.0 CORE 1 Na Na 1.0 1\n";
    struct Case {
        const char* what;
        std::string text;
        const char* message;
    } cases[] = {
        {"atom line of 8 words", frame + "Na1 1.0 1.0 1.0 CORE 1 Na Na\nend\nend\n", "ZELM output not readable."},
        {"coordinate that is no number", frame + "Na1 1.0 x 1.0 CORE 1 Na Na 1.0 1\nend\nend\n",
         "Found invalid field in the string x"},
        {"one atom for eight", frame + atom + "end\nend\n",
         "Model has been modified and cannot be used for analysis: wrong number of atoms."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QzTest::WriteFile(project.Path("bad.arc"), c.text);
        try {
            UpdateStructureFromOutputWithMap(project.root, salt, project.Path("bad.arc"));
            ADD_FAILURE();
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetMessage(), c.message);
        }
        EXPECT_NEAR(Model(salt)->Lattice3()->Parameters().a, 5.62892, 1e-12);
        EXPECT_FALSE(fs::exists(project.Path("bad_TDE_.arc")));
    }
}

TEST_F(BundledRuns, OptimisationTrajectoryOfTheBundledRun)
{
    KelvComPtr<ISBDocumentRoot> salt = RockSalt();
    const std::string base = Run("geomopt", "rocksalt");
    std::unique_ptr<CZelmGeomOptTrjDataProvider> provider(
        CreateZelmGeomOptTrjDataProvider(base, project.root, salt, false));
    ASSERT_TRUE(provider);
    const TrjContents read = WriteAndCompare(*provider, base, "geomopt");
    ASSERT_EQ(read.frames.size(), 5u);
    EXPECT_EQ(read.atomCount, 8);
    const TrjFrame& last = read.frames[4];
    EXPECT_EQ(last.periodicity, 3);
    EXPECT_EQ(last.energyTerm1, 0.0);  // an optimisation: the whole energy in the second term
    EXPECT_NEAR(last.energyTerm2, -31.9083, 1e-4);
    EXPECT_NEAR(last.cellVolume, 5.62892 * 5.62892 * 5.62892, 1e-9);
    EXPECT_NEAR(last.cell[0], 5.62892, 1e-12);
    // The two parents (Na, then Cl at the cell's centre), then zeros.
    EXPECT_NEAR(last.positions[3], 2.81446, 1e-6);
    EXPECT_EQ(last.positions[6], 0.0);
}

TEST_F(BundledRuns, SurfaceTrajectoryOfTheBundledSlab)
{
    KelvComPtr<ISBDocumentRoot> slab = Slab();
    const std::string base = Run("surface", "slab");
    std::unique_ptr<CZelmGeomOptTrjDataProvider> provider(
        CreateZelmGeomOptTrjDataProvider(base, project.root, slab, true));
    ASSERT_TRUE(provider);
    const TrjContents read = WriteAndCompare(*provider, base, "surface");
    ASSERT_EQ(read.frames.size(), 5u);
    const TrjFrame& last = read.frames[4];
    EXPECT_EQ(last.periodicity, 2);
    EXPECT_NEAR(last.cellVolume, 3.988082 * 3.988082, 1e-9);  // the surface area
    EXPECT_EQ(last.energyTerm1, last.energyTerm2);       // a surface run halves its energy
    EXPECT_NEAR(last.energySum, -31.9083036, 1e-6);
}

TEST_F(BundledRuns, DynamicsTrajectoryOfTheBundledRun)
{
    const std::string base = Run("dynamics", "rocksalt");
    std::unique_ptr<CZelmMolDynTrjDataProvider> provider(CZelmMolDynTrjDataProvider::Create(base));
    ASSERT_TRUE(provider);
    const TrjContents read = WriteAndCompare(*provider, base, "dynamics");
    // One frame per production step of the output: its rows, ".pre" values
    // and the cell under its heading's one blank line (an NVT run) go with
    // the ".trg" frame of the same step.
    ASSERT_EQ(read.frames.size(), 5u);
    const TrjFrame& frame = read.frames[4];
    EXPECT_EQ(frame.time, 0.01);
    EXPECT_NEAR(frame.timeStep, 0.002, 1e-12);
    EXPECT_NEAR(frame.energyTerm1, 0.300411, 1e-6);
    EXPECT_NEAR(frame.energyTerm2, -32.208723, 1e-6);
    EXPECT_NEAR(frame.auxiliaryValue, 290.4108, 1e-4);
    EXPECT_NEAR(frame.cellVolume, 5.6402 * 5.6402 * 5.6402, 1e-9);
    EXPECT_EQ(frame.volumeFactor, 0.12);
    EXPECT_EQ(frame.pressure, 0.12);
    EXPECT_EQ(frame.valuesA[5], 0.17);
    EXPECT_NEAR(frame.cell[0], 5.6402, 1e-12);
    EXPECT_EQ(frame.secondAtomVectors.size(), 24u);
}
