// The logic object's part of the host's forcefield editing: it hands the
// editor out loaded with the selected library, suggests where an edited copy
// goes and takes the saved copy as a library that can be selected.
#include "setup/Zelm.h"

#include "forcefield/ZelmForcefieldEditor.h"
#include "forcefield/com/EditorWraps.h"
#include "common/ProjectPaths.h"

#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmForcefieldLocator.h"

#include <boost/make_shared.hpp>

namespace {

const char* const kNoOutput = "No pointer supplied for output argument.";

template <class F>
HRESULT ConsumerMethod(F&& body)
{
    return Kelv::ComMethod(QorZelm::CLSID_ZelmLogic, IID_IQoEditedForcefieldConsumer, std::forward<F>(body));
}

} // namespace

HRESULT CZelm::get_ForcefieldEditor(IQoForcefieldEditor** ppEditor)
{
    return ConsumerMethod([&] {
        if (!ppEditor)
            throw KelvResult(E_POINTER, kNoOutput);
        *ppEditor = nullptr;
        CheckComponentsSetUp();
        if (!m_forcefieldEditor)
            m_forcefieldEditor = boost::make_shared<CZelmForcefieldEditor>();
        m_forcefieldEditor->SetProjectFolder(ProjectFolderForWrites(ContainerRoot(true)));
        // Read again at every request: what was not saved is dropped.
        m_forcefieldEditor->Load(m_forcefieldLocator->GetSelectedPath());
        *ppEditor = CForcefieldEditorWrap::Create(m_forcefieldEditor).Detach();
    });
}

HRESULT CZelm::ForcefieldSavedTo(BSTR filePath)
{
    return ConsumerMethod([&] {
        CheckComponentsSetUp();
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        KelvComPtr<ISBDocumentService> documents;
        KelvResult::Check(root->get_DocumentService(documents.Receive()));
        Kelv::CheckNullDereference(documents.get());
        KelvResult::Check(documents->Refresh());
        KelvComPtr<ISBDocumentInfo> info;
        KelvResult::Check(documents->GetDocumentInfo(filePath, info.Receive()));
        if (!info)
            throw KelvResult(E_UNEXPECTED, "Cannot save forcefield");
        m_forcefieldLocator->AddForcefield(info.get());
    });
}

HRESULT CZelm::SuggestSavePath(BSTR, BSTR* pSuggestedDirectory)
{
    return ConsumerMethod([&] {
        if (!pSuggestedDirectory)
            throw KelvResult(E_POINTER, kNoOutput);
        *pSuggestedDirectory = nullptr;
        CheckComponentsSetUp();
        std::string folder;
        std::string name;
        PathUtilities::FolderAndFileNameFromPath(m_forcefieldLocator->GetSelectedPath(), folder, name);
        if (m_forcefieldLocator->IsSelectedZelmStandardLibrary())
            folder = GetActiveDocumentFolder();
        const std::string unique = MakeUniqueFilePath(folder, name, ContainerRoot(true));
        *pSuggestedDirectory = Kelv::bstrdup(folder + unique);
    });
}

std::string CZelm::GetActiveDocumentFolder() const
{
    const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);

    // No active scope is no document, as is a scope outside any document or
    // a document never saved.
    KelvComPtr<ISBScope> scope;
    KelvResult::Check(ObtainScopeManager()->get_ActiveScope(scope.Receive()));
    KelvComPtr<ISBDocumentRoot> document;
    if (scope) {
        Kelv::CheckNullDereference(m_scopeUtility.get());
        KelvResult::Check(m_scopeUtility->GetDocumentRoot(scope.get(), document.Receive()));
    }
    KelvComPtr<ISBPathService> paths;
    KelvResult::Check(root->get_PathService(paths.Receive()));
    Kelv::CheckNullDereference(paths.get());

    KelvBSTR path;
    if (document)
        KelvResult::Check(document->get_DocumentURL(path.Receive()));
    if (path.IsEmpty()) {
        std::string folder = ResolveProjectDocumentsPath(root);
        if (folder.empty() || !PathUtilities::IsSeparator(folder.back()))
            folder += PathUtilities::Separator();
        return folder;
    }
    KelvBSTR drive;
    KelvBSTR directory;
    KelvResult::Check(paths->SplitPath(path.Get(), drive.Receive(), directory.Receive(), nullptr, nullptr));
    return drive.ToTString() + directory.ToTString();
}

bool CZelm::HasForcefieldModel()
{
    return true;
}
