// What the host's managers share: the project's folders, the files the
// project hides, and the container root they belong to.
#pragma once

#include "hostapi/hostapi.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace QzHost {

struct HostContext {
    // Native absolute paths without a trailing separator.
    std::string documentsFolder; // the project documents folder ("%PROJECT_DOCUMENTS_FOLDER%")
    std::string serverFolder;    // where the job manager stages its jobs
    // The product data folder, with a trailing separator.
    std::string coreFolder;
    // The container root the managers belong to (not owned: the application
    // keeps it alive longer than the managers are used).
    ISBContainerRoot* root = nullptr;

    std::mutex mutex;
    std::set<std::string> hiddenFiles; // native paths
    // The document folders this host made (MakeDocumentFolder), in the order
    // made, under their present names: a rename carries the entry along, a
    // deletion drops it. Guarded by mutex.
    std::vector<std::string> madeFolders; // native paths

    // The folders made that still stand, in the order made.
    std::vector<std::string> MadeFolders();
    void NoteFolderMade(const std::string& folder);
    void NoteFolderMoved(const std::string& from, const std::string& to);
    void NoteFolderGone(const std::string& folder);
};

// Path rules shared by the managers.
namespace HostPaths {

// "\" and "/" both separate; the result is native ("/"), lexically normal,
// absolute (relative to the current folder) and without a trailing separator
// (except for the root itself). An empty path stays empty.
std::string Normal(const std::string& path);
// True when path is folder itself or lies inside it (both normalised).
bool IsInside(const std::string& folder, const std::string& path);

} // namespace HostPaths

} // namespace QzHost
