// Optical settings: units, the frequency grid, the direction checks and the
// chart texts.
#include "analysis/OpticalSettings.h"

#include "common/HostFakes.h"
#include "common/KelvResults.h"
#include "qorqm/QMPhysicalConstants.h"
#include "qorvira/StateHelper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using QzTest::MessageOf;

// A state holding the defaults of the analysis logic, changed as needed.
struct OpticalState {
    KelvComPtr<FakeState> state = Make<FakeState>();

    OpticalState()
    {
        Set("OpticalFunction", LONG(1));
        Set("SampleType", LONG(1));
        SetDirection("incoming", 0, 0, 1);
        SetDirection("outgoing", 0, 0, 1);
        Set("FrequencyUnits", LONG(1));
        Set("InitialFrequency", 0.0);
        Set("FinalFrequency", 1000.0);
        Set("OpticalDamping", 10.0);
    }
    template <class T>
    void Set(const std::string& key, T value)
    {
        state->values[key] = KelvVariant(value);
    }
    void SetDirection(const std::string& prefix, double x, double y, double z)
    {
        Set(prefix + "_x", x);
        Set(prefix + "_y", y);
        Set(prefix + "_z", z);
    }
    CStateHelper Helper() const { return CStateHelper(state.get(), state.get()); }
};

TEST(OpticalUnits, ConversionsAndLabelsByCode)
{
    const double perTHz = 1e12 / (QMPhysicalConstants::speed_light_si * 100.0);
    struct Case {
        LONG code;
        double wavenumbersOfOne;
        const char* label;
    } cases[] = {{1, 1.0, "(1/cm)"},
                 {4, 1.0, "(1/cm)"},
                 {5, 1.0, "(1/cm)"},
                 {0, 1.0, "(1/cm)"},
                 {2, QMPhysicalConstants::EV_TO_CM_1, "(eV)"},
                 {3, perTHz, "(THz)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const Frequency f(c.code, 1.0);
        EXPECT_DOUBLE_EQ(f.Wavenumbers(), c.wavenumbersOfOne);
        EXPECT_DOUBLE_EQ(f.In(c.code), 1.0);
        EXPECT_EQ(FrequencyUnitLabel(c.code), c.label);
    }
    const Frequency f(1, 806.5544);
    EXPECT_DOUBLE_EQ(f.Electronvolts(), 0.1);
    EXPECT_DOUBLE_EQ(Frequency(3, 2.5).Terahertz(), 2.5);
    EXPECT_EQ(Frequency().Wavenumbers(), 0.0);
}

TEST(OpticalGrid, ReversedRangeGivesTheSameGridWithBothEnds)
{
    COpticalProperties forward;
    COpticalProperties reversed;
    forward.SetRange(1, 100.0, 500.0);
    reversed.SetRange(1, 500.0, 100.0);
    ASSERT_TRUE(forward.BuildOpticalFrequencyGrid());
    ASSERT_TRUE(reversed.BuildOpticalFrequencyGrid());
    const std::vector<double> grid = forward.GetOpticalFrequencyGrid();
    EXPECT_EQ(grid, reversed.GetOpticalFrequencyGrid());
    ASSERT_EQ(grid.size(), 2001u);
    EXPECT_EQ(grid.front(), 100.0);
    EXPECT_DOUBLE_EQ(grid[1], 100.2);
    EXPECT_NEAR(grid.back(), 500.0, 1e-9);
    EXPECT_EQ(forward.StartFrequency().Wavenumbers(), 100.0);
    EXPECT_EQ(forward.EndFrequency().Wavenumbers(), 500.0);
}

TEST(OpticalGrid, ElectronvoltGridKeepsItsRangeInWavenumbers)
{
    COpticalProperties optics;
    optics.SetRange(2, 0.0, 0.1);
    EXPECT_DOUBLE_EQ(optics.Step(), 0.00005);
    EXPECT_DOUBLE_EQ(optics.EndFrequency().Wavenumbers(), 0.1 * QMPhysicalConstants::EV_TO_CM_1);
    EXPECT_EQ(optics.StartFrequency().Wavenumbers(), 0.0);
    ASSERT_TRUE(optics.BuildOpticalFrequencyGrid());
    const std::vector<double> grid = optics.GetOpticalFrequencyGrid();
    EXPECT_GE(grid.size(), 2000u);
    EXPECT_LE(grid.size(), 2001u);
    EXPECT_DOUBLE_EQ(grid[2], 0.0001);
}

TEST(OpticalGrid, UnusableRangesAreRefusedAndHugeValuesEnd)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& range : {std::pair<double, double>{300.0, 300.0}, {nan, 100.0}, {0.0, inf}}) {
        COpticalProperties optics;
        optics.SetRange(1, range.first, range.second);
        EXPECT_FALSE(optics.BuildOpticalFrequencyGrid()) << range.first << " " << range.second;
        EXPECT_TRUE(optics.GetOpticalFrequencyGrid().empty());
    }
    // A step below half the spacing of doubles at the start: the running
    // value never grows, and the grid stops there.
    COpticalProperties huge;
    huge.SetRange(1, 1e16, 1e16 + 1000.0);
    ASSERT_TRUE(huge.BuildOpticalFrequencyGrid());
    EXPECT_EQ(huge.GetOpticalFrequencyGrid(), std::vector<double>{1e16});
    // A step that grows the value only every so often never makes more
    // than 2001 points.
    COpticalProperties coarse;
    coarse.SetRange(1, 1e15, 1e15 + 1000.0);
    ASSERT_TRUE(coarse.BuildOpticalFrequencyGrid());
    EXPECT_LE(coarse.GetOpticalFrequencyGrid().size(), COpticalProperties::MaximumGridPoints);
}

TEST(OpticalSettingsRead, ReadsEveryKeyAndOrdersTheRange)
{
    OpticalState s;
    s.Set("OpticalFunction", LONG(5));
    s.Set("SampleType", LONG(2));
    s.SetDirection("incoming", 1, 2, 3);
    s.SetDirection("outgoing", 4, 5, 6);
    s.Set("FrequencyUnits", LONG(3));
    s.Set("InitialFrequency", 20.0);
    s.Set("FinalFrequency", 2.0);
    s.Set("OpticalDamping", 4.5);
    COpticalProperties optics;
    optics.ReadOpticalSettings(s.Helper());
    EXPECT_EQ(optics.OpticalFunction(), 5);
    EXPECT_EQ(optics.SampleType(), 2);
    EXPECT_EQ(optics.IncidentDirection()[2], 3.0);
    EXPECT_EQ(optics.ReflectedDirection()[0], 4.0);
    EXPECT_EQ(optics.FrequencyUnit(), 3);
    EXPECT_DOUBLE_EQ(optics.StartFrequency().Terahertz(), 2.0);
    EXPECT_DOUBLE_EQ(optics.EndFrequency().Terahertz(), 20.0);
    EXPECT_DOUBLE_EQ(optics.Step(), 18.0 / 2000.0);
    EXPECT_EQ(optics.Damping(), 4.5);

    // An invalid state reader reads nothing.
    COpticalProperties untouched;
    untouched.ReadOpticalSettings(CStateHelper());
    EXPECT_EQ(untouched.OpticalFunction(), 1);
    EXPECT_EQ(untouched.Damping(), 10.0);
}

TEST(OpticalSettingsRead, DirectionsMustBeLongerThanTheTolerance)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* prefix;
        double x;
        const char* message; // "" when accepted
    } cases[] = {{"incoming", 1e-8, "Incident direction is ill defined."},
                 {"incoming", 2e-8, ""},
                 {"incoming", nan, "Incident direction is ill defined."},
                 {"incoming", 0.0, "Incident direction is ill defined."},
                 {"outgoing", 1e-8, "Reflected direction is ill defined."},
                 {"outgoing", nan, "Reflected direction is ill defined."},
                 {"outgoing", 2e-8, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.prefix) + " " + std::to_string(c.x));
        OpticalState s;
        s.Set("SampleType", LONG(2)); // checked whatever the sample type
        s.SetDirection(c.prefix, c.x, 0, 0);
        COpticalProperties optics;
        if (*c.message == '\0') {
            EXPECT_NO_THROW(optics.ReadOpticalSettings(s.Helper()));
        } else {
            std::string message;
            EXPECT_EQ(QzTest::CodeOf([&] { optics.ReadOpticalSettings(s.Helper()); }, message), E_UNEXPECTED);
            EXPECT_EQ(message, c.message);
        }
    }
}

TEST(OpticalTexts, TitlesAndDescriptionsBySampleType)
{
    COpticalProperties optics;
    const double incident[3] = {1, 0, 0};
    const double reflected[3] = {0, 0.5, 0};
    optics.SetDirections(incident, reflected);
    optics.SetDamping(5);
    optics.SetFunction(1, 1);
    EXPECT_EQ(optics.MakeOpticalChartTitle("NaCl"),
              "Reflectivity for NaCl\nIncident direction: (1 0 0 ) Reflected direction: (0 0.5 0 )"
              "\nOscillator damping constant: 5  (1/cm)");
    optics.SetFunction(2, 2);
    EXPECT_EQ(optics.MakeOpticalChartTitle("NaCl"),
              "Refractive index for NaCl\nPolycrystal averaging\nOscillator damping constant: 5  (1/cm)");
    optics.SetFunction(3, 0);
    optics.SetRange(2, 0, 1); // the damping stays in 1/cm
    EXPECT_EQ(optics.MakeOpticalChartTitle("NaCl"), "Dielectric constant for NaCl\nOscillator damping constant: 5  (1/cm)");
    optics.SetFunction(5, 0);
    EXPECT_EQ(optics.MakeOpticalChartTitle("a"), "Absorption coefficient for a\nOscillator damping constant: 5  (1/cm)");
    for (const LONG function : {4, 6, 0}) {
        optics.SetFunction(function, 1);
        EXPECT_EQ(optics.MakeOpticalChartTitle("NaCl"), "NaCl");
    }
    EXPECT_EQ(MakeDiagonalTensorTitle("NaCl"), "Diagonal elements of dielectric constant tensor for NaCl");
    EXPECT_EQ(MakeOffDiagonalTensorTitle("NaCl"), "Off-diagonal elements of dielectric constant tensor for NaCl");
}

} // namespace
