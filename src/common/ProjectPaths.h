// Project folder helpers of the deck writer and the logic object: the
// project documents folder, paths below it, hidden side files and free file
// names. Every host call that fails is thrown as KelvResult.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

#include <string>

// The expansion of "%PROJECT_DOCUMENTS_FOLDER%".
std::string ResolveProjectDocumentsPath(const KelvComPtr<ISBContainerRoot>& root);

// The project folder that the files the module picks itself must stay in
// (the writers' `project`, ReplaceFile.h); empty where the host has none.
std::string ProjectFolderForWrites(const KelvComPtr<ISBContainerRoot>& root) noexcept;

// The path below the project documents folder (from its leading separator
// on). A path outside the project: KelvResult E_UNEXPECTED
// "<path> is not in the current project".
std::string CheckPathInProject(const KelvComPtr<ISBContainerRoot>& root, const std::string& path);
// The same with the arguments in the deck writer's order.
std::string CheckPathInProject(const std::string& path, const KelvComPtr<ISBContainerRoot>& root);

// Hides the file (which must exist) from the project.
void SetFileHidden(const KelvComPtr<ISBContainerRoot>& root, const std::string& path);
// The same with the name the deck writer and the run settings use.
void MarkFileHidden(const KelvComPtr<ISBContainerRoot>& root, const std::string& path);

// A file path in `folder` that does not exist yet: folder + base + extension,
// else folder + base + "_n" + extension for n = 2, 3, ... A trailing "_<digits>"
// of the given name is dropped from the base first.
std::string MakeUniqueFilePath(const KelvComPtr<ISBContainerRoot>& root, const std::string& folder,
                               const std::string& fileName);
// The same search with the arguments in the edited-forcefield consumer's
// order; it answers the free file name alone, without the folder.
std::string MakeUniqueFilePath(const std::string& folder, const std::string& fileName,
                               const KelvComPtr<ISBContainerRoot>& root);
