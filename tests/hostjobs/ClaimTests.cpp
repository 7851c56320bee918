// Several callers that want a folder or file of the same name at the same
// moment (separate hosts over one project, as separate processes are) each
// get one of their own: a job's server and results folders, a document
// folder, a unique copy and a unique rename.

#include "HostTestSupport.h"

#include "host/jobs/JobManager.h"
#include "host/managers/DiskManager.h"
#include "host/managers/DocumentManager.h"
#include "qorqm/PathUtilities.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

using namespace HostTest;
using namespace QzHost;

namespace fs = std::filesystem;

namespace {

constexpr int Claimers = 12;

// A host's context over the project folder.
std::shared_ptr<HostContext> ContextOver(const std::string& project)
{
    auto context = std::make_shared<HostContext>();
    context->documentsFolder = HostPaths::Normal(project);
    context->serverFolder = PathUtilities::Join(context->documentsFolder, ".server");
    return context;
}

// Runs `claim` (caller i, its own context) on Claimers threads released at
// once; the names each claimed.
std::vector<std::vector<std::string>> AtOnce(const std::string& project,
                                             const std::function<std::vector<std::string>(int, std::shared_ptr<HostContext>)>& claim)
{
    std::vector<std::vector<std::string>> claimed(Claimers);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < Claimers; ++i) {
        threads.emplace_back([&, i] {
            const std::shared_ptr<HostContext> context = ContextOver(project);
            ++ready;
            while (!go)
                std::this_thread::yield();
            claimed[static_cast<std::size_t>(i)] = claim(i, context);
        });
    }
    while (ready < Claimers)
        std::this_thread::yield();
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    return claimed;
}

std::string Taken(BSTR text)
{
    const std::string narrow = NarrowFromBSTR(text);
    SysFreeString(text);
    return narrow;
}

struct ClaimCase {
    const char* what;
    std::size_t names; // names each caller claims
    std::function<std::vector<std::string>(int, std::shared_ptr<HostContext>)> claim;
};

TEST(Claims, CallersAtOnceEachGetTheirOwnFolderOrFile)
{
    TempFolder dir;
    const std::string project = dir.Path();
    fs::create_directories(project + "/source");
    dir.Write("source/deck.gin", "opti\n");
    for (int i = 0; i < Claimers; ++i)
        fs::create_directories(project + "/moving/" + std::to_string(i));

    const ClaimCase cases[] = {
        {"a job's server and results folders", 2,
         [](int i, std::shared_ptr<HostContext> context) -> std::vector<std::string> {
             KelvComPtr<ManagedJob> job = KelvComPtr<ManagedJob>::Adopt(new ManagedJob(context, i + 1, "ZELM", {}, ""));
             if (FAILED(job->put_TaskPrefix(KelvBSTR("rs").Get())) ||
                 FAILED(job->put_TaskTypeDescription(KelvBSTR(i % 2 ? "GeomOpt" : "Energy").Get())) ||
                 FAILED(job->Start()))
                 return {};
             return {job->ServerFolder(), job->ResultsFolder()};
         }},
        {"a document folder", 1,
         [&project](int, std::shared_ptr<HostContext> context) -> std::vector<std::string> {
             KelvComPtr<DocumentManager> documents = DocumentManager::Create(context);
             BSTR relative = nullptr;
             if (FAILED(documents->MakeDocumentFolder(KelvBSTR(project + "/rs ZELM Energy").Get(), 0x08, &relative)))
                 return {};
             return {Taken(relative)};
         }},
        {"a unique copy", 1,
         [&project](int, std::shared_ptr<HostContext> context) -> std::vector<std::string> {
             KelvComPtr<DiskManager> disk = DiskManager::Create(context);
             BSTR made = nullptr;
             if (FAILED(disk->CopyFile(KelvBSTR(project + "/source/deck.gin").Get(),
                                       KelvBSTR(project + "/copies/deck.gin").Get(), SBDiskMakeUnique, &made)))
                 return {};
             return {Taken(made)};
         }},
        {"a unique rename of a folder", 1,
         [&project](int i, std::shared_ptr<HostContext> context) -> std::vector<std::string> {
             KelvComPtr<DiskManager> disk = DiskManager::Create(context);
             BSTR made = nullptr;
             if (FAILED(disk->RenameFolder(KelvBSTR(project + "/moving/" + std::to_string(i)).Get(),
                                           KelvBSTR(project + "/moved").Get(), SBDiskMakeUnique, &made)))
                 return {};
             return {Taken(made)};
         }},
    };
    fs::create_directories(project + "/copies");
    for (const ClaimCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto claimed = AtOnce(project, c.claim);
        std::set<std::string> distinct;
        for (int i = 0; i < Claimers; ++i) {
            const auto& names = claimed[static_cast<std::size_t>(i)];
            ASSERT_EQ(c.names, names.size()) << "caller " << i << " failed";
            for (const std::string& name : names) {
                EXPECT_TRUE(distinct.insert(name).second) << name << " was given twice";
                EXPECT_TRUE(fs::exists(name.front() == '.' ? project + name.substr(1) : name)) << name;
            }
        }
    }
    // Every folder that was moved arrived whole under a name of its own.
    std::size_t moved = 0;
    for (const auto& entry : fs::directory_iterator(project)) {
        if (entry.path().filename().string().rfind("moved", 0) == 0)
            ++moved;
    }
    EXPECT_EQ(static_cast<std::size_t>(Claimers), moved);
}

} // namespace
