// The module's own COM interfaces as its type library declares them: the
// logic object's dual interface IZelm, the observables object's
// IQoZelmObservableData, the surface calculator's IQoZelmSurfaceCalculator,
// the analysis component's IZelmAnalysis and the forcefield editor's
// IZelmLoadWarnings and IZelmHeldInteractions and the analysis component's
// IZelmFittedLibrary and IZelmArchiveFrames, with their interface
// identifiers and dispatch identifiers. A host (the driver, the tests) includes this header to call
// the module through COM; it needs none of the module's code.
#pragma once

#include "com/com.h"
#include "common/ModuleIds.h"
#include "hostapi/hostapi.h"
#include "common/SurfaceCalculatorInterface.h"

inline constexpr IID IID_IZelm = HostApi::MakeGuid("7A42074F-34D0-4032-8484-F61D0EB5BCD1");
inline constexpr IID IID_IQoZelmObservableData = HostApi::MakeGuid("2C95DAFF-0E4E-4D1F-A7D0-5EF7A85DD668");
inline constexpr IID IID_IZelmAnalysis = HostApi::MakeGuid("6904E31B-2572-4DE3-9C89-6651583F70C2");
inline constexpr IID IID_IZelmLoadWarnings = HostApi::MakeGuid("3F1C6E52-8B7D-4A09-9E41-D2C57A0B6F18");
inline constexpr IID IID_IZelmHeldInteractions = HostApi::MakeGuid("9B2E47D1-6C3A-4F85-A0D9-5E18C7B3F264");
inline constexpr IID IID_IZelmFittedLibrary = HostApi::MakeGuid("5D0A3C71-9E24-4B6F-8C13-7A2E4F90B6D5");
inline constexpr IID IID_IZelmArchiveFrames = HostApi::MakeGuid("96B7DEA3-7A8C-4BB4-9529-27806D103FF4");
// The module's own failure code of an analysis that finds no structure
// document of its run ("Atomistic 3D document not found"), so that a caller
// tells this failure by its code, not by its text.
inline constexpr HRESULT ZELM_E_NO_STRUCTURE_DOCUMENT = MakeHResult(0x80040201u);

inline constexpr IID IID_IZelmExportCheck = HostApi::MakeGuid("0C9018CD-97DD-4BB2-8854-B32C99B7D52B");

// Asked of the forcefield editor object (IQoForcefieldEditor) the module
// hands out: the lines of the library it loaded last that its reader kept as
// text instead of reading them, each as "line N: <line>" and, on a line of
// its own, the reason (the file's text as a short escaped excerpt); an empty
// array for a clean library or when nothing is loaded.
struct IZelmLoadWarnings : public IUnknown {
    static const IID& Iid() { return IID_IZelmLoadWarnings; }
    virtual HRESULT get_LoadWarnings(SAFEARRAY** pLines) = 0;
};

// Asked of the same editor object: every interaction its forcefield holds,
// in the order they were added, one text each: the interaction type's name,
// the functional form's keyword, the id and the atom types (in the
// forcefield's own order), separated by tabs. The host's interfaces answer
// "which interactions" for one combination of atom types at a time; this
// lists them in time proportional to what the forcefield holds. An empty
// array when nothing is loaded.
struct IZelmHeldInteractions : public IUnknown {
    static const IID& Iid() { return IID_IZelmHeldInteractions; }
    virtual HRESULT get_HeldInteractions(SAFEARRAY** pEntries) = 0;
};

// Asked of the analysis component (IZelmAnalysis): the library file that
// its last successful ImportLibrary gave, whether that import wrote it or
// found the library or one of its numbered copies already holding what the
// dump gives (then nothing was written); empty before such an import.
struct IZelmFittedLibrary : public IUnknown {
    static const IID& Iid() { return IID_IZelmFittedLibrary; }
    virtual HRESULT get_FittedLibrary(BSTR* pPath) = 0;
};

// Asked of the analysis component (IZelmAnalysis): how the frames of a
// run's archive end, as its answers judge them (read with the run's atom
// count and no atom map), from the summary it keeps of the archive it read
// last, so that what a caller says beside the answers does not read the
// archive again: the whole frames, whether the end of the file cuts the last
// frame short, and the number (from 1) of the first frame that is not whole
// though the file goes on (0 for none). An archive that cannot be read fails
// with the archive reader's reason.
struct IZelmArchiveFrames : public IUnknown {
    static const IID& Iid() { return IID_IZelmArchiveFrames; }
    virtual HRESULT GetArchiveFrames(BSTR bstrArchive, LONG* pWholeFrames, VARIANT_BOOL* pLastFrameCut,
                                     LONG* pDamagedFrame) = 0;
};

// Asked of the logic object (IZelm): the export question of a scope with its
// reason. It runs the preparation that ISBManagedJobFiles::ExportFiles runs
// (the same reads and refusals), writing nothing; *pReason is "" when the
// export would go, else the reason the export would be refused with.
// CanExportFiles answers by the same preparation.
struct IZelmExportCheck : public IUnknown {
    static const IID& Iid() { return IID_IZelmExportCheck; }
    virtual HRESULT ExportRefusal(ISBScope* pScope, BSTR* pReason) = 0;
};

// "handles storage of array data in state for observables": a logic whose
// state keeps the observable rows of a fitting run. Dual.
struct IQoZelmObservableData : public ISBLogic {
    static const IID& Iid() { return IID_IQoZelmObservableData; }
    // Whether a run may use the observables (always VARIANT_TRUE).
    virtual HRESULT ObservableRunCheck(VARIANT_BOOL* canRun) = 0;
};

// The logic object's dual interface; after ISBLogic (State, OnConnect,
// Extension) its members in slot order.
struct IZelm : public ISBLogic {
    static const IID& Iid() { return IID_IZelm; }
    // "Save ZELM input files to folder": writes the deck and the files beside
    // it into InputFolderPath; InputFileName receives the deck's file name.
    virtual HRESULT SaveZelmInputFiles(ISBScope* pScope, BSTR InputFolderPath, BSTR* InputFileName) = 0;
    // "Are all atoms in scope in selected ZELM library?"
    virtual HRESULT AllAtomicChargesInLibrary(ISBScope* pScope, VARIANT_BOOL* retval) = 0;
    // "Does document in scope have P1 symmetry?"
    virtual HRESULT IsP1(ISBScope* pScope, VARIANT_BOOL* retval) = 0;
    // "Make document in scope have P1 symmetry"
    virtual HRESULT MakeP1(ISBScope* pScope) = 0;
    // "Is document in scope 3D periodic?"
    virtual HRESULT IsPeriodic(ISBScope* pScope, VARIANT_BOOL* retval) = 0;
    // "Are all atoms in scope in selected ZELM library and return list of
    // missing atoms?"
    virtual HRESULT AllAtomicChargesInLibrary2(ISBScope* pScope, SAFEARRAY** pMissingAtomArr, VARIANT_BOOL* retval) = 0;
    // "Run currently selected ZELM input file"
    virtual HRESULT Run(ISBScope* pScope) = 0;
    // "Are there any pi-systems in scope?"
    virtual HRESULT HasPiSystems(ISBScope* pScope, VARIANT_BOOL* retval) = 0;
    // "List libraries to be excluded from ZELM application"
    virtual HRESULT get_LibrariesToExclude(BSTR* Exclusions) = 0;
    // "Does library allow phonon calculations?"
    virtual HRESULT CanDoPhononNonGamma(ISBScope* pScope, VARIANT_BOOL* retval) = 0;
    // "returns observable data interface"
    virtual HRESULT get_ObservableData(IQoZelmObservableData** ppObservableData) = 0;
};

// The analysis component's dual interface ("QorZelm.ZelmAnalysis"): what
// can be made of the results that its results scope selects, and the
// commands that make it. Members in slot order after IDispatch's.
struct IZelmAnalysis : public IDispatch {
    static const IID& Iid() { return IID_IZelmAnalysis; }
    // The component's results scope (one added reference).
    virtual HRESULT get_AnalysisScope(IQoQMAnalysisScope** pAnalysisScope) = 0;
    // "Update structure based on the output results"
    virtual HRESULT UpdateStructure(ISBDocumentRoot* pDocRoot) = 0;
    // "Is it possible to update structure from output files?"
    virtual HRESULT get_CanUpdateStructure(VARIANT_BOOL* pCanUpdateStructure) = 0;
    // "Create trajectory file based on the output results"; pTrajDocInfo
    // receives the new trajectory document.
    virtual HRESULT CreateTrajectory(ISBDocumentRoot* pSourceDocRoot, ISBDocumentRoot** pTrajDocInfo) = 0;
    // "Is it possible to create trajectory from output files?"
    virtual HRESULT get_CanCreateTrajectory(VARIANT_BOOL* pCanCreateTrajectory) = 0;
    // The energy (and convergence, temperature, pressure) history charts.
    virtual HRESULT PlotEnergyEvolution() = 0;
    virtual HRESULT get_CanViewEnergyEvolution(VARIANT_BOOL* pCanViewEnergyEvolution) = 0;
    // The optical-properties chart.
    virtual HRESULT PlotOpticalProperties() = 0;
    virtual HRESULT get_CanPlotOpticalProperties(VARIANT_BOOL* pCanPlot) = 0;
    // "Import library from fitting run's .res file"
    virtual HRESULT ImportLibrary() = 0;
    // "Is it possible to create a library from output files?"
    virtual HRESULT get_CanImportLibrary(VARIANT_BOOL* pCanPlot) = 0;
    // The phonon charts.
    virtual HRESULT get_CanPlotPhononDispersion(VARIANT_BOOL* pCanPlot) = 0;
    virtual HRESULT get_CanPlotPhononDOS(VARIANT_BOOL* pCanPlot) = 0;
    virtual HRESULT PlotPhononDispersion() = 0;
    virtual HRESULT PlotPhononDOS() = 0;
    // The phonon dispersion generator that the logic state holds (null when none).
    virtual HRESULT get_PhononDispersionGenerator(IQoPhononDispersionGenerator** ppGenerator) = 0;
};

// Dispatch identifiers of the type library.
namespace ZelmDispatchIds {
inline constexpr DISPID State = 0;
inline constexpr DISPID OnConnect = 2;
inline constexpr DISPID Extension = 4;
inline constexpr DISPID SaveZelmInputFiles = 0x64;
inline constexpr DISPID AllAtomicChargesInLibrary = 0x65;
inline constexpr DISPID IsP1 = 0x66;
inline constexpr DISPID MakeP1 = 0x67;
inline constexpr DISPID IsPeriodic = 0x68;
inline constexpr DISPID AllAtomicChargesInLibrary2 = 0x69;
inline constexpr DISPID Run = 0x6A;
inline constexpr DISPID HasPiSystems = 0x6B;
inline constexpr DISPID LibrariesToExclude = 0x6C;
inline constexpr DISPID CanDoPhononNonGamma = 0x6D;
inline constexpr DISPID ObservableData = 0x6003000A;
// ISBManagedJobFiles: StartFiles, ExportFiles, CanStartFiles,
// CanExportFiles, ShouldStartFiles.
inline constexpr DISPID StartFiles = 0x60020000;
inline constexpr DISPID ExportFiles = 0x60020001;
inline constexpr DISPID CanStartFiles = 0x60020002;
inline constexpr DISPID CanExportFiles = 0x60020003;
inline constexpr DISPID ShouldStartFiles = 0x60020004;
// IQoZelmObservableData
inline constexpr DISPID ObservableRunCheck = 0x60030000;
// IZelmAnalysis
inline constexpr DISPID AnalysisScope = 0xC8;
inline constexpr DISPID UpdateStructure = 0xC9;
inline constexpr DISPID CanUpdateStructure = 0xCA;
inline constexpr DISPID CreateTrajectory = 0xCB;
inline constexpr DISPID CanCreateTrajectory = 0xCC;
inline constexpr DISPID PlotEnergyEvolution = 0xCD;
inline constexpr DISPID CanViewEnergyEvolution = 0xCE;
inline constexpr DISPID PlotOpticalProperties = 0xCF;
inline constexpr DISPID CanPlotOpticalProperties = 0xD0;
inline constexpr DISPID ImportLibrary = 0xD1;
inline constexpr DISPID CanImportLibrary = 0xD2;
inline constexpr DISPID CanPlotPhononDispersion = 0xD3;
inline constexpr DISPID CanPlotPhononDOS = 0xD4;
inline constexpr DISPID PlotPhononDispersion = 0xD5;
inline constexpr DISPID PlotPhononDOS = 0xD6;
inline constexpr DISPID PhononDispersionGenerator = 0xD7;
} // namespace ZelmDispatchIds
