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
// target is missing is followed all the same. Empty, with the reason in
// `why`, when the links go round in a loop, a name is too long or a part
// cannot be read.
fs::path Resolved(const std::string& text, std::error_code& why)
{
    std::string native = PathUtilities::ToNative(text);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    std::error_code& error = why;
    error.clear();
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
    error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return fs::path();
}

fs::path Resolved(const std::string& text)
{
    std::error_code why;
    return Resolved(text, why);
}

// Why a path could not be resolved, as the end of a refusal.
std::string Unresolved(const std::error_code& why)
{
    if (why == std::errc::filename_too_long)
        return "its name is too long";
    if (why == std::errc::too_many_symbolic_link_levels)
        return "its links go round in a loop";
    return "it cannot be read (" + why.message() + ")";
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
    const auto asFolder = [](std::string folder) {
        if (folder.empty() || !PathUtilities::IsSeparator(folder.back()))
            folder += PathUtilities::Separator();
        return folder;
    };
    const auto inCore = [&](const std::string& relative) { return asFolder(PathUtilities::Join(core, relative)); };

    const std::string stored = StateText("ZelmLibraryFolder");
    const std::string installed = inCore(DefaultRelativeFolder());
    if (stored.empty())
        return installed;
    const fs::path own = Resolved(installed);
    const std::string folder = inCore(stored);
    const fs::path resolved = Resolved(folder);
    if (!resolved.empty() && resolved == own)
        return folder;
    // The installation's folder may also be written out whole.
    const bool absolute = PathUtilities::IsSeparator(stored.front());
    if (absolute) {
        const fs::path whole = Resolved(stored);
        if (!whole.empty() && whole == own)
            return asFolder(stored);
    }
    throw KelvResult(E_ACCESSDENIED, MessageText::Excerpt(absolute ? asFolder(stored) : folder, 1000) +
                                         " is not in the current project: the project's "
                                         "ZelmLogic.ZelmLibraryFolder " + Quoted(stored) +
                                         " moves the standard library folder away from the installation's " +
                                         Quoted(installed) + ", the only one taken; clear the value with: "
                                         "zelm-host state --project " + MessageText::ShellQuoted(ProjectFolder()) +
                                         " ZelmLogic ZelmLibraryFolder \"\"");
}

std::string CZelmStandardLibraries::WhyNotIn(const std::string& path, const std::vector<std::string>& folders)
{
    std::error_code why;
    const fs::path resolved = Resolved(path, why);
    for (const std::string& folder : folders) {
        if (LiesIn(Resolved(folder), resolved))
            return std::string();
    }
    std::string reason = MessageText::Excerpt(path, 1000) + " is not in the current project";
    if (resolved.empty())
        return reason + ": " + Unresolved(why);
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
