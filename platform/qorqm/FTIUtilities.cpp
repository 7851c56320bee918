#include "qorqm/FTIUtilities.h"

#include "kelv/KelvBSTR.h"
#include "kelv/KelvResult.h"

namespace FTIUtilities {

CFTI::CFTI(const std::string& descriptor, LONG uploadPolicy, LONG downloadPolicy, const KelvVariant& identifier,
           const KelvVariant& docTypeProgID, const KelvVariant& importExportProgID,
           const KelvVariant& viewerProgID)
    : m_descriptor(descriptor),
      m_uploadPolicy(uploadPolicy),
      m_downloadPolicy(downloadPolicy),
      m_identifier(identifier),
      m_docTypeProgID(docTypeProgID),
      m_importExportProgID(importExportProgID),
      m_viewerProgID(viewerProgID) {}

CFTIHelper::CFTIHelper(const KelvComPtr<ISBManagedTask>& job) : m_job(job) {}

CFTIHelper::CFTIHelper(ISBManagedTask* job) : m_job(job) {}

KelvComPtr<ISBFileTransferItem> CFTIHelper::AddFTI(const CFTI& item) const {
    if (item.GetDescriptor().empty()) {
        throw KelvResult(E_INVALIDARG, "A file-transfer item needs the path of its file.");
    }
    const KelvBSTR descriptor(item.GetDescriptor());
    KelvComPtr<ISBFileTransferItem> added;
    // VARIANT arguments go by value: the job copies what it keeps.
    KelvResult::Check(m_job->AddFileTransferItem(
        descriptor.Get(), item.GetUploadPolicy(), item.GetDownloadPolicy(), item.GetIdentifier().Get(),
        item.GetDocTypeProgID().Get(), item.GetImportExportProgID().Get(), item.GetViewerProgID().Get(),
        added.Receive()));
    return added;
}

}  // namespace FTIUtilities
