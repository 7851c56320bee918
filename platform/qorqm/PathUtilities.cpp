#include "qorqm/PathUtilities.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace PathUtilities {

namespace {

// Position just after the last separator: the start of the file name.
std::size_t FileNameStart(const std::string& path) {
    const std::size_t last = path.find_last_of("/\\");
    return last == std::string::npos ? 0 : last + 1;
}

// Position of the extension's dot within path, or npos when the file name
// has no extension.
std::size_t ExtensionStart(const std::string& path) {
    const std::size_t nameStart = FileNameStart(path);
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) {
        return std::string::npos;
    }
    const bool onlyDots = std::all_of(path.begin() + static_cast<std::ptrdiff_t>(nameStart),
                                      path.end(), [](char c) { return c == '.'; });
    return onlyDots ? std::string::npos : dot;
}

std::string WithLeadingDot(const std::string& extension) {
    if (extension.empty() || extension.front() == '.') {
        return extension;
    }
    return "." + extension;
}

char AsciiLower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

const std::string& Separator() {
    static const std::string separator = "/";
    return separator;
}

bool IsSeparator(char c) noexcept {
    return c == '/' || c == '\\';
}

std::string ToNative(const std::string& path) {
    std::string result = path;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

std::string FileNameFromPath(const std::string& path) {
    return path.substr(FileNameStart(path));
}

std::string FolderNameFromPath(const std::string& path) {
    return path.substr(0, FileNameStart(path));
}

void FolderAndFileNameFromPath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t split = FileNameStart(path);
    std::string folderPart = path.substr(0, split);
    std::string namePart = path.substr(split);
    folder = std::move(folderPart);
    name = std::move(namePart);
}

std::string ExtensionFromPath(const std::string& path) {
    const std::size_t dot = ExtensionStart(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ExtensionRemoved(const std::string& path) {
    const std::size_t dot = ExtensionStart(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string ExtensionReplaced(const std::string& path, const std::string& extension) {
    return ExtensionRemoved(path) + WithLeadingDot(extension);
}

bool MatchesExtension(const std::string& path, const std::string& extension) {
    const std::string wanted = WithLeadingDot(extension);
    if (wanted.empty()) {
        return ExtensionStart(path) == std::string::npos;
    }
    const std::size_t nameStart = FileNameStart(path);
    if (path.size() - nameStart < wanted.size()) {
        return false;
    }
    const std::size_t offset = path.size() - wanted.size();
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        if (AsciiLower(path[offset + k]) != AsciiLower(wanted[k])) {
            return false;
        }
    }
    return true;
}

std::string Join(const std::string& folder, const std::string& name) {
    std::size_t nameStart = 0;
    while (nameStart < name.size() && IsSeparator(name[nameStart])) {
        ++nameStart;
    }
    if (folder.empty()) {
        return name;
    }
    if (name.empty()) {
        return folder;
    }
    std::string result = folder;
    if (!IsSeparator(result.back())) {
        result += Separator();
    }
    result.append(name, nameStart, std::string::npos);
    return result;
}

}  // namespace PathUtilities
