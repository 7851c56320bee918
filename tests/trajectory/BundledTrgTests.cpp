// The bundled example trajectory (examples/results/dynamics/rocksalt.trg),
// written by the engine stand-in with the rest of the bundled dynamics run
// (scripts/example-results.sh), an NVT run: it reads back through the
// module's exported functions with one frame per production step of the
// run's ".gout", whose time, kinetic and potential energy and temperature it
// carries.
#include <gtest/gtest.h>

#include <cmath>

#include "readers/MolDynOutputFileReader.h"
#include "readers/ZelmTrajectoryReader.h"

namespace {

const std::string run = std::string(QZ_TEST_DATA) + "/../../examples/results/dynamics/rocksalt";

}  // namespace

TEST(BundledTrajectory, ReadsBackAsTheStepsOfItsRun)
{
    const std::string bundled = run + ".trg";
    int atoms = 0, frames = 0, status = 1;
    double version = 0.0;
    Get_Zelm_Trajectory_File_Info(bundled.c_str(), 0, &atoms, &frames, &version, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(atoms, 8);

    const CMolDynOutputFileReader output(run + ".gout");
    const CMolDynOutputFileInfo& production = output.GetOutputFileInfo();
    const CMolDynOutputFileCommonInfo& rows = production.GetCommonInfo();
    ASSERT_EQ(static_cast<std::size_t>(frames), production.GetTime().size());
    ASSERT_GT(frames, 1);

    std::vector<double> s[4], a[6];
    for (auto& v : s)
        v.resize(static_cast<std::size_t>(frames));
    for (auto& v : a)
        v.resize(static_cast<std::size_t>(frames * atoms));
    Read_Zelm_Trajectory_File(bundled.c_str(), 0, atoms, frames, version, s[0].data(), s[1].data(), s[2].data(),
                              s[3].data(), a[0].data(), a[1].data(), a[2].data(), a[3].data(), a[4].data(),
                              a[5].data(), nullptr, nullptr, &status);
    ASSERT_EQ(status, 0);
    // The output prints five or six decimals, four for the temperature.
    for (std::size_t f = 0; f < static_cast<std::size_t>(frames); ++f) {
        EXPECT_NEAR(s[0][f], production.GetTime()[f], 1e-5) << f;
        EXPECT_NEAR(s[1][f], rows.GetKineticEnergy()[f], 1e-6) << f;
        EXPECT_NEAR(s[2][f], rows.GetPotentialEnergy()[f], 1e-6) << f;
        EXPECT_NEAR(s[3][f], rows.GetTemperature()[f], 1e-4) << f;
    }
    // The rock salt's first chlorine sits at the centre of the shrinking cell.
    const std::size_t last = static_cast<std::size_t>((frames - 1) * atoms + 4);
    EXPECT_NEAR(a[0][last], a[1][last], 1e-12);
    EXPECT_GT(a[0][last], 2.7);
    EXPECT_LT(a[0][last], 2.8201);
}
