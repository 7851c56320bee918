#pragma once
// File-system queries. Paths may use "/" or "\\"; they are turned into native
// paths (PathUtilities::ToNative) before the file system sees them.

#include <string>
#include <vector>

namespace DiskUtilities {

// True when path names an existing file (not a folder). Never throws; a path
// that cannot be examined counts as missing.
bool FileExists(const std::string& path);

// True when name matches pattern, where "*" stands for any run of characters
// (none included) and "?" for exactly one. ASCII letters match without regard
// to case, as the extension test of PathUtilities does.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// Appends to items the full path (PathUtilities::Join of the native folder
// and the name) of every file directly in folder whose name matches pattern,
// in ascending byte order of the names. Folders are not listed. An empty
// folder means the current folder and appends the bare names. Items already
// in the list stay. Returns false, after appending whatever it could list,
// when the folder is missing or cannot be read.
bool AddItemsFromFolder(const std::string& folder, const std::string& pattern,
                        std::vector<std::string>& items);

}  // namespace DiskUtilities
