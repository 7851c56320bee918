// The bundled example trajectory (examples/results/dynamics/rocksalt.trg):
// the production stage of the bundled NVT run of the eight-atom rock-salt
// cell, one frame per step of its ".gout" (time, kinetic and potential
// energy, temperature as the output's rows give them). The test regenerates
// it from the description below when QZ_REGENERATE_EXAMPLES is set, and
// otherwise checks that the bundled file is exactly that and reads back
// through the reader.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/TempFolder.h"
#include "readers/ZelmTrajectoryReader.h"
#include "recfile/RecordWriter.h"

namespace {

const std::string bundled = std::string(QZ_TEST_DATA) + "/../../examples/results/dynamics/rocksalt.trg";
constexpr int Frames = 6;
constexpr int Atoms = 8;
constexpr double Edge = 5.6402;

// The production rows of the run's output: time (ps), kinetic and potential
// energy (eV), temperature (K).
const double Steps[Frames][4] = {{0.008, 0.311411, -31.969800, 289.6835}, {0.010, 0.302432, -31.963073, 286.7482},
                                 {0.012, 0.300411, -31.944327, 303.2268}, {0.014, 0.307206, -31.930797, 314.9782},
                                 {0.016, 0.316570, -31.934922, 304.7865}, {0.018, 0.319894, -31.952910, 287.5826}};

// Fractional sites: four Na, then four Cl.
const double Sites[Atoms][3] = {{0, 0, 0},     {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0},
                                {0.5, 0.5, 0.5}, {0.5, 0, 0},   {0, 0.5, 0},   {0, 0, 0.5}};

double Position(int frame, int atom, int axis)
{
    return Edge * Sites[atom][axis] + 0.004 * ((3 * frame + 5 * atom + 7 * axis) % 11 - 5);
}

double Velocity(int frame, int atom, int axis)
{
    return 0.1 * ((5 * frame + 3 * atom + 2 * axis) % 9 - 4);
}

void WriteExample(const std::string& path)
{
    RecordFile::RecordWriter writer(path);
    writer.Write(RecordFile::Record().Real(1.0));
    writer.Write(RecordFile::Record().Integer(Atoms));
    for (int f = 0; f < Frames; ++f) {
        writer.Write(RecordFile::Record().Real(Steps[f][0]).Real(Steps[f][1]).Real(Steps[f][2]).Real(Steps[f][3]));
        for (int k = 0; k < 6; ++k) {
            RecordFile::Record values;
            for (int j = 0; j < Atoms; ++j)
                values.Real(k < 3 ? Position(f, j, k) : Velocity(f, j, k - 3));
            writer.Write(values);
        }
    }
    writer.Close();
}

}  // namespace

TEST(BundledTrajectory, IsTheDescribedRunAndReadsBack)
{
    if (std::getenv("QZ_REGENERATE_EXAMPLES") != nullptr)
        WriteExample(bundled);
    QzTest::TempFolder folder("bundled-trg");
    WriteExample(folder.File("expected.trg"));
    ASSERT_EQ(QzTest::ReadFile(bundled), QzTest::ReadFile(folder.File("expected.trg")))
        << "regenerate with QZ_REGENERATE_EXAMPLES=1";

    int atoms = 0, frames = 0, status = 1;
    double version = 0.0;
    Get_Zelm_Trajectory_File_Info(bundled.c_str(), 0, &atoms, &frames, &version, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(atoms, Atoms);
    EXPECT_EQ(frames, Frames);
    std::vector<double> s[4], a[6];
    for (auto& v : s)
        v.resize(Frames);
    for (auto& v : a)
        v.resize(Frames * Atoms);
    Read_Zelm_Trajectory_File(bundled.c_str(), 0, atoms, frames, version, s[0].data(), s[1].data(), s[2].data(),
                              s[3].data(), a[0].data(), a[1].data(), a[2].data(), a[3].data(), a[4].data(),
                              a[5].data(), nullptr, nullptr, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(s[0][3], 0.014);
    EXPECT_EQ(s[2][5], -31.952910);
    EXPECT_EQ(a[2][2 * Atoms + 7], Position(2, 7, 2));
    EXPECT_EQ(a[3][3 * Atoms + 1], Velocity(3, 1, 0));
}
