#include "host/managers/HostContext.h"

#include "qorqm/PathUtilities.h"

#include <algorithm>
#include <filesystem>

namespace QzHost {

std::vector<std::string> HostContext::MadeFolders()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> standing;
    for (const std::string& folder : madeFolders) {
        std::error_code error;
        if (std::filesystem::is_directory(folder, error))
            standing.push_back(folder);
    }
    return standing;
}

void HostContext::NoteFolderMade(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(mutex);
    madeFolders.push_back(HostPaths::Normal(folder));
}

void HostContext::NoteFolderMoved(const std::string& from, const std::string& to)
{
    const std::string source = HostPaths::Normal(from);
    const std::string target = HostPaths::Normal(to);
    std::lock_guard<std::mutex> lock(mutex);
    for (std::string& folder : madeFolders) {
        if (HostPaths::IsInside(source, folder))
            folder = target + folder.substr(source.size());
    }
}

void HostContext::NoteFolderGone(const std::string& folder)
{
    const std::string gone = HostPaths::Normal(folder);
    std::lock_guard<std::mutex> lock(mutex);
    madeFolders.erase(std::remove_if(madeFolders.begin(), madeFolders.end(),
                                     [&gone](const std::string& made) { return HostPaths::IsInside(gone, made); }),
                      madeFolders.end());
}

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

} // namespace HostPaths
} // namespace QzHost
