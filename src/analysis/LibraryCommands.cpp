// The library command of the analysis component: a fitting run's dump
// turned into a forcefield library beside it, and whether there is one.
#include "analysis/AnalysisSupport.h"
#include "analysis/ZelmAnalysis.h"
#include "forcefield/DumpToLibraryConverter.h"
#include "qorqm/PathUtilities.h"
#include "setup/ZelmRunInfo.h"

using namespace ZelmAnalysisSupport;

bool CZelmAnalysis::FindFittingResultsFiles(std::string& path) const
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBScopeManager> scopes = ObtainScopeManager();
    KelvComPtr<ISBScope> scope;
    KelvResult::Check(scopes->get_DefaultScope(scope.Receive()));
    KelvComPtr<ISBDocumentRoot> document;
    if (scope) {
        Kelv::CheckNullDereference(m_scopeUtility.get());
        KelvResult::Check(m_scopeUtility->GetDocumentRoot(scope.get(), document.Receive()));
    }

    const KelvComPtr<ISBDiskManager> disk = DiskManagerOf(root);
    std::string folder;
    if (!document) {
        KelvComPtr<ISBFolderManager> folders;
        KelvResult::Check(root->get_FolderManager(folders.Receive()));
        Kelv::CheckNullDereference(folders.get());
        KelvBSTR expanded;
        KelvResult::Check(folders->ExpandPath(KelvBSTR("%PROJECT_DOCUMENTS_FOLDER%").Get(), expanded.Receive()));
        folder = expanded.ToTString();
    } else {
        KelvBSTR url;
        KelvResult::Check(document->get_DocumentURL(url.Receive()));
        KelvBSTR drive;
        KelvBSTR directory;
        KelvBSTR name;
        KelvBSTR extension;
        KelvResult::Check(disk->SplitPath(url.Get(), drive.Receive(), directory.Receive(), name.Receive(),
                                          extension.Receive()));
        folder = drive.ToTString() + directory.ToTString();
    }

    const KelvComPtr<ISBFileSearch> search = disk.QueryInterface<ISBFileSearch>();
    KelvComPtr<ISBFileEnumerator> files;
    KelvResult::Check(search->FindFiles(KelvBSTR(folder + "\\*" + CZelmRunInfo::DumpFileExtension()).Get(),
                                        files.Receive()));
    Kelv::CheckNullDereference(files.get());
    BSTR entry = nullptr;
    if (files->Next(1, &entry, nullptr) != S_OK) {
        SysFreeString(entry);
        return false;
    }
    path = KelvBSTR::Attach(entry).ToTString();
    return true;
}

HRESULT CZelmAnalysis::get_CanImportLibrary(VARIANT_BOOL* pCanPlot)
{
    return RunCommand([&] {
        RequireOutput(pCanPlot);
        *pCanPlot = VARIANT_FALSE;
        // A dump that the import would refuse answers no.
        std::string dump;
        *pCanPlot = ToVariantBool(FindFittingResultsFiles(dump) &&
                                  CDumpToLibraryConverter::CanConvert(
                                      dump, PathUtilities::ExtensionReplaced(dump, CZelmRunInfo::LibraryFileExtension())));
    });
}

HRESULT CZelmAnalysis::ImportLibrary()
{
    return RunCommand([&] {
        std::string dump;
        if (!FindFittingResultsFiles(dump))
            throw KelvResult(E_UNEXPECTED, "There are no fitting results from which a library can be generated");
        const std::string library = PathUtilities::ExtensionReplaced(dump, CZelmRunInfo::LibraryFileExtension());
        { const CDumpToLibraryConverter converter(dump, library); }
        KelvResult::Check(DocumentManagerOf(Root())->Synchronize());
    });
}
