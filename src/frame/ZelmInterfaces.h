// The module's own COM interfaces as its type library declares them: the
// logic object's dual interface IZelm, the observables object's
// IQoZelmObservableData and the surface calculator's
// IQoZelmSurfaceCalculator, with their interface identifiers and dispatch
// identifiers. A host (the driver, the tests) includes this header to call
// the module through COM; it needs none of the module's code.
#pragma once

#include "com/com.h"
#include "frame/ModuleIds.h"
#include "hostapi/hostapi.h"
#include "setup/SurfaceCalculatorInterface.h"

inline constexpr IID IID_IZelm = HostApi::MakeGuid("7A42074F-34D0-4032-8484-F61D0EB5BCD1");
inline constexpr IID IID_IQoZelmObservableData = HostApi::MakeGuid("2C95DAFF-0E4E-4D1F-A7D0-5EF7A85DD668");

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
} // namespace ZelmDispatchIds
