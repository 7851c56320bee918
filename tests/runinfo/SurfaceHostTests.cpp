// Surface numbering over documents of the in-memory host.
#include "FakeRoot.h"

#include "appfw/AppUtilsDataModel.h"
#include "host/managers/ScopeManager.h"
#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "setup/SurfaceRunInfo.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

class SurfaceDocument : public testing::Test
{
protected:
    SurfaceDocument() : folder("surface-host")
    {
        auto scopes = QzHost::ScopeManager::Create();
        scopes->SetProcessor(
            [](ISBScope* scope, const std::string& processor) { return HostModel::ProcessScopeObject(scope, processor); });
        root = FakeRoot::Make(folder.Path(), nullptr, KelvComPtr<ISBScopeManager>(scopes.get()));
    }

    // A P 1 cell of `count` atoms with the given set members (1-based).
    KelvComPtr<ISBDocumentRoot> Slab(int count, const std::set<ULONG>& attachment, const std::set<ULONG>& surface)
    {
        auto document = std::make_shared<HostModel::Document>();
        document->SetCell({10, 10, 10, HostModel::Radians(90), HostModel::Radians(90), HostModel::Radians(90)});
        for (int i = 0; i < count; ++i)
            document->AddAtomAt("O", {0.1 * i, 0.05, 0.05});
        KelvComPtr<ISBDocumentRoot> documentRoot = HostModel::DocumentRootFor(document);
        AppUtils::DataModel::CreateSet("AttachmentLayer", documentRoot.get(), root.get(), false);
        AppUtils::DataModel::CreateSet("SurfaceAtoms", documentRoot.get(), root.get(), true);
        KelvComPtr<ISBScope> contents;
        EXPECT_EQ(documentRoot->get_ContentsAsScope(contents.Receive()), S_OK);
        KelvComPtr<ISBScopeObjects> objects;
        EXPECT_EQ(contents->get_Objects(objects.Receive()), S_OK);
        for (ULONG i = 1; i <= static_cast<ULONG>(count); ++i) {
            KelvComPtr<IUnknown> atom;
            EXPECT_EQ(objects->Item(static_cast<LONG>(i), atom.Receive()), S_OK);
            if (attachment.count(i))
                AppUtils::DataModel::AddObjectToSet(atom.get(), "AttachmentLayer", documentRoot.get(), root.get());
            if (surface.count(i))
                AppUtils::DataModel::AddObjectToSet(atom.get(), "SurfaceAtoms", documentRoot.get(), root.get());
        }
        return documentRoot;
    }

    TempFolder folder;
    KelvComPtr<ISBContainerRoot> root;
};

} // namespace

TEST_F(SurfaceDocument, NumbersTheNamedSetsFirstBothDirections)
{
    const CSurfaceRunInfo info(root, Slab(8, {5, 2}, {2, 3, 7}));
    EXPECT_EQ(info.m_atomCount, 8);
    EXPECT_EQ(info.m_attachmentAtomCount, 2);
    EXPECT_EQ(info.m_region1AtomCount, 4);
    const ULONG engineOrder[] = {2, 5, 3, 7, 1, 4, 6, 8};
    for (ULONG zelm = 1; zelm <= 8; ++zelm) {
        ULONG doc = 0;
        EXPECT_EQ(info.MapZelm2Doc(zelm, &doc), engineOrder[zelm - 1]);
        EXPECT_EQ(doc, engineOrder[zelm - 1]);
        ULONG back = 0;
        EXPECT_EQ(info.MapDoc2Zelm(doc, &back), zelm);
        EXPECT_EQ(back, zelm);
    }
    // The readers take a copy of the map.
    CAtomicIndexMap copy;
    copy.Copy(info.m_atomIndexMap);
    EXPECT_EQ(copy.MapZelm2Doc(1), 2u);
}

TEST_F(SurfaceDocument, NoSetMembersGiveTheIdentity)
{
    const CSurfaceRunInfo info(root, Slab(5, {}, {}));
    EXPECT_EQ(info.m_atomCount, 5);
    EXPECT_EQ(info.m_attachmentAtomCount, 0);
    EXPECT_EQ(info.m_region1AtomCount, 0);
    for (ULONG n = 1; n <= 5; ++n)
        EXPECT_EQ(info.MapDoc2Zelm(n, nullptr), n);
}

TEST_F(SurfaceDocument, OnlySymmetryParentsAreNumbered)
{
    auto document = std::make_shared<HostModel::Document>();
    document->SetCell({5.64, 5.64, 5.64, HostModel::Radians(90), HostModel::Radians(90), HostModel::Radians(90)});
    document->SetSymmetry(HostModel::Symmetry::FromName("F m -3 m"));
    document->AddAtomAt("Na", {0, 0, 0});
    document->AddAtomAt("Cl", {0.5, 0.5, 0.5});
    const CSurfaceRunInfo info(root, HostModel::DocumentRootFor(document));
    EXPECT_EQ(info.m_atomCount, 2);
    EXPECT_EQ(info.MapZelm2Doc(2, nullptr), 2u);
}

TEST_F(SurfaceDocument, SurfaceCalculatorLogicMissingIsNull)
{
    EXPECT_FALSE(CSurfaceRunInfo::GetSurfaceCalculatorLogic(root));
}
