// The optimisation and dynamics histories: ".geomopt", the optimisation
// section of ".gout", ".mdynam", the dynamics sections of ".gout" and ".pre".

#include "readers/GeomOptReaders.h"
#include "readers/MolDynFileReader.h"
#include "readers/MolDynOutputFileReader.h"

#include "ReaderFiles.h"

#include "kelv/kelv.h"

#include <gtest/gtest.h>

#include <functional>

using QzTest::ReaderFolder;
using Series = std::vector<double>;

namespace {

std::string Failure(const std::function<void()>& read)
{
    try {
        read();
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        return error.GetMessage();
    }
    return "no failure";
}

std::string TwoStageDynamics()
{
    std::string rows;
    auto block = [&](double t, double scale) {
        const std::string v = std::to_string(scale);
        rows += "  ** Time : " + std::to_string(t) + " ps **\n";
        rows += "  Kinetic energy    (eV) = " + v + " 1.1\n";
        rows += "  Potential energy  (eV) = " + v + " 1.2\n";
        rows += "  Total energy      (eV) = " + v + " 1.3\n";
        rows += "  Conserved quantity(eV) = " + v + " 1.4\n";
        rows += "  Thermostat KE (eV) = " + v + "\n";
        rows += "  Thermostat Integrl(eV) = " + v + "\n";
        rows += "  Barostat term (eV) = " + v + "\n";
        rows += "  Temperature       (K) = " + v + " 1.5\n";
        rows += "  Pressure        (GPa) = " + v + " 1.6\n";
        rows += "  Cell parameter : a (A) = " + v + " 1.7\n";
        rows += "  Cell parameter : b (A) = " + v + " 1.8\n";
        rows += "  Cell parameter : c (A) = " + v + " 1.9\n";
        rows += "  Cell angle : alpha (o) = " + v + " 2.0\n";
        rows += "  Cell angle : beta (o) = " + v + " 2.1\n";
        rows += "  Cell angle : gamma (o) = " + v + " 2.2\n";
        rows += "  Cell volume : (A**3) = " + v + " 2.3\n";
        // Wrong word counts are no rows.
        rows += "  Kinetic energy    (eV) = 9 9 9\n  Temperature (K) = 9\n";
    };
    std::string text = "  Canonical ensemble (NVT) to be used\n  Molecular dynamics equilibration :\n";
    block(0.1, 1.0);
    text += rows;
    rows.clear();
    text += "  Molecular dynamics production :\n";
    block(0.2, 2.0);
    block(0.3, 3.0);
    text += rows;
    rows.clear();
    text += "  Pressure of configuration =  1.25 GPa\n  Timing analysis for Zelm\n";
    block(0.4, 4.0);
    return text + rows;
}

} // namespace

TEST(GeomOptFileReader, StepLinesByWordCount)
{
    ReaderFolder folder;
    CGeomOptFileReader reader(folder.Write("run.geomopt", "Tolerances energy:1e-5 gradient:0.001\n"
                                                          "NaN NaN NaN\n5.0 1.0 2.0\nNaN NaN NaN\n"
                                                          "4.0 0.5\n3.0\n1 2 3 4\n\n2.0 0.1 NaN\n1.0 0.0"));
    EXPECT_EQ((Series{0.0, 5.0, 5.0, 4.0, 3.0, 2.0}), reader.GetSeries1());
    EXPECT_EQ((Series{0.0, 1.0, 1.0, 0.5, 0.1}), reader.GetSeries3());
    EXPECT_EQ((Series{0.0, 2.0, 2.0, 2.0}), reader.GetSeries2());
    EXPECT_DOUBLE_EQ(1e-5, reader.GetTolerance1());
    EXPECT_DOUBLE_EQ(0.001, reader.GetTolerance2());
    EXPECT_EQ(0, reader.GetSeries1Offset());
    EXPECT_EQ(1, reader.GetSeries2Offset());
    EXPECT_EQ(0, reader.GetSeries3Offset());

    // A file still being written: no header yet, or a header cut short.
    for (const char* partial : {"", "Tolerances energy:1e-5 gra"}) {
        CGeomOptFileReader empty(folder.Write("run.geomopt", partial));
        EXPECT_TRUE(empty.GetSeries1().empty());
        EXPECT_EQ(0.0, empty.GetTolerance1());
    }
    EXPECT_EQ("The header of the ZELM .geomopt file holds fewer than 3 fields.",
              Failure([&] { CGeomOptFileReader r(folder.Write("run.geomopt", "Tolerances 1e-5\n1.0\n")); }));
    EXPECT_EQ("Failed to open ZELM .geomopt file.",
              Failure([&] { CGeomOptFileReader r(folder.Path("missing.geomopt")); }));
}

TEST(GeomOptOutputReader, HistorySectionAndTolerances)
{
    ReaderFolder folder;
    const std::string text = "  Maximum function tolerance = 0.00001\n"
                             "  Maximum gradient tolerance = 0.001 extra\n"
                             "  Maximum gradient   tolerance = 0.002\n"
                             "  Maximum parameter tolerance = 0.5\n"
                             "  Cycle: 9 Energy: 9 Gnorm: 9 CPU: 9\n"
                             "  **** before the section ends nothing\n"
                             "  Start of bulk optimisation :\n"
                             "  Cycle: 0 Energy: -10.0 Gnorm: 1.0 CPU: 0.1\n"
                             "  Hessian calculated Energy: 9 Gnorm: 9 CPU: 9\n"
                             "  Cycle: 1 Energy: -12.5 Gnorm: 0.1 CPU: 0.2\n"
                             "  Cycle: 2 Energy: NaN Gnorm: 0.01 CPU: 0.3\n"
                             "  Cycle: 3 Energy: -13.0 Gnorm: 0.001 CPU: 0.4\n"
                             "  **** Optimisation achieved ****\n"
                             "  Cycle: 4 Energy: -20.0 Gnorm: 0.001 CPU: 0.4\n";
    CGeomOptOutputFileReader reader(folder.Write("run.gout", text));
    EXPECT_EQ((Series{-10.0, -12.5, -12.5, -13.0}), reader.GetSeries1());
    EXPECT_EQ((Series{-2.5, 0.0, -0.5}), reader.GetSeries2());
    EXPECT_EQ((Series{1.0, 0.1, 0.01, 0.001}), reader.GetSeries3());
    EXPECT_DOUBLE_EQ(0.00001, reader.GetTolerance1());
    EXPECT_DOUBLE_EQ(0.002, reader.GetTolerance2());
    EXPECT_EQ(1, reader.GetSeries2Offset());

    CGeomOptOutputFileReader none(folder.Write("run.gout", "Dimensionality 3\n"));
    EXPECT_TRUE(none.GetSeries1().empty());
    EXPECT_EQ(0.0, none.GetTolerance1());
}

TEST(MolDynFileReader, FramesAreStoredWhenTheNextBegins)
{
    ReaderFolder folder;
    CMolDynFileReader reader(folder.Write("run.mdynam", "Frame number: 1\nt : 0.001\nT : 300.0\nEt : NaN\n"
                                                        "Etx : 7\nEk : 1.0\nFrame number: 2\nt : 0.002\nEt : NaN\n"
                                                        "P : 0.5\nH : 2.0\nEp : -3\nFrame number: 3\nt : 0.003\n"
                                                        "Frame number: 4\nt : 0.004\n"));
    EXPECT_EQ((Series{0.001, 0.002, 0.003}), reader.GetTime());
    EXPECT_EQ((Series{300.0}), reader.GetTemperature());
    EXPECT_EQ((Series{0.0, 0.0}), reader.GetTotalEnergy());
    EXPECT_EQ((Series{1.0}), reader.GetKineticEnergy());
    EXPECT_EQ((Series{0.5}), reader.GetPressure());
    EXPECT_EQ((Series{2.0}), reader.GetH());
    EXPECT_EQ((Series{-3.0}), reader.GetPotentialEnergy());
    EXPECT_TRUE(reader.HasPressure());

    struct Case {
        const char* text;
        size_t times;
        bool pressure;
    } cases[] = {
        {"Frame number: 1\nt : 0.001\nT : 300.0\nFrame number: 2\nt : 0.002\n", 1, false},
        {"Frame 1\nt : 0.001\nFrame number: 2\n", 0, false},
        {"Frame number: 1\nt : 0.001\n\nFrame number: 2\nt : 0.002\nFrame number: 3\n", 0, false},
        {"Frame number: 1\nP : 1\nFrame number: 2\n", 0, true},
        {"Frame number: 1\nt : 1\nFrame number: 2", 0, false},
    };
    for (const Case& c : cases) {
        CMolDynFileReader r(folder.Write("run.mdynam", c.text));
        EXPECT_EQ(c.times, r.GetTime().size()) << c.text;
        EXPECT_EQ(c.pressure, r.HasPressure()) << c.text;
    }
    // A tag twice in one frame: "NaN" repeats the value stored just before it.
    CMolDynFileReader twice(folder.Write("run.mdynam", "Frame number: 1\nT : 5\nFrame number: 2\nT : 7\nT : NaN\n"
                                                       "Frame number: 3\n"));
    EXPECT_EQ((Series{5.0, 7.0, 7.0}), twice.GetTemperature());
    const std::string longLine = "Frame number: 1\nt : 1\nFrame number: 2\nt : " + std::string(1100, '1') +
                                 "\nFrame number: 3\n";
    CMolDynFileReader cut(folder.Write("run.mdynam", longLine));
    EXPECT_EQ((Series{1.0}), cut.GetTime());
    EXPECT_EQ("Unable to open ZELM dynamics file.", Failure([&] { CMolDynFileReader r(folder.Path("none")); }));
}

TEST(MolDynOutputReader, StagesRowsEnsembleAndPressure)
{
    ReaderFolder folder;
    folder.Write("run.pre", "Instant: 1 1 2 3 4 5 6\nAverage: 1 6 5 4 3 2 1\nInstant: 2 1 2 3 4 5\n"
                            "Instant: 2 7 8 9 10 11 NaN\n");
    CMolDynOutputFileReader reader(folder.Write("run.gout", TwoStageDynamics()));
    EXPECT_EQ(2, reader.GetEnsemble());
    const CMolDynOutputFileInfo& production = reader.GetOutputFileInfo();
    const CMolDynOutputFileCommonInfo& now = production.GetCommonInfo();
    const CMolDynOutputFileCommonInfo& mean = production.GetAveragedCommonInfo();
    EXPECT_EQ((Series{0.2, 0.3}), production.GetTime());
    EXPECT_EQ((Series{2.0, 3.0}), production.GetThermostatKE());
    EXPECT_EQ((Series{2.0, 3.0}), production.GetThermostatIntegral());
    EXPECT_EQ((Series{2.0, 3.0}), production.GetBarostatTerm());
    const std::pair<const Series*, double> averaged[] = {
        {&mean.GetKineticEnergy(), 1.1}, {&mean.GetPotentialEnergy(), 1.2}, {&mean.GetTotalEnergy(), 1.3},
        {&mean.GetConservedQuantity(), 1.4}, {&mean.GetTemperature(), 1.5}, {&mean.GetPressure(), 1.6},
        {&mean.GetCellA(), 1.7}, {&mean.GetCellB(), 1.8}, {&mean.GetCellC(), 1.9}, {&mean.GetCellAlpha(), 2.0},
        {&mean.GetCellBeta(), 2.1}, {&mean.GetCellGamma(), 2.2}, {&mean.GetCellVolume(), 2.3},
    };
    for (const auto& [series, value] : averaged) {
        EXPECT_EQ((Series{value, value}), *series) << value;
    }
    for (const Series* series : {&now.GetKineticEnergy(), &now.GetTotalEnergy(), &now.GetCellVolume(),
                                 &now.GetCellGamma(), &now.GetTemperature()}) {
        EXPECT_EQ((Series{2.0, 3.0}), *series);
    }
    EXPECT_EQ((Series{0.1}), reader.GetEquilibrationInfo().GetTime());
    EXPECT_EQ((Series{1.0}), reader.GetEquilibrationInfo().GetCommonInfo().GetPressure());
    EXPECT_DOUBLE_EQ(1.25, production.GetScalarValue());
    EXPECT_EQ((Series{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11}), now.GetPressureFileSeries());
    EXPECT_EQ((Series{6, 5, 4, 3, 2, 1}), mean.GetPressureFileSeries());
    EXPECT_EQ(0, now.GetTotalEnergyOffset());
}

TEST(MolDynOutputReader, EnsemblesAndSevereErrors)
{
    ReaderFolder folder;
    struct Case {
        const char* text;
        int ensemble;
    } cases[] = {
        {"  Microcanonical ensemble (NVE) to be used\n", 1},
        {"  Isothermal/baric ensemble (NPT) to be used\n", 3},
        {"  Canonical ensemble (NVT) not used here\n  Isothermal/baric ensemble (NPT) to be used\n", 3},
        {"  nothing\n", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.ensemble, CMolDynOutputFileReader::ReadEnsemble(folder.Write("run.gout", c.text))) << c.text;
    }
    EXPECT_EQ("Severe error reported in ZELM .gout file.", Failure([&] {
                  CMolDynOutputFileReader r(folder.Write("run.gout", "ok\n  a severe problem\n"));
              }));
    folder.Write("run.pre", "Instant: 1 1 2 3 4 5 6\nsevere\n");
    EXPECT_EQ("Severe error reported in ZELM .gout file.",
              Failure([&] { CMolDynOutputFileReader r(folder.Write("run.gout", "ok\n")); }));
    EXPECT_EQ("Unable to open ZELM .gout file.",
              Failure([&] { CMolDynOutputFileReader::ReadPressure(folder.Path("none.gout")); }));
}

// The reader takes the ensemble, both stages and the configuration pressure
// in one pass: it must find what each scan of its own finds, and fail on a
// severe line exactly when one of those scans would read it.
TEST(MolDynOutputReader, OnePassFindsWhatEachScanFinds)
{
    ReaderFolder folder;
    const std::string row = "  Temperature       (K) = 301.5 300.0\n";
    const std::string time = "  ** Time :  0.5 ps **\n";
    const std::string eq = "  Molecular dynamics equilibration :\n";
    const std::string prod = "  Molecular dynamics production :\n";
    const std::string pressure = "  Pressure of configuration =  0.75 GPa\n";
    const std::string nvt = "  Canonical ensemble (NVT) to be used\n";
    const std::string end = "  Timing analysis for Zelm :\n";
    const std::string severe = "  a severe problem\n";
    struct Case {
        const char* name;
        std::string text;
        bool fails;
    } cases[] = {
        {"whole run", nvt + eq + time + row + prod + time + row + time + pressure + end, false},
        {"severe after all is found", nvt + eq + row + prod + row + pressure + end + severe, false},
        {"severe inside production", nvt + prod + row + severe + row + pressure + end, true},
        {"no equilibration: the whole file is read", nvt + prod + row + pressure + end + severe, true},
        {"no ensemble: the whole file is read", eq + prod + row + pressure + end + severe, true},
        {"no configuration pressure", nvt + eq + prod + row + end + severe, true},
        {"stages the other way round", nvt + prod + time + row + end + eq + row + pressure + prod, false},
        {"equilibration inside production", nvt + prod + row + eq + time + row + prod + end + pressure, false},
        {"ensemble and pressure after the rows", eq + row + prod + row + end + pressure + pressure + nvt, false},
        {"no markers", time + row + pressure + nvt, false},
    };
    for (const Case& c : cases) {
        const std::string path = folder.Write("run.gout", c.text);
        if (c.fails) {
            EXPECT_EQ("Severe error reported in ZELM .gout file.", Failure([&] { CMolDynOutputFileReader r(path); }))
                << c.name;
            continue;
        }
        const CMolDynOutputFileReader reader(path);
        CMolDynOutputFileInfo equilibration;
        CMolDynOutputFileInfo production;
        CMolDynOutputFileReader::ReadSection(path, "Molecular dynamics equilibration", "Molecular dynamics production",
                                             equilibration);
        CMolDynOutputFileReader::ReadSection(path, "Molecular dynamics production", "Timing analysis for Zelm",
                                             production);
        EXPECT_EQ(CMolDynOutputFileReader::ReadEnsemble(path), reader.GetEnsemble()) << c.name;
        EXPECT_EQ(CMolDynOutputFileReader::ReadPressure(path), reader.GetOutputFileInfo().GetScalarValue()) << c.name;
        EXPECT_EQ(equilibration.GetTime(), reader.GetEquilibrationInfo().GetTime()) << c.name;
        EXPECT_EQ(equilibration.GetAveragedCommonInfo().GetTemperature(),
                  reader.GetEquilibrationInfo().GetAveragedCommonInfo().GetTemperature())
            << c.name;
        EXPECT_EQ(production.GetTime(), reader.GetOutputFileInfo().GetTime()) << c.name;
        EXPECT_EQ(production.GetCommonInfo().GetTemperature(),
                  reader.GetOutputFileInfo().GetCommonInfo().GetTemperature())
            << c.name;
    }
}

// The series get room for the rows ahead from the first block: blocks that
// grow wider or narrower later (longer or shorter numbers) must not leave a
// series with far more room than it needs, nor lose a row.
TEST(MolDynOutputReader, LongStageKeepsEveryRowInLittleRoom)
{
    ReaderFolder folder;
    const int rows = 3000;
    for (const bool widening : {true, false}) {
        std::string text = "  Molecular dynamics production :\n";
        for (int i = 0; i < rows; ++i) {
            const std::string v = std::to_string(widening ? i : rows - 1 - i);
            text += "  ** Time : " + v + " ps **\n  Total energy      (eV) = -" + v + " " + v + "\n\n";
        }
        text += "  Timing analysis for Zelm :\n";
        const CMolDynOutputFileReader reader(folder.Write("run.gout", text));
        const CMolDynOutputFileInfo& production = reader.GetOutputFileInfo();
        const double last = widening ? rows - 1 : 0;
        for (const Series* series : {&production.GetTime(), &production.GetAveragedCommonInfo().GetTotalEnergy()}) {
            ASSERT_EQ(static_cast<std::size_t>(rows), series->size()) << widening;
            EXPECT_EQ(last, series->back()) << widening;
            EXPECT_LT(series->capacity(), series->size() * 3 / 2) << widening;
        }
        EXPECT_EQ(-last, production.GetCommonInfo().GetTotalEnergy().back()) << widening;
    }
}

TEST(MolDynOutputReader, CellBlocksNeedEveryWordTheyGive)
{
    ReaderFolder folder;
    const std::string cell = "  Cell parameters (Angstroms/Degrees):\n\n";
    const std::string surface = "  Surface cell parameters (Angstroms/Degrees):\n\n";
    struct Case {
        std::string text;
        double a, gamma;
    } cases[] = {
        {cell + "\n  a = 5.1 alpha = 91.0\n  b = 5.2 beta = 92.0\n  c = 5.3 gamma = 93.0\n", 5.1, 93.0},
        // Truncated or short lines leave every value as it was.
        {cell + "\n  a = 5.1 alpha = 91.0\n  b = 5.2 beta = 92.0\n", -1, -1},
        {cell + "\n  a = 5.1 alpha = 91.0\n  b = 5.2\n  c = 5.3 gamma = 93.0\n", -1, -1},
        {"Cell parameters\n", -1, -1},
    };
    for (const Case& c : cases) {
        double a = -1, b = -1, cc = -1, alpha = -1, beta = -1, gamma = -1;
        CMolDynOutputFileReader::ReadCellParameters(a, b, cc, alpha, beta, gamma, folder.Write("run.gout", c.text));
        EXPECT_EQ(c.a, a) << c.text;
        EXPECT_EQ(c.gamma, gamma) << c.text;
    }
    double a = -1, b = -1, alpha = -1;
    CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha,
                                                       folder.Write("run.gout", surface + "\n  a = 4.0 alpha = 120.0\n  b = 4.5\n"));
    EXPECT_EQ(4.0, a);
    EXPECT_EQ(4.5, b);
    EXPECT_EQ(120.0, alpha);
    a = b = alpha = -1;
    CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha,
                                                       folder.Write("run.gout", surface + "\n  a = 4.0 alpha = 120.0\n"));
    EXPECT_EQ(-1, a);
    EXPECT_EQ(-1, alpha);
}
