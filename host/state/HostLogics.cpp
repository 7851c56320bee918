#include "host/state/HostLogics.h"

#include "host/managers/HostCall.h"

#include <cmath>

namespace QzHost {

// ------------------------------------------------------------------ plain

KelvComPtr<ISBLogic> HostLogic::Create()
{
    HostLogic* logic = new HostLogic(CLSID_HostPlainLogic);
    return KelvComPtr<ISBLogic>::Adopt(static_cast<ISBLogic*>(logic));
}

// ---------------------------------------------------------------- chooser

namespace {

class ChooserForcefield final : public CKelvUnknown, public IQoChooserForcefield {
public:
    ChooserForcefield(const std::string& name, LONG kind) : m_name(name), m_kind(kind) {}

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IQoChooserForcefield)
            return FinishQI(static_cast<IQoChooserForcefield*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT get_Name(BSTR* pName) override
    {
        return HostCall(IID_IQoChooserForcefield, [&] { StoreString(pName, m_name); });
    }
    HRESULT get_Kind(LONG* pKind) override
    {
        return HostCall(IID_IQoChooserForcefield, [&] {
            RequireOut(pKind);
            *pKind = m_kind;
        });
    }

private:
    std::string m_name;
    LONG m_kind;
};

} // namespace

KelvComPtr<ISBLogic> ForcefieldChooserLogic::Create(const std::map<std::string, LONG>& forcefields)
{
    ForcefieldChooserLogic* logic = new ForcefieldChooserLogic(forcefields);
    return KelvComPtr<ISBLogic>::Adopt(static_cast<ISBLogic*>(logic));
}

ForcefieldChooserLogic::ForcefieldChooserLogic(const std::map<std::string, LONG>& forcefields)
    : HostLogic(CLSID_HostForcefieldChooser), m_forcefields(forcefields)
{
}

HRESULT ForcefieldChooserLogic::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoForcefieldChooser)
        return FinishQI(static_cast<IQoForcefieldChooser*>(this), out);
    return HostLogic::DelegatedQueryInterface(iid, out);
}

HRESULT ForcefieldChooserLogic::IsForcefieldAvailable(BSTR name, VARIANT_BOOL* pAvailable)
{
    return HostCall(IID_IQoForcefieldChooser, [&] {
        RequireOut(pAvailable);
        const std::string text = Narrow(name);
        Log("ForcefieldChooser", "IsForcefieldAvailable", {Quote(text)});
        *pAvailable = m_forcefields.count(text) ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT ForcefieldChooserLogic::GetForcefield(BSTR name, IQoChooserForcefield** ppForcefield)
{
    return HostCall(IID_IQoForcefieldChooser, [&] {
        RequireOut(ppForcefield);
        *ppForcefield = nullptr;
        const std::string text = Narrow(name);
        Log("ForcefieldChooser", "GetForcefield", {Quote(text)});
        const auto it = m_forcefields.find(text);
        if (it == m_forcefields.end())
            Fail(E_INVALIDARG, "The forcefield chooser offers no forcefield \"" + text + "\".");
        *ppForcefield = new ChooserForcefield(it->first, it->second);
    });
}

// ---------------------------------------------------------------- k-points

KelvComPtr<ISBLogic> KPointSetGeneratorLogic::Create(CellReader cellOf)
{
    KPointSetGeneratorLogic* logic = new KPointSetGeneratorLogic(std::move(cellOf));
    return KelvComPtr<ISBLogic>::Adopt(static_cast<ISBLogic*>(logic));
}

KPointSetGeneratorLogic::KPointSetGeneratorLogic(CellReader cellOf)
    : HostLogic(CLSID_HostKPointSetGenerator), m_cellOf(std::move(cellOf))
{
}

HRESULT KPointSetGeneratorLogic::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoKPointSetGenerator)
        return FinishQI(static_cast<IQoKPointSetGenerator*>(this), out);
    return HostLogic::DelegatedQueryInterface(iid, out);
}

HRESULT KPointSetGeneratorLogic::put_Separation(double separation)
{
    return HostCall(IID_IQoKPointSetGenerator, [&] {
        Log("KPointSetGenerator", "put_Separation", {HostModel::LogNumber(separation)});
        if (!(separation > 0.0) || !std::isfinite(separation))
            Fail(E_INVALIDARG, "The k-point separation must be a positive number.");
        m_separation = separation;
    });
}

LONG KPointSetGeneratorLogic::GridSize(double reciprocalLength, double separation)
{
    if (!(reciprocalLength > 0.0) || !(separation > 0.0))
        return 1;
    // A small allowance so that an exact multiple does not round up.
    const double n = std::ceil(reciprocalLength / separation - 1e-9);
    if (!(n >= 1.0))
        return 1;
    if (n > 1.0e6)
        Fail(E_INVALIDARG, "The k-point grid for this cell and separation is too large.");
    return static_cast<LONG>(n);
}

HRESULT KPointSetGeneratorLogic::GetGrid(ISBScope* pScope, LONG* pN1, LONG* pN2, LONG* pN3, double* pOffset1,
                                         double* pOffset2, double* pOffset3)
{
    return HostCall(IID_IQoKPointSetGenerator, [&] {
        RequireOut(pN1);
        RequireOut(pN2);
        RequireOut(pN3);
        RequireOut(pOffset1);
        RequireOut(pOffset2);
        RequireOut(pOffset3);
        *pN1 = *pN2 = *pN3 = 1;
        *pOffset1 = *pOffset2 = *pOffset3 = 0.0;
        Log("KPointSetGenerator", "GetGrid", {pScope ? "scope" : "null", HostModel::LogNumber(m_separation)});
        if (!pScope)
            Fail(E_INVALIDARG, "A k-point grid needs a scope.");

        if (!m_cellOf)
            Fail(E_NOTIMPL, "The k-point generator cannot read cells.");
        const ScopeCell cell = m_cellOf(pScope);
        if (cell.periodicity == 0)
            return; // not periodic: the gamma point alone
        constexpr double pi = 3.14159265358979323846;
        if (cell.periodicity == 2) {
            const double u = cell.u, v = cell.v, theta = cell.theta;
            const double s = std::sin(theta);
            if (!(u > 0.0) || !(v > 0.0) || !(std::fabs(s) > 1e-12))
                Fail(E_UNEXPECTED, "The surface cell is degenerate.");
            *pN1 = GridSize(1.0 / (u * std::fabs(s)), m_separation);
            *pN2 = GridSize(1.0 / (v * std::fabs(s)), m_separation);
            return;
        }
        const double a = cell.a, b = cell.b, c = cell.c;
        const double alpha = cell.alpha, beta = cell.beta, gamma = cell.gamma;
        const double ca = std::cos(alpha), cb = std::cos(beta), cg = std::cos(gamma);
        const double root = 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg;
        if (!(a > 0.0) || !(b > 0.0) || !(c > 0.0) || !(root > 1e-12) || alpha >= pi || beta >= pi || gamma >= pi)
            Fail(E_UNEXPECTED, "The cell is degenerate.");
        const double volume = a * b * c * std::sqrt(root);
        *pN1 = GridSize(b * c * std::sin(alpha) / volume, m_separation);
        *pN2 = GridSize(a * c * std::sin(beta) / volume, m_separation);
        *pN3 = GridSize(a * b * std::sin(gamma) / volume, m_separation);
    });
}

// ------------------------------------------------------------ restriction

KelvComPtr<ISBLogic> FixedAtomConstraintLogic::Create(MaskReader maskOf)
{
    FixedAtomConstraintLogic* logic = new FixedAtomConstraintLogic(std::move(maskOf));
    return KelvComPtr<ISBLogic>::Adopt(static_cast<ISBLogic*>(logic));
}

FixedAtomConstraintLogic::FixedAtomConstraintLogic(MaskReader maskOf)
    : HostLogic(CLSID_HostFixedAtomConstraint), m_maskOf(std::move(maskOf))
{
}

HRESULT FixedAtomConstraintLogic::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoFixedAtomRestriction)
        return FinishQI(static_cast<IQoFixedAtomRestriction*>(this), out);
    return HostLogic::DelegatedQueryInterface(iid, out);
}

HRESULT FixedAtomConstraintLogic::IsPropertyRestricted(IUnknown* pAtom, BSTR propertyName, VARIANT_BOOL* pRestricted)
{
    return HostCall(IID_IQoFixedAtomRestriction, [&] {
        RequireOut(pRestricted);
        *pRestricted = VARIANT_FALSE;
        const std::string property = Narrow(propertyName);
        Log("FixedAtomConstraint", "IsPropertyRestricted", {pAtom ? "atom" : "null", Quote(property)});
        if (!pAtom)
            Fail(E_INVALIDARG, "A restriction is asked of an atom.");
        if (property != "XYZ" && property != "FractionalXYZ")
            return; // only positions are restricted
        const LONG mask = m_maskOf ? m_maskOf(pAtom) : 0;
        *pRestricted = (mask & 7) == 7 ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

} // namespace QzHost
