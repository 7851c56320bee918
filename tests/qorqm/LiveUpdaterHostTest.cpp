// The job handler and the live-updater base over the in-memory host: a
// started job of the job manager, documents found or made in its results
// folder and the policy by document kind.

#include "qorqm/CJobHandlerUtility.h"
#include "qorqm/CLiveUpdaterBase.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/UpdateUtilities.h"

#include "HostTestSupport.h"


#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace HostTest;
namespace fs = std::filesystem;

namespace {

// Three items of the three document kinds, recording what the base asks.
class RecordingUpdater : public CLiveUpdaterBase {
public:
    using CLiveUpdaterBase::CLiveUpdaterBase;
    std::vector<std::string> calls;

protected:
    void SetName(const KelvBSTR& path) override { m_file = path; }
    bool MatchesItem(const std::string& name) override
    {
        calls.push_back("match " + name);
        static const std::map<std::string, std::string> extensions{
            {"Summary", ".summary"}, {"Chart", ".geomopt"}, {"Model", ".arc"}};
        return PathUtilities::MatchesExtension(m_file.ToTString(), extensions.at(name));
    }
    void CreateItemDocument(const std::string& name, ISBDocumentRoot*) override { calls.push_back("create " + name); }
    void UpdateItem(const std::string& name, ISBDocumentRoot* document) override
    {
        calls.push_back("update " + name);
        if (name == "Summary")
            UpdateUtilities::SetTextDocumentContentFromFile(ContainerRoot().DocumentManager().get(), m_file, document);
    }
    const LiveUpdateItem* GetItem(int index) const override
    {
        static const LiveUpdateItem items[] = {{"Summary", "SDDocuments.TextDocument", "Status"},
                                               {"Chart", "SDDocuments.Chart2dDocument", "%JOB_PREFIX% Energies"},
                                               {"Model", "SDDocuments.Atomistic3dDocument", "%JOB_PREFIX%"}};
        return &items[index];
    }
    int GetItemCount() const override { return 3; }

private:
    KelvBSTR m_file;
};

class LiveUpdaterOverHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        QzHost::HostConfiguration configuration = ProjectIn(folder);
        configuration.connectModuleLogics = false;
        app = std::make_unique<QzHost::HostApplication>(configuration);
        // The staged structure (the live model's copy is tested with the job).
        const std::string staged = folder.Write("job/slab.qsd", ReadFile(std::string(QZ_TEST_DATA) + "/../../examples/slab.qsd"));
        KelvComPtr<ISBJobManager> manager;
        ASSERT_EQ(S_OK, app->Root()->get_JobManager(manager.Receive()));
        ASSERT_EQ(S_OK, manager->CreateManagedJob(Text("ZELM"), KelvVariant().Get(), KelvVariant().Get(), job.Receive()));
        job->put_TaskTypeDescription(Text("GeomOpt"));
        job->put_TaskPrefix(Text("slab"));
        ASSERT_EQ(S_OK, job->AddFileTransferItem(Text(staged), 0x20, 0x44, KelvVariant().Get(), KelvVariant().Get(),
                                                 KelvVariant().Get(), KelvVariant().Get(), nullptr));
        ASSERT_EQ(S_OK, job->Start());
        handler.Initialize(app->Root());
        handler.OnAttach(job.get());
        results = handler.GetResultsFolder().ToTString();
    }
    std::string File(const std::string& name, const std::string& text) { return folder.Write("engine/" + name, text); }

    TempFolder folder;
    std::unique_ptr<QzHost::HostApplication> app;
    KelvComPtr<ISBManagedJob> job;
    CJobHandlerUtility handler;
    std::string results;
};

TEST_F(LiveUpdaterOverHost, HandlerCopiesShareTheJobAndItsFolders)
{
    CJobHandlerUtility copy = handler;
    copy.SetLiveUpdatesPolicy(CJobHandlerUtility::LiveUpdatesGraphs);
    EXPECT_EQ(CJobHandlerUtility::LiveUpdatesGraphs, handler.GetLiveUpdatesPolicy());
    EXPECT_EQ('/', results.back());
    EXPECT_EQ("slab", copy.GetTaskPrefix().ToTString());
    EXPECT_EQ("GeomOpt", copy.GetTaskTypeDescription().ToTString());

    const KelvBSTR local = handler.DownloadFile(Text("slab.qsd"));
    EXPECT_TRUE(fs::exists(local.ToTString()));
    handler.DeleteFile(local.Get());
    EXPECT_FALSE(fs::exists(local.ToTString()));
    handler.DeleteFile(local.Get()); // a missing copy is no error
    EXPECT_EQ((std::vector<std::string>{"OnAttach", "DownloadFile slab.qsd", "DeleteFile " + local.ToTString(),
                                        "DeleteFile " + local.ToTString()}),
              copy.Journal());

    CJobHandlerUtility detached;
    EXPECT_THROW(detached.GetResultsFolder(), KelvResult);
    EXPECT_THROW(detached.DownloadFile(Text("slab.qsd")), KelvResult);
}

TEST_F(LiveUpdaterOverHost, PolicyServesItemsByDocumentKind)
{
    EXPECT_EQ("slab Energies", CLiveUpdaterBase::ExpandTitle("%JOB_PREFIX% Energies", "slab"));
    EXPECT_EQ("a b a", CLiveUpdaterBase::ExpandTitle("%JOB_PREFIX% b %JOB_PREFIX%", "a"));
    const std::string summary = File("slab-step1.summary", "Step 1\n");
    const std::string history = File("slab-step1.geomopt", "Tolerances e:1 g:2\n");

    handler.SetLiveUpdatesPolicy(static_cast<CJobHandlerUtility::LiveUpdatesType>(5));
    RecordingUpdater updater(handler);
    updater.UpdateFromFileResult(KelvBSTR(history));
    // The chart is not served under text and model: not even matched.
    EXPECT_EQ((std::vector<std::string>{"match Summary", "match Model"}), updater.calls);
    EXPECT_FALSE(fs::exists(results + "slab Energies.qcd"));

    updater.calls.clear();
    updater.UpdateFromFileResult(KelvBSTR(summary));
    File("slab-step1.summary", "Step 2\n");
    updater.UpdateFromFileResult(KelvBSTR(summary));
    EXPECT_EQ((std::vector<std::string>{"match Summary", "create Summary", "update Summary", "match Model",
                                        "match Summary", "update Summary", "match Model"}),
              updater.calls);
    // Saved after each update, in the results folder under its title.
    EXPECT_EQ("Step 2\n", ReadFile(results + "Status.txt"));

    handler.SetLiveUpdatesPolicy(CJobHandlerUtility::LiveUpdatesGraphs);
    updater.calls.clear();
    updater.UpdateFromFileResult(KelvBSTR(history));
    EXPECT_EQ((std::vector<std::string>{"match Chart", "create Chart", "update Chart"}), updater.calls);
    EXPECT_TRUE(fs::exists(results + "slab Energies.qcd"));
}

} // namespace
