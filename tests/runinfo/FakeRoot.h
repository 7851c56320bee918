// A container root with a folder manager over one project folder and a disk
// manager over the real file system, for the run settings tests.
#pragma once

#include "common/FakeCom.h"
#include "common/TempFolder.h"
#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

#include <filesystem>
#include <set>
#include <string>

// The suite's fakes answer one interface each.
template <class Itf>
using RunInfoFake = QzTest::Fake<Itf>;

using QzTest::TempFolder;

inline std::string Narrow(BSTR text)
{
    return Kelv::BSTRToTString(text);
}

inline BSTR Wide(const std::string& text)
{
    return KelvBSTR(text).Detach();
}

class FakeFolderManager : public RunInfoFake<ISBFolderManager>
{
public:
    explicit FakeFolderManager(std::string project) : m_project(std::move(project)) {}
    HRESULT ExpandPath(BSTR path, BSTR* out) override
    {
        std::string text = Narrow(path);
        const std::string variable = "%PROJECT_DOCUMENTS_FOLDER%";
        const auto at = text.find(variable);
        if (at != std::string::npos)
            text.replace(at, variable.size(), m_project);
        *out = Wide(text);
        return S_OK;
    }
    HRESULT CompactPath(BSTR path, BSTR* out) override
    {
        std::string text = Narrow(path);
        if (text.compare(0, m_project.size(), m_project) == 0)
            text = "%PROJECT_DOCUMENTS_FOLDER%" + text.substr(m_project.size());
        *out = Wide(text);
        return S_OK;
    }
    HRESULT get_CoreFolder(BSTR* out) override
    {
        *out = Wide("/core");
        return S_OK;
    }

private:
    std::string m_project;
};

class FakeDiskManager : public RunInfoFake<ISBDiskManager>
{
public:
    std::set<std::string> hidden;
    std::set<std::string> existing; // paths that count as existing besides real files
    HRESULT failExists = S_OK;

    HRESULT RenameFolder(BSTR, BSTR, LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT DeleteFolder(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT SplitPath(BSTR path, BSTR* drive, BSTR* directory, BSTR* name, BSTR* extension) override
    {
        const std::string text = Narrow(path);
        const auto slash = text.find_last_of("/\\");
        const std::string folder = slash == std::string::npos ? "" : text.substr(0, slash + 1);
        std::string file = slash == std::string::npos ? text : text.substr(slash + 1);
        const auto dot = file.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : file.substr(dot);
        if (dot != std::string::npos)
            file.erase(dot);
        if (drive)
            *drive = Wide("");
        if (directory)
            *directory = Wide(folder);
        if (name)
            *name = Wide(file);
        if (extension)
            *extension = Wide(ext);
        return S_OK;
    }
    HRESULT MakeSafeFileName(BSTR name, VARIANT_BOOL, VARIANT_BOOL, BSTR* out) override
    {
        std::string text = Narrow(name);
        for (char& c : text)
            if (c == '*' || c == '?' || c == ':')
                c = '_';
        *out = Wide(text);
        return S_OK;
    }
    HRESULT get_Hidden(BSTR path, VARIANT_BOOL* out) override
    {
        *out = hidden.count(Narrow(path)) ? VARIANT_TRUE : 0;
        return S_OK;
    }
    HRESULT put_Hidden(BSTR path, VARIANT_BOOL value) override
    {
        if (!std::filesystem::exists(Narrow(path)))
            return E_INVALIDARG;
        if (value == VARIANT_TRUE)
            hidden.insert(Narrow(path));
        return S_OK;
    }
    HRESULT IsExisting(BSTR path, VARIANT_BOOL* out) override
    {
        if (FAILED(failExists))
            return failExists;
        const std::string text = Narrow(path);
        *out = (existing.count(text) || std::filesystem::exists(text)) ? VARIANT_TRUE : 0;
        return S_OK;
    }
    HRESULT CopyFile(BSTR, BSTR, LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT DeleteFile(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT RenameFile(BSTR, BSTR, LONG, BSTR*) override { return E_NOTIMPL; }
};

// No extension at all: the engine logic is not there.
class FakeExtensions : public RunInfoFake<ISBExtensions>
{
public:
    HRESULT get_Count(LONG* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT Item(VARIANT, ISBExtension** out) override
    {
        *out = nullptr;
        return E_INVALIDARG;
    }
};

class FakeRoot : public RunInfoFake<ISBContainerRoot>
{
public:
    static KelvComPtr<ISBContainerRoot> Make(const std::string& project, FakeDiskManager** disk = nullptr,
                                             const KelvComPtr<ISBScopeManager>& scopes = KelvComPtr<ISBScopeManager>(),
                                             const KelvComPtr<ISBExtensions>& extensions = KelvComPtr<ISBExtensions>())
    {
        auto* root = new FakeRoot(project);
        root->m_scopes = scopes;
        root->m_extensions = extensions;
        if (disk)
            *disk = root->m_disk.get();
        return KelvComPtr<ISBContainerRoot>::Adopt(root);
    }

    HRESULT get_DiskManager(ISBDiskManager** out) override { return Hand(m_disk, out); }
    HRESULT get_FolderManager(ISBFolderManager** out) override { return Hand(m_folders, out); }
    HRESULT get_DocumentManager(ISBDocumentManager**) override { return E_NOTIMPL; }
    HRESULT get_StateManager(ISBStateManager**) override { return E_NOTIMPL; }
    HRESULT get_JobManager(ISBJobManager**) override { return E_NOTIMPL; }
    HRESULT get_OperationManager(ISBOperationManager**) override { return E_NOTIMPL; }
    HRESULT get_ModuleManager(ISBModuleManager**) override { return E_NOTIMPL; }
    HRESULT get_ScopeManager(ISBScopeManager** out) override
    {
        *out = nullptr;
        return m_scopes ? Hand(m_scopes, out) : E_NOTIMPL;
    }
    HRESULT get_Extensions(ISBExtensions** out) override
    {
        if (m_extensions)
            return Hand(m_extensions, out);
        *out = new FakeExtensions;
        return S_OK;
    }
    HRESULT get_DocumentService(ISBDocumentService**) override { return E_NOTIMPL; }
    HRESULT get_PathService(ISBPathService**) override { return E_NOTIMPL; }

private:
    explicit FakeRoot(const std::string& project)
        : m_disk(KelvComPtr<FakeDiskManager>::Adopt(new FakeDiskManager)),
          m_folders(KelvComPtr<FakeFolderManager>::Adopt(new FakeFolderManager(project)))
    {
    }
    template <class T, class I>
    static HRESULT Hand(const KelvComPtr<T>& object, I** out)
    {
        *out = object.get();
        (*out)->AddRef();
        return S_OK;
    }
    KelvComPtr<FakeDiskManager> m_disk;
    KelvComPtr<FakeFolderManager> m_folders;
    KelvComPtr<ISBScopeManager> m_scopes;
    KelvComPtr<ISBExtensions> m_extensions;
};

// A document with a path (empty when never saved) and a name.
class FakeDocument : public RunInfoFake<ISBDocumentRoot>
{
public:
    static KelvComPtr<ISBDocumentRoot> Make(const std::string& url, const std::string& name)
    {
        auto* document = new FakeDocument;
        document->m_url = url;
        document->m_name = name;
        return KelvComPtr<ISBDocumentRoot>::Adopt(document);
    }
    HRESULT get_ContentsAsScope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_DocumentID(BSTR* out) override
    {
        *out = Wide("doc");
        return S_OK;
    }
    HRESULT get_DocumentURL(BSTR* out) override
    {
        *out = Wide(m_url);
        return S_OK;
    }
    HRESULT get_DocumentName(BSTR* out) override
    {
        *out = Wide(m_name);
        return S_OK;
    }
    HRESULT get_ModelDocument(IUnknown**) override { return E_NOTIMPL; }
    HRESULT get_DocumentInfo(ISBDocumentInfo**) override { return E_NOTIMPL; }
    HRESULT CopyModelFrom(ISBDocumentRoot*) override { return E_NOTIMPL; }

private:
    std::string m_url;
    std::string m_name;
};

// A scope of a document, or of none.
class FakeScope : public RunInfoFake<ISBScope>
{
public:
    static KelvComPtr<ISBScope> Make(const KelvComPtr<ISBDocumentRoot>& document)
    {
        auto* scope = new FakeScope;
        scope->m_document = document;
        return KelvComPtr<ISBScope>::Adopt(scope);
    }
    HRESULT get_Objects(ISBScopeObjects**) override { return E_NOTIMPL; }
    HRESULT get_DocumentRoot(ISBDocumentRoot** out) override
    {
        *out = m_document.get();
        if (!*out)
            return S_FALSE;
        (*out)->AddRef();
        return S_OK;
    }

private:
    KelvComPtr<ISBDocumentRoot> m_document;
};

// A scope manager whose default scope is given (or whose query fails).
class FakeScopeManager : public RunInfoFake<ISBScopeManager>
{
public:
    static KelvComPtr<ISBScopeManager> Make(const KelvComPtr<ISBScope>& defaultScope, HRESULT result = S_OK)
    {
        auto* manager = new FakeScopeManager;
        manager->m_scope = defaultScope;
        manager->m_result = result;
        return KelvComPtr<ISBScopeManager>::Adopt(manager);
    }
    HRESULT ProcessScope(ISBScope*, BSTR, ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_DefaultScope(ISBScope** out) override
    {
        *out = nullptr;
        if (FAILED(m_result))
            return m_result;
        *out = m_scope.get();
        if (*out)
            (*out)->AddRef();
        return S_OK;
    }
    HRESULT get_ActiveScope(ISBScope** out) override { return get_DefaultScope(out); }

private:
    KelvComPtr<ISBScope> m_scope;
    HRESULT m_result = S_OK;
};
