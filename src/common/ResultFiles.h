// Names of the files around a job's results.
#pragma once

#include <string>

// ".qsd", the extension of the host's 3D structure document.
std::string StructureDocumentExtension();

// The file name of `path` without its folder and extension.
std::string SeedNameFromPath(const std::string& path);
