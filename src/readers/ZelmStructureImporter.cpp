#include "readers/ZelmStructureImporter.h"

#include "common/ModuleIds.h"
#include "hostapi/hostapi.h"
#include "kelv/ContainerRootConsumer.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"
#include "qorqm/PathUtilities.h"
#include "readers/StructureUpdater.h"
#include "setup/ZelmRunInfo.h"

namespace {

class CZelmStructureImporter final : public CKelvUnknown,
                                     public ISupportErrorInfo,
                                     public ISBImporter,
                                     public CSBContainerRootConsumerImpl {
public:
    CZelmStructureImporter() : CSBContainerRootConsumerImpl(QorZelm::CLSID_ZelmStructureImporter) {}

    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISupportErrorInfo)
            return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
        if (iid == IID_ISBImporter)
            return FinishQI(static_cast<ISBImporter*>(this), out);
        if (iid == IID_ISBContainerRootConsumer)
            return FinishQI(static_cast<ISBContainerRootConsumer*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    void FinalRelease() override
    {
        ClearContainerRoot();
        CKelvUnknown::FinalRelease();
    }

    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override
    {
        return iid == IID_ISupportErrorInfo || iid == IID_ISBImporter || iid == IID_ISBContainerRootConsumer ? S_OK
                                                                                                             : S_FALSE;
    }

    HRESULT Import(IUnknown* pStream, IUnknown* pDoc, VARIANT /*varUnknownImportData*/) override
    {
        return Kelv::ComMethod(QorZelm::CLSID_ZelmStructureImporter, IID_ISBImporter, [&] {
            KelvComPtr<IUnknown> streamObject(pStream);
            KelvComPtr<ISBStream> stream = streamObject.QueryInterface<ISBStream>();
            KelvBSTR path;
            KelvResult::Check(stream->get_FilePath(path.Receive()));
            const std::string seed = PathUtilities::ExtensionRemoved(path.ToTString());

            KelvComPtr<IUnknown> documentObject(pDoc);
            KelvComPtr<ISBPersistable> persistable = documentObject.QueryInterface<ISBPersistable>();
            KelvVariant format("SDModel3dImportExport.QSDImportExport");
            KelvVariant options;
            KelvResult::Check(persistable->LoadFrom(pStream, format.Get(), options.Get()));

            KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
            KelvComPtr<ISBDocumentRoot> document = documentObject.QueryInterface<ISBDocumentRoot>();
            UpdateStructureFromOutputWithMap(root, document, seed + CZelmRunInfo::ArchiveFileExtension());
        });
    }
};

}  // namespace

HRESULT CreateZelmStructureImporter(void** out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CZelmStructureImporter);
    return S_OK;
}
