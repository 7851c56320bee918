// The surface calculator's interface (COM class "QorZelm.SurfaceCalculator",
// logic "SurfaceCalculator"): the surface atom sets of a 2-D periodic slab,
// layer selection, and the figures a surface run shows before it starts.
// The host's user interface and the run settings reach the calculator
// through it; a host application includes this header to call it.
#pragma once

#include "com/com.h"
#include "hostapi/guid.h"
#include "hostapi/hostapi.h"

inline constexpr IID IID_IQoZelmSurfaceCalculator = HostApi::MakeGuid("52A85834-A660-4A3E-8557-D1D2F1127694");

// Dual interface. After IDispatch it carries ISBLogic's members (State,
// OnConnect, Extension), then its own, in this order. Every scope is any
// scope of a structure document; booleans come back as VARIANT_TRUE or
// VARIANT_FALSE. Errors are HRESULTs with error information.
struct IQoZelmSurfaceCalculator : public ISBLogic {
    static const IID& Iid() { return IID_IQoZelmSurfaceCalculator; }

    // "Is document 2D periodic?"
    virtual HRESULT Is2DPeriodic(ISBScope* pScope, VARIANT_BOOL* pbIs2DPeriodic) = 0;
    // "Can a selection be added to SurfaceAtomSet?"
    virtual HRESULT CanAddToSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanAdd) = 0;
    // "Add selection to SurfaceAtomSet"
    virtual HRESULT AddToSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL select) = 0;
    // "Can selection be removed from SurfaceAtomSet?"
    virtual HRESULT CanRemoveFromSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanRemove) = 0;
    // "Remove selection from SurfaceAtomSet"
    virtual HRESULT RemoveFromSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL select) = 0;
    // "Can the SurfaceAtomSet be selected (viewed)?"
    virtual HRESULT CanSelectSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanSelect) = 0;
    // "Select (view) the SurfaceAtomSet"
    virtual HRESULT SelectSurfaceAtomSet(ISBScope* pScope) = 0;
    // "Can a specific layer be selected?"
    virtual HRESULT CanSelectLayer(ISBScope* pScope, VARIANT_BOOL* pbCanSelect) = 0;
    // "Select chosen layer"
    virtual HRESULT SelectLayer(ISBScope* pScope, LONG FromLayer, LONG ToLayer) = 0;
    // "Can a selection be added to AttachmentLayerSet?"
    virtual HRESULT CanAddToAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanAdd) = 0;
    // "Add selection to AttachmentLayerSet"
    virtual HRESULT AddToAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL select) = 0;
    // "Can selection be removed from AttachmentLayerSet?"
    virtual HRESULT CanRemoveFromAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanRemove) = 0;
    // "Remove selection from AttachmentLayerSet"
    virtual HRESULT RemoveFromAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL select) = 0;
    // "Can the AttachmentLayerSet be selected (viewed)?"
    virtual HRESULT CanSelectAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanSelect) = 0;
    // "Select (view) the AttachmentLayerSet"
    virtual HRESULT SelectAttachmentLayerSet(ISBScope* pScope) = 0;
    // "Calculate dipole moment of surface"
    virtual HRESULT CalculateDipoleMoment(ISBScope* pScope, double* dipoleMoment) = 0;
    // "Calculate charge of region 1"
    virtual HRESULT CalculateRegion1Charge(ISBScope* pScope, double* Charge) = 0;
    // "Surface energy calculation can proceed"
    virtual HRESULT SurfaceEnergyCalculationCanProceed(ISBScope* pScope, VARIANT_BOOL* pbCanProceed) = 0;
    // "Attachment energy calculation can proceed"
    virtual HRESULT AttachmentEnergyCalculationCanProceed(ISBScope* pScope, VARIANT_BOOL* pbCanProceed) = 0;
    // "Get the absolute and relative depths of surface"
    virtual HRESULT GetSurfaceDepth(ISBScope* pScope, double* RelDepth, double* AbsDepth) = 0;
};

// Dispatch identifiers of the interface's own members, in member order
// (ISBLogic's members keep theirs: State 0, OnConnect 2, Extension 4).
struct QoZelmSurfaceCalculatorMember {
    const char16_t* name;
    DISPID id;
    const char* helpText;
};

inline constexpr QoZelmSurfaceCalculatorMember QoZelmSurfaceCalculatorMembers[] = {
    {u"Is2DPeriodic", 0x64, "Is document 2D periodic?"},
    {u"CanAddToSurfaceAtomSet", 0x65, "Can a selection be added to SurfaceAtomSet?"},
    {u"AddToSurfaceAtomSet", 0x66, "Add selection to SurfaceAtomSet"},
    {u"CanRemoveFromSurfaceAtomSet", 0x67, "Can selection be removed from SurfaceAtomSet?"},
    {u"RemoveFromSurfaceAtomSet", 0x68, "Remove selection from SurfaceAtomSet"},
    {u"CanSelectSurfaceAtomSet", 0x69, "Can the SurfaceAtomSet be selected (viewed)?"},
    {u"SelectSurfaceAtomSet", 0x6A, "Select (view) the SurfaceAtomSet"},
    {u"CanSelectLayer", 0x6B, "Can a specific layer be selected?"},
    {u"SelectLayer", 0x6C, "Select chosen layer"},
    {u"CanAddToAttachmentLayerSet", 0x6D, "Can a selection be added to AttachmentLayerSet?"},
    {u"AddToAttachmentLayerSet", 0x6E, "Add selection to AttachmentLayerSet"},
    {u"CanRemoveFromAttachmentLayerSet", 0x6F, "Can selection be removed from AttachmentLayerSet?"},
    {u"RemoveFromAttachmentLayerSet", 0x70, "Remove selection from AttachmentLayerSet"},
    {u"CanSelectAttachmentLayerSet", 0x71, "Can the AttachmentLayerSet be selected (viewed)?"},
    {u"SelectAttachmentLayerSet", 0x72, "Select (view) the AttachmentLayerSet"},
    {u"CalculateDipoleMoment", 0x73, "Calculate dipole moment of surface"},
    {u"CalculateRegion1Charge", 0x74, "Calculate charge of region 1"},
    {u"SurfaceEnergyCalculationCanProceed", 0x75, "Surface energy calculation can proceed"},
    {u"AttachmentEnergyCalculationCanProceed", 0x76, "Attachment energy calculation can proceed"},
    {u"GetSurfaceDepth", 0x77, "Get the absolute and relative depths of surface"},
};
