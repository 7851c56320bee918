// Formatting, strings, variants, safe arrays and interface pointers.
#include <gtest/gtest.h>

#include <iomanip>
#include <thread>
#include <type_traits>
#include <vector>

#include "fakes.h"
#include "kelv/kelv.h"

namespace
{
TEST(KelvFormat, PlaceholdersAndManipulators)
{
    struct Case
    {
        std::string got;
        std::string expected;
    };
    const Case cases[] = {
        {KelvFormat("%1 K") << std::fixed << 300.0, "300.000000 K"},
        {KelvFormat("%1") << 3.14159265358979, "3.14159"},
        {KelvFormat("%1") << 1234567.0, "1.23457e+06"},
        {KelvFormat("Value is invalid. Permitted range is %1 to %2.") << 0.5 << 2,
         "Value is invalid. Permitted range is 0.5 to 2."},
        // The manipulator between the values takes no placeholder.
        {KelvFormat("T %1 P %2") << 300.5 << std::fixed << std::setprecision(2) << 1.5, "T 300.5 P 1.50"},
        {KelvFormat("%1 %2") << std::scientific << 0.5 << std::fixed << 0.5, "5.000000e-01 0.500000"},
        {KelvFormat("[%1]") << std::setw(5) << 42, "[   42]"},
        {KelvFormat("%2 before %1") << "a" << "b", "b before a"},
        {KelvFormat("%1 and %3") << 7, "7 and %3"},
        {KelvFormat("%1") << 1 << 2 << 3, "1"},
        {KelvFormat("%1 %2") << "%2" << "x", "%2 x"},
        {KelvFormat("100% sure, %1%") << 5, "100% sure, 5%"},
        {KelvFormat("Unable to open ZELM input file '%1'.") << std::string("/p/a.gin"),
         "Unable to open ZELM input file '/p/a.gin'."},
        {KelvFormat("%1|%2") << "" << "b", "|b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expected);
    KelvFormat pattern("%1 %2");
    pattern << std::fixed << 1.0;
    KelvFormat copy(pattern);
    copy << 2.0;
    EXPECT_EQ(copy.str(), "1.000000 2.000000") << "a copy keeps values and stream settings";
    EXPECT_EQ(pattern.str(), "1.000000 %2");
}

TEST(KelvBSTR, Latin1RoundTripAndSharing)
{
    const KelvBSTR unit(std::string("eV/\xC5^2"));
    EXPECT_EQ(unit.Length(), 6u);
    EXPECT_EQ(unit.ToWString()[3], u'\u00C5');
    EXPECT_EQ(unit.ToTString(), "eV/\xC5^2");

    KelvBSTR copy = unit;
    EXPECT_EQ(copy.Get(), unit.Get()) << "copies share one string";
    BSTR out = copy.Detach();
    EXPECT_NE(out, unit.Get()) << "Detach hands out a new string";
    EXPECT_EQ(NarrowFromBSTR(out), "eV/\xC5^2");
    SysFreeString(out);

    *copy.Receive() = SysAllocStringFromNarrow("other");
    EXPECT_EQ(copy.ToTString(), "other");
    EXPECT_EQ(unit.ToTString(), "eV/\xC5^2") << "Receive on a copy leaves the original alone";
    EXPECT_TRUE(copy != unit);
    EXPECT_TRUE(KelvBSTR("eV/\xC5^2") == unit);
}

TEST(KelvBSTR, EmptyAttachAndEmbeddedNul)
{
    const KelvBSTR empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.Get(), nullptr);
    BSTR out = empty.Detach();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(SysStringLen(out), 0u);
    SysFreeString(out);
    EXPECT_TRUE(KelvBSTR("") == empty);
    EXPECT_TRUE(KelvBSTR(static_cast<const OLECHAR*>(nullptr)).IsEmpty());

    const KelvBSTR owned = KelvBSTR::Attach(SysAllocStringFromNarrow("taken"));
    EXPECT_EQ(owned.ToTString(), "taken");

    const KelvBSTR withNul(std::string("a\0b", 3));
    EXPECT_EQ(withNul.Length(), 3u);
    EXPECT_EQ(withNul.ToTString(), std::string("a\0b", 3));
}

TEST(KelvBSTR, SharedCountSurvivesConcurrentCopies)
{
    const KelvBSTR shared("shared text");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                KelvBSTR copy = shared;
                KelvBSTR moved = std::move(copy);
                (void)moved;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(shared.ToTString(), "shared text");
}

TEST(KelvVariant, Conversions)
{
    EXPECT_EQ(KelvVariant(42).String(), "42");
    EXPECT_DOUBLE_EQ(KelvVariant(42).Double(), 42.0);
    EXPECT_TRUE(KelvVariant(42).Bool());
    EXPECT_DOUBLE_EQ(KelvVariant("2.5").Double(), 2.5);
    EXPECT_EQ(KelvVariant("17").Long(), 17);
    EXPECT_EQ(KelvVariant(true).String(), "True");
    EXPECT_TRUE(KelvVariant("true").Bool());
    EXPECT_EQ(KelvVariant(2.5).String(), "2.5");
    EXPECT_EQ(KelvVariant(std::string("eV/\xC5")).Bstr().ToTString(), "eV/\xC5");
    EXPECT_EQ(KelvVariant(KelvBSTR("x")).Type(), VT_BSTR);
    try {
        KelvVariant("abc").Long();
        FAIL();
    } catch (const KelvResult& e) {
        EXPECT_EQ(e.GetHRESULT(), DISP_E_TYPEMISMATCH);
    }
}

TEST(KelvVariant, ObjectsAreCountedAndExtracted)
{
    FakeUnknown object;
    {
        KelvVariant held(static_cast<IUnknown*>(&object));
        EXPECT_EQ(object.references, 2u);
        KelvVariant copy(held);
        EXPECT_EQ(object.references, 3u);
        KelvComPtr<IUnknown> extracted = held.ExtractUnknown();
        EXPECT_EQ(extracted.get(), &object);
        EXPECT_EQ(object.references, 4u);
        copy.Receive();
        EXPECT_EQ(object.references, 3u) << "Receive clears the held value first";
        VARIANT raw = held.Detach();
        EXPECT_TRUE(held.IsEmpty());
        VariantClear(&raw);
    }
    EXPECT_EQ(object.references, 1u);

    FakeDispatchBase<IDispatch> dispatch;
    {
        KelvVariant held(static_cast<IDispatch*>(&dispatch));
        EXPECT_EQ(held.Type(), VT_DISPATCH);
        EXPECT_EQ(held.ExtractUnknown().get(), static_cast<IUnknown*>(&dispatch));
    }
    EXPECT_EQ(dispatch.references, 1u);

    for (const KelvVariant& none : {KelvVariant(), KelvVariant(7), KelvVariant(static_cast<IUnknown*>(nullptr))}) {
        try {
            none.ExtractUnknown();
            FAIL();
        } catch (const KelvResult& e) {
            EXPECT_EQ(e.GetHRESULT(), E_POINTER);
        }
    }
}

TEST(KelvVariant, DestructorNeverThrows)
{
    static_assert(std::is_nothrow_destructible_v<KelvVariant>);
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    {
        KelvVariant v;
        v.Ptr()->vt = VT_ARRAY | VT_I4;
        v.Ptr()->parray = array; // a locked array cannot be cleared
        EXPECT_THROW(v.Clear(), KelvResult);
    } // must not throw
    SafeArrayUnlock(array);
    SafeArrayDestroy(array);
}

TEST(KelvSafeArray, FromStringsAndStoreIn)
{
    KelvSafeArray names = KelvSafeArray::FromStrings({"Zn core", "O shel", "\xC5"});
    LONG lower = -1;
    ASSERT_EQ(SafeArrayGetLBound(names.Get(), 1, &lower), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(names.Count(), 3u);
    EXPECT_EQ(names.ElementType(), VT_BSTR);
    EXPECT_EQ(names.GetString(0), "Zn core");
    EXPECT_EQ(names.GetString(2), "\xC5");

    SAFEARRAY* out = SafeArrayCreateVector(VT_I4, 0, 4); // must be destroyed by StoreIn
    names.StoreIn(&out);
    EXPECT_EQ(names.Get(), nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(KelvSafeArray(out).GetString(1), "O shel");

    KelvSafeArray none = KelvSafeArray::FromStrings({});
    EXPECT_NE(none.Get(), nullptr) << "an empty list gives an empty array, not null";
    EXPECT_EQ(none.Count(), 0u);
    EXPECT_THROW(none.StoreIn(nullptr), KelvResult);
}

TEST(KelvSafeArray, TypedElementsAndErrors)
{
    KelvSafeArray numbers(VT_R8, 2, 1);
    numbers.PutDouble(1, 1.5);
    numbers.PutDouble(2, -2.0);
    EXPECT_DOUBLE_EQ(numbers.GetDouble(2), -2.0);
    try {
        numbers.GetDouble(3);
        FAIL();
    } catch (const KelvResult& e) {
        EXPECT_EQ(e.GetHRESULT(), DISP_E_BADINDEX);
    }
    EXPECT_THROW(numbers.GetLong(1), KelvResult);

    KelvSafeArray variants(VT_VARIANT, 1);
    variants.PutVariant(0, KelvVariant("v"));
    EXPECT_EQ(variants.GetVariant(0).String(), "v");
    KelvSafeArray longs(VT_I4, 1);
    longs.PutLong(0, -7);
    EXPECT_EQ(longs.GetLong(0), -7);

    SAFEARRAYBOUND bounds[2] = {{3, 0}, {2, 1}};
    KelvSafeArray grid(SafeArrayCreate(VT_BSTR, 2, bounds));
    EXPECT_EQ(grid.Count(), 6u) << "elements over all dimensions";
    EXPECT_THROW(KelvSafeArray(VT_BSTR | VT_BYREF, 1), KelvResult);
}

TEST(KelvComPtr, AdoptVersusCopy)
{
    FakeUnknown object;
    {
        KelvComPtr<IUnknown> counted(&object);
        EXPECT_EQ(object.references, 2u);
        object.AddRef();
        KelvComPtr<IUnknown> adopted = KelvComPtr<IUnknown>::Adopt(&object);
        EXPECT_EQ(object.references, 3u);
        KelvComPtr<IUnknown> copy = counted;
        EXPECT_EQ(object.references, 4u);
        KelvComPtr<IUnknown> moved = std::move(copy);
        EXPECT_EQ(object.references, 4u);
        EXPECT_FALSE(copy);
        EXPECT_TRUE(moved == counted);
        *moved.Receive() = nullptr;
        EXPECT_EQ(object.references, 3u) << "Receive releases what it held";
        IUnknown* raw = adopted.Detach();
        EXPECT_EQ(object.references, 3u);
        moved.Attach(raw);
        EXPECT_EQ(object.references, 3u);
        moved.Release();
        EXPECT_EQ(object.references, 2u);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(KelvComPtr, NullAndQueryInterface)
{
    KelvComPtr<IUnknown> none;
    try {
        (void)none.operator->();
        FAIL();
    } catch (const KelvResult& e) {
        EXPECT_EQ(e.GetHRESULT(), E_POINTER);
    }
    EXPECT_THROW(none.QueryInterface<IDispatch>(), KelvResult);
    EXPECT_FALSE(none.TryQueryInterface<IDispatch>());

    FakeUnknown object;
    {
        KelvComPtr<IUnknown> p(&object);
        try {
            p.QueryInterface<IDispatch>();
            FAIL();
        } catch (const KelvResult& e) {
            EXPECT_EQ(e.GetHRESULT(), E_NOINTERFACE);
        }
        EXPECT_FALSE(p.TryQueryInterface<IDispatch>());
        EXPECT_FALSE(KelvComPtr<IDispatch>::QueryFrom(&object));
        EXPECT_EQ(p.QueryInterface<IUnknown>().get(), &object);
    }
    EXPECT_EQ(object.references, 1u);

    FakeDispatchBase<IDispatch> dispatch;
    {
        KelvComPtr<IDispatch> d = KelvComPtr<IDispatch>::QueryFrom(&dispatch);
        ASSERT_TRUE(d);
        KelvComPtr<IUnknown> up = d; // upcast copy
        EXPECT_EQ(dispatch.references, 3u);
    }
    EXPECT_EQ(dispatch.references, 1u);
}
} // namespace
