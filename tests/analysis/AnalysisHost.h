// The in-memory host with the module's analysis component served from this
// test program and connected by the host as the extension's
// "ZelmAnalysis" logic, over a project whose "results" folder the tests
// fill with hand-written engine outputs.
#pragma once

#include "analysis/ZelmAnalysis.h"
#include "frame/ClassTable.h"
#include "common/ZelmInterfaces.h"

#include "host/HostApplication.h"
#include "host/model/CifImport.h"
#include "host/model/Document.h"
#include "host/model/ModelClasses.h"
#include "host/model/ModelObjects.h"

#include "common/ErrorInfo.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace AnalysisTest {

// Serves "QorZelm.ZelmAnalysis" in this process while it lives.
class AnalysisClass {
public:
    AnalysisClass()
    {
        KelvComPtr<IUnknown> factory;
        EXPECT_EQ(DllGetClassObject(QorZelm::CLSID_ZelmAnalysis, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
        EXPECT_EQ(CoRegisterClassObject(QorZelm::CLSID_ZelmAnalysis, factory.get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &m_cookie),
                  S_OK);
        EXPECT_EQ(ComRegistry::RegisterInProcessProgId("QorZelm.ZelmAnalysis", QorZelm::CLSID_ZelmAnalysis), S_OK);
    }
    ~AnalysisClass() { CoRevokeClassObject(m_cookie); }
    AnalysisClass(const AnalysisClass&) = delete;
    AnalysisClass& operator=(const AnalysisClass&) = delete;

private:
    DWORD m_cookie = 0;
};

inline std::string Data(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/analysis/" + name;
}

class Fixture : public testing::Test {
protected:
    Fixture()
    {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = m_folder.File("project");
        m_host = std::make_unique<QzHost::HostApplication>(configuration);
        const KelvComPtr<ISBLogic> logic = m_host->Logic(QzHost::ModuleExtensionName, "ZelmAnalysis");
        if (logic) {
            analysis = logic.QueryInterface<IZelmAnalysis>();
            scope = logic.QueryInterface<IQoQMAnalysisScope>();
        }
        std::filesystem::create_directories(Results());
    }
    ~Fixture() override
    {
        scope.Release();
        analysis.Release();
        m_host.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(analysis) << "the host did not connect ZelmAnalysis";
        ASSERT_TRUE(m_host->ConnectionErrors().empty()) << m_host->ConnectionErrors().front();
    }

    QzHost::HostApplication& Host() { return *m_host; }
    // The results folder inside the project, without a trailing separator.
    std::string Results() const { return m_folder.File("project/results"); }
    std::string Result(const std::string& name) const { return Results() + "/" + name; }
    // Writes a file of the results folder (a fixture of tests/data/analysis
    // when `fixture` is given, else the text).
    std::string Put(const std::string& name, const std::string& text = "x\n") const
    {
        QzTest::WriteFile(Result(name), text);
        return Result(name);
    }
    std::string Copy(const std::string& fixture, const std::string& name) const
    {
        return Put(name, QzTest::ReadFile(Data(fixture)));
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(Result(name)); }

    // The scope pointed at the results folder through one of its files.
    void Look(const std::string& name) { ASSERT_EQ(scope->put_ResultsID(KelvVariant(Result(name)).Get()), S_OK); }
    std::string Selected(const std::string& category)
    {
        KelvVariant value;
        EXPECT_EQ(scope->get_ResultsIDForProperty(KelvBSTR(category).Get(), value.Receive()), S_OK);
        return value.String();
    }
    void Select(const std::string& category, const std::string& name)
    {
        ASSERT_EQ(scope->put_ResultsIDForProperty(KelvBSTR(category).Get(), KelvVariant(name).Get()), S_OK);
    }
    bool Contains(const std::string& category)
    {
        VARIANT_BOOL answer = VARIANT_TRUE;
        EXPECT_EQ(scope->get_ContainsResultsForProperty(KelvBSTR(category).Get(), &answer), S_OK);
        return answer == VARIANT_TRUE;
    }
    std::vector<std::string> Available(const std::string& category)
    {
        KelvComPtr<ISDVariantDataDimension> list;
        EXPECT_EQ(scope->get_AvailableResultsIDsForProperty(KelvBSTR(category).Get(), list.Receive()), S_OK);
        std::vector<std::string> names;
        LONG count = 0;
        if (!list || FAILED(list->get_Count(&count)))
            return names;
        for (LONG i = 1; i <= count; ++i) {
            KelvVariant item;
            list->Item(i, item.Receive());
            names.push_back(item.String());
        }
        return names;
    }
    // The answer of a Can... getter: a yes succeeds; a no either succeeds or
    // fails with the reason of the command's refusal (E_UNEXPECTED or E_FAIL,
    // with its text).
    template <class Getter>
    bool Can(Getter getter)
    {
        VARIANT_BOOL answer = VARIANT_TRUE;
        const HRESULT hr = ((*analysis).*getter)(&answer);
        if (FAILED(hr)) {
            EXPECT_EQ(answer, VARIANT_FALSE);
            EXPECT_TRUE(hr == E_UNEXPECTED || hr == E_FAIL) << std::hex << hr;
            EXPECT_FALSE(QzTest::LastErrorText().empty());
        }
        return answer == VARIANT_TRUE;
    }

    // The bundled rock salt as the structure document "<name>.qsd" of the
    // results folder.
    KelvComPtr<ISBDocumentRoot> Structure(const std::string& name = "run")
    {
        KelvComPtr<ISBDocumentRoot> root;
        const KelvBSTR progId(HostModel::Atomistic3dDocumentProgId);
        const KelvBSTR path(Result(name + ".qsd"));
        EXPECT_EQ(m_host->Documents().NewProjectDocument(progId.Get(), path.Get(), 0, KelvVariant(name).Get(),
                                                         root.Receive()),
                  S_OK);
        if (root)
            HostModel::DocumentOf(root.get())
                ->CopyModelFrom(*HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.cif"));
        EXPECT_EQ(m_host->Documents().Synchronize(), S_OK);
        return root;
    }

    KelvComPtr<IZelmAnalysis> analysis;
    KelvComPtr<IQoQMAnalysisScope> scope;

private:
    AnalysisClass m_class;
    QzTest::TempFolder m_folder{"analysis"};
    std::unique_ptr<QzHost::HostApplication> m_host;
};

} // namespace AnalysisTest
