#include "FakeSettings.h"

#include "kelv/kelv.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <vector>

using namespace ZelmLines;

namespace {

struct KeywordCase
{
    long task;
    bool periodic;
    long conp;
    long conv;
    long ensemble;
    long relaxedFit;
    const char* expected;
};

const KeywordCase kKeywordCases[] = {
    {1, false, 0, 0, 1, 0, "grad conv conse qok nomod "},
    {1, true, 1, 1, 3, 1, "grad conv conse qok nomod "},
    {2, true, 1, 0, 1, 0, "opti conp conse qok nomod "},
    {2, true, 1, 1, 1, 0, "opti conp conv conse qok nomod "},
    {2, true, 0, 1, 1, 0, "opti conv conse qok nomod "},
    {2, true, 0, 0, 1, 0, "opti conse qok nomod "},
    {2, false, 1, 1, 1, 0, "opti conse qok nomod "},
    // A bool counts only when it equals 1.
    {2, true, -1, 2, 1, 0, "opti conse qok nomod "},
    {3, true, 0, 0, 1, 0, "md conv conse qok nomod "},
    {3, true, 0, 0, 2, 0, "md conv conse qok nomod "},
    {3, true, 0, 0, 3, 0, "md conp conse qok nomod "},
    {3, true, 0, 0, 7, 0, "md conse qok nomod "},
    {3, false, 0, 0, 3, 0, "md conse qok nomod "},
    {4, false, 0, 0, 1, 0, "fit libff libd conv simu conse qok nomod "},
    {4, true, 0, 0, 1, 0, "fit libff libd conp simu conse qok nomod "},
    {4, true, 0, 0, 1, 1, "fit libff libd conp rela opti conse qok nomod "},
    {4, false, 1, 1, 1, 1, "fit libff libd conv rela opti conse qok nomod "},
    {5, true, 1, 1, 3, 1, "opti conv nomod qok "},
    {5, false, 0, 0, 1, 0, "opti conv nomod qok "},
    {0, true, 0, 0, 1, 0, "grad conse qok nomod "},
    {9, false, 1, 1, 1, 0, "grad conse qok nomod "},
};

FakeSettings Make(const KeywordCase& c)
{
    FakeSettings s;
    s.task = c.task;
    s.periodic = c.periodic;
    s.longs["conp"] = c.conp;
    s.longs["conv"] = c.conv;
    s.longs["ensemble"] = c.ensemble;
    s.longs["RelaxedFit"] = c.relaxedFit;
    return s;
}

std::string Message(const KelvResult& error)
{
    return error.GetMessage();
}

} // namespace

TEST(KeywordLine, EveryTaskPeriodicityAndSwitch)
{
    for (const KeywordCase& c : kKeywordCases) {
        SCOPED_TRACE(testing::Message() << "task " << c.task << " periodic " << c.periodic << " ensemble "
                                        << c.ensemble);
        EXPECT_EQ(Keywords(Make(c)), c.expected);
    }
}

TEST(PropertyKeywords, PhononOpticsDispersionAndLibraryCombinations)
{
    struct Case
    {
        bool periodic;
        long phonon, requestPhonons, requestOptics, phononType, lattice, potentials, efg;
        bool canDoNonGamma;
        const char* library;
        bool spatial;
        const char* expected;
    };
    const Case cases[] = {
        {false, 0, 0, 0, 0, 0, 0, 0, true, "mylib", false, "pres "},
        {false, 0, 0, 0, 0, 0, 0, 0, true, "mylib", true, "pres spat "},
        {true, 0, 0, 0, 0, 1, 0, 0, true, "mylib", false, "pres prop "},
        {false, 0, 0, 0, 0, 1, 0, 0, true, "mylib", false, "pres "},
        {true, 1, 0, 0, 1, 0, 0, 0, true, "mylib", false, "pres phon nodens "},
        {true, 1, 1, 0, 1, 0, 0, 0, true, "mylib", false, "pres phon nodens nofreq "},
        {true, 1, 1, 0, 2, 0, 0, 0, true, "mylib", false, "pres phon nodens nofreq broa "},
        {true, 1, 1, 1, 3, 0, 0, 0, true, "mylib", false, "pres phon nodens inten nofreq broa "},
        // A library that cannot do phonons away from gamma gets neither part.
        {true, 1, 1, 1, 3, 0, 0, 0, false, "mylib", false, "pres phon nodens inten "},
        // Not periodic: no phonon requests hold.
        {false, 1, 1, 1, 3, 0, 0, 0, true, "mylib", false, "pres phon nodens "},
        {false, 0, 0, 0, 0, 0, 1, 1, true, "dreiding", false, "pres pot efg noauto "},
        {false, 0, 0, 0, 0, 0, 0, 0, true, "uff", true, "pres spat noauto "},
        {false, 0, 0, 0, 0, 0, 0, 0, true, "UFF", false, "pres "},
    };
    for (const Case& c : cases) {
        FakeSettings s;
        s.periodic = c.periodic;
        s.longs = {{"Phonon", c.phonon},         {"RequestPhonons", c.requestPhonons},
                   {"RequestOptics", c.requestOptics}, {"PhononType", c.phononType},
                   {"Lattice_properties", c.lattice},  {"Potentials", c.potentials},
                   {"Electric_field_gradient", c.efg}};
        s.canDoNonGamma = c.canDoNonGamma;
        s.library = c.library;
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(PropertyKeywords(s, c.spatial), c.expected);
    }
}

TEST(PhononPredicates, LibraryFileIsReadOnlyWhenEarlierTermsHold)
{
    FakeSettings s;
    s.periodic = true;
    s.longs = {{"Phonon", 1}, {"RequestPhonons", 1}, {"PhononType", 2}};
    EXPECT_FALSE(WantsPhononDispersion(s));
    EXPECT_EQ(s.nonGammaQueries, 0);
    EXPECT_TRUE(WantsPhononDos(s));
    EXPECT_EQ(s.nonGammaQueries, 1);
    s.longs["RequestPhonons"] = 0;
    EXPECT_FALSE(WantsPhononDos(s));
    EXPECT_EQ(s.nonGammaQueries, 1);
}

TEST(PhononPredicates, ConstantPressureDynamicsNeedsTaskEnsembleAndPeriodicity)
{
    FakeSettings s;
    s.task = 3;
    s.periodic = true;
    s.longs["ensemble"] = 3;
    EXPECT_TRUE(IsConstantPressureDynamics(s));
    s.periodic = false;
    EXPECT_FALSE(IsConstantPressureDynamics(s));
    s.periodic = true;
    s.task = 2;
    EXPECT_FALSE(IsConstantPressureDynamics(s));
}

TEST(TaskOptions, GeomOptPressureLineIsPlainWithoutNewline)
{
    FakeSettings s;
    s.task = 2;
    s.periodic = true;
    s.longs["conp"] = 1;
    s.doubles["geometry_opt_pressure"] = 1.5;
    EXPECT_EQ(TaskOptions(s), "pressure 1.5 GPa");
    s.doubles["geometry_opt_pressure"] = 0.1234567;
    EXPECT_EQ(TaskOptions(s), "pressure 0.123457 GPa");
    s.periodic = false;
    EXPECT_EQ(TaskOptions(s), "");
    s.periodic = true;
    s.longs["conp"] = 0;
    EXPECT_EQ(TaskOptions(s), "");
}

TEST(TaskOptions, DynamicsLinesForEachEnsemble)
{
    FakeSettings s;
    s.task = 3;
    s.doubles = {{"ensemble_thermostat", 0.05}, {"ensemble_barostat", 0.1}, {"ensemble_temperature", 300.0},
                 {"dynamics_pressure", 1.25},   {"equilibration", 0.5},     {"timestep", 0.5}};
    s.longs = {{"number_of_steps", 5000}, {"write", 10}, {"sample", 20}};
    const std::string tail = "equilibration 0.5 ps\ntimestep 0.5 fs\nproduction 2.5 ps\nwrite 10\nsample 20\n";

    s.longs["ensemble"] = 1;
    EXPECT_EQ(TaskOptions(s), "ensemble nve\ntemperature 300.000000 K\n\n" + tail);
    s.longs["ensemble"] = 2;
    EXPECT_EQ(TaskOptions(s), "ensemble nvt 0.05\ntemperature 300.000000 K\n\n" + tail);
    s.longs["ensemble"] = 3;
    EXPECT_EQ(TaskOptions(s), "ensemble npt 0.05 0.1\npressure 1.250000 GPa\ntemperature 300.000000 K\n\n" + tail);
    s.longs["ensemble"] = 8;
    EXPECT_EQ(TaskOptions(s), "ensemble nve\n\n" + tail);

    for (long task : {1L, 4L, 5L}) {
        s.task = task;
        EXPECT_EQ(TaskOptions(s), "");
    }
}

TEST(TaskOptions, ProductionTimeUsesPlainFormat)
{
    FakeSettings s;
    s.task = 3;
    s.longs = {{"ensemble", 1}, {"number_of_steps", 1000000}};
    s.doubles = {{"timestep", 1.0}};
    EXPECT_NE(TaskOptions(s).find("production 1000 ps\n"), std::string::npos);
    s.doubles["timestep"] = 2.0;
    s.longs["number_of_steps"] = 1000000000;
    EXPECT_NE(TaskOptions(s).find("production 2e+06 ps\n"), std::string::npos);
}

TEST(FrequencyRange, ForwardReversedAndBadSteps)
{
    FakeSettings s;
    s.periodic = true;
    s.longs = {{"Phonon", 1}, {"RequestOptics", 1}};
    s.doubles = {{"InitialFrequency", 100.0}, {"FinalFrequency", 1000.0}, {"FrequencyStep", 10.0}};
    EXPECT_EQ(FrequencyRangeLine(s), "omega 100 10 90\n");
    s.doubles = {{"InitialFrequency", 1000.0}, {"FinalFrequency", 100.0}, {"FrequencyStep", 10.0}};
    EXPECT_EQ(FrequencyRangeLine(s), "omega 100 10 90\n");
    s.doubles = {{"InitialFrequency", 0.0}, {"FinalFrequency", 25.0}, {"FrequencyStep", 10.0}};
    EXPECT_EQ(FrequencyRangeLine(s), "omega 0 10 2\n");
    s.doubles = {{"InitialFrequency", 50.0}, {"FinalFrequency", 50.0}, {"FrequencyStep", 5.0}};
    EXPECT_EQ(FrequencyRangeLine(s), "omega 50 5 0\n");

    for (double step : {0.0, -2.0}) {
        s.doubles["FrequencyStep"] = step;
        try {
            FrequencyRangeLine(s);
            ADD_FAILURE() << "step " << step << " accepted";
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
            EXPECT_EQ(Message(error), "Negative frequency step is not allowed.");
        }
    }

    // More steps than the engine can take: refused, not overflowed. A
    // million steps is the most.
    s.doubles = {{"InitialFrequency", 0.0}, {"FinalFrequency", 1000.0}, {"FrequencyStep", 0.001}};
    EXPECT_EQ(FrequencyRangeLine(s), "omega 0 0.001 1000000\n");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& range : std::vector<std::array<double, 3>>{
             {100.0, 1e-300, 1000.0}, {0.0, 0.0009, 1000.0}, {0.0, 1.0, 1e300}, {nan, 1.0, 100.0}}) {
        s.doubles = {{"InitialFrequency", range[0]}, {"FrequencyStep", range[1]}, {"FinalFrequency", range[2]}};
        try {
            const std::string line = FrequencyRangeLine(s);
            ADD_FAILURE() << "step " << range[1] << " accepted: " << line;
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
            EXPECT_EQ(Message(error), "The frequency step is too small: the frequency range would take more than "
                                      "1000000 steps.");
        }
    }
    s.doubles = {{"InitialFrequency", 100.0}, {"FinalFrequency", 1000.0}, {"FrequencyStep", 10.0}};

    // Nothing is asked (so nothing can fail) when optics are not wanted.
    s.longs["RequestOptics"] = 0;
    EXPECT_EQ(FrequencyRangeLine(s), "");
    s.longs["RequestOptics"] = 1;
    s.periodic = false;
    EXPECT_EQ(FrequencyRangeLine(s), "");
}

TEST(DispersionBlock, SegmentsFromPointKinds)
{
    const std::vector<PathPoint> path = {
        {0.0, 0.0, 0.0, 2}, {0.5, 0.0, 0.0, 1}, {0.5, 0.5, 0.0, 4}, {0.5, 0.5, 0.5, 4}, {0.25, 0.0, 0.125, 3}};
    EXPECT_EQ(DispersionBlock(path), "dispersion 3\n"
                                     "0 0 0 to 0.5 0.5 0\n"
                                     "0.5 0.5 0 to 0.5 0.5 0.5\n"
                                     "0.5 0.5 0.5 to 0.25 0 0.125\n");
    EXPECT_EQ(DispersionBlock({}), "dispersion 0\n");
}

TEST(DispersionBlock, OpenPathFails)
{
    for (const std::vector<PathPoint>& path :
         {std::vector<PathPoint>{{0, 0, 0, 2}, {1, 0, 0, 3}, {0, 1, 0, 2}},
          std::vector<PathPoint>{{0, 0, 0, 2}, {1, 0, 0, 4}}, std::vector<PathPoint>{{0, 0, 0, 3}}}) {
        try {
            DispersionBlock(path);
            ADD_FAILURE() << "an open path was accepted";
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
            EXPECT_EQ(Message(error), "Phonon dispersion path is not closed");
        }
    }
}

TEST(DensityOfStatesBlock, GridAndFixedLines)
{
    EXPECT_EQ(DensityOfStatesBlock(4, 5, 6), "shrink 4 5 6\nbox density size 0.5 \nbroaden_dos 0.3 \n");
}
