// The reference-counted base, the class table with its factory and
// registration, and the dispatch plumbing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <new>

#include "fakes.h"
#include "kelv/KelvInProc.h"
#include "common/TempRegistry.h"

namespace
{
constexpr IID IID_ITestA = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x01}};
constexpr IID IID_ITestB = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x02}};
constexpr CLSID kGood = {0xaaaa0001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
constexpr CLSID kMissing = {0xaaaa0002, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
constexpr CLSID kThrows = {0xaaaa0003, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}};
constexpr CLSID kRefuses = {0xaaaa0004, 0, 0, {0, 0, 0, 0, 0, 0, 0, 4}};
constexpr CLSID kUnknownClass = {0xaaaa00ff, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0xff}};
constexpr GUID kLibid = {0x080f7e03, 0xac50, 0x4949, {0xaa, 0xca, 0xe7, 0x9f, 0x82, 0xd3, 0x09, 0x9f}};

struct ITestA : IUnknown
{
    static const IID& Iid() { return IID_ITestA; }
    virtual int A() = 0;
};
struct ITestB : IDispatch
{
    static const IID& Iid() { return IID_ITestB; }
    virtual int B() = 0;
};
} // namespace

template <>
struct KelvDispatchNames<ITestB>
{
    static const std::vector<KelvDispatchName>& Names()
    {
        static const std::vector<KelvDispatchName> names{{u"SaveZelmInputFiles", 0x64}, {u"Run", 0x6A}};
        return names;
    }
};

namespace
{
struct Trace
{
    int finalConstructs = 0;
    int finalReleases = 0;
    int destroyed = 0;
    HRESULT finalConstructResult = S_OK;
};
Trace g_trace;

class CTestObject : public CKelvUnknown, public ITestA, public IKelvDispatchImpl<ITestB>
{
public:
    ~CTestObject() override { ++g_trace.destroyed; }
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ITestA)
            return FinishQI(static_cast<ITestA*>(this), out);
        if (iid == IID_ITestB || iid == IID_IDispatch)
            return FinishQI(static_cast<ITestB*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT FinalConstruct() override
    {
        ++g_trace.finalConstructs;
        return g_trace.finalConstructResult;
    }
    void FinalRelease() override
    {
        ++g_trace.finalReleases;
        // References taken and dropped here must not delete the object twice.
        ITestA* again = nullptr;
        QueryInterface(IID_ITestA, reinterpret_cast<void**>(&again));
        again->Release();
    }
    int A() override { return 1; }
    int B() override { return 2; }
};

HRESULT CreateGood(void** out)
{
    *out = static_cast<IDelegatedUnknown*>(new CTestObject);
    return S_OK;
}
HRESULT CreateThrowing(void**)
{
    struct BadAllocation : std::bad_alloc
    {
        const char* what() const noexcept override { return "bad allocation"; }
    };
    throw BadAllocation();
}
HRESULT CreateRefusing(void** out)
{
    *out = nullptr;
    SetHostError("no licence for this class");
    return E_ACCESSDENIED;
}

const CKelvFactoryData kTable[] = {
    {&kGood, &CreateGood, "Test: good component", "KelvTests.Good.1", "KelvTests.Good", &kLibid, 0, 0},
    {&kMissing, nullptr, "Test: missing component", "KelvTests.Missing.1", "KelvTests.Missing", &kLibid, 0, 0},
    {&kThrows, &CreateThrowing, "Test: throwing component", "KelvTests.Throws.1", "KelvTests.Throws", &kLibid, 0, 0},
    {&kRefuses, &CreateRefusing, "Test: refusing component", "KelvTests.Refuses.1", "KelvTests.Refuses", &kLibid, 0, 0},
};

class InProcTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_trace = Trace();
        CKelvFactoryData::EnableFactoryComponents(&kTable, kTable, 4);
    }
    KelvComPtr<IClassFactory> Factory(REFCLSID clsid)
    {
        KelvComPtr<IClassFactory> factory;
        EXPECT_EQ(CKelvFactoryData::GetClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
        return factory;
    }
};

TEST_F(InProcTest, ReferenceCountingAndFinalRelease)
{
    CTestObject* object = new CTestObject; // one reference, the creator's
    ITestA* a = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_ITestA, reinterpret_cast<void**>(&a)), S_OK);
    EXPECT_EQ(a->AddRef(), 3u);
    EXPECT_EQ(a->Release(), 2u);
    IUnknown* viaA = nullptr;
    IUnknown* viaB = nullptr;
    a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaA));
    object->QueryInterface(IID_ITestB, reinterpret_cast<void**>(&viaB));
    IUnknown* identity = nullptr;
    viaB->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    EXPECT_EQ(viaA, identity) << "every interface leads to one identity";
    EXPECT_EQ(viaA, object->ControllingUnknown());
    viaA->Release();
    viaB->Release();
    identity->Release();
    a->Release();
    EXPECT_EQ(g_trace.finalReleases, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(g_trace.finalReleases, 1);
    EXPECT_EQ(g_trace.destroyed, 1);
}

TEST_F(InProcTest, QueryOnlyModeHandsOutNothing)
{
    KelvComPtr<ITestA> object = KelvComPtr<ITestA>::Adopt(new CTestObject);
    CTestObject* impl = static_cast<CTestObject*>(object.get());
    EXPECT_EQ(impl->DelegatedQueryInterface(IID_ITestA, nullptr), 0);
    EXPECT_EQ(impl->DelegatedQueryInterface(IID_IUnknown, nullptr), 0);
    EXPECT_EQ(impl->DelegatedQueryInterface(IID_IClassFactory, nullptr), 1);
    EXPECT_EQ(object->AddRef(), 2u) << "query-only mode took no reference";
    object->Release();
    EXPECT_EQ(object->QueryInterface(IID_ITestA, nullptr), E_POINTER);
    void* out = &out;
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(InProcTest, FactoryCreatesAndCompletesObjects)
{
    KelvComPtr<IClassFactory> factory = Factory(kGood);
    ASSERT_TRUE(factory);
    KelvComPtr<ITestA> a;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITestA, a.ReceiveVoid()), S_OK);
    EXPECT_EQ(a->A(), 1);
    EXPECT_EQ(g_trace.finalConstructs, 1);
    EXPECT_EQ(a->AddRef(), 2u) << "the creator's reference went to the caller";
    a->Release();
    a.Release();
    EXPECT_EQ(g_trace.destroyed, 1);

    KelvComPtr<IUnknown> refused;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, refused.ReceiveVoid()), E_NOINTERFACE);
    EXPECT_EQ(g_trace.destroyed, 2) << "an object that lacks the interface is released";

    FakeUnknown outer;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, refused.ReceiveVoid()), CLASS_E_NOAGGREGATION);

    g_trace.finalConstructResult = E_ABORT;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITestA, a.ReceiveVoid()), E_ABORT);
    EXPECT_FALSE(a);
    EXPECT_EQ(g_trace.destroyed, 3) << "a failed FinalConstruct discards the object";
}

TEST_F(InProcTest, FactoryFailuresCarryErrorInformation)
{
    KelvComPtr<IUnknown> object;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(Factory(kMissing)->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    ErrorInfoText info = TakeErrorInfo();
    EXPECT_NE(info.description.find("Test: missing component"), std::string::npos) << info.description;
    EXPECT_EQ(info.source, GuidToString(kMissing));

    EXPECT_EQ(Factory(kThrows)->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()), E_OUTOFMEMORY);
    EXPECT_EQ(TakeErrorInfo().description, "bad allocation");

    EXPECT_EQ(Factory(kRefuses)->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()), E_ACCESSDENIED);
    EXPECT_EQ(TakeErrorInfo().description, "no licence for this class");
    EXPECT_FALSE(object);
}

TEST_F(InProcTest, UnknownClassIsNotAvailable)
{
    void* out = &out;
    EXPECT_EQ(CKelvFactoryData::GetClassObject(kUnknownClass, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CKelvFactoryData::GetClassObject(kGood, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(InProcTest, CanUnloadNowFollowsObjectsFactoriesAndLocks)
{
    EXPECT_EQ(CKelvFactoryData::CanUnloadNow(), S_OK);
    {
        KelvComPtr<IClassFactory> factory = Factory(kGood);
        EXPECT_EQ(CKelvFactoryData::CanUnloadNow(), S_FALSE) << "a factory is alive";
        KelvComPtr<ITestA> a;
        factory->CreateInstance(nullptr, IID_ITestA, a.ReceiveVoid());
        factory.Release();
        EXPECT_EQ(CKelvFactoryData::CanUnloadNow(), S_FALSE) << "an object is alive";
        a.Release();
        EXPECT_EQ(CKelvFactoryData::CanUnloadNow(), S_OK);
        factory = Factory(kGood);
        factory->LockServer(TRUE);
        factory.Release();
        EXPECT_EQ(CKelvFactoryData::CanUnloadNow(), S_FALSE) << "the server is locked";
        factory = Factory(kGood);
        factory->LockServer(FALSE);
        EXPECT_EQ(factory->LockServer(FALSE), S_FALSE) << "no lock to undo";
    }
    EXPECT_EQ(CKelvFactoryData::CanUnloadNow(), S_OK);
}

TEST_F(InProcTest, SecondHandOverReplacesHandleAndTable)
{
    EXPECT_EQ(CKelvFactoryData::Instance(), static_cast<HINSTANCE>(&kTable));
    static int otherHandle;
    CKelvFactoryData::EnableFactoryComponents(&otherHandle, kTable + 1, 1);
    EXPECT_EQ(CKelvFactoryData::Instance(), static_cast<HINSTANCE>(&otherHandle));
    void* out = nullptr;
    EXPECT_EQ(CKelvFactoryData::GetClassObject(kGood, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    KelvComPtr<IClassFactory> factory;
    EXPECT_EQ(CKelvFactoryData::GetClassObject(kMissing, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
}

TEST_F(InProcTest, RegistrationWritesAndRemovesEveryRow)
{
    const QzTest::TempRegistry registry;
    CKelvFactoryData::EnableFactoryComponents(nullptr, kTable, 4);
    ASSERT_EQ(CKelvFactoryData::RegisterAll(), S_OK);
    const std::vector<ComRegistry::ClassEntry> classes = ComRegistry::Classes();
    ASSERT_EQ(classes.size(), 4u);
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    for (const CKelvFactoryData& row : kTable) {
        ComRegistry::ClassEntry entry;
        ASSERT_TRUE(ComRegistry::FindClass(*row.clsid, entry));
        EXPECT_EQ(entry.description, row.description);
        EXPECT_EQ(entry.progId, row.progId);
        EXPECT_EQ(entry.versionedProgId, row.versionedProgId);
        EXPECT_TRUE(entry.typeLib == kLibid);
        EXPECT_EQ(entry.modulePath, self);
    }
    EXPECT_EQ(CKelvFactoryData::UnregisterAll(), S_OK);
    EXPECT_TRUE(ComRegistry::Classes().empty());
    EXPECT_EQ(CKelvFactoryData::UnregisterAll(), S_OK) << "removing what is gone is no failure";

    CKelvFactoryData::EnableFactoryComponents(nullptr, nullptr, 0);
    EXPECT_TRUE(FAILED(CKelvFactoryData::RegisterAll()));
}

} // namespace

extern "C" void SecondModuleEnable();
extern "C" HRESULT SecondModuleGetClassObject(REFCLSID clsid, REFIID iid, void** out);
extern "C" HRESULT SecondModuleCanUnloadNow();

namespace
{
constexpr CLSID kSecond = {0xbbbb0001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};

TEST_F(InProcTest, EachModuleKeepsItsOwnTableAndCount)
{
    SecondModuleEnable();
    void* out = nullptr;
    EXPECT_EQ(CKelvFactoryData::GetClassObject(kSecond, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(SecondModuleGetClassObject(kGood, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    KelvComPtr<IClassFactory> factory;
    ASSERT_EQ(SecondModuleGetClassObject(kSecond, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    KelvComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()), S_OK);
    factory.Release();
    EXPECT_EQ(SecondModuleCanUnloadNow(), S_FALSE);
    EXPECT_EQ(CKelvFactoryData::CanUnloadNow(), S_OK) << "the other module's object is not counted here";
    object.Release();
    EXPECT_EQ(SecondModuleCanUnloadNow(), S_OK);
}

TEST(KelvDispatch, NamesFromTheInterfaceTable)
{
    KelvComPtr<ITestB> object = KelvComPtr<ITestB>::Adopt(new CTestObject);
    UINT count = 7;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);

    std::u16string name = u"run";
    LPOLESTR names[2] = {name.data(), nullptr};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 0x6A);
    name = u"SAVEZELMINPUTFILES";
    names[0] = name.data();
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 0x64);

    std::u16string parameter = u"pScope";
    names[1] = parameter.data();
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 0x64);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    name = u"Runner";
    names[0] = name.data();
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(object->Invoke(0x6A, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
}
} // namespace
