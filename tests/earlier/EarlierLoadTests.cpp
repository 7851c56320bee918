// The earlier library as a host loads it: its exports, its four classes,
// the deck the driver writes through it, a job run to its end and the band
// structure it cannot plot.
#include "driver/DriverRun.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>

namespace {

std::string EarlierLibrary()
{
    return std::string(QZ_LIB_DIR) + "/../earlier/libQorZelm.so";
}

} // namespace

TEST(EarlierLibrary, ExportsTheFourEntryPointsOnly)
{
    void* library = dlopen(EarlierLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    for (const char* name : {"Read_Zelm_Trajectory_File", "Get_Zelm_Trajectory_File_Info", "DllMain"})
        EXPECT_EQ(dlsym(library, name), nullptr) << name;
    dlclose(library);
}

TEST(EarlierLibrary, RegistersFourClassesAndWritesTheDeckThroughTheDriver)
{
    QzTest::TempFolder folder{"earlier-driver"};
    const std::string registry = folder.File("registry.json");
    const auto run = [&](const std::string& arguments) {
        const QzTest::DriverOutcome outcome = QzTest::RunDriver(folder.Path(), registry, arguments);
        EXPECT_EQ(outcome.code, 0) << arguments << "\n" << outcome.out << outcome.err;
        return outcome.out;
    };
    run("register " + EarlierLibrary());
    const std::string classes = run("classes");
    EXPECT_NE(classes.find("4 registered classes"), std::string::npos) << classes;
    for (const char* progId : {"QorZelm.ZelmLogic.1", "QorZelm.ZelmAnalysis.1", "QorZelm.ZelmJob.1",
                               "QorZelm.ZelmStructureImporter.1"})
        EXPECT_NE(classes.find(progId), std::string::npos) << progId;
    EXPECT_EQ(classes.find("SurfaceCalculator"), std::string::npos);
    run("create QorZelm.ZelmLogic QorZelm.ZelmAnalysis QorZelm.ZelmJob QorZelm.ZelmStructureImporter");

    run("project p");
    run("import " + std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.cif --project p");
    run("state --project p ZelmLogic library halides");
    run("state --project p ZelmLogic ChargeOption Library");
    run("deck p/rocksalt.qsd --task GeomOpt");
    EXPECT_EQ(QzTest::ReadFile(folder.File("p/rocksalt.gin")),
              QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/earlier/geomopt-rocksalt.gin"));

    // A GeomOpt job runs through the engine stand-in to its result import.
    run("engine --project p --stub");
    const std::string job = run("run p/rocksalt.qsd --task GeomOpt");
    EXPECT_NE(job.find("OnJobComplete: S_OK"), std::string::npos) << job;
    EXPECT_NE(job.find("rocksalt.qtd"), std::string::npos) << job;

    // No results wrapper: a phonon run's band structure is not offered, and
    // asking for it fails saying why.
    std::filesystem::copy(std::string(QZ_TEST_DATA) + "/../../examples/results/phonons", folder.File("phonons"));
    const std::string results = run("results phonons/rocksalt.gout");
    EXPECT_NE(results.find("CanPlotPhononDispersion: no"), std::string::npos) << results;
    const QzTest::DriverOutcome dispersion =
        QzTest::RunDriver(folder.Path(), registry, "analyse phonons/rocksalt.gout dispersion");
    EXPECT_EQ(dispersion.code, 1);
    EXPECT_EQ(dispersion.err, "zelm-host: This build of QorZelm has no phonon results wrapper: the phonon dispersion "
                              "cannot be plotted.\n");
}
