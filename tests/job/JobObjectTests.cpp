// The job object on the in-memory host: its class, the live-update policy
// and the order of what it does with intermediate results.

#include "JobHost.h"

using namespace JobTest;

namespace {

class JobObject : public JobHost {
protected:
    void SetFlags(bool model, bool graphs, bool text)
    {
        const auto state = host->State("QMJobTemplate");
        state->SetValue("LiveUpdateModel", KelvVariant(model).Get());
        state->SetValue("LiveUpdateGraphs", KelvVariant(graphs).Get());
        state->SetValue("LiveUpdateText", KelvVariant(text).Get());
    }
    void SetLogicTask(long task) { host->State("ZelmLogic")->SetValue("Task", KelvVariant(static_cast<LONG>(task)).Get()); }
};

TEST_F(JobObject, ClassFactoryMakesItAndItsInterfacesHoldTogether)
{
    KelvComPtr<IUnknown> object;
    ASSERT_EQ(S_OK, CoCreateInstance(QorZelm::CLSID_ZelmJob, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     object.ReceiveVoid()));
    const auto events = object.TryQueryInterface<ISBManagedJobEvents>();
    const auto logic = object.TryQueryInterface<ISBLogic>();
    const auto errors = object.TryQueryInterface<ISupportErrorInfo>();
    ASSERT_TRUE(events && logic && errors);
    EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(IID_ISBManagedJobEvents));
    EXPECT_EQ(S_FALSE, errors->InterfaceSupportsErrorInfo(IID_ISBManagedJobFiles));
    EXPECT_EQ(S_OK, events->OnJobPrepareComplete(VARIANT_TRUE));
    // Events before an attachment fail with the job object's identity.
    EXPECT_EQ(E_UNEXPECTED, events->OnJobComplete());
    EXPECT_TRUE(QzTest::TakeErrorInfo().guid == IID_ISBManagedJobEvents);
}

TEST_F(JobObject, PolicyFollowsTheJobsTaskAndTheTemplateFlags)
{
    struct Row {
        const char* task;
        bool model, graphs, text;
        int policy;
    };
    const Row rows[] = {
        {"GeomOpt", true, true, true, 7},     {"GeomOpt", false, false, false, 0}, {"Dynamics", true, false, true, 5},
        {"Energy", false, true, false, 2},    {"Surface", true, false, false, 4},  {"Fit", true, true, true, 0},
    };
    for (const Row& row : rows) {
        MakeJob(row.task, {});
        SetFlags(row.model, row.graphs, row.text);
        // The task chosen in the logic since submission does not count.
        SetLogicTask(std::string(row.task) == "Fit" ? 2 : 4);
        ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
        ASSERT_EQ(S_OK, Events()->OnJobStart()) << QzTest::LastErrorText();
        EXPECT_EQ(row.policy, Job().JobHandler().GetLiveUpdatesPolicy()) << row.task << row.model << row.graphs << row.text;
        EXPECT_EQ(CJobHandlerUtility::Stage::Started, Job().JobHandler().GetStage());
        EXPECT_FALSE(Job().HasLiveUpdater()) << "job start makes no live updater";
        ReleaseJobObject();
    }
}

TEST_F(JobObject, FailingStateReadFailsTheStartBeforeTheHandler)
{
    MakeJob("GeomOpt", {});
    ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
    host->Extension(QzHost::ModuleExtensionName)->RemoveLogic("ZelmLogic");
    EXPECT_TRUE(FAILED(Events()->OnJobStart()));
    EXPECT_EQ(CJobHandlerUtility::Stage::Attached, Job().JobHandler().GetStage());
    EXPECT_EQ((std::vector<std::string>{"OnAttach"}), Job().JobHandler().Journal());
}

TEST_F(JobObject, IntermediateFileIsDownloadedUpdatedForwardedAndDeleted)
{
    const std::string summary = folder.Write("work/rocksalt.summary", "Step 1 of 5: 1 \xC5\n");
    MakeJob("GeomOpt", {summary});
    ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
    ASSERT_EQ(S_OK, Events()->OnJobStart());
    EXPECT_FALSE(Job().HasLiveUpdater());

    const std::string remote = Server("rocksalt.summary");
    ASSERT_EQ(S_OK, Events()->OnIntermediateFileResult(KelvBSTR(remote).Get())) << QzTest::LastErrorText();
    EXPECT_TRUE(Job().HasLiveUpdater());
    ASSERT_EQ(S_OK, Events()->OnIntermediateDataResult(KelvBSTR("cycle 3").Get()));

    const std::vector<std::string> journal = Job().JobHandler().Journal();
    ASSERT_EQ(8u, journal.size());
    const std::string local = journal[5].substr(std::string("DeleteFile ").size());
    EXPECT_EQ((std::vector<std::string>{"OnAttach", "OnJobStart", "DownloadFile " + remote, "Update Summary",
                                        "OnIntermediateFileResult " + remote, "DeleteFile " + local, "Data cycle 3",
                                        "OnIntermediateDataResult cycle 3"}),
              journal);
    EXPECT_NE(remote, local);
    EXPECT_FALSE(fs::exists(local));
    EXPECT_EQ("Step 1 of 5: 1 \xC5\n", QzTest::ReadFile(Results() + "Status.txt")) << "byte for byte";
}

TEST_F(JobObject, FailedUpdateIsReturnedAndLeavesNoCopy)
{
    const std::string history = folder.Write("work/rocksalt.geomopt", "Tolerances only\n1.0 2.0\n");
    MakeJob("GeomOpt", {history});
    ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
    ASSERT_EQ(S_OK, Events()->OnJobStart());
    const std::string remote = Server("rocksalt.geomopt");
    EXPECT_TRUE(FAILED(Events()->OnIntermediateFileResult(KelvBSTR(remote).Get())));
    EXPECT_NE(std::string(), QzTest::TakeErrorInfo().description);
    const std::vector<std::string> journal = Job().JobHandler().Journal();
    ASSERT_EQ(4u, journal.size());
    EXPECT_EQ("DownloadFile " + remote, journal[2]);
    EXPECT_EQ(0u, journal[3].find("DeleteFile ")) << "the handler is not told, the copy goes";
    EXPECT_FALSE(fs::exists(journal[3].substr(std::string("DeleteFile ").size())));
    EXPECT_TRUE(fs::exists(remote));
}

} // namespace
