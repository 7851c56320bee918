#include "ModelFixtures.h"

#include "host/model/Scope.h"

#include <gtest/gtest.h>

using namespace HostModelTest;

namespace {

std::vector<std::string> Elements(const Scope& scope)
{
    std::vector<std::string> r;
    for (Handle h : scope.Objects())
        r.push_back(scope.GetDocument()->FindAtom(h) ? scope.GetDocument()->GetAtom(h).element : "?");
    return r;
}

Scope Chain(Scope scope, std::initializer_list<const char*> processors)
{
    for (const char* p : processors)
        scope = ProcessScope(scope, p);
    return scope;
}

} // namespace

TEST(ScopeProcessors, SymmetryParentsInDocumentOrderWithMultiplicities)
{
    auto d = RockSalt();
    d->AddBond(d->Atoms()[0].handle, d->Atoms()[4].handle);
    const Scope parents = Chain(Scope::Contents(d), {ProcessorSymmetryParent, ProcessorAtom});
    ASSERT_EQ(parents.Count(), 2u);
    EXPECT_EQ(Elements(parents), (std::vector<std::string>{"Na", "Cl"}));
    // The running index over the multiplicities walks the stored atoms:
    // parent k sits at the sum of the multiplicities before it.
    std::size_t index = 0;
    for (Handle h : parents.Objects()) {
        EXPECT_EQ(d->Atoms()[index].handle, h);
        index += static_cast<std::size_t>(d->Multiplicity(h));
    }
    EXPECT_EQ(index, d->Atoms().size());
}

TEST(ScopeProcessors, ImagesNormaliseToTheirParentOnce)
{
    auto d = RockSalt();
    const auto& a = d->Atoms();
    // Two Cl images and one Na image, out of document order.
    const Scope images(d, {a[7].handle, a[2].handle, a[5].handle});
    const Scope parents = ProcessScope(images, ProcessorSymmetryParent);
    EXPECT_EQ(parents.Objects(), (std::vector<Handle>{a[0].handle, a[4].handle}));
}

TEST(ScopeProcessors, PeriodicParentsAreEveryAtomOfTheCell)
{
    auto d = RockSalt();
    const Scope all = Chain(Scope::Contents(d), {ProcessorPeriodicParent, ProcessorAtom});
    EXPECT_EQ(all.Count(), 8u);
    const Scope fromModel = Chain(Scope::Model(d), {ProcessorPeriodicParent, ProcessorAtom});
    EXPECT_EQ(fromModel.Objects(), all.Objects());
}

TEST(ScopeProcessors, SelectionFilterKeepsSelectedAtomsOnly)
{
    auto d = RockSalt();
    const auto& a = d->Atoms();
    d->SetSelected(a[5].handle, true);
    d->SetSelected(a[1].handle, true);
    d->AddBond(a[1].handle, a[5].handle);
    const Scope selected = Chain(Scope::Contents(d), {ProcessorIsSelected, ProcessorAtom});
    EXPECT_EQ(selected.Objects(), (std::vector<Handle>{a[1].handle, a[5].handle}));
    // Selected images count as their parents once normalised.
    const Scope parents = ProcessScope(selected, ProcessorSymmetryParent);
    EXPECT_EQ(parents.Objects(), (std::vector<Handle>{a[0].handle, a[4].handle}));
    d->ClearSelection();
    EXPECT_TRUE(ProcessScope(Scope::Contents(d), ProcessorIsSelected).IsEmpty());
}

TEST(ScopeProcessors, FiltersSeparateAtomsFromOtherObjects)
{
    Document plain;
    auto d = std::make_shared<Document>(plain);
    const Handle c1 = d->AddAtom("C", {0, 0, 0});
    const Handle c2 = d->AddAtom("C", {1.4, 0, 0});
    const Handle bond = d->AddBond(c1, c2, 2);
    const Handle pi = d->AddPiSystem({c1, c2});
    const Scope contents = Scope::Contents(d);
    EXPECT_EQ(contents.Objects(), (std::vector<Handle>{c1, c2, bond, pi}));
    EXPECT_EQ(ProcessScope(contents, ProcessorAtom).Objects(), (std::vector<Handle>{c1, c2}));
    EXPECT_EQ(ProcessScope(contents, ProcessorPiSystem).Objects(), std::vector<Handle>{pi});
    // Pi-systems survive the normalisation to symmetry parents.
    EXPECT_FALSE(Chain(contents, {ProcessorSymmetryParent, ProcessorPiSystem}).IsEmpty());

    // A model with only a bond left after deleting... and one without atoms.
    auto empty = std::make_shared<Document>();
    EXPECT_TRUE(Chain(Scope::Model(empty), {ProcessorSymmetryParent, ProcessorAtom}).IsEmpty());
}

TEST(ScopeProcessors, DocumentRootCoercionGivesTheModel)
{
    auto d = RockSalt();
    const Scope root = ProcessScope(Scope(d, {d->Atoms()[3].handle}), ProcessorDocumentRoot);
    EXPECT_EQ(root.Objects(), std::vector<Handle>{ModelHandle});
    EXPECT_EQ(Chain(root, {ProcessorSymmetryParent, ProcessorAtom}).Count(), 2u);
    EXPECT_TRUE(ProcessScope(Scope(), ProcessorDocumentRoot).IsEmpty());
}

TEST(ScopeProcessors, UnknownProcessorIsAnError)
{
    auto d = RockSalt();
    EXPECT_THROW(ProcessScope(Scope::Contents(d), "Filter:Model3d!Bond"), ModelError);
    EXPECT_THROW(ProcessScope(Scope(), "normalization:model3d!symmetryparent"), ModelError);
}

TEST(ScopeProcessors, DeletedObjectsLeaveTheirScopes)
{
    auto d = RockSalt();
    const Scope contents = Scope::Contents(d);
    d->RemoveAtom(d->Atoms()[0].handle);
    EXPECT_EQ(contents.Count(), 4u);
    EXPECT_EQ(Elements(ProcessScope(contents, ProcessorSymmetryParent)), std::vector<std::string>{"Cl"});
}

TEST(ScopeProcessors, SetScopesInDocumentOrder)
{
    auto d = RockSalt();
    const auto& a = d->Atoms();
    d->CreateSet("SurfaceAtoms");
    d->AddToSet("SurfaceAtoms", a[4].handle);
    d->AddToSet("SurfaceAtoms", a[0].handle);
    EXPECT_EQ(Scope::OfSet(d, "SurfaceAtoms").Objects(), (std::vector<Handle>{a[0].handle, a[4].handle}));
    EXPECT_TRUE(Scope::OfSet(d, "AttachmentLayer").IsEmpty());
}
