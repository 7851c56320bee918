// The ".kptaux" body: the dispersion path comes from the generator that the
// engine logic's state holds.
#include "FakeRoot.h"

#include "host/model/ValueObjects.h"
#include "host/state/HostExtension.h"
#include "host/state/HostLogics.h"
#include "host/state/StateDefinitions.h"
#include "setup/ZelmRunInfo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct Point
{
    double x, y, z;
    LONG kind;
};

class FakePath : public IQoDispersionPath, public IQoDispersionPathPointKinds
{
public:
    explicit FakePath(std::vector<Point> points) : m_points(std::move(points)) {}
    HRESULT QueryInterface(REFIID riid, void** out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IQoDispersionPath))
            *out = static_cast<IQoDispersionPath*>(this);
        else if (IsEqualIID(riid, IID_IQoDispersionPathPointKinds))
            *out = static_cast<IQoDispersionPathPointKinds*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_count; }
    ULONG Release() override
    {
        const ULONG count = --m_count;
        if (count == 0)
            delete this;
        return count;
    }
    HRESULT get_PointCount(LONG* count) override
    {
        *count = static_cast<LONG>(m_points.size());
        return S_OK;
    }
    HRESULT GetPoint(LONG i, ISDPoint3d** point) override
    {
        const Point& p = m_points.at(static_cast<std::size_t>(i));
        *point = HostModel::MakePoint({p.x, p.y, p.z}).Detach();
        return S_OK;
    }
    HRESULT GetPointLabel(LONG, BSTR* label) override
    {
        *label = Wide("");
        return S_OK;
    }
    HRESULT GetPointKind(LONG i, LONG* kind) override
    {
        *kind = m_points.at(static_cast<std::size_t>(i)).kind;
        return S_OK;
    }

private:
    virtual ~FakePath() = default;
    std::vector<Point> m_points;
    std::atomic<ULONG> m_count{1};
};

class FakeGenerator : public RunInfoFake<IQoDispersionPathGenerator>
{
public:
    explicit FakeGenerator(std::vector<Point> points) : m_points(std::move(points)) {}
    ISBScope* askedScope = nullptr;
    HRESULT GetPath(ISBScope* scope, IQoDispersionPath** path) override
    {
        askedScope = scope;
        *path = new FakePath(m_points);
        return S_OK;
    }

private:
    std::vector<Point> m_points;
};

class KPointFile : public testing::Test
{
protected:
    KPointFile() : folder("kpoint-file") {}

    void SetUp() override
    {
        const auto definitions =
            QzHost::StateDefinitions::Load(std::string(QZ_TEST_DATA) + "/../../host/data/state-definitions.json");
        modules = QzHost::HostModules::Create();
        extension = QzHost::HostExtension::Create("QorZelm.Extension", definitions);
        extension->AddLogic("ZelmLogic", QzHost::HostLogic::Create());
        modules->AddExtension(extension);
        root = FakeRoot::Make(folder.Path(), nullptr, KelvComPtr<ISBScopeManager>(),
                              KelvComPtr<ISBExtensions>(static_cast<ISBExtensions*>(modules.get())));
        extension->ConnectLogic("ZelmLogic", root.get());
        std::ofstream(folder.Slash() + "job.gin") << "grad conv\nlibrary mylib\n";
        scope = FakeScope::Make(KelvComPtr<ISBDocumentRoot>());
    }

    // The connected logic holds the root, which holds the extension: break
    // the cycle as the host does at shut-down.
    void TearDown() override { extension->DisconnectAll(); }

    std::unique_ptr<CZelmRunInfo> Record()
    {
        return std::make_unique<CZelmRunInfo>(root, folder.Slash(), "job.gin", scope);
    }

    void SetGenerator(FakeGenerator* generator)
    {
        KelvVariant value(static_cast<IUnknown*>(generator));
        extension->State("ZelmLogic")->SetValue("PhononDispersionKPGenerator", value.Get());
    }

    TempFolder folder;
    KelvComPtr<QzHost::HostModules> modules;
    KelvComPtr<QzHost::HostExtension> extension;
    KelvComPtr<ISBContainerRoot> root;
    KelvComPtr<ISBScope> scope;
};

} // namespace

TEST_F(KPointFile, WritesThePathOfTheRequestScope)
{
    auto generator = KelvComPtr<FakeGenerator>::Adopt(
        new FakeGenerator({{0, 0, 0, 2}, {0.5, 0, 0, 4}, {0.5, 0.5, 0, 3}}));
    SetGenerator(generator.get());
    std::ostringstream out;
    out << std::scientific;
    Record()->WriteKPointFile(out);
    EXPECT_EQ(generator->askedScope, scope.get());
    const std::string text = out.str();
    EXPECT_NE(text.find("KPOINT_PATH 3"), std::string::npos) << text;
    EXPECT_NE(text.find("END_KPOINT_PATH"), std::string::npos) << text;
    EXPECT_TRUE(out.flags() & std::ios::fixed);
    EXPECT_FALSE(out.flags() & std::ios::scientific);
    EXPECT_TRUE(out.flags() & std::ios::right);
    EXPECT_EQ(out.fill(), ' ');
}

TEST_F(KPointFile, NoGeneratorIsAClearError)
{
    std::ostringstream out;
    try {
        Record()->WriteKPointFile(out);
        ADD_FAILURE() << "a path without a generator";
    } catch (const KelvResult& error) {
        EXPECT_TRUE(FAILED(error.GetHRESULT()));
        EXPECT_FALSE(error.GetMessage().empty());
    }
    EXPECT_TRUE(out.str().empty());
}
