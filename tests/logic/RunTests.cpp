// IZelm::Run, ExportFiles and StartFiles end to end on the in-memory host.
#include "LogicHost.h"

#include "host/model/QsdFile.h"

#include "qorqm/PathUtilities.h"

#include <algorithm>
#include <regex>

using namespace LogicTest;

namespace {

const char* const kTyping = "Forcefield types have not been assigned for all atoms.\n"
                            "Use the ZELM Preparations Options dialog to assign forcefield types.";
const char* const kParallel = "ZELM can only run dynamics jobs in parallel.\n"
                              "Please uncheck the Run in parallel checkbox on the Job Control tab.";

// A logic object made by its create function and never connected.
KelvComPtr<IZelm> LooseLogic()
{
    void* object = nullptr;
    EXPECT_EQ(CZelm::CreateZelmLogic(&object), S_OK);
    return KelvComPtr<IUnknown>::Adopt(static_cast<IDelegatedUnknown*>(object)).QueryInterface<IZelm>();
}

std::vector<std::string> Names(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    for (const std::string& path : paths)
        names.push_back(std::filesystem::path(path).filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Arguments(const std::string& service, const std::string& call, std::size_t index = 0)
{
    const auto entries = HostModel::OperationLog::Find(service, call);
    if (index >= entries.size())
        return "(not called)";
    std::string text;
    for (const std::string& argument : entries[index].arguments)
        text += (text.empty() ? "" : ", ") + argument;
    return text;
}

// The arguments with the temporary name a job folder is built under
// ("<title>.tmp-<pid>-<six letters>") written "<title>.tmp-PID".
std::string Built(const std::string& arguments)
{
    return std::regex_replace(arguments, std::regex(R"(\.tmp-[0-9]+-[A-Za-z0-9]{6})"), ".tmp-PID");
}

class Requests : public LogicHost
{
protected:
    // The folders the project holds besides its hidden ones.
    std::vector<std::string> ProjectFolders() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Project()))
            if (entry.is_directory() && entry.path().filename().string().front() != '.')
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST_F(Requests, RunSubmitsTheGeomOptJob)
{
    const Outcome result = Call([&] { return Zelm()->Run(Contents(document).get()); });
    ASSERT_EQ(result.hr, S_OK) << result.message;

    // The road through the host, in order.
    const std::vector<std::string> road = Calls({"DocumentManager", "StateManager", "JobManager", "ManagedJob"});
    const std::vector<std::string> expected{"DocumentManager.MakeDocumentFolder", "DocumentManager.ExportDocument",
                                            "StateManager.CreateModuleState", "DocumentManager.Synchronize",
                                            "JobManager.CreateManagedJob", "ManagedJob.put_TaskOriginator",
                                            "ManagedJob.put_TaskTypeDescription", "ManagedJob.put_TaskPrefix",
                                            "ManagedJob.AddServerCommandItem", "ManagedJob.RegisterNotificationHandler"};
    ASSERT_GE(road.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(road.begin(), road.begin() + expected.size()), expected);
    EXPECT_EQ(road.back(), "DocumentManager.Synchronize");
    EXPECT_EQ(road[road.size() - 3], "ManagedJob.Start");
    // The deck's folder is built under a temporary name and handed to the
    // job under a name of its own.
    EXPECT_EQ(Built(Arguments("DocumentManager", "MakeDocumentFolder")),
              "\"" + Project() + "/rocksalt ZELM GeomOpt.tmp-PID\", 0x28");
    EXPECT_EQ(Built(Arguments("DiskManager", "RenameFolder")), "\"" + Project() + "/rocksalt ZELM GeomOpt.tmp-PID/\", \"" +
                                                                   Project() + "/rocksalt ZELM GeomOptZELM\", 0x8");
    EXPECT_EQ(Arguments("JobManager", "CreateManagedJob"), "\"ZELM\", state of \"QMJobTemplate\", empty");
    EXPECT_EQ(Arguments("DiskManager", "DeleteFolder"), "\"" + Project() + "/rocksalt ZELM GeomOptZELM\", 0x10");
    EXPECT_EQ(Calls({"DiskManager"}).back(), "DiskManager.DeleteFolder");

    ASSERT_EQ(Jobs().size(), 1u);
    const QzHost::ManagedJob& job = *Jobs().front();
    EXPECT_EQ(job.ServerName(), "ZELM");
    EXPECT_EQ(job.Originator(), "ZELM");
    EXPECT_EQ(job.TaskDescription(), "GeomOpt");
    EXPECT_EQ(job.Prefix(), "rocksalt");
    EXPECT_EQ(job.CommandItems(), (std::vector<std::pair<std::string, std::string>>{{"UpdateInterval", "30"},
                                                                                   {"SeedName", "rocksalt"}}));
    EXPECT_EQ(job.NotificationHandler(), "ModuleManager!QorZelm.Extension!QMJobHandler");
    EXPECT_EQ(job.Scope(), nullptr);
    EXPECT_EQ(job.Stage(), QzHost::JobStage::Started);
    EXPECT_EQ(job.Items().size(), 16u);
    EXPECT_EQ(Names(job.StagedFiles()), (std::vector<std::string>{"rocksalt.gin", "rocksalt.lib", "rocksalt.qms",
                                                                   "rocksalt.qsd", "rocksalt.trjaux",
                                                                   "selectedLibrary.libaux"}));
    // The job folder is gone; the results folder of the job is there.
    EXPECT_EQ(ProjectFolders(), std::vector<std::string>{"rocksalt ZELM GeomOpt"});
    EXPECT_TRUE(FileNames(Project() + "/rocksalt ZELM GeomOpt").empty());
}

// A document whose name the engine's command line cannot carry as one word:
// the job, its seed and every file of it go under one safe base.
TEST_F(Requests, ADocumentNamedWithBlanksRunsUnderOneSafeBase)
{
    const auto spaced = AddDocument("rock salt", *RockSalt());
    const Outcome result = Call([&] { return Zelm()->Run(Contents(spaced).get()); });
    ASSERT_EQ(result.hr, S_OK) << result.message;
    ASSERT_EQ(Jobs().size(), 1u);
    const QzHost::ManagedJob& job = *Jobs().front();
    EXPECT_EQ(job.Prefix(), "rock_salt");
    EXPECT_EQ(job.CommandItem("SeedName"), "rock_salt");
    EXPECT_EQ(Names(job.StagedFiles()), (std::vector<std::string>{"rock_salt.gin", "rock_salt.qms", "rock_salt.qsd",
                                                                   "rock_salt.trjaux", "rocksalt.lib",
                                                                   "selectedLibrary.libaux"}));
    const auto deck = std::find_if(job.StagedFiles().begin(), job.StagedFiles().end(), [](const std::string& path) {
        return PathUtilities::MatchesExtension(path, ".gin");
    });
    ASSERT_NE(deck, job.StagedFiles().end());
    EXPECT_NE(QzTest::ReadFile(*deck).find("\noutput movie arc rock_salt\n"), std::string::npos);
}

// ------------------------------------------------------------- job names

// The deck's "library" line and the library file the job uploads name the
// library alike, by the job's safe-name rule, so the engine finds the file.
TEST_F(Requests, ALibraryFileNamedWithBlanksGoesUpUnderItsDeckName)
{
    UseProjectLibrary("rock salt(1)", DeckTest::RockSaltLibrary());
    const Outcome result = Call([&] { return Zelm()->Run(Contents(document).get()); });
    ASSERT_EQ(result.hr, S_OK) << result.message;
    ASSERT_EQ(Jobs().size(), 1u);
    const QzHost::ManagedJob& job = *Jobs().front();
    EXPECT_EQ(Names(job.StagedFiles()), (std::vector<std::string>{"rock_salt_1_.lib", "rocksalt.gin", "rocksalt.qms",
                                                                   "rocksalt.qsd", "rocksalt.trjaux",
                                                                   "selectedLibrary.libaux"}));
    for (const std::string& staged : job.StagedFiles()) {
        if (PathUtilities::MatchesExtension(staged, ".gin")) {
            EXPECT_NE(QzTest::ReadFile(staged).find("\nlibrary rock_salt_1_\n"), std::string::npos);
        } else if (PathUtilities::MatchesExtension(staged, ".lib")) {
            EXPECT_EQ(QzTest::ReadFile(staged), DeckTest::RockSaltLibrary());
        }
    }
    // The library itself stays as it is.
    EXPECT_EQ(QzTest::ReadFile(Project() + "/rock salt(1).lib"), DeckTest::RockSaltLibrary());
}

// The copy a saved deck's job uploads the library as never replaces another
// file of that name in the deck's folder.
TEST_F(Requests, TheLibraryCopyOfASavedDeckReplacesNoOtherFile)
{
    UseProjectLibrary("rock salt(1)", DeckTest::RockSaltLibrary());
    ASSERT_EQ(Call([&] { return JobFiles()->ExportFiles(Contents(document).get()); }).hr, S_OK);
    const std::string folder = Project() + "/rocksalt ZELM GeomOpt";
    const std::string other = folder + "/rock_salt_1_.lib";
    QzTest::WriteFile(other, "species\nNa core 2.0\n");
    KelvComPtr<ISBDocumentRoot> deck;
    ASSERT_EQ(host->Documents().FindDocument(KelvBSTR(folder + "/rocksalt.gin").Get(), deck.Receive()), S_OK);
    ASSERT_TRUE(deck);
    host->Scopes().SetDefaultScope(Contents(deck));

    const Outcome refused = Call([&] { return JobFiles()->StartFiles(Contents(deck).get()); });
    EXPECT_EQ(refused.hr, E_UNEXPECTED);
    EXPECT_NE(refused.message.find("holds a file \"rock_salt_1_.lib\" that is not the library"), std::string::npos)
        << refused.message;
    EXPECT_EQ(QzTest::ReadFile(other), "species\nNa core 2.0\n");

    std::filesystem::remove(other);
    const Outcome started = Call([&] { return JobFiles()->StartFiles(Contents(deck).get()); });
    ASSERT_EQ(started.hr, S_OK) << started.message;
    EXPECT_EQ(QzTest::ReadFile(other), DeckTest::RockSaltLibrary());
    EXPECT_EQ(Jobs().back()->Items().at(1)->Descriptor(), other);
}

// Export and run name one job alike: the folder after the job's files.
TEST_F(Requests, ExportAndRunNameTheJobFolderAlike)
{
    const auto bracketed = AddDocument("a(b)", *RockSalt());
    const Outcome exported = Call([&] { return JobFiles()->ExportFiles(Contents(bracketed).get()); });
    ASSERT_EQ(exported.hr, S_OK) << exported.message;
    EXPECT_EQ(Built(Arguments("DocumentManager", "MakeDocumentFolder")),
              "\"" + Project() + "/a_b_ ZELM GeomOpt.tmp-PID\", 0x8");
    EXPECT_EQ(Built(Arguments("DiskManager", "RenameFolder")),
              "\"" + Project() + "/a_b_ ZELM GeomOpt.tmp-PID/\", \"" + Project() + "/a_b_ ZELM GeomOpt\", 0x8");
    EXPECT_NE(FileNames(Project() + "/a_b_ ZELM GeomOpt"), std::vector<std::string>{});

    const Outcome run = Call([&] { return Zelm()->Run(Contents(bracketed).get()); });
    ASSERT_EQ(run.hr, S_OK) << run.message;
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(std::filesystem::path(Jobs().front()->ResultsFolder()).filename().string(), "a_b_ ZELM GeomOpt_2");
    EXPECT_EQ(ProjectFolders(), (std::vector<std::string>{"a_b_ ZELM GeomOpt", "a_b_ ZELM GeomOpt_2"}));
}

// A species line whose charge is refused would leave its atoms uncharged:
// a deck, an export and a run stop, naming the line, before anything is
// written.
TEST_F(Requests, RefusedSpeciesLinesStopDeckExportAndRun)
{
    UseProjectLibrary("rocksalt", "species\nNa core one\nCl core -1.0\n");
    const std::string out = Project() + "/out";
    std::filesystem::create_directory(out);
    HRESULT saved = S_OK;
    EXPECT_EQ(Save(Contents(document), out, &saved), "");
    const struct {
        const char* request;
        Outcome outcome;
    } cases[] = {
        {"deck", Outcome{saved, failure}},
        {"export", Call([&] { return JobFiles()->ExportFiles(Contents(document).get()); })},
        {"run", Call([&] { return Zelm()->Run(Contents(document).get()); })},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.outcome.hr, E_UNEXPECTED) << c.request;
        EXPECT_NE(c.outcome.message.find("species lines that cannot be read"), std::string::npos) << c.request;
        EXPECT_NE(c.outcome.message.find("\n  line 2: Na core one\n    The charge \"one\" of the species \"Na\""),
                  std::string::npos)
            << c.outcome.message;
    }
    EXPECT_TRUE(FileNames(out).empty());
    EXPECT_EQ(ProjectFolders(), std::vector<std::string>{"out"});
    EXPECT_TRUE(Jobs().empty());
    // The job control's question answers as the export does.
    VARIANT_BOOL canExport = VARIANT_TRUE;
    EXPECT_EQ(JobFiles()->CanExportFiles(Contents(document).get(), &canExport), S_OK);
    EXPECT_EQ(canExport, VARIANT_FALSE);
}

// A saved deck renamed to a name the job cannot carry ("rocksalt(1)" goes
// to the engine as "rocksalt_1_") would leave the engine without its deck:
// refused before a job is made or a file staged.
TEST_F(Requests, ADeckRenamedToAnUnsafeNameIsNotStarted)
{
    ASSERT_EQ(Call([&] { return JobFiles()->ExportFiles(Contents(document).get()); }).hr, S_OK);
    const std::string folder = Project() + "/rocksalt ZELM GeomOpt";
    std::filesystem::rename(folder + "/rocksalt.gin", folder + "/rocksalt(1).gin");
    const std::vector<std::string> before = FileNames(folder);
    KelvComPtr<ISBDocumentRoot> deck;
    ASSERT_EQ(host->Documents().FindDocument(KelvBSTR(folder + "/rocksalt(1).gin").Get(), deck.Receive()), S_OK);
    ASSERT_TRUE(deck);
    host->Scopes().SetDefaultScope(Contents(deck));

    const Outcome refused = Call([&] { return JobFiles()->StartFiles(Contents(deck).get()); });
    EXPECT_EQ(refused.hr, E_UNEXPECTED);
    EXPECT_NE(refused.message.find("\"rocksalt(1).gin\" cannot be started under its name"), std::string::npos)
        << refused.message;
    EXPECT_NE(refused.message.find("opens the deck \"rocksalt_1_.gin\""), std::string::npos) << refused.message;
    EXPECT_TRUE(Jobs().empty());
    EXPECT_EQ(FileNames(folder), before);

    // Renamed to its job's name, it starts.
    std::filesystem::rename(folder + "/rocksalt(1).gin", folder + "/rocksalt_1_.gin");
    std::filesystem::rename(folder + "/rocksalt.trjaux", folder + "/rocksalt_1_.trjaux");
    ASSERT_EQ(host->Documents().FindDocument(KelvBSTR(folder + "/rocksalt_1_.gin").Get(), deck.Receive()), S_OK);
    ASSERT_TRUE(deck);
    host->Scopes().SetDefaultScope(Contents(deck));
    const Outcome started = Call([&] { return JobFiles()->StartFiles(Contents(deck).get()); });
    ASSERT_EQ(started.hr, S_OK) << started.message;
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front()->CommandItem("SeedName"), "rocksalt_1_");
}

TEST_F(Requests, StartFilesSubmitsAnExportedDeck)
{
    const Outcome exported = Call([&] { return JobFiles()->ExportFiles(Contents(document).get()); });
    ASSERT_EQ(exported.hr, S_OK) << exported.message;
    EXPECT_EQ(Built(Arguments("DocumentManager", "MakeDocumentFolder")),
              "\"" + Project() + "/rocksalt ZELM GeomOpt.tmp-PID\", 0x8");
    EXPECT_EQ(FileNames(Project() + "/rocksalt ZELM GeomOpt"),
              (std::vector<std::string>{"rocksalt.gin", "rocksalt.qms", "rocksalt.qsd", "rocksalt.trjaux",
                                        "selectedLibrary.libaux"}));
    EXPECT_TRUE(Jobs().empty());
    // The deck as a document of its own: the user works on it now.
    KelvComPtr<ISBDocumentRoot> deck;
    const KelvBSTR path(Project() + "/rocksalt ZELM GeomOpt/rocksalt.gin");
    ASSERT_EQ(host->Documents().FindDocument(path.Get(), deck.Receive()), S_OK);
    ASSERT_TRUE(deck);
    host->Scopes().SetDefaultScope(Contents(deck));
    // The state now names another task and library: the deck decides.
    Set("ZelmLogic", "Task", int32_t(1));
    Set("ZelmLogic", "library", "elsewhere");

    VARIANT_BOOL canStart = VARIANT_FALSE;
    ASSERT_EQ(JobFiles()->CanStartFiles(Contents(deck).get(), &canStart), S_OK);
    EXPECT_EQ(canStart, VARIANT_TRUE);
    const Outcome result = Call([&] { return JobFiles()->StartFiles(Contents(deck).get()); });
    ASSERT_EQ(result.hr, S_OK) << result.message;
    ASSERT_EQ(Jobs().size(), 1u);
    const QzHost::ManagedJob& job = *Jobs().front();
    EXPECT_EQ(job.TaskDescription(), "GeomOpt");
    EXPECT_EQ(job.Prefix(), "rocksalt");
    EXPECT_EQ(job.Stage(), QzHost::JobStage::Started);
    EXPECT_EQ(job.Items().at(1)->Descriptor(), Project() + "/rocksalt.lib");
    EXPECT_EQ(Calls({"DocumentManager"}).back(), "DocumentManager.Synchronize");
    // The deck's folder stays.
    EXPECT_FALSE(FileNames(Project() + "/rocksalt ZELM GeomOpt").empty());
}

TEST_F(Requests, FitRunGoesInOnAPrivateDocumentOfTheLibrary)
{
    Set("ZelmLogic", "Task", int32_t(4));
    const Outcome result = Call([&] { return Zelm()->Run(Contents(document).get()); });
    ASSERT_EQ(result.hr, S_OK) << result.message;

    // The library is a document of the project; the fit document names it.
    KelvComPtr<ISBDocumentRoot> library;
    ASSERT_EQ(host->Documents().FindDocument(KelvBSTR(Project() + "/rocksalt.lib").Get(), library.Receive()), S_OK);
    KelvBSTR libraryId;
    ASSERT_EQ(library->get_DocumentID(libraryId.Receive()), S_OK);
    EXPECT_EQ(Arguments("DocumentManager", "NewPrivateDocument"), "\"SDDocuments.Atomistic3dDocument\", empty");

    ASSERT_EQ(Jobs().size(), 1u);
    const QzHost::ManagedJob& job = *Jobs().front();
    EXPECT_EQ(job.TaskDescription(), "Fit");
    ASSERT_NE(job.Scope(), nullptr);
    KelvComPtr<ISBDocumentRoot> fit;
    ASSERT_EQ(job.Scope()->get_DocumentRoot(fit.Receive()), S_OK);
    ASSERT_TRUE(fit);
    EXPECT_NE(Model(fit), Model(document));
    KelvBSTR fitName;
    ASSERT_EQ(fit->get_DocumentName(fitName.Receive()), S_OK);
    EXPECT_EQ(fitName.ToTString(), "rocksalt");
    KelvComPtr<ISBDocumentInfo> info;
    ASSERT_EQ(fit->get_DocumentInfo(info.Receive()), S_OK);
    KelvVariant parent;
    ASSERT_EQ(info->GetDocumentProperty(KelvBSTR("_ParentDocID").Get(), parent.Receive()), S_OK);
    EXPECT_EQ(parent.String(), libraryId.ToTString());

    // No side files: no structure copy, no atom list, no trajectory outputs.
    std::vector<std::string> items;
    for (const auto& item : job.Items())
        items.push_back(std::filesystem::path(item->Descriptor()).extension().string());
    EXPECT_EQ(items, (std::vector<std::string>{".gin", ".lib", ".qms", ".frc", ".osc", ".dens", ".disp", ".libaux",
                                                ".arc", ".res", ".gout"}));
}

TEST_F(Requests, FitRunOnALibraryThatIsNoDocumentIsRefusedBeforeTheFitDocument)
{
    // A library file the project does not know as a document.
    const std::string library = Project() + "/rocksalt.ff";
    QzTest::WriteFile(library, DeckTest::RockSaltLibrary());
    Set("ZelmLogic", "library", library);
    Set("ZelmLogic", "Task", int32_t(4));
    const Outcome result = Call([&] { return Zelm()->Run(Contents(document).get()); });
    EXPECT_EQ(result.hr, E_UNEXPECTED);
    EXPECT_NE(result.message.find("\"" + library + "\" is not a document"), std::string::npos) << result.message;
    EXPECT_TRUE(HostModel::OperationLog::Find("DocumentManager", "NewPrivateDocument").empty());
    EXPECT_TRUE(Jobs().empty());
    // The project is still brought in step and the job folder removed.
    EXPECT_EQ(Calls({"DocumentManager"}).back(), "DocumentManager.Synchronize");
    EXPECT_EQ(Arguments("DiskManager", "DeleteFolder"), "\"" + Project() + "/rocksalt ZELM FitZELM\", 0x10");
}

// A refusal: the request, its code and message, and whether a job folder or
// a job exists afterwards.
TEST_F(Requests, Refusals)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        std::function<HRESULT()> request;
        HRESULT hr;
        std::string message;
        bool folderMade;
        bool jobMade;
    };
    const auto run = [&] { return Zelm()->Run(Contents(document).get()); };
    const auto monoclinic = [&](const char* hall) {
        return [this, hall] {
            auto model = Model(document);
            model->SetSymmetry(HostModel::Symmetry::FromHall(hall));
        };
    };
    const std::vector<Case> cases{
        {"null scope, Run", [] {}, [&] { return Zelm()->Run(nullptr); }, E_INVALIDARG,
         "Cannot conduct this operation without an active document", false, false},
        {"unconnected, Run", [] {}, [&] { return LooseLogic()->Run(Contents(document).get()); }, E_UNEXPECTED,
         "One or more components were not set up as expected", false, false},
        {"unconnected, ExportFiles", [] {},
         [&] { return LooseLogic().QueryInterface<ISBManagedJobFiles>()->ExportFiles(Contents(document).get()); },
         E_UNEXPECTED, "One or more components were not set up as expected", false, false},
        {"typed library, untyped atom", [&] { Set("ZelmLogic", "library", "dreiding"); }, run, E_INVALIDARG,
         kTyping, false, false},
        {"representation 1", monoclinic("P 2x"), run, E_UNEXPECTED,
         "ZELM only supports monoclinic structures in the B-unique setting.", false, false},
        {"representation 3", monoclinic("P 2"), run, E_UNEXPECTED,
         "ZELM only supports monoclinic structures in the B-unique setting.", false, false},
        {"Fit on a standard library", [&] {
             const std::string standard = folder.File("core/Resources/Virakon/ZELM");
             std::filesystem::create_directories(standard);
             QzTest::WriteFile(standard + "/stdions.lib", DeckTest::RockSaltLibrary());
             Set("ZelmLogic", "library", "stdions");
             Set("ZelmLogic", "Task", int32_t(4));
         },
         run, E_UNEXPECTED, "\nCannot run or save files for a Fit Forcefield task when using a standard library.",
         false, false},
        {"parallel GeomOpt", [&] { Set("QMJobTemplate", "MpiRequested", true); }, run, E_UNEXPECTED, kParallel,
         true, false},
        {"job name with a path", [&] {
             Set("QMJobTemplate", "AutomateJobPrefix", false);
             Set("QMJobTemplate", "JobPrefix", "a/b");
         },
         run, E_INVALIDARG,
         "The job name \"a/b\" cannot name the job's files: it must not hold \"/\" or \"\\\" nor be \".\" or \"..\".",
         false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host->Jobs().Clear();
        document = AddDocument("rocksalt", *RockSalt());
        Set("ZelmLogic", "library", "rocksalt");
        Set("ZelmLogic", "Task", int32_t(2));
        Set("QMJobTemplate", "MpiRequested", false);
        Set("QMJobTemplate", "AutomateJobPrefix", true);
        std::filesystem::remove_all(folder.File("core"));
        for (const std::string& name : ProjectFolders())
            std::filesystem::remove_all(Project() + "/" + name);
        c.arrange();
        HostModel::OperationLog::Clear();

        const Outcome result = Call(c.request);
        EXPECT_EQ(result.hr, c.hr);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(!HostModel::OperationLog::Find("DocumentManager", "MakeDocumentFolder").empty(), c.folderMade);
        EXPECT_EQ(!Jobs().empty(), c.jobMade);
        // A refused submission still brings the project in step and removes
        // the job folder.
        if (c.folderMade) {
            EXPECT_EQ(Calls({"DocumentManager"}).back(), "DocumentManager.Synchronize");
            EXPECT_EQ(HostModel::OperationLog::Find("DiskManager", "DeleteFolder").size(), 1u);
        }
        // Whatever was made for a run is gone again.
        EXPECT_EQ(ProjectFolders(), std::vector<std::string>{});
    }
}

TEST_F(Requests, RefusalsLeaveTheStructureUnconverted)
{
    // A centred cell in a setting the engine takes only in its primitive form
    // (the rock salt group with a shifted origin).
    document = AddDocument("shifted", [] {
        auto model = RockSalt();
        model->SetSymmetry(HostModel::Symmetry::FromHall("-F 4 2 3 (1 1 1)"));
        return *model;
    }());
    ASSERT_TRUE(Model(document)->NeedsPrimitiveConversion());

    // A Fit on a standard library.
    const std::string standard = folder.File("core/Resources/Virakon/ZELM");
    std::filesystem::create_directories(standard);
    QzTest::WriteFile(standard + "/stdions.lib", DeckTest::RockSaltLibrary());
    Set("ZelmLogic", "library", "stdions");
    Set("ZelmLogic", "Task", int32_t(4));
    Outcome result = Call([&] { return JobFiles()->ExportFiles(Contents(document).get()); });
    EXPECT_EQ(result.hr, E_UNEXPECTED);
    EXPECT_EQ(result.message, "\nCannot run or save files for a Fit Forcefield task when using a standard library.");
    EXPECT_TRUE(Model(document)->NeedsPrimitiveConversion());

    // A structure outside the project.
    Set("ZelmLogic", "library", "rocksalt");
    Set("ZelmLogic", "Task", int32_t(2));
    std::filesystem::create_directories(folder.File("outside"));
    const std::string outsidePath = folder.File("outside/rocksalt.qsd");
    HostModel::SaveQsd(*Model(document), outsidePath);
    const KelvComPtr<ISBDocumentRoot> outside = host->Documents().Open(outsidePath);
    ASSERT_TRUE(Model(outside)->NeedsPrimitiveConversion());
    result = Call([&] { return Zelm()->Run(Contents(outside).get()); });
    EXPECT_EQ(result.hr, E_UNEXPECTED);
    EXPECT_EQ(result.message, "Files must be saved within a project folder.");
    EXPECT_TRUE(Model(outside)->NeedsPrimitiveConversion());
    EXPECT_TRUE(HostModel::OperationLog::Find("DocumentManager", "MakeDocumentFolder").empty());

    // Accepted, the structure is converted before its deck is written.
    result = Call([&] { return JobFiles()->ExportFiles(Contents(document).get()); });
    EXPECT_EQ(result.hr, S_OK) << result.message;
    EXPECT_FALSE(Model(document)->NeedsPrimitiveConversion());
}

TEST_F(Requests, SubmissionRefusesAJobItCannotMakeOrADeckThatIsNone)
{
    // No job manager: a logic object without the application.
    const KelvComPtr<IZelm> loose = LooseLogic();
    try {
        static_cast<CZelm*>(loose.get())->CreateJob("ZELM");
        ADD_FAILURE() << "a job without a job manager";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_EQ(error.GetMessage(), "Can not create job. Unable to access Job Manager.");
    }

    // A deck whose name is not a deck's: the job is made, described and
    // given its handler, then refused and never started.
    ASSERT_EQ(JobFiles()->ExportFiles(Contents(document).get()), S_OK);
    const std::string jobFolder = Project() + "/rocksalt ZELM GeomOpt/";
    std::filesystem::copy_file(jobFolder + "rocksalt.gin", jobFolder + "rocksalt.txt");
    const Outcome result = Call([&] {
        return Logic()->SubmitJob(Contents(document).get(), KelvBSTR(jobFolder).Get(), KelvBSTR("rocksalt.txt").Get());
    });
    EXPECT_EQ(result.hr, E_UNEXPECTED);
    EXPECT_EQ(result.message, "ZELM input file not found.");
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front()->Stage(), QzHost::JobStage::Created);
    EXPECT_EQ(Jobs().front()->NotificationHandler(), "ModuleManager!QorZelm.Extension!QMJobHandler");
    EXPECT_TRUE(Jobs().front()->Items().empty());
}
