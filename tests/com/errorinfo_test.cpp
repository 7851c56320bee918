#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "com/com.h"

namespace
{
// A fresh error object with the given description and source.
IErrorInfo* MakeError(const std::string& description, const std::string& source = "Test")
{
    ICreateErrorInfo* create = nullptr;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    std::u16string d = WideFromNarrow(description), s = WideFromNarrow(source);
    create->SetDescription(d.data());
    create->SetSource(s.data());
    create->SetGUID(IID_IDispatch);
    create->SetHelpContext(7);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    return info;
}

std::string DescriptionOf(IErrorInfo* info)
{
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::string out = NarrowFromBSTR(text);
    SysFreeString(text);
    return out;
}

// Current reference count, observed through an AddRef/Release pair.
ULONG RefsOf(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

TEST(ErrorInfo, ReadingTakesTheErrorAndClearsTheSlot)
{
    IErrorInfo* info = MakeError("Unit eV/\xC5^2 is unknown");
    ASSERT_EQ(SetErrorInfo(0, info), S_OK);
    info->Release(); // the slot keeps its own reference

    IErrorInfo* read = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &read), S_OK);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(DescriptionOf(read), "Unit eV/\xC5^2 is unknown");
    GUID guid{};
    DWORD context = 0;
    read->GetGUID(&guid);
    read->GetHelpContext(&context);
    EXPECT_EQ(guid, IID_IDispatch);
    EXPECT_EQ(context, 7u);
    EXPECT_EQ(RefsOf(read), 1u);
    read->Release();

    IErrorInfo* again = reinterpret_cast<IErrorInfo*>(0x1);
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
    EXPECT_EQ(again, nullptr);
}

TEST(ErrorInfo, SettingReplacesAndNullClears)
{
    IErrorInfo* first = MakeError("first");
    IErrorInfo* second = MakeError("second");
    SetErrorInfo(0, first);
    EXPECT_EQ(RefsOf(first), 2u);
    SetErrorInfo(0, second);
    EXPECT_EQ(RefsOf(first), 1u);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(RefsOf(second), 1u);
    IErrorInfo* read = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &read), S_FALSE);
    EXPECT_EQ(SetErrorInfo(1, first), E_INVALIDARG);
    first->Release();
    second->Release();
}

TEST(ErrorInfo, EachThreadHasItsOwnSlot)
{
    IErrorInfo* mine = MakeError("main thread");
    SetErrorInfo(0, mine);
    mine->Release();

    bool otherSawNothing = false;
    std::string otherRead;
    std::thread other([&] {
        IErrorInfo* seen = nullptr;
        otherSawNothing = GetErrorInfo(0, &seen) == S_FALSE && seen == nullptr;
        IErrorInfo* own = MakeError("worker thread");
        SetErrorInfo(0, own);
        own->Release();
        IErrorInfo* back = nullptr;
        if (GetErrorInfo(0, &back) == S_OK)
        {
            otherRead = DescriptionOf(back);
            back->Release();
        }
        // Left set on purpose: the thread's exit must release it.
        IErrorInfo* leftover = MakeError("left behind");
        SetErrorInfo(0, leftover);
        leftover->Release();
    });
    other.join();
    EXPECT_TRUE(otherSawNothing);
    EXPECT_EQ(otherRead, "worker thread");

    IErrorInfo* read = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &read), S_OK);
    EXPECT_EQ(DescriptionOf(read), "main thread");
    read->Release();
}

TEST(ComError, CarriesCodeAndDescriptionAndCountsTheErrorObject)
{
    IErrorInfo* info = MakeError("Cannot open file", "Reader");
    {
        _com_error adopted(E_ACCESSDENIED, info, true);
        EXPECT_EQ(RefsOf(info), 2u);
        _com_error copy = adopted;
        EXPECT_EQ(RefsOf(info), 3u);
        _com_error assigned(E_FAIL);
        assigned = copy;
        EXPECT_EQ(RefsOf(info), 4u);
        assigned = assigned;
        EXPECT_EQ(RefsOf(info), 4u);
        EXPECT_EQ(assigned.Error(), E_ACCESSDENIED);
        EXPECT_EQ(assigned.Description(), "Cannot open file");
        EXPECT_EQ(assigned.Source(), "Reader");
        EXPECT_EQ(assigned.ErrorMessage(), "Access is denied.");
        IErrorInfo* handed = assigned.ErrorInfo();
        EXPECT_EQ(handed, info);
        EXPECT_EQ(RefsOf(info), 5u);
        handed->Release();
    }
    EXPECT_EQ(RefsOf(info), 1u);
    {
        _com_error owner(E_FAIL, info); // adopts the caller's reference
    }

    _com_error bare(E_POINTER);
    EXPECT_EQ(bare.Description(), "");
    EXPECT_EQ(bare.ErrorInfo(), nullptr);
    EXPECT_EQ(bare.ErrorMessage(), "Invalid pointer");
    try
    {
        throw _com_error(E_NOINTERFACE);
    }
    catch (const _com_error& e)
    {
        EXPECT_EQ(e.Error(), E_NOINTERFACE);
    }
}
} // namespace
