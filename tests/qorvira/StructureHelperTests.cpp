// The scope-utility helper, the forcefield sync, structure preparation and
// the connectivity writers.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "common/FakeScopeUtility.h"
#include "common/HostFakes.h"
#include "qorvira/ForcefieldSync.h"
#include "qorvira/ScopeUtilityHelper.h"
#include "qorvira/ZelmSpeciesReader.h"
#include "qorvira/ZelmUtils.h"
#include "common/KelvResults.h"

using QzTest::CodeOf;

namespace
{
// What the fake scope utility answers for every document.
struct Periodicity
{
    static inline bool bulk = false;
    static inline bool slab = false;
};

class FakeScopeUtility : public QzTest::NoScopeUtility
{
public:
    HRESULT Initialise(ISBContainerRoot* root) override
    {
        CallLog().push_back(root ? "Initialise(root)" : "Initialise(null)");
        return root ? S_OK : E_POINTER;
    }
    HRESULT Shutdown() override
    {
        CallLog().push_back("Shutdown");
        return S_OK;
    }
    HRESULT IsPeriodic(ISBScope*, VARIANT_BOOL* answer) override
    {
        *answer = Periodicity::bulk ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT Is2DPeriodic(ISBScope*, VARIANT_BOOL* answer) override
    {
        *answer = Periodicity::slab ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
};

class WithScopeUtility : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CallLog().clear();
        Periodicity::bulk = Periodicity::slab = false;
    }
    ClassRegistration<FakeScopeUtility> registration{CLSID_QoScopeUtility, "QorQMUtilities.ScopeUtility"};
    KelvComPtr<FakeRoot> root = Make<FakeRoot>();
};

KelvVariant ObjectVariant(IUnknown* object)
{
    return KelvVariant(object);
}

void Bond(const KelvComPtr<FakeAtom>& atom, const std::vector<FakeAtom*>& others)
{
    auto attached = Make<FakeCollection>();
    for (FakeAtom* other : others)
        attached->values.push_back(ObjectVariant(other));
    atom->properties["AttachedAtoms"] = ObjectVariant(attached.get());
}

void Place(const KelvComPtr<FakeAtom>& atom, double x, double y, double z)
{
    auto point = Make<FakePoint>(x, y, z);
    atom->properties["FractionalXYZ"] = KelvVariant(static_cast<IUnknown*>(static_cast<ISDPoint3d*>(point.get())));
}

// A chain C1-O1-H1 whose H1 is bound to the symmetry image O1' of O1.
class BondTest : public WithScopeUtility
{
protected:
    void SetUp() override
    {
        WithScopeUtility::SetUp();
        image->properties["SymmetryParent"] = ObjectVariant(o1.get());
        Bond(c1, {o1.get()});
        Bond(o1, {c1.get()});
        Bond(h1, {image.get()});
        Bond(image, {h1.get()});
        document = Make<FakeDocument>(std::vector<KelvComPtr<IUnknown>>{
            AsUnknown(c1.get()), AsUnknown(o1.get()), AsUnknown(image.get()), AsUnknown(h1.get())});
    }
    // The atoms' bond lists hold each other: break the cycles.
    void TearDown() override
    {
        for (auto* atom : {c1.get(), o1.get(), image.get(), h1.get()})
            atom->properties.clear();
    }
    std::string Write(bool periodic, const CAtomicIndexMap& map = CAtomicIndexMap::Default)
    {
        std::ostringstream deck;
        std::list<std::string> otherLines;
        const CZelmSpeciesReader species(otherLines, true, "dreiding.lib");
        if (periodic)
            ZelmUtils::WritePeriodicBonds(deck, document->contents.get(), root.get(), "dreiding", species, false, map);
        else
            ZelmUtils::WriteBonds(deck, document->contents.get(), root.get(), "dreiding", species, false, map);
        return deck.str();
    }

    KelvComPtr<FakeAtom> c1 = MakeAtom("C1", "C"), o1 = MakeAtom("O1"), image = MakeAtom("O1'"),
                         h1 = MakeAtom("H1", "H");
    KelvComPtr<FakeDocument> document;
};
} // namespace

TEST_F(WithScopeUtility, HelperInitialisesTheScopeUtilityAndShutsItDown)
{
    {
        CScopeUtilityHelper helper(root.get());
        ASSERT_TRUE(helper.GetScopeUtility());
        EXPECT_EQ(CallLog(), std::vector<std::string>{"Initialise(root)"});
    }
    EXPECT_EQ(CallLog(), (std::vector<std::string>{"Initialise(root)", "Shutdown"}));
    EXPECT_EQ(CodeOf([] { CScopeUtilityHelper helper(nullptr); }), E_POINTER);
}

TEST(ScopeUtilityHelper, MissingScopeUtilityIsAnError)
{
    auto root = Make<FakeRoot>();
    EXPECT_NE(CodeOf([&] { CScopeUtilityHelper helper(root.get()); }), S_OK);
}

TEST_F(BondTest, MoleculeBondsAreWrittenOnceBetweenSymmetryParents)
{
    EXPECT_EQ(Write(false), "connect 1 2\nconnect 2 3\n");
    // A molecule through the periodic writer gets no cell offsets.
    EXPECT_EQ(Write(true), "connect 1 2\nconnect 2 3\n");
}

TEST_F(BondTest, EngineNumbersComeFromTheMap)
{
    CAtomicIndexMap map; // engine order H1, C1, O1
    map.SetSize(3);
    map.MakeDoc2ZelmEntry(3, 1);
    map.MakeDoc2ZelmEntry(1, 2);
    map.MakeDoc2ZelmEntry(2, 3);
    EXPECT_EQ(Write(false, map), "connect 1 3\nconnect 2 3\n");

    CAtomicIndexMap tooSmall;
    tooSmall.SetSize(2);
    tooSmall.MakeDoc2ZelmEntry(1, 1);
    tooSmall.MakeDoc2ZelmEntry(2, 2);
    EXPECT_EQ(CodeOf([&] { Write(false, tooSmall); }), E_INVALIDARG);
}

TEST_F(BondTest, PeriodicBondsAcrossTheCellCarryTheImageOffset)
{
    Place(c1, 0.95, 0.50, 0.10);
    Place(o1, 0.05, 0.50, 0.90);
    Place(h1, 0.10, 0.45, 0.95);
    Place(image, 0.60, 0.40, 0.20);
    Periodicity::bulk = true;
    EXPECT_EQ(Write(true), "connect 1 2 1 0 -1\nconnect 2 3\n");

    // A slab: the third coordinate is no fraction and gives no offset.
    Periodicity::bulk = false;
    Periodicity::slab = true;
    Place(o1, 0.05, 0.50, -12.0);
    EXPECT_EQ(Write(true), "connect 1 2 1 0 0\nconnect 2 3\n");
}

TEST_F(BondTest, AtomWithoutBondListIsAnError)
{
    c1->properties.erase("AttachedAtoms");
    EXPECT_EQ(CodeOf([&] { Write(false); }), E_INVALIDARG);
}

TEST(PrepareStructure, TypesUntypedParentsOnlyWhenThePreparationAssignsTypes)
{
    CallLog().clear();
    auto c1 = MakeAtom("C1", "C"), o1 = MakeAtom("O1"), image = MakeAtom("O1'"), na1 = MakeAtom("Na1", "Na");
    auto bond = Make<FakeAtom>("bond");
    c1->properties["ForcefieldType"] = KelvVariant("C_3");
    for (auto* atom : {o1.get(), image.get(), na1.get()})
        atom->properties["ForcefieldType"] = KelvVariant("");
    image->properties["IsSymmetryParent"] = KelvVariant(false);
    o1->properties["IsSymmetryParent"] = KelvVariant(true);
    auto document = Make<FakeDocument>(std::vector<KelvComPtr<IUnknown>>{
        AsUnknown(c1.get()), AsUnknown(o1.get()), AsUnknown(image.get()), AsUnknown(na1.get()), AsUnknown(bond.get())});
    auto selection = Make<FakeScope>("selection", std::vector<KelvComPtr<IUnknown>>{AsUnknown(c1.get())},
                                     document.get());

    auto chooser = Make<FakeLogic>(KelvComPtr<ISBState>(Make<FakeState>().get()));
    auto preparationState = Make<FakeState>();
    auto preparation = Make<FakeLogic>(KelvComPtr<ISBState>(preparationState.get()));

    preparationState->values["AssignForcefieldTypes"] = KelvVariant(false);
    ZelmUtils::PrepareStructure(chooser.get(), preparation.get(), selection.get());
    EXPECT_TRUE(CallLog().empty());

    preparationState->values["AssignForcefieldTypes"] = KelvVariant(true);
    ZelmUtils::PrepareStructure(chooser.get(), preparation.get(), selection.get());
    EXPECT_EQ(CallLog(), (std::vector<std::string>{"put O1.ForcefieldType=O_", "put Na1.ForcefieldType=Na"}));

    EXPECT_EQ(CodeOf([&] { ZelmUtils::PrepareStructure(nullptr, preparation.get(), selection.get()); }), E_POINTER);
}

TEST(ForcefieldSync, SubscriptionHoldsTheChooserUntilUnsubscribed)
{
    auto logic = Make<FakeLogic>();
    auto chooser = Make<FakeLogic>();
    auto other = Make<FakeLogic>();
    CForcefieldSync sync;
    sync.Unsubscribe(); // nothing to end

    sync.Subscribe(logic.get(), chooser.get());
    EXPECT_TRUE(sync.IsSubscribed());
    EXPECT_EQ(chooser->References(), 2u);
    EXPECT_EQ(logic->References(), 1u); // no cycle through the subscribing logic

    // A failed subscription keeps the earlier one; a new one replaces it.
    EXPECT_EQ(CodeOf([&] { sync.Subscribe(logic.get(), nullptr); }), E_POINTER);
    EXPECT_EQ(sync.Chooser(), static_cast<ISBLogic*>(chooser.get()));
    sync.Subscribe(logic.get(), other.get());
    EXPECT_EQ(chooser->References(), 1u);

    sync.Unsubscribe();
    EXPECT_FALSE(sync.IsSubscribed());
    EXPECT_EQ(other->References(), 1u);
}
