// The in-memory host application with the module's logic object and
// observables object served from this test program, structure documents
// made in the project, and a stand-in surface calculator.
#pragma once

#include "frame/ClassTable.h"
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

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace DeckTest {

// Serves the module's classes ZelmLogic and ZelmObservableData in this
// process, from the module code linked into the test, while it lives.
class ModuleClasses
{
public:
    ModuleClasses()
    {
        Register(QorZelm::CLSID_ZelmLogic, "QorZelm.ZelmLogic");
        Register(QorZelm::CLSID_ZelmObservableData, "QorZelm.ZelmObservableData");
    }
    ~ModuleClasses()
    {
        for (const DWORD cookie : m_cookies)
            CoRevokeClassObject(cookie);
    }
    ModuleClasses(const ModuleClasses&) = delete;
    ModuleClasses& operator=(const ModuleClasses&) = delete;

private:
    void Register(REFCLSID clsid, const std::string& progId)
    {
        IUnknown* factory = nullptr;
        EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        if (!factory)
            return;
        DWORD cookie = 0;
        EXPECT_EQ(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
        factory->Release();
        m_cookies.push_back(cookie);
        EXPECT_EQ(ComRegistry::RegisterInProcessProgId(progId, clsid), S_OK);
    }
    std::vector<DWORD> m_cookies;
};

// The "SurfaceCalculator" logic as far as the deck needs it: a logic with
// the calculator's state. The deck reads only the ISBLogic part of the
// calculator, so the stand-in answers the calculator's interface with it.
class SurfaceCalculatorStandIn final : public QzHost::HostLogic
{
public:
    static KelvComPtr<ISBLogic> Create()
    {
        return KelvComPtr<ISBLogic>::Adopt(static_cast<ISBLogic*>(new SurfaceCalculatorStandIn));
    }
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IQoZelmSurfaceCalculator)
            return FinishQI(static_cast<ISBLogic*>(this), out);
        return HostLogic::DelegatedQueryInterface(iid, out);
    }

private:
    SurfaceCalculatorStandIn() : HostLogic(QorZelm::CLSID_SurfaceCalculator) {}
};

// A library file of rock salt (as in examples/) and one with a core-shell
// oxygen.
inline const char* RockSaltLibrary()
{
    return "species\nNa     core  1.0\nCl     core -1.0\n#\nbuckingham\nNa core Cl core 1170.0 0.3247 0.0 0.0 10.0\n";
}
inline const char* CoreShellLibrary()
{
    return "species\nMg     core  2.0\nO      core  0.86902\nO      shel -2.86902\n#\n"
           "buckingham\nMg core O shel 1428.5 0.2945 0.0 10.0\nspring\nO 74.92\n";
}

// Runs `body` in a child process in which no file may grow beyond `limit`
// bytes (as on a full disk; a write past it fails instead of stopping the
// process) and answers the child's exit code, the result of `body`, or -1
// when the child did not exit by itself.
template <class F>
int ExitCodeUnderFileSizeLimit(rlim_t limit, F&& body)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit bound = {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &bound);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

class DeckHost : public testing::Test
{
protected:
    // The host starts in SetUp, so that a test may change the configuration
    // first (StartHost again).
    void SetUp() override
    {
        configuration.projectFolder = folder.File("project");
        configuration.coreFolder = folder.File("core");
        StartHost();
    }

    void StartHost()
    {
        host.reset();
        try {
            host = std::make_unique<QzHost::HostApplication>(configuration);
        } catch (const KelvResult& error) {
            FAIL() << "host: " << error.GetMessage();
        }
    }

    std::string Project() const { return host->DocumentsFolder(); }

    // A project document named `name` ("<name>.qsd") holding a copy of the model.
    KelvComPtr<ISBDocumentRoot> AddDocument(const std::string& name, const HostModel::Document& model)
    {
        KelvComPtr<ISBDocumentRoot> root;
        const KelvBSTR progId(HostModel::Atomistic3dDocumentProgId);
        const KelvBSTR path(Project() + "/" + name + ".qsd");
        const KelvVariant docName(name);
        EXPECT_EQ(host->Documents().NewProjectDocument(progId.Get(), path.Get(), 0, docName.Get(), root.Receive()),
                  S_OK);
        if (root)
            HostModel::DocumentOf(root.get())->CopyModelFrom(model);
        return root;
    }

    static std::shared_ptr<HostModel::Document> Model(const KelvComPtr<ISBDocumentRoot>& root)
    {
        return HostModel::DocumentOf(root.get());
    }

    static KelvComPtr<ISBScope> Contents(const KelvComPtr<ISBDocumentRoot>& root)
    {
        KelvComPtr<ISBScope> scope;
        EXPECT_EQ(root->get_ContentsAsScope(scope.Receive()), S_OK);
        return scope;
    }

    // Rock salt from the bundled CIF file, with the cell edge `a`.
    static std::shared_ptr<HostModel::Document> RockSalt(double a = 5.6402)
    {
        auto model = HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.cif");
        if (a != 5.6402) {
            HostModel::CellParameters cell = model->Lattice3()->Parameters();
            cell.a = cell.b = cell.c = a;
            model->SetCell(cell);
        }
        return model;
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

    // Selects a library written into the project folder.
    void UseProjectLibrary(const std::string& name, const std::string& text)
    {
        QzTest::WriteFile(Project() + "/" + name + ".lib", text);
        Set("ZelmLogic", "library", name);
        Set("ZelmLogic", "ChargeOption", "Library");
    }

    KelvComPtr<IZelm> Zelm() const
    {
        const KelvComPtr<ISBLogic> logic = host->Logic(QzHost::ModuleExtensionName, "ZelmLogic");
        return logic.TryQueryInterface<IZelm>();
    }

    // Saves the input files of the scope into `out`; the deck's name, or
    // "" after a failure (then `failure` holds the error text).
    std::string Save(const KelvComPtr<ISBScope>& scope, const std::string& out, HRESULT* result = nullptr)
    {
        const KelvComPtr<IZelm> zelm = Zelm();
        if (!zelm) {
            ADD_FAILURE() << "no ZelmLogic";
            return std::string();
        }
        BSTR name = nullptr;
        const KelvBSTR folderText(out);
        const HRESULT hr = zelm->SaveZelmInputFiles(scope.get(), folderText.Get(), &name);
        const std::string deck = NarrowFromBSTR(name);
        SysFreeString(name);
        failure = FAILED(hr) ? QzTest::LastErrorText() : std::string();
        if (result)
            *result = hr;
        else
            EXPECT_EQ(hr, S_OK) << failure;
        return deck;
    }

    static std::string Golden(const std::string& name)
    {
        return QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/deck/" + name);
    }

    QzTest::TempRegistry registry;
    QzTest::TempFolder folder{"deck"};
    ModuleClasses classes;
    QzHost::HostConfiguration configuration;
    std::unique_ptr<QzHost::HostApplication> host;
    std::string failure;
};

} // namespace DeckTest
