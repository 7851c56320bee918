// A surface run numbers its atoms by region: the live model and the final
// structure take the archive's atoms through the surface map.

#include "JobHost.h"

#include <cstdio>

using namespace JobTest;

namespace {

// The bundled slab (8 atoms) with atoms 3 and 4 in the surface set: the
// engine numbers them 1 and 2, then atoms 1, 2, 5, 6, 7, 8.
const std::vector<int> EngineOrder{3, 4, 1, 2, 5, 6, 7, 8};

std::string SlabWithSurfaceSet()
{
    std::string slab = QzTest::ReadFile(Example("slab.qsd"));
    slab.replace(slab.find("\"sets\": []"), 10, "\"sets\": [{\"name\": \"SurfaceAtoms\", \"atoms\": [2, 3]}]");
    return slab;
}

// A surface archive of one frame in engine order: every atom 0.1 Angstrom
// above its place in the slab.
std::string SurfaceArchive()
{
    const auto slab = HostModel::DocumentFromQsdText(SlabWithSurfaceSet());
    std::string text = "!KORVEX archive 3\nPBC=2D\n  -700.0\n!DATE today\nPBC 3.988082 3.988082 90.0\n";
    for (std::size_t k = 0; k < EngineOrder.size(); ++k) {
        const HostModel::Atom& atom = slab->Atoms()[static_cast<std::size_t>(EngineOrder[k] - 1)];
        const HostModel::Vec3 p = slab->Cartesian(atom.handle);
        char line[256];
        std::snprintf(line, sizeof line, "%s%zu %.6f %.6f %.6f CORE %zu %s %s 0.0 %zu\n", atom.element.c_str(), k + 1,
                      p[0], p[1], p[2] + 0.1, k + 1, atom.element.c_str(), atom.element.c_str(), k + 1);
        text += line;
    }
    return text + "end\nend\n";
}

void ExpectRaisedInPlace(const HostModel::Document& model)
{
    const auto slab = HostModel::DocumentFromQsdText(SlabWithSurfaceSet());
    ASSERT_EQ(slab->Atoms().size(), model.Atoms().size());
    for (std::size_t i = 0; i < model.Atoms().size(); ++i) {
        EXPECT_NEAR(slab->Cartesian(slab->Atoms()[i].handle)[2] + 0.1, model.Cartesian(model.Atoms()[i].handle)[2],
                    1e-6)
            << "atom " << i + 1;
        EXPECT_EQ(slab->Atoms()[i].element, model.Atoms()[i].element);
    }
}

class SurfaceMap : public JobHost {};

TEST_F(SurfaceMap, FinalStructureTakesTheArchiveThroughTheSurfaceMap)
{
    MakeJob("Surface", {});
    QzTest::WriteFile(Results() + "rocksalt.qsd", SlabWithSurfaceSet());
    QzTest::WriteFile(Results() + "rocksalt.arc", SurfaceArchive());
    ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
    ASSERT_EQ(S_OK, Events()->OnJobComplete()) << QzTest::LastErrorText();
    ExpectRaisedInPlace(*HostModel::LoadQsd(Results() + "rocksalt.qsd"));
}

TEST_F(SurfaceMap, LiveModelOfASurfaceJobTakesTheArchiveThroughTheMap)
{
    const std::string staged = folder.Write("work/rocksalt.qsd", SlabWithSurfaceSet());
    MakeJob("Surface", {staged});
    ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
    ASSERT_EQ(S_OK, Events()->OnJobStart());
    const std::string snapshot = folder.Write("engine/rocksalt-step1.arc", SurfaceArchive());
    Job().GetLiveUpdater().UpdateFromFileResult(KelvBSTR(snapshot));
    ExpectRaisedInPlace(*HostModel::LoadQsd(Results() + "rocksalt.qsd"));
}

} // namespace
