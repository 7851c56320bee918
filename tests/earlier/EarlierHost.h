// The in-memory host with the earlier build's logic object served from this
// test program, and the standard libraries in a core folder of its own.
#pragma once

#include "frame/ClassTable.h"
#include "common/ModuleIds.h"
#include "common/ZelmInterfaces.h"

#include "host/HostApplication.h"
#include "host/model/CifImport.h"
#include "host/model/Document.h"
#include "host/model/ModelClasses.h"
#include "host/model/ModelObjects.h"
#include "host/state/HostLogics.h"

#include "common/ErrorInfo.h"
#include "common/TempFolder.h"
#include "common/TempRegistry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace EarlierTest {

// A standard library of a cation, a core-shell anion and a partial
// coverage of the elements.
inline const char* HalidesLibrary()
{
    return "species\nNa     core  1.0\nK      core  1.0\nCl     core  1.485\nCl     shel -2.485\n"
           "Br     core  1.615\nBr     shel -2.615\n#\nbuckingham\nNa core Cl shel 1170.0 0.3247 0.0 0.0 10.0\n";
}

class EarlierHost : public testing::Test
{
protected:
    void SetUp() override
    {
        IUnknown* factory = nullptr;
        ASSERT_EQ(DllGetClassObject(QorZelm::CLSID_ZelmLogic, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  S_OK);
        EXPECT_EQ(CoRegisterClassObject(QorZelm::CLSID_ZelmLogic, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie),
                  S_OK);
        factory->Release();
        EXPECT_EQ(ComRegistry::RegisterInProcessProgId("QorZelm.ZelmLogic", QorZelm::CLSID_ZelmLogic), S_OK);

        configuration.projectFolder = folder.File("project");
        configuration.coreFolder = folder.File("core");
        WriteStandardLibrary("halides", HalidesLibrary());
        try {
            host = std::make_unique<QzHost::HostApplication>(configuration);
        } catch (const KelvResult& error) {
            FAIL() << "host: " << error.GetMessage();
        }
        Set("ZelmLogic", "library", "halides");
        Set("ZelmLogic", "ChargeOption", "Library");
        out = folder.File("out");
        std::filesystem::create_directories(out);
    }

    void TearDown() override
    {
        host.reset();
        CoRevokeClassObject(cookie);
    }

    // The standard folder as the host's state names it by default.
    std::string StandardFolder() const { return folder.File("core") + "/Resources/Virakon/ZELM/"; }

    void WriteStandardLibrary(const std::string& name, const std::string& text) const
    {
        std::filesystem::create_directories(StandardFolder());
        QzTest::WriteFile(StandardFolder() + name + ".lib", text);
    }

    KelvComPtr<ISBDocumentRoot> AddDocument(const std::string& name, const HostModel::Document& model)
    {
        KelvComPtr<ISBDocumentRoot> root;
        const KelvBSTR progId(HostModel::Atomistic3dDocumentProgId);
        const KelvBSTR path(host->DocumentsFolder() + "/" + name + ".qsd");
        const KelvVariant docName(name);
        EXPECT_EQ(host->Documents().NewProjectDocument(progId.Get(), path.Get(), 0, docName.Get(), root.Receive()),
                  S_OK);
        if (root)
            HostModel::DocumentOf(root.get())->CopyModelFrom(model);
        return root;
    }

    static KelvComPtr<ISBScope> Contents(const KelvComPtr<ISBDocumentRoot>& root)
    {
        KelvComPtr<ISBScope> scope;
        EXPECT_EQ(root->get_ContentsAsScope(scope.Receive()), S_OK);
        return scope;
    }

    void Set(const std::string& logic, const std::string& key, const KelvVariant& value)
    {
        const KelvComPtr<QzHost::HostState> state = host->State(logic);
        ASSERT_TRUE(state) << logic;
        try {
            state->SetValue(key, value.Get());
        } catch (const KelvResult& error) {
            FAIL() << logic << "." << key << ": " << error.GetMessage();
        }
    }

    KelvComPtr<IZelm> Zelm() const
    {
        return host->Logic(QzHost::ModuleExtensionName, "ZelmLogic").TryQueryInterface<IZelm>();
    }

    // Saves the input files of the scope into the output folder: S_OK, or
    // the failure with its text in `failure`.
    HRESULT Save(const KelvComPtr<ISBScope>& scope)
    {
        BSTR name = nullptr;
        const KelvBSTR folderText(out);
        const HRESULT hr = Zelm()->SaveZelmInputFiles(scope.get(), folderText.Get(), &name);
        SysFreeString(name);
        failure = FAILED(hr) ? QzTest::LastErrorText() : std::string();
        return hr;
    }

    std::string Written(const std::string& name) const { return QzTest::ReadFile(out + "/" + name); }

    static std::string Golden(const std::string& name)
    {
        return QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/earlier/" + name);
    }

    QzTest::TempRegistry registry;
    QzTest::TempFolder folder{"earlier"};
    DWORD cookie = 0;
    QzHost::HostConfiguration configuration;
    std::unique_ptr<QzHost::HostApplication> host;
    std::string out;
    std::string failure;
};

} // namespace EarlierTest
