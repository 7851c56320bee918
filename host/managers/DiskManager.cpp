#include "host/managers/DiskManager.h"

#include "host/managers/HostCall.h"

#include "qorqm/ClaimName.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorqm/SafeName.h"

#include <cerrno>
#include <filesystem>

namespace QzHost {

namespace fs = std::filesystem;

namespace {

inline constexpr HRESULT HostFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
inline constexpr HRESULT HostAlreadyExists = HRESULT_FROM_WIN32(183); // ERROR_ALREADY_EXISTS

bool IsFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool IsFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

bool Exists(const std::string& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error)) && !error;
}

void StoreOptional(BSTR* out, const std::string& text)
{
    if (out)
        *out = Kelv::bstrdup(text);
}

// The enumeration handed out by FindFiles.
class FileEnumerator final : public CKelvUnknown, public ISBFileEnumerator {
public:
    explicit FileEnumerator(std::vector<std::string> paths) : m_paths(std::move(paths)) {}

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBFileEnumerator)
            return FinishQI(static_cast<ISBFileEnumerator*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT Next(ULONG count, BSTR* entries, ULONG* pFetched) override
    {
        return HostCall(IID_ISBFileEnumerator, [&]() -> HRESULT {
            if (pFetched)
                *pFetched = 0;
            if (count > 0 && !entries)
                Fail(E_POINTER, "No array supplied for the entries.");
            ULONG fetched = 0;
            try {
                while (fetched < count && m_next < m_paths.size()) {
                    entries[fetched] = Kelv::bstrdup(m_paths[m_next]);
                    ++fetched;
                    ++m_next;
                }
            } catch (...) {
                for (ULONG i = 0; i < fetched; ++i) {
                    SysFreeString(entries[i]);
                    entries[i] = nullptr;
                }
                throw;
            }
            if (pFetched)
                *pFetched = fetched;
            return fetched == count ? S_OK : S_FALSE;
        });
    }
    HRESULT Skip(ULONG count) override
    {
        const std::size_t left = m_paths.size() - m_next;
        if (count > left) {
            m_next = m_paths.size();
            return S_FALSE;
        }
        m_next += count;
        return S_OK;
    }
    HRESULT Reset() override
    {
        m_next = 0;
        return S_OK;
    }

private:
    std::vector<std::string> m_paths;
    std::size_t m_next = 0;
};

} // namespace

void SplitPathParts(const std::string& path, std::string& drive, std::string& directory, std::string& name,
                    std::string& extension)
{
    drive.clear();
    std::string file;
    PathUtilities::FolderAndFileNameFromPath(path, directory, file);
    extension = PathUtilities::ExtensionFromPath(file);
    name = file.substr(0, file.size() - extension.size());
}

// ------------------------------------------------------------- disk manager

KelvComPtr<DiskManager> DiskManager::Create(std::shared_ptr<HostContext> context)
{
    return KelvComPtr<DiskManager>::Adopt(new DiskManager(std::move(context)));
}

DiskManager::DiskManager(std::shared_ptr<HostContext> context) : m_context(std::move(context)) {}

HRESULT DiskManager::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBDiskManager)
        return FinishQI(static_cast<ISBDiskManager*>(this), out);
    if (iid == IID_ISBFileSearch)
        return FinishQI(static_cast<ISBFileSearch*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

std::string DiskManager::TakeUniqueName(const std::string& made, const std::string& target, bool folder) const
{
    const DiskUtilities::ClaimedName claim = DiskUtilities::ClaimNameFor(
        made, target, folder ? DiskUtilities::ClaimKind::Folder : DiskUtilities::ClaimKind::File);
    if (!claim)
        Fail(claim.error == EEXIST ? HostAlreadyExists : E_ACCESSDENIED,
             "\"" + MessageText::Excerpt(target) + "\" cannot be made: " + DiskUtilities::ClaimFailure(claim) + ".");
    return claim.path;
}

std::string DiskManager::ResolveTarget(const std::string& target, LONG flags, bool folder) const
{
    if (!Exists(target))
        return target;
    if (flags & SBDiskOverwrite) {
        if (folder ? !IsFolder(target) : !IsFile(target))
            Fail(HostAlreadyExists, "\"" + target + "\" exists and is not a " + (folder ? "folder" : "file") + ".");
        return target;
    }
    Fail(HostAlreadyExists, "\"" + target + "\" exists already.");
}

void DiskManager::MoveHiddenMark(const std::string& from, const std::string& to)
{
    std::lock_guard<std::mutex> lock(m_context->mutex);
    std::set<std::string> moved;
    for (auto it = m_context->hiddenFiles.begin(); it != m_context->hiddenFiles.end();) {
        if (HostPaths::IsInside(from, *it)) {
            moved.insert(to + it->substr(from.size()));
            it = m_context->hiddenFiles.erase(it);
        } else {
            ++it;
        }
    }
    m_context->hiddenFiles.insert(moved.begin(), moved.end());
}

void DiskManager::DropHiddenMarks(const std::string& pathOrFolder)
{
    std::lock_guard<std::mutex> lock(m_context->mutex);
    for (auto it = m_context->hiddenFiles.begin(); it != m_context->hiddenFiles.end();) {
        if (HostPaths::IsInside(pathOrFolder, *it))
            it = m_context->hiddenFiles.erase(it);
        else
            ++it;
    }
}

bool DiskManager::IsHidden(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_context->mutex);
    return m_context->hiddenFiles.count(HostPaths::Normal(path)) > 0;
}

std::vector<std::string> DiskManager::HiddenFiles() const
{
    std::lock_guard<std::mutex> lock(m_context->mutex);
    return std::vector<std::string>(m_context->hiddenFiles.begin(), m_context->hiddenFiles.end());
}

HRESULT DiskManager::RenameFolder(BSTR oldName, BSTR newName, LONG flags, BSTR* pActualName)
{
    return HostCall(IID_ISBDiskManager, [&] {
        RequireOut(pActualName);
        *pActualName = nullptr;
        const std::string oldText = Narrow(oldName);
        const std::string newText = Narrow(newName);
        Log("DiskManager", "RenameFolder", {Quote(oldText), Quote(newText), Hex(flags)});
        const std::string from = HostPaths::Normal(oldText);
        if (from.empty() || !IsFolder(from))
            Fail(HostFileNotFound, "The folder \"" + oldText + "\" does not exist.");
        std::string to;
        if (newText.find_first_of("/\\") == std::string::npos)
            to = HostPaths::Normal(PathUtilities::Join(fs::path(from).parent_path().string(), newText));
        else
            to = HostPaths::Normal(newText);
        if (to.empty())
            Fail(E_INVALIDARG, "A folder cannot be renamed to an empty name.");
        if (to != from) {
            if (HostPaths::IsInside(from, to))
                Fail(E_INVALIDARG, "The folder \"" + oldText + "\" cannot be moved into itself.");
            if (HostPaths::IsInside(to, m_context->documentsFolder))
                Fail(E_ACCESSDENIED, "The folder \"" + to + "\" may not be replaced.");
            if (flags & SBDiskMakeUnique) {
                to = TakeUniqueName(from, to, true);
            } else {
                to = ResolveTarget(to, flags, true);
                std::error_code error;
                if (Exists(to))
                    fs::remove_all(to, error);
                if (!error)
                    fs::rename(from, to, error);
                if (error)
                    Fail(HRESULT_FROM_WIN32(static_cast<DWORD>(error.value())),
                         "The folder \"" + oldText + "\" cannot be renamed to \"" + to + "\": " + error.message());
            }
            MoveHiddenMark(from, to);
            m_context->NoteFolderMoved(from, to);
        }
        *pActualName = Kelv::bstrdup(to);
    });
}

HRESULT DiskManager::DeleteFolder(BSTR name, LONG flags)
{
    return HostCall(IID_ISBDiskManager, [&]() -> HRESULT {
        const std::string text = Narrow(name);
        Log("DiskManager", "DeleteFolder", {Quote(text), Hex(flags)});
        const std::string folder = HostPaths::Normal(text);
        if (folder.empty() || folder == "/" || HostPaths::IsInside(folder, m_context->documentsFolder))
            Fail(E_ACCESSDENIED, "The folder \"" + text + "\" may not be deleted.");
        if (!Exists(folder))
            return S_FALSE;
        if (!IsFolder(folder))
            Fail(E_INVALIDARG, "\"" + text + "\" is not a folder.");
        std::error_code error;
        if (flags & SBDiskRecursive)
            fs::remove_all(folder, error);
        else
            fs::remove(folder, error);
        if (error)
            Fail(HRESULT_FROM_WIN32(static_cast<DWORD>(error.value())),
                 "The folder \"" + text + "\" cannot be deleted: " + error.message());
        DropHiddenMarks(folder);
        m_context->NoteFolderGone(folder);
        return S_OK;
    });
}

HRESULT DiskManager::SplitPath(BSTR path, BSTR* pDrive, BSTR* pDirectory, BSTR* pFileName, BSTR* pExtension)
{
    return HostCall(IID_ISBDiskManager, [&] {
        const std::string text = Narrow(path);
        Log("DiskManager", "SplitPath", {Quote(text)});
        std::string drive, directory, name, extension;
        SplitPathParts(text, drive, directory, name, extension);
        StoreOptional(pDrive, drive);
        StoreOptional(pDirectory, directory);
        StoreOptional(pFileName, name);
        StoreOptional(pExtension, extension);
    });
}

HRESULT DiskManager::MakeSafeFileName(BSTR name, VARIANT_BOOL windowsSafeOnly, VARIANT_BOOL allowWildCharacters,
                                      BSTR* pSafeName)
{
    return HostCall(IID_ISBDiskManager, [&] {
        RequireOut(pSafeName);
        *pSafeName = nullptr;
        const std::string text = Narrow(name);
        Log("DiskManager", "MakeSafeFileName",
            {Quote(text), BoolText(windowsSafeOnly != VARIANT_FALSE), BoolText(allowWildCharacters != VARIANT_FALSE)});
        StoreString(pSafeName, QorQMUtilities::MakeSafeFileName(text, windowsSafeOnly != VARIANT_FALSE,
                                                              allowWildCharacters != VARIANT_FALSE));
    });
}

HRESULT DiskManager::get_Hidden(BSTR path, VARIANT_BOOL* pHidden)
{
    return HostCall(IID_ISBDiskManager, [&] {
        RequireOut(pHidden);
        *pHidden = IsHidden(Narrow(path)) ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT DiskManager::put_Hidden(BSTR path, VARIANT_BOOL hidden)
{
    return HostCall(IID_ISBDiskManager, [&] {
        const std::string text = Narrow(path);
        Log("DiskManager", "put_Hidden", {Quote(text), BoolText(hidden != VARIANT_FALSE)});
        const std::string file = HostPaths::Normal(text);
        if (file.empty() || !Exists(file))
            Fail(HostFileNotFound, "The file \"" + text + "\" does not exist.");
        std::lock_guard<std::mutex> lock(m_context->mutex);
        if (hidden != VARIANT_FALSE)
            m_context->hiddenFiles.insert(file);
        else
            m_context->hiddenFiles.erase(file);
    });
}

HRESULT DiskManager::IsExisting(BSTR path, VARIANT_BOOL* pExists)
{
    return HostCall(IID_ISBDiskManager, [&] {
        RequireOut(pExists);
        const std::string text = Narrow(path);
        Log("DiskManager", "IsExisting", {Quote(text)});
        const std::string file = HostPaths::Normal(text);
        *pExists = !file.empty() && Exists(file) ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

void DiskManager::RequireStaysInProject(const std::string& source, const std::string& target) const
{
    const std::string leaving = LinkLeavingProject(target, m_context->documentsFolder);
    if (!leaving.empty())
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The file \"" + MessageText::Excerpt(source) +
                                                      "\" cannot be copied to \"" + MessageText::Excerpt(target) +
                                                      "\": " + leaving + ".");
}

void DiskManager::CopyWithin(const std::string& source, const std::string& from, const std::string& to) const
{
    std::string why;
    if (!CopyFileContents(from, to, &why, m_context->documentsFolder))
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The file \"" + MessageText::Excerpt(source) +
                                                      "\" cannot be copied to \"" + MessageText::Excerpt(to) +
                                                      "\": " + why + ".");
}

std::string DiskManager::Copy(const std::string& source, const std::string& target, LONG flags)
{
    const std::string from = HostPaths::Normal(source);
    if (from.empty() || !IsFile(from))
        Fail(HostFileNotFound, "The file \"" + source + "\" does not exist.");
    std::string to = HostPaths::Normal(target);
    if (to.empty())
        Fail(E_INVALIDARG, "No target was given for copying \"" + source + "\".");
    if (to == from)
        Fail(E_INVALIDARG, "The file \"" + source + "\" cannot be copied onto itself.");
    if (flags & SBDiskMakeUnique) // the place first: nothing is claimed through a link leaving the project
        RequireStaysInProject(source, fs::path(to).parent_path().string());
    if (!(flags & SBDiskMakeUnique)) {
        to = ResolveTarget(to, flags, false);
        CopyWithin(source, from, to);
        return to;
    }
    // The copy is made whole beside its series, then takes its name.
    const std::string temporary = TemporaryNameOf(to);
    std::string why;
    if (!CopyFileContents(from, temporary, &why, m_context->documentsFolder)) {
        std::remove(temporary.c_str());
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The file \"" + MessageText::Excerpt(source) +
                                                      "\" cannot be copied to \"" + MessageText::Excerpt(to) +
                                                      "\": " + why + ".");
    }
    try {
        return TakeUniqueName(temporary, to, false);
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
}

HRESULT DiskManager::CopyFile(BSTR source, BSTR target, LONG flags, BSTR* pNewName)
{
    return HostCall(IID_ISBDiskManager, [&] {
        if (pNewName)
            *pNewName = nullptr;
        const std::string from = Narrow(source);
        const std::string to = Narrow(target);
        Log("DiskManager", "CopyFile", {Quote(from), Quote(to), Hex(flags), pNewName ? "out" : "null"});
        StoreOptional(pNewName, Copy(from, to, flags));
    });
}

HRESULT DiskManager::DeleteFile(BSTR path, LONG flags)
{
    return HostCall(IID_ISBDiskManager, [&]() -> HRESULT {
        const std::string text = Narrow(path);
        Log("DiskManager", "DeleteFile", {Quote(text), Hex(flags)});
        const std::string file = HostPaths::Normal(text);
        if (file.empty() || !Exists(file))
            return S_FALSE;
        if (IsFolder(file))
            Fail(E_INVALIDARG, "\"" + text + "\" is a folder, not a file.");
        std::error_code error;
        fs::remove(file, error);
        if (error)
            Fail(HRESULT_FROM_WIN32(static_cast<DWORD>(error.value())),
                 "The file \"" + text + "\" cannot be deleted: " + error.message());
        DropHiddenMarks(file);
        return S_OK;
    });
}

HRESULT DiskManager::RenameFile(BSTR source, BSTR target, LONG flags, BSTR* pNewName)
{
    return HostCall(IID_ISBDiskManager, [&] {
        if (pNewName)
            *pNewName = nullptr;
        const std::string sourceText = Narrow(source);
        const std::string targetText = Narrow(target);
        Log("DiskManager", "RenameFile", {Quote(sourceText), Quote(targetText), Hex(flags), pNewName ? "out" : "null"});
        const std::string from = HostPaths::Normal(sourceText);
        if (from.empty() || !IsFile(from))
            Fail(HostFileNotFound, "The file \"" + sourceText + "\" does not exist.");
        std::string to = HostPaths::Normal(targetText);
        if (to.empty())
            Fail(E_INVALIDARG, "No new name was given for \"" + sourceText + "\".");
        if (to != from) {
            std::error_code error;
            if (flags & SBDiskMakeUnique) {
                // The file itself takes the next free name; from another
                // file system, a whole copy of it does.
                const DiskUtilities::ClaimedName moved =
                    DiskUtilities::ClaimNameFor(from, to, DiskUtilities::ClaimKind::File);
                if (moved) {
                    to = moved.path;
                } else if (moved.error == EXDEV) {
                    to = Copy(sourceText, to, SBDiskMakeUnique);
                    fs::remove(from, error);
                } else {
                    Fail(moved.error == EEXIST ? HostAlreadyExists : E_ACCESSDENIED,
                         "\"" + MessageText::Excerpt(to) + "\" cannot be made: " + DiskUtilities::ClaimFailure(moved) +
                             ".");
                }
            } else {
                to = ResolveTarget(to, flags, false);
                fs::rename(from, to, error);
                if (error == std::errc::cross_device_link) {
                    error.clear();
                    CopyWithin(sourceText, from, to);
                    fs::remove(from, error);
                }
            }
            if (error)
                Fail(HRESULT_FROM_WIN32(static_cast<DWORD>(error.value())),
                     "The file \"" + sourceText + "\" cannot be renamed to \"" + to + "\": " + error.message());
            DropHiddenMarks(to);
            MoveHiddenMark(from, to);
        }
        StoreOptional(pNewName, to);
    });
}

HRESULT DiskManager::FindFiles(BSTR pattern, ISBFileEnumerator** ppFiles)
{
    return HostCall(IID_ISBFileSearch, [&] {
        RequireOut(ppFiles);
        *ppFiles = nullptr;
        const std::string text = Narrow(pattern);
        Log("DiskManager", "FindFiles", {Quote(text)});
        std::string folder;
        std::string namePattern;
        PathUtilities::FolderAndFileNameFromPath(text, folder, namePattern);
        if (folder.find_first_of("*?") != std::string::npos)
            Fail(E_INVALIDARG, "Wild characters may stand only in the file name of \"" + text + "\".");
        if (namePattern.empty())
            Fail(E_INVALIDARG, "The search \"" + text + "\" names no file pattern.");
        std::vector<std::string> paths;
        DiskUtilities::AddItemsFromFolder(folder.empty() ? std::string(".") : folder, namePattern, paths);
        *ppFiles = new FileEnumerator(std::move(paths));
    });
}

// ------------------------------------------------------------- path service

KelvComPtr<PathService> PathService::Create()
{
    return KelvComPtr<PathService>::Adopt(new PathService());
}

HRESULT PathService::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBPathService)
        return FinishQI(static_cast<ISBPathService*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT PathService::SplitPath(BSTR path, BSTR* pDrive, BSTR* pDirectory, BSTR* pFileName, BSTR* pExtension)
{
    return HostCall(IID_ISBPathService, [&] {
        const std::string text = Narrow(path);
        Log("PathService", "SplitPath", {Quote(text)});
        std::string drive, directory, name, extension;
        SplitPathParts(text, drive, directory, name, extension);
        StoreOptional(pDrive, drive);
        StoreOptional(pDirectory, directory);
        StoreOptional(pFileName, name);
        StoreOptional(pExtension, extension);
    });
}

// ----------------------------------------------------------- folder manager

KelvComPtr<FolderManager> FolderManager::Create(std::shared_ptr<HostContext> context)
{
    return KelvComPtr<FolderManager>::Adopt(new FolderManager(std::move(context)));
}

FolderManager::FolderManager(std::shared_ptr<HostContext> context) : m_context(std::move(context)) {}

HRESULT FolderManager::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBFolderManager)
        return FinishQI(static_cast<ISBFolderManager*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

std::string FolderManager::Expand(const std::string& path) const
{
    const std::string variable = ProjectDocumentsFolderVariable;
    std::string result;
    std::size_t start = 0;
    for (std::size_t at = path.find(variable); at != std::string::npos; at = path.find(variable, start)) {
        result += path.substr(start, at - start) + m_context->documentsFolder;
        start = at + variable.size();
    }
    return result + path.substr(start);
}

std::string FolderManager::Compact(const std::string& path) const
{
    const std::string normal = HostPaths::Normal(path);
    const std::string& folder = m_context->documentsFolder;
    if (normal.empty() || !HostPaths::IsInside(folder, normal))
        return path;
    return ProjectDocumentsFolderVariable + normal.substr(folder == "/" ? 0 : folder.size());
}

HRESULT FolderManager::ExpandPath(BSTR path, BSTR* pExpanded)
{
    return HostCall(IID_ISBFolderManager, [&] {
        RequireOut(pExpanded);
        *pExpanded = nullptr;
        const std::string text = Narrow(path);
        Log("FolderManager", "ExpandPath", {Quote(text)});
        StoreString(pExpanded, Expand(text));
    });
}

HRESULT FolderManager::CompactPath(BSTR path, BSTR* pCompacted)
{
    return HostCall(IID_ISBFolderManager, [&] {
        RequireOut(pCompacted);
        *pCompacted = nullptr;
        const std::string text = Narrow(path);
        Log("FolderManager", "CompactPath", {Quote(text)});
        StoreString(pCompacted, Compact(text));
    });
}

HRESULT FolderManager::get_CoreFolder(BSTR* pFolder)
{
    return HostCall(IID_ISBFolderManager, [&] { StoreString(pFolder, m_context->coreFolder); });
}

} // namespace QzHost
