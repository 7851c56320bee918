// The scope utility over the in-memory host application and its document
// model, on rock salt (F m -3 m: two symmetry parents, eight atoms in the
// conventional cell).

#include "qorqm/ScopeUtility.h"

#include "common/TempFolder.h"

#include "host/HostApplication.h"
#include "host/model/CifImport.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"

#include <gtest/gtest.h>

#include <filesystem>

using QzTest::TempFolder;

namespace {

LONG CountObjects(ISBScope* scope) {
    KelvComPtr<ISBScopeObjects> objects;
    EXPECT_EQ(S_OK, scope->get_Objects(objects.Receive()));
    LONG count = -1;
    objects->get_Count(&count);
    return count;
}

class ScopeUtilityOverHost : public ::testing::Test {
protected:
    void SetUp() override {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = folder.Path() + "/project";
        configuration.connectModuleLogics = false;
        configuration.stateDefinitionsFile = std::string(QZ_TEST_DATA) + "/../../host/data/state-definitions.json";
        try {
            app = std::make_unique<QzHost::HostApplication>(configuration);
        } catch (const KelvResult& e) {
            FAIL() << "host: " << e.GetMessage();
        }

        const std::string path = app->DocumentsFolder() + "/NaCl.qsd";
        HostModel::SaveQsd(*HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/hostmodel/rocksalt.cif"), path);
        document = app->Documents().Open(path);
        ASSERT_EQ(S_OK, document->get_ContentsAsScope(contents.Receive()));

        ASSERT_TRUE(SUCCEEDED(QorQMUtilities::RegisterScopeUtility()));
        Kelv::KelvCreateImpl(QorQMUtilities::ScopeUtilityProgId, nullptr, 0x15, IID_IQoScopeUtility,
                             utility.ReceiveVoid(), false);
        ASSERT_TRUE(utility);
        ASSERT_EQ(S_OK, utility->Initialise(app->Root()));
    }

    void TearDown() override {
        if (utility) {
            utility->Shutdown();
        }
    }

    VARIANT_BOOL Ask(HRESULT (IQoScopeUtility::*query)(ISBScope*, VARIANT_BOOL*)) {
        VARIANT_BOOL answer = 7;
        EXPECT_EQ(S_OK, (utility.get()->*query)(contents.get(), &answer));
        return answer;
    }

    KelvComPtr<ISBScope> Process(ISBScope* scope, const char* processor) {
        KelvComPtr<ISBScope> result;
        const KelvBSTR name(processor);
        EXPECT_EQ(S_OK, utility->ApplyScopeProcessor(scope, name.Get(), result.Receive()));
        return result;
    }

    TempFolder folder;
    std::unique_ptr<QzHost::HostApplication> app;
    KelvComPtr<ISBDocumentRoot> document;
    KelvComPtr<ISBScope> contents;
    KelvComPtr<IQoScopeUtility> utility;
};

TEST_F(ScopeUtilityOverHost, AnswersAboutABulkCrystalWithSymmetry) {
    EXPECT_EQ(VARIANT_TRUE, Ask(&IQoScopeUtility::IsPeriodic));
    EXPECT_EQ(VARIANT_FALSE, Ask(&IQoScopeUtility::Is2DPeriodic));
    EXPECT_EQ(VARIANT_FALSE, Ask(&IQoScopeUtility::IsP1));
    EXPECT_EQ(VARIANT_TRUE, Ask(&IQoScopeUtility::HasSymmetry));
    const auto model = HostModel::DocumentOf(document.get());
    ASSERT_TRUE(model);
    EXPECT_EQ(model->NeedsPrimitiveConversion() ? VARIANT_TRUE : VARIANT_FALSE,
              Ask(&IQoScopeUtility::NeedsPrimitiveConversion));

    KelvComPtr<ISBScope> object;
    ASSERT_EQ(S_OK, utility->GetScopeObject(contents.get(), object.Receive()));
    KelvComPtr<IUnknown> lattice;
    ASSERT_EQ(S_OK, utility->GetLattice(object.get(), lattice.Receive()));
    EXPECT_TRUE(lattice.TryQueryInterface<ISDLattice3D>());
    KelvComPtr<IUnknown> frame;
    EXPECT_EQ(S_OK, utility->GetLatticeFrame(contents.get(), frame.Receive()));
    EXPECT_TRUE(frame.TryQueryInterface<ISDLatticeFrame>());

    const auto parents = Process(Process(contents.get(), "Normalization:Model3d!SymmetryParent").get(),
                                 "Filter:Model3d!Atom");
    EXPECT_EQ(2, CountObjects(parents.get()));
    KelvComPtr<ISDVariantDataDimension> atoms;
    ASSERT_EQ(S_OK, utility->GetAtoms(contents.get(), atoms.Receive()));
    LONG count = 0;
    atoms->get_Count(&count);
    EXPECT_EQ(8, count);
}

TEST_F(ScopeUtilityOverHost, FixedAxesOfAnAtomShowInTheRestrictionQueries) {
    SAFEARRAY* masks = nullptr;
    SAFEARRAY* atoms = nullptr;
    ASSERT_EQ(S_OK, utility->GetFixedAtomRestrictions(contents.get(), &masks, &atoms));
    EXPECT_EQ(nullptr, masks);
    EXPECT_EQ(nullptr, atoms);

    const auto parents = Process(Process(contents.get(), "Normalization:Model3d!SymmetryParent").get(),
                                 "Filter:Model3d!Atom");
    KelvComPtr<ISBScopeObjects> objects;
    parents->get_Objects(objects.Receive());
    KelvComPtr<IUnknown> sodium;
    ASSERT_EQ(S_OK, objects->Item(1, sodium.Receive()));
    LONG status = SDPropertyNoHint;
    const KelvVariant mask(static_cast<int32_t>(5));
    const KelvBSTR property(QorQMUtilities::FixedAxesProperty);
    ASSERT_EQ(S_OK, sodium.QueryInterface<ISDObject>()->put_PropertyValue(property.Get(), &status, mask.Get()));

    ASSERT_EQ(S_OK, utility->GetAxisConstraints(parents.get(), &masks, &atoms));
    KelvSafeArray maskArray(masks);
    KelvSafeArray atomArray(atoms);
    ASSERT_EQ(1u, maskArray.Count());
    EXPECT_EQ(5, maskArray.GetLong(0));
    ASSERT_EQ(S_OK, utility->GetFixedAtoms(parents.get(), &masks, &atoms));
    EXPECT_EQ(nullptr, masks);
    EXPECT_EQ(nullptr, atoms);
}

TEST_F(ScopeUtilityOverHost, MakeP1AndSaveTheStructure) {
    ASSERT_EQ(S_OK, utility->MakeP1(contents.get()));
    EXPECT_EQ(VARIANT_TRUE, Ask(&IQoScopeUtility::IsP1));
    EXPECT_EQ(VARIANT_FALSE, Ask(&IQoScopeUtility::HasSymmetry));
    const auto parents = Process(Process(contents.get(), "Normalization:Model3d!SymmetryParent").get(),
                                 "Filter:Model3d!Atom");
    EXPECT_EQ(8, CountObjects(parents.get()));

    const std::string copy = app->DocumentsFolder() + "/job/NaCl.qsd";
    std::filesystem::create_directories(app->DocumentsFolder() + "/job");
    const KelvBSTR path(copy);
    ASSERT_EQ(S_OK, utility->SaveStructure(contents.get(), path.Get()));
    ASSERT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(8u, HostModel::LoadQsd(copy)->Atoms().size());
}

}  // namespace
