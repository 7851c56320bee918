// What every host process offers once the application stands: the scope
// utility created by ProgID from inside a module logic, and the host's data
// files found from any working folder.

#include "HostTestSupport.h"

#include "host/state/StateDefinitions.h"

#include "hostapi/utilities.h"
#include "kelv/KelvLogicImpl.h"

#include <cstdlib>
#include <optional>

using namespace HostTest;
using namespace QzHost;

namespace {

constexpr CLSID CLSID_UtilityUser = HostApi::MakeGuid("A7C3B2D1-0000-4000-8000-00000000E201");

struct UtilitySeen {
    HRESULT created = E_FAIL;
    HRESULT initialised = E_FAIL;
    HRESULT asked = E_FAIL;
    VARIANT_BOOL p1 = 0;
};
UtilitySeen g_utility;

// A module logic that, while it connects, makes the scope utility through
// the class registry as the module does, connects it to its container root
// and asks it something.
class UtilityUser : public CKelvLogicImpl {
public:
    UtilityUser() : CKelvLogicImpl(CLSID_UtilityUser) {}
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override
    {
        return ConnectLogic(extension, instanceData);
    }
    HRESULT InitialiseOnConnect() override
    {
        KelvComPtr<IQoScopeUtility> utility;
        g_utility.created = Kelv::KelvCreateImpl("QorQMUtilities.ScopeUtility", nullptr, CLSCTX_SERVER,
                                                 IID_IQoScopeUtility, utility.ReceiveVoid(), false)
                                .GetHRESULT();
        if (!utility)
            return S_OK;
        g_utility.initialised = utility->Initialise(ContainerRoot(true).get());
        KelvComPtr<ISBScopeManager> scopes;
        KelvResult::Check(ContainerRoot(true)->get_ScopeManager(scopes.Receive()));
        KelvComPtr<ISBScope> scope;
        KelvResult::Check(scopes->get_DefaultScope(scope.Receive()));
        g_utility.asked = scope ? utility->IsP1(scope.get(), &g_utility.p1) : S_FALSE;
        utility->Shutdown();
        return S_OK;
    }
};

// Sets an environment variable for one test and puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Works in another folder for one test.
class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const std::string& folder) : m_old(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~ScopedWorkingFolder() { std::filesystem::current_path(m_old); }

private:
    std::filesystem::path m_old;
};

} // namespace

TEST(HostApplication, ModuleLogicsMakeTheScopeUtilityByItsProgId)
{
    TempFolder folder;
    ClassRegistration<UtilityUser> registration("QorZelm.ZelmLogic", CLSID_UtilityUser);
    g_utility = UtilitySeen();
    HostApplication app(ProjectIn(folder));
    EXPECT_TRUE(app.ConnectionErrors().empty());
    EXPECT_EQ(S_OK, g_utility.created);
    EXPECT_EQ(S_OK, g_utility.initialised);
    EXPECT_TRUE(SUCCEEDED(g_utility.asked));

    // After the application the class stays available to the process.
    KelvComPtr<IQoScopeUtility> utility;
    EXPECT_EQ(S_OK, Kelv::KelvCreateImpl("QorQMUtilities.ScopeUtility", nullptr, CLSCTX_SERVER, IID_IQoScopeUtility,
                                         utility.ReceiveVoid(), false)
                        .GetHRESULT());
    EXPECT_TRUE(utility);
}

TEST(HostDataFolder, DefaultDefinitionsAreFoundFromAnyWorkingFolder)
{
    const std::string data = HostDataFolder();
    EXPECT_TRUE(std::filesystem::path(data).is_absolute()) << data;
    EXPECT_TRUE(Exists(DefaultStateDefinitionsPath())) << DefaultStateDefinitionsPath();

    TempFolder folder;
    const std::string elsewhere = folder.Write("elsewhere/note.txt");
    ScopedWorkingFolder working(std::filesystem::path(elsewhere).parent_path().string());
    EXPECT_EQ(data, HostDataFolder());
    HostConfiguration configuration;
    configuration.projectFolder = folder / "project";
    HostApplication app(configuration);
    ASSERT_TRUE(app.State("ZelmLogic"));
    EXPECT_EQ(1, app.State("ZelmLogic")->Value("Task").Long());
}

TEST(HostDataFolder, EnvironmentNamesAnotherFolder)
{
    TempFolder folder;
    folder.Write("data/state-definitions.json",
                 R"({"logics":[{"logic":"ZelmLogic","extension":"QorZelm.Extension",)"
                 R"("properties":[{"name":"Task","type":"long","default":4}]}]})");
    ScopedEnvironment environment("QZ_HOST_DATA_DIR", folder / "data");
    EXPECT_EQ(folder / "data", HostDataFolder());
    const StateDefinitions definitions = StateDefinitions::Load(DefaultStateDefinitionsPath());
    ASSERT_NE(nullptr, definitions.Find("ZelmLogic"));
    EXPECT_EQ(4, definitions.Find("ZelmLogic")->Find("Task")->defaultValue.Long());

    // A folder without the file is named in the error.
    ScopedEnvironment empty("QZ_HOST_DATA_DIR", folder / "nothing");
    try {
        StateDefinitions::Load(DefaultStateDefinitionsPath());
        ADD_FAILURE() << "definitions from a folder without them";
    } catch (const KelvResult& error) {
        EXPECT_NE(std::string::npos, error.GetMessage().find(folder / "nothing")) << error.GetMessage();
    }
}
