// The document-to-engine atom index map and the small numeric helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "kelv/kelv.h"
#include "qorvira/AtomicIndexMap.h"
#include "qorvira/ComDataTypeUtilities.h"
#include "qorvira/QorViraUtilities.h"
#include "common/KelvResults.h"

using QzTest::CodeOf;

namespace
{
// A surface run's numbering: attachment layer {5, 2}, surface atoms {2, 3, 7}
// of 8 atoms give the engine order 2, 5, 3, 7, 1, 4, 6, 8.
CAtomicIndexMap SurfaceMap()
{
    const ULONG engineOrder[] = {2, 5, 3, 7, 1, 4, 6, 8};
    CAtomicIndexMap map;
    map.SetSize(8);
    for (ULONG engine = 1; engine <= 8; ++engine)
        map.MakeDoc2ZelmEntry(engineOrder[engine - 1], engine);
    return map;
}
} // namespace

TEST(AtomicIndexMap, DefaultMapIsNotInForceAndMapsEachNumberToItself)
{
    const CAtomicIndexMap fresh;
    for (const CAtomicIndexMap* map : {&CAtomicIndexMap::Default, &fresh}) {
        EXPECT_FALSE(map->IsInForce());
        EXPECT_EQ(map->GetSize(), 0u);
        EXPECT_EQ(map->MapDoc2Zelm(1), 1u);
        EXPECT_EQ(map->MapZelm2Doc(4711), 4711u);
        EXPECT_EQ(CodeOf([&] { map->MapDoc2Zelm(0); }), E_INVALIDARG);
    }
}

TEST(AtomicIndexMap, BothDirectionsOfASurfaceNumbering)
{
    const CAtomicIndexMap map = SurfaceMap();
    EXPECT_TRUE(map.IsInForce());
    EXPECT_EQ(map.GetSize(), 8u);
    const ULONG doc2Zelm[] = {5, 1, 3, 6, 2, 7, 4, 8};
    for (ULONG doc = 1; doc <= 8; ++doc) {
        EXPECT_EQ(map.MapDoc2Zelm(doc), doc2Zelm[doc - 1]) << "document atom " << doc;
        EXPECT_EQ(map.MapZelm2Doc(map.MapDoc2Zelm(doc)), doc);
    }
}

TEST(AtomicIndexMap, BadNumbersGiveClearErrors)
{
    CAtomicIndexMap map = SurfaceMap();
    for (ULONG bad : {0u, 9u, 4294967295u}) {
        EXPECT_EQ(CodeOf([&] { map.MapDoc2Zelm(bad); }), E_INVALIDARG) << bad;
        EXPECT_EQ(CodeOf([&] { map.MapZelm2Doc(bad); }), E_INVALIDARG) << bad;
        EXPECT_EQ(CodeOf([&] { map.MakeDoc2ZelmEntry(bad, 1); }), E_INVALIDARG) << bad;
        EXPECT_EQ(CodeOf([&] { map.MakeDoc2ZelmEntry(1, bad); }), E_INVALIDARG) << bad;
    }
    // An engine number already taken by another document atom.
    EXPECT_EQ(CodeOf([&] { map.MakeDoc2ZelmEntry(1, 1); }), E_INVALIDARG);
    EXPECT_EQ(map.MapZelm2Doc(1), 2u);

    // Entries of a map not in force, and numbers that were never paired.
    CAtomicIndexMap empty;
    EXPECT_EQ(CodeOf([&] { empty.MakeDoc2ZelmEntry(1, 1); }), E_INVALIDARG);
    empty.SetSize(3);
    empty.MakeDoc2ZelmEntry(1, 3);
    EXPECT_EQ(CodeOf([&] { empty.MapDoc2Zelm(2); }), E_INVALIDARG);
    EXPECT_EQ(CodeOf([&] { empty.MapZelm2Doc(1); }), E_INVALIDARG);
}

TEST(AtomicIndexMap, ReEntryMovesTheDocumentAtomAndFreesItsOldEngineNumber)
{
    CAtomicIndexMap map;
    map.SetSize(2);
    map.MakeDoc2ZelmEntry(1, 1);
    map.MakeDoc2ZelmEntry(1, 2);
    EXPECT_EQ(map.MapDoc2Zelm(1), 2u);
    EXPECT_EQ(CodeOf([&] { map.MapZelm2Doc(1); }), E_INVALIDARG);
    map.MakeDoc2ZelmEntry(2, 1);
    EXPECT_EQ(map.MapZelm2Doc(1), 2u);
}

TEST(AtomicIndexMap, CopiesAreIndependent)
{
    CAtomicIndexMap original = SurfaceMap();
    CAtomicIndexMap copied(original);
    CAtomicIndexMap assigned;
    assigned = original;
    CAtomicIndexMap viaCopy;
    viaCopy.Copy(original);
    original.SetSize(1);
    for (const CAtomicIndexMap* map : {&copied, &assigned, &viaCopy}) {
        EXPECT_EQ(map->GetSize(), 8u);
        EXPECT_EQ(map->MapZelm2Doc(1), 2u);
    }
    // Copying a map not in force takes it out of force.
    viaCopy.Copy(CAtomicIndexMap::Default);
    EXPECT_FALSE(viaCopy.IsInForce());
    EXPECT_EQ(viaCopy.MapDoc2Zelm(5), 5u);
}

TEST(QorViraNumbers, ZeroAndAngles)
{
    const double t = QorViraUtilities::FPTolerance();
    EXPECT_GT(t, 0.0);
    EXPECT_EQ(std::signbit(QorViraUtilities::Zero(-0.4 * t)), false);
    EXPECT_EQ(QorViraUtilities::Zero(-0.4 * t), 0.0);
    EXPECT_EQ(QorViraUtilities::Zero(-2.0 * t), -2.0 * t);
    EXPECT_EQ(QorViraUtilities::Zero(0.25), 0.25);
    EXPECT_TRUE(std::isnan(QorViraUtilities::Zero(std::nan(""))));
    EXPECT_NEAR(QorViraUtilities::DegreesPerRadian() * std::acos(-1.0), 180.0, 1e-12);

    // Any non-zero automation boolean counts as true.
    EXPECT_TRUE(ComDataTypeUtilities::ToBool(1));
}
