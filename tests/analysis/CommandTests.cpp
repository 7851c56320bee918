// The structure, trajectory and library commands and their Can... answers.
#include "AnalysisHost.h"

#include "host/model/QsdFile.h"

#include <functional>

#include "job/ZelmJob.h"
#include "readers/TrajectoryArchive.h"
#include "setup/SurfaceRunInfo.h"

namespace {

using namespace AnalysisTest;

class Commands : public Fixture {
protected:
    void ProjectFile(const std::string& name, const std::string& text)
    {
        QzTest::WriteFile(Host().DocumentsFolder() + "/" + name, text);
    }
    std::string ProjectPath(const std::string& name) { return Host().DocumentsFolder() + "/" + name; }
};

TEST_F(Commands, CanAnswersFollowRunTypeAndFiles)
{
    const struct {
        const char* fixture;
        std::vector<const char*> companions;
        bool canUpdate;
        bool canCreate;
    } rows[] = {
        {"energy.gout", {".arc"}, true, false}, // a single point makes no trajectory
        {"energy.gout", {".trg"}, false, false},
        {"geomopt.gout", {".arc"}, true, true},
        {"geomopt.gout", {".trg"}, false, false},
        {"dynamics.gout", {".arc", ".trg"}, true, false}, // an output without its atom table
        // An archive of 2 atoms beside a run of 8 gives no whole frame.
        {"../../../examples/results/dynamics/rocksalt.gout", {".arc", ".trg"}, false, true},
        {"../../../examples/results/dynamics/rocksalt.gout", {".arc", "garbage.trg"}, false, false},
        {"dynamics.gout", {".arc"}, true, false},
        {"dynamics.gout", {".trg"}, false, false},
        {"surface.gout", {".arc"}, true, true},
        {"surface.gout", {".trg"}, false, false},
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string seed = "run" + std::to_string(++n);
        SCOPED_TRACE(seed + " " + row.fixture);
        std::filesystem::remove_all(Results());
        std::filesystem::create_directories(Results());
        Copy(row.fixture, seed + ".gout");
        for (const std::string extension : row.companions) {
            if (extension == ".arc")
                Put(seed + extension, QzTest::ReadFile(Data("one-frame.arc")));
            else if (extension == ".trg")
                Put(seed + extension, QzTest::ReadFile(std::string(QZ_TEST_DATA) +
                                                       "/../../examples/results/dynamics/rocksalt.trg"));
            else
                Put(seed + ".trg", "x\n");
        }
        Look(seed + ".gout");
        EXPECT_EQ(Can(&IZelmAnalysis::get_CanUpdateStructure), row.canUpdate);
        EXPECT_EQ(Can(&IZelmAnalysis::get_CanCreateTrajectory), row.canCreate);
    }
}

TEST_F(Commands, ARunStoppedByAnEngineErrorSaysWhy)
{
    Put("run.gout", QzTest::ReadFile(Data("geomopt.gout")) + "!! ERROR : input file is empty\n");
    Put("run.arc");
    Put("run.trg");
    Look("run.gout");
    for (auto getter : {&IZelmAnalysis::get_CanViewEnergyEvolution, &IZelmAnalysis::get_CanUpdateStructure,
                        &IZelmAnalysis::get_CanCreateTrajectory}) {
        VARIANT_BOOL answer = VARIANT_TRUE;
        EXPECT_EQ(((*analysis).*getter)(&answer), E_FAIL);
        EXPECT_EQ(answer, VARIANT_FALSE);
        const std::string error = QzTest::LastErrorText();
        EXPECT_NE(error.find("The ZELM run failed: input file is empty"), std::string::npos) << error;
    }
    // A run that ended with warnings is a run like any other.
    Put("run.gout", QzTest::ReadFile(Data("geomopt.gout")) + "  **** ZELM has completed with 1 warning - beware! ****\n");
    Copy("one-frame.arc", "run.arc");
    Put("run.qtd");
    Put("run.trj");
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanViewEnergyEvolution));
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanUpdateStructure));
}

TEST_F(Commands, CanAnswersLookAtTheRunTheCommandUses)
{
    // "EnEvol" selects the first output, a dynamics run without archive;
    // "Structure" the second, an optimisation with one.
    Copy("dynamics.gout", "a.gout");
    Copy("geomopt.gout", "b.gout");
    Copy("one-frame.arc", "b.arc");
    Look("a.gout");
    ASSERT_EQ(Selected("EnEvol"), "a.gout");
    ASSERT_EQ(Selected("Structure"), "b.gout");
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanUpdateStructure));
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanCreateTrajectory));
}

TEST_F(Commands, NullArgumentsComeFirst)
{
    Copy("geomopt.gout", "run.gout");
    const std::string arc = Copy("geomopt.gout", "run.arc");
    Put("run.qtd", "old");
    Look("run.gout");
    for (auto getter : {&IZelmAnalysis::get_CanUpdateStructure, &IZelmAnalysis::get_CanCreateTrajectory,
                        &IZelmAnalysis::get_CanImportLibrary}) {
        EXPECT_EQ(((*analysis).*getter)(nullptr), E_POINTER);
        EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    }
    KelvComPtr<ISBDocumentRoot> trajectory;
    EXPECT_EQ(analysis->CreateTrajectory(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(analysis->CreateTrajectory(nullptr, trajectory.Receive()), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No structure document supplied.");
    EXPECT_EQ(analysis->UpdateStructure(nullptr), E_POINTER);
    // Nothing was touched.
    EXPECT_EQ(QzTest::ReadFile(Result("run.qtd")), "old");
    EXPECT_TRUE(Exists("run.arc"));
}

TEST_F(Commands, AFailedPurgeStillBringsTheArchiveBack)
{
    Copy("geomopt.gout", "run.gout");
    const std::string archive = "archive bytes\n";
    Put("run.arc", archive);
    // A trajectory document the host cannot read: finding it fails.
    Put("run.qtd", "{ not a trajectory");
    Look("run.gout");
    const KelvComPtr<ISBDocumentRoot> source = Structure();
    KelvComPtr<ISBDocumentRoot> trajectory;
    EXPECT_TRUE(FAILED(analysis->CreateTrajectory(source.get(), trajectory.Receive())));
    EXPECT_EQ(QzTest::ReadFile(Result("run.arc")), archive);
    EXPECT_FALSE(Exists("run.arccopy"));
    Look("run.gout");
    EXPECT_TRUE(Contains("Structure"));
}

// What a structure document holds, as its file would.
std::string ModelText(const KelvComPtr<ISBDocumentRoot>& document)
{
    return HostModel::QsdText(*HostModel::DocumentOf(document.get()));
}

TEST_F(Commands, AnArchiveWithoutAFrameIsRefusedWithItsReason)
{
    Copy("geomopt.gout", "run.gout");
    const std::string archive = Copy("no-frame.arc", "run.arc");
    Put("run.trj", "an earlier run's frames");
    Look("run.gout");
    const KelvComPtr<ISBDocumentRoot> document = Structure();
    const std::string before = ModelText(document);
    const struct {
        HRESULT (IZelmAnalysis::*can)(VARIANT_BOOL*);
        std::function<HRESULT()> command;
        std::string reason;
    } rows[] = {
        {&IZelmAnalysis::get_CanUpdateStructure, [&] { return analysis->UpdateStructure(document.get()); },
         "The run gives no final structure: \"" + archive + "\" holds no frame that can be read."},
        {&IZelmAnalysis::get_CanCreateTrajectory,
         [&] {
             KelvComPtr<ISBDocumentRoot> trajectory;
             return analysis->CreateTrajectory(document.get(), trajectory.Receive());
         },
         "The run gives no trajectory frame: \"" + archive + "\" holds no frame that can be read."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        VARIANT_BOOL answer = VARIANT_TRUE;
        EXPECT_EQ(((*analysis).*row.can)(&answer), E_FAIL);
        EXPECT_EQ(answer, VARIANT_FALSE);
        EXPECT_EQ(QzTest::LastErrorText(), row.reason);
        EXPECT_EQ(row.command(), E_FAIL);
        EXPECT_EQ(QzTest::LastErrorText(), row.reason);
    }
    EXPECT_EQ(ModelText(document), before);
    EXPECT_EQ(QzTest::ReadFile(Result("run.trj")), "an earlier run's frames");
    EXPECT_FALSE(Exists("run.qtd"));
    EXPECT_FALSE(Exists("run_TDE_.arc"));
}

TEST_F(Commands, AFailedRunIsRefusedByEveryCommand)
{
    Put("run.gout", QzTest::ReadFile(Data("geomopt.gout")) + "!! ERROR : input file is empty\n");
    Copy("one-frame.arc", "run.arc");
    Look("run.gout");
    const KelvComPtr<ISBDocumentRoot> document = Structure();
    const std::string before = ModelText(document);
    KelvComPtr<ISBDocumentRoot> trajectory;
    const std::function<HRESULT()> commands[] = {
        [&] { return analysis->UpdateStructure(document.get()); },
        [&] { return analysis->CreateTrajectory(document.get(), trajectory.Receive()); },
        [&] { return analysis->PlotEnergyEvolution(); }};
    for (const auto& command : commands) {
        EXPECT_EQ(command(), E_FAIL);
        EXPECT_EQ(QzTest::LastErrorText(), "The ZELM run failed: input file is empty");
    }
    EXPECT_EQ(ModelText(document), before);
    EXPECT_FALSE(Exists("run.qtd"));
    EXPECT_FALSE(Exists("run.trj"));
    EXPECT_FALSE(Exists("run Energies.qcd"));
}

TEST_F(Commands, ATrajectoryWithoutItsFilesFailsAndMakesNoDocument)
{
    // A dynamics run without its binary trajectory (".trg").
    Copy("dynamics.gout", "run.gout");
    Copy("one-frame.arc", "run.arc");
    Look("run.gout");
    EXPECT_FALSE(Can(&IZelmAnalysis::get_CanCreateTrajectory));
    KelvComPtr<ISBDocumentRoot> trajectory;
    EXPECT_EQ(analysis->CreateTrajectory(Structure().get(), trajectory.Receive()), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(),
              "The run \"" + Result("run.gout") + "\" has no trajectory: \"" + Result("run.trg") + "\" is not there.");
    EXPECT_FALSE(Exists("run.qtd"));
    EXPECT_FALSE(Exists("run.trj"));
}

// The bundled rock-salt optimisation's results copied into the results folder.
class BundledRun : public Commands {
protected:
    void SetUp() override
    {
        Commands::SetUp();
        const std::string bundled = std::string(QZ_TEST_DATA) + "/../../examples/results/geomopt/";
        for (const char* extension : {".gout", ".arc"})
            Put(std::string("rocksalt") + extension, QzTest::ReadFile(bundled + "rocksalt" + extension));
        source = Structure("rocksalt");
        Look("rocksalt.gout");
    }
    KelvComPtr<ISBDocumentRoot> source;
};

TEST_F(BundledRun, CreateTrajectoryReplacesTheDocumentAndKeepsTheArchive)
{
    const std::string archive = QzTest::ReadFile(Result("rocksalt.arc"));
    // An older trajectory document: a structure document's file serves as one.
    const std::string older = QzTest::ReadFile(Result("rocksalt.qsd"));
    Put("rocksalt.qtd", older);
    ASSERT_TRUE(Can(&IZelmAnalysis::get_CanCreateTrajectory));
    KelvComPtr<ISBDocumentRoot> trajectory;
    const HRESULT hr = analysis->CreateTrajectory(source.get(), trajectory.Receive());
    // Whatever became of the command, the archive is back.
    EXPECT_EQ(QzTest::ReadFile(Result("rocksalt.arc")), archive);
    EXPECT_FALSE(Exists("rocksalt.arccopy"));
    ASSERT_EQ(hr, S_OK) << QzTest::LastErrorText();
    ASSERT_TRUE(trajectory);
    EXPECT_EQ(QzTest::ReadFile(Result("rocksalt.arc")), archive);
    EXPECT_FALSE(Exists("rocksalt.arccopy"));
    EXPECT_TRUE(Exists("rocksalt.qtd"));
    EXPECT_TRUE(Exists("rocksalt.trj"));
}

TEST_F(BundledRun, EnergyChartsBuildTheTrajectoryOfTheirOwnRun)
{
    // The "Structure" category selects another run that has an archive too.
    Put("other.gout", QzTest::ReadFile(Result("rocksalt.gout")));
    Put("other.arc", QzTest::ReadFile(Result("rocksalt.arc")));
    Put("other.qtd", "the other run's trajectory document");
    Look("rocksalt.gout");
    Select("Structure", "other.gout");
    Select("EnEvol", "rocksalt.gout");
    const HRESULT hr = analysis->PlotEnergyEvolution();
    EXPECT_EQ(QzTest::ReadFile(Result("other.qtd")), "the other run's trajectory document");
    ASSERT_EQ(hr, S_OK) << QzTest::LastErrorText();
    EXPECT_TRUE(Exists("rocksalt.qtd"));
    EXPECT_TRUE(Exists("rocksalt Energies.qcd"));
    EXPECT_EQ(QzTest::ReadFile(Result("other.qtd")), "the other run's trajectory document");
}

TEST_F(BundledRun, AFailedTrajectoryBuildLeavesNoDocumentBehind)
{
    const std::string archive = QzTest::ReadFile(Result("rocksalt.arc"));
    // An archive whose atom line the reader refuses.
    Put("rocksalt.arc", "!KORVEX archive 3\nPBC=ON\n  -2306.1\n!DATE today\n"
                        "PBC 5.64 5.64 5.64 90.0 90.0 90.0\nNa 0.0 0.0 0.0 CORE 1 Na 0.0\n");
    EXPECT_EQ(analysis->PlotEnergyEvolution(), E_UNEXPECTED);
    EXPECT_FALSE(Exists("rocksalt.qtd"));
    EXPECT_FALSE(Exists("rocksalt.trj"));
    EXPECT_FALSE(Exists("rocksalt Energies.qcd"));
    // With the run's own archive the next plot builds the trajectory.
    Put("rocksalt.arc", archive);
    ASSERT_EQ(analysis->PlotEnergyEvolution(), S_OK) << QzTest::LastErrorText();
    EXPECT_TRUE(Exists("rocksalt.qtd"));
    EXPECT_TRUE(Exists("rocksalt.trj"));
}

TEST_F(Commands, ImportLibraryTurnsTheDumpIntoALibrary)
{
    Copy("energy.gout", "fit.gout");
    Look("fit.gout");
    EXPECT_FALSE(Can(&IZelmAnalysis::get_CanImportLibrary));
    EXPECT_EQ(analysis->ImportLibrary(), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "There are no fitting results from which a library can be generated");

    Put("fit.res", QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/forcefield/fit.res"));
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanImportLibrary));
    ASSERT_EQ(analysis->ImportLibrary(), S_OK) << QzTest::LastErrorText();
    const std::string first = QzTest::ReadFile(Result("fit.lib"));
    EXPECT_NE(first.find("species"), std::string::npos);
    // Again: the library beside the dump is the same, and stays the only one.
    ASSERT_EQ(analysis->ImportLibrary(), S_OK) << QzTest::LastErrorText();
    EXPECT_EQ(QzTest::ReadFile(Result("fit.lib")), first);
    EXPECT_FALSE(Exists("fit_2.lib"));
}

TEST_F(Commands, TheFittedLibraryNeverReplacesAnotherLibrary)
{
    // The fit's own input library, named as the deck, with the user's flags.
    const std::string input = "species\nNa core 1.0\n";
    Copy("energy.gout", "fit.gout");
    Put("fit.res", QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/forcefield/fit.res"));
    Put("fit.lib", input);
    Look("fit.gout");
    ASSERT_EQ(analysis->ImportLibrary(), S_OK) << QzTest::LastErrorText();
    EXPECT_EQ(QzTest::ReadFile(Result("fit.lib")), input);
    EXPECT_NE(QzTest::ReadFile(Result("fit_2.lib")).find("species"), std::string::npos);
}

// The library and its numbered copies stay as they are: a conversion that
// one of them holds writes nothing and answers that one; any other takes
// the first free number.
TEST_F(Commands, TheFittedLibraryTakesTheFirstFreeNumberUnlessACopyHoldsIt)
{
    Copy("energy.gout", "fit.gout");
    const std::string dump = Put("fit.res", QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/forcefield/fit.res"));
    const KelvComPtr<ISBContainerRoot> root(Host().Root());
    ASSERT_EQ(CZelmJob::ConvertFittedLibrary(root, dump), Result("fit.lib"));
    const std::string converted = QzTest::ReadFile(Result("fit.lib"));
    const std::string other = "species\nNa core 1.0\n";

    const char* const names[] = {"fit.lib", "fit_2.lib", "fit_3.lib", "fit_4.lib"};
    const struct {
        std::vector<bool> holds; // per name: the conversion's bytes, or another library
        const char* answer;
    } rows[] = {
        {{false}, "fit_2.lib"},
        {{false, false}, "fit_3.lib"},
        {{false, false, false}, "fit_4.lib"},
        {{true}, "fit.lib"},
        {{false, true}, "fit_2.lib"},
        {{false, false, true}, "fit_3.lib"},
        {{false, true, false}, "fit_2.lib"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answer + std::to_string(row.holds.size()));
        for (const char* name : names)
            std::filesystem::remove(Result(name));
        for (std::size_t i = 0; i < row.holds.size(); ++i)
            Put(names[i], row.holds[i] ? converted : other);
        EXPECT_EQ(CZelmJob::ConvertFittedLibrary(root, dump), Result(row.answer));
        for (std::size_t i = 0; i < row.holds.size(); ++i)
            EXPECT_EQ(QzTest::ReadFile(Result(names[i])), row.holds[i] ? converted : other) << names[i];
        EXPECT_EQ(QzTest::ReadFile(Result(row.answer)), converted);
        const bool made = std::string(row.answer) == names[row.holds.size()];
        for (std::size_t i = row.holds.size() + (made ? 1 : 0); i < std::size(names); ++i)
            EXPECT_FALSE(Exists(names[i])) << names[i];
    }
}

TEST_F(Commands, TheDumpIsTheRunNamedInItsFolder)
{
    // A dump of another run of the folder, and one in the project folder,
    // are no fit of the run named.
    Copy("energy.gout", "a.gout");
    Copy("energy.gout", "b.gout");
    Put("a.res", QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/forcefield/fit.res"));
    ProjectFile("b.res", QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/forcefield/fit.res"));
    Look("b.gout");
    EXPECT_FALSE(Can(&IZelmAnalysis::get_CanImportLibrary));
    EXPECT_EQ(analysis->ImportLibrary(), E_UNEXPECTED);
    Look("a.gout");
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanImportLibrary));
    ASSERT_EQ(analysis->ImportLibrary(), S_OK) << QzTest::LastErrorText();
    EXPECT_TRUE(Exists("a.lib"));
    EXPECT_FALSE(Exists("b.lib"));
    EXPECT_FALSE(std::filesystem::exists(ProjectPath("b.lib")));
}

TEST_F(Commands, CanImportLibraryAnswersWhatTheImportWouldDo)
{
    // A dump without species block converts; the same with a species given
    // two charges does not, and the answer says so.
    const std::string dump = QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/forcefield/nospecies.res");
    Copy("energy.gout", "fit.gout");
    Put("fit.res", dump);
    Look("fit.gout");
    EXPECT_TRUE(Can(&IZelmAnalysis::get_CanImportLibrary));
    ASSERT_EQ(analysis->ImportLibrary(), S_OK) << QzTest::LastErrorText();
    EXPECT_NE(QzTest::ReadFile(Result("fit.lib")).find("Fe core 0.8\n"), std::string::npos);

    std::string conflicting = dump;
    conflicting.replace(conflicting.rfind("-0.40000000"), 11, "-0.50000000");
    Put("fit.res", conflicting);
    EXPECT_FALSE(Can(&IZelmAnalysis::get_CanImportLibrary));
    EXPECT_EQ(analysis->ImportLibrary(), E_UNEXPECTED);
    EXPECT_NE(QzTest::LastErrorText().find("\"S core\""), std::string::npos) << QzTest::LastErrorText();
    Put("fit.res", "# \n# Keywords:\n");
    EXPECT_FALSE(Can(&IZelmAnalysis::get_CanImportLibrary));

    // A fit that failed gives no library, and the answer says why.
    Put("fit.res", dump);
    Put("fit.gout", QzTest::ReadFile(Data("energy.gout")) + "!! ERROR : fit did not converge\n");
    VARIANT_BOOL answer = VARIANT_TRUE;
    EXPECT_EQ(analysis->get_CanImportLibrary(&answer), E_FAIL);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_EQ(analysis->ImportLibrary(), E_FAIL);
    EXPECT_EQ(QzTest::LastErrorText(), "The ZELM run failed: fit did not converge");
}

TEST_F(Commands, TheConvertersErrorsReachTheCaller)
{
    // A library that cannot be written (a folder stands in its place).
    Copy("energy.gout", "fit.gout");
    Put("fit.res", QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/forcefield/fit.res"));
    std::filesystem::create_directories(Result("fit.lib"));
    Look("fit.gout");
    EXPECT_TRUE(FAILED(analysis->ImportLibrary()));
    EXPECT_NE(QzTest::LastErrorText().find("fit.lib"), std::string::npos) << QzTest::LastErrorText();

    // A dump without species.
    std::filesystem::remove_all(Result("fit.lib"));
    Put("fit.res", "# \n# Keywords:\n");
    EXPECT_EQ(analysis->ImportLibrary(), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "Invalid dump file format - species block absent");
    EXPECT_FALSE(Exists("fit.lib"));
}

} // namespace

namespace {

using namespace AnalysisTest;

// The archive opener of the structure write-back, replaced for one test: it
// keeps the atom map it is given and serves an archive of no frames, so
// that the write-back changes nothing.
class MapRecorder {
public:
    MapRecorder()
    {
        m_before = SetTrajectoryArchiveOpener([this](const std::string&, const CAtomicIndexMap& map) {
            recorded = std::make_unique<CAtomicIndexMap>();
            recorded->Copy(map);
            return std::make_unique<NoFrames>();
        });
    }
    ~MapRecorder() { SetTrajectoryArchiveOpener(std::move(m_before)); }
    std::unique_ptr<CAtomicIndexMap> recorded;

private:
    struct NoFrames final : ITrajectoryArchive {
        std::size_t GetFrameCount() const override { return 0; }
        TrajectoryArchiveFrame GetFrame(std::size_t) const override { return {}; }
        bool Is2DPeriodic() const override { return true; }
        bool Is3DPeriodic() const override { return false; }
    };
    TrajectoryArchiveOpener m_before;
};

std::vector<ULONG> Entries(const CAtomicIndexMap& map)
{
    std::vector<ULONG> entries;
    for (ULONG i = 1; i <= map.GetSize(); ++i)
        entries.push_back(map.MapDoc2Zelm(i));
    return entries;
}

TEST_F(Commands, UpdateStructureMapsASurfaceRunsAtomsThroughTheSurfaceSettings)
{
    Put("slab.qsd", QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/../../examples/slab.qsd"));
    KelvComPtr<ISBDocumentRoot> slab;
    ASSERT_EQ(Host().Documents().FindDocument(KelvBSTR(Result("slab.qsd")).Get(), slab.Receive()), S_OK);
    std::vector<ULONG> surfaceMap;
    try {
        surfaceMap = Entries(CSurfaceRunInfo(KelvComPtr<ISBContainerRoot>(Host().Root()), slab).m_atomIndexMap);
    } catch (const KelvResult& error) {
        FAIL() << error.GetMessage();
    }
    ASSERT_FALSE(surfaceMap.empty());
    const std::string archive = "!BIOSYM archive 3\nPBC=2D\nZelm\n!DATE\nend\nend\n";
    for (const auto& [fixture, expected] :
         {std::pair<const char*, std::vector<ULONG>>{"surface.gout", surfaceMap}, {"geomopt.gout", {}}}) {
        SCOPED_TRACE(fixture);
        Copy(fixture, "run.gout");
        Put("run.arc", archive);
        Look("run.gout");
        MapRecorder recorder;
        // The archive gives no frame: the update is refused, after reading
        // the archive with the run's map.
        EXPECT_EQ(analysis->UpdateStructure(slab.get()), E_FAIL);
        EXPECT_NE(QzTest::LastErrorText().find("holds no frame"), std::string::npos) << QzTest::LastErrorText();
        ASSERT_TRUE(recorder.recorded);
        EXPECT_EQ(Entries(*recorder.recorded), expected);
    }
}

} // namespace
