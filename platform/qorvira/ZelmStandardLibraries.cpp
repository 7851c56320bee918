#include "qorvira/ZelmStandardLibraries.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/LogicStateUtilities.h"
#include "qorqm/PathUtilities.h"

CZelmStandardLibraries::CZelmStandardLibraries(ISBContainerRoot* root) noexcept : m_root(root) {}

CZelmStandardLibraries::CZelmStandardLibraries(const KelvComPtr<ISBContainerRoot>& root) noexcept : m_root(root) {}

CZelmStandardLibraries::~CZelmStandardLibraries() = default;

const std::string& CZelmStandardLibraries::DefaultRelativeFolder()
{
    static const std::string folder = "Resources/Virakon/ZELM/";
    return folder;
}

std::string CZelmStandardLibraries::StateText(const std::string& key) const
{
    KelvComPtr<ISBLogic> logic = AppUtils::Container::GetLogic("ZelmLogic", "QorZelm.Extension", m_root.get());
    if (!logic)
        return std::string();
    KelvComPtr<ISBState> state;
    KelvResult::Check(logic->get_State(state.Receive()));
    if (!state)
        return std::string();
    return AppUtils::Container::GetStatePropertyValue(key, state.get(), false).String();
}

std::string CZelmStandardLibraries::GetStandardLibrariesFolder() const
{
    Kelv::CheckNullDereference(m_root.get());
    KelvComPtr<ISBFolderManager> folders;
    KelvResult::Check(m_root->get_FolderManager(folders.Receive()));
    Kelv::CheckNullDereference(folders.get());
    KelvBSTR core;
    KelvResult::Check(folders->get_CoreFolder(core.Receive()));

    std::string relative = StateText("ZelmLibraryFolder");
    if (relative.empty())
        relative = DefaultRelativeFolder();
    std::string folder = PathUtilities::Join(core.ToTString(), relative);
    if (folder.empty() || !PathUtilities::IsSeparator(folder.back()))
        folder += PathUtilities::Separator();
    return folder;
}

std::string CZelmStandardLibraries::GetElementDataFileName() const
{
    const std::string folder = GetStandardLibrariesFolder();
    return PathUtilities::Join(folder, StateText("ZelmElementDataFile"));
}
