#include "host/state/DispersionPathGenerator.h"

#include "host/managers/HostCall.h"
#include "host/model/ComSupport.h"
#include "host/model/ModelObjects.h"
#include "host/model/ValueObjects.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace QzHost {

namespace {

// ------------------------------------------------------------------ path

class DispersionPath final : public CKelvUnknown, public IQoDispersionPath, public IQoDispersionPathPointKinds {
public:
    explicit DispersionPath(const std::vector<KPointRun>& runs)
    {
        for (const KPointRun& run : runs) {
            for (std::size_t i = 0; i < run.size(); ++i) {
                LONG kind = SegmentBoundaryJoint;
                if (i == 0)
                    kind = SegmentBoundaryStart;
                else if (i + 1 == run.size())
                    kind = SegmentBoundaryEnd;
                m_points.push_back({run[i], kind});
            }
        }
    }

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IQoDispersionPath)
            return FinishQI(static_cast<IQoDispersionPath*>(this), out);
        if (iid == IID_IQoDispersionPathPointKinds)
            return FinishQI(static_cast<IQoDispersionPathPointKinds*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT get_PointCount(LONG* pCount) override
    {
        return HostCall(IID_IQoDispersionPath, [&] {
            RequireOut(pCount);
            *pCount = static_cast<LONG>(m_points.size());
        });
    }

    HRESULT GetPoint(LONG index, ISDPoint3d** ppPoint) override
    {
        return HostCall(IID_IQoDispersionPath, [&] {
            RequireOut(ppPoint);
            *ppPoint = nullptr;
            const LabelledKPoint& point = At(index).point;
            *ppPoint = HostModel::MakePoint({point.x, point.y, point.z}).Detach();
        });
    }

    HRESULT GetPointLabel(LONG index, BSTR* pLabel) override
    {
        return HostCall(IID_IQoDispersionPath, [&] {
            RequireOut(pLabel);
            *pLabel = nullptr;
            StoreString(pLabel, At(index).point.label);
        });
    }

    HRESULT GetPointKind(LONG index, LONG* pKind) override
    {
        return HostCall(IID_IQoDispersionPathPointKinds, [&] {
            RequireOut(pKind);
            *pKind = 0;
            *pKind = At(index).kind;
        });
    }

private:
    struct Entry {
        LabelledKPoint point;
        LONG kind;
    };

    const Entry& At(LONG index) const
    {
        if (index < 0 || static_cast<std::size_t>(index) >= m_points.size())
            Fail(E_INVALIDARG, "The dispersion path has no point " + std::to_string(index) + " (it has " +
                                   std::to_string(m_points.size()) + ").");
        return m_points[static_cast<std::size_t>(index)];
    }

    std::vector<Entry> m_points;
};

void Validate(const std::vector<KPointRun>& runs)
{
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].size() < 2)
            Fail(E_INVALIDARG, "Run " + std::to_string(r + 1) + " of the dispersion path needs two k-points or more.");
        for (const LabelledKPoint& point : runs[r]) {
            if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
                Fail(E_INVALIDARG, "The k-points of a dispersion path need finite coordinates.");
        }
    }
}

// ------------------------------------------------------- standard paths

bool SameLength(double a, double b)
{
    return std::fabs(a - b) <= 1e-4 * std::max(a, b);
}

bool AngleIs(double radians, double degrees)
{
    return std::fabs(radians - HostModel::Radians(degrees)) <= 1e-4;
}

LabelledKPoint K(const char* label, double x, double y, double z)
{
    return LabelledKPoint{x, y, z, label};
}

} // namespace

std::vector<KPointRun> StandardDispersionPath(const HostModel::CellParameters& cell)
{
    const LabelledKPoint gamma = K("Gamma", 0, 0, 0);
    const bool rightAngles = AngleIs(cell.alpha, 90) && AngleIs(cell.beta, 90) && AngleIs(cell.gamma, 90);
    const bool aIsB = SameLength(cell.a, cell.b);
    if (rightAngles && aIsB && SameLength(cell.b, cell.c)) {
        const LabelledKPoint x = K("X", 0, 0.5, 0), m = K("M", 0.5, 0.5, 0), r = K("R", 0.5, 0.5, 0.5);
        return {{gamma, x, m, gamma, r, x}, {m, r}};
    }
    if (rightAngles && aIsB) {
        const LabelledKPoint x = K("X", 0, 0.5, 0), m = K("M", 0.5, 0.5, 0), z = K("Z", 0, 0, 0.5);
        const LabelledKPoint r = K("R", 0, 0.5, 0.5), a = K("A", 0.5, 0.5, 0.5);
        return {{gamma, x, m, gamma, z, r, a, z}, {x, r}, {m, a}};
    }
    if (rightAngles) {
        const LabelledKPoint x = K("X", 0.5, 0, 0), y = K("Y", 0, 0.5, 0), z = K("Z", 0, 0, 0.5);
        const LabelledKPoint s = K("S", 0.5, 0.5, 0), u = K("U", 0.5, 0, 0.5), t = K("T", 0, 0.5, 0.5);
        const LabelledKPoint r = K("R", 0.5, 0.5, 0.5);
        return {{gamma, x, s, y, gamma, z, u, r, t, z}, {y, t}, {u, x}, {s, r}};
    }
    const bool hexagonalAngles =
        AngleIs(cell.alpha, 90) && AngleIs(cell.beta, 90) && (AngleIs(cell.gamma, 120) || AngleIs(cell.gamma, 60));
    if (aIsB && hexagonalAngles) {
        // The corner K of the hexagonal zone: (1/3, 1/3) of the reciprocal
        // vectors when they enclose 60 degrees (cell angle 120), (2/3, 1/3)
        // when they enclose 120 degrees (cell angle 60).
        const double kx = AngleIs(cell.gamma, 120) ? 1.0 / 3.0 : 2.0 / 3.0;
        const LabelledKPoint m = K("M", 0.5, 0, 0), k = K("K", kx, 1.0 / 3.0, 0), a = K("A", 0, 0, 0.5);
        const LabelledKPoint l = K("L", 0.5, 0, 0.5), h = K("H", kx, 1.0 / 3.0, 0.5);
        return {{gamma, m, k, gamma, a, l, h, a}, {l, m}, {k, h}};
    }
    return {{gamma, K("X", 0.5, 0, 0)}, {K("Y", 0, 0.5, 0), gamma, K("Z", 0, 0, 0.5)}};
}

KelvComPtr<IQoDispersionPath> MakeDispersionPath(const std::vector<KPointRun>& runs)
{
    Validate(runs);
    DispersionPath* path = new DispersionPath(runs);
    return KelvComPtr<IQoDispersionPath>::Adopt(static_cast<IQoDispersionPath*>(path));
}

// -------------------------------------------------------------- generator

KelvComPtr<DispersionPathGenerator> DispersionPathGenerator::Create()
{
    return KelvComPtr<DispersionPathGenerator>::Adopt(new DispersionPathGenerator());
}

HRESULT DispersionPathGenerator::CreateInstance(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(Create().Detach());
    return S_OK;
}

namespace {

struct Registration {
    HRESULT result = S_OK;
    DWORD cookie = 0;

    Registration()
    {
        const KelvComPtr<IClassFactory> factory = HostModel::MakeClassFactory(&DispersionPathGenerator::CreateInstance);
        result = CoRegisterClassObject(CLSID_HostDispersionPathGenerator, factory.get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
        if (SUCCEEDED(result))
            result = ComRegistry::RegisterInProcessProgId(DispersionPathGeneratorProgId,
                                                          CLSID_HostDispersionPathGenerator);
    }
    // The class object goes back when the process ends, before the class
    // registry (made by the first registration, so destroyed later).
    ~Registration()
    {
        if (cookie != 0)
            CoRevokeClassObject(cookie);
    }
};

} // namespace

HRESULT DispersionPathGenerator::RegisterClass()
{
    static Registration registration;
    static std::atomic<bool> answered{false};
    if (FAILED(registration.result))
        return registration.result;
    return answered.exchange(true) ? S_FALSE : S_OK;
}

HRESULT DispersionPathGenerator::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoDispersionPathGenerator)
        return FinishQI(static_cast<IQoDispersionPathGenerator*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT DispersionPathGenerator::GetPath(ISBScope* pScope, IQoDispersionPath** ppPath)
{
    return HostCall(IID_IQoDispersionPathGenerator, [&] {
        RequireOut(ppPath);
        *ppPath = nullptr;
        Log("DispersionPathGenerator", "GetPath", {pScope ? "scope" : "null"});
        if (!pScope)
            Fail(E_INVALIDARG, "A dispersion path needs a scope.");
        std::vector<KPointRun> runs = ConfiguredPath();
        if (runs.empty()) {
            const std::shared_ptr<HostModel::Document> model = HostModel::DocumentOf(pScope);
            if (!model)
                Fail(E_INVALIDARG, "The scope is not a scope of a structure document of this application.");
            const HostModel::Lattice3D* lattice = model->Lattice3();
            if (!lattice)
                Fail(E_INVALIDARG, "A phonon dispersion path needs a structure periodic in three dimensions.");
            runs = StandardDispersionPath(lattice->Parameters());
        }
        *ppPath = MakeDispersionPath(runs).Detach();
    });
}

void DispersionPathGenerator::SetPath(const std::vector<KPointRun>& runs)
{
    Validate(runs);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_runs = runs;
}

std::vector<KPointRun> DispersionPathGenerator::ConfiguredPath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_runs;
}

} // namespace QzHost
