// The logic-object base against a small fake host: connection, contained
// state, container root and disconnection.
#include <gtest/gtest.h>

#include "fakes.h"
#include "kelv/KelvLogicImpl.h"

namespace
{
constexpr CLSID CLSID_TestLogic = {0xef9547d2, 0x97f6, 0x412f, {0xa8, 0x86, 0xba, 0xbd, 0x70, 0x05, 0xa4, 0xd8}};
constexpr IID IID_ITestLogic = {0x52a85834, 0xa660, 0x4a3e, {0x85, 0x57, 0xd1, 0xd2, 0xf1, 0x12, 0x76, 0x94}};
constexpr GUID LIBID_Test = {0x080f7e03, 0xac50, 0x4949, {0xaa, 0xca, 0xe7, 0x9f, 0x82, 0xd3, 0x09, 0x9f}};

struct ITestLogic : ISBLogic
{
    static const IID& Iid() { return IID_ITestLogic; }
    virtual HRESULT Ping(LONG* value) = 0;
};

class FakeState : public FakeDispatchBase<ISBState>
{
public:
    HRESULT GetPropertyValue(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT SetPropertyValue(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT GetPropertyEnumText(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT HasProperty(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT GetPropertyKind(BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT get_PropertyNames(SAFEARRAY**) override { return E_NOTIMPL; }
};

class FakeExtension : public FakeBase<ISBExtension>
{
public:
    HRESULT get_Name(BSTR* name) override
    {
        *name = SysAllocStringFromNarrow("QorZelm.Extension");
        return S_OK;
    }
    HRESULT get_Logics(ISBLogics**) override { return E_NOTIMPL; }
    HRESULT Item(VARIANT, ISBLogic**) override { return E_NOTIMPL; }
    HRESULT CreateContainedState(ISBLogic* logic, REFGUID stateClass, ISBState** out) override
    {
        ++stateRequests;
        askedFor = logic;
        askedClass = stateClass;
        if (failState) {
            SetHostError("state definitions missing");
            return E_ACCESSDENIED;
        }
        state.AddRef();
        *out = &state;
        return S_OK;
    }
    FakeState state;
    int stateRequests = 0;
    ISBLogic* askedFor = nullptr;
    GUID askedClass{1, 0, 0, {0}};
    bool failState = false;
};

class FakeScopeManager : public FakeBase<ISBScopeManager>
{
public:
    HRESULT ProcessScope(ISBScope*, BSTR, ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_DefaultScope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_ActiveScope(ISBScope**) override { return E_NOTIMPL; }
};

class FakeRoot : public FakeBase<ISBContainerRoot>
{
public:
    HRESULT get_DiskManager(ISBDiskManager**) override { return E_NOTIMPL; }
    HRESULT get_FolderManager(ISBFolderManager**) override { return E_NOTIMPL; }
    HRESULT get_DocumentManager(ISBDocumentManager** out) override
    {
        *out = nullptr;
        SetHostError("the project is closed");
        return E_HANDLE;
    }
    HRESULT get_StateManager(ISBStateManager**) override { return E_NOTIMPL; }
    HRESULT get_JobManager(ISBJobManager**) override { return E_NOTIMPL; }
    HRESULT get_OperationManager(ISBOperationManager**) override { return E_NOTIMPL; }
    HRESULT get_ModuleManager(ISBModuleManager**) override { return E_NOTIMPL; }
    HRESULT get_ScopeManager(ISBScopeManager** out) override
    {
        scopes.AddRef();
        *out = &scopes;
        return S_OK;
    }
    HRESULT get_Extensions(ISBExtensions**) override { return E_NOTIMPL; }
    HRESULT get_DocumentService(ISBDocumentService**) override { return E_NOTIMPL; }
    HRESULT get_PathService(ISBPathService**) override { return E_NOTIMPL; }
    FakeScopeManager scopes;
};

struct HookTrace
{
    int initialised = 0;
    int shutdowns = 0;
    bool hadStateInHook = false;
    bool hadRootInHook = false;
    HRESULT initialiseResult = S_OK;
    HRESULT shutdownResult = S_OK;
    bool destroyed = false;
};

class CTestLogic : public IKelvLogicImpl<&CLSID_TestLogic, ITestLogic, &IID_ITestLogic, &LIBID_Test, 0, 1, 0>
{
public:
    explicit CTestLogic(HookTrace& trace) : m_trace(trace) {}
    ~CTestLogic() override { m_trace.destroyed = true; }
    HRESULT Ping(LONG* value) override
    {
        *value = 7;
        return S_OK;
    }
    HRESULT InitialiseOnConnect() override
    {
        ++m_trace.initialised;
        m_trace.hadStateInHook = HasStateValues();
        m_trace.hadRootInHook = HasContainerRoot();
        if (FAILED(m_trace.initialiseResult))
            SetHostError("the scope utility could not be made");
        return m_trace.initialiseResult;
    }
    HRESULT Shutdown() override
    {
        ++m_trace.shutdowns;
        return m_trace.shutdownResult;
    }

private:
    HookTrace& m_trace;
};

class LogicTest : public ::testing::Test
{
protected:
    void SetUp() override { logic = new CTestLogic(trace); }
    void TearDown() override
    {
        if (!trace.destroyed)
            logic->Release();
        EXPECT_TRUE(trace.destroyed);
        EXPECT_EQ(extension.references, 1u);
        EXPECT_EQ(extension.state.references, 1u);
        EXPECT_EQ(root.references, 1u);
        EXPECT_EQ(root.scopes.references, 1u);
    }
    HRESULT Connect()
    {
        EXPECT_EQ(RootConsumer()->ConnectContainerRoot(&root), S_OK);
        return AsLogic()->OnConnect(&extension, KelvVariant("ZelmLogic").Get());
    }
    KelvComPtr<ISBLogic> AsLogic() { return KelvComPtr<ISBLogic>::QueryFrom(logic->ControllingUnknown()); }
    KelvComPtr<ISBContainerRootConsumer> RootConsumer()
    {
        return KelvComPtr<ISBContainerRootConsumer>::QueryFrom(logic->ControllingUnknown());
    }

    HookTrace trace;
    CTestLogic* logic = nullptr;
    FakeExtension extension;
    FakeRoot root;
};

TEST_F(LogicTest, InterfaceMap)
{
    IUnknown* unknown = logic->ControllingUnknown();
    KelvComPtr<ITestLogic> itf = KelvComPtr<ITestLogic>::QueryFrom(unknown);
    ASSERT_TRUE(itf);
    EXPECT_EQ(static_cast<ISBLogic*>(itf.get()), AsLogic().get()) << "ISBLogic is the interface's part";
    EXPECT_EQ(static_cast<IDispatch*>(itf.get()), KelvComPtr<IDispatch>::QueryFrom(unknown).get());
    EXPECT_TRUE(RootConsumer());
    EXPECT_EQ(KelvComPtr<IUnknown>::QueryFrom(RootConsumer().get()).get(), unknown);
    EXPECT_FALSE(KelvComPtr<IClassFactory>::QueryFrom(unknown));
    EXPECT_EQ(logic->DelegatedQueryInterface(IID_ISBContainerRootConsumer, nullptr), 0);
    EXPECT_EQ(logic->DelegatedQueryInterface(IID_ITestLogic, nullptr), 0);
    EXPECT_EQ(logic->DelegatedQueryInterface(IID_IClassFactory, nullptr), 1);
    LONG value = 0;
    itf->Ping(&value);
    EXPECT_EQ(value, 7);
}

TEST_F(LogicTest, ConnectionMakesStateThenRunsTheHook)
{
    EXPECT_FALSE(logic->HasStateValues());
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(extension.stateRequests, 1);
    EXPECT_EQ(extension.askedFor, AsLogic().get()) << "the extension is told the logic it holds";
    EXPECT_TRUE(extension.askedClass == GUID_NULL);
    EXPECT_EQ(trace.initialised, 1);
    EXPECT_TRUE(trace.hadStateInHook);
    EXPECT_TRUE(trace.hadRootInHook);
    EXPECT_EQ(logic->State(), &extension.state);
    EXPECT_EQ(logic->StateValues(), &extension.state);
    EXPECT_EQ(logic->Extension(), &extension);
    EXPECT_EQ(logic->InstanceData().String(), "ZelmLogic");

    KelvComPtr<ISBState> state;
    EXPECT_EQ(AsLogic()->get_State(state.Receive()), S_OK);
    EXPECT_EQ(state.get(), &extension.state);
    KelvComPtr<ISBExtension> ext;
    EXPECT_EQ(AsLogic()->get_Extension(ext.Receive()), S_OK);
    EXPECT_EQ(ext.get(), &extension);
    state.Release();
    ext.Release();
    EXPECT_EQ(RootConsumer()->DisconnectContainerRoot(), S_OK);
}

TEST_F(LogicTest, FailingHookFailsTheConnectionWithItsMessage)
{
    trace.initialiseResult = E_ABORT;
    EXPECT_EQ(Connect(), E_ABORT);
    const ErrorInfoText info = TakeErrorInfo();
    EXPECT_EQ(info.description, "the scope utility could not be made");
    EXPECT_TRUE(info.guid == GUID_NULL) << "the framework's connection reports with null identifiers";
    EXPECT_EQ(info.source, "");
    RootConsumer()->DisconnectContainerRoot();
}

TEST_F(LogicTest, FailingStateStopsBeforeTheHook)
{
    extension.failState = true;
    EXPECT_EQ(Connect(), E_ACCESSDENIED);
    EXPECT_EQ(TakeErrorInfo().description, "state definitions missing");
    EXPECT_EQ(trace.initialised, 0);
    EXPECT_FALSE(logic->HasStateValues());
    RootConsumer()->DisconnectContainerRoot();
}

TEST_F(LogicTest, DisconnectionRunsShutdownOnceAndLetsTheHostGo)
{
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_GT(extension.references, 1u);
    EXPECT_EQ(RootConsumer()->DisconnectContainerRoot(), S_OK);
    EXPECT_EQ(trace.shutdowns, 1);
    EXPECT_EQ(extension.references, 1u) << "the extension is let go";
    EXPECT_EQ(extension.state.references, 1u) << "the state is let go";
    EXPECT_EQ(root.references, 1u) << "the root is let go";
    EXPECT_FALSE(logic->HasContainerRoot());
    EXPECT_EQ(RootConsumer()->DisconnectContainerRoot(), S_OK);
    EXPECT_EQ(trace.shutdowns, 1);
}

TEST_F(LogicTest, ShutdownFailureIsReportedButTheRootStillGoes)
{
    ASSERT_EQ(Connect(), S_OK);
    trace.shutdownResult = E_UNEXPECTED;
    EXPECT_EQ(RootConsumer()->DisconnectContainerRoot(), E_UNEXPECTED);
    EXPECT_FALSE(logic->HasContainerRoot());
    EXPECT_EQ(extension.references, 1u);
}

TEST_F(LogicTest, NoShutdownWithoutAConnection)
{
    ASSERT_EQ(RootConsumer()->ConnectContainerRoot(&root), S_OK);
    EXPECT_EQ(RootConsumer()->DisconnectContainerRoot(), S_OK);
    EXPECT_EQ(trace.shutdowns, 0);
}

TEST_F(LogicTest, ReconnectionReplacesExtensionAndState)
{
    ASSERT_EQ(Connect(), S_OK);
    FakeExtension other;
    ASSERT_EQ(AsLogic()->OnConnect(&other, KelvVariant().Get()), S_OK);
    EXPECT_EQ(logic->Extension(), &other);
    EXPECT_EQ(logic->State(), &other.state);
    EXPECT_EQ(extension.references, 1u);
    EXPECT_EQ(extension.state.references, 1u);
    EXPECT_EQ(trace.initialised, 2);
    RootConsumer()->DisconnectContainerRoot();
    EXPECT_EQ(other.references, 1u);
    EXPECT_EQ(other.state.references, 1u);
}

TEST_F(LogicTest, AccessorsBeforeConnection)
{
    KelvComPtr<ISBState> state;
    EXPECT_EQ(AsLogic()->get_State(state.Receive()), E_UNEXPECTED);
    EXPECT_FALSE(state);
    EXPECT_EQ(AsLogic()->get_State(nullptr), E_POINTER);
    EXPECT_EQ(TakeErrorInfo().description, "No pointer supplied for output argument.");
    KelvComPtr<ISBExtension> ext;
    EXPECT_EQ(AsLogic()->get_Extension(ext.Receive()), E_UNEXPECTED);
    EXPECT_EQ(logic->CreateContainedState(GUID_NULL), E_UNEXPECTED);
    EXPECT_EQ(AsLogic()->OnConnect(nullptr, KelvVariant().Get()), E_POINTER);
    EXPECT_EQ(RootConsumer()->ConnectContainerRoot(nullptr), E_POINTER);
    EXPECT_THROW(logic->ContainerRoot(true), KelvResult);
    EXPECT_FALSE(logic->ContainerRoot(false));
}

TEST_F(LogicTest, ManagersOfTheContainerRoot)
{
    ASSERT_EQ(RootConsumer()->ConnectContainerRoot(&root), S_OK);
    EXPECT_EQ(logic->ContainerRoot(true).get(), &root);
    EXPECT_EQ(logic->ObtainScopeManager().get(), &root.scopes);
    try {
        logic->ObtainDocumentManager();
        FAIL();
    } catch (const KelvResult& e) {
        EXPECT_EQ(e.GetHRESULT(), E_HANDLE);
        EXPECT_EQ(e.GetMessage(), "the project is closed");
    }
    RootConsumer()->DisconnectContainerRoot();
}
// A logic whose interface derives from IDispatch only (an event interface):
// ISBLogic comes from the logic base, and the extension is told that part.
constexpr IID IID_ITestEvents = {0x52a85834, 0xa660, 0x4a3e, {0x85, 0x57, 0xd1, 0xd2, 0xf1, 0x12, 0x76, 0x95}};

struct ITestEvents : IDispatch
{
    static const IID& Iid() { return IID_ITestEvents; }
    virtual HRESULT OnPing() = 0;
};

class CTestEvents : public IKelvLogicImpl<&CLSID_TestLogic, ITestEvents, &IID_ITestEvents, &LIBID_Test, 0, 1, 0>
{
public:
    HRESULT OnPing() override { return ++pings, S_OK; }
    int pings = 0;
};

TEST(LogicOfAnEventInterface, AnswersISBLogicWithTheBasePartAndConnects)
{
    CTestEvents* logic = new CTestEvents();
    {
        IUnknown* unknown = logic->ControllingUnknown();
        KelvComPtr<ITestEvents> events = KelvComPtr<ITestEvents>::QueryFrom(unknown);
        KelvComPtr<ISBLogic> asLogic = KelvComPtr<ISBLogic>::QueryFrom(unknown);
        ASSERT_TRUE(events);
        ASSERT_TRUE(asLogic);
        EXPECT_EQ(static_cast<ISBLogic*>(static_cast<CKelvLogicImpl*>(logic)), asLogic.get());
        EXPECT_NE(static_cast<void*>(asLogic.get()), static_cast<void*>(events.get()));
        EXPECT_EQ(static_cast<IDispatch*>(events.get()), KelvComPtr<IDispatch>::QueryFrom(unknown).get());
        EXPECT_EQ(events->OnPing(), S_OK);
        EXPECT_EQ(logic->pings, 1);

        // The ISBLogic calls reach the logic base through that part.
        FakeExtension extension;
        FakeRoot root;
        KelvComPtr<ISBContainerRootConsumer> consumer = KelvComPtr<ISBContainerRootConsumer>::QueryFrom(unknown);
        ASSERT_EQ(consumer->ConnectContainerRoot(&root), S_OK);
        ASSERT_EQ(asLogic->OnConnect(&extension, KelvVariant("QMJobHandler").Get()), S_OK);
        EXPECT_EQ(extension.askedFor, asLogic.get());
        KelvComPtr<ISBState> state;
        EXPECT_EQ(asLogic->get_State(state.Receive()), S_OK);
        EXPECT_EQ(state.get(), &extension.state);
        state.Release();
        EXPECT_EQ(consumer->DisconnectContainerRoot(), S_OK);
        consumer.Release();
        asLogic.Release();
        events.Release();
        EXPECT_EQ(extension.references, 1u);
        EXPECT_EQ(root.references, 1u);
    }
    logic->Release();
}
} // namespace
