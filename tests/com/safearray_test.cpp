#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "com/com.h"
#include "counting_unknown.h"

namespace
{
TEST(SafeArray, TwoDimensionsStoreTheFirstIndexFastest)
{
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}}; // dimension 1: 1..2, dimension 2: -1..1
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);

    LONG lb = 0, ub = 0;
    ASSERT_EQ(SafeArrayGetLBound(psa, 1, &lb), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(psa, 1, &ub), S_OK);
    EXPECT_EQ(lb, 1);
    EXPECT_EQ(ub, 2);
    ASSERT_EQ(SafeArrayGetLBound(psa, 2, &lb), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(psa, 2, &ub), S_OK);
    EXPECT_EQ(lb, -1);
    EXPECT_EQ(ub, 1);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lb), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(psa, 3, &ub), DISP_E_BADINDEX);

    for (LONG j = -1; j <= 1; ++j)
        for (LONG i = 1; i <= 2; ++i)
        {
            LONG idx[2] = {i, j};
            LONG value = 10 * i + j;
            ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
        }

    LONG* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
    const LONG expected[6] = {9, 19, 10, 20, 11, 21};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(data[k], expected[k]) << "storage slot " << k;
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);

    LONG out = 0;
    LONG inside[2] = {2, 0};
    ASSERT_EQ(SafeArrayGetElement(psa, inside, &out), S_OK);
    EXPECT_EQ(out, 20);
    for (auto bad : {std::pair<LONG, LONG>{0, 0}, {3, 0}, {1, -2}, {1, 2}})
    {
        LONG idx[2] = {bad.first, bad.second};
        EXPECT_EQ(SafeArrayGetElement(psa, idx, &out), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(psa, idx, &out), DISP_E_BADINDEX);
    }
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, TwoDimensionalStringsReadInStorageOrder)
{
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_BSTR, 2, bounds);
    ASSERT_NE(psa, nullptr);
    const char* names[2][2] = {{"a00", "a01"}, {"a10", "a11"}};
    for (LONG i = 0; i < 2; ++i)
        for (LONG j = 0; j < 2; ++j)
        {
            LONG idx[2] = {i, j};
            BSTR s = SysAllocStringFromNarrow(names[i][j]);
            ASSERT_EQ(SafeArrayPutElement(psa, idx, s), S_OK);
            SysFreeString(s); // the array keeps its own copy
        }
    BSTR* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(NarrowFromBSTR(data[0]), "a00");
    EXPECT_EQ(NarrowFromBSTR(data[1]), "a10");
    EXPECT_EQ(NarrowFromBSTR(data[2]), "a01");
    EXPECT_EQ(NarrowFromBSTR(data[3]), "a11");
    SafeArrayUnaccessData(psa);

    LONG idx[2] = {1, 0};
    BSTR got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, idx, &got), S_OK);
    EXPECT_EQ(NarrowFromBSTR(got), "a10");
    SysFreeString(got);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, ElementTypesAndSizes)
{
    const std::pair<VARTYPE, UINT> table[] = {
        {VT_BSTR, sizeof(BSTR)},     {VT_VARIANT, sizeof(VARIANT)},  {VT_I4, 4},   {VT_INT, 4},
        {VT_I2, 2},                  {VT_UI1, 1},                    {VT_R8, 8},   {VT_R4, 4},
        {VT_BOOL, 2},                {VT_UNKNOWN, sizeof(void*)},    {VT_DISPATCH, sizeof(void*)},
    };
    for (const auto& [vt, size] : table)
    {
        SAFEARRAY* psa = SafeArrayCreateVector(vt, 0, 3);
        ASSERT_NE(psa, nullptr) << vt;
        VARTYPE got = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(psa, &got), S_OK);
        EXPECT_EQ(got, vt);
        EXPECT_EQ(SafeArrayGetElemsize(psa), size) << vt;
        EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    }
    for (VARTYPE vt : {VARTYPE{VT_EMPTY}, VARTYPE{VT_NULL}, static_cast<VARTYPE>(VT_ARRAY | VT_I4), VARTYPE{0x0FFF}})
        EXPECT_EQ(SafeArrayCreateVector(vt, 0, 3), nullptr) << vt;
}

TEST(SafeArray, RejectsImpossibleShapes)
{
    SAFEARRAYBOUND huge[3] = {{0x100000, 0}, {0x100000, 0}, {0x100000, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_R8, 3, huge), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_R8, 0, huge), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_R8, 1, nullptr), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 0x7FFFFFF0, 100), nullptr); // upper bound beyond LONG

    SAFEARRAY* none = SafeArrayCreateVector(VT_BSTR, 0, 0);
    ASSERT_NE(none, nullptr);
    LONG lb = 1, ub = 1;
    SafeArrayGetLBound(none, 1, &lb);
    SafeArrayGetUBound(none, 1, &ub);
    EXPECT_EQ(lb, 0);
    EXPECT_EQ(ub, -1);
    LONG i = 0;
    BSTR s = nullptr;
    EXPECT_EQ(SafeArrayGetElement(none, &i, &s), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(none), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, CopyIsDeepAndCountsInterfaceReferences)
{
    CountingUnknown object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 3);
    for (LONG i = 0; i < 2; ++i)
        ASSERT_EQ(SafeArrayPutElement(objects, &i, static_cast<IDispatch*>(&object)), S_OK);
    EXPECT_EQ(object.refs, 3);
    LONG first = 0;
    ASSERT_EQ(SafeArrayPutElement(objects, &first, nullptr), S_OK); // replacing releases
    EXPECT_EQ(object.refs, 2);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(objects, &copy), S_OK);
    EXPECT_EQ(object.refs, 3);
    IDispatch* got = nullptr;
    LONG second = 1;
    ASSERT_EQ(SafeArrayGetElement(copy, &second, &got), S_OK);
    EXPECT_EQ(got, static_cast<IDispatch*>(&object));
    EXPECT_EQ(object.refs, 4);
    got->Release();
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(object.refs, 1);

    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 5, 1);
    LONG five = 5;
    BSTR unit = SysAllocStringFromNarrow("eV/\xC5^2");
    SafeArrayPutElement(strings, &five, unit);
    SysFreeString(unit);
    ASSERT_EQ(SafeArrayCopy(strings, &copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
    BSTR back = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy, &five, &back), S_OK);
    EXPECT_EQ(NarrowFromBSTR(back), "eV/\xC5^2");
    SysFreeString(back);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, VariantElementsAreCopiedInAndOut)
{
    SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_BSTR;
    in.bstrVal = SysAllocStringFromNarrow("text");
    LONG i = 1;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, &in), S_OK);
    VariantClear(&in);

    VARIANT out;
    std::memset(&out, 0xAB, sizeof out); // uninitialised memory is acceptable
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_EQ(NarrowFromBSTR(out.bstrVal), "text");
    VariantClear(&out);

    LONG zero = 0;
    ASSERT_EQ(SafeArrayGetElement(psa, &zero, &out), S_OK);
    EXPECT_EQ(out.vt, VT_EMPTY);
    EXPECT_EQ(SafeArrayPutElement(psa, &zero, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}
} // namespace
