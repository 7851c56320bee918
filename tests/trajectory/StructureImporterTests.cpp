// The structure importer through the host's ImportDocument: the stream's
// ".qsd" loaded, then the ".arc" of the same name applied.
#include <gtest/gtest.h>

#include "common/ErrorInfo.h"
#include "frame/ClassTable.h"
#include "common/ModuleIds.h"
#include "host/HostApplication.h"
#include "host/model/ModelClasses.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"
#include "qorqm/ScopeUtility.h"
#include "readers/ZelmStructureImporter.h"
#include "trajectory/FakeArchive.h"

namespace {

constexpr double Degrees = 180.0 / 3.14159265358979323846;

class StructureImporter : public ::testing::Test {
protected:
    void SetUp() override
    {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = folder.Path() + "/project";
        configuration.connectModuleLogics = false;
        configuration.stateDefinitionsFile = std::string(QZ_TEST_DATA) + "/../../host/data/state-definitions.json";
        app = std::make_unique<QzHost::HostApplication>(configuration);
        ASSERT_TRUE(SUCCEEDED(QorQMUtilities::RegisterScopeUtility()));
        // The module's class object, registered in this process as the
        // host would find it.
        IUnknown* factory = nullptr;
        ASSERT_EQ(S_OK, DllGetClassObject(QorZelm::CLSID_ZelmStructureImporter, IID_IClassFactory,
                                          reinterpret_cast<void**>(&factory)));
        ASSERT_EQ(S_OK, CoRegisterClassObject(QorZelm::CLSID_ZelmStructureImporter, factory, CLSCTX_INPROC_SERVER,
                                              REGCLS_MULTIPLEUSE, &cookie));
        factory->Release();
        ASSERT_EQ(S_OK, ComRegistry::RegisterInProcessProgId("QorZelm.ZelmStructureImporter",
                                                             QorZelm::CLSID_ZelmStructureImporter));

        HostModel::Document model;
        model.SetCell({4.0, 4.0, 4.0, 90 / Degrees, 90 / Degrees, 90 / Degrees});
        model.AddAtomAt("Na", {0.1, 0.1, 0.1});
        model.AddAtomAt("Cl", {0.6, 0.6, 0.6});
        HostModel::SaveQsd(model, Path("N.qsd"));
        archive.content.periodic3D = true;
        archive.content.frames = {{CLatticeInfo(5, 5, 5, 90, 90, 90), 0.0, 0.0, {{0.5, 0.5, 0.5}, {3, 3, 3}}}};
    }
    void TearDown() override { CoRevokeClassObject(cookie); }

    std::string Path(const std::string& name) const { return app->DocumentsFolder() + "/" + name; }

    HRESULT Import(const KelvVariant& data, KelvComPtr<ISBDocumentRoot>& document)
    {
        return app->Documents().ImportDocument(0, KelvBSTR(Path("N.qsd")).Get(),
                                               KelvBSTR(HostModel::Atomistic3dDocumentProgId).Get(),
                                               KelvBSTR("QorZelm.ZelmStructureImporter").Get(), data.Get(),
                                               document.Receive());
    }

    QzTest::TempFolder folder{"importer"};
    std::unique_ptr<QzHost::HostApplication> app;
    QzTest::FakeArchiveOpener archive;
    DWORD cookie = 0;
};

}  // namespace

TEST_F(StructureImporter, AppliesTheArchiveOfTheSameNameWhateverTheImportData)
{
    QzTest::WriteFile(Path("N.arc"), "archive");
    KelvComPtr<IUnknown> object(static_cast<IUnknown*>(app->Root()));
    for (const KelvVariant& data : {KelvVariant(), KelvVariant(object.get()), KelvVariant(int32_t{7})}) {
        KelvComPtr<ISBDocumentRoot> document;
        ASSERT_EQ(S_OK, Import(data, document)) << QzTest::LastErrorText();
        std::shared_ptr<HostModel::Document> doc = HostModel::DocumentOf(document.get());
        ASSERT_TRUE(doc);
        EXPECT_NEAR(doc->Lattice3()->Parameters().a, 5.0, 1e-12);
        EXPECT_NEAR(doc->Fractional(doc->Atoms()[0].handle)[0], 0.1, 1e-12);
        EXPECT_NEAR(doc->Fractional(doc->Atoms()[1].handle)[0], 0.6, 1e-12);
    }
    ASSERT_EQ(archive.opened.size(), 3u);
    EXPECT_EQ(archive.opened[0], Path("N.arc"));
}

TEST_F(StructureImporter, WithoutAnArchiveTheDocumentIsLoadedAsItIs)
{
    KelvComPtr<ISBDocumentRoot> document;
    ASSERT_EQ(S_OK, Import(KelvVariant(), document));
    EXPECT_NEAR(HostModel::DocumentOf(document.get())->Lattice3()->Parameters().a, 4.0, 1e-12);
    EXPECT_TRUE(archive.opened.empty());

    QzTest::WriteFile(Path("N.arc"), "archive");
    archive.content.frames[0].positions.pop_back();
    EXPECT_EQ(E_INVALIDARG, Import(KelvVariant(), document));
    EXPECT_EQ(QzTest::LastErrorText(), "Model has been modified and cannot be used for analysis: wrong number of atoms.");
}

TEST_F(StructureImporter, AnswersItsInterfaces)
{
    EXPECT_EQ(E_POINTER, CreateZelmStructureImporter(nullptr));
    void* made = nullptr;
    ASSERT_EQ(S_OK, CreateZelmStructureImporter(&made));
    KelvComPtr<IUnknown> importer = KelvComPtr<IUnknown>::Adopt(static_cast<IUnknown*>(made));
    KelvComPtr<ISupportErrorInfo> info = importer.QueryInterface<ISupportErrorInfo>();
    EXPECT_TRUE(importer.QueryInterface<ISBImporter>());
    EXPECT_TRUE(importer.QueryInterface<ISBContainerRootConsumer>());
    EXPECT_FALSE(importer.TryQueryInterface<ISBDocumentRoot>());
    for (const IID& iid : {IID_ISupportErrorInfo, IID_ISBImporter, IID_ISBContainerRootConsumer})
        EXPECT_EQ(S_OK, info->InterfaceSupportsErrorInfo(iid));
    EXPECT_EQ(S_FALSE, info->InterfaceSupportsErrorInfo(IID_IUnknown));
    // Without a container root the import fails clearly.
    KelvVariant none;
    EXPECT_TRUE(FAILED(importer.QueryInterface<ISBImporter>()->Import(nullptr, nullptr, none.Get())));
}
