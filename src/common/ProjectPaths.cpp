#include "common/ProjectPaths.h"

#include "qorqm/PathUtilities.h"
#include "qorqm/MessageText.h"

#include <cctype>

namespace {

const std::string& ProjectVariable()
{
    static const std::string variable = "%PROJECT_DOCUMENTS_FOLDER%";
    return variable;
}

KelvComPtr<ISBFolderManager> FolderManager(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvComPtr<ISBFolderManager> folders;
    KelvResult::Check(root->get_FolderManager(folders.Receive()));
    KelvResult::Check(static_cast<bool>(folders));
    return folders;
}

KelvComPtr<ISBDiskManager> DiskManager(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvComPtr<ISBDiskManager> disk;
    KelvResult::Check(root->get_DiskManager(disk.Receive()));
    KelvResult::Check(static_cast<bool>(disk));
    return disk;
}

} // namespace

std::string ResolveProjectDocumentsPath(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvBSTR expanded;
    KelvResult::Check(FolderManager(root)->ExpandPath(KelvBSTR(ProjectVariable()).Get(), expanded.Receive()));
    return expanded.ToTString();
}

std::string ProjectFolderForWrites(const KelvComPtr<ISBContainerRoot>& root) noexcept
{
    try {
        if (!root)
            return std::string();
        const std::string folder = ResolveProjectDocumentsPath(root);
        return folder.find(ProjectVariable()) == std::string::npos ? folder : std::string();
    } catch (...) {
        return std::string();
    }
}

std::string CheckPathInProject(const KelvComPtr<ISBContainerRoot>& root, const std::string& path)
{
    KelvBSTR compacted;
    KelvResult::Check(FolderManager(root)->CompactPath(KelvBSTR(path).Get(), compacted.Receive()));
    const std::string text = compacted.ToTString();
    if (text.compare(0, ProjectVariable().size(), ProjectVariable()) != 0)
        throw KelvResult(E_UNEXPECTED, MessageText::Excerpt(path) + " is not in the current project");
    return text.substr(ProjectVariable().size());
}

std::string CheckPathInProject(const std::string& path, const KelvComPtr<ISBContainerRoot>& root)
{
    return CheckPathInProject(root, path);
}

void SetFileHidden(const KelvComPtr<ISBContainerRoot>& root, const std::string& path)
{
    KelvResult::Check(DiskManager(root)->put_Hidden(KelvBSTR(path).Get(), VARIANT_TRUE));
}

void MarkFileHidden(const KelvComPtr<ISBContainerRoot>& root, const std::string& path)
{
    SetFileHidden(root, path);
}

std::string MakeUniqueFilePath(const KelvComPtr<ISBContainerRoot>& root, const std::string& folder,
                               const std::string& fileName)
{
    const std::string extension = PathUtilities::ExtensionFromPath(fileName);
    std::string base = PathUtilities::ExtensionRemoved(fileName);
    const std::size_t underscore = base.rfind('_');
    if (underscore != std::string::npos && underscore + 1 < base.size()) {
        bool digits = true;
        for (std::size_t i = underscore + 1; i < base.size(); ++i)
            digits = digits && std::isdigit(static_cast<unsigned char>(base[i])) != 0;
        if (digits)
            base.erase(underscore);
    }
    std::string prefix = folder;
    if (prefix.empty() || !PathUtilities::IsSeparator(prefix.back()))
        prefix += PathUtilities::Separator();

    const KelvComPtr<ISBDiskManager> disk = DiskManager(root);
    const auto exists = [&disk](const std::string& candidate) {
        VARIANT_BOOL existing = 0;
        KelvResult::Check(disk->IsExisting(KelvBSTR(candidate).Get(), &existing));
        return existing == VARIANT_TRUE;
    };
    std::string candidate = prefix + base + extension;
    for (unsigned long n = 2; exists(candidate); ++n)
        candidate = prefix + base + "_" + std::to_string(n) + extension;
    return candidate;
}

std::string MakeUniqueFilePath(const std::string& folder, const std::string& fileName,
                               const KelvComPtr<ISBContainerRoot>& root)
{
    return PathUtilities::FileNameFromPath(MakeUniqueFilePath(root, folder, fileName));
}
