// The in-memory host with the module's classes served from this test
// program, a job of the host's job manager staged for a structure of the
// project, and the module's job object made as the job manager makes it.
#pragma once

#include "frame/ClassTable.h"
#include "job/ZelmJob.h"
#include "job/ZelmLiveUpdater.h"

#include "host/HostApplication.h"
#include "host/charts/ChartDocument.h"
#include "host/model/CifImport.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"

#include "../deck/DeckHost.h"

#include "common/ErrorInfo.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace JobTest {

namespace fs = std::filesystem;

inline std::string Data(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/" + name;
}
inline std::string Example(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/../../examples/" + name;
}

// The job object and the structure importer served from this program, as
// the deck tests serve the logic object.
class JobClasses {
public:
    JobClasses()
    {
        Register(QorZelm::CLSID_ZelmJob, "QorZelm.ZelmJob");
        Register(QorZelm::CLSID_ZelmStructureImporter, "QorZelm.ZelmStructureImporter");
    }
    ~JobClasses()
    {
        for (const DWORD cookie : m_cookies)
            CoRevokeClassObject(cookie);
    }

private:
    void Register(REFCLSID clsid, const std::string& progId)
    {
        IUnknown* factory = nullptr;
        ASSERT_EQ(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        DWORD cookie = 0;
        EXPECT_EQ(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
        factory->Release();
        m_cookies.push_back(cookie);
        EXPECT_EQ(ComRegistry::RegisterInProcessProgId(progId, clsid), S_OK);
    }
    std::vector<DWORD> m_cookies;
};

inline constexpr const char* Moniker = "ModuleManager!QorZelm.Extension!QMJobHandler";

class JobHost : public testing::Test {
protected:
    void SetUp() override
    {
        configuration.projectFolder = folder.File("project");
        StartHost();
    }
    void TearDown() override
    {
        ReleaseJobObject();
        host.reset();
    }
    void StartHost()
    {
        host.reset();
        try {
            host = std::make_unique<QzHost::HostApplication>(configuration);
        } catch (const KelvResult& error) {
            FAIL() << "host: " << error.GetMessage();
        }
    }

    // A job of `task` for the seed "rocksalt": the staged files (copied to
    // the server) and the outputs that come home afterwards.
    void MakeJob(const std::string& task, const std::vector<std::string>& staged,
                 const std::vector<std::string>& outputs = {})
    {
        KelvComPtr<ISBJobManager> manager;
        ASSERT_EQ(S_OK, host->Root()->get_JobManager(manager.Receive()));
        ASSERT_EQ(S_OK, manager->CreateManagedJob(KelvBSTR("ZELM").Get(), KelvVariant().Get(), KelvVariant().Get(),
                                                  job.Receive()));
        job->put_TaskTypeDescription(KelvBSTR(task).Get());
        job->put_TaskPrefix(KelvBSTR("rocksalt").Get());
        job->AddServerCommandItem(KelvBSTR("SeedName").Get(), KelvBSTR("rocksalt").Get());
        job->RegisterNotificationHandler(KelvBSTR(Moniker).Get());
        const KelvVariant none;
        for (const std::string& file : staged)
            ASSERT_EQ(S_OK, job->AddFileTransferItem(KelvBSTR(file).Get(), 0x20, 0x44, none.Get(), none.Get(),
                                                     none.Get(), none.Get(), nullptr));
        for (const std::string& file : outputs)
            ASSERT_EQ(S_OK, job->AddFileTransferItem(KelvBSTR(file).Get(), 0x10, 0x83, none.Get(), none.Get(),
                                                     none.Get(), none.Get(), nullptr));
        ASSERT_EQ(S_OK, job->Start()) << QzTest::LastErrorText();
    }
    QzHost::ManagedJob& HostJob() const { return *dynamic_cast<QzHost::ManagedJob*>(job.get()); }
    std::string Server(const std::string& name) const { return HostJob().ServerFolder() + "/" + name; }
    std::string Results() const { return HostJob().ResultsFolder() + "/"; }

    // The job object as the job manager makes it: created by the handler's
    // ProgID, held by the module's extension, connected.
    ISBManagedJobEvents* Events()
    {
        if (!events) {
            handler = host->Modules().CreateJobHandler(Moniker, host->Root());
            events = handler.object.TryQueryInterface<ISBManagedJobEvents>();
            EXPECT_TRUE(events);
        }
        return events.get();
    }
    CZelmJob& Job() { return *static_cast<CZelmJob*>(Events()); }
    void ReleaseJobObject()
    {
        if (!handler.object)
            return;
        events.Release();
        host->Modules().ReleaseJobHandler(handler);
    }

    // A project structure document "<folder>/<name>.qsd" of rock salt.
    KelvComPtr<ISBDocumentRoot> RockSaltDocument(const std::string& path)
    {
        auto model = HostModel::ImportCif(Example("rocksalt.cif"));
        HostModel::SaveQsd(*model, path);
        KelvComPtr<ISBDocumentRoot> document;
        EXPECT_EQ(S_OK, host->Documents().FindDocument(KelvBSTR(path).Get(), document.Receive()));
        return document;
    }

    QzTest::TempFolder folder;
    QzHost::HostConfiguration configuration;
    DeckTest::ModuleClasses classes;
    JobClasses jobClasses;
    std::unique_ptr<QzHost::HostApplication> host;
    KelvComPtr<ISBManagedJob> job;
    QzHost::HostModules::JobHandler handler;
    KelvComPtr<ISBManagedJobEvents> events;
};

} // namespace JobTest
