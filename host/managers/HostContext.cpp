#include "host/managers/HostContext.h"

#include "qorqm/PathUtilities.h"

#include <filesystem>

namespace QzHost {
namespace HostPaths {

namespace fs = std::filesystem;

std::string Normal(const std::string& path)
{
    if (path.empty())
        return std::string();
    fs::path native(PathUtilities::ToNative(path));
    std::error_code error;
    if (native.is_relative()) {
        const fs::path absolute = fs::absolute(native, error);
        if (!error)
            native = absolute;
    }
    std::string text = native.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool IsInside(const std::string& folder, const std::string& path)
{
    const std::string base = Normal(folder);
    const std::string candidate = Normal(path);
    if (base.empty() || candidate.empty())
        return false;
    if (candidate == base)
        return true;
    const std::string prefix = base == "/" ? base : base + "/";
    return candidate.compare(0, prefix.size(), prefix) == 0;
}

std::string FirstFree(const std::string& path, const std::function<bool(const std::string&)>& taken,
                      bool splitExtension)
{
    if (!taken(path))
        return path;
    std::string folder;
    std::string name;
    PathUtilities::FolderAndFileNameFromPath(path, folder, name);
    const std::string extension = splitExtension ? PathUtilities::ExtensionFromPath(name) : std::string();
    const std::string base = name.substr(0, name.size() - extension.size());
    for (unsigned n = 2;; ++n) {
        const std::string candidate = folder + base + "_" + std::to_string(n) + extension;
        if (!taken(candidate))
            return candidate;
    }
}

} // namespace HostPaths
} // namespace QzHost
