#include "qorvira/ZelmStandardLibraries.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/LogicStateUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"

#include <filesystem>

namespace
{
namespace fs = std::filesystem;

// A path in a message: the project chose it, so it is quoted as an excerpt
// (long enough for a path, control characters escaped).
std::string Quoted(const std::string& path)
{
    return "\"" + MessageText::Excerpt(path, 1000) + "\"";
}

// The path made absolute, with every link followed and "." and ".." taken
// away; the part that does not exist is taken as written. A link whose
// target is missing is followed all the same. Empty when the links go
// round in a loop or cannot be read.
fs::path Resolved(const std::string& text)
{
    std::string native = PathUtilities::ToNative(text);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    std::error_code error;
    fs::path path = fs::absolute(fs::path(native), error);
    if (error)
        return fs::path();
    for (int hops = 0; hops < 40; ++hops) {
        const fs::path canonical = fs::canonical(path, error);
        if (!error)
            return canonical;
        const fs::path folder = fs::weakly_canonical(path.parent_path(), error);
        if (error)
            return fs::path();
        const fs::path here = folder / path.filename();
        if (!fs::is_symlink(fs::symlink_status(here, error))) {
            const fs::path resolved = fs::weakly_canonical(here, error);
            return error ? fs::path() : resolved;
        }
        const fs::path target = fs::read_symlink(here, error);
        if (error)
            return fs::path();
        path = target.is_absolute() ? target : folder / target;
    }
    return fs::path();
}

// The path made absolute with "." and ".." taken away, links not followed.
fs::path Written(const std::string& text)
{
    std::string native = PathUtilities::ToNative(text);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    std::error_code error;
    const fs::path path = fs::absolute(fs::path(native), error);
    return error ? fs::path() : path.lexically_normal();
}

// Whether the resolved `path` lies in the resolved `folder` (the folder
// itself is not a file in it).
bool LiesIn(const fs::path& folder, const fs::path& path)
{
    if (folder.empty() || path.empty())
        return false;
    const fs::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}
} // namespace

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

std::string CZelmStandardLibraries::CoreFolder() const
{
    Kelv::CheckNullDereference(m_root.get());
    KelvComPtr<ISBFolderManager> folders;
    KelvResult::Check(m_root->get_FolderManager(folders.Receive()));
    Kelv::CheckNullDereference(folders.get());
    KelvBSTR core;
    KelvResult::Check(folders->get_CoreFolder(core.Receive()));
    return core.ToTString();
}

std::string CZelmStandardLibraries::ProjectFolder() const
{
    Kelv::CheckNullDereference(m_root.get());
    KelvComPtr<ISBFolderManager> folders;
    KelvResult::Check(m_root->get_FolderManager(folders.Receive()));
    Kelv::CheckNullDereference(folders.get());
    KelvBSTR expanded;
    KelvResult::Check(folders->ExpandPath(KelvBSTR("%PROJECT_DOCUMENTS_FOLDER%").Get(), expanded.Receive()));
    return expanded.ToTString();
}

std::string CZelmStandardLibraries::GetStandardLibrariesFolder() const
{
    const std::string core = CoreFolder();
    const auto inCore = [&core](const std::string& relative) {
        std::string folder = PathUtilities::Join(core, relative);
        if (folder.empty() || !PathUtilities::IsSeparator(folder.back()))
            folder += PathUtilities::Separator();
        return folder;
    };

    const std::string relative = StateText("ZelmLibraryFolder");
    if (relative.empty())
        return inCore(DefaultRelativeFolder());
    const std::string folder = inCore(relative);
    const std::string installed = inCore(DefaultRelativeFolder());
    const fs::path resolved = Resolved(folder);
    if (resolved.empty() || resolved != Resolved(installed))
        throw KelvResult(E_ACCESSDENIED, MessageText::Excerpt(folder, 1000) +
                                             " is not in the current project: the project's "
                                         "ZelmLogic.ZelmLibraryFolder " + Quoted(relative) +
                                         " moves the standard library folder away from the installation's " +
                                         Quoted(installed) + "; only the installation's standard libraries are used.");
    return folder;
}

std::string CZelmStandardLibraries::WhyNotIn(const std::string& path, const std::vector<std::string>& folders)
{
    const fs::path resolved = Resolved(path);
    for (const std::string& folder : folders) {
        if (LiesIn(Resolved(folder), resolved))
            return std::string();
    }
    std::string reason = MessageText::Excerpt(path, 1000) + " is not in the current project";
    if (resolved.empty())
        return reason + ": its links go round in a loop or cannot be read";
    // Named inside but leading elsewhere: a link took it out.
    for (const std::string& folder : folders) {
        if (LiesIn(Written(folder), Written(path)))
            return reason + ": a link leads it to " + Quoted(resolved.string());
    }
    return reason;
}

std::string CZelmStandardLibraries::WhyLibraryIsNotInPlace(const std::string& path) const
{
    return WhyNotIn(path, {ProjectFolder(), GetStandardLibrariesFolder()});
}

std::string CZelmStandardLibraries::WhyLibraryIsNotTheProjects(const std::string& path) const
{
    const std::string standard = GetStandardLibrariesFolder();
    if (WhyNotIn(path, {standard}).empty())
        return MessageText::Excerpt(path, 1000) +
               " is not in the current project: it is a standard library of the installation";
    return WhyNotIn(path, {ProjectFolder()});
}

void CZelmStandardLibraries::RequireLibraryInPlace(const std::string& path) const
{
    const std::string reason = WhyLibraryIsNotInPlace(path);
    if (!reason.empty())
        throw KelvResult(E_ACCESSDENIED, reason);
}

std::string CZelmStandardLibraries::GetElementDataFileName() const
{
    const std::string folder = GetStandardLibrariesFolder();
    return PathUtilities::Join(folder, StateText("ZelmElementDataFile"));
}
