// A phonon run of the bundled rock salt through the engine stand-in, then
// its optics, dispersion and density-of-states charts made by the driver
// and drawn as pictures.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DriverRun.h"

namespace {

class PhononCommands : public ::testing::Test {
protected:
    QzTest::DriverOutcome Run(const std::string& arguments) const
    {
        return QzTest::RunDriver(folder.Path(), folder.File("registry.json"), arguments);
    }
    std::string Step(const std::string& arguments) const
    {
        const QzTest::DriverOutcome outcome = Run(arguments);
        EXPECT_EQ(outcome.code, 0) << arguments << "\n" << outcome.out << outcome.err;
        return outcome.out;
    }

    QzTest::TempFolder folder{"driver-phonons"};
};

TEST_F(PhononCommands, ChartsOfAPhononRunOfTheRockSalt)
{
    const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
    Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
    Step("project p");
    Step("import " + examples + "rocksalt.cif --project p");
    std::filesystem::copy_file(examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
    for (const char* setting : {"library rocksalt", "ChargeOption Library", "Phonon 1", "RequestPhonons 1",
                                "RequestOptics 1", "PhononType 3"})
        Step("state --project p ZelmLogic " + std::string(setting));
    Step("engine --project p --stub");
    Step("run p/rocksalt.qsd --task Energy");
    const std::string run = "p/rocksalt ZELM Energy/";
    for (const char* file : {"rocksalt.osc", "rocksalt.dens", "rocksalt.disp", "rocksalt.kptaux"})
        EXPECT_TRUE(std::filesystem::exists(folder.File(run + file))) << file;

    const std::string results = Step("results \"" + run + "rocksalt.gout\"");
    for (const char* line : {"Optics: rocksalt.gout\n", "Phonons: rocksalt.gout\n", "CanPlotOpticalProperties: yes\n",
                             "CanPlotPhononDispersion: yes\n",
                             // The deck stays in the job's folder: the density of states answers alone.
                             "CanPlotPhononDOS: yes\n"})
        EXPECT_NE(results.find(line), std::string::npos) << line << results;

    const struct {
        const char* action;
        const char* document;
    } charts[] = {{"optics", "rocksalt Optical Properties"},
                  {"dispersion", "rocksalt Phonon Dispersion"},
                  {"dos", "rocksalt Phonon DOS"}};
    for (const auto& chart : charts) {
        const std::string made = Step("analyse \"" + run + "rocksalt.gout\" " + chart.action);
        const std::string document = run + chart.document + ".qcd";
        EXPECT_NE(made.find("made: " + document.substr(2) + "\n"), std::string::npos) << made;
        EXPECT_EQ(Step("chart \"" + document + "\" --svg " + chart.action + ".svg"),
                  "wrote " + std::string(chart.action) + ".svg (1 chart)\n");
    }
    // The band structure names the path's points on its axis.
    EXPECT_NE(QzTest::ReadFile(folder.File("p/rocksalt ZELM Energy/rocksalt Phonon Dispersion.qcd")).find("\"Gamma\""),
              std::string::npos);

    // Another run selected for the category, without its phonon files: the
    // message names the selected run's file, and that file alone.
    std::filesystem::copy_file(folder.File(run + "rocksalt.gout"), folder.File(run + "other.gout"));
    const struct {
        const char* action;
        const char* missing;
        const char* other;
    } selected[] = {{"dispersion", "other.disp", "rocksalt.disp"}, {"dos", "other.dens", "rocksalt.dens"}};
    for (const auto& c : selected) {
        const QzTest::DriverOutcome refused =
            Run("analyse \"" + run + "rocksalt.gout\" --select Phonons=other.gout " + c.action);
        EXPECT_EQ(refused.code, 1) << c.action << refused.out << refused.err;
        EXPECT_NE(refused.err.find(std::string(c.missing) + "\" is not there"), std::string::npos) << refused.err;
        EXPECT_EQ(refused.err.find(c.other), std::string::npos) << refused.err;
    }
}

} // namespace
