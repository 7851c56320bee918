#pragma once
// Text operations on file paths. Every function accepts both "/" and "\\" as
// folder separators (paths written the Windows way and native paths work
// alike) and leaves the separators of its input as they are; only ToNative
// and Join rewrite or add separators. None of them touches the file system.
//
// The extension of a path is the part of its file name (the text after the
// last separator) from the last "." on, the dot included: "a/b.tar.gz" has
// the extension ".gz", "a.b/c" has none, ".gin" has ".gin". A name made of
// dots only ("." or "..") has no extension.

#include <string>

namespace PathUtilities {

// The separator the module puts between a folder and a name: "/".
const std::string& Separator();

// True for "/" and "\\".
bool IsSeparator(char c) noexcept;

// The path with every "\\" turned into "/", ready for the file system.
std::string ToNative(const std::string& path);

// The text after the last separator ("" when the path ends in one).
std::string FileNameFromPath(const std::string& path);

// The text up to and including the last separator ("" when there is none),
// so that a file name can be appended to it directly.
std::string FolderNameFromPath(const std::string& path);

// Both of the above at once: folder (with its trailing separator) and file
// name. The outputs may alias the input.
void FolderAndFileNameFromPath(const std::string& path, std::string& folder, std::string& name);

// ".ext" of the file name, or "" when it has none.
std::string ExtensionFromPath(const std::string& path);

// The path without the extension of its file name.
std::string ExtensionRemoved(const std::string& path);

// The path with the extension of its file name replaced by extension (added
// when there is none). A missing leading "." is supplied; an empty extension
// removes the old one.
std::string ExtensionReplaced(const std::string& path, const std::string& extension);

// True when the file name ends in extension, compared without regard to the
// case of ASCII letters; a missing leading "." is supplied, so "arc" and
// ".arc" ask the same. An empty extension matches a file name without one.
bool MatchesExtension(const std::string& path, const std::string& extension);

// folder and name with exactly one separator between them: a separator that
// ends the folder is kept, otherwise Separator() is inserted; separators at
// the start of name are dropped. An empty folder gives name unchanged, an
// empty name gives folder unchanged.
std::string Join(const std::string& folder, const std::string& name);

}  // namespace PathUtilities
