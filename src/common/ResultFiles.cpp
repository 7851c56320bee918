#include "common/ResultFiles.h"

#include "qorqm/PathUtilities.h"

std::string StructureDocumentExtension()
{
    return ".qsd";
}

std::string SeedNameFromPath(const std::string& path)
{
    return PathUtilities::ExtensionRemoved(PathUtilities::FileNameFromPath(path));
}
