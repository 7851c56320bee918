// The surface calculator in the in-memory host, connected as the host
// connects the module's logics: "QorZelm.SurfaceCalculator" comes from the
// module's class table, "QorZelm.ZelmLogic" is a plain logic with a state
// (registered in this process), so the calculator finds the engine logic's
// state and selected library through the host.
#pragma once

#include "hoststate/HostTestSupport.h"

#include "frame/ClassTable.h"
#include "common/ModuleIds.h"
#include "host/HostApplication.h"
#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "host/state/HostLogics.h"
#include "kelv/kelv.h"
#include "common/SurfaceCalculatorInterface.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace SurfaceTest {

inline constexpr CLSID CLSID_FakeEngineLogic = HostApi::MakeGuid("8C1F0B6E-2D43-4A8E-9C77-51E0A3D2B901");

// The engine logic as far as the calculator needs it: a logic with a state.
class FakeEngineLogic final : public QzHost::HostLogic {
public:
    FakeEngineLogic() : HostLogic(CLSID_FakeEngineLogic) {}
};

// The module's surface calculator class, registered in this process while
// it lives, and (when asked) the engine logic.
class ModuleClasses {
public:
    explicit ModuleClasses(bool withEngineLogic)
    {
        KelvComPtr<IUnknown> factory;
        EXPECT_EQ(DllGetClassObject(QorZelm::CLSID_SurfaceCalculator, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
        EXPECT_EQ(CoRegisterClassObject(QorZelm::CLSID_SurfaceCalculator, factory.get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &m_calculator),
                  S_OK);
        EXPECT_EQ(ComRegistry::RegisterInProcessProgId("QorZelm.SurfaceCalculator", QorZelm::CLSID_SurfaceCalculator),
                  S_OK);
        if (withEngineLogic)
            m_engine = std::make_unique<HostTest::ClassRegistration<FakeEngineLogic>>("QorZelm.ZelmLogic",
                                                                                      CLSID_FakeEngineLogic);
    }
    ~ModuleClasses() { CoRevokeClassObject(m_calculator); }

private:
    DWORD m_calculator = 0;
    std::unique_ptr<HostTest::ClassRegistration<FakeEngineLogic>> m_engine;
};

// A 2-D periodic slab: atoms (element, z, charge) at (0.25 k, 0.5) of a
// 4 x 4 cell; a surface description of relative depth `relative` and
// absolute depth `absolute` when `plane` is not empty.
struct SlabAtom {
    const char* element;
    double z;
    double charge;
};

inline std::shared_ptr<HostModel::Document> MakeSlab(const std::vector<SlabAtom>& atoms, double relative = 0.0,
                                                     double absolute = 0.0, const std::string& plane = "(0 0 1)")
{
    auto document = std::make_shared<HostModel::Document>();
    document->SetName("slab");
    document->SetSurfaceCell({4.0, 4.0, HostModel::Radians(90)});
    double u = 0.0;
    for (const SlabAtom& atom : atoms) {
        const HostModel::Handle handle = document->AddAtomAt(atom.element, {u, 0.5, atom.z});
        document->SetCharge(handle, atom.charge);
        u += 0.125;
    }
    if (!plane.empty()) {
        HostModel::SurfaceDescription surface;
        surface.plane = plane;
        surface.l = 1;
        surface.relativeDepth = relative;
        surface.absoluteDepth = absolute;
        document->SetSurface(surface);
    }
    return document;
}

// Selects exactly these atoms (numbers as `show` prints them).
inline void Select(HostModel::Document& document, const std::set<std::size_t>& numbers)
{
    document.ClearSelection();
    for (std::size_t n : numbers)
        document.SetSelected(document.Atoms()[n - 1].handle, true);
}

inline std::set<std::size_t> Selected(const HostModel::Document& document)
{
    std::set<std::size_t> numbers;
    for (std::size_t i = 0; i < document.Atoms().size(); ++i)
        if (document.Atoms()[i].selected)
            numbers.insert(i + 1);
    return numbers;
}

inline std::set<std::size_t> Members(const HostModel::Document& document, const std::string& set)
{
    std::set<std::size_t> numbers;
    for (HostModel::Handle h : document.SetAtoms(set))
        numbers.insert(document.IndexOf(h) + 1);
    return numbers;
}

class Fixture : public testing::Test {
protected:
    explicit Fixture(bool withEngineLogic = true) : m_classes(withEngineLogic)
    {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = m_folder.File("project");
        m_host = std::make_unique<QzHost::HostApplication>(configuration);
        KelvComPtr<ISBLogic> logic = m_host->Logic(QzHost::ModuleExtensionName, "SurfaceCalculator");
        if (logic)
            calculator = logic.QueryInterface<IQoZelmSurfaceCalculator>();
    }
    ~Fixture() override
    {
        calculator.Release();
        m_host.reset();
    }

    // The document's contents scope (the document stays alive with it).
    KelvComPtr<ISBScope> ScopeOf(const std::shared_ptr<HostModel::Document>& document)
    {
        KelvComPtr<ISBDocumentRoot> root = HostModel::DocumentRootFor(document);
        KelvComPtr<ISBScope> scope;
        EXPECT_EQ(root->get_ContentsAsScope(scope.Receive()), S_OK);
        return scope;
    }

    KelvComPtr<QzHost::HostState> EngineState() const { return m_host->State("ZelmLogic"); }
    KelvComPtr<QzHost::HostState> CalculatorState() const { return m_host->State("SurfaceCalculator"); }
    QzHost::HostApplication& Host() { return *m_host; }
    const QzTest::TempFolder& Folder() const { return m_folder; }

    KelvComPtr<IQoZelmSurfaceCalculator> calculator;

private:
    ModuleClasses m_classes;
    QzTest::TempFolder m_folder{"surface"};
    std::unique_ptr<QzHost::HostApplication> m_host;
};

} // namespace SurfaceTest
