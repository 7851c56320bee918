// Host application interfaces: documents, scopes and the data-model objects
// inside a 3-D atomistic document (atoms, points, lattices, symmetry, sets),
// with the streams and importers that load and save documents.
#pragma once

#include "hostapi/core.h"

struct ISBDocumentRoot;
struct ISBDocumentInfo;
struct ISBScope;
struct ISBScopeObjects;
struct ISDObject;
struct ISDPoint3d;
struct ISDPointConverter;
struct ISDPropertyTemplate;

// Interface identifiers.
inline constexpr IID IID_ISBDocumentServiceProvider = HostApi::MakeGuid("600BBED3-2529-4664-BC94-F588F8958F8B");
inline constexpr IID IID_ISDVariantDataDimension = HostApi::MakeGuid("4A18DEDB-926B-4FF8-9681-3B5D7E8A0D28");
inline constexpr IID IID_ISDPoint3d = HostApi::MakeGuid("EBD4573B-48EB-4393-8CDB-3C3A13BECB08");
inline constexpr IID IID_ISDMatrix3d = HostApi::MakeGuid("2EF2BE3D-1D4B-4E09-A845-1E9EE65DD876");
inline constexpr IID IID_ISDFraction = HostApi::MakeGuid("1A18325B-5AFC-41F6-B68A-E64458F64F44");
inline constexpr IID IID_ISDSurfaceDescription = HostApi::MakeGuid("4C4CA6E5-53DF-4170-A8D5-3A93EC2A4872");
inline constexpr IID IID_ISBStream = HostApi::MakeGuid("20844F08-4532-477B-A9FA-46D9E4217902");
inline constexpr IID IID_ISBPersistable = HostApi::MakeGuid("BD4B3C6F-CF81-4E73-92E3-FC906B1D8A81");
inline constexpr IID IID_ISBImporter = HostApi::MakeGuid("1335A2E8-3429-4C3E-8161-7A6A503CCD40");
// identifier of our own
inline constexpr IID IID_ISBDocumentManager = HostApi::MakeGuid("93FE88F3-57D6-4E04-90AE-D2DCB11358C8");
// identifier of our own
inline constexpr IID IID_ISBDocumentFolders = HostApi::MakeGuid("74FC20BE-6405-4E6C-8E18-CCFC56234E18");
// identifier of our own
inline constexpr IID IID_ISBDocumentService = HostApi::MakeGuid("A2080AEB-1341-4EFA-ABD8-4D8C91F6DD95");
// identifier of our own
inline constexpr IID IID_ISBDocumentRoot = HostApi::MakeGuid("04B2BA5A-B172-43F7-A70C-EC9231A01856");
// identifier of our own
inline constexpr IID IID_ISBDocumentInfo = HostApi::MakeGuid("A0839605-9EA9-47BE-8D60-AF8793EBFE77");
// identifier of our own
inline constexpr IID IID_ISBScope = HostApi::MakeGuid("B67E767B-5985-4C94-83C5-51803719B72E");
// identifier of our own
inline constexpr IID IID_ISBScopeObjects = HostApi::MakeGuid("DCB24516-A2D7-487F-953F-3372E8527AB3");
// identifier of our own
inline constexpr IID IID_ISDObject = HostApi::MakeGuid("7D6C4B59-C1D7-4AF1-B6E7-DA98C279E91A");
// identifier of our own
inline constexpr IID IID_ISDLattice3D = HostApi::MakeGuid("836FDEE7-FE32-46B6-8A2D-196AACE76AAE");
// identifier of our own
inline constexpr IID IID_ISDLattice2D = HostApi::MakeGuid("AEBE8223-F108-45FB-BCA1-FFC603D0B040");
// identifier of our own
inline constexpr IID IID_ISDSymmetryOperator = HostApi::MakeGuid("A703A107-1818-4A94-859B-472DED4ECEF2");
// identifier of our own
inline constexpr IID IID_ISDLatticeFrame = HostApi::MakeGuid("32A7E65A-A15A-45E4-830C-A74C049DE2A5");
// identifier of our own
inline constexpr IID IID_ISDPointConverter = HostApi::MakeGuid("968D099C-373D-40CC-B98C-F4AF57920E80");
// identifier of our own
inline constexpr IID IID_ISDNamedSets = HostApi::MakeGuid("C32CFE6B-0A15-4A0C-8C21-F2034BC0B381");
// identifier of our own
inline constexpr IID IID_ISDPropertyService = HostApi::MakeGuid("0AD91F9F-F452-48CD-8F26-43A2A5D02CC6");
// identifier of our own
inline constexpr IID IID_ISDPropertyTemplate = HostApi::MakeGuid("3774E793-B4E2-4E49-A237-B3D1AA1537DC");
// identifier of our own
inline constexpr IID IID_ISDTextDocument = HostApi::MakeGuid("C8C84DB7-E6D0-4F2E-B2A8-E9148C7C9F42");

// Class identifiers of host objects that are created by identifier.
inline constexpr CLSID CLSID_SDVariantDataDimension = HostApi::MakeGuid("D9AD6106-BE47-4F95-B4C1-7E68BC8DC766");
inline constexpr CLSID CLSID_SDPoint3d = HostApi::MakeGuid("3ADC3240-F7EC-41C7-8A4B-94A005E8EBB0");
inline constexpr CLSID CLSID_SDMatrix3d = HostApi::MakeGuid("6F88575E-E7AF-4EA7-9E42-EFD551EB05F4");
inline constexpr CLSID CLSID_SBStream = HostApi::MakeGuid("23A6FEEA-2293-4255-AD8C-656A24CA2CA8");
// identifier of our own
inline constexpr CLSID CLSID_SDPropertyService = HostApi::MakeGuid("D9CE8C05-D3E2-44C7-81DA-86FA83777D9C");

// Flags of ISBDocumentFolders::MakeDocumentFolder; they combine.
enum SBDocumentFolderFlags : LONG {
    SBFolderForExport = 0x08, // a folder for files written for the user
    SBFolderForRun = 0x20     // a folder whose files go to a server job
};

// Flags of ISBDocumentManager::PurgeDocument.
enum SBPurgeFlags : LONG {
    SBPurgeDeleteFiles = 0x8000 // also delete the document's file and its companion files
};

// The documents of the project.
struct ISBDocumentManager : public IUnknown {
    static const IID& Iid() { return IID_ISBDocumentManager; }
    // The open or project document stored at `path`; none: S_FALSE and null.
    virtual HRESULT FindDocument(BSTR path, ISBDocumentRoot** ppDocument) = 0;
    // The document with that document identifier; none: S_FALSE and null.
    virtual HRESULT FindDocumentByID(BSTR documentID, ISBDocumentRoot** ppDocument) = 0;
    // A new document of the type (ProgID, "SDDocuments.Atomistic3dDocument")
    // that belongs to no file and is not shown in the project.
    virtual HRESULT NewPrivateDocument(BSTR docTypeProgID, VARIANT varData, ISBDocumentRoot** ppDocument) = 0;
    // A new document of the type stored in the project at bstrProjectPath
    // (a folder plus name, or a full file path); varDocName (VT_BSTR) names it.
    // A project path ending with a separator, or naming an existing folder,
    // names the folder, and the document's file is that folder plus varDocName.
    virtual HRESULT NewProjectDocument(BSTR bstrDocTypeProgID, BSTR bstrProjectPath, LONG nCreateFlags, VARIANT varDocName,
                                       ISBDocumentRoot** ppDocument) = 0;
    // Makes a new project document at `path` from that file: a document of
    // docTypeProgID is created, a stream is opened on the file and handed to
    // the importer created by importerProgID (ISBImporter::Import).
    virtual HRESULT ImportDocument(LONG flags, BSTR path, BSTR docTypeProgID, BSTR importerProgID, VARIANT varImportData,
                                   ISBDocumentRoot** ppDocument) = 0;
    // Saves a document through the exporter exporterProgID
    // ("SDModel3dImportExport.QSDImportExport") to `path`, or to its own
    // file when `path` is empty.
    virtual HRESULT ExportDocument(ISBDocumentRoot* pDocument, LONG flags, BSTR exporterProgID, VARIANT varExportData,
                                   BSTR path) = 0;
    // Opens the document file at `path` as a document of the project without
    // copying it (a ".qtd" trajectory with its ".trj" data, a ".qsd" structure).
    virtual HRESULT ImportDocumentReference(LONG flags, BSTR path, ISBDocumentRoot** ppDocument) = 0;
    // Removes a document from the project (see SBPurgeFlags).
    virtual HRESULT PurgeDocument(ISBDocumentRoot* pDocument, LONG flags) = 0;
    // Writes every modified document to its file and brings the project's file
    // list in step with the disk.
    virtual HRESULT Synchronize() = 0;
    // Links a document to the document file at associatedPath through the
    // event handler handlerProgID (a chart that follows a trajectory).
    virtual HRESULT AssociateDocument(ISBDocumentRoot* pDocument, BSTR handlerProgID, BSTR associatedPath) = 0;
};

// Folders for a job's or an export's files, asked of the document manager
// with QueryInterface.
struct ISBDocumentFolders : public IUnknown {
    static const IID& Iid() { return IID_ISBDocumentFolders; }
    // Makes a new, empty folder for `title` (a project path with folder and
    // name) inside the project documents folder, with a free name, and gives
    // its path relative to the project documents folder with the prefix
    // ".\" (for instance ".\sub\Quartz ZELM Energy").
    virtual HRESULT MakeDocumentFolder(BSTR title, LONG flags, BSTR* pProjectRelativePath) = 0;
};

// Document information and document views.
struct ISBDocumentService : public IUnknown {
    static const IID& Iid() { return IID_ISBDocumentService; }
    // Rescans the project's files so that new files are known.
    virtual HRESULT Refresh() = 0;
    // Information of the project file at `path`; not a project file: S_FALSE and null.
    virtual HRESULT GetDocumentInfo(BSTR path, ISBDocumentInfo** ppInfo) = 0;
    // Opens a view on a (new) document; *ppView is the view object.
    virtual HRESULT OpenDocument(ISBDocumentRoot* pDocument, IUnknown** ppView) = 0;
};

// Asked of the container root with QueryInterface to reach its document service.
struct ISBDocumentServiceProvider : public IUnknown {
    static const IID& Iid() { return IID_ISBDocumentServiceProvider; }
    // The container root's document service.
    virtual HRESULT get_DocumentService(ISBDocumentService** ppService) = 0;
};

// A document.
struct ISBDocumentRoot : public IUnknown {
    static const IID& Iid() { return IID_ISBDocumentRoot; }
    // The whole contents of the document as a scope.
    virtual HRESULT get_ContentsAsScope(ISBScope** ppScope) = 0;
    // The document's identifier, unique in the project.
    virtual HRESULT get_DocumentID(BSTR* pID) = 0;
    // The full path of the document's file; "" when it was never saved.
    virtual HRESULT get_DocumentURL(BSTR* pURL) = 0;
    // The document's name as the project shows it.
    virtual HRESULT get_DocumentName(BSTR* pName) = 0;
    // The document's data model (for a 3-D atomistic document the model, which
    // answers ISDObject, ISBScope and ISDNamedSets).
    virtual HRESULT get_ModelDocument(IUnknown** ppModel) = 0;
    // The document's information.
    virtual HRESULT get_DocumentInfo(ISBDocumentInfo** ppInfo) = 0;
    // Replaces this document's model by a copy of the model of pSource.
    virtual HRESULT CopyModelFrom(ISBDocumentRoot* pSource) = 0;
};

// Name, path and free-form properties of a document or project file.
struct ISBDocumentInfo : public IUnknown {
    static const IID& Iid() { return IID_ISBDocumentInfo; }
    // The document's name.
    virtual HRESULT get_DocumentName(BSTR* pName) = 0;
    // Renames the document.
    virtual HRESULT put_DocumentName(BSTR name) = 0;
    // The file's full path ("" when the document has no file).
    virtual HRESULT get_DocumentURL(BSTR* pURL) = 0;
    // A document property ("_ParentDocID"); not set: S_FALSE and VT_EMPTY.
    virtual HRESULT GetDocumentProperty(BSTR name, VARIANT* pValue) = 0;
    // Sets a document property; it is saved with the document.
    virtual HRESULT SetDocumentProperty(BSTR name, VARIANT value) = 0;
};

// A set of objects of one document (the whole model, a selection, the result
// of a scope processor).
struct ISBScope : public IUnknown {
    static const IID& Iid() { return IID_ISBScope; }
    // The objects of the scope, in the document's order (for atoms: each
    // symmetry parent followed by its images).
    virtual HRESULT get_Objects(ISBScopeObjects** ppObjects) = 0;
    // The document that holds the scope (null, S_FALSE, when none).
    virtual HRESULT get_DocumentRoot(ISBDocumentRoot** ppDocument) = 0;
};

// The objects of a scope.
struct ISBScopeObjects : public IUnknown {
    static const IID& Iid() { return IID_ISBScopeObjects; }
    // Number of objects.
    virtual HRESULT get_Count(LONG* pCount) = 0;
    // Object `index`, counted from 1 (answers ISDObject). Out of range: DISP_E_BADINDEX.
    virtual HRESULT Item(LONG index, IUnknown** ppObject) = 0;
};

// Status reported by the property access of ISDObject. The caller presets
// the status to -100 (no hint).
enum SDPropertyStatus : LONG {
    SDPropertyNoHint = -100,
    SDPropertyNoValue = -1, // the property exists but holds no value (S_FALSE, VT_EMPTY)
    SDPropertySet = 0,      // a value stored on the object
    SDPropertyDerived = 1,  // a value computed from other properties
    SDPropertyDefault = 2   // the property's default value
};

// A data-model object (atom, model, lattice, symmetry operator) with named properties.
struct ISDObject : public IUnknown {
    static const IID& Iid() { return IID_ISDObject; }
    // Reads the property `name` into *pValue and reports its SDPropertyStatus
    // in *pStatus. Objects (points, fractions, collections) come as VT_UNKNOWN.
    // Unknown property: E_INVALIDARG.
    virtual HRESULT get_PropertyValue(BSTR name, LONG* pStatus, VARIANT* pValue) = 0;
    // Writes the property `name`, converting the value to its type (a point
    // property takes a point object); *pStatus (may be null) receives SDPropertySet.
    // Unknown or read-only property, or unconvertible value: an error HRESULT.
    virtual HRESULT put_PropertyValue(BSTR name, LONG* pStatus, VARIANT value) = 0;
};

// A point or vector of three doubles (object CLSID_SDPoint3d). Dual.
struct ISDPoint3d : public IDispatch {
    static const IID& Iid() { return IID_ISDPoint3d; }
    // First component.
    virtual HRESULT get_X(double* pValue) = 0;
    virtual HRESULT put_X(double value) = 0;
    // Second component.
    virtual HRESULT get_Y(double* pValue) = 0;
    virtual HRESULT put_Y(double value) = 0;
    // Third component.
    virtual HRESULT get_Z(double* pValue) = 0;
    virtual HRESULT put_Z(double value) = 0;
    // All three components in one call.
    virtual HRESULT GetXYZ(double* pX, double* pY, double* pZ) = 0;
    // Sets all three components.
    virtual HRESULT SetXYZ(double x, double y, double z) = 0;
};

// A 3 by 3 matrix (object CLSID_SDMatrix3d). Dual. Element (row, column), 1-based.
struct ISDMatrix3d : public IDispatch {
    static const IID& Iid() { return IID_ISDMatrix3d; }
    // One element.
    virtual HRESULT get_Element(LONG row, LONG column, double* pValue) = 0;
    virtual HRESULT put_Element(LONG row, LONG column, double value) = 0;
    // The nine elements row by row: (1,1), (1,2), (1,3), (2,1), ... (3,3).
    virtual HRESULT GetElements(double* pElements9) = 0;
    // Sets the nine elements row by row, as GetElements gives them.
    virtual HRESULT SetElements(double e11, double e12, double e13, double e21, double e22, double e23, double e31,
                                double e32, double e33) = 0;
};

// A fraction (an atom's "FormalCharge").
struct ISDFraction : public IUnknown {
    static const IID& Iid() { return IID_ISDFraction; }
    // Numerator and denominator.
    virtual HRESULT GetNumeratorDenominator(LONG* pNumerator, LONG* pDenominator) = 0;
};

// A growable 1-based collection of VARIANTs (object CLSID_SDVariantDataDimension).
struct ISDVariantDataDimension : public IUnknown {
    static const IID& Iid() { return IID_ISDVariantDataDimension; }
    // Appends a copy of newValue; *pIndex (may be null) receives its 1-based index.
    virtual HRESULT Add(VARIANT newValue, LONG* pIndex) = 0;
    // Number of values.
    virtual HRESULT get_Count(LONG* pCount) = 0;
    // A copy of value `index` (1-based). Out of range: DISP_E_BADINDEX.
    virtual HRESULT Item(LONG index, VARIANT* pValue) = 0;
};

// The 3-D lattice of a model; its properties ("LengthA", "LengthB",
// "LengthC", "AngleAlpha", "AngleBeta", "AngleGamma" in radians,
// "LatticeRepresentation", "SpaceGroupLongName", "SpaceGroupITNumber",
// "SpaceGroupQualifier") are read through ISDObject.
struct ISDLattice3D : public IUnknown {
    static const IID& Iid() { return IID_ISDLattice3D; }
    // Sets the cell (lengths, angles in radians); the atoms keep their fractional positions.
    virtual HRESULT SetCellParameters(double a, double b, double c, double alpha, double beta, double gamma) = 0;
};

// The 2-D lattice of a surface model; its properties ("LengthU", "LengthV",
// "AngleTheta" in radians) are read through ISDObject.
struct ISDLattice2D : public IUnknown {
    static const IID& Iid() { return IID_ISDLattice2D; }
    // Sets the surface cell (lengths, angle in radians); the atoms keep their fractional positions.
    virtual HRESULT SetCellParameters(double u, double v, double theta) = 0;
};

// One symmetry operator of a model (an item of the symmetry object's
// "AllOperatorElements"); it also answers ISDObject.
struct ISDSymmetryOperator : public IUnknown {
    static const IID& Iid() { return IID_ISDSymmetryOperator; }
    // The operator on fractional coordinates as three rows of four doubles:
    // r11 r12 r13 t1, r21 r22 r23 t2, r31 r32 r33 t3 (pRows12 holds 12 values).
    virtual HRESULT GetTransform(double* pRows12) = 0;
};

// Kinds of point conversion of ISDLatticeFrame::GetPointConverter.
enum SDPointConversion : LONG {
    SDConvertFractionalToCartesian = 1,
    SDConvertCartesianToFractional = 2,
    SDConvertStandardToModel = 3 // Cartesian in the standard cell orientation (a along x, b in the xy plane) to the model's orientation
};

// The frame (orientation) of a periodic model.
struct ISDLatticeFrame : public IUnknown {
    static const IID& Iid() { return IID_ISDLatticeFrame; }
    // A converter of the given SDPointConversion kind.
    virtual HRESULT GetPointConverter(ISDPointConverter** ppConverter, LONG kind) = 0;
};

// Converts points between frames.
struct ISDPointConverter : public IUnknown {
    static const IID& Iid() { return IID_ISDPointConverter; }
    // A new point object holding the converted point.
    virtual HRESULT ConvertPoint(ISDPoint3d* pPoint, ISDPoint3d** ppConverted) = 0;
};

// The surface description of a slab model (how it was cleaved from a bulk crystal).
struct ISDSurfaceDescription : public IUnknown {
    static const IID& Iid() { return IID_ISDSurfaceDescription; }
    // The whole description; any out pointer may be null. pPlane is null when
    // the model carries no surface description (and then nothing else is written).
    virtual HRESULT GetSurfaceInformation(VARIANT_BOOL* pIsCleaved,   // 1: the model was cleaved
                                          BSTR* pPlane,                // 2: Miller indices as text "(h k l)"
                                          LONG* pH,                    // 3: Miller index h
                                          LONG* pK,                    // 4: Miller index k
                                          LONG* pL,                    // 5: Miller index l
                                          double* pTopPosition,        // 6: fractional position of the cleave in the bulk
                                          double* pDSpacing,           // 7: spacing of the (h k l) planes
                                          double* pRelativeDepth,      // 8: slab depth in layers
                                          double* pAbsoluteDepth,      // 9: slab depth in length units
                                          double* pSurfaceArea,        // 10: area of the surface cell
                                          LONG* pAtomCount,            // 11: atoms of the slab
                                          double* pVacuumThickness,    // 12: vacuum above the slab (0 for a 2-D periodic slab)
                                          LONG* pTermination,          // 13: index of the chosen termination
                                          LONG* pRepeatCount,          // 14: repeats of the surface cell
                                          BSTR* pBulkDocumentID) = 0;  // 15: identifier of the bulk document
};

// Named object sets of a model ("SurfaceAtoms", "AttachmentLayer"), asked
// of the model with QueryInterface.
struct ISDNamedSets : public IUnknown {
    static const IID& Iid() { return IID_ISDNamedSets; }
    // VARIANT_TRUE when the model has a set of that name.
    virtual HRESULT HasSet(BSTR name, VARIANT_BOOL* pHas) = 0;
    // Makes an empty set (visible: listed for the user); an existing set stays as it is (S_FALSE).
    virtual HRESULT CreateSet(BSTR name, VARIANT_BOOL visible) = 0;
    // Removes a set (its objects stay in the model); no such set: S_FALSE.
    virtual HRESULT DeleteSet(BSTR name) = 0;
    // VARIANT_TRUE when the set holds no object (also when there is no such set).
    virtual HRESULT SetIsEmpty(BSTR name, VARIANT_BOOL* pEmpty) = 0;
    // VARIANT_TRUE when the object is in the set.
    virtual HRESULT ObjectBelongsToSet(IUnknown* pObject, BSTR name, VARIANT_BOOL* pBelongs) = 0;
    // Adds an object of this model to the set (S_FALSE when already in it). No such set: E_INVALIDARG.
    virtual HRESULT AddObjectToSet(IUnknown* pObject, BSTR name) = 0;
    // Takes an object out of the set (S_FALSE when not in it).
    virtual HRESULT RemoveObjectFromSet(IUnknown* pObject, BSTR name) = 0;
    // Makes the selection exactly the objects of the set.
    virtual HRESULT SetSelectionToSet(BSTR name) = 0;
    // The objects of the set as a scope. No such set: E_INVALIDARG.
    virtual HRESULT GetSetAsScope(BSTR name, ISBScope** ppScope) = 0;
    // The set names, in creation order, as a new 1-D VT_BSTR array.
    virtual HRESULT get_SetNames(SAFEARRAY** ppNames) = 0;
};

// Descriptions of data-model properties (object CLSID_SDPropertyService).
struct ISDPropertyService : public IUnknown {
    static const IID& Iid() { return IID_ISDPropertyService; }
    // The template of a named property ("IsSelected", "XYZ", "DistanceAlongAxis").
    // Unknown name: E_INVALIDARG.
    virtual HRESULT GetPropertyTemplate(BSTR name, ISDPropertyTemplate** ppTemplate) = 0;
};

// A data-model property independent of any object.
struct ISDPropertyTemplate : public IUnknown {
    static const IID& Iid() { return IID_ISDPropertyTemplate; }
    // The property's name.
    virtual HRESULT get_Name(BSTR* pName) = 0;
    // Writes the value into this property of every object of the scope that has it.
    virtual HRESULT SetValueOnScope(ISBScope* pScope, VARIANT value) = 0;
};

// A text document ("SDDocuments.TextDocument").
struct ISDTextDocument : public IUnknown {
    static const IID& Iid() { return IID_ISDTextDocument; }
    // The document's text.
    virtual HRESULT get_Text(BSTR* pText) = 0;
    // Replaces the document's text.
    virtual HRESULT put_Text(BSTR text) = 0;
};

// Open modes of ISBStream::Open.
enum SBStreamMode : LONG {
    SBStreamRead = 1, // an existing file, for reading
    SBStreamWrite = 2 // a new or emptied file, for writing
};

// A file stream of the host (object CLSID_SBStream).
struct ISBStream : public IUnknown {
    static const IID& Iid() { return IID_ISBStream; }
    // The path of the stream's file ("" before Open).
    virtual HRESULT get_FilePath(BSTR* pPath) = 0;
    // Opens the file named by varPath (VT_BSTR) in the SBStreamMode `mode`.
    virtual HRESULT Open(LONG mode, VARIANT varPath) = 0;
    // Closes the stream (S_FALSE when it was not open).
    virtual HRESULT Close() = 0;
};

// A document that loads from and saves to streams in named formats
// ("SDModel3dImportExport.QSDImportExport", "SDModel3dImportExport.QTDImportExport").
struct ISBPersistable : public IUnknown {
    static const IID& Iid() { return IID_ISBPersistable; }
    // Replaces the document's contents by what the stream holds in that format.
    virtual HRESULT LoadFrom(IUnknown* pStream, VARIANT varFormat, VARIANT varOptions) = 0;
    // Writes the document into the (writable) stream in that format.
    virtual HRESULT SaveTo(IUnknown* pStream, VARIANT varFormat, VARIANT varOptions) = 0;
};

// An importer that fills a new document from a file stream (used by ISBDocumentManager::ImportDocument).
struct ISBImporter : public IUnknown {
    static const IID& Iid() { return IID_ISBImporter; }
    // Fills pDoc (a new document) from pStream (an open ISBStream).
    virtual HRESULT Import(IUnknown* pStream, IUnknown* pDoc, VARIANT varUnknownImportData) = 0;
};
