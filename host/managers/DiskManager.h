// The disk manager on the real file system, with its file search, and the
// container root's path service. Paths may use "\" or "/".
#pragma once

#include "host/managers/HostContext.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <memory>
#include <string>
#include <vector>

namespace QzHost {

// Splits a path: drive "" (this platform has none), folder with its trailing
// separator (as written), file name without extension, extension with its dot.
void SplitPathParts(const std::string& path, std::string& drive, std::string& directory, std::string& name,
                    std::string& extension);

class DiskManager final : public CKelvUnknown, public ISBDiskManager, public ISBFileSearch {
public:
    static KelvComPtr<DiskManager> Create(std::shared_ptr<HostContext> context);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISBDiskManager
    HRESULT RenameFolder(BSTR oldName, BSTR newName, LONG flags, BSTR* pActualName) override;
    HRESULT DeleteFolder(BSTR name, LONG flags) override;
    HRESULT SplitPath(BSTR path, BSTR* pDrive, BSTR* pDirectory, BSTR* pFileName, BSTR* pExtension) override;
    HRESULT MakeSafeFileName(BSTR name, VARIANT_BOOL windowsSafeOnly, VARIANT_BOOL allowWildCharacters,
                             BSTR* pSafeName) override;
    HRESULT get_Hidden(BSTR path, VARIANT_BOOL* pHidden) override;
    HRESULT put_Hidden(BSTR path, VARIANT_BOOL hidden) override;
    HRESULT IsExisting(BSTR path, VARIANT_BOOL* pExists) override;
    HRESULT CopyFile(BSTR source, BSTR target, LONG flags, BSTR* pNewName) override;
    HRESULT DeleteFile(BSTR path, LONG flags) override;
    HRESULT RenameFile(BSTR source, BSTR target, LONG flags, BSTR* pNewName) override;
    // ISBFileSearch
    HRESULT FindFiles(BSTR pattern, ISBFileEnumerator** ppFiles) override;

    // The host's own access to the same operations (throwing KelvResult).
    // Copies a file by the flag rules of CopyFile; returns the target written.
    std::string Copy(const std::string& source, const std::string& target, LONG flags);
    // Whether the project hides the file (by its normalised path).
    bool IsHidden(const std::string& path) const;
    std::vector<std::string> HiddenFiles() const;

private:
    explicit DiskManager(std::shared_ptr<HostContext> context);
    // The target path to write under the flags, without SBDiskMakeUnique:
    // the target itself; a taken target without a flag that allows it throws.
    std::string ResolveTarget(const std::string& target, LONG flags, bool folder) const;
    // With SBDiskMakeUnique: `made`, whole, takes the next free name of the
    // target's series by a rename that replaces nothing (ClaimNameFor), so
    // that no other writer gets it and nothing half-made ever stands under
    // it; the name taken. Throws, leaving `made` where it was, when none is.
    std::string TakeUniqueName(const std::string& made, const std::string& target, bool folder) const;
    void MoveHiddenMark(const std::string& from, const std::string& to);
    void DropHiddenMarks(const std::string& pathOrFolder);
    // Refuses a copy whose target lies behind a link leading out of the project.
    void RequireStaysInProject(const std::string& source, const std::string& target) const;
    // Copies `from` (named `source` by the caller) over `to`: a copy into
    // the project does not leave it through a link, a file of the project a
    // link leads outside it is not read, and the source is read through the
    // one opener of files (CopyFileContents).
    void CopyWithin(const std::string& source, const std::string& from, const std::string& to) const;

    std::shared_ptr<HostContext> m_context;
};

// The container root's path service: the disk manager's path splitting.
class PathService final : public CKelvUnknown, public ISBPathService {
public:
    static KelvComPtr<PathService> Create();

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT SplitPath(BSTR path, BSTR* pDrive, BSTR* pDirectory, BSTR* pFileName, BSTR* pExtension) override;
};

// The folder manager: project documents folder and product data folder.
class FolderManager final : public CKelvUnknown, public ISBFolderManager {
public:
    static KelvComPtr<FolderManager> Create(std::shared_ptr<HostContext> context);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT ExpandPath(BSTR path, BSTR* pExpanded) override;
    HRESULT CompactPath(BSTR path, BSTR* pCompacted) override;
    HRESULT get_CoreFolder(BSTR* pFolder) override;

    // The same rules as plain functions.
    std::string Expand(const std::string& path) const;
    std::string Compact(const std::string& path) const;

private:
    explicit FolderManager(std::shared_ptr<HostContext> context);
    std::shared_ptr<HostContext> m_context;
};

inline constexpr const char* ProjectDocumentsFolderVariable = "%PROJECT_DOCUMENTS_FOLDER%";

} // namespace QzHost
