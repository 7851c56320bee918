// The surface atom and attachment layer sets: the Can answers, the edits
// with their host operations, and the engine numbering made from them.
#include "SurfaceFixture.h"

#include "setup/SurfaceRunInfo.h"

#include <array>
#include <functional>

using namespace SurfaceTest;

namespace {

using CanMethod = HRESULT (IQoZelmSurfaceCalculator::*)(ISBScope*, VARIANT_BOOL*);
using EditMethod = HRESULT (IQoZelmSurfaceCalculator::*)(ISBScope*, VARIANT_BOOL);

const CanMethod CanMethods[6] = {
    &IQoZelmSurfaceCalculator::CanAddToSurfaceAtomSet,     &IQoZelmSurfaceCalculator::CanRemoveFromSurfaceAtomSet,
    &IQoZelmSurfaceCalculator::CanSelectSurfaceAtomSet,    &IQoZelmSurfaceCalculator::CanAddToAttachmentLayerSet,
    &IQoZelmSurfaceCalculator::CanRemoveFromAttachmentLayerSet, &IQoZelmSurfaceCalculator::CanSelectAttachmentLayerSet};

// Calls one Can method (through a copy of the member pointer: a call through
// an array element confuses the bounds sanitizer).
HRESULT CallCan(IQoZelmSurfaceCalculator* calculator, int m, ISBScope* scope, VARIANT_BOOL* answer)
{
    const CanMethod method = CanMethods[m];
    return (calculator->*method)(scope, answer);
}

class SurfaceSets : public Fixture {
protected:
    std::shared_ptr<HostModel::Document> Slab4()
    {
        return MakeSlab({{"Na", 0, 1}, {"Cl", 0, -1}, {"Na", -2, 1}, {"Cl", -2, -1}}, 2, 4);
    }
    static void Fill(HostModel::Document& document, const std::string& set, const std::set<std::size_t>& numbers)
    {
        document.CreateSet(set);
        for (std::size_t n : numbers)
            document.AddToSet(set, document.Atoms()[n - 1].handle);
    }
    void AttachmentEnergy(bool on) { CalculatorState()->SetValue("CalculateAttachmentEnergy", KelvVariant(on).Get()); }
};

TEST_F(SurfaceSets, CanAnswersFollowSelectionSetsPeriodicityAndTheAttachmentSwitch)
{
    ASSERT_TRUE(calculator);
    struct Case {
        const char* what;
        bool bulk;
        std::set<std::size_t> selection, surface, attachment;
        bool attachmentEnergy;
        // CanAdd, CanRemove, CanSelect of SurfaceAtoms, then of AttachmentLayer.
        std::array<bool, 6> expected;
    };
    const Case cases[] = {
        {"nothing selected", false, {}, {1}, {1}, true, {false, false, true, false, false, true}},
        {"selection wholly in the sets", false, {1}, {1}, {1}, true, {false, true, true, false, true, true}},
        {"selection partly in the sets", false, {1, 2}, {1}, {}, true, {true, true, true, true, false, false}},
        {"a 3-D document", true, {1}, {}, {2}, true, {false, false, false, false, true, true}},
        {"attachment energy off", false, {1, 2}, {1}, {1}, false, {true, true, true, false, false, false}},
    };
    for (const Case& c : cases) {
        std::shared_ptr<HostModel::Document> document = Slab4();
        if (c.bulk)
            document->SetCell({4, 4, 4, HostModel::Radians(90), HostModel::Radians(90), HostModel::Radians(90)});
        Select(*document, c.selection);
        if (!c.surface.empty())
            Fill(*document, "SurfaceAtoms", c.surface);
        if (!c.attachment.empty())
            Fill(*document, "AttachmentLayer", c.attachment);
        AttachmentEnergy(c.attachmentEnergy);
        KelvComPtr<ISBScope> scope = ScopeOf(document);
        for (int m = 0; m < 6; ++m) {
            VARIANT_BOOL answer = 7;
            EXPECT_EQ(CallCan(calculator.get(), m, scope.get(), &answer), S_OK) << c.what << " " << m;
            EXPECT_EQ(answer, c.expected[static_cast<std::size_t>(m)] ? VARIANT_TRUE : VARIANT_FALSE)
                << c.what << ", method " << m;
        }
    }
}

TEST_F(SurfaceSets, NullOutputsAndNullScopesGiveTheirTexts)
{
    ASSERT_TRUE(calculator);
    IQoZelmSurfaceCalculator* c = calculator.get();
    const char* canNames[6] = {"CanAddSurfaceAtomSet", "CanRemoveSurfaceAtomSet", "CanSelectSurfaceAtomSet",
                               "CanAddAttachmentLayerSet", "CanRemoveAttachmentLayerSet",
                               "CanSelectAttachmentLayerSet"};
    for (int m = 0; m < 6; ++m) {
        // The out-pointer is tested before the scope.
        EXPECT_EQ(CallCan(c, m, nullptr, nullptr), E_POINTER);
        EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
        VARIANT_BOOL answer = VARIANT_TRUE;
        EXPECT_EQ(CallCan(c, m, nullptr, &answer), E_POINTER);
        EXPECT_EQ(answer, VARIANT_FALSE);
        EXPECT_EQ(QzTest::LastErrorText(), std::string("CSurfaceCalculator::") + canNames[m] + ": Scope is null.\n");
    }
    VARIANT_BOOL answer = VARIANT_FALSE;
    const std::pair<std::function<HRESULT()>, const char*> calls[] = {
        {[&] { return c->AddToSurfaceAtomSet(nullptr, VARIANT_TRUE); }, "CSurfaceCalculator::AddSurfaceAtomSet: "},
        {[&] { return c->RemoveFromSurfaceAtomSet(nullptr, VARIANT_TRUE); },
         "CSurfaceCalculator::RemoveSurfaceAtomSet: "},
        {[&] { return c->SelectSurfaceAtomSet(nullptr); }, "CSurfaceCalculator::SelectSurfaceAtomSet: "},
        {[&] { return c->AddToAttachmentLayerSet(nullptr, VARIANT_TRUE); },
         "CSurfaceCalculator::AddAttachmentLayerSet: "},
        {[&] { return c->RemoveFromAttachmentLayerSet(nullptr, VARIANT_TRUE); },
         "CSurfaceCalculator::RemoveAttachmentLayerSet: "},
        {[&] { return c->SelectAttachmentLayerSet(nullptr); }, "CSurfaceCalculator::SelectAttachmentLayerSet: "},
        {[&] { return c->CanSelectLayer(nullptr, &answer); }, ""},
        {[&] { return c->SelectLayer(nullptr, 1, 1); }, ""},
    };
    for (const auto& call : calls) {
        EXPECT_EQ(call.first(), E_POINTER) << call.second;
        EXPECT_EQ(QzTest::LastErrorText(), std::string(call.second) + "Scope is null.\n");
    }
}

TEST_F(SurfaceSets, EditsAddParentsRemoveDeletesAnEmptiedSetAndEachIsOneOperation)
{
    ASSERT_TRUE(calculator);
    std::shared_ptr<HostModel::Document> slab = Slab4();
    KelvComPtr<ISBScope> scope = ScopeOf(slab);

    Select(*slab, {1, 2});
    ASSERT_EQ(calculator->AddToSurfaceAtomSet(scope.get(), VARIANT_FALSE), S_OK);
    Select(*slab, {2, 3});
    ASSERT_EQ(calculator->AddToSurfaceAtomSet(scope.get(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(Members(*slab, "SurfaceAtoms"), (std::set<std::size_t>{1, 2, 3}));
    EXPECT_EQ(Selected(*slab), (std::set<std::size_t>{1, 2, 3})); // the set is selected

    Select(*slab, {1});
    ASSERT_EQ(calculator->RemoveFromSurfaceAtomSet(scope.get(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(Members(*slab, "SurfaceAtoms"), (std::set<std::size_t>{2, 3}));
    EXPECT_EQ(Selected(*slab), (std::set<std::size_t>{2, 3}));
    ASSERT_EQ(calculator->RemoveFromSurfaceAtomSet(scope.get(), VARIANT_TRUE), S_OK);
    EXPECT_FALSE(slab->HasSet("SurfaceAtoms")); // emptied: deleted, and nothing selected anew
    EXPECT_EQ(Selected(*slab), (std::set<std::size_t>{2, 3}));
    ASSERT_EQ(calculator->RemoveFromAttachmentLayerSet(scope.get(), VARIANT_TRUE), S_OK);
    EXPECT_TRUE(slab->SetNames().empty()); // a document without the set is left alone

    ASSERT_EQ(calculator->AddToAttachmentLayerSet(scope.get(), VARIANT_FALSE), S_OK);
    slab->ClearSelection();
    ASSERT_EQ(calculator->SelectAttachmentLayerSet(scope.get()), S_OK);
    EXPECT_EQ(Selected(*slab), (std::set<std::size_t>{2, 3}));

    const std::vector<std::pair<std::string, LONG>> expected{
        {"Add selected atoms to SurfaceAtom set", 0},         {"Add selected atoms to SurfaceAtom set", 0},
        {"Remove selected atoms from SurfaceAtom set", 0},    {"Remove selected atoms from SurfaceAtom set", 0},
        {"Remove selected atoms from AttachmentLayer set", 0}, {"Add selected atoms to AttachmentLayer set", 0},
        {"Select AttachmentLayer set", 3}};
    std::vector<std::pair<std::string, LONG>> recorded;
    for (const QzHost::OperationRecord& record : Host().Operations().Records()) {
        recorded.emplace_back(record.name, record.kind);
        EXPECT_FALSE(record.open) << record.name;
    }
    EXPECT_EQ(recorded, expected);
}

TEST_F(SurfaceSets, ImagesOfABulkDocumentAddTheirParents)
{
    ASSERT_TRUE(calculator);
    auto bulk = std::make_shared<HostModel::Document>();
    bulk->SetCell({5.64, 5.64, 5.64, HostModel::Radians(90), HostModel::Radians(90), HostModel::Radians(90)});
    bulk->SetSymmetry(HostModel::Symmetry::FromName("F m -3 m"));
    bulk->AddAtomAt("Na", {0, 0, 0});
    ASSERT_GT(bulk->Atoms().size(), 1u);
    KelvComPtr<ISBScope> scope = ScopeOf(bulk);
    Select(*bulk, {2, 3});
    ASSERT_FALSE(bulk->Atoms()[1].IsSymmetryParent());
    ASSERT_EQ(calculator->AddToSurfaceAtomSet(scope.get(), VARIANT_FALSE), S_OK);
    ASSERT_EQ(calculator->AddToSurfaceAtomSet(scope.get(), VARIANT_FALSE), S_OK);
    EXPECT_EQ(Members(*bulk, "SurfaceAtoms"), (std::set<std::size_t>{1}));
}

TEST_F(SurfaceSets, SetsMadeHereNumberTheEngineAtomsAndTheRunSettingsFindTheLogic)
{
    ASSERT_TRUE(calculator);
    std::shared_ptr<HostModel::Document> slab =
        MakeSlab({{"Na", 0, 1}, {"Cl", 0, -1}, {"Na", 0, 1}, {"Cl", 0, -1},
                  {"Na", -2, 1}, {"Cl", -2, -1}, {"Na", -2, 1}, {"Cl", -2, -1}});
    KelvComPtr<ISBScope> scope = ScopeOf(slab);
    AttachmentEnergy(true);
    Select(*slab, {5, 2});
    ASSERT_EQ(calculator->AddToAttachmentLayerSet(scope.get(), VARIANT_FALSE), S_OK);
    Select(*slab, {2, 3, 7});
    ASSERT_EQ(calculator->AddToSurfaceAtomSet(scope.get(), VARIANT_FALSE), S_OK);

    KelvComPtr<ISBContainerRoot> root(Host().Root());
    const CSurfaceRunInfo info(scope.get(), root);
    EXPECT_EQ(info.m_attachmentAtomCount, 2);
    EXPECT_EQ(info.m_region1AtomCount, 4);
    const ULONG engineOrder[] = {2, 5, 3, 7, 1, 4, 6, 8};
    for (ULONG zelm = 1; zelm <= 8; ++zelm)
        EXPECT_EQ(info.MapZelm2Doc(zelm, nullptr), engineOrder[zelm - 1]);
    EXPECT_EQ(CSurfaceRunInfo::GetSurfaceCalculatorLogic(root), calculator);
}

} // namespace
