#include "qorqm/DiskUtilities.h"

#include "qorqm/PathUtilities.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace DiskUtilities {

namespace {

char AsciiLower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool FileExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::error_code ec;
    const fs::file_status status = fs::status(PathUtilities::ToNative(path), ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    // Greedy match with one backtrack point (the last "*" seen): linear in
    // practice and never exponential, whatever the number of "*".
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::string::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::string::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool AddItemsFromFolder(const std::string& folder, const std::string& pattern,
                        std::vector<std::string>& items) {
    const std::string nativeFolder = PathUtilities::ToNative(folder);
    const fs::path listed = nativeFolder.empty() ? fs::path(".") : fs::path(nativeFolder);

    std::error_code ec;
    fs::directory_iterator it(listed, ec);
    bool complete = !ec;
    std::vector<std::string> names;
    const fs::directory_iterator end;
    while (!ec && it != end) {
        std::error_code statusError;
        if (it->is_regular_file(statusError) && !statusError) {
            std::string name = it->path().filename().string();
            if (MatchesPattern(name, pattern)) {
                names.push_back(std::move(name));
            }
        }
        it.increment(ec);
        if (ec) {
            complete = false;
        }
    }

    std::sort(names.begin(), names.end());
    items.reserve(items.size() + names.size());
    for (const std::string& name : names) {
        items.push_back(PathUtilities::Join(nativeFolder, name));
    }
    return complete;
}

}  // namespace DiskUtilities
