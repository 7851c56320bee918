// The host's own logics, built on the framework's logic base: the job
// template ("QMJobTemplate") and the preparation options ("ZelmPreparation")
// are plain logics with a state; the forcefield chooser, the k-point set
// generator and the fixed-atom constraint add an interface each.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvLogicImpl.h"

#include <functional>
#include <map>
#include <string>

namespace QzHost {

// Identifiers of our own for the host's logic classes.
inline constexpr CLSID CLSID_HostPlainLogic = HostApi::MakeGuid("3E0F27B4-5E0C-4C55-9A53-2B87B5F9D101");
inline constexpr CLSID CLSID_HostForcefieldChooser = HostApi::MakeGuid("3E0F27B4-5E0C-4C55-9A53-2B87B5F9D102");
inline constexpr CLSID CLSID_HostKPointSetGenerator = HostApi::MakeGuid("3E0F27B4-5E0C-4C55-9A53-2B87B5F9D103");
inline constexpr CLSID CLSID_HostFixedAtomConstraint = HostApi::MakeGuid("3E0F27B4-5E0C-4C55-9A53-2B87B5F9D104");

// A logic with nothing but its state.
class HostLogic : public CKelvLogicImpl {
public:
    static KelvComPtr<ISBLogic> Create();

    // The framework's whole connection: extension, contained state, hook.
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override
    {
        return ConnectLogic(extension, instanceData);
    }

protected:
    explicit HostLogic(REFCLSID clsid) : CKelvLogicImpl(clsid) {}
};

// "ZelmForcefieldChooser": the forcefields the user can choose, each with its
// kind (QoForcefieldKind).
class ForcefieldChooserLogic final : public HostLogic, public IQoForcefieldChooser {
public:
    static KelvComPtr<ISBLogic> Create(const std::map<std::string, LONG>& forcefields);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // VARIANT_TRUE for a forcefield the chooser offers (exact name).
    HRESULT IsForcefieldAvailable(BSTR name, VARIANT_BOOL* pAvailable) override;
    // A forcefield object with name and kind; unknown name: E_INVALIDARG.
    HRESULT GetForcefield(BSTR name, IQoChooserForcefield** ppForcefield) override;

private:
    explicit ForcefieldChooserLogic(const std::map<std::string, LONG>& forcefields);
    std::map<std::string, LONG> m_forcefields;
};

// The cell of a scope's model as the k-point generator needs it.
struct ScopeCell {
    int periodicity = 0;                                        // 0 none, 2 slab, 3 bulk
    double a = 0, b = 0, c = 0, alpha = 0, beta = 0, gamma = 0; // bulk (radians)
    double u = 0, v = 0, theta = 0;                             // slab (radians)
};

// "KPointSetGenerator": Monkhorst-Pack grids for a separation of k-points.
// The grid size along a cell vector is the smallest whole number n >= 1 with
// |b| / n <= separation, where b is the reciprocal vector without the 2 pi
// factor (|b1| = 1 / the distance between the (100) planes). A slab gets
// one point along its normal, a non-periodic model one point in all. The
// offsets are 0 (the grid includes the origin).
class KPointSetGeneratorLogic final : public HostLogic, public IQoKPointSetGenerator {
public:
    // cellOf gives the cell of a scope's model (the application gives the
    // document model's); it throws KelvResult for a scope it does not know.
    using CellReader = std::function<ScopeCell(ISBScope* scope)>;
    static KelvComPtr<ISBLogic> Create(CellReader cellOf);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // A positive separation; anything else: E_INVALIDARG.
    HRESULT put_Separation(double separation) override;
    // The grid for the cell of the scope's model.
    HRESULT GetGrid(ISBScope* pScope, LONG* pN1, LONG* pN2, LONG* pN3, double* pOffset1, double* pOffset2,
                    double* pOffset3) override;

    // The grid size for a reciprocal length and a separation (at least 1).
    static LONG GridSize(double reciprocalLength, double separation);

private:
    explicit KPointSetGeneratorLogic(CellReader cellOf);
    CellReader m_cellOf;
    double m_separation = 0.05;
};

// "FixedAtomConstraint" of "QoRestricions.Restrictions": an atom's position
// ("XYZ" or "FractionalXYZ") is restricted when the atom is fixed along all
// three axes; an atom fixed along some axes only keeps its position free
// here (its single axes are Cartesian restrictions that the scope utility
// reports). The atom's mask (1 x, 2 y, 4 z) comes from `maskOf`, which the
// application gives (the document model's fixed axes); without one no atom
// is restricted.
class FixedAtomConstraintLogic final : public HostLogic, public IQoFixedAtomRestriction {
public:
    using MaskReader = std::function<LONG(IUnknown* atom)>;
    static KelvComPtr<ISBLogic> Create(MaskReader maskOf = MaskReader());

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT IsPropertyRestricted(IUnknown* pAtom, BSTR propertyName, VARIANT_BOOL* pRestricted) override;

private:
    explicit FixedAtomConstraintLogic(MaskReader maskOf);
    MaskReader m_maskOf;
};

} // namespace QzHost
