#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/com.h"
#include "counting_unknown.h"

namespace
{
VARIANT I4(LONG v) { VARIANT x; VariantInit(&x); x.vt = VT_I4; x.lVal = v; return x; }
VARIANT I2(SHORT v) { VARIANT x; VariantInit(&x); x.vt = VT_I2; x.iVal = v; return x; }
VARIANT UI1(BYTE v) { VARIANT x; VariantInit(&x); x.vt = VT_UI1; x.bVal = v; return x; }
VARIANT R8(double v) { VARIANT x; VariantInit(&x); x.vt = VT_R8; x.dblVal = v; return x; }
VARIANT R4(float v) { VARIANT x; VariantInit(&x); x.vt = VT_R4; x.fltVal = v; return x; }
VARIANT Bool(bool v) { VARIANT x; VariantInit(&x); x.vt = VT_BOOL; x.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; return x; }
VARIANT Text(const std::string& v) { VARIANT x; VariantInit(&x); x.vt = VT_BSTR; x.bstrVal = SysAllocStringFromNarrow(v); return x; }
VARIANT Empty() { VARIANT x; VariantInit(&x); return x; }
VARIANT Null() { VARIANT x; VariantInit(&x); x.vt = VT_NULL; return x; }

// The converted value as comparable text (numbers through their own type).
std::string Show(const VARIANT& v)
{
    switch (v.vt)
    {
    case VT_EMPTY: return "<empty>";
    case VT_I4: case VT_INT: return "i" + std::to_string(v.lVal);
    case VT_I2: return "i" + std::to_string(v.iVal);
    case VT_UI1: return "i" + std::to_string(v.bVal);
    case VT_R8: return "d" + std::to_string(v.dblVal);
    case VT_R4: return "d" + std::to_string(v.fltVal);
    case VT_BOOL: return v.boolVal == VARIANT_TRUE ? "b1" : (v.boolVal == VARIANT_FALSE ? "b0" : "b?");
    case VT_BSTR: return "s" + NarrowFromBSTR(v.bstrVal);
    default: return "vt" + std::to_string(v.vt);
    }
}

struct ChangeCase
{
    const char* name;
    VARIANT source;
    VARTYPE target;
    HRESULT hr;
    std::string expected; // as Show() prints it; ignored on failure
};

TEST(VariantChangeType, ConversionTable)
{
    std::vector<ChangeCase> cases = {
        {"int to double", I4(-7), VT_R8, S_OK, "d-7.000000"},
        {"int to text", I4(-7), VT_BSTR, S_OK, "s-7"},
        {"int to bool", I4(2), VT_BOOL, S_OK, "b1"},
        {"zero to bool", I4(0), VT_BOOL, S_OK, "b0"},
        {"int too big for short", I4(40000), VT_I2, DISP_E_OVERFLOW, ""},
        {"negative to byte", I4(-1), VT_UI1, DISP_E_OVERFLOW, ""},
        {"short to int", I2(-300), VT_I4, S_OK, "i-300"},
        {"byte to int", UI1(200), VT_I4, S_OK, "i200"},
        {"int to int kind", I4(5), VT_INT, S_OK, "i5"},
        {"double to int rounds", R8(2.6), VT_I4, S_OK, "i3"},
        {"half to even below", R8(2.5), VT_I4, S_OK, "i2"},
        {"half to even above", R8(3.5), VT_I4, S_OK, "i4"},
        {"negative half", R8(-2.5), VT_I4, S_OK, "i-2"},
        {"double beyond int", R8(3e9), VT_I4, DISP_E_OVERFLOW, ""},
        {"double to text", R8(0.1), VT_BSTR, S_OK, "s0.1"},
        {"double keeps 15 digits", R8(3.14159265358979), VT_BSTR, S_OK, "s3.14159265358979"},
        {"large double to text", R8(1.5e20), VT_BSTR, S_OK, "s1.5e+20"},
        {"double to float", R8(0.5), VT_R4, S_OK, "d0.500000"},
        {"double beyond float", R8(1e300), VT_R4, DISP_E_OVERFLOW, ""},
        {"float to double", R4(0.25f), VT_R8, S_OK, "d0.250000"},
        {"true to text", Bool(true), VT_BSTR, S_OK, "sTrue"},
        {"false to text", Bool(false), VT_BSTR, S_OK, "sFalse"},
        {"true to int", Bool(true), VT_I4, S_OK, "i-1"},
        {"true to byte", Bool(true), VT_UI1, S_OK, "i255"},
        {"text to int", Text(" 42 "), VT_I4, S_OK, "i42"},
        {"text with decimals to int", Text("12.7"), VT_I4, S_OK, "i13"},
        {"text to double", Text("-1.25e2"), VT_R8, S_OK, "d-125.000000"},
        {"comma is not a decimal point", Text("1,5"), VT_R8, DISP_E_TYPEMISMATCH, ""},
        {"word to double", Text("abc"), VT_R8, DISP_E_TYPEMISMATCH, ""},
        {"blank to int", Text(""), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"text beyond short", Text("70000"), VT_I2, DISP_E_OVERFLOW, ""},
        {"TRUE to bool", Text("TRUE"), VT_BOOL, S_OK, "b1"},
        {"false to bool", Text("False"), VT_BOOL, S_OK, "b0"},
        {"number text to bool", Text("0"), VT_BOOL, S_OK, "b0"},
        {"other number text to bool", Text("-3"), VT_BOOL, S_OK, "b1"},
        {"yes is no bool", Text("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, ""},
        {"true text is no number", Text("true"), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"Latin-1 text to text", Text("eV/\xC5^2"), VT_BSTR, S_OK, "seV/\xC5^2"},
        {"empty to int", Empty(), VT_I4, S_OK, "i0"},
        {"empty to text", Empty(), VT_BSTR, S_OK, "s"},
        {"int to empty", I4(3), VT_EMPTY, S_OK, "<empty>"},
        {"null to int", Null(), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {"null to text", Null(), VT_BSTR, DISP_E_TYPEMISMATCH, ""},
        {"int to interface", I4(1), VT_UNKNOWN, DISP_E_TYPEMISMATCH, ""},
        {"int to array", I4(1), static_cast<VARTYPE>(VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH, ""},
    };
    for (ChangeCase& c : cases)
    {
        VARIANT out = I4(999);
        HRESULT hr = VariantChangeType(&out, &c.source, 0, c.target);
        EXPECT_EQ(hr, c.hr) << c.name;
        if (SUCCEEDED(c.hr))
        {
            EXPECT_EQ(out.vt, c.target) << c.name;
            EXPECT_EQ(Show(out), c.expected) << c.name;
        }
        else
        {
            EXPECT_EQ(Show(out), "i999") << c.name << ": a failed conversion must leave the target alone";
        }
        VariantClear(&out);
        VariantClear(&c.source);
    }
}

TEST(VariantChangeType, InPlaceConversionFreesTheOldValue)
{
    VARIANT v = Text("17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 17);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(NarrowFromBSTR(v.bstrVal), "17");
    VariantClear(&v);
}

TEST(VariantChangeType, ReadsThroughAReference)
{
    double value = 4.0;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_R8 | VT_BYREF;
    ref.pdblVal = &value;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 4);
    EXPECT_EQ(VariantChangeType(&out, &ref, 0, VT_I4 | VT_BYREF), DISP_E_BADVARTYPE);
}

TEST(VariantChangeType, InterfacesConvertByQueryAndKeepCountsRight)
{
    CountingUnknown object;
    VARIANT unk;
    VariantInit(&unk);
    unk.vt = VT_UNKNOWN;
    unk.punkVal = &object;
    object.AddRef(); // held by the variant

    VARIANT disp;
    VariantInit(&disp);
    ASSERT_EQ(VariantChangeType(&disp, &unk, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(disp.vt, VT_DISPATCH);
    EXPECT_EQ(disp.pdispVal, static_cast<IDispatch*>(&object));
    EXPECT_EQ(object.refs, 3);
    VariantClear(&disp);

    object.offersDispatch = false;
    EXPECT_EQ(VariantChangeType(&disp, &unk, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(object.refs, 2);
    EXPECT_EQ(VariantChangeType(&disp, &unk, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    VariantClear(&unk);
    EXPECT_EQ(object.refs, 1);
}

TEST(Variant, CopyAndClearKeepReferenceCountsRight)
{
    CountingUnknown first, second;
    VARIANT a;
    VariantInit(&a);
    a.vt = VT_UNKNOWN;
    a.punkVal = &first; // adopts the initial reference

    VARIANT b;
    VariantInit(&b);
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(first.refs, 2);
    ASSERT_EQ(VariantCopy(&b, &b), S_OK);
    EXPECT_EQ(first.refs, 2);

    VARIANT c;
    VariantInit(&c);
    c.vt = VT_DISPATCH;
    c.pdispVal = &second;
    ASSERT_EQ(VariantCopy(&b, &c), S_OK); // releases first, AddRefs second
    EXPECT_EQ(first.refs, 1);
    EXPECT_EQ(second.refs, 2);

    EXPECT_EQ(VariantClear(&b), S_OK);
    EXPECT_EQ(b.vt, VT_EMPTY);
    EXPECT_EQ(second.refs, 1);
    EXPECT_EQ(VariantClear(&b), S_OK);
    EXPECT_EQ(second.refs, 1);

    VariantClear(&a);
    VariantClear(&c);
    EXPECT_TRUE(first.destroyed);
    EXPECT_TRUE(second.destroyed);
}

TEST(Variant, CopiesOfStringsAndArraysAreIndependent)
{
    VARIANT a = Text("eV/\xC5^2");
    VARIANT b;
    VariantInit(&b);
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(a.bstrVal, b.bstrVal);
    VariantClear(&a);
    EXPECT_EQ(NarrowFromBSTR(b.bstrVal), "eV/\xC5^2");
    VariantClear(&b);

    CountingUnknown element;
    VARIANT arr;
    VariantInit(&arr);
    arr.vt = VT_ARRAY | VT_UNKNOWN;
    arr.parray = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
    LONG i = 1;
    ASSERT_EQ(SafeArrayPutElement(arr.parray, &i, static_cast<IUnknown*>(&element)), S_OK);
    EXPECT_EQ(element.refs, 2);

    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &arr), S_OK);
    EXPECT_NE(copy.parray, arr.parray);
    EXPECT_EQ(element.refs, 3);

    VARIANT converted;
    VariantInit(&converted);
    ASSERT_EQ(VariantChangeType(&converted, &arr, 0, VT_ARRAY | VT_UNKNOWN), S_OK);
    EXPECT_EQ(element.refs, 4);
    EXPECT_EQ(VariantChangeType(&converted, &arr, 0, VT_ARRAY | VT_I4), DISP_E_TYPEMISMATCH);

    VariantClear(&converted);
    VariantClear(&copy);
    VariantClear(&arr);
    EXPECT_EQ(element.refs, 1);
}

TEST(Variant, ClearRefusesALockedArrayAndUnknownTypes)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    VARIANT target = I4(1);
    EXPECT_EQ(VariantCopy(&v, &target), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
    SafeArrayUnaccessData(v.parray);
    EXPECT_EQ(VariantClear(&v), S_OK);

    VARIANT odd;
    VariantInit(&odd);
    odd.vt = 0x0FF0;
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantCopy(&out, &odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(out.vt, VT_EMPTY);
}
} // namespace

namespace
{
TEST(Variant, BraceInitialisationGivesAnEmptyVariantWithNullValue)
{
    VARIANT v{};
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(v.punkVal, nullptr);
    EXPECT_EQ(v.dblVal, 0.0);
}
} // namespace
