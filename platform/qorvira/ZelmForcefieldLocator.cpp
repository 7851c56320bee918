#include "qorvira/ZelmForcefieldLocator.h"

#include "appfw/LogicStateUtilities.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmStandardLibraries.h"

namespace
{
const char* const LibraryExtension = ".lib";

// The path with every separator written as '/', for comparing folders.
std::string Comparable(const std::string& path)
{
    return PathUtilities::ToNative(path);
}

KelvComPtr<ISBFolderManager> FolderManager(ISBContainerRoot* root)
{
    KelvComPtr<ISBFolderManager> folders;
    KelvResult::Check(root->get_FolderManager(folders.Receive()));
    Kelv::CheckNullDereference(folders.get());
    return folders;
}
} // namespace

CZelmForcefieldLocator::CZelmForcefieldLocator(ISBState* state, ISBContainerRoot* root)
    : m_state(state), m_root(root)
{
    Kelv::CheckNullDereference(state);
    Kelv::CheckNullDereference(root);
}

CZelmForcefieldLocator::CZelmForcefieldLocator(const KelvComPtr<ISBState>& state,
                                               const KelvComPtr<ISBContainerRoot>& root)
    : CZelmForcefieldLocator(state.get(), root.get())
{
}

CZelmForcefieldLocator::~CZelmForcefieldLocator() = default;

std::string CZelmForcefieldLocator::SelectedName() const
{
    return LogicStateUtilities::GetPropertyValue(m_state.get(), "library").String();
}

std::string CZelmForcefieldLocator::StandardFolder() const
{
    return CZelmStandardLibraries(m_root.get()).GetStandardLibrariesFolder();
}

std::string CZelmForcefieldLocator::ExpandFolders(const std::string& path) const
{
    if (path.find('%') == std::string::npos)
        return path;
    KelvBSTR expanded;
    KelvResult::Check(FolderManager(m_root.get())->ExpandPath(KelvBSTR(path).Get(), expanded.Receive()));
    return expanded.ToTString();
}

std::string CZelmForcefieldLocator::ProjectDocumentsFolder() const
{
    return ExpandFolders("%PROJECT_DOCUMENTS_FOLDER%");
}

std::string CZelmForcefieldLocator::GetSelectedPath() const
{
    const std::string name = SelectedName();
    if (name.empty())
        return std::string();

    if (name.find_first_of("/\\") != std::string::npos) {
        std::string path = ExpandFolders(name);
        // A relative path in the state is the project's, wherever the
        // command runs.
        const std::string native = PathUtilities::ToNative(path);
        if (!native.empty() && native.front() != '/')
            path = PathUtilities::Join(ProjectDocumentsFolder(), path);
        if (PathUtilities::ExtensionFromPath(path).empty())
            path += LibraryExtension;
        return path;
    }

    for (auto added = m_addedLibraries.rbegin(); added != m_addedLibraries.rend(); ++added) {
        if (PathUtilities::ExtensionRemoved(PathUtilities::FileNameFromPath(*added)) == name)
            return *added;
    }

    const std::string fileName = name + LibraryExtension;
    const std::string standard = PathUtilities::Join(StandardFolder(), fileName);
    if (DiskUtilities::FileExists(standard))
        return standard;
    const std::string project = PathUtilities::Join(ProjectDocumentsFolder(), fileName);
    if (DiskUtilities::FileExists(project))
        return project;
    return standard;
}

bool CZelmForcefieldLocator::IsSelectedZelmStandardLibrary() const
{
    const std::string path = GetSelectedPath();
    if (path.empty())
        return false;
    return Comparable(PathUtilities::FolderNameFromPath(path)) == Comparable(StandardFolder());
}

void CZelmForcefieldLocator::AddForcefield(ISBDocumentInfo* documentInfo)
{
    Kelv::CheckNullDereference(documentInfo);
    KelvBSTR url;
    KelvResult::Check(documentInfo->get_DocumentURL(url.Receive()));
    const std::string path = url.ToTString();
    if (path.empty())
        throw KelvResult(E_INVALIDARG, "The saved forcefield has no file path.");
    m_addedLibraries.push_back(path);
}
