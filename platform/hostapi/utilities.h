// Host utility interfaces: the scope utility ("QorQMUtilities.ScopeUtility"),
// the host logics' special interfaces (forcefield chooser, k-point
// generators, fixed-atom restriction) and the atom numbering objects.
#pragma once

#include "hostapi/core.h"

struct ISBScope;
struct ISBDocumentRoot;
struct ISDPoint3d;
struct ISDVariantDataDimension;
struct IQoChooserForcefield;
struct IQoDispersionPath;

inline constexpr IID IID_IQoScopeUtility = HostApi::MakeGuid("B9BFF2CA-04AD-4F60-9E32-A55D0F788D42");
inline constexpr IID IID_IQoForcefieldChooser = HostApi::MakeGuid("B616C29F-97F4-4C83-915C-89F5C6FE67AC");
inline constexpr IID IID_IQoKPointSetGenerator = HostApi::MakeGuid("30087E57-D3AE-437D-A737-AF75BB00B297");
inline constexpr IID IID_IQoDispersionPathGenerator = HostApi::MakeGuid("07C8DC35-2BB9-48EF-9A4D-0E6D1611DB84");
inline constexpr IID IID_IQoDispersionPathPointKinds = HostApi::MakeGuid("01AF4F8C-3F16-494E-8152-999D694B1A94");
inline constexpr IID IID_IQoAtomNumbering = HostApi::MakeGuid("4779D745-B8F4-404D-AF5C-8EDC2B5F395C");
inline constexpr IID IID_IQoAtomNumberingSource = HostApi::MakeGuid("F0E4E63A-AAA9-4442-AC5F-FAC09BB14EE7");
inline constexpr IID IID_IQoScopeHolder = HostApi::MakeGuid("04D71226-9981-4640-B173-7931DF6DBAEE");
// identifier of our own
inline constexpr IID IID_IQoChooserForcefield = HostApi::MakeGuid("25949AEC-72C7-4ED1-87E7-65F99851AA24");
// identifier of our own
inline constexpr IID IID_IQoDispersionPath = HostApi::MakeGuid("7B056E9B-DC5D-4DF3-96C5-E45E12F7285D");
// identifier of our own
inline constexpr IID IID_IQoFixedAtomRestriction = HostApi::MakeGuid("41C80A23-B727-4EF1-8E10-761B5D167AC8");

inline constexpr CLSID CLSID_QoAtomNumbering = HostApi::MakeGuid("376CCD2D-56C8-4A33-AC0D-A108076E5769");
inline constexpr CLSID CLSID_QoScopeHolder = HostApi::MakeGuid("5F31A6D5-DCC8-4992-A41F-1F603DF06E60");
// identifier of our own (the scope utility is created by its ProgID "QorQMUtilities.ScopeUtility")
inline constexpr CLSID CLSID_QoScopeUtility = HostApi::MakeGuid("967C0E21-D449-40BF-AACB-FE823DBAB1B4");

// Where a k-point lies on a dispersion path.
enum SegmentBoundaryTypeEnum : LONG {
    SegmentBoundaryInside = 1, // inside a segment
    SegmentBoundaryStart = 2,  // a segment starts here
    SegmentBoundaryEnd = 3,    // a segment ends here
    SegmentBoundaryJoint = 4   // one segment ends and the next starts here
};

// Operations on the documents behind scopes. Every scope argument may be any
// scope of a document (a selection, the contents, a processed scope); the
// operation works on the document that holds it. Answers "none" are S_FALSE
// with a null out pointer.
struct IQoScopeUtility : public IUnknown {
    static const IID& Iid() { return IID_IQoScopeUtility; }
    // Connects the utility to the application (it keeps the root until Shutdown).
    virtual HRESULT Initialise(ISBContainerRoot* pRoot) = 0;
    // Lets the root go; later calls fail with E_UNEXPECTED until Initialise.
    virtual HRESULT Shutdown() = 0;
    // The document that holds the scope (none when the scope has no document).
    virtual HRESULT GetDocumentRoot(ISBScope* pScope, ISBDocumentRoot** ppDocument) = 0;
    // The model behind the scope, as a scope over the whole model; it also
    // answers ISDObject with the model's properties ("LatticeRepresentation").
    // None when the scope's document has no atomistic model.
    virtual HRESULT GetScopeObject(ISBScope* pScope, ISBScope** ppObject) = 0;
    // VARIANT_TRUE when the model's space group is P1 (a non-periodic model counts as P1).
    virtual HRESULT IsP1(ISBScope* pScope, VARIANT_BOOL* pIsP1) = 0;
    // Turns the model into P1: every symmetry image becomes an atom of its own.
    virtual HRESULT MakeP1(ISBScope* pScope) = 0;
    // VARIANT_TRUE when the model is periodic in three dimensions.
    virtual HRESULT IsPeriodic(ISBScope* pScope, VARIANT_BOOL* pIsPeriodic) = 0;
    // VARIANT_TRUE when the model is a slab periodic in two dimensions.
    virtual HRESULT Is2DPeriodic(ISBScope* pScope, VARIANT_BOOL* pIs2DPeriodic) = 0;
    // VARIANT_TRUE when the model is held in a centred conventional cell that
    // the engine needs in its primitive form.
    virtual HRESULT NeedsPrimitiveConversion(ISBScope* pScope, VARIANT_BOOL* pNeeds) = 0;
    // Replaces the model's centred conventional cell by its primitive cell.
    virtual HRESULT ConvertToPrimitive(ISBScope* pScope) = 0;
    // VARIANT_TRUE when the space group is held in a setting other than its standard one.
    virtual HRESULT HasNonStandardSetting(ISBScope* pScope, VARIANT_BOOL* pNonStandard) = 0;
    // The model's lattice object: ISDLattice3D for a 3-D periodic model,
    // ISDLattice2D for a slab; both answer ISDObject. None when not periodic.
    virtual HRESULT GetLattice(ISBScope* pScope, IUnknown** ppLattice) = 0;
    // The 2-D lattice object of a slab (ISDLattice2D and ISDObject); none otherwise.
    virtual HRESULT GetLattice2D(ISBScope* pScope, IUnknown** ppLattice) = 0;
    // The model's lattice frame (ISDLatticeFrame); none when not periodic.
    virtual HRESULT GetLatticeFrame(ISBScope* pScope, IUnknown** ppFrame) = 0;
    // The model's symmetry object (ISDObject with "AllOperatorElements", an
    // ISDVariantDataDimension of ISDSymmetryOperator objects, identity first);
    // none when not periodic.
    virtual HRESULT GetSymmetry(ISBScope* pScope, IUnknown** ppSymmetry) = 0;
    // VARIANT_TRUE when the model has symmetry operators besides the identity.
    virtual HRESULT HasSymmetry(ISBScope* pScope, VARIANT_BOOL* pHasSymmetry) = 0;
    // Runs a named scope processor ("Normalization:Model3d!SymmetryParent").
    virtual HRESULT ApplyScopeProcessor(ISBScope* pScope, BSTR processor, ISBScope** ppResult) = 0;
    // The fixed-axis restrictions of the scope's atoms: a 1-D VT_I4 array of
    // masks (1 x, 2 y, 4 z fixed) and a parallel 1-D VT_UNKNOWN array of the
    // atoms. Both null when no atom of the scope is restricted.
    virtual HRESULT GetFixedAtomRestrictions(ISBScope* pScope, SAFEARRAY** ppMasks, SAFEARRAY** ppAtoms) = 0;
    // The wholly fixed atoms of the scope: a 1-D VT_I4 array of their masks (7)
    // and a parallel VT_UNKNOWN array of the atoms; both null when there is none.
    virtual HRESULT GetFixedAtoms(ISBScope* pScope, SAFEARRAY** ppMasks, SAFEARRAY** ppAtoms) = 0;
    // The partly fixed atoms of the scope: masks and atoms as GetFixedAtomRestrictions,
    // without the wholly fixed ones; both null when there is none.
    virtual HRESULT GetAxisConstraints(ISBScope* pScope, SAFEARRAY** ppMasks, SAFEARRAY** ppAtoms) = 0;
    // The model object of the scope; it answers IQoAtomNumberingSource.
    virtual HRESULT GetModelObject(ISBScope* pScope, IUnknown** ppModel) = 0;
    // Prepares the model's k-point settings for a run; *ppResult is the object
    // made for it, which the caller may release at once.
    virtual HRESULT PrepareKPoints(ISBScope* pScope, IUnknown** ppResult) = 0;
    // Saves the structure of the scope's document as a ".qsd" file at `path`.
    virtual HRESULT SaveStructure(ISBScope* pScope, BSTR path) = 0;
    // The scope's atoms as a collection (1-based) of atom objects.
    virtual HRESULT GetAtoms(ISBScope* pScope, ISDVariantDataDimension** ppAtoms) = 0;
    // The object that answers IQoAtomNumberingSource for the scope's model.
    virtual HRESULT GetNumberingSource(ISBScope* pScope, IUnknown** ppSource) = 0;
};

// The forcefield interface of the host logic "ZelmForcefieldChooser".
struct IQoForcefieldChooser : public IUnknown {
    static const IID& Iid() { return IID_IQoForcefieldChooser; }
    // VARIANT_TRUE when the named forcefield can be used.
    virtual HRESULT IsForcefieldAvailable(BSTR name, VARIANT_BOOL* pAvailable) = 0;
    // The forcefield object of that name. Unknown name: E_INVALIDARG.
    virtual HRESULT GetForcefield(BSTR name, IQoChooserForcefield** ppForcefield) = 0;
};

// Kinds of forcefield the chooser offers.
enum QoForcefieldKind : LONG {
    QoForcefieldByElement = 1,   // species by element
    QoForcefieldByType = 2,      // atoms need forcefield types
    QoForcefieldTypesBuiltIn = 3 // types come with the forcefield itself
};

// A forcefield offered by the chooser.
struct IQoChooserForcefield : public IUnknown {
    static const IID& Iid() { return IID_IQoChooserForcefield; }
    // The forcefield's name.
    virtual HRESULT get_Name(BSTR* pName) = 0;
    // Its kind (a QoForcefieldKind value).
    virtual HRESULT get_Kind(LONG* pKind) = 0;
};

// The k-point interface of the host logic "KPointSetGenerator".
struct IQoKPointSetGenerator : public IUnknown {
    static const IID& Iid() { return IID_IQoKPointSetGenerator; }
    // Sets the wanted k-point separation (in 1/length units).
    virtual HRESULT put_Separation(double separation) = 0;
    // The Monkhorst-Pack grid for the scope's cell: three grid sizes and the three offsets of its origin.
    virtual HRESULT GetGrid(ISBScope* pScope, LONG* pN1, LONG* pN2, LONG* pN3, double* pOffset1, double* pOffset2,
                            double* pOffset3) = 0;
};

// The path generator held as the co-class "PhononDispersionKPGenerator".
struct IQoDispersionPathGenerator : public IUnknown {
    static const IID& Iid() { return IID_IQoDispersionPathGenerator; }
    // The path of k-points for the scope's cell.
    virtual HRESULT GetPath(ISBScope* pScope, IQoDispersionPath** ppPath) = 0;
};

// A path of k-points; also answers IQoDispersionPathPointKinds. Indices are 0-based.
struct IQoDispersionPath : public IUnknown {
    static const IID& Iid() { return IID_IQoDispersionPath; }
    // Number of points.
    virtual HRESULT get_PointCount(LONG* pCount) = 0;
    // Point i (fractional reciprocal coordinates) as a new point object.
    virtual HRESULT GetPoint(LONG index, ISDPoint3d** ppPoint) = 0;
    // The label of point i ("" when none).
    virtual HRESULT GetPointLabel(LONG index, BSTR* pLabel) = 0;
};

// Where the points of a dispersion path lie, asked of the path with QueryInterface.
struct IQoDispersionPathPointKinds : public IUnknown {
    static const IID& Iid() { return IID_IQoDispersionPathPointKinds; }
    // The SegmentBoundaryTypeEnum value of point i (0-based).
    virtual HRESULT GetPointKind(LONG index, LONG* pKind) = 0;
};

// The restriction interface of the host logic "FixedAtomConstraint" of the
// extension "QoRestricions.Restrictions".
struct IQoFixedAtomRestriction : public IUnknown {
    static const IID& Iid() { return IID_IQoFixedAtomRestriction; }
    // VARIANT_TRUE when the atom's property ("FractionalXYZ", "XYZ") may not change.
    virtual HRESULT IsPropertyRestricted(IUnknown* pAtom, BSTR propertyName, VARIANT_BOOL* pRestricted) = 0;
};

// Numbers the atoms of a model (object CLSID_QoAtomNumbering).
struct IQoAtomNumbering : public IUnknown {
    static const IID& Iid() { return IID_IQoAtomNumbering; }
    // Binds the numbering to a model: varSource holds what
    // IQoAtomNumberingSource gives (VT_UNKNOWN). Flag 1: symmetry images take
    // the number of their parent.
    virtual HRESULT Initialise(VARIANT varSource, LONG flags) = 0;
    // The atom's number (1-based position of its symmetry parent among the parents).
    virtual HRESULT GetNumber(IUnknown* pAtom, LONG* pNumber) = 0;
};

// Gives what sets up an atom numbering object.
struct IQoAtomNumberingSource : public IUnknown {
    static const IID& Iid() { return IID_IQoAtomNumberingSource; }
    // The value to hand to IQoAtomNumbering::Initialise.
    virtual HRESULT get_NumberingSource(VARIANT* pValue) = 0;
};

// Wraps one data-model object so that it can be seen as an ISBScope (object CLSID_QoScopeHolder).
struct IQoScopeHolder : public IUnknown {
    static const IID& Iid() { return IID_IQoScopeHolder; }
    // Holds the object; the holder's ISBScope then has that one object.
    virtual HRESULT HoldObject(IUnknown* pObject) = 0;
};
