// Error conversion at COM methods and the last error of host calls.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <thread>

#include "fakes.h"
#include "kelv/kelv.h"

namespace
{
constexpr CLSID kClass = {0x5d605a2b, 0xacde, 0x49cd, {0x96, 0x42, 0x7b, 0x26, 0x89, 0x23, 0xac, 0xd9}};
constexpr IID kInterface = {0x7a42074f, 0x34d0, 0x4032, {0x84, 0x84, 0xf6, 0x1d, 0x0e, 0xb5, 0xbc, 0xd1}};

struct BadAllocation : std::bad_alloc
{
    const char* what() const noexcept override { return "bad allocation"; }
};

_com_error ComErrorWithText(HRESULT hr, const std::string& text)
{
    SetHostError(text);
    IErrorInfo* info = nullptr;
    GetErrorInfo(0, &info);
    return _com_error(hr, info); // adopts the reference
}

struct MapperCase
{
    const char* name;
    std::function<void()> body;
    HRESULT expected;
    std::string text;
};

// CTest names each case after the printed parameter: print the case's name
// rather than the bytes of the struct.
void PrintTo(const MapperCase& c, std::ostream* out)
{
    *out << c.name;
}

class MapperTest : public ::testing::TestWithParam<MapperCase>
{
};

TEST_P(MapperTest, GivesCodeTextClassAndInterface)
{
    const MapperCase& c = GetParam();
    SetErrorInfo(0, nullptr);
    const HRESULT hr = Kelv::ComMethod(kClass, kInterface, c.body);
    EXPECT_EQ(hr, c.expected);
    const ErrorInfoText info = TakeErrorInfo();
    ASSERT_TRUE(info.present);
    EXPECT_EQ(info.description, c.text);
    EXPECT_EQ(info.source, "{5D605A2B-ACDE-49CD-9642-7B268923ACD9}");
    EXPECT_TRUE(info.guid == kInterface);
}

INSTANTIATE_TEST_SUITE_P(
    EveryExceptionKind, MapperTest,
    ::testing::Values(
        MapperCase{"ComErrorWithoutInfo", [] { throw _com_error(E_ACCESSDENIED); }, E_ACCESSDENIED,
                   HResultDescription(E_ACCESSDENIED)},
        MapperCase{"ComErrorWithInfo", [] { throw ComErrorWithText(E_FAIL, "host said no"); }, E_FAIL,
                   "host said no"},
        MapperCase{"KelvResult",
                   [] { throw KelvResult(E_INVALIDARG, "Cannot conduct this operation without an active document"); },
                   E_INVALIDARG, "Cannot conduct this operation without an active document"},
        MapperCase{"KelvResultWithoutMessage", [] { throw KelvResult(E_POINTER); }, E_POINTER,
                   HResultDescription(E_POINTER)},
        MapperCase{"KelvResultWithSuccessCode", [] { throw KelvResult(S_FALSE, "odd"); }, E_FAIL, "odd"},
        MapperCase{"BareHRESULT", [] { throw HRESULT(DISP_E_BADINDEX); }, DISP_E_BADINDEX,
                   HResultDescription(DISP_E_BADINDEX)},
        MapperCase{"BadAlloc", [] { throw BadAllocation(); }, E_OUTOFMEMORY, "bad allocation"},
        MapperCase{"StdException", [] { throw std::runtime_error("boom"); }, E_FAIL, "boom"},
        MapperCase{"Anything", [] { throw std::string("not an exception class"); }, E_UNEXPECTED, "An unexpected exception occurred."}),
    [](const ::testing::TestParamInfo<MapperCase>& info) { return info.param.name; });

TEST(Mappers, NullClassGivesEmptySource)
{
    EXPECT_EQ(Kelv::CaughtStdException(std::logic_error("x"), GUID_NULL, GUID_NULL), E_FAIL);
    const ErrorInfoText info = TakeErrorInfo();
    EXPECT_EQ(info.source, "");
    EXPECT_EQ(info.description, "x");
    EXPECT_TRUE(info.guid == GUID_NULL);
}

TEST(ComMethod, ReturnsTheBodysResult)
{
    EXPECT_EQ(Kelv::ComMethod(kClass, kInterface, [] {}), S_OK);
    EXPECT_EQ(Kelv::ComMethod(kClass, kInterface, [] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(Kelv::ComMethod(kClass, kInterface, [] { return E_ABORT; }), E_ABORT);
}

TEST(LastError, HostMessageReachesTheCallerUnchanged)
{
    auto hostCall = [] {
        SetHostError("The server ZELM is not available.");
        return E_ACCESSDENIED;
    };
    const HRESULT hr = Kelv::ComMethod(kClass, kInterface, [&] { KelvResult::Check(hostCall()); });
    EXPECT_EQ(hr, E_ACCESSDENIED);
    EXPECT_EQ(TakeErrorInfo().description, "The server ZELM is not available.");
}

TEST(LastError, FailureWithoutInformationGetsTheStandardText)
{
    SetErrorInfo(0, nullptr);
    try {
        KelvResult::Check(E_INVALIDARG);
        FAIL() << "a failure must throw";
    } catch (const KelvResult& e) {
        EXPECT_EQ(e.GetHRESULT(), E_INVALIDARG);
        EXPECT_EQ(e.GetMessage(), HResultDescription(E_INVALIDARG));
    }
}

TEST(LastError, SuccessCodesPassButAreRecorded)
{
    EXPECT_NO_THROW(KelvResult::Check(S_FALSE));
    EXPECT_EQ(KelvResult::LastError().GetHRESULT(), S_FALSE);
    EXPECT_NO_THROW(KelvResult::Check(S_OK));
    EXPECT_EQ(KelvResult::LastError().GetHRESULT(), S_FALSE) << "S_OK is not recorded";
}

TEST(LastError, RecordedSuccessNeverPassesAsAFailure)
{
    for (HRESULT recorded : {S_OK, S_FALSE}) {
        KelvResult::SetLastError(recorded);
        const KelvResult error = KelvResult::LastErrorCheckNotS_OK();
        EXPECT_TRUE(error.Failed());
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_FALSE(error.GetMessage().empty());
        EXPECT_THROW(KelvResult::Check(false), KelvResult);
    }
}

TEST(LastError, NothingRecordedOnThisThreadIsStillAFailure)
{
    std::thread([] {
        EXPECT_TRUE(KelvResult::LastErrorCheckNotS_OK().Failed());
    }).join();
}

TEST(LastError, IsKeptPerThread)
{
    KelvResult::SetLastError(KelvResult(E_ABORT, "here"));
    std::thread([] { KelvResult::SetLastError(KelvResult(E_HANDLE, "there")); }).join();
    EXPECT_EQ(KelvResult::LastError().GetMessage(), "here");
}

TEST(LastError, StaleInformationDoesNotLeakIntoALaterFailure)
{
    SetHostError("stale text of an earlier call");
    KelvResult::SetLastError(S_FALSE); // a success: its pending text is dropped
    KelvResult::SetLastError(E_FAIL);
    EXPECT_EQ(KelvResult::LastError().GetMessage(), HResultDescription(E_FAIL));
}

TEST(LastError, CheckOfAFalseTestThrowsTheRecordedError)
{
    KelvResult::SetLastError(KelvResult(E_HANDLE, "handle gone"));
    try {
        KelvResult::Check(false);
        FAIL();
    } catch (const KelvResult& e) {
        EXPECT_EQ(e.GetHRESULT(), E_HANDLE);
        EXPECT_EQ(e.GetMessage(), "handle gone");
    }
    EXPECT_NO_THROW(KelvResult::Check(true));
    EXPECT_NO_THROW(KelvResult::Check(KelvResult(S_FALSE)));
    EXPECT_THROW(KelvResult::Check(KelvResult(E_FAIL, "kept")), KelvResult);
}

TEST(Helpers, NullDereferenceAndQueryFailures)
{
    try {
        Kelv::CheckNullDereference(nullptr);
        FAIL();
    } catch (const KelvResult& e) {
        EXPECT_EQ(e.GetHRESULT(), E_POINTER);
    }
    EXPECT_NO_THROW(Kelv::CheckNullDereference(&kClass));

    const KelvResult refused = Kelv::QueryInterfaceFailure(E_NOINTERFACE, kInterface);
    EXPECT_EQ(refused.GetHRESULT(), E_NOINTERFACE);
    EXPECT_NE(refused.GetMessage().find("{7A42074F-34D0-4032-8484-F61D0EB5BCD1}"), std::string::npos);
    EXPECT_EQ(Kelv::QueryInterfaceFailure(S_OK, kInterface).GetHRESULT(), E_NOINTERFACE);
}

TEST(Helpers, BstrdupAndBackKeepLatin1)
{
    BSTR text = Kelv::bstrdup(std::string("eV/\xC5^2"));
    EXPECT_EQ(SysStringLen(text), 6u);
    EXPECT_EQ(text[3], 0xC5);
    EXPECT_EQ(Kelv::BSTRToTString(text), "eV/\xC5^2");
    BSTR copy = Kelv::bstrdup(static_cast<const OLECHAR*>(text));
    EXPECT_EQ(Kelv::BSTRToTString(copy), "eV/\xC5^2");
    SysFreeString(copy);
    SysFreeString(text);
    BSTR empty = Kelv::bstrdup(std::string());
    EXPECT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

// An in-process class for KelvCreateImpl: its factory hands out FakeUnknown
// objects or fails with a text.
class TestFactory : public FakeBase<IClassFactory>
{
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (fail) {
            SetHostError("licence server unreachable");
            return E_ACCESSDENIED;
        }
        return object.QueryInterface(iid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
    bool fail = false;
    FakeUnknown object;

protected:
    bool Answers(REFIID iid) override { return iid == IID_IClassFactory; }
};

constexpr CLSID kCreatable = {0x3adc3240, 0xf7ec, 0x41c7, {0x8a, 0x4b, 0x94, 0xa0, 0x05, 0xe8, 0xeb, 0xb0}};

TEST(KelvCreateImpl, CreatesByProgIdClsidTextAndClsid)
{
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kCreatable, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    ASSERT_EQ(ComRegistry::RegisterInProcessProgId("KelvTests.Creatable", kCreatable), S_OK);

    for (const std::string& name : {std::string("KelvTests.Creatable"), GuidToString(kCreatable)}) {
        IUnknown* object = nullptr;
        const KelvResult r = Kelv::KelvCreateImpl(name, nullptr, CLSCTX_SERVER, IID_IUnknown,
                                                  reinterpret_cast<void**>(&object), false);
        EXPECT_TRUE(r.Succeeded()) << name;
        EXPECT_EQ(object, &factory.object) << name;
        if (object)
            object->Release();
    }
    IUnknown* object = nullptr;
    EXPECT_TRUE(Kelv::KelvCreateImpl(kCreatable, nullptr, CLSCTX_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(&object), true)
                    .Succeeded());
    ASSERT_EQ(object, &factory.object);
    object->Release();
    EXPECT_EQ(factory.object.references, 1u);

    factory.fail = true;
    object = reinterpret_cast<IUnknown*>(&factory); // must be reset to null
    const KelvResult failed = Kelv::KelvCreateImpl("KelvTests.Creatable", nullptr, CLSCTX_SERVER, IID_IUnknown,
                                                   reinterpret_cast<void**>(&object), false);
    EXPECT_EQ(failed.GetHRESULT(), E_ACCESSDENIED);
    EXPECT_EQ(failed.GetMessage(), "licence server unreachable");
    EXPECT_EQ(object, nullptr);
    CoRevokeClassObject(cookie);
}

TEST(KelvCreateImpl, UnknownClassFailsWithoutOrWithThrowing)
{
    IUnknown* object = nullptr;
    const KelvResult r = Kelv::KelvCreateImpl("No.Such.Class", nullptr, CLSCTX_SERVER, IID_IUnknown,
                                              reinterpret_cast<void**>(&object), false);
    EXPECT_TRUE(r.Failed());
    EXPECT_NE(r.GetMessage().find("No.Such.Class"), std::string::npos);
    EXPECT_EQ(object, nullptr);
    EXPECT_THROW(Kelv::KelvCreateImpl("No.Such.Class", nullptr, CLSCTX_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(&object), true),
                 KelvResult);
    EXPECT_TRUE(Kelv::KelvCreateImpl("No.Such.Class", nullptr, CLSCTX_SERVER, IID_IUnknown, nullptr, false).Failed());
}
} // namespace
