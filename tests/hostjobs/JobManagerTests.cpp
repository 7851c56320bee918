// The job manager: a job configured as the module configures one, staged
// by its upload policies, delivered to a job object (a fake of the
// module's) by its download policies, and the operation log of that life.

#include "HostTestSupport.h"

#include "kelv/KelvLogicImpl.h"
#include "qorqm/PathUtilities.h"

#include <filesystem>

using namespace HostTest;
using namespace QzHost;

namespace fs = std::filesystem;

namespace {

constexpr CLSID CLSID_FakeJob = HostApi::MakeGuid("A7C3B2D1-0000-4000-8000-00000000E401");
constexpr const char* Moniker = "ModuleManager!QorZelm.Extension!QMJobHandler";

// What the fake job object saw.
struct JobSeen {
    std::vector<std::string> events;
    std::string instance;
    bool connectedToRoot = false;
    int shutdowns = 0;
    std::string description;
    std::string resultsFolder;
    std::vector<std::string> resultsAtCompletion;
    std::vector<std::string> intermediatePaths;
    std::vector<std::string> downloadedCopies; // their contents
};
JobSeen g_job;

// A job object as the module's: a logic connected by the host, taking the
// job's events and asking the job for its folder and downloads.
class FakeJob : public CKelvLogicImpl, public IKelvDispatchImpl<ISBManagedJobEvents> {
public:
    FakeJob() : CKelvLogicImpl(CLSID_FakeJob) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBManagedJobEvents)
            return FinishQI(static_cast<ISBManagedJobEvents*>(this), out);
        return CKelvLogicImpl::DelegatedQueryInterface(iid, out);
    }
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override
    {
        return ConnectLogic(extension, instanceData);
    }
    HRESULT InitialiseOnConnect() override
    {
        g_job.instance = InstanceData().String();
        g_job.connectedToRoot = HasContainerRoot();
        return S_OK;
    }
    HRESULT Shutdown() override
    {
        ++g_job.shutdowns;
        return S_OK;
    }

    HRESULT OnAttach(ISBManagedJob* job) override
    {
        g_job.events.push_back("OnAttach");
        m_job = KelvComPtr<ISBManagedJob>(job);
        return S_OK;
    }
    HRESULT OnDetach() override
    {
        g_job.events.push_back("OnDetach");
        m_job.Release();
        return S_OK;
    }
    HRESULT OnJobStart() override
    {
        g_job.events.push_back("OnJobStart");
        return S_OK;
    }
    HRESULT OnJobComplete() override
    {
        g_job.events.push_back("OnJobComplete");
        return Kelv::ComMethod(CLSID_FakeJob, IID_ISBManagedJobEvents, [&] {
            KelvBSTR description, folder;
            KelvResult::Check(m_job->get_TaskTypeDescription(description.Receive()));
            KelvResult::Check(m_job->get_ResultsFolder(folder.Receive()));
            g_job.description = description.ToTString();
            g_job.resultsFolder = folder.ToTString();
            for (const auto& entry : fs::directory_iterator(g_job.resultsFolder))
                g_job.resultsAtCompletion.push_back(entry.path().filename().string());
            std::sort(g_job.resultsAtCompletion.begin(), g_job.resultsAtCompletion.end());
            if (g_job.description == "Fail")
                throw KelvResult(E_UNEXPECTED, "Result import failed");
        });
    }
    HRESULT OnIntermediateFileResult(BSTR path) override
    {
        g_job.events.push_back("OnIntermediateFileResult");
        return Kelv::ComMethod(CLSID_FakeJob, IID_ISBManagedJobEvents, [&] {
            g_job.intermediatePaths.push_back(NarrowFromBSTR(path));
            KelvBSTR local;
            KelvResult::Check(m_job->DownloadFile(path, local.Receive()));
            g_job.downloadedCopies.push_back(Read(local.ToTString()));
            fs::remove(local.ToTString());
        });
    }
    HRESULT OnIntermediateDataResult(BSTR) override
    {
        g_job.events.push_back("OnIntermediateDataResult");
        return S_OK;
    }
    HRESULT OnJobPrepareComplete(VARIANT_BOOL) override { return S_OK; }
    HRESULT OnJobDisconnect() override { return S_OK; }
    HRESULT OnJobReconnect() override { return S_OK; }

private:
    KelvComPtr<ISBManagedJob> m_job;
};

// A project with a saved deck and its side files, as the module leaves them
// in its job folder before it submits.
struct Submission {
    TempFolder folder;
    HostApplication app;
    std::string jobFolder;
    std::string library;
    KelvComPtr<ISBJobManager> jobs;

    // `engine`: the command of the server program "ZELM" ("" for none).
    explicit Submission(const std::string& engine = std::string()) : app(Configuration(folder, engine))
    {
        jobFolder = app.DocumentsFolder() + "/Quartz ZELM GeomOptZELM";
        library = folder.Write("libraries/marvik.lib", "species\n");
        folder.Write("project/Quartz ZELM GeomOptZELM/Quartz.gin", "opti conp\n");
        folder.Write("project/Quartz ZELM GeomOptZELM/Quartz.qsd", "{}");
        folder.Write("project/Quartz ZELM GeomOptZELM/Quartz.trjaux", "atoms\n");
        folder.Write("project/Quartz ZELM GeomOptZELM/selectedLibrary.libaux", "marvik\nStandardLibrary\n");
        EXPECT_EQ(S_OK, app.Root()->get_JobManager(jobs.Receive()));
    }
    static HostConfiguration Configuration(const TempFolder& folder, const std::string& engine)
    {
        HostConfiguration configuration = ProjectIn(folder);
        if (!engine.empty())
            configuration.serverCommands["ZELM"] = engine;
        return configuration;
    }

    std::string In(const std::string& name) const { return jobFolder + "/" + name; }

    // The calls the module makes to configure a GeomOpt job for "Quartz".
    KelvComPtr<ISBManagedJob> Configure()
    {
        KelvComPtr<ISBManagedJob> job;
        KelvComPtr<HostState> jobTemplate = app.State("QMJobTemplate");
        KelvVariant templateState(static_cast<IDispatch*>(static_cast<ISBState*>(jobTemplate.get())));
        EXPECT_EQ(S_OK, jobs->CreateManagedJob(Text("ZELM"), templateState.Get(), KelvVariant().Get(), job.Receive()));
        EXPECT_EQ(S_OK, job->put_TaskOriginator(Text("ZELM")));
        EXPECT_EQ(S_OK, job->put_TaskTypeDescription(Text("GeomOpt")));
        EXPECT_EQ(S_OK, job->put_TaskPrefix(Text("Quartz")));
        EXPECT_EQ(S_OK, job->AddServerCommandItem(Text("UpdateInterval"), Text("30")));
        EXPECT_EQ(S_OK, job->RegisterNotificationHandler(Text(Moniker)));
        const KelvVariant none;
        const auto add = [&](const std::string& path, LONG upload, LONG download, const KelvVariant& id = KelvVariant()) {
            EXPECT_EQ(S_OK, job->AddFileTransferItem(Text(path), upload, download, id.Get(), none.Get(), none.Get(),
                                                     none.Get(), nullptr));
        };
        add(In("Quartz.gin"), 0x31, 0, KelvVariant("Quartz"));
        EXPECT_EQ(S_OK, job->AddServerCommandItem(Text("SeedName"), Text("Quartz")));
        add(library, 0x11, 0);
        add(In("Quartz.qsd"), 0x20, 0x44);
        add(In("Quartz.qsd"), 0x20, 0);
        for (const char* output : {"Quartz.frc", "Quartz.osc", "Quartz.dens", "Quartz.disp", "Quartz.trg", "Quartz.pre"})
            add(In(output), 0x10, 0x83);
        add(In("Quartz.trjaux"), 0x70, 0x83);
        add(In("selectedLibrary.libaux"), 0x70, 0x83);
        add(In("Quartz.arc"), 0x10, 0x83);
        add(In("Quartz.res"), 0x10, 0x83);
        add(In("Quartz.gout"), 0x10, 0x05);
        return job;
    }

    ManagedJob& Host(ISBManagedJob* job) const { return *dynamic_cast<ManagedJob*>(job); }

    // What the engine writes.
    std::string Outputs() const
    {
        folder.Write("outputs/Quartz.gout", "final energy\n");
        folder.Write("outputs/Quartz.arc", "frames\n");
        folder.Write("outputs/Quartz.geomopt", "step 1\n");
        return folder / "outputs";
    }
};

std::vector<std::string> Files(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file())
            names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> LogOfServices(const std::vector<std::string>& services)
{
    std::vector<std::string> lines;
    for (const auto& entry : HostModel::OperationLog::Entries()) {
        if (std::find(services.begin(), services.end(), entry.service) == services.end())
            continue;
        std::string line = entry.service + "." + entry.call + "(";
        for (std::size_t i = 0; i < entry.arguments.size(); ++i)
            line += (i ? ", " : "") + entry.arguments[i];
        lines.push_back(line + ")");
    }
    return lines;
}

} // namespace

TEST(JobManager, StartStagesTheUploadFilesAndNothingElse)
{
    Submission s;
    KelvComPtr<ISBManagedJob> job = s.Configure();
    ASSERT_EQ(S_OK, job->Start()) << LastErrorText();
    ManagedJob& staged = s.Host(job.get());
    EXPECT_EQ(JobStage::Started, staged.Stage());
    // Engine inputs (0x01), copies (0x20) and side files (0x40) go; outputs
    // the engine will write (0x10 alone) do not.
    EXPECT_EQ((std::vector<std::string>{"Quartz.gin", "Quartz.qsd", "Quartz.trjaux", "marvik.lib",
                                        "selectedLibrary.libaux"}),
              Files(staged.ServerFolder()));
    EXPECT_TRUE(HostPaths::IsInside(s.app.ServerFolder(), staged.ServerFolder()));
    OutText results;
    ASSERT_EQ(S_OK, job->get_ResultsFolder(&results));
    EXPECT_EQ(s.app.DocumentsFolder() + "/Quartz ZELM GeomOpt/", results.str());
    EXPECT_TRUE(fs::is_directory(results.str()));

    // The module deletes its job folder right after; the staged copy stays.
    fs::remove_all(s.jobFolder);
    EXPECT_EQ("opti conp\n", Read(staged.ServerFolder() + "/Quartz.gin"));

    // A started job keeps its settings.
    EXPECT_EQ(E_UNEXPECTED, job->put_TaskPrefix(Text("Other")));
    EXPECT_EQ(E_UNEXPECTED, job->Start());
    EXPECT_EQ("Quartz", staged.Prefix());
}

TEST(JobManager, JobKeepsWhatTheModuleGaveInOrder)
{
    Submission s;
    KelvComPtr<ISBManagedJob> job = s.Configure();
    ManagedJob& held = s.Host(job.get());
    EXPECT_EQ("ZELM", held.ServerName());
    EXPECT_EQ("ZELM", held.Originator());
    EXPECT_EQ("GeomOpt", held.TaskDescription());
    EXPECT_EQ(Moniker, held.NotificationHandler());
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"UpdateInterval", "30"}, {"SeedName", "Quartz"}}),
              held.CommandItems());
    ASSERT_EQ(15u, held.Items().size());
    EXPECT_EQ(s.In("Quartz.gin"), held.Items()[0]->Descriptor());
    EXPECT_EQ(0x31, held.Items()[0]->UploadPolicy());
    EXPECT_EQ("Quartz", held.Items()[0]->Identifier().String());
    EXPECT_EQ(0x44, held.Items()[2]->DownloadPolicy());
    EXPECT_EQ(0, held.Items()[3]->DownloadPolicy());
    EXPECT_EQ(0x05, held.Items()[14]->DownloadPolicy());
    EXPECT_TRUE(held.Items()[1]->Identifier().IsEmpty());
    // The template's settings as they were when the job was made.
    EXPECT_EQ(true, held.TemplateValues()["LiveUpdateModel"]);
    EXPECT_EQ(Identity(held.TemplateState()), Identity(static_cast<ISBState*>(s.app.State("QMJobTemplate").get())));
    KelvComPtr<ISBScope> scope;
    EXPECT_EQ(S_FALSE, job->get_Scope(scope.Receive()));
    EXPECT_FALSE(scope);
}

TEST(JobManager, DeliveryPlaysTheJobsLifeAndBringsBackTheDownloadFiles)
{
    Submission s;
    ClassRegistration<FakeJob> registration("QorZelm.ZelmJob", CLSID_FakeJob);
    g_job = JobSeen();
    KelvComPtr<ISBManagedJob> job = s.Configure();
    ASSERT_EQ(S_OK, job->Start()) << LastErrorText();
    fs::remove_all(s.jobFolder);
    ManagedJob& held = s.Host(job.get());

    DeliveryRequest request;
    request.outputsFolder = s.Outputs();
    request.intermediateFiles = {"Quartz.geomopt"};
    request.intermediateData = {"step 1 done"};
    const DeliveryReport report = s.app.Jobs().Deliver(held, request);

    EXPECT_TRUE(report.Succeeded()) << (report.failures.empty() ? "" : report.failures[0]);
    EXPECT_EQ((std::vector<std::string>{"OnAttach", "OnJobStart", "OnIntermediateFileResult", "OnIntermediateDataResult",
                                        "OnJobComplete", "OnDetach"}),
              g_job.events);
    // Connected like a logic of the extension, and disconnected afterwards.
    EXPECT_EQ("QMJobHandler", g_job.instance);
    EXPECT_TRUE(g_job.connectedToRoot);
    EXPECT_EQ(1, g_job.shutdowns);
    EXPECT_EQ(4u, s.app.Extension("QorZelm.Extension")->LogicNames().size());
    // The intermediate file as the server has it, and a readable local copy.
    ASSERT_EQ(1u, g_job.intermediatePaths.size());
    EXPECT_EQ(held.ServerFolder() + "/Quartz.geomopt", g_job.intermediatePaths[0]);
    EXPECT_EQ((std::vector<std::string>{"step 1\n"}), g_job.downloadedCopies);
    // At completion the results folder holds every download-policy file the
    // server had, under its own name; the deck and library (download 0) stay.
    // The note of the process that follows the job stays until the
    // completion has been handed over, and goes then.
    EXPECT_EQ("GeomOpt", g_job.description);
    EXPECT_EQ((std::vector<std::string>{".job-driver", "Quartz.arc", "Quartz.gout", "Quartz.qsd", "Quartz.trjaux",
                                        "selectedLibrary.libaux"}),
              g_job.resultsAtCompletion);
    EXPECT_FALSE(fs::exists(g_job.resultsFolder + ".job-driver"));
    EXPECT_EQ("final energy\n", Read(g_job.resultsFolder + "Quartz.gout"));
    EXPECT_EQ((std::vector<std::string>{"Quartz.frc", "Quartz.osc", "Quartz.dens", "Quartz.disp", "Quartz.trg",
                                        "Quartz.pre", "Quartz.res"}),
              report.missing);
    EXPECT_EQ(JobStage::Completed, held.Stage());
    EXPECT_THROW(s.app.Jobs().Deliver(held, DeliveryRequest()), KelvResult);
}

TEST(JobManager, OperationLogOfAWholeLife)
{
    Submission s;
    ClassRegistration<FakeJob> registration("QorZelm.ZelmJob", CLSID_FakeJob);
    g_job = JobSeen();
    HostModel::OperationLog::Clear();
    KelvComPtr<ISBManagedJob> job = s.Configure();
    ASSERT_EQ(S_OK, job->Start());
    DeliveryRequest request;
    request.outputsFolder = s.Outputs();
    request.intermediateFiles = {"Quartz.geomopt"};
    s.app.Jobs().Deliver(s.Host(job.get()), request);

    const std::string server = s.Host(job.get()).ServerFolder();
    const std::string results = s.Host(job.get()).ResultsFolder();
    const auto fti = [&](const std::string& file, const char* up, const char* down, const char* id = "empty") {
        return "ManagedJob.AddFileTransferItem(\"" + file + "\", " + up + ", " + down + ", " + id +
               ", empty, empty, empty)";
    };
    const std::vector<std::string> expected{
        "JobManager.CreateManagedJob(\"ZELM\", state of \"QMJobTemplate\", empty)",
        "ManagedJob.put_TaskOriginator(\"ZELM\")",
        "ManagedJob.put_TaskTypeDescription(\"GeomOpt\")",
        "ManagedJob.put_TaskPrefix(\"Quartz\")",
        "ManagedJob.AddServerCommandItem(\"UpdateInterval\", \"30\")",
        "ManagedJob.RegisterNotificationHandler(\"" + std::string(Moniker) + "\")",
        fti(s.In("Quartz.gin"), "0x31", "0x0", "\"Quartz\""),
        "ManagedJob.AddServerCommandItem(\"SeedName\", \"Quartz\")",
        fti(s.library, "0x11", "0x0"),
        fti(s.In("Quartz.qsd"), "0x20", "0x44"),
        fti(s.In("Quartz.qsd"), "0x20", "0x0"),
        fti(s.In("Quartz.frc"), "0x10", "0x83"),
        fti(s.In("Quartz.osc"), "0x10", "0x83"),
        fti(s.In("Quartz.dens"), "0x10", "0x83"),
        fti(s.In("Quartz.disp"), "0x10", "0x83"),
        fti(s.In("Quartz.trg"), "0x10", "0x83"),
        fti(s.In("Quartz.pre"), "0x10", "0x83"),
        fti(s.In("Quartz.trjaux"), "0x70", "0x83"),
        fti(s.In("selectedLibrary.libaux"), "0x70", "0x83"),
        fti(s.In("Quartz.arc"), "0x10", "0x83"),
        fti(s.In("Quartz.res"), "0x10", "0x83"),
        fti(s.In("Quartz.gout"), "0x10", "0x5"),
        "ManagedJob.Start(\"ZELM\", \"Quartz\")",
        "JobManager.Staged(\"" + server + "\", 5, \"" + results + "\")",
        "JobManager.Deliver(\"" + std::string(Moniker) + "\", \"" + s.folder / "outputs" + "\")",
        "JobDelivery.OnAttach(S_OK)",
        "JobDelivery.OnJobStart(S_OK)",
        "ManagedJob.DownloadFile(\"" + server + "/Quartz.geomopt\")",
        "JobDelivery.OnIntermediateFileResult Quartz.geomopt(S_OK)",
        "JobDelivery.Download(\"Quartz.qsd\", 0x44)",
        "JobDelivery.Download(\"Quartz.trjaux\", 0x83)",
        "JobDelivery.Download(\"selectedLibrary.libaux\", 0x83)",
        "JobDelivery.Download(\"Quartz.arc\", 0x83)",
        "JobDelivery.Download(\"Quartz.gout\", 0x5)",
        "JobDelivery.OnJobComplete(S_OK)",
        "JobDelivery.OnDetach(S_OK)",
    };
    EXPECT_EQ(expected, LogOfServices({"JobManager", "ManagedJob", "JobDelivery"}));
}

TEST(JobManager, DeliveryStopsAtStagingWhenTheJobObjectCannotBeMade)
{
    Submission s;
    KelvComPtr<ISBManagedJob> job = s.Configure();
    ASSERT_EQ(S_OK, job->Start());
    ManagedJob& held = s.Host(job.get());
    DeliveryRequest request;
    request.outputsFolder = s.Outputs();
    try {
        s.app.Jobs().Deliver(held, request);
        FAIL() << "delivered without a job object";
    } catch (const KelvResult& error) {
        EXPECT_NE(std::string::npos, error.GetMessage().find("QorZelm.ZelmJob")) << error.GetMessage();
        EXPECT_NE(std::string::npos, error.GetMessage().find("stays staged")) << error.GetMessage();
    }
    EXPECT_EQ(JobStage::Started, held.Stage());
    EXPECT_TRUE(Files(held.ResultsFolder()).empty());

    // Once the class exists the same job can be delivered.
    ClassRegistration<FakeJob> registration("QorZelm.ZelmJob", CLSID_FakeJob);
    g_job = JobSeen();
    EXPECT_TRUE(s.app.Jobs().Deliver(held, request).Succeeded());
    EXPECT_EQ((std::vector<std::string>{"OnAttach", "OnJobStart", "OnJobComplete", "OnDetach"}), g_job.events);
}

TEST(JobManager, FailedEventsAreReportedAndTheJobObjectIsStillDetached)
{
    Submission s;
    ClassRegistration<FakeJob> registration("QorZelm.ZelmJob", CLSID_FakeJob);
    g_job = JobSeen();
    KelvComPtr<ISBManagedJob> job;
    KelvVariant none;
    ASSERT_EQ(S_OK, s.jobs->CreateManagedJob(Text("ZELM"), none.Get(), none.Get(), job.Receive()));
    job->put_TaskTypeDescription(Text("Fail"));
    job->put_TaskPrefix(Text("Quartz"));
    job->RegisterNotificationHandler(Text(Moniker));
    ASSERT_EQ(S_OK, job->Start());
    const DeliveryReport report = s.app.Jobs().Deliver(s.Host(job.get()), DeliveryRequest());
    ASSERT_EQ(1u, report.failures.size());
    EXPECT_EQ("OnJobComplete: Result import failed", report.failures[0]);
    EXPECT_EQ("OnDetach", g_job.events.back());
    EXPECT_EQ(1, g_job.shutdowns);
}

TEST(JobManager, StartRefusesAMissingInputAndStagesNothing)
{
    Submission s;
    KelvComPtr<ISBManagedJob> job = s.Configure();
    fs::remove(s.In("Quartz.trjaux"));
    EXPECT_TRUE(FAILED(job->Start()));
    EXPECT_NE(std::string::npos, LastErrorText().find("Quartz.trjaux"));
    EXPECT_EQ(JobStage::Created, s.Host(job.get()).Stage());
    EXPECT_FALSE(Exists(s.app.ServerFolder()));
    OutText results;
    EXPECT_EQ(E_UNEXPECTED, job->get_ResultsFolder(&results));
}

TEST(JobManager, CreateManagedJobChecksServerTemplateAndGateway)
{
    Submission s;
    KelvComPtr<ISBManagedJob> job;
    const KelvVariant none;
    EXPECT_EQ(E_INVALIDARG, s.jobs->CreateManagedJob(Text("KORVEL"), none.Get(), none.Get(), job.Receive()));
    EXPECT_NE(std::string::npos, LastErrorText().find("KORVEL"));
    KelvComPtr<IUnknown> notAState = KelvComPtr<IUnknown>::Adopt((new CKelvUnknown())->ControllingUnknown());
    EXPECT_EQ(E_INVALIDARG, s.jobs->CreateManagedJob(Text("ZELM"), KelvVariant(notAState.get()).Get(), none.Get(),
                                                     job.Receive()));
    EXPECT_EQ(E_INVALIDARG, s.jobs->CreateManagedJob(Text("ZELM"), none.Get(), KelvVariant(3).Get(), job.Receive()));
    ASSERT_EQ(S_OK, s.jobs->CreateManagedJob(Text("ZELM"), none.Get(), KelvVariant("cluster").Get(), job.Receive()));
    EXPECT_EQ("cluster", s.Host(job.get()).Gateway());
    OutText safe;
    ASSERT_EQ(S_OK, job->MakeSafeName(Text("Quartz (1 0 4)"), &safe));
    EXPECT_EQ("Quartz _1 0 4_", safe.str());
    // The disk manager's rule with both flags false: a parent-folder name
    // never survives.
    for (const char* name : {"..", "../up", "a\\b"}) {
        OutText jobSafe;
        ASSERT_EQ(S_OK, job->MakeSafeName(Text(name), &jobSafe));
        OutText diskSafe;
        ASSERT_EQ(S_OK, s.app.Disk().MakeSafeFileName(Text(name), VARIANT_FALSE, VARIANT_FALSE, &diskSafe));
        EXPECT_EQ(diskSafe.str(), jobSafe.str()) << name;
        EXPECT_EQ(std::string::npos, jobSafe.str().find_first_of("/\\")) << name;
        EXPECT_NE("..", jobSafe.str());
    }
}

TEST(JobManager, DownloadsComeOnlyFromTheServerFolder)
{
    Submission s;
    KelvComPtr<ISBManagedJob> job = s.Configure();
    OutText local;
    EXPECT_EQ(E_UNEXPECTED, job->DownloadFile(Text("Quartz.gin"), &local));
    ASSERT_EQ(S_OK, job->Start());
    const std::string server = s.Host(job.get()).ServerFolder();
    ASSERT_EQ(S_OK, job->DownloadFile(Text("Quartz.gin"), &local));
    EXPECT_EQ("opti conp\n", Read(local.str()));
    EXPECT_NE(server + "/Quartz.gin", local.str());
    EXPECT_TRUE(PathUtilities::MatchesExtension(local.str(), ".gin"));
    for (const std::string& outside : {server + "/../../Quartz ZELM GeomOptZELM/Quartz.gin", s.library, server,
                                       std::string("..")}) {
        OutText refused;
        EXPECT_EQ(E_ACCESSDENIED, job->DownloadFile(Text(outside), &refused)) << outside;
    }
    OutText missing;
    EXPECT_TRUE(FAILED(job->DownloadFile(Text("Quartz.gout"), &missing)));
}

TEST(JobManager, TheEngineRunsOnlyWhereACommandIsConfigured)
{
    {
        Submission s;
        KelvComPtr<ISBManagedJob> job = s.Configure();
        ASSERT_EQ(S_OK, job->Start());
        try {
            s.app.Jobs().RunServer(s.Host(job.get()));
            FAIL();
        } catch (const KelvResult& error) {
            EXPECT_NE(std::string::npos,
                      error.GetMessage().find("No engine command is configured for the server program \"ZELM\""));
        }
    }
    Submission s("cat %SEED%.gin > %SEED%.gout");
    KelvComPtr<ISBManagedJob> job = s.Configure();
    ASSERT_EQ(S_OK, job->Start());
    s.app.Jobs().RunServer(s.Host(job.get()));
    EXPECT_EQ("opti conp\n", Read(s.Host(job.get()).ServerFolder() + "/Quartz.gout"));

    s.app.Jobs().SetServerCommand("ZELM", "exit 3");
    try {
        s.app.Jobs().RunServer(s.Host(job.get()));
        FAIL();
    } catch (const KelvResult& error) {
        EXPECT_NE(std::string::npos, error.GetMessage().find("status 3")) << error.GetMessage();
    }
}

// The seed is one word of the engine command, whatever it holds, and a seed
// that begins with "-" never reaches the engine as an option.
TEST(JobManager, TheSeedReachesTheEngineAsOneWord)
{
    const struct {
        const char* seed;
        const char* seen;
    } cases[] = {{"Quartz", "[Quartz]"}, {"my crystal", "[my crystal]"}, {"it's (1)", "[it's (1)]"}, {"-v", "[./-v]"}};
    for (const auto& c : cases) {
        Submission s("printf '[%s]' %SEED% > seen.txt");
        KelvComPtr<ISBManagedJob> job;
        const KelvVariant none;
        ASSERT_EQ(S_OK, s.jobs->CreateManagedJob(Text("ZELM"), none.Get(), none.Get(), job.Receive()));
        ASSERT_EQ(S_OK, job->put_TaskPrefix(Text(c.seed)));
        ASSERT_EQ(S_OK, job->AddFileTransferItem(Text(s.In("Quartz.gin")), 0x31, 0, none.Get(), none.Get(),
                                                 none.Get(), none.Get(), nullptr));
        ASSERT_EQ(S_OK, job->Start()) << LastErrorText();
        s.app.Jobs().RunServer(s.Host(job.get()));
        EXPECT_EQ(c.seen, Read(s.Host(job.get()).ServerFolder() + "/seen.txt")) << c.seed;
    }
}

// A command that quotes %SEED% itself keeps its quotes as the only ones:
// the seed reaches the engine unchanged, with no literal quotes added.
TEST(JobManager, TheCommandsOwnQuotesAroundTheSeedStay)
{
    const struct {
        const char* command;
        const char* seed;
        const char* seen;
    } cases[] = {
        {"printf '[%s]' \"%SEED%\" > seen.txt", "Quartz", "[Quartz]"},
        {"printf '[%s]' \"%SEED%.gin\" > seen.txt", "my $crystal \"1\"", "[my $crystal \"1\".gin]"},
        {"printf '[%s]' '%SEED%' > seen.txt", "it's (1)", "[it's (1)]"},
        {"printf '[%s]' \"%SEED%\" > seen.txt", "-v", "[./-v]"},
        {"printf '[%s|%s]' %SEED% \"%SEED%\" > seen.txt", "a b", "[a b|a b]"},
    };
    for (const auto& c : cases) {
        Submission s(c.command);
        KelvComPtr<ISBManagedJob> job;
        const KelvVariant none;
        ASSERT_EQ(S_OK, s.jobs->CreateManagedJob(Text("ZELM"), none.Get(), none.Get(), job.Receive()));
        ASSERT_EQ(S_OK, job->put_TaskPrefix(Text(c.seed)));
        ASSERT_EQ(S_OK, job->AddFileTransferItem(Text(s.In("Quartz.gin")), 0x31, 0, none.Get(), none.Get(),
                                                 none.Get(), none.Get(), nullptr));
        ASSERT_EQ(S_OK, job->Start()) << LastErrorText();
        s.app.Jobs().RunServer(s.Host(job.get()));
        EXPECT_EQ(c.seen, Read(s.Host(job.get()).ServerFolder() + "/seen.txt")) << c.command << " " << c.seed;
    }
}

// ------------------------------------------------------------ engine runs

namespace {

// A started job of `engine` with the fake job object registered.
struct EngineRun {
    explicit EngineRun(const std::string& engine) : s(engine), registration("QorZelm.ZelmJob", CLSID_FakeJob)
    {
        g_job = JobSeen();
        job = s.Configure();
        EXPECT_EQ(S_OK, job->Start()) << LastErrorText();
    }
    ManagedJob& Held() { return s.Host(job.get()); }
    DeliveryReport Run() { return s.app.Jobs().Run(Held()); }

    Submission s;
    ClassRegistration<FakeJob> registration;
    KelvComPtr<ISBManagedJob> job;
};

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "|";
    return text;
}

} // namespace

TEST(JobManagerEngine, AnnouncedResultsReachTheJobObjectWhileTheEngineRuns)
{
    // Each announced snapshot is delivered before the engine goes on: the
    // second write of the file happens after the first was taken.
    EngineRun run("printf 'one\\n' > %SEED%.step1.geomopt; echo '@intermediate-file %SEED%.step1.geomopt';"
                  " echo engine chatter; echo '@intermediate-data half way';"
                  " sleep 0.2; printf 'two\\n' > %SEED%.step1.geomopt; printf 'frames\\n' > %SEED%.arc;"
                  " echo '@intermediate-file '$PWD/%SEED%.arc; echo done >&2");
    const DeliveryReport report = run.Run();
    EXPECT_TRUE(report.Succeeded()) << Joined(report.failures);
    EXPECT_EQ((std::vector<std::string>{"OnAttach", "OnJobStart", "OnIntermediateFileResult",
                                        "OnIntermediateDataResult", "OnIntermediateFileResult", "OnJobComplete",
                                        "OnDetach"}),
              g_job.events);
    const std::string server = run.Held().ServerFolder();
    EXPECT_EQ((std::vector<std::string>{server + "/Quartz.step1.geomopt", server + "/Quartz.arc"}),
              g_job.intermediatePaths);
    EXPECT_EQ((std::vector<std::string>{"one\n", "frames\n"}), g_job.downloadedCopies);
    EXPECT_NE(std::string::npos, report.engine.find("exited with status 0")) << report.engine;
    EXPECT_EQ((std::vector<std::string>{"done"}), report.engineErrors);
    // The engine's archive came home by its download policy before completion.
    EXPECT_NE(std::find(g_job.resultsAtCompletion.begin(), g_job.resultsAtCompletion.end(), "Quartz.arc"),
              g_job.resultsAtCompletion.end());
    EXPECT_EQ(JobStage::Completed, run.Held().Stage());
    // Its results home, the run's engine folder goes.
    EXPECT_FALSE(fs::exists(server)) << server;
}

TEST(JobManagerEngine, FailingEngineIsReportedAndTheJobStillCompletes)
{
    EngineRun run("printf 'partial\\n' > %SEED%.gout; for i in 1 2 3 4 5 6 7 8 9 10 11 12; do echo line $i >&2; done;"
                  " printf 'last words' >&2; exit 3");
    const DeliveryReport report = run.Run();
    ASSERT_EQ(1u, report.failures.size());
    const std::string& failure = report.failures[0];
    EXPECT_EQ(0u, failure.find("Engine: The engine command")) << failure;
    EXPECT_NE(std::string::npos, failure.find("exited with status 3")) << failure;
    // The last ten lines of standard error, the unterminated one included.
    EXPECT_EQ(std::string::npos, failure.find("line 2\n")) << failure;
    EXPECT_NE(std::string::npos, failure.find("line 12\n  last words")) << failure;
    EXPECT_EQ(10u, report.engineErrors.size());
    // Its files still came home and the job object completed and detached.
    EXPECT_EQ("partial\n", Read(run.Held().ResultsFolder() + "/Quartz.gout"));
    EXPECT_EQ((std::vector<std::string>{"OnAttach", "OnJobStart", "OnJobComplete", "OnDetach"}), g_job.events);
    // A failed run's engine folder stays for the user to look into.
    EXPECT_TRUE(fs::is_regular_file(run.Held().ServerFolder() + "/Quartz.gout"));
}

TEST(JobManagerEngine, TimeLimitStopsAHungEngineAndItsChildren)
{
    EngineRun run("printf 'x' > %SEED%.gout; sleep 30 & sleep 30");
    run.s.app.Jobs().SetTimeLimit(0.5);
    const DeliveryReport report = run.Run();
    ASSERT_EQ(1u, report.failures.size());
    EXPECT_NE(std::string::npos, report.failures[0].find("was stopped after the time limit of 0.5 s"))
        << report.failures[0];
    EXPECT_EQ("x", Read(run.Held().ResultsFolder() + "/Quartz.gout"));
    EXPECT_EQ((std::vector<std::string>{"OnAttach", "OnJobStart", "OnJobComplete", "OnDetach"}), g_job.events);
}

TEST(JobManagerEngine, AnnouncementsOutsideTheServerFolderAreRefused)
{
    EngineRun run("echo '@intermediate-file ../../outside.arc'; echo '@intermediate-file missing.arc'");
    const DeliveryReport report = run.Run();
    ASSERT_EQ(2u, report.failures.size()) << Joined(report.failures);
    EXPECT_NE(std::string::npos, report.failures[0].find("\"../../outside.arc\", which is not a file"));
    EXPECT_NE(std::string::npos, report.failures[1].find("\"missing.arc\""));
    EXPECT_TRUE(g_job.intermediatePaths.empty());
}

// The engine runs in the job's server folder, so a relative name it
// announces ("./-rf.arc" of a seed that begins with "-") lies there.
TEST(JobManagerEngine, RelativeAnnouncementsLieInTheServerFolder)
{
    EngineRun run("printf 'frames\\n' > ./-rf.arc; echo '@intermediate-file ./-rf.arc'");
    const DeliveryReport report = run.Run();
    EXPECT_TRUE(report.Succeeded()) << Joined(report.failures);
    EXPECT_EQ((std::vector<std::string>{run.Held().ServerFolder() + "/-rf.arc"}), g_job.intermediatePaths);
    EXPECT_EQ((std::vector<std::string>{"frames\n"}), g_job.downloadedCopies);
}

TEST(JobManagerEngine, NoCommandOrAnUnstartedJobFailsBeforeAnyEvent)
{
    {
        EngineRun run("");
        EXPECT_THROW(run.Run(), KelvResult);
        EXPECT_TRUE(g_job.events.empty());
        EXPECT_EQ(JobStage::Started, run.Held().Stage());
    }
    Submission s("true");
    KelvComPtr<ISBManagedJob> job = s.Configure();
    EXPECT_THROW(s.app.Jobs().Run(s.Host(job.get())), KelvResult);
}
