// The module frame: class table, entry points, registration and the
// rounding helper, exercised on the module's objects linked into the test.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/TempRegistry.h"
#include "com/com.h"
#include "frame/ClassTable.h"
#include "common/RoundToNearest.h"
#include "common/ModuleIds.h"
#include "kelv/kelv.h"

using QzTest::TempRegistry;

namespace {

using QorZelm::RoundToNearest;

TEST(RoundToNearest, TiesGoUpAlsoForNegativeValues)
{
    struct Case {
        double x;
        int32_t expected;
    };
    const Case cases[] = {{2.5, 3},  {-2.5, -2}, {2.4999, 2}, {-2.6, -3}, {7.0, 7},
                          {-7.0, -7}, {0.0, 0},   {-0.5, 0},   {0.5, 1},   {-1.5, -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(RoundToNearest(&c.x), c.expected) << "x = " << c.x;
    }
}

TEST(ClassTable, HoldsTheSevenClassesInOrder)
{
    const CKelvFactoryData* table = QorZelm::ClassTable();
    const char* progIds[] = {"QorZelm.ZelmLogic",           "QorZelm.ZelmAnalysis",
                             "QorZelm.ZelmJob",             "QorZelm.ZelmStructureImporter",
                             "QorZelm.ZelmObservableData",  "QorZelm.SurfaceCalculator",
                             "QorZelm.ZelmResultsInfo"};
    ASSERT_EQ(QorZelm::ClassTableCount, 7);
    for (int row = 0; row < 7; ++row) {
        EXPECT_EQ(std::string(table[row].progId), progIds[row]);
        EXPECT_EQ(std::string(table[row].versionedProgId), std::string(progIds[row]) + ".1");
        EXPECT_TRUE(IsEqualGUID(*table[row].libid, QorZelm::LIBID_QorZelm));
        EXPECT_EQ(table[row].reserved1, 0u);
        EXPECT_EQ(table[row].reserved2, 0u);
        EXPECT_NE(table[row].create, nullptr);
    }
    EXPECT_EQ(GuidToString(*table[0].clsid), "{5D605A2B-ACDE-49CD-9642-7B268923ACD9}");
    EXPECT_EQ(GuidToString(QorZelm::LIBID_QorZelm), "{080F7E03-AC50-4949-AACA-E79F82D3099F}");
    EXPECT_STREQ(table[4].description, "Velomar: ZelmObservabledata component");
}

TEST(EntryRoutine, OnlyAttachHandsTheTableOver)
{
    // The library constructor played the attach notification at load.
    EXPECT_TRUE(QorZelm::ModuleEnabled());
    for (DWORD reason : {0u, 2u, 3u}) {
        EXPECT_EQ(DllMain(nullptr, reason, nullptr), 1);
    }
    static const char otherInstance = 0;
    EXPECT_EQ(DllMain(&otherInstance, 1, nullptr), 1);
    EXPECT_EQ(CKelvFactoryData::Instance(), static_cast<HINSTANCE>(&otherInstance));
    EXPECT_TRUE(QorZelm::ModuleEnabled());
}

TEST(EntryPoints, UnknownClassFailsCleanly)
{
    const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(DllGetClassObject(unknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
}

TEST(EntryPoints, ClassNotInThisBuildSaysWhichClass)
{
    // Every class is built by a later stage of the module; until then its
    // factory exists but creation names the missing class.
    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(QorZelm::CLSID_ZelmResultsInfo, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    IUnknown* object = nullptr;
    const HRESULT hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
    factory->Release();
    if (hr == S_OK) {
        object->Release();
        GTEST_SKIP() << "QorZelm.ZelmResultsInfo is built";
    }
    EXPECT_EQ(hr, CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR text = nullptr;
    info->GetDescription(&text);
    EXPECT_NE(NarrowFromBSTR(text).find("QorZelm.ZelmResultsInfo"), std::string::npos);
    SysFreeString(text);
    info->Release();
}

TEST(Registration, WritesAndRemovesExactlyTheSevenClasses)
{
    TempRegistry registry;
    ASSERT_EQ(DllRegisterServer(), S_OK);

    const std::vector<ComRegistry::ClassEntry> classes = ComRegistry::Classes();
    ASSERT_EQ(classes.size(), 7u);
    const CKelvFactoryData* table = QorZelm::ClassTable();
    for (int row = 0; row < 7; ++row) {
        ComRegistry::ClassEntry entry;
        ASSERT_TRUE(ComRegistry::FindClass(*table[row].clsid, entry)) << table[row].progId;
        EXPECT_EQ(entry.description, table[row].description);
        EXPECT_EQ(entry.progId, table[row].progId);
        EXPECT_EQ(entry.versionedProgId, table[row].versionedProgId);
        EXPECT_TRUE(IsEqualGUID(entry.typeLib, QorZelm::LIBID_QorZelm));
        EXPECT_FALSE(entry.modulePath.empty());
        CLSID byProgId{};
        EXPECT_TRUE(ComRegistry::FindProgId(table[row].versionedProgId, byProgId));
        EXPECT_TRUE(IsEqualGUID(byProgId, *table[row].clsid));
    }
    ComRegistry::ClassEntry observables;
    ASSERT_TRUE(ComRegistry::FindClass(QorZelm::CLSID_ZelmObservableData, observables));
    EXPECT_EQ(observables.description, "Velomar: ZelmObservabledata component");

    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_TRUE(ComRegistry::Classes().empty());
}

TEST(Registration, CanUnloadWhenNoObjectIsAlive)
{
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(DllGetClassObject(QorZelm::CLSID_ZelmJob, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    factory->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
