// Host application interfaces: logics, extensions, state and the container
// root through which every host service is reached.
#pragma once

#include "hostapi/guid.h"

// Interfaces declared in the other host headers.
struct ISBDiskManager;
struct ISBFolderManager;
struct ISBDocumentManager;
struct ISBStateManager;
struct ISBJobManager;
struct ISBOperationManager;
struct ISBScopeManager;
struct ISBDocumentService;
struct ISBPathService;

struct ISBState;
struct ISBLogic;
struct ISBLogics;
struct ISBExtension;
struct ISBExtensions;
struct ISBModuleManager;
struct ISBContainerRoot;
struct ISBContainerRootConsumer;

inline constexpr IID IID_ISBLogic = HostApi::MakeGuid("80A35F54-96A7-4A6C-B1D0-75AC7537A69C");
inline constexpr IID IID_ISBContainerRootConsumer = HostApi::MakeGuid("C1FD5914-2A89-4EA5-B893-BF0CD6BB0E57");
// identifier of our own
inline constexpr IID IID_ISBState = HostApi::MakeGuid("6865BF27-4D0C-47BA-9B42-52A363CAE4B0");
// identifier of our own
inline constexpr IID IID_ISBLogics = HostApi::MakeGuid("10D283AF-0B30-46C3-A4E5-B01F8C149B24");
// identifier of our own
inline constexpr IID IID_ISBExtension = HostApi::MakeGuid("75F1DCAA-6DCB-4B83-83ED-415165637FFB");
// identifier of our own
inline constexpr IID IID_ISBExtensions = HostApi::MakeGuid("18E7F5BB-A144-4025-9F6F-F82727C85292");
// identifier of our own
inline constexpr IID IID_ISBModuleManager = HostApi::MakeGuid("31A8600B-C6BC-40C2-A862-585503FE83FD");
// identifier of our own
inline constexpr IID IID_ISBContainerRoot = HostApi::MakeGuid("9156B3DA-0D9B-466A-B18A-072B52D72C3A");

// Kind of a state property as the host's state definitions declare it.
enum SBStatePropertyKind : LONG {
    SBStatePropertyScalar = 0,  // one VT_BSTR, VT_I4, VT_R8 or VT_BOOL value
    SBStatePropertyArray = 1,   // a one-dimensional SAFEARRAY (VT_ARRAY | element type)
    SBStatePropertyCoClass = 2, // an object (VT_UNKNOWN), possibly null
    SBStatePropertyEnum = 3     // a number (VT_I4) with a text for each permitted number
};

// A logic's state: a bag of named properties. Passed to the job manager as the
// template state of a job (as IDispatch).
struct ISBState : public IDispatch {
    static const IID& Iid() { return IID_ISBState; }
    // Copies the value of the property `name` into *pValue: scalars as their
    // variant type, arrays as VT_ARRAY, objects as VT_UNKNOWN (VT_EMPTY when
    // none), enums as their number (VT_I4). Unknown name: E_INVALIDARG.
    virtual HRESULT GetPropertyValue(BSTR name, VARIANT* pValue) = 0;
    // Stores a value, converted to the property's declared type (an enum also
    // takes its text). Unknown name or unconvertible value: an error HRESULT.
    virtual HRESULT SetPropertyValue(BSTR name, VARIANT value) = 0;
    // Text of the current value of the enum property `name`.
    virtual HRESULT GetPropertyEnumText(BSTR name, BSTR* pText) = 0;
    // VARIANT_TRUE when the state has a property of that name.
    virtual HRESULT HasProperty(BSTR name, VARIANT_BOOL* pHas) = 0;
    // Declared kind of the property (an SBStatePropertyKind value).
    virtual HRESULT GetPropertyKind(BSTR name, LONG* pKind) = 0;
    // All property names, in definition order, as a new 1-D VT_BSTR array (lower bound 0).
    virtual HRESULT get_PropertyNames(SAFEARRAY** ppNames) = 0;
};

// A logic component placed in an extension. Dual; dispatch identifiers
// State 0, OnConnect 2, Extension 4.
struct ISBLogic : public IDispatch {
    static const IID& Iid() { return IID_ISBLogic; }
    // The logic's state object.
    virtual HRESULT get_State(ISBState** ppState) = 0;
    // The host tells the logic that it now sits in pExtension; the instance
    // data is the host's (the logic's name in the extension, as VT_BSTR).
    virtual HRESULT OnConnect(ISBExtension* pExtension, VARIANT varInstanceData) = 0;
    // The extension that holds the logic.
    virtual HRESULT get_Extension(ISBExtension** ppExtension) = 0;
};

// The logics of one extension.
struct ISBLogics : public IUnknown {
    static const IID& Iid() { return IID_ISBLogics; }
    // Number of logics.
    virtual HRESULT get_Count(LONG* pCount) = 0;
    // Logic by name (VT_BSTR) or by 1-based position (VT_I4). Not found: E_INVALIDARG, null.
    virtual HRESULT Item(VARIANT index, ISBLogic** ppLogic) = 0;
};

// A named group of logics (for instance "QorZelm.Extension").
struct ISBExtension : public IUnknown {
    static const IID& Iid() { return IID_ISBExtension; }
    // The extension's name.
    virtual HRESULT get_Name(BSTR* pName) = 0;
    // The extension's logics.
    virtual HRESULT get_Logics(ISBLogics** ppLogics) = 0;
    // Logic by name (VT_BSTR) or 1-based position (VT_I4), as ISBLogics::Item.
    virtual HRESULT Item(VARIANT index, ISBLogic** ppLogic) = 0;
    // Makes (or hands again) the state that the extension keeps for the logic
    // pLogic, filled with the defaults of its definitions; GUID_NULL asks for
    // the host's ordinary state class. A logic not held by this extension:
    // E_INVALIDARG.
    virtual HRESULT CreateContainedState(ISBLogic* pLogic, REFGUID stateClass, ISBState** ppState) = 0;
};

// All extensions of the application.
struct ISBExtensions : public IUnknown {
    static const IID& Iid() { return IID_ISBExtensions; }
    // Number of extensions.
    virtual HRESULT get_Count(LONG* pCount) = 0;
    // Extension by name (VT_BSTR) or 1-based position (VT_I4). Not found: E_INVALIDARG, null.
    virtual HRESULT Item(VARIANT index, ISBExtension** ppExtension) = 0;
};

// The loaded modules and their extensions.
struct ISBModuleManager : public IUnknown {
    static const IID& Iid() { return IID_ISBModuleManager; }
    // Extension by name ("QoRestricions.Restrictions"). Not found: E_INVALIDARG, null.
    virtual HRESULT GetExtension(BSTR name, ISBExtension** ppExtension) = 0;
};

// The application's root object: every host service is one of its properties.
struct ISBContainerRoot : public IUnknown {
    static const IID& Iid() { return IID_ISBContainerRoot; }
    // File-system operations of the host.
    virtual HRESULT get_DiskManager(ISBDiskManager** ppManager) = 0;
    // Project and product folders.
    virtual HRESULT get_FolderManager(ISBFolderManager** ppManager) = 0;
    // Documents of the project.
    virtual HRESULT get_DocumentManager(ISBDocumentManager** ppManager) = 0;
    // Module state files.
    virtual HRESULT get_StateManager(ISBStateManager** ppManager) = 0;
    // Server jobs.
    virtual HRESULT get_JobManager(ISBJobManager** ppManager) = 0;
    // Undoable operations.
    virtual HRESULT get_OperationManager(ISBOperationManager** ppManager) = 0;
    // Modules and their extensions.
    virtual HRESULT get_ModuleManager(ISBModuleManager** ppManager) = 0;
    // Default and active scopes, scope processing.
    virtual HRESULT get_ScopeManager(ISBScopeManager** ppManager) = 0;
    // All extensions (by name: "QorZelm.Extension").
    virtual HRESULT get_Extensions(ISBExtensions** ppExtensions) = 0;
    // Document information of files known to the project.
    virtual HRESULT get_DocumentService(ISBDocumentService** ppService) = 0;
    // Splitting of paths into drive, folder, name and extension.
    virtual HRESULT get_PathService(ISBPathService** ppService) = 0;
};

// Implemented by components that use the container root. The host connects the
// root when it creates the component and disconnects it when it lets it go (a
// logic's framework runs its shut-down hook then).
struct ISBContainerRootConsumer : public IUnknown {
    static const IID& Iid() { return IID_ISBContainerRootConsumer; }
    // Hands the component the container root (it keeps a reference).
    virtual HRESULT ConnectContainerRoot(ISBContainerRoot* pRoot) = 0;
    // Takes the container root back (the component drops its reference).
    virtual HRESULT DisconnectContainerRoot() = 0;
};
