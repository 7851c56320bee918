#pragma once
// File-transfer items of a job: what the job manager uploads to the server
// before a run and downloads back into the results afterwards.

#include "hostapi/jobs.h"
#include "kelv/KelvComPtr.h"
#include "kelv/KelvVariant.h"

#include <string>

namespace FTIUtilities {

// One item, its fields in the order of ISBManagedTask::AddFileTransferItem.
class CFTI {
public:
    CFTI(const std::string& descriptor, LONG uploadPolicy, LONG downloadPolicy,
         const KelvVariant& identifier = KelvVariant(), const KelvVariant& docTypeProgID = KelvVariant(),
         const KelvVariant& importExportProgID = KelvVariant(), const KelvVariant& viewerProgID = KelvVariant());

    const std::string& GetDescriptor() const { return m_descriptor; }
    LONG GetUploadPolicy() const { return m_uploadPolicy; }
    LONG GetDownloadPolicy() const { return m_downloadPolicy; }
    const KelvVariant& GetIdentifier() const { return m_identifier; }
    const KelvVariant& GetDocTypeProgID() const { return m_docTypeProgID; }
    const KelvVariant& GetImportExportProgID() const { return m_importExportProgID; }
    const KelvVariant& GetViewerProgID() const { return m_viewerProgID; }

private:
    std::string m_descriptor;
    LONG m_uploadPolicy;
    LONG m_downloadPolicy;
    KelvVariant m_identifier;
    KelvVariant m_docTypeProgID;
    KelvVariant m_importExportProgID;
    KelvVariant m_viewerProgID;
};

// Adds items to one job.
class CFTIHelper {
public:
    explicit CFTIHelper(const KelvComPtr<ISBManagedTask>& job);
    explicit CFTIHelper(ISBManagedTask* job);

    // Adds the item to the job and gives the job's item object. An item
    // without a file path throws KelvResult E_INVALIDARG. A failing
    // host call throws KelvResult with the host's error; a null job throws
    // KelvResult E_POINTER.
    KelvComPtr<ISBFileTransferItem> AddFTI(const CFTI& item) const;

private:
    KelvComPtr<ISBManagedTask> m_job;
};

}  // namespace FTIUtilities
