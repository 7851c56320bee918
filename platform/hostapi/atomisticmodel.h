// The model of a 3-D atomistic document as a whole: its lattice, frame and
// symmetry objects and the crystallographic conversions that rebuild its
// atoms. Asked of the model (ISBDocumentRoot::get_ModelDocument) with
// QueryInterface; the scope utility reaches documents through it.
#pragma once

#include "hostapi/core.h"

// identifier of our own
inline constexpr IID IID_ISDAtomisticModel = HostApi::MakeGuid("6C0E2D1B-5B8A-4F3E-9C47-2A81D6E0B953");

struct ISDAtomisticModel : public IUnknown {
    static const IID& Iid() { return IID_ISDAtomisticModel; }
    // The lattice object: one answering ISDLattice3D for a 3-D periodic
    // model, ISDLattice2D for a slab, both also ISDObject. A non-periodic
    // model: S_FALSE and null.
    virtual HRESULT get_Lattice(IUnknown** ppLattice) = 0;
    // The lattice frame (ISDLatticeFrame); a non-periodic model: S_FALSE and null.
    virtual HRESULT get_LatticeFrame(IUnknown** ppFrame) = 0;
    // The symmetry object (ISDObject whose "AllOperatorElements" is an
    // ISDVariantDataDimension of ISDSymmetryOperator objects, identity
    // first). A model without space-group symmetry may answer S_FALSE and null.
    virtual HRESULT get_Symmetry(IUnknown** ppSymmetry) = 0;
    // Turns every symmetry image into an atom of its own and sets the space
    // group P 1. S_FALSE when the model was P 1 already.
    virtual HRESULT MakeP1() = 0;
    // VARIANT_TRUE when the model sits on a centred conventional cell that
    // must be turned into its primitive cell before the engine can read it.
    virtual HRESULT get_NeedsPrimitiveConversion(VARIANT_BOOL* pNeeds) = 0;
    // Moves the model onto its primitive cell (S_FALSE when it is primitive already).
    virtual HRESULT ConvertToPrimitive() = 0;
    // VARIANT_TRUE when the space group is held in a setting (axis choice or
    // cell choice) other than its standard one, so that its name or number
    // alone does not describe the operators.
    virtual HRESULT get_HasNonStandardSetting(VARIANT_BOOL* pNonStandard) = 0;
};
