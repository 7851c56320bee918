// The surface calculator: the module's logic component "SurfaceCalculator"
// (COM class "QorZelm.SurfaceCalculator"), which the host's surface user
// interface calls on a 2-D periodic slab. It keeps the named atom sets
// "SurfaceAtoms" and "AttachmentLayer", selects layers counted down from the
// top of the slab (z = 0), and gives the slab's depth, dipole moment, region-1
// charge and whether a surface or attachment energy run can proceed.
//
// It reads the engine logic "ZelmLogic" (its state: "ChargeOption" and the
// selected library) through the host, never through that logic's object.
// Its own state holds "CalculateAttachmentEnergy".
//
// Every interface method runs in the framework's catch frame with the
// calculator's class and interface identifiers. A null output pointer gives
// E_POINTER "No pointer supplied for output argument."; a null scope gives
// E_POINTER "CSurfaceCalculator::<operation>: Scope is null.\n" (the layer
// and depth methods: "Scope is null.\n").
#pragma once

#include <memory>
#include <string>

#include "common/ModuleIds.h"
#include "hostapi/hostapi.h"
#include "kelv/KelvLogicImpl.h"
#include "kelv/kelv.h"
#include "qorvira/StateHelper.h"
#include "qorvira/ZelmForcefieldLocator.h"
#include "common/SurfaceCalculatorInterface.h"

template <>
struct KelvDispatchNames<IQoZelmSurfaceCalculator>
{
    static const std::vector<KelvDispatchName>& Names();
};

namespace SurfaceSets {
inline constexpr const char* SurfaceAtoms = "SurfaceAtoms";
inline constexpr const char* AttachmentLayer = "AttachmentLayer";
} // namespace SurfaceSets

class CSurfaceCalculator
    : public ISupportErrorInfo,
      public IKelvLogicImpl<&QorZelm::CLSID_SurfaceCalculator, IQoZelmSurfaceCalculator,
                            &IID_IQoZelmSurfaceCalculator, &QorZelm::LIBID_QorZelm, 0, 1, 0>
{
public:
    // The class-table create function: the new object's controlling unknown
    // in *out. A null out gives E_POINTER before anything is made.
    static HRESULT CreateInstance(void** out);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;
    void FinalRelease() override;

    // ISupportErrorInfo: S_OK for the calculator's interface, ISBLogic,
    // IDispatch, ISupportErrorInfo and ISBContainerRootConsumer.
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

    // Connection: the engine logic and its state, the scope utility, the
    // forcefield locator, the state helper, the job template and its state.
    HRESULT InitialiseOnConnect() override;
    // Disconnection: closes the scope utility.
    HRESULT Shutdown() override;

    // IQoZelmSurfaceCalculator
    HRESULT Is2DPeriodic(ISBScope* pScope, VARIANT_BOOL* pbIs2DPeriodic) override;
    HRESULT CanAddToSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanAdd) override;
    HRESULT AddToSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL select) override;
    HRESULT CanRemoveFromSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanRemove) override;
    HRESULT RemoveFromSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL select) override;
    HRESULT CanSelectSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanSelect) override;
    HRESULT SelectSurfaceAtomSet(ISBScope* pScope) override;
    HRESULT CanSelectLayer(ISBScope* pScope, VARIANT_BOOL* pbCanSelect) override;
    HRESULT SelectLayer(ISBScope* pScope, LONG FromLayer, LONG ToLayer) override;
    HRESULT CanAddToAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanAdd) override;
    HRESULT AddToAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL select) override;
    HRESULT CanRemoveFromAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanRemove) override;
    HRESULT RemoveFromAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL select) override;
    HRESULT CanSelectAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanSelect) override;
    HRESULT SelectAttachmentLayerSet(ISBScope* pScope) override;
    HRESULT CalculateDipoleMoment(ISBScope* pScope, double* dipoleMoment) override;
    HRESULT CalculateRegion1Charge(ISBScope* pScope, double* Charge) override;
    HRESULT SurfaceEnergyCalculationCanProceed(ISBScope* pScope, VARIANT_BOOL* pbCanProceed) override;
    HRESULT AttachmentEnergyCalculationCanProceed(ISBScope* pScope, VARIANT_BOOL* pbCanProceed) override;
    HRESULT GetSurfaceDepth(ISBScope* pScope, double* RelDepth, double* AbsDepth) override;

    // Shared queries on a scope.
    // The scope's document; null for a null scope.
    KelvComPtr<ISBDocumentRoot> ModelOfScope(ISBScope* scope) const;
    // The selected atoms of the scope.
    KelvComPtr<ISBScope> SelectedAtomsScope(ISBScope* scope) const;
    // True when no atom is selected, or the scope has no document.
    bool SelectionIsEmpty(ISBScope* scope) const;
    // True when the scope's document is a 2-D periodic slab.
    bool IsScope2DPeriodic(ISBScope* scope) const;
    bool SetHasAtoms(ISBScope* scope, const std::string& setName) const;
    // The document's selection becomes the set's atoms.
    void SelectSet(ISBScope* scope, const std::string& setName) const;

    // Set membership, over symmetry parents.
    void AddSelectionToSet(ISBScope* scope, const std::string& setName) const;
    void RemoveSelectionFromSet(ISBScope* scope, const std::string& setName) const;
    // True when every selected atom is in the set (also when none is selected).
    bool SelectionWhollyInSet(ISBScope* scope, const std::string& setName) const;
    // True when no atom of the scope is in the set (also when it has none).
    bool NoScopeAtomInSet(ISBScope* scope, const std::string& setName) const;
    void AddSymmetryParentsToSet(ISBScope* parents, const std::string& setName, ISBDocumentRoot* document,
                                 ISBContainerRoot* root) const;
    void RemoveSymmetryParentsFromSet(ISBScope* parents, const std::string& setName, ISBDocumentRoot* document,
                                      ISBContainerRoot* root) const;

    // The atom's charge: its own "Charge" when the engine state's
    // "ChargeOption" is "Use current", else the core plus shell charge of
    // its species in the selected library.
    double GetAtomCharge(const KelvComPtr<ISDObject>& atom) const;
    // The three components of the atom's "FractionalXYZ".
    static void GetFractionalXYZ(const KelvComPtr<ISDObject>& atom, double* x, double* y, double* z);

protected:
    CSurfaceCalculator();
    ~CSurfaceCalculator() override;

private:
    // The twelve set methods, written once for both sets.
    enum class SetKind { SurfaceAtoms = 0, AttachmentLayer = 1 };
    enum class SetAction { CanAdd = 0, Add, CanRemove, Remove, CanSelect, Select };
    HRESULT CanChangeSet(SetKind set, SetAction action, ISBScope* scope, VARIANT_BOOL* answer);
    HRESULT ChangeSet(SetKind set, SetAction action, ISBScope* scope, VARIANT_BOOL select);
    bool CalculateAttachmentEnergy() const;
    HRESULT ProceedWithSet(ISBScope* scope, const char* setName, VARIANT_BOOL* answer);

    KelvComPtr<ISBContainerRoot> Root() const { return ContainerRoot(true); }

    // Owned by the object; replaced by a later connection.
    KelvComPtr<IQoScopeUtility> m_scopeUtility;
    std::unique_ptr<CStateHelper> m_stateHelper;       // over the "ZelmLogic" state
    std::unique_ptr<CZelmForcefieldLocator> m_locator; // over the "ZelmLogic" state
    KelvComPtr<ISBLogic> m_jobTemplateLogic;
    KelvComPtr<ISBState> m_jobTemplateState;
    KelvComPtr<ISBLogic> m_engineLogic;
    KelvComPtr<ISBState> m_engineState;
};
