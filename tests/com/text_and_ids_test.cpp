#include <gtest/gtest.h>

#include <set>
#include <string>

#include "com/com.h"

namespace
{
struct BstrDeleter
{
    void operator()(OLECHAR* b) const { SysFreeString(b); }
};
using BstrPtr = std::unique_ptr<OLECHAR, BstrDeleter>;

TEST(Bstr, Latin1TextSurvivesARoundTrip)
{
    const std::string unit = "eV/\xC5^2";
    BstrPtr b(SysAllocStringFromNarrow(unit));
    ASSERT_TRUE(b);
    EXPECT_EQ(SysStringLen(b.get()), 6u);
    EXPECT_EQ(b.get()[3], u'\u00C5');
    EXPECT_EQ(b.get()[6], u'\0');
    EXPECT_EQ(NarrowFromBSTR(b.get()), unit);
    EXPECT_EQ(NarrowFromWide(WideFromNarrow(unit)), unit);
}

TEST(Bstr, LengthPrefixNotNulDecidesTheText)
{
    const OLECHAR raw[] = {u'a', u'\0', u'b'};
    BstrPtr b(SysAllocStringLen(raw, 3));
    ASSERT_TRUE(b);
    EXPECT_EQ(SysStringLen(b.get()), 3u);
    EXPECT_EQ(SysStringByteLen(b.get()), 6u);
    EXPECT_EQ(NarrowFromBSTR(b.get()), std::string("a\0b", 3));
}

TEST(Bstr, NullAndEmptyAndWideUnits)
{
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(NarrowFromBSTR(nullptr), "");
    SysFreeString(nullptr);

    BstrPtr empty(SysAllocStringFromNarrow(""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(SysStringLen(empty.get()), 0u);

    BstrPtr zeroed(SysAllocStringLen(nullptr, 4));
    ASSERT_TRUE(zeroed);
    EXPECT_EQ(SysStringLen(zeroed.get()), 4u);
    EXPECT_EQ(zeroed.get()[0], 0);

    BstrPtr wide(SysAllocString(u"x\u0394y"));
    EXPECT_EQ(NarrowFromBSTR(wide.get()), "x?y");
}

TEST(Bstr, ReallocationMayReadFromTheOldString)
{
    BSTR b = SysAllocString(u"hello");
    ASSERT_EQ(SysReAllocString(&b, b + 1), TRUE);
    EXPECT_EQ(NarrowFromBSTR(b), "ello");
    ASSERT_EQ(SysReAllocString(&b, nullptr), TRUE);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(SysReAllocString(nullptr, u"x"), FALSE);
}

TEST(Guid, ParsesTheUsualSpellings)
{
    const GUID expected = {0x5d605a2b, 0xacde, 0x49cd, {0x96, 0x42, 0x7b, 0x26, 0x89, 0x23, 0xac, 0xd9}};
    for (const char* text : {"5d605a2b-acde-49cd-9642-7b268923acd9", "{5D605A2B-ACDE-49CD-9642-7B268923ACD9}",
                             "{5d605A2b-AcDe-49cd-9642-7b268923ACd9}"})
    {
        GUID g{};
        ASSERT_TRUE(GuidFromString(text, g)) << text;
        EXPECT_EQ(g, expected) << text;
    }
    EXPECT_EQ(GuidToString(expected), "{5D605A2B-ACDE-49CD-9642-7B268923ACD9}");
}

TEST(Guid, RejectsMalformedTextAndLeavesTheOutputAlone)
{
    for (const char* text : {"", "{}", "5d605a2b-acde-49cd-9642-7b268923acd", "5d605a2b-acde-49cd-9642-7b268923acd9a",
                             "5d605a2bxacde-49cd-9642-7b268923acd9", "5d605a2b-acde-49cd-9642-7b268923acg9",
                             "{5d605a2b-acde-49cd-9642-7b268923acd9", "(5d605a2b-acde-49cd-9642-7b268923acd9)",
                             "5d605a2b-acde-49cd-96427-b268923acd9", "+d605a2b-acde-49cd-9642-7b268923acd9"})
    {
        GUID g = IID_IDispatch;
        EXPECT_FALSE(GuidFromString(text, g)) << text;
        EXPECT_EQ(g, IID_IDispatch) << text;
    }
}

TEST(Guid, FormatParseRoundTripAndOrdering)
{
    const GUID ids[] = {GUID_NULL, IID_IUnknown, IID_IDispatch, IID_ISupportErrorInfo, IID_IConnectionPoint,
                        IID_IEnumConnections, IID_IErrorInfo};
    std::set<GUID> ordered;
    for (const GUID& id : ids)
    {
        GUID back{};
        ASSERT_TRUE(GuidFromString(GuidToString(id), back));
        EXPECT_EQ(back, id);
        EXPECT_FALSE(id < id);
        ordered.insert(id);
    }
    EXPECT_EQ(ordered.size(), std::size(ids));
    // Identifiers differing only in the last byte are distinct and ordered.
    GUID a = IID_IUnknown, b = IID_IUnknown;
    b.Data4[7] = 0x47;
    EXPECT_NE(a, b);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_EQ(GuidToString(IID_ISupportErrorInfo), "{DF0B3D60-548F-101B-8E65-08002B2BD119}");
    EXPECT_EQ(uuidof<IConnectionPoint>(), IID_IConnectionPoint);
}

TEST(Guid, StringConversionsOfTheActivationApi)
{
    OLECHAR buffer[39];
    EXPECT_EQ(StringFromGUID2(IID_IDispatch, buffer, 38), 0);
    ASSERT_EQ(StringFromGUID2(IID_IDispatch, buffer, 39), 39);
    EXPECT_EQ(NarrowFromWide(buffer), "{00020400-0000-0000-C000-000000000046}");
    CLSID back{};
    EXPECT_EQ(CLSIDFromString(buffer, &back), S_OK);
    EXPECT_EQ(back, IID_IDispatch);
    EXPECT_EQ(CLSIDFromString(u"QorZelm.ZelmLogic", &back), CO_E_CLASSSTRING);
}

TEST(HResult, WidthsAndClassification)
{
    static_assert(sizeof(HRESULT) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(VARIANT_BOOL) == 2);
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_EQ(static_cast<uint32_t>(E_INVALIDARG), 0x80070057u);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), MakeHResult(0x80070002u));
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(static_cast<DWORD>(E_FAIL)), E_FAIL);
}

TEST(HResult, StandardDescriptions)
{
    const std::pair<HRESULT, std::string> table[] = {
        {E_FAIL, "Unspecified error"},
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_UNEXPECTED, "Catastrophic failure"},
        {E_INVALIDARG, "The parameter is incorrect"},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {MakeHResult(0x80001234u), "Unknown error 0x80001234"},
    };
    for (const auto& [hr, text] : table)
        EXPECT_EQ(HResultDescription(hr), text);
}
} // namespace
