#include "qorqm/CLiveUpdaterBase.h"

#include "qorqm/CDocManagementUtility.h"
#include "qorqm/PathUtilities.h"

#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"
#include "kelv/KelvVariant.h"

namespace {

struct DocumentKind {
    const char* progId;
    int policyBit;
    const char* extension;
    const char* exporter;
};

const DocumentKind kinds[] = {
    {"SDDocuments.TextDocument", CJobHandlerUtility::LiveUpdatesText, ".txt", "SDTextImportExport.TextImportExport"},
    {"SDDocuments.Chart2dDocument", CJobHandlerUtility::LiveUpdatesGraphs, ".qcd",
     "SDChart2dImportExport.QCDImportExport"},
    {"SDDocuments.Atomistic3dDocument", CJobHandlerUtility::LiveUpdatesModel, ".qsd",
     "SDModel3dImportExport.QSDImportExport"},
};

const DocumentKind* KindOf(const std::string& progId)
{
    for (const DocumentKind& kind : kinds) {
        if (progId == kind.progId)
            return &kind;
    }
    return nullptr;
}

const char* const StructureFormat = "SDModel3dImportExport.QSDImportExport";

} // namespace

CLiveUpdaterBase::CLiveUpdaterBase(const CJobHandlerUtility& handler) : m_handler(handler) {}

CLiveUpdaterBase::~CLiveUpdaterBase() = default;

int CLiveUpdaterBase::PolicyBitOfDocumentType(const std::string& docTypeProgID)
{
    const DocumentKind* kind = KindOf(docTypeProgID);
    return kind ? kind->policyBit : 0;
}

std::string CLiveUpdaterBase::ExpandTitle(const std::string& title, const std::string& prefix)
{
    static const std::string marker = "%JOB_PREFIX%";
    std::string text = title;
    for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + prefix.size()))
        text.replace(at, marker.size(), prefix);
    return text;
}

CContainerRoot CLiveUpdaterBase::ContainerRoot() const
{
    return CContainerRoot(m_handler.ContainerRoot());
}

void CLiveUpdaterBase::UpdateFromFileResult(const KelvBSTR& filePath)
{
    SetName(filePath);
    const int policy = m_handler.GetLiveUpdatesPolicy();
    const int count = GetItemCount();
    for (int index = 0; index < count; ++index) {
        const LiveUpdateItem* item = GetItem(index);
        if (!item || !(policy & PolicyBitOfDocumentType(item->docTypeProgID)))
            continue;
        if (!MatchesItem(item->name))
            continue;
        bool created = false;
        const KelvComPtr<ISBDocumentRoot> document = FindOrCreateItemDocument(*item, created);
        if (created)
            CreateItemDocument(item->name, document.get());
        UpdateItem(item->name, document.get());
        Save(document.get(), item->docTypeProgID);
        m_handler.Note(std::string("Update ") + item->name);
    }
}

void CLiveUpdaterBase::UpdateFromDataResult(const KelvBSTR& dataString)
{
    m_handler.Note("Data " + dataString.ToTString());
}

KelvComPtr<ISBDocumentRoot> CLiveUpdaterBase::FindOrCreateItemDocument(const LiveUpdateItem& item,
                                                                       bool& created) const
{
    const DocumentKind* kind = KindOf(item.docTypeProgID);
    if (!kind)
        throw KelvResult(E_INVALIDARG, std::string("The live document type \"") + item.docTypeProgID +
                                           "\" is not known.");
    const std::string prefix = m_handler.GetTaskPrefix().ToTString();
    const std::string folder = m_handler.GetResultsFolder().ToTString();
    const std::string name = ExpandTitle(item.title, prefix) + kind->extension;
    const CDocManagementUtility documents(m_handler.ContainerRoot());
    KelvComPtr<ISBDocumentRoot> document = documents.FindOrCreateDocument(folder, name, item.docTypeProgID, created);
    if (created && kind->policyBit == CJobHandlerUtility::LiveUpdatesModel)
        CopyStagedStructureInto(document.get(), prefix);
    return document;
}

void CLiveUpdaterBase::CopyStagedStructureInto(ISBDocumentRoot* document, const std::string& prefix) const
{
    // The staged structure is on the server beside the deck; an empty model
    // would match no archive frame.
    const KelvBSTR remote(prefix + ".qsd");
    const KelvBSTR local = m_handler.DownloadFile(remote.Get());
    try {
        KelvComPtr<ISBStream> stream;
        Kelv::KelvCreateImpl(CLSID_SBStream, nullptr, CLSCTX_INPROC_SERVER, IID_ISBStream, stream.ReceiveVoid(), true);
        Kelv::CheckNullDereference(stream.get());
        const KelvVariant path(local.ToTString());
        KelvResult::Check(stream->Open(SBStreamRead, path.Get()));
        const KelvComPtr<ISBPersistable> persistable =
            KelvComPtr<IUnknown>(static_cast<IUnknown*>(document)).QueryInterface<ISBPersistable>();
        const KelvVariant format(StructureFormat);
        const HRESULT hr = persistable->LoadFrom(stream.get(), format.Get(), KelvVariant().Get());
        stream->Close();
        KelvResult::Check(hr);
    } catch (...) {
        m_handler.DeleteFile(local.Get());
        throw;
    }
    m_handler.DeleteFile(local.Get());
}

void CLiveUpdaterBase::Save(ISBDocumentRoot* document, const std::string& docTypeProgID) const
{
    const DocumentKind* kind = KindOf(docTypeProgID);
    const KelvComPtr<ISBDocumentManager> manager = ContainerRoot().DocumentManager();
    const KelvBSTR exporter(kind->exporter);
    KelvResult::Check(manager->ExportDocument(document, 0, exporter.Get(), KelvVariant().Get(), KelvBSTR().Get()));
}
