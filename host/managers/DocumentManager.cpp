#include "host/managers/DocumentManager.h"

#include "host/managers/HostCall.h"
#include "host/managers/HostStream.h"

#include "com/regularfile.h"

#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ClaimName.h"
#include "qorqm/ReplaceFile.h"
#include "qorqm/WrittenFiles.h"
#include "qorqm/SafeName.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace QzHost {

namespace fs = std::filesystem;

namespace {

std::string UrlOf(ISBDocumentRoot* document)
{
    KelvBSTR url;
    if (!document || FAILED(document->get_DocumentURL(url.Receive())))
        return std::string();
    return HostPaths::Normal(url.ToTString());
}

std::string IdOf(ISBDocumentRoot* document)
{
    KelvBSTR id;
    if (!document || FAILED(document->get_DocumentID(id.Receive())))
        return std::string();
    return id.ToTString();
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string BaseName(const std::string& path)
{
    return PathUtilities::ExtensionRemoved(PathUtilities::FileNameFromPath(path));
}

void SetName(ISBDocumentRoot* document, const std::string& name)
{
    KelvComPtr<ISBDocumentInfo> info;
    KelvResult::Check(document->get_DocumentInfo(info.Receive()));
    Kelv::CheckNullDereference(info.get());
    KelvBSTR text(name);
    KelvResult::Check(info->put_DocumentName(text.Get()));
}

bool IsFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Information of a project file that no open document stands for.
class FileDocumentInfo final : public CKelvUnknown, public ISBDocumentInfo {
public:
    explicit FileDocumentInfo(const std::string& path) : m_path(path), m_name(BaseName(path)) {}

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBDocumentInfo)
            return FinishQI(static_cast<ISBDocumentInfo*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_DocumentName(BSTR* pName) override
    {
        return HostCall(IID_ISBDocumentInfo, [&] { StoreString(pName, m_name); });
    }
    HRESULT put_DocumentName(BSTR name) override
    {
        return HostCall(IID_ISBDocumentInfo, [&] {
            m_name = Narrow(name);
            Log("DocumentInfo", "put_DocumentName", {Quote(m_path), Quote(m_name)});
        });
    }
    HRESULT get_DocumentURL(BSTR* pURL) override
    {
        return HostCall(IID_ISBDocumentInfo, [&] { StoreString(pURL, m_path); });
    }
    HRESULT GetDocumentProperty(BSTR name, VARIANT* pValue) override
    {
        return HostCall(IID_ISBDocumentInfo, [&]() -> HRESULT {
            RequireOut(pValue);
            VariantInit(pValue);
            const auto it = m_properties.find(Narrow(name));
            if (it == m_properties.end())
                return S_FALSE;
            KelvResult::Check(VariantCopy(pValue, &it->second.Get()));
            return S_OK;
        });
    }
    HRESULT SetDocumentProperty(BSTR name, VARIANT value) override
    {
        return HostCall(IID_ISBDocumentInfo, [&] {
            Log("DocumentInfo", "SetDocumentProperty", {Quote(m_path), Quote(Narrow(name)), DescribeVariant(value)});
            m_properties[Narrow(name)] = KelvVariant(value);
        });
    }

private:
    std::string m_path;
    std::string m_name;
    std::map<std::string, KelvVariant> m_properties;
};

// What DocumentService::OpenDocument hands out: a view that holds its document.
class DocumentView final : public CKelvUnknown {
public:
    explicit DocumentView(ISBDocumentRoot* document) : m_document(document) {}

private:
    KelvComPtr<ISBDocumentRoot> m_document;
};

} // namespace

// ------------------------------------------------------------ the manager

KelvComPtr<DocumentManager> DocumentManager::Create(std::shared_ptr<HostContext> context)
{
    return KelvComPtr<DocumentManager>::Adopt(new DocumentManager(std::move(context)));
}

DocumentManager::DocumentManager(std::shared_ptr<HostContext> context) : m_context(std::move(context)) {}

HRESULT DocumentManager::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBDocumentManager)
        return FinishQI(static_cast<ISBDocumentManager*>(this), out);
    if (iid == IID_ISBDocumentFolders)
        return FinishQI(static_cast<ISBDocumentFolders*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

void DocumentManager::RegisterType(const DocumentType& type)
{
    if (type.progId.empty() || !type.create)
        Fail(E_INVALIDARG, "A document type needs a ProgID and a way to make documents.");
    auto stored = std::make_shared<DocumentType>(type);
    for (std::string& extension : stored->extensions)
        extension = Lower(extension);
    m_types.erase(std::remove_if(m_types.begin(), m_types.end(),
                                 [&](const auto& t) { return t->progId == type.progId; }),
                  m_types.end());
    m_types.push_back(std::move(stored));
}

const DocumentType* DocumentManager::FindType(const std::string& progId) const
{
    for (const auto& type : m_types) {
        if (type->progId == progId)
            return type.get();
    }
    return nullptr;
}

const DocumentType* DocumentManager::TypeOfFile(const std::string& path) const
{
    const std::string extension = Lower(PathUtilities::ExtensionFromPath(path));
    for (const auto& type : m_types) {
        if (std::find(type->extensions.begin(), type->extensions.end(), extension) != type->extensions.end())
            return type.get();
    }
    return nullptr;
}

std::shared_ptr<const DocumentType> DocumentManager::RequireType(const std::string& progId) const
{
    for (const auto& type : m_types) {
        if (type->progId == progId)
            return type;
    }
    Fail(REGDB_E_CLASSNOTREG, "The application has no document type \"" + progId + "\".");
}

std::shared_ptr<const DocumentType> DocumentManager::TypeOf(ISBDocumentRoot* document) const
{
    IUnknown* identity = Identity(document);
    for (const Entry& entry : m_documents) {
        if (Identity(entry.document.get()) == identity)
            return entry.type;
    }
    return nullptr;
}

DocumentManager::Entry* DocumentManager::FindEntry(ISBDocumentRoot* document)
{
    IUnknown* identity = Identity(document);
    if (!identity)
        return nullptr;
    for (Entry& entry : m_documents) {
        if (Identity(entry.document.get()) == identity)
            return &entry;
    }
    return nullptr;
}

KelvComPtr<ISBDocumentRoot> DocumentManager::Opened(const std::string& path) const
{
    const std::string normal = HostPaths::Normal(path);
    if (normal.empty())
        return nullptr;
    for (const Entry& entry : m_documents) {
        if (!entry.isPrivate && UrlOf(entry.document.get()) == normal)
            return entry.document;
    }
    return nullptr;
}

std::vector<KelvComPtr<ISBDocumentRoot>> DocumentManager::Documents() const
{
    std::vector<KelvComPtr<ISBDocumentRoot>> result;
    for (const Entry& entry : m_documents)
        result.push_back(entry.document);
    return result;
}

void DocumentManager::Add(const KelvComPtr<ISBDocumentRoot>& document, const std::string& progId, bool isPrivate)
{
    if (!document)
        Fail(E_POINTER, "No document was given.");
    if (FindEntry(document.get()))
        return;
    m_documents.push_back(Entry{document, RequireType(progId), isPrivate});
}

KelvComPtr<ISBDocumentRoot> DocumentManager::Load(const std::string& normalPath,
                                                  const std::shared_ptr<const DocumentType>& type)
{
    if (!type->open)
        Fail(E_INVALIDARG, "Documents of the type \"" + type->progId + "\" cannot be opened from files.");
    KelvComPtr<ISBDocumentRoot> document = type->open(normalPath);
    Kelv::CheckNullDereference(document.get());
    if (type->setUrl)
        type->setUrl(document.get(), normalPath);
    m_documents.push_back(Entry{document, type, false});
    return document;
}

KelvComPtr<ISBDocumentRoot> DocumentManager::Open(const std::string& path)
{
    const std::string normal = HostPaths::Normal(path);
    if (KelvComPtr<ISBDocumentRoot> open = Opened(normal))
        return open;
    if (normal.empty() || !IsFile(normal))
        Fail(STG_E_FILENOTFOUND, "The document file \"" + path + "\" does not exist.");
    const DocumentType* type = TypeOfFile(normal);
    if (!type)
        Fail(E_INVALIDARG, "The application opens no files like \"" + path + "\".");
    return Load(normal, RequireType(type->progId));
}

namespace {

// Makes the folders on the way to `folder` (a folder of the project), each
// made and opened beneath the project: none is made through a link leading
// outside it. Empty when the folder is there; else why not, in words fit to
// follow "cannot be written: " (the link and its target named).
std::string MakeProjectFolders(const std::string& project, const std::string& folder)
{
    const RegularFile::Folder held(project);
    std::string inner;
    if (!held.IsOpen() || !held.Holds(folder, inner))
        return "it is not in the project \"" + MessageText::Excerpt(project) + "\"";
    const int made = held.MakeFolders(inner);
    if (made >= 0) {
        ::close(made);
        return std::string();
    }
    const int error = errno;
    if (error == EXDEV) {
        const std::string leaving = LinkLeavingProject(folder, project);
        return leaving.empty() ? "it leads outside the project \"" + MessageText::Excerpt(project) + "\"" : leaving;
    }
    return "its folder \"" + MessageText::Excerpt(folder) + "\" cannot be made (" + std::strerror(error) + ")";
}

} // namespace

void DocumentManager::TakeAsUsersOwn(ISBDocumentRoot* document)
{
    const std::string url = UrlOf(document);
    if (!url.empty()) {
        m_usersOwn.push_back(HostPaths::Normal(url));
        RegularFile::UsersOwn(HostPaths::Normal(url));  // saved as named, never held to the project
    }
}

void DocumentManager::Save(const DocumentType& type, ISBDocumentRoot* document, const std::string& path) const
{
    const bool usersOwn = std::find(m_usersOwn.begin(), m_usersOwn.end(), HostPaths::Normal(path)) != m_usersOwn.end();
    const std::string leaving = usersOwn ? std::string() : LinkLeavingProject(path, m_context->documentsFolder);
    if (!leaving.empty())
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE),
             "The document file \"" + MessageText::Excerpt(path) + "\" cannot be written: " + leaving + ".");
    type.save(document, path);
}

std::string DocumentManager::ProjectPath(const std::string& path) const
{
    // Relative paths lie in the project documents folder.
    const std::string native = PathUtilities::ToNative(path);
    if (!native.empty() && native.front() != '/')
        return HostPaths::Normal(PathUtilities::Join(m_context->documentsFolder, native));
    return HostPaths::Normal(native);
}

HRESULT DocumentManager::FindDocument(BSTR path, ISBDocumentRoot** ppDocument)
{
    return HostCall(IID_ISBDocumentManager, [&]() -> HRESULT {
        RequireOut(ppDocument);
        *ppDocument = nullptr;
        const std::string text = Narrow(path);
        Log("DocumentManager", "FindDocument", {Quote(text)});
        const std::string normal = HostPaths::Normal(text);
        // A document may be named without its extension, as NewProjectDocument
        // names it: then each registered document extension is tried in turn.
        std::vector<std::string> candidates{normal};
        if (!normal.empty() && !TypeOfFile(normal)) {
            for (const auto& type : m_types)
                for (const std::string& extension : type->extensions)
                    candidates.push_back(normal + extension);
        }
        KelvComPtr<ISBDocumentRoot> document;
        for (const std::string& candidate : candidates) {
            document = Opened(candidate);
            if (!document && !candidate.empty() && IsFile(candidate) &&
                HostPaths::IsInside(m_context->documentsFolder, candidate)) {
                if (const DocumentType* type = TypeOfFile(candidate); type && type->open)
                    document = Load(candidate, RequireType(type->progId));
            }
            if (document)
                break;
        }
        if (!document)
            return S_FALSE;
        StoreInterface(ppDocument, document);
        return S_OK;
    });
}

HRESULT DocumentManager::FindDocumentByID(BSTR documentID, ISBDocumentRoot** ppDocument)
{
    return HostCall(IID_ISBDocumentManager, [&]() -> HRESULT {
        RequireOut(ppDocument);
        *ppDocument = nullptr;
        const std::string id = Narrow(documentID);
        Log("DocumentManager", "FindDocumentByID", {Quote(id)});
        if (id.empty())
            return S_FALSE;
        for (const Entry& entry : m_documents) {
            if (IdOf(entry.document.get()) == id) {
                StoreInterface(ppDocument, entry.document);
                return S_OK;
            }
        }
        // Not open: look through the project's document files.
        std::error_code error;
        for (fs::recursive_directory_iterator it(m_context->documentsFolder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().filename().string().rfind(".", 0) == 0) {
                if (it->is_directory(error))
                    it.disable_recursion_pending();
                continue;
            }
            const std::string file = it->path().string();
            const DocumentType* type = TypeOfFile(file);
            if (!type || !type->open || !it->is_regular_file(error) || Opened(file))
                continue;
            KelvComPtr<ISBDocumentRoot> document;
            try {
                document = Load(HostPaths::Normal(file), RequireType(type->progId));
            } catch (const KelvResult&) {
                continue; // an unreadable file is not the document asked for
            }
            if (IdOf(document.get()) == id) {
                StoreInterface(ppDocument, document);
                return S_OK;
            }
        }
        return S_FALSE;
    });
}

HRESULT DocumentManager::NewPrivateDocument(BSTR docTypeProgID, VARIANT varData, ISBDocumentRoot** ppDocument)
{
    return HostCall(IID_ISBDocumentManager, [&] {
        RequireOut(ppDocument);
        *ppDocument = nullptr;
        const std::string progId = Narrow(docTypeProgID);
        Log("DocumentManager", "NewPrivateDocument", {Quote(progId), DescribeVariant(varData)});
        const auto type = RequireType(progId);
        KelvComPtr<ISBDocumentRoot> document = type->create();
        Kelv::CheckNullDereference(document.get());
        m_documents.push_back(Entry{document, type, true});
        StoreInterface(ppDocument, document);
    });
}

HRESULT DocumentManager::NewProjectDocument(BSTR bstrDocTypeProgID, BSTR bstrProjectPath, LONG nCreateFlags,
                                            VARIANT varDocName, ISBDocumentRoot** ppDocument)
{
    return HostCall(IID_ISBDocumentManager, [&] {
        RequireOut(ppDocument);
        *ppDocument = nullptr;
        const std::string progId = Narrow(bstrDocTypeProgID);
        const std::string projectPath = Narrow(bstrProjectPath);
        Log("DocumentManager", "NewProjectDocument",
            {Quote(progId), Quote(projectPath), Hex(nCreateFlags), DescribeVariant(varDocName)});
        const auto type = RequireType(progId);
        if (projectPath.empty())
            Fail(E_INVALIDARG, "A project document needs a path.");
        // A project path that names a folder (it ends with a separator, or is
        // an existing folder) takes the document's name as its file name.
        std::error_code folderError;
        const bool folderOnly = PathUtilities::IsSeparator(projectPath.back()) ||
                                fs::is_directory(ProjectPath(projectPath), folderError);
        const bool named = varDocName.vt == VT_BSTR && SysStringLen(varDocName.bstrVal) > 0;
        std::string path = ProjectPath(folderOnly && named ? PathUtilities::Join(projectPath, Narrow(varDocName.bstrVal))
                                                           : projectPath);
        if (!HostPaths::IsInside(m_context->documentsFolder, path) || path == m_context->documentsFolder)
            Fail(E_INVALIDARG, "\"" + projectPath + "\" is not in the current project.");
        const std::string extension = Lower(PathUtilities::ExtensionFromPath(path));
        if (!type->extensions.empty() &&
            std::find(type->extensions.begin(), type->extensions.end(), extension) == type->extensions.end())
            path += type->extensions.front();
        // A document never replaces a file that is there already: its file is
        // written whole beside the folder's files and then takes the next
        // free name of its series (one of a document of this host not saved
        // yet counts as taken) by a rename that replaces nothing, so that no
        // other writer gets it and a killed command leaves no empty or
        // half-written file under a document's name.
        const std::string leaving = MakeProjectFolders(m_context->documentsFolder, fs::path(path).parent_path().string());
        if (!leaving.empty())
            Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE),
                 "The document file \"" + MessageText::Excerpt(path) + "\" cannot be written: " + leaving + ".");

        KelvComPtr<ISBDocumentRoot> document = type->create();
        Kelv::CheckNullDereference(document.get());
        const std::string name =
            varDocName.vt == VT_BSTR && SysStringLen(varDocName.bstrVal) > 0 ? Narrow(varDocName.bstrVal) : std::string();
        const auto taken = [this](const std::string& p) { return static_cast<bool>(Opened(p)); };
        // A document given no name is named after its file, which it may
        // write: the name it will most likely take is written, and should
        // another command take that name first, the file is written again
        // (whole) with the name it took.
        std::string likely = path;
        if (name.empty() && type->save) {
            const long long highest = DiskUtilities::HighestTaken(path, DiskUtilities::ClaimKind::File);
            unsigned n = highest > 0 ? static_cast<unsigned>(highest) + 1 : 1;
            while (taken(DiskUtilities::NumberedName(path, n, DiskUtilities::ClaimKind::File)))
                ++n;
            likely = DiskUtilities::NumberedName(path, n, DiskUtilities::ClaimKind::File);
        }
        DiskUtilities::ClaimedName claim;
        if (type->save) {
            claim = DiskUtilities::ClaimNewFile(
                path,
                [&](const std::string& temporary) {
                    SetName(document.get(), name.empty() ? BaseName(likely) : name);
                    if (type->setUrl)
                        type->setUrl(document.get(), temporary);
                    Save(*type, document.get(), temporary);
                },
                taken);
        } else {
            // A document without a file of its own keeps the name free: it
            // is given the name a file would take.
            claim = DiskUtilities::ClaimNewName(path, DiskUtilities::ClaimKind::File, taken);
            if (claim)
                ::unlink(PathUtilities::ToNative(claim.path).c_str());
        }
        if (!claim)
            Fail(E_ACCESSDENIED, "The document file \"" + MessageText::Excerpt(path) +
                                     "\" cannot be made: " + DiskUtilities::ClaimFailure(claim));
        path = claim.path;
        SetName(document.get(), name.empty() ? BaseName(path) : name);
        if (type->setUrl)
            type->setUrl(document.get(), path);
        if (type->save && name.empty() && path != likely)
            Save(*type, document.get(), path);
        m_documents.push_back(Entry{document, type, false});
        StoreInterface(ppDocument, document);
    });
}

HRESULT DocumentManager::ImportDocument(LONG flags, BSTR path, BSTR docTypeProgID, BSTR importerProgID,
                                        VARIANT varImportData, ISBDocumentRoot** ppDocument)
{
    return HostCall(IID_ISBDocumentManager, [&] {
        RequireOut(ppDocument);
        *ppDocument = nullptr;
        const std::string text = Narrow(path);
        const std::string progId = Narrow(docTypeProgID);
        const std::string importer = Narrow(importerProgID);
        Log("DocumentManager", "ImportDocument",
            {Hex(flags), Quote(text), Quote(progId), Quote(importer), DescribeVariant(varImportData)});
        const auto type = RequireType(progId);
        const std::string file = ProjectPath(text);
        if (file.empty() || !IsFile(file))
            Fail(STG_E_FILENOTFOUND, "The file \"" + text + "\" to import does not exist.");

        KelvComPtr<ISBImporter> component;
        const KelvResult created =
            Kelv::KelvCreateImpl(importer, nullptr, CLSCTX_SERVER, IID_ISBImporter, component.ReceiveVoid(), false);
        if (created.Failed() || !component)
            Fail(created.Failed() ? created.GetHRESULT() : E_NOINTERFACE,
                 "The importer \"" + importer + "\" cannot be created: " + created.GetMessage());
        KelvComPtr<ISBContainerRootConsumer> consumer = component.TryQueryInterface<ISBContainerRootConsumer>();
        if (consumer && m_context->root)
            KelvResult::Check(consumer->ConnectContainerRoot(m_context->root));

        KelvComPtr<ISBDocumentRoot> document = type->create();
        Kelv::CheckNullDereference(document.get());
        SetName(document.get(), BaseName(file));
        if (type->setUrl)
            type->setUrl(document.get(), file);
        KelvComPtr<HostStream> stream = HostStream::Create();
        KelvVariant streamPath(file);
        KelvResult::Check(stream->Open(SBStreamRead, streamPath.Get()));
        const HRESULT imported = component->Import(static_cast<ISBStream*>(stream.get()), document.get(), varImportData);
        if (imported != S_OK)
            KelvResult::SetLastError(imported);
        stream->Close();
        if (consumer && m_context->root)
            consumer->DisconnectContainerRoot();
        if (FAILED(imported))
            throw KelvResult::LastErrorCheckNotS_OK();

        // The new document takes the place of one open at that path.
        if (KelvComPtr<ISBDocumentRoot> previous = Opened(file)) {
            m_documents.erase(std::remove_if(m_documents.begin(), m_documents.end(),
                                             [&](const Entry& e) { return e.document == previous; }),
                              m_documents.end());
        }
        m_documents.push_back(Entry{document, type, false});
        StoreInterface(ppDocument, document);
    });
}

HRESULT DocumentManager::ExportDocument(ISBDocumentRoot* pDocument, LONG flags, BSTR exporterProgID,
                                        VARIANT varExportData, BSTR path)
{
    return HostCall(IID_ISBDocumentManager, [&] {
        const std::string exporter = Narrow(exporterProgID);
        const std::string text = Narrow(path);
        Log("DocumentManager", "ExportDocument",
            {pDocument ? Quote(UrlOf(pDocument)) : "null", Hex(flags), Quote(exporter), DescribeVariant(varExportData),
             Quote(text)});
        if (!pDocument)
            Fail(E_POINTER, "No document was given to export.");
        const auto type = TypeOf(pDocument);
        if (!type)
            Fail(E_INVALIDARG, "The document to export is not a document of this project.");
        if (std::find(type->exporters.begin(), type->exporters.end(), exporter) == type->exporters.end() || !type->save)
            Fail(E_INVALIDARG, "The exporter \"" + exporter + "\" does not write documents of the type \"" +
                                   type->progId + "\".");
        const std::string target = text.empty() ? UrlOf(pDocument) : ProjectPath(text);
        if (target.empty())
            Fail(E_INVALIDARG, "The document has no file of its own; an export needs a path.");
        Save(*type, pDocument, target);
    });
}

HRESULT DocumentManager::ImportDocumentReference(LONG flags, BSTR path, ISBDocumentRoot** ppDocument)
{
    return HostCall(IID_ISBDocumentManager, [&] {
        RequireOut(ppDocument);
        *ppDocument = nullptr;
        const std::string text = Narrow(path);
        Log("DocumentManager", "ImportDocumentReference", {Hex(flags), Quote(text)});
        StoreInterface(ppDocument, Open(ProjectPath(text)));
    });
}

HRESULT DocumentManager::PurgeDocument(ISBDocumentRoot* pDocument, LONG flags)
{
    return HostCall(IID_ISBDocumentManager, [&]() -> HRESULT {
        const std::string url = UrlOf(pDocument);
        Log("DocumentManager", "PurgeDocument", {pDocument ? Quote(url) : "null", Hex(flags)});
        if (!pDocument)
            Fail(E_POINTER, "No document was given to purge.");
        Entry* entry = FindEntry(pDocument);
        if (!entry)
            return S_FALSE;
        const KelvComPtr<ISBDocumentRoot> keep = entry->document;
        m_documents.erase(m_documents.begin() + (entry - m_documents.data()));
        if ((flags & SBPurgeDeleteFiles) && !url.empty()) {
            std::error_code error;
            if (fs::remove(url, error))
                WrittenFiles::NoteRemoved(url);
            // A trajectory document's data file goes with it.
            const std::string data = PathUtilities::ExtensionReplaced(url, ".trj");
            if (PathUtilities::MatchesExtension(url, ".qtd") && fs::remove(data, error))
                WrittenFiles::NoteRemoved(data);
        }
        return S_OK;
    });
}

HRESULT DocumentManager::Synchronize()
{
    return HostCall(IID_ISBDocumentManager, [&] {
        Log("DocumentManager", "Synchronize");
        // A document that cannot be written does not keep the others from
        // being written; the first failure is reported afterwards.
        std::optional<KelvResult> failure;
        for (const Entry& entry : m_documents) {
            if (entry.isPrivate || !entry.type->save)
                continue;
            const std::string url = UrlOf(entry.document.get());
            if (url.empty())
                continue;
            try {
                if (entry.type->isModified && !entry.type->isModified(entry.document.get()))
                    continue;
                Save(*entry.type, entry.document.get(), url);
            } catch (const KelvResult& error) {
                if (!failure)
                    failure = error;
            }
        }
        if (failure)
            throw *failure;
    });
}

HRESULT DocumentManager::AssociateDocument(ISBDocumentRoot* pDocument, BSTR handlerProgID, BSTR associatedPath)
{
    return HostCall(IID_ISBDocumentManager, [&] {
        const std::string handler = Narrow(handlerProgID);
        const std::string associated = Narrow(associatedPath);
        Log("DocumentManager", "AssociateDocument",
            {pDocument ? Quote(UrlOf(pDocument)) : "null", Quote(handler), Quote(associated)});
        if (!pDocument)
            Fail(E_POINTER, "No document was given to associate.");
        m_associations.push_back(Association{KelvComPtr<ISBDocumentRoot>(pDocument), handler, associated});
    });
}

HRESULT DocumentManager::MakeDocumentFolder(BSTR title, LONG flags, BSTR* pProjectRelativePath)
{
    return HostCall(IID_ISBDocumentFolders, [&] {
        RequireOut(pProjectRelativePath);
        *pProjectRelativePath = nullptr;
        const std::string text = Narrow(title);
        Log("DocumentManager", "MakeDocumentFolder", {Quote(text), Hex(flags)});
        std::string relative;
        const std::string& documents = m_context->documentsFolder;
        if (!text.empty() && text.front() == '.') {
            relative = PathUtilities::ToNative(text.substr(1));
        } else {
            const std::string normal = HostPaths::Normal(text);
            if (!HostPaths::IsInside(documents, normal))
                Fail(E_INVALIDARG, "\"" + text + "\" is not in the current project.");
            relative = normal.substr(documents.size());
        }
        while (!relative.empty() && relative.front() == '/')
            relative.erase(0, 1);
        std::string folder;
        std::string name;
        PathUtilities::FolderAndFileNameFromPath(relative, folder, name);
        name = QorQMUtilities::MakeSafeFileName(name, true, false);
        if (name.empty())
            Fail(E_INVALIDARG, "\"" + text + "\" names no folder.");
        std::string path = HostPaths::Normal(PathUtilities::Join(documents, folder + name));
        if (!HostPaths::IsInside(documents, path) || path == documents)
            Fail(E_INVALIDARG, "\"" + text + "\" is not in the current project.");
        // The place is looked at before anything is made there: no folder is
        // made through a link that leads outside the project.
        const std::string parent = fs::path(path).parent_path().string();
        const std::string leaving = MakeProjectFolders(documents, parent);
        if (!leaving.empty())
            Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE),
                 "The folder \"" + MessageText::Excerpt(path) + "\" cannot be made in \"" +
                     MessageText::Excerpt(parent) + "\": " + leaving + ".");
        const DiskUtilities::ClaimedName claim = DiskUtilities::ClaimNewName(path, DiskUtilities::ClaimKind::Folder);
        if (!claim)
            Fail(E_ACCESSDENIED, "The folder \"" + MessageText::Excerpt(path) +
                                     "\" cannot be made: " + DiskUtilities::ClaimFailure(claim));
        m_context->NoteFolderMade(claim.path);
        StoreString(pProjectRelativePath, "./" + claim.path.substr(documents.size() + 1));
    });
}

KelvComPtr<ISBDocumentInfo> DocumentManager::FileInfo(const std::string& path)
{
    const std::string normal = HostPaths::Normal(path);
    auto it = m_fileInfos.find(normal);
    if (it != m_fileInfos.end())
        return it->second;
    KelvComPtr<ISBDocumentInfo> info = KelvComPtr<ISBDocumentInfo>::Adopt(new FileDocumentInfo(normal));
    m_fileInfos[normal] = info;
    return info;
}

void DocumentManager::Clear()
{
    m_documents.clear();
    m_associations.clear();
    m_fileInfos.clear();
}

// ---------------------------------------------------------------- service

KelvComPtr<DocumentService> DocumentService::Create(std::shared_ptr<HostContext> context,
                                                    KelvComPtr<DocumentManager> documents)
{
    return KelvComPtr<DocumentService>::Adopt(new DocumentService(std::move(context), std::move(documents)));
}

DocumentService::DocumentService(std::shared_ptr<HostContext> context, KelvComPtr<DocumentManager> documents)
    : m_context(std::move(context)), m_documents(std::move(documents))
{
}

HRESULT DocumentService::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBDocumentService)
        return FinishQI(static_cast<ISBDocumentService*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT DocumentService::Refresh()
{
    return HostCall(IID_ISBDocumentService, [&] { Log("DocumentService", "Refresh"); });
}

HRESULT DocumentService::GetDocumentInfo(BSTR path, ISBDocumentInfo** ppInfo)
{
    return HostCall(IID_ISBDocumentService, [&]() -> HRESULT {
        RequireOut(ppInfo);
        *ppInfo = nullptr;
        const std::string text = Narrow(path);
        Log("DocumentService", "GetDocumentInfo", {Quote(text)});
        if (KelvComPtr<ISBDocumentRoot> document = m_documents->Opened(text)) {
            KelvResult::Check(document->get_DocumentInfo(ppInfo));
            return S_OK;
        }
        const std::string normal = HostPaths::Normal(text);
        std::error_code error;
        if (normal.empty() || !fs::is_regular_file(normal, error) ||
            !HostPaths::IsInside(m_context->documentsFolder, normal))
            return S_FALSE;
        StoreInterface(ppInfo, m_documents->FileInfo(normal));
        return S_OK;
    });
}

HRESULT DocumentService::OpenDocument(ISBDocumentRoot* pDocument, IUnknown** ppView)
{
    return HostCall(IID_ISBDocumentService, [&] {
        RequireOut(ppView);
        *ppView = nullptr;
        Log("DocumentService", "OpenDocument", {pDocument ? Quote(UrlOf(pDocument)) : "null"});
        if (!pDocument)
            Fail(E_POINTER, "No document was given to open.");
        *ppView = (new DocumentView(pDocument))->ControllingUnknown();
    });
}

} // namespace QzHost
