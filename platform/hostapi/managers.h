// Host application interfaces: the managers that the container root hands
// out for files, folders, module state, undoable operations and scopes.
#pragma once

#include "hostapi/core.h"

struct ISBScope;
struct ISBFileSearch;
struct ISBFileEnumerator;
struct ISBOperation;

// identifier of our own
inline constexpr IID IID_ISBDiskManager = HostApi::MakeGuid("5F877EB0-9191-45E4-9985-914B4A76DD15");
// identifier of our own
inline constexpr IID IID_ISBFileSearch = HostApi::MakeGuid("EDB97D66-6FD2-4927-BD72-73A7B22FAA7E");
// identifier of our own
inline constexpr IID IID_ISBFileEnumerator = HostApi::MakeGuid("F3155F77-467E-47E4-88DB-3C782631FB41");
// identifier of our own
inline constexpr IID IID_ISBFolderManager = HostApi::MakeGuid("56E25715-5F9F-48A7-BD92-C86D1BF7A85A");
// identifier of our own
inline constexpr IID IID_ISBPathService = HostApi::MakeGuid("019A560D-FF0B-41D2-888A-461F2A992114");
// identifier of our own
inline constexpr IID IID_ISBStateManager = HostApi::MakeGuid("CCA50134-947F-4FFF-BCF2-414CB7354EDD");
// identifier of our own
inline constexpr IID IID_ISBOperationManager = HostApi::MakeGuid("581565CD-2582-4DAA-A70E-F2951F18844B");
// identifier of our own
inline constexpr IID IID_ISBOperation = HostApi::MakeGuid("FD521F1B-AF66-4911-9986-C5B1EC1F97C1");
// identifier of our own
inline constexpr IID IID_ISBScopeManager = HostApi::MakeGuid("FC227C83-CCC3-4B08-AC0E-7556D41B0E79");

// Flags of the disk manager's file and folder operations; they combine.
enum SBDiskFlags : LONG {
    SBDiskNoFlags = 0,
    SBDiskMakeUnique = 0x08, // target taken: use the first free name "name_2", "name_3", ... and report it
    SBDiskRecursive = 0x10,  // a folder together with everything in it
    SBDiskOverwrite = 0x80   // target taken: replace it
};

// File-system operations of the host. Paths may use "\" or "/".
struct ISBDiskManager : public IUnknown {
    static const IID& Iid() { return IID_ISBDiskManager; }
    // Renames a folder; *pActualName is the folder's new full path (with
    // SBDiskMakeUnique possibly another free name), without a trailing separator.
    virtual HRESULT RenameFolder(BSTR oldName, BSTR newName, LONG flags, BSTR* pActualName) = 0;
    // Deletes a folder (SBDiskRecursive: with its contents; else it must be empty).
    virtual HRESULT DeleteFolder(BSTR name, LONG flags) = 0;
    // Splits a path into drive ("" on this platform), folder (ending in a
    // separator), file name and extension (with its dot); any out pointer may be null.
    virtual HRESULT SplitPath(BSTR path, BSTR* pDrive, BSTR* pDirectory, BSTR* pFileName, BSTR* pExtension) = 0;
    // A file name made safe for the file system. windowsSafeOnly: replace only
    // the characters that file names may not hold; otherwise every character
    // but letters, digits, '_', '-', '.' and blanks. allowWildCharacters keeps
    // '*' and '?'. The same rule gives a job's safe names.
    virtual HRESULT MakeSafeFileName(BSTR name, VARIANT_BOOL windowsSafeOnly, VARIANT_BOOL allowWildCharacters, BSTR* pSafeName) = 0;
    // Whether the project hides the file from the user.
    virtual HRESULT get_Hidden(BSTR path, VARIANT_BOOL* pHidden) = 0;
    // Hides (VARIANT_TRUE) or shows the file in the project; the file must exist.
    virtual HRESULT put_Hidden(BSTR path, VARIANT_BOOL hidden) = 0;
    // VARIANT_TRUE when a file or folder exists at the path.
    virtual HRESULT IsExisting(BSTR path, VARIANT_BOOL* pExists) = 0;
    // Copies a file; pNewName (may be null) receives the target actually written.
    virtual HRESULT CopyFile(BSTR source, BSTR target, LONG flags, BSTR* pNewName) = 0;
    // Deletes a file; a missing file gives S_FALSE.
    virtual HRESULT DeleteFile(BSTR path, LONG flags) = 0;
    // Renames (moves) a file; pNewName (may be null) receives the new full path.
    virtual HRESULT RenameFile(BSTR source, BSTR target, LONG flags, BSTR* pNewName) = 0;
};

// File search, asked of the disk manager with QueryInterface.
struct ISBFileSearch : public IUnknown {
    static const IID& Iid() { return IID_ISBFileSearch; }
    // Files matching a pattern "folder\*.ext" ('*' and '?' in the file name
    // only), in name order, as full paths. No match: an empty enumeration.
    virtual HRESULT FindFiles(BSTR pattern, ISBFileEnumerator** ppFiles) = 0;
};

// The result of a file search.
struct ISBFileEnumerator : public IUnknown {
    static const IID& Iid() { return IID_ISBFileEnumerator; }
    // Hands out up to `count` paths into entries[0..]; S_OK when all were
    // fetched, S_FALSE when fewer. pFetched may be null.
    virtual HRESULT Next(ULONG count, BSTR* entries, ULONG* pFetched) = 0;
    // Skips entries; S_FALSE when fewer were left.
    virtual HRESULT Skip(ULONG count) = 0;
    // Back to the first entry.
    virtual HRESULT Reset() = 0;
};

// Project and product folders.
struct ISBFolderManager : public IUnknown {
    static const IID& Iid() { return IID_ISBFolderManager; }
    // Replaces the folder variables ("%PROJECT_DOCUMENTS_FOLDER%") in a path by
    // their folders (without a trailing separator).
    virtual HRESULT ExpandPath(BSTR path, BSTR* pExpanded) = 0;
    // Replaces a leading project documents folder by "%PROJECT_DOCUMENTS_FOLDER%";
    // other paths come back unchanged.
    virtual HRESULT CompactPath(BSTR path, BSTR* pCompacted) = 0;
    // The installation's product data folder.
    virtual HRESULT get_CoreFolder(BSTR* pFolder) = 0;
};

// Path splitting offered by the container root.
struct ISBPathService : public IUnknown {
    static const IID& Iid() { return IID_ISBPathService; }
    // As ISBDiskManager::SplitPath.
    virtual HRESULT SplitPath(BSTR path, BSTR* pDrive, BSTR* pDirectory, BSTR* pFileName, BSTR* pExtension) = 0;
};

// Flags of CreateModuleState.
enum SBModuleStateFlags : LONG {
    SBModuleStateOverwrite = 0x01 // replace a module state file of the same name
};

// Module state files.
struct ISBStateManager : public IUnknown {
    static const IID& Iid() { return IID_ISBStateManager; }
    // Writes the current states of the extension's logics into the file
    // `name` + ".qms" in `folder` and hands out the module state object.
    virtual HRESULT CreateModuleState(ISBExtension* pExtension, BSTR folder, BSTR name, LONG flags,
                                      VARIANT varDefaultPresentation, IUnknown** ppModuleState) = 0;
};

// Kinds of undoable operation.
enum SBOperationKind : LONG {
    SBOperationDefault = 0,    // an ordinary step of the undo history
    SBOperationModelUpdate = 3 // a step that changes a model as a whole or its selection; views redraw when it closes
};

// Undoable operations: every document change made while one is held forms a
// single step of the user's undo history.
struct ISBOperationManager : public IUnknown {
    static const IID& Iid() { return IID_ISBOperationManager; }
    // Opens an operation; releasing the last reference to it closes it.
    virtual HRESULT CreateOperation(BSTR name, BSTR description, LONG kind, ISBOperation** ppOperation) = 0;
};

// An open undoable operation.
struct ISBOperation : public IUnknown {
    static const IID& Iid() { return IID_ISBOperation; }
    // The operation's name.
    virtual HRESULT get_Name(BSTR* pName) = 0;
    // The operation's description (its undo text).
    virtual HRESULT get_Description(BSTR* pDescription) = 0;
    // The operation's kind (an SBOperationKind value).
    virtual HRESULT get_Kind(LONG* pKind) = 0;
};

// Scopes: the default and active scope and named scope processors such as
// "Normalization:Model3d!SymmetryParent", "Filter:Model3d!Atom",
// "Filter:Model3d!!IsSelected".
struct ISBScopeManager : public IUnknown {
    static const IID& Iid() { return IID_ISBScopeManager; }
    // Applies the named processor to a scope; the result is a new scope (possibly
    // empty). Unknown processor: E_INVALIDARG.
    virtual HRESULT ProcessScope(ISBScope* pScope, BSTR processor, ISBScope** ppResult) = 0;
    // The scope the application works on by default (null when no document is open).
    virtual HRESULT get_DefaultScope(ISBScope** ppScope) = 0;
    // The scope of the active view (null when none).
    virtual HRESULT get_ActiveScope(ISBScope** ppScope) = 0;
};
