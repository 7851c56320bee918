// The logic object ZelmLogic on the in-memory host: interfaces, connection,
// the component check and the deck request's argument checks.
#include "DeckHost.h"

#include "setup/Zelm.h"

#include "common/FakeCom.h"

#include <filesystem>

using namespace DeckTest;

namespace {

// A logic object made by its create function and never connected.
KelvComPtr<IZelm> LooseLogic()
{
    void* object = nullptr;
    EXPECT_EQ(CZelm::CreateZelmLogic(&object), S_OK);
    KelvComPtr<IUnknown> unknown = KelvComPtr<IUnknown>::Adopt(static_cast<IDelegatedUnknown*>(object));
    return unknown.QueryInterface<IZelm>();
}

const char* const kComponents = "One or more components were not set up as expected";

} // namespace

TEST(LogicObject, InterfaceMap)
{
    void* object = nullptr;
    ASSERT_EQ(CZelm::CreateZelmLogic(&object), S_OK);
    auto* inner = static_cast<IDelegatedUnknown*>(object);
    const KelvComPtr<IUnknown> unknown = KelvComPtr<IUnknown>::Adopt(inner);

    const auto zelm = unknown.QueryInterface<IZelm>();
    EXPECT_EQ(static_cast<IUnknown*>(unknown.QueryInterface<ISBLogic>().get()), static_cast<IUnknown*>(zelm.get()));
    EXPECT_EQ(static_cast<IUnknown*>(unknown.QueryInterface<IDispatch>().get()), static_cast<IUnknown*>(zelm.get()));
    for (const IID* iid : {&IID_IZelm, &IID_ISupportErrorInfo, &IID_ISBLogic, &IID_ISBManagedJobFiles, &IID_IDispatch,
                           &IID_IQoEditedForcefieldConsumer, &IID_ISBContainerRootConsumer, &IID_IUnknown}) {
        // Query-only mode hands out nothing and answers 0 for a supported interface.
        EXPECT_EQ(inner->DelegatedQueryInterface(*iid, nullptr), S_OK);
    }
    EXPECT_EQ(inner->DelegatedQueryInterface(IID_IQoZelmObservableData, nullptr), S_FALSE);
    IUnknown* none = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(unknown->QueryInterface(IID_IQoZelmSurfaceCalculator, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    const auto errors = unknown.QueryInterface<ISupportErrorInfo>();
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IZelm), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ISBManagedJobFiles), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IQoZelmObservableData), S_FALSE);
}

TEST(LogicObject, UnconnectedObjectFailsWithTheComponentsMessage)
{
    const auto zelm = LooseLogic();
    BSTR name = reinterpret_cast<BSTR>(0x1);
    const KelvBSTR folder("/tmp");
    // The out pointer first, then the scope, then the components.
    EXPECT_EQ(zelm->SaveZelmInputFiles(nullptr, folder.Get(), nullptr), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    EXPECT_EQ(zelm->SaveZelmInputFiles(nullptr, folder.Get(), &name), E_INVALIDARG);
    EXPECT_EQ(QzTest::LastErrorText(), "Cannot conduct this operation without an active document");
    EXPECT_EQ(name, nullptr);

    // Any scope will do: the components are checked before it is looked at.
    struct AnyScope final : QzTest::Fake<ISBScope> {
        HRESULT get_Objects(ISBScopeObjects**) override { return E_NOTIMPL; }
        HRESULT get_DocumentRoot(ISBDocumentRoot**) override { return E_NOTIMPL; }
    };
    const auto any = QzTest::Make<AnyScope>();
    EXPECT_EQ(zelm->SaveZelmInputFiles(any.get(), folder.Get(), &name), E_UNEXPECTED);
    const QzTest::ErrorInfoText info = QzTest::TakeErrorInfo();
    EXPECT_EQ(info.description, kComponents);
    EXPECT_TRUE(IsEqualGUID(info.guid, IID_IZelm));
    EXPECT_EQ(name, nullptr);
}

namespace {

class ConnectedLogic : public DeckHost
{
protected:
    void SetUp() override
    {
        DeckHost::SetUp();
        UseProjectLibrary("rocksalt", RockSaltLibrary());
        document = AddDocument("rocksalt", *RockSalt());
        out = folder.File("out");
        std::filesystem::create_directories(out);
    }
    KelvComPtr<ISBDocumentRoot> document;
    std::string out;
};

} // namespace

TEST_F(ConnectedLogic, ConnectsAndShutsDown)
{
    EXPECT_TRUE(host->ConnectionErrors().empty()) << host->ConnectionErrors().front();
    const auto zelm = Zelm();
    ASSERT_TRUE(zelm);
    KelvComPtr<ISBExtension> extension;
    EXPECT_EQ(zelm->get_Extension(extension.Receive()), S_OK);
    KelvComPtr<ISBState> state;
    EXPECT_EQ(zelm->get_State(state.Receive()), S_OK);
    EXPECT_EQ(state.get(), static_cast<ISBState*>(host->State("ZelmLogic").get()));
    EXPECT_EQ(host->Extension(QzHost::ModuleExtensionName)->DisconnectLogic("ZelmLogic"), S_OK);
    // After the shutdown the object has let its state go.
    BSTR name = nullptr;
    EXPECT_EQ(zelm->SaveZelmInputFiles(Contents(document).get(), KelvBSTR(out).Get(), &name), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), kComponents);
}

TEST_F(ConnectedLogic, HalfConnectedObjectFailsWithTheComponentsMessage)
{
    // A connection that fails part-way: an extension without the job
    // template's logic.
    const auto zelm = LooseLogic();
    const auto consumer = KelvComPtr<IZelm>(zelm).QueryInterface<ISBContainerRootConsumer>();
    ASSERT_EQ(consumer->ConnectContainerRoot(host->Root()), S_OK);
    const auto other = host->Extension(QzHost::RestrictionsExtensionName);
    const KelvVariant instance("ZelmLogic");
    EXPECT_TRUE(FAILED(zelm->OnConnect(static_cast<ISBExtension*>(other.get()), instance.Get())));
    BSTR name = nullptr;
    EXPECT_EQ(zelm->SaveZelmInputFiles(Contents(document).get(), KelvBSTR(out).Get(), &name), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), kComponents);
    EXPECT_EQ(name, nullptr);
    consumer->DisconnectContainerRoot();
}

TEST_F(ConnectedLogic, DeckGoesIntoTheNamedFolder)
{
    Set("ZelmLogic", "Task", int32_t(2));
    // Without a closing separator the folder is still the folder.
    EXPECT_EQ(Save(Contents(document), out), "rocksalt.gin");
    EXPECT_TRUE(std::filesystem::exists(out + "/rocksalt.gin"));
    EXPECT_FALSE(std::filesystem::exists(out + "rocksalt.gin"));
    std::filesystem::create_directories(out + "/sub");
    EXPECT_EQ(Save(Contents(document), out + "/sub/"), "rocksalt.gin");
    EXPECT_TRUE(std::filesystem::exists(out + "/sub/rocksalt.gin"));

    // No folder at all is refused.
    HRESULT hr = S_OK;
    EXPECT_EQ(Save(Contents(document), "", &hr), "");
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(failure, "No folder was given for the ZELM input files.");

    // A folder that does not exist: the deck cannot be opened.
    EXPECT_EQ(Save(Contents(document), out + "/missing", &hr), "");
    EXPECT_EQ(hr, E_UNEXPECTED);
    EXPECT_EQ(failure, "Unable to open ZELM input file '" + out + "/missing/rocksalt.gin': no file can be made in its folder \"" +
                          out + "/missing\" (No such file or directory).");
}

TEST_F(ConnectedLogic, SurfaceNeedsTheSurfaceCalculator)
{
    Set("ZelmLogic", "Task", int32_t(5));
    HRESULT hr = S_OK;
    EXPECT_EQ(Save(Contents(document), out, &hr), "");
    EXPECT_EQ(hr, E_UNEXPECTED);
    EXPECT_NE(failure.find("\"SurfaceCalculator\""), std::string::npos) << failure;
}
