// The record built from real host states: key names, types and the job
// names of a Fit run.
#include "FakeRoot.h"

#include "host/state/HostState.h"
#include "host/state/StateDefinitions.h"
#include "qorqm/ScopeUtility.h"
#include "qorvira/ZelmForcefieldLocator.h"
#include "setup/ZelmLibUtils.h"
#include "setup/ZelmRunInfo.h"

#include "../libreader/FakeAtoms.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <fstream>

namespace {

class StateRecord : public testing::Test
{
protected:
    StateRecord() : folder("state-record"), root(FakeRoot::Make(folder.Path())) {}

    void SetUp() override
    {
        try {
            definitions = QzHost::StateDefinitions::Load(std::string(QZ_TEST_DATA) + "/../../host/data/state-definitions.json");
            zelm = QzHost::HostState::Create(*definitions.Find("ZelmLogic"));
            jobTemplate = QzHost::HostState::Create(*definitions.Find("QMJobTemplate"));
        } catch (const KelvResult& error) {
            FAIL() << "host states: " << error.GetMessage();
        }
        std::filesystem::create_directories(folder.Slash() + "libs");
        std::ofstream(folder.Slash() + "libs/MyFit.lib") << "species\nNa core 1.0\n";
        Set(zelm, "library", folder.Slash() + "libs/MyFit.lib");
    }

    static void Set(const KelvComPtr<QzHost::HostState>& state, const std::string& key, const KelvVariant& value)
    {
        try {
            state->SetValue(key, value.Get());
        } catch (const KelvResult& error) {
            FAIL() << "setting " << key << ": " << error.GetMessage();
        }
    }

    std::unique_ptr<CZelmRunInfo> Record(const KelvComPtr<ISBScope>& scope = KelvComPtr<ISBScope>(),
                                         const KelvComPtr<ISBScopeManager>& scopes = KelvComPtr<ISBScopeManager>())
    {
        locator = std::make_unique<CZelmForcefieldLocator>(KelvComPtr<ISBState>(zelm.get()), root);
        CZelmForcefieldLocator* pointer = locator.get();
        return std::make_unique<CZelmRunInfo>(root, CStateHelper(zelm.get(), zelm.get()), scope, pointer,
                                              KelvComPtr<ISBState>(jobTemplate.get()), scopes);
    }

    TempFolder folder;
    KelvComPtr<ISBContainerRoot> root;
    QzHost::StateDefinitions definitions;
    KelvComPtr<QzHost::HostState> zelm;
    KelvComPtr<QzHost::HostState> jobTemplate;
    std::unique_ptr<CZelmForcefieldLocator> locator;
};

} // namespace

TEST_F(StateRecord, ReadsTheLogicStateKeys)
{
    Set(zelm, "Task", int32_t(3));
    Set(zelm, "ensemble", int32_t(2));
    Set(zelm, "conp", true);
    Set(zelm, "Phonon", true);
    Set(zelm, "ChargeOption", "Use current");
    auto info = Record();
    EXPECT_EQ(info->GetTask(), 3);
    EXPECT_EQ(info->GetEnsemble(), 2);
    EXPECT_TRUE(info->IsConstantPressure());
    EXPECT_FALSE(info->IsConstantVolume());
    EXPECT_TRUE(info->IsPhonon());
    EXPECT_EQ(info->GetChargeOption(), 2);
    EXPECT_EQ(info->GetEnsembleName(), "nvt");
    EXPECT_EQ(info->GetLibraryName(), "MyFit");
    EXPECT_EQ(info->GetLibraryPath(), folder.Slash() + "libs/MyFit.lib");
    EXPECT_FALSE(info->IsStandardLibrary());

    // The host refuses other texts when they are set; a stored project may
    // still hold one, and reading it is refused the same way, by name.
    const struct {
        const char* option;
        bool refused;
    } stored[] = {{"use current", true}, {"", true}, {"Library", false}};
    for (const auto& c : stored) {
        SCOPED_TRACE(c.option);
        zelm->LoadJson(nlohmann::json{{"ChargeOption", c.option}}, "stored state");
        if (!c.refused) {
            EXPECT_EQ(Record()->GetChargeOption(), 1);
            continue;
        }
        try {
            Record()->GetChargeOption();
            ADD_FAILURE() << "read";
        } catch (const KelvResult& refusal) {
            EXPECT_NE(refusal.GetMessage().find("\"ChargeOption\""), std::string::npos) << refusal.GetMessage();
        }
    }
}

TEST_F(StateRecord, LibraryNameIsMadeSafe)
{
    Set(zelm, "library", folder.Slash() + "libs/odd?name.lib");
    EXPECT_EQ(Record()->GetLibraryName(), "odd_name");
}

TEST_F(StateRecord, LibraryNamedWithOrWithoutItsExtension)
{
    std::ofstream(folder.Slash() + "rocksalt.lib") << "species\nNa core 1.0\n";
    for (const char* name : {"rocksalt", "rocksalt.lib", "rocksalt.LIB"}) {
        Set(zelm, "library", KelvVariant(std::string(name)));
        const auto info = Record();
        EXPECT_EQ(info->GetLibraryPath(), folder.Slash() + "rocksalt.lib") << name;
        EXPECT_EQ(info->GetLibraryName(), "rocksalt") << name;
        EXPECT_FALSE(info->IsStandardLibrary()) << name;
    }
}

TEST_F(StateRecord, FitJobNamesInTheLibraryFolder)
{
    Set(zelm, "Task", int32_t(4));
    Set(jobTemplate, "AutomateJobPrefix", false);
    Set(jobTemplate, "JobPrefix", "");
    auto info = Record();
    EXPECT_EQ(info->GetJobName().ToTString(), "MyFit");
    EXPECT_EQ(info->GetJobPrefix().ToTString(), folder.Slash() + "libs/MyFit");

    // The names follow the template state at the moment they are asked for.
    Set(jobTemplate, "JobPrefix", "run7");
    EXPECT_EQ(info->GetJobNameCopy().ToTString(), "run7");
    EXPECT_EQ(info->GetJobPrefix().ToTString(), folder.Slash() + "libs/run7");

    // An automated prefix ignores the user's text.
    Set(jobTemplate, "AutomateJobPrefix", true);
    EXPECT_EQ(info->GetJobName().ToTString(), "MyFit");
}

namespace {

class DocumentRecord : public StateRecord
{
protected:
    void SetUp() override
    {
        StateRecord::SetUp();
        // The scope utility is served in this process; the registry file is
        // this test's own and never written.
        setenv("QZ_REGISTRY_FILE", (folder.Slash() + "registry.json").c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(QorQMUtilities::RegisterScopeUtility()));
        Set(zelm, "Task", int32_t(2));
    }
};

} // namespace

TEST_F(DocumentRecord, SavedDocumentNamesTheJob)
{
    const auto document = FakeDocument::Make("/proj/Documents/minerals/Quartz.qsd", "Quartz");
    const auto scope = FakeScope::Make(document);
    auto info = Record(scope, FakeScopeManager::Make(scope));
    EXPECT_EQ(info->GetJobName().ToTString(), "Quartz");
    EXPECT_EQ(info->GetJobPrefix().ToTString(), "/proj/Documents/minerals/Quartz");
    EXPECT_EQ(info->GetCurrentDocumentSeedPath().ToTString(), "/proj/Documents/minerals/Quartz");

    Set(jobTemplate, "AutomateJobPrefix", false);
    Set(jobTemplate, "JobPrefix", "run7");
    EXPECT_EQ(info->GetJobName().ToTString(), "run7");
    EXPECT_EQ(info->GetJobPrefix().ToTString(), "/proj/Documents/minerals/run7");
}

TEST_F(DocumentRecord, UnsavedDocumentGoesToTheProjectFolder)
{
    const auto scope = FakeScope::Make(FakeDocument::Make("", "Untitled 2"));
    auto info = Record(scope, FakeScopeManager::Make(scope));
    EXPECT_EQ(info->GetJobName().ToTString(), "Untitled 2");
    EXPECT_EQ(info->GetJobPrefix().ToTString(), folder.Path() + "/Untitled 2");
}

TEST_F(DocumentRecord, RequestScopeStandsInForTheDefaultScope)
{
    const auto scope = FakeScope::Make(FakeDocument::Make("/p/Own.qsd", "Own"));
    const auto orphan = FakeScope::Make(KelvComPtr<ISBDocumentRoot>());
    const KelvComPtr<ISBScopeManager> managers[] = {
        FakeScopeManager::Make(KelvComPtr<ISBScope>(), E_FAIL),
        FakeScopeManager::Make(KelvComPtr<ISBScope>()),
        FakeScopeManager::Make(orphan),
        KelvComPtr<ISBScopeManager>(),
    };
    for (const auto& manager : managers)
        EXPECT_EQ(Record(scope, manager)->GetJobPrefix().ToTString(), "/p/Own");
}

TEST_F(DocumentRecord, NoDocumentAnywhereIsAnError)
{
    const auto orphan = FakeScope::Make(KelvComPtr<ISBDocumentRoot>());
    auto info = Record(orphan, FakeScopeManager::Make(orphan));
    try {
        info->GetJobName();
        ADD_FAILURE() << "job names without a document";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
    }
    try {
        info->GetCurrentDocumentSeedPath();
        ADD_FAILURE() << "seed path without a document";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
    }
}

TEST_F(StateRecord, CoreChargeFromAtomOrLibrary)
{
    const std::string path = folder.Slash() + "charges.lib";
    std::ofstream(path) << "species\nNa core 1.0\nNa shel -0.5\n";
    const CZelmLibUtils library(false, path);
    KelvComPtr<ISDObject> sodium = MakeAtom("Na", 1);
    FakeAtom::Set(sodium, "Charge", KelvVariant(0.75));

    Set(zelm, "ChargeOption", "Use current");
    EXPECT_DOUBLE_EQ(Record()->GetCoreCharge(sodium, library), 1.25);
    Set(zelm, "ChargeOption", "Library");
    EXPECT_DOUBLE_EQ(Record()->GetCoreCharge(sodium, library), 1.0);

    const std::string bare = folder.Slash() + "bare.lib";
    std::ofstream(bare) << "# no species\n";
    const CZelmLibUtils noCharges(false, bare);
    try {
        Record()->GetCoreCharge(sodium, noCharges);
        ADD_FAILURE() << "library charges from a library without charges";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_EQ(error.GetMessage(), "This forcefield library contains no charges.\nPlease set to use current.");
    }
}
