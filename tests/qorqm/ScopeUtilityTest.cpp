#include "qorqm/ScopeUtility.h"

#include "FakeHost.h"

#include "com/registry.h"

#include <gtest/gtest.h>

using namespace Fakes;

namespace {

using BoolQuery = HRESULT (IQoScopeUtility::*)(ISBScope*, VARIANT_BOOL*);
using ObjectQuery = HRESULT (IQoScopeUtility::*)(ISBScope*, IUnknown**);
using ArrayQuery = HRESULT (IQoScopeUtility::*)(ISBScope*, SAFEARRAY**, SAFEARRAY**);

KelvComPtr<IQoScopeUtility> CreateUtility() {
    EXPECT_TRUE(SUCCEEDED(QorQMUtilities::RegisterScopeUtility()));
    KelvComPtr<IQoScopeUtility> utility;
    Kelv::KelvCreateImpl("QorQMUtilities.ScopeUtility", nullptr, 0x15, IID_IQoScopeUtility, utility.ReceiveVoid(),
                         false);
    return utility;
}

IUnknown* Identity(IUnknown* object) {
    if (!object) {
        return nullptr;
    }
    KelvComPtr<IUnknown> unknown;
    object->QueryInterface(IID_IUnknown, unknown.ReceiveVoid());
    return unknown.get();  // the object stays alive through the caller's reference
}

// One atomistic document with a model of six atoms, and an initialised utility.
class ScopeUtilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = Make<Model>();
        document = Make<Document>(KelvComPtr<IUnknown>(static_cast<ISDObject*>(model.get())));
        model->document = document.get();
        // Fixed axes: free, x, all, x and z, all, no value, stray bit 8 with y.
        for (LONG mask : {0, 1, 7, 5, 7, -1, 10}) {
            atoms.push_back(MakeAtom("Si", mask));
            model->atoms.emplace_back(atoms.back());
        }
        utility = CreateUtility();
        ASSERT_TRUE(utility);
        ASSERT_EQ(S_OK, utility->Initialise(root.get()));
    }

    KelvComPtr<ISBScope> Selection(std::vector<std::size_t> indices) {
        std::vector<KelvComPtr<IUnknown>> objects;
        for (std::size_t i : indices) {
            objects.emplace_back(atoms[i]);
        }
        return Make<Scope>(document.get(), objects);
    }

    // The model as the one object of a scope (the contents of the document).
    KelvComPtr<ISBScope> Contents() {
        return Make<Scope>(document.get(),
                           std::vector<KelvComPtr<IUnknown>>{KelvComPtr<IUnknown>(static_cast<ISDObject*>(model.get()))});
    }

    VARIANT_BOOL Ask(BoolQuery query, ISBScope* scope) {
        VARIANT_BOOL answer = 7;
        EXPECT_EQ(S_OK, (utility.get()->*query)(scope, &answer));
        return answer;
    }

    KelvComPtr<Root> root = Make<Root>();
    KelvComPtr<Model> model;
    KelvComPtr<Document> document;
    std::vector<KelvComPtr<Atom>> atoms;
    KelvComPtr<IQoScopeUtility> utility;
};

TEST(ScopeUtilityRegistration, ProgIdAndClassIdMakeTheObjectAndRegisteringTwiceChangesNothing) {
    ASSERT_TRUE(SUCCEEDED(QorQMUtilities::RegisterScopeUtility()));
    EXPECT_EQ(S_FALSE, QorQMUtilities::RegisterScopeUtility());

    KelvComPtr<IQoScopeUtility> byProgId = CreateUtility();
    ASSERT_TRUE(byProgId);
    KelvComPtr<IQoScopeUtility> byClsid;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QoScopeUtility, nullptr, CLSCTX_SERVER, IID_IQoScopeUtility,
                                     byClsid.ReceiveVoid()));
    EXPECT_NE(byProgId.get(), byClsid.get());  // a new object each time

    auto errorInfo = byProgId.QueryInterface<ISupportErrorInfo>();
    EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_IQoScopeUtility));
    EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_ISBScope));
}

TEST_F(ScopeUtilityTest, OperationsNeedTheRootBetweenInitialiseAndShutdown) {
    auto fresh = CreateUtility();
    VARIANT_BOOL answer = VARIANT_TRUE;
    EXPECT_EQ(E_UNEXPECTED, fresh->IsPeriodic(Contents().get(), &answer));
    EXPECT_EQ(VARIANT_FALSE, answer);
    EXPECT_EQ("The scope utility has not been initialised with the application.", LastErrorText());
    EXPECT_EQ(E_INVALIDARG, fresh->Initialise(nullptr));

    ASSERT_EQ(S_OK, fresh->Initialise(root.get()));
    EXPECT_EQ(S_OK, fresh->IsPeriodic(Contents().get(), &answer));
    ASSERT_EQ(S_OK, fresh->Shutdown());
    EXPECT_EQ(E_UNEXPECTED, fresh->IsPeriodic(Contents().get(), &answer));
}

TEST_F(ScopeUtilityTest, NullArgumentsAreRefusedAndOutputsReset) {
    VARIANT_BOOL answer = VARIANT_TRUE;
    EXPECT_EQ(E_INVALIDARG, utility->IsP1(nullptr, &answer));
    EXPECT_EQ(VARIANT_FALSE, answer);
    EXPECT_EQ(E_POINTER, utility->IsP1(Contents().get(), nullptr));
    EXPECT_EQ("No pointer supplied for output argument.", LastErrorText());
    EXPECT_EQ(E_INVALIDARG, utility->MakeP1(nullptr));

    SAFEARRAY* masks = reinterpret_cast<SAFEARRAY*>(0x1);
    EXPECT_EQ(E_POINTER, utility->GetFixedAtoms(Contents().get(), &masks, nullptr));
    EXPECT_EQ(nullptr, masks);
}

TEST_F(ScopeUtilityTest, DocumentOfAScopeAndTheModelObjectBehindIt) {
    KelvComPtr<ISBDocumentRoot> found;
    EXPECT_EQ(S_OK, utility->GetDocumentRoot(Selection({2}).get(), found.Receive()));
    EXPECT_EQ(Identity(document.get()), Identity(found.get()));

    KelvComPtr<ISBScope> object;
    EXPECT_EQ(S_OK, utility->GetScopeObject(Selection({0, 1}).get(), object.Receive()));
    EXPECT_EQ(Identity(static_cast<ISDObject*>(model.get())), Identity(object.get()));

    auto orphan = Make<Scope>();
    EXPECT_EQ(S_FALSE, utility->GetDocumentRoot(orphan.get(), found.Receive()));
    EXPECT_FALSE(found);
    EXPECT_EQ(S_FALSE, utility->GetScopeObject(orphan.get(), object.Receive()));
    EXPECT_FALSE(object);

    // A document whose model is not atomistic (a chart, say) has no scope object.
    auto chart = Make<Document>(KelvComPtr<IUnknown>(static_cast<ISDObject*>(Make<PropertyObject<>>().get())));
    auto chartScope = Make<Scope>(chart.get(), std::vector<KelvComPtr<IUnknown>>{});
    EXPECT_EQ(S_FALSE, utility->GetScopeObject(chartScope.get(), object.Receive()));
    EXPECT_EQ(VARIANT_FALSE, Ask(&IQoScopeUtility::IsPeriodic, chartScope.get()));
}

TEST_F(ScopeUtilityTest, PeriodicityAndLatticeObjectsFollowTheModelsLattice) {
    struct Case {
        const char* name;
        KelvComPtr<IUnknown> lattice;
        VARIANT_BOOL periodic3D;
        VARIANT_BOOL periodic2D;
    };
    const std::vector<Case> cases = {
        {"bulk", KelvComPtr<IUnknown>(static_cast<ISDObject*>(Make<Lattice3D>().get())), VARIANT_TRUE, VARIANT_FALSE},
        {"slab", KelvComPtr<IUnknown>(static_cast<ISDObject*>(Make<Lattice2D>().get())), VARIANT_FALSE, VARIANT_TRUE},
        {"molecule", nullptr, VARIANT_FALSE, VARIANT_FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model->lattice = c.lattice;
        model->frame = c.lattice ? KelvComPtr<IUnknown>(Make<Frame>()) : nullptr;
        const auto scope = Selection({1});
        EXPECT_EQ(c.periodic3D, Ask(&IQoScopeUtility::IsPeriodic, scope.get()));
        EXPECT_EQ(c.periodic2D, Ask(&IQoScopeUtility::Is2DPeriodic, scope.get()));

        KelvComPtr<IUnknown> lattice;
        EXPECT_EQ(c.lattice ? S_OK : S_FALSE, utility->GetLattice(scope.get(), lattice.Receive()));
        EXPECT_EQ(Identity(c.lattice.get()), Identity(lattice.get()));

        KelvComPtr<IUnknown> lattice2D;
        utility->GetLattice2D(scope.get(), lattice2D.Receive());
        EXPECT_EQ(c.periodic2D == VARIANT_TRUE, static_cast<bool>(lattice2D));
        if (lattice2D) {
            EXPECT_TRUE(lattice2D.TryQueryInterface<ISDLattice2D>());
        }

        KelvComPtr<IUnknown> frame;
        utility->GetLatticeFrame(scope.get(), frame.Receive());
        EXPECT_EQ(static_cast<bool>(c.lattice), static_cast<bool>(frame));
    }
}

TEST_F(ScopeUtilityTest, P1AndSymmetryFollowTheNumberOfOperators) {
    struct Case {
        int operators;  // -1: no symmetry object
        VARIANT_BOOL isP1;
        VARIANT_BOOL hasSymmetry;
    };
    for (const Case& c : {Case{-1, VARIANT_TRUE, VARIANT_FALSE}, Case{1, VARIANT_TRUE, VARIANT_FALSE},
                          Case{4, VARIANT_FALSE, VARIANT_TRUE}}) {
        SCOPED_TRACE(c.operators);
        model->symmetry = c.operators < 0 ? nullptr : MakeSymmetry(c.operators);
        EXPECT_EQ(c.isP1, Ask(&IQoScopeUtility::IsP1, Contents().get()));
        EXPECT_EQ(c.hasSymmetry, Ask(&IQoScopeUtility::HasSymmetry, Contents().get()));
        KelvComPtr<IUnknown> symmetry;
        utility->GetSymmetry(Contents().get(), symmetry.Receive());
        EXPECT_EQ(Identity(model->symmetry.get()), Identity(symmetry.get()));
    }
}

TEST_F(ScopeUtilityTest, CrystallographicQuestionsAndConversionsGoToTheModel) {
    model->needsPrimitive = VARIANT_TRUE;
    model->nonStandard = VARIANT_TRUE;
    EXPECT_EQ(VARIANT_TRUE, Ask(&IQoScopeUtility::NeedsPrimitiveConversion, Selection({3}).get()));
    EXPECT_EQ(VARIANT_TRUE, Ask(&IQoScopeUtility::HasNonStandardSetting, Selection({3}).get()));
    // A model that answers another true value (1) still gives VARIANT_TRUE.
    model->needsPrimitive = 1;
    EXPECT_EQ(VARIANT_TRUE, Ask(&IQoScopeUtility::NeedsPrimitiveConversion, Contents().get()));

    EXPECT_EQ(S_OK, utility->MakeP1(Selection({0}).get()));
    EXPECT_EQ(S_OK, utility->ConvertToPrimitive(Contents().get()));
    EXPECT_EQ(1, model->makeP1Calls);
    EXPECT_EQ(1, model->convertCalls);

    model->makeP1Error = "Symmetry images overlap";
    EXPECT_EQ(E_FAIL, utility->MakeP1(Contents().get()));
    EXPECT_EQ("Symmetry images overlap", LastErrorText());

    // Without an atomistic document the questions answer no and the conversions are refused.
    auto orphan = Make<Scope>();
    EXPECT_EQ(VARIANT_FALSE, Ask(&IQoScopeUtility::NeedsPrimitiveConversion, orphan.get()));
    EXPECT_EQ(VARIANT_FALSE, Ask(&IQoScopeUtility::HasNonStandardSetting, orphan.get()));
    EXPECT_EQ(VARIANT_TRUE, Ask(&IQoScopeUtility::IsP1, orphan.get()));
    EXPECT_EQ(E_INVALIDARG, utility->MakeP1(orphan.get()));
    EXPECT_EQ(E_INVALIDARG, utility->ConvertToPrimitive(orphan.get()));
    EXPECT_EQ(2, model->makeP1Calls);
}

TEST_F(ScopeUtilityTest, ScopeProcessorsRunThroughTheScopeManager) {
    KelvComPtr<ISBScope> result;
    const KelvBSTR filter("Filter:Model3d!Atom");
    ASSERT_EQ(S_OK, utility->ApplyScopeProcessor(Contents().get(), filter.Get(), result.Receive()));
    KelvComPtr<ISBScopeObjects> objects;
    result->get_Objects(objects.Receive());
    LONG count = 0;
    objects->get_Count(&count);
    EXPECT_EQ(7, count);

    const KelvBSTR unknown("Filter:Model3d!Nothing");
    EXPECT_EQ(E_INVALIDARG, utility->ApplyScopeProcessor(Contents().get(), unknown.Get(), result.Receive()));
    EXPECT_EQ("Unknown scope processor Filter:Model3d!Nothing", LastErrorText());
    EXPECT_FALSE(result);
    EXPECT_EQ(E_INVALIDARG, utility->ApplyScopeProcessor(Contents().get(), nullptr, result.Receive()));
    EXPECT_EQ((std::vector<std::string>{"Filter:Model3d!Atom", "Filter:Model3d!Nothing"}), root->scopes->calls);
}

TEST_F(ScopeUtilityTest, FixedAtomQueriesGiveParallelArraysOfMasksAndAtoms) {
    struct Case {
        const char* name;
        ArrayQuery query;
        std::vector<LONG> masks;
        std::vector<std::size_t> atomIndices;
    };
    const std::vector<Case> cases = {
        {"restrictions", &IQoScopeUtility::GetFixedAtomRestrictions, {1, 7, 5, 7, 2}, {1, 2, 3, 4, 6}},
        {"wholly fixed", &IQoScopeUtility::GetFixedAtoms, {7, 7}, {2, 4}},
        {"partly fixed", &IQoScopeUtility::GetAxisConstraints, {1, 5, 2}, {1, 3, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SAFEARRAY* masks = nullptr;
        SAFEARRAY* objects = nullptr;
        ASSERT_EQ(S_OK, (utility.get()->*c.query)(Contents().get(), &masks, &objects));
        KelvSafeArray maskArray(masks);
        KelvSafeArray atomArray(objects);
        ASSERT_EQ(VT_I4, maskArray.ElementType());
        ASSERT_EQ(VT_UNKNOWN, atomArray.ElementType());
        ASSERT_EQ(c.masks.size(), maskArray.Count());
        ASSERT_EQ(c.masks.size(), atomArray.Count());
        for (LONG k = 0; k < static_cast<LONG>(c.masks.size()); ++k) {
            EXPECT_EQ(c.masks[static_cast<std::size_t>(k)], maskArray.GetLong(k));
            IUnknown* atom = nullptr;
            ASSERT_EQ(S_OK, SafeArrayGetElement(atomArray.Get(), &k, &atom));
            EXPECT_EQ(Identity(static_cast<ISDObject*>(atoms[c.atomIndices[static_cast<std::size_t>(k)]].get())),
                      Identity(atom));
            atom->Release();
        }
    }
}

TEST_F(ScopeUtilityTest, FixedAtomQueriesOfAScopeWithoutSuchAtomsGiveNoArrays) {
    SAFEARRAY* masks = reinterpret_cast<SAFEARRAY*>(0x1);
    SAFEARRAY* objects = reinterpret_cast<SAFEARRAY*>(0x1);
    // Atoms 0 (free) and 5 (no value) only; atom 1 is fixed along x alone.
    EXPECT_EQ(S_OK, utility->GetFixedAtomRestrictions(Selection({0, 5}).get(), &masks, &objects));
    EXPECT_EQ(nullptr, masks);
    EXPECT_EQ(nullptr, objects);
    EXPECT_EQ(S_OK, utility->GetFixedAtoms(Selection({0, 1}).get(), &masks, &objects));
    EXPECT_EQ(nullptr, masks);
    EXPECT_EQ(nullptr, objects);
}

TEST_F(ScopeUtilityTest, AtomsOfAScopeComeAsAOneBasedCollection) {
    KelvComPtr<ISDVariantDataDimension> collection;
    ASSERT_EQ(S_OK, utility->GetAtoms(Selection({4, 0}).get(), collection.Receive()));
    LONG count = 0;
    collection->get_Count(&count);
    ASSERT_EQ(2, count);
    KelvVariant second;
    ASSERT_EQ(S_OK, collection->Item(2, second.Receive()));
    EXPECT_EQ(Identity(static_cast<ISDObject*>(atoms[0].get())), Identity(second.ExtractUnknown().get()));
    EXPECT_EQ(DISP_E_BADINDEX, collection->Item(3, second.Receive()));
    EXPECT_EQ(DISP_E_BADINDEX, collection->Item(0, second.Receive()));

    ASSERT_EQ(S_OK, utility->GetAtoms(Contents().get(), collection.Receive()));
    collection->get_Count(&count);
    EXPECT_EQ(7, count);
}

TEST_F(ScopeUtilityTest, ModelObjectAndNumberingSourceGiveTheModel) {
    for (ObjectQuery query : {&IQoScopeUtility::GetModelObject, &IQoScopeUtility::GetNumberingSource}) {
        KelvComPtr<IUnknown> object;
        ASSERT_EQ(S_OK, (utility.get()->*query)(Selection({1}).get(), object.Receive()));
        auto source = object.QueryInterface<IQoAtomNumberingSource>();
        KelvVariant value;
        ASSERT_EQ(S_OK, source->get_NumberingSource(value.Receive()));
        ASSERT_EQ(VT_UNKNOWN, value.Type());
        EXPECT_EQ(Identity(static_cast<ISDObject*>(model.get())), Identity(value.ExtractUnknown().get()));

        auto orphan = Make<Scope>();
        EXPECT_EQ(S_FALSE, (utility.get()->*query)(orphan.get(), object.Receive()));
        EXPECT_FALSE(object);
    }
}

TEST_F(ScopeUtilityTest, PrepareKPointsGivesAnObjectTheCallerCanRelease) {
    KelvComPtr<IUnknown> result;
    EXPECT_EQ(S_OK, utility->PrepareKPoints(Contents().get(), result.Receive()));
    EXPECT_TRUE(result);
    auto orphan = Make<Scope>();
    EXPECT_EQ(E_INVALIDARG, utility->PrepareKPoints(orphan.get(), result.Receive()));
}

TEST_F(ScopeUtilityTest, SaveStructureExportsTheScopesDocumentToThePath) {
    const KelvBSTR path("/jobs/Quartz ZELM Energy/Quartz.qsd");
    ASSERT_EQ(S_OK, utility->SaveStructure(Selection({1}).get(), path.Get()));
    ASSERT_EQ(1u, root->documents->exports.size());
    const ExportCall& call = root->documents->exports[0];
    EXPECT_EQ(Identity(document.get()), Identity(call.document));
    EXPECT_EQ(0, call.flags);
    EXPECT_EQ("SDModel3dImportExport.QSDImportExport", call.exporter);
    EXPECT_EQ(VT_EMPTY, call.dataType);
    EXPECT_EQ("/jobs/Quartz ZELM Energy/Quartz.qsd", call.path);

    root->documents->failExport = true;
    EXPECT_EQ(E_ACCESSDENIED, utility->SaveStructure(Contents().get(), path.Get()));
    EXPECT_EQ("The folder is read-only", LastErrorText());

    auto orphan = Make<Scope>();
    EXPECT_EQ(E_INVALIDARG, utility->SaveStructure(orphan.get(), path.Get()));
    EXPECT_EQ(E_INVALIDARG, utility->SaveStructure(Contents().get(), nullptr));
    EXPECT_EQ(1u, root->documents->exports.size());
}

}  // namespace
