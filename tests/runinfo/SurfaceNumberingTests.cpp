#include "setup/SurfaceRunInfo.h"

#include <gtest/gtest.h>

#include <set>

namespace {

SurfaceNumbering::Result Number(ULONG count, const std::set<ULONG>& attachment, const std::set<ULONG>& surface)
{
    return SurfaceNumbering::Number(
        count, [&](ULONG i) { return attachment.count(i) > 0; }, [&](ULONG i) { return surface.count(i) > 0; });
}

CAtomicIndexMap MapOf(const SurfaceNumbering::Result& result)
{
    CAtomicIndexMap map;
    map.SetSize(static_cast<ULONG>(result.engineOrder.size()));
    for (std::size_t k = 0; k < result.engineOrder.size(); ++k)
        map.MakeDoc2ZelmEntry(result.engineOrder[k], static_cast<ULONG>(k + 1));
    return map;
}

} // namespace

TEST(SurfaceNumbering, AttachmentLayerThenSurfaceThenRest)
{
    const auto result = Number(8, {5, 2}, {2, 3, 7});
    EXPECT_EQ(result.engineOrder, (std::vector<ULONG>{2, 5, 3, 7, 1, 4, 6, 8}));
    EXPECT_EQ(result.attachmentAtomCount, 2);
    EXPECT_EQ(result.region1AtomCount, 4);

    const CAtomicIndexMap map = MapOf(result);
    const ULONG doc2zelm[] = {5, 1, 3, 6, 2, 7, 4, 8};
    for (ULONG doc = 1; doc <= 8; ++doc) {
        EXPECT_EQ(map.MapDoc2Zelm(doc), doc2zelm[doc - 1]) << doc;
        EXPECT_EQ(map.MapZelm2Doc(doc2zelm[doc - 1]), doc);
    }
}

TEST(SurfaceNumbering, EdgeCases)
{
    const auto none = Number(4, {}, {});
    EXPECT_EQ(none.engineOrder, (std::vector<ULONG>{1, 2, 3, 4}));
    EXPECT_EQ(none.attachmentAtomCount, 0);
    EXPECT_EQ(none.region1AtomCount, 0);

    const auto empty = Number(0, {1}, {1});
    EXPECT_TRUE(empty.engineOrder.empty());
    EXPECT_EQ(empty.region1AtomCount, 0);

    // An attachment atom outside the surface set still lies in region 1.
    const auto outside = Number(3, {3}, {});
    EXPECT_EQ(outside.engineOrder, (std::vector<ULONG>{3, 1, 2}));
    EXPECT_EQ(outside.attachmentAtomCount, 1);
    EXPECT_EQ(outside.region1AtomCount, 1);

    const auto all = Number(3, {1, 2, 3}, {1, 2, 3});
    EXPECT_EQ(all.engineOrder, (std::vector<ULONG>{1, 2, 3}));
    EXPECT_EQ(all.attachmentAtomCount, 3);
    EXPECT_EQ(all.region1AtomCount, 3);
}

TEST(SurfaceRunInfo, NullDocumentLeavesEverythingEmpty)
{
    CSurfaceRunInfo info{KelvComPtr<ISBContainerRoot>(), KelvComPtr<ISBDocumentRoot>()};
    EXPECT_EQ(info.m_atomCount, 0);
    EXPECT_EQ(info.m_attachmentAtomCount, 0);
    EXPECT_EQ(info.m_region1AtomCount, 0);
    EXPECT_FALSE(info.m_atomIndexMap.IsInForce());
    CSurfaceRunInfo fromScope(nullptr, KelvComPtr<ISBContainerRoot>());
    EXPECT_EQ(fromScope.m_atomCount, 0);
    ULONG out = 0;
    EXPECT_EQ(fromScope.MapDoc2Zelm(3, &out), 3u);
    EXPECT_EQ(out, 3u);
}
