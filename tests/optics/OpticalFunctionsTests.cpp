// Optical functions worked by hand: the dielectric tensor of one mode, the
// directional and polycrystal values and the series derived from a root.
#include "analysis/OpticalFunctions.h"

#include "common/KelvResults.h"
#include "qorqm/QMPhysicalConstants.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Complex = std::complex<double>;

xxMatrix3x3 Isotropic(double value)
{
    return xxMatrix3x3(value, 0, 0, 0, value, 0, 0, 0, value);
}

// Optics from 0 to 250 cm-1: a step of 0.125, whose running sums are exact.
COpticalProperties OneModeOptics(double damping)
{
    COpticalProperties optics;
    optics.SetRange(1, 0.0, 250.0);
    optics.SetDamping(damping);
    return optics;
}

TEST(DielectricTensor, OneUndampedModeByHand)
{
    COpticalProperties optics = OneModeOptics(0.0);
    optics.GenOpticsPlottingData({100.0}, {Isotropic(5000.0)}, Isotropic(1.0));
    const std::vector<DielectricTensor> data = optics.GetOpticalPlottingData();
    ASSERT_EQ(data.size(), optics.GetOpticalFrequencyGrid().size());
    // w = 0: 1 + S / 100^2.
    EXPECT_DOUBLE_EQ(data.front()[EpsXX].real(), 1.5);
    EXPECT_EQ(data.front()[EpsXX].imag(), 0.0);
    EXPECT_EQ(data.front()[EpsXY], Complex(0.0, 0.0));
    // w = 250: 1 + 5000 / (10000 - 62500).
    EXPECT_DOUBLE_EQ(data.back()[EpsZZ].real(), 1.0 - 5000.0 / 52500.0);
    // At the mode itself the undamped value divides by zero; it stays there.
    const std::vector<double> grid = optics.GetOpticalFrequencyGrid();
    EXPECT_EQ(grid[800], 100.0);
    EXPECT_FALSE(std::isfinite(std::abs(data[800][EpsXX])));
}

TEST(DielectricTensor, ModesWithoutStrengthAddNothingEvenAtTheirPole)
{
    // Three acoustic modes at 0 with no strength: at w = 0 their terms
    // divide by zero, yet the value stays that of the optical mode.
    COpticalProperties optics = OneModeOptics(5.0);
    optics.GenOpticsPlottingData({0.0, 0.0, 0.0, 100.0},
                                 {Isotropic(0.0), Isotropic(0.0), Isotropic(0.0), Isotropic(5000.0)}, Isotropic(2.0));
    const DielectricTensor first = optics.GetOpticalPlottingData().front();
    EXPECT_EQ(first[EpsXX], Complex(2.5, 0.0));
    EXPECT_EQ(first[EpsXY], Complex(0.0, 0.0));
}

TEST(DielectricTensor, OffDiagonalsAreSymmetrisedInComponentOrder)
{
    COpticalProperties optics = OneModeOptics(0.0);
    const xxMatrix3x3 epsInf(1, 2, 4, 6, 3, 8, 10, 12, 5);
    const xxMatrix3x3 s(100, 200, 400, 600, 300, 800, 1000, 1200, 500);
    optics.GenOpticsPlottingData({10.0}, {s}, epsInf);
    const DielectricTensor first = optics.GetOpticalPlottingData().front(); // w = 0: r = 1/100
    const double expected[6] = {1 + 1, 4 + 4, 3 + 3, 7 + 7, 10 + 10, 5 + 5};
    for (int i = 0; i < 6; ++i)
        EXPECT_DOUBLE_EQ(first[i].real(), expected[i]) << i;
}

TEST(DielectricTensor, DampingMakesDiagonalImaginaryPartsNegative)
{
    COpticalProperties optics = OneModeOptics(5.0);
    optics.GenOpticsPlottingData({100.0}, {Isotropic(5000.0)}, Isotropic(2.0));
    const std::vector<DielectricTensor> data = optics.GetOpticalPlottingData();
    for (std::size_t i = 1; i < data.size(); i += 250) {
        EXPECT_LT(data[i][EpsXX].imag(), 0.0) << i;
        EXPECT_GT(ExtinctionSeries({data[i][EpsXX]})[0], 0.0) << i;
    }
}

TEST(DielectricTensor, EmptyAndMismatchedInputs)
{
    struct Case {
        std::vector<double> modes;
        std::size_t tensors;
        const char* message;
    } cases[] = {{{}, 0, "Empty input to GenOpticsPlottingData."},
                 {{1.0}, 0, "Empty input to GenOpticsPlottingData."},
                 {{}, 1, "Empty input to GenOpticsPlottingData."},
                 {{1, 2, 3, 4, 5, 6, 7}, 6, "Mismatch of input arrays to GenOpticsPlottingData."}};
    for (const Case& c : cases) {
        COpticalProperties optics = OneModeOptics(1.0);
        optics.GenOpticsPlottingData({100.0}, {Isotropic(1.0)}, Isotropic(1.0));
        ASSERT_FALSE(optics.GetOpticalPlottingData().empty());
        std::string message;
        EXPECT_EQ(QzTest::CodeOf(
                      [&] {
                          optics.GenOpticsPlottingData(c.modes, std::vector<xxMatrix3x3>(c.tensors, Isotropic(1.0)),
                                                       Isotropic(1.0));
                      },
                      message),
                  E_UNEXPECTED);
        EXPECT_EQ(message, c.message);
        EXPECT_TRUE(optics.GetOpticalPlottingData().empty());
    }
}

TEST(DielectricValues, DirectionsPickComponentsAndAveragesKeepIsotropy)
{
    const DielectricTensor t{{1, -1}, {2, 0}, {3, -2}, {4, 0}, {5, 0}, {6, -3}};
    const double z2[3] = {0, 0, 2};
    const double z5[3] = {0, 0, 5};
    EXPECT_EQ(DirectionalDielectricFunction({t}, z2, z5)[0], Complex(6, -3));
    const double x[3] = {3, 0, 0};
    const double y[3] = {0, 0.1, 0};
    EXPECT_EQ(DirectionalDielectricFunction({t}, x, y)[0], Complex(2, 0));

    const DielectricTensor iso{{2.5, -0.5}, {0, 0}, {2.5, -0.5}, {0, 0}, {0, 0}, {2.5, -0.5}};
    const Complex average = PolycrystalAverage({iso, iso})[1];
    EXPECT_NEAR(average.real(), 2.5, 1e-12);
    EXPECT_NEAR(average.imag(), -0.5, 1e-12);
    EXPECT_TRUE(PolycrystalAverage({}).empty());
    // A zero trace divides by zero and is kept as it comes.
    const DielectricTensor traceless{{1, 0}, {0, 0}, {-1, 0}, {0, 0}, {0, 0}, {0, 0}};
    EXPECT_FALSE(std::isfinite(PolycrystalAverage({traceless})[0].real()));

    const double tiny[3] = {1e-9, 0, 0};
    std::string message;
    EXPECT_EQ(QzTest::CodeOf([&] { DirectionalDielectricFunction({t}, tiny, z5); }, message), E_UNEXPECTED);
    EXPECT_EQ(message, "Incident direction is ill defined.");
    EXPECT_EQ(QzTest::CodeOf([&] { DirectionalDielectricFunction({t}, z5, tiny); }, message), E_UNEXPECTED);
    EXPECT_EQ(message, "Reflected direction is ill defined.");
}

TEST(DielectricValues, PolycrystalAverageCountsEachOffDiagonalTermTwiceAsAComplexSquare)
{
    // xx 2, yy 3, zz 4, xy i, xz 0.5, yz -1 (stored xx, xy, yy, xz, yz, zz):
    // T = 9, Q = 4 + 2 i^2 + 9 + 2 * 0.25 + 2 * 1 + 16 = 29.5,
    // 4 T / 9 - Q / 3 T = 4 - 29.5 / 27.
    const DielectricTensor tensor{{2, 0}, {0, 1}, {3, 0}, {0.5, 0}, {-1, 0}, {4, 0}};
    const Complex average = PolycrystalAverage({tensor})[0];
    EXPECT_NEAR(average.real(), 4.0 - 29.5 / 27.0, 1e-14);
    EXPECT_NEAR(average.imag(), 0.0, 1e-14);
}

TEST(DielectricValues, SeriesFromTheRoot)
{
    const ComplexSeries eps{{4, 0}, {4, -0.0}, {-3.76, 0.0}, {-3.76, -0.0}, {-4, -1e-3}};
    EXPECT_EQ(RefractiveIndexSeries(eps)[0], 2.0);
    EXPECT_EQ(ExtinctionSeries(eps)[0], 0.0);
    EXPECT_DOUBLE_EQ(ReflectivitySeries(eps)[0], 1.0 / 9.0);
    // Undamped, above a mode: the extinction is positive whatever the sign of
    // the zero imaginary part, and equals the damped limit.
    const std::vector<double> kappa = ExtinctionSeries(eps);
    EXPECT_NEAR(kappa[2], std::sqrt(3.76), 1e-12);
    EXPECT_EQ(kappa[2], kappa[3]);
    EXPECT_NEAR(kappa[4], 2.0, 1e-6);
    EXPECT_EQ(ReflectivitySeries(eps)[2], 1.0);

    const std::vector<double> grid{0.0, 100.0, 200.0};
    const std::vector<double> alpha = AbsorptionSeries({{-1, -0.0}, {-1, -0.0}, {-1, 0.0}}, grid, 0.5);
    ASSERT_EQ(alpha.size(), 3u);
    EXPECT_EQ(alpha[0], 0.0);
    EXPECT_DOUBLE_EQ(alpha[1], 0.5 * 100.0 * 4.0 * M_PI * QMPhysicalConstants::EV_TO_CM_1);
    EXPECT_DOUBLE_EQ(alpha[2], 0.5 * 200.0 * 4.0 * M_PI * QMPhysicalConstants::EV_TO_CM_1);
    EXPECT_EQ(AbsorptionSeries(eps, grid, 1.0).size(), 3u);
}

TEST(OpticalSeries, AbsorptionCoefficientOfOneDampedOscillatorByHand)
{
    // eps_inf = 1, S = 7500, w0 = 100, damping 50 (all cm-1); at w = 50 cm-1:
    // eps = 1 + 7500 / (7500 + 2500i) = 1.9 - 0.3i, root 1.3826674 - 0.1084860i,
    // alpha = 4 pi kappa w = 4 pi * 0.1084860 * 50 = 68.1637 per cm.
    COpticalProperties optics = OneModeOptics(50.0);
    optics.GenOpticsPlottingData({100.0}, {Isotropic(7500.0)}, Isotropic(1.0));
    const std::vector<double>& grid = optics.GetOpticalFrequencyGrid();
    const std::size_t at = 400;  // 50 cm-1 on the grid of step 0.125
    ASSERT_EQ(grid[at], 50.0);
    const ComplexSeries eps = PolycrystalAverage(optics.GetOpticalPlottingData());
    EXPECT_NEAR(eps[at].real(), 1.9, 1e-12);
    EXPECT_NEAR(eps[at].imag(), -0.3, 1e-12);
    // The grid is in cm-1: one display unit is 1 / EV_TO_CM_1 eV.
    const std::vector<double> alpha = AbsorptionSeries(eps, grid, 1.0 / QMPhysicalConstants::EV_TO_CM_1);
    EXPECT_NEAR(alpha[at], 68.16373773521802, 1e-9);
}

} // namespace
