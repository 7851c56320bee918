#pragma once
// Claiming a new folder or file of one's own under the first free name of a
// numbered series: path itself, then "<base>_2", "<base>_3", ... A name is
// never looked at first and made afterwards: each one is made with a call
// that fails when the name is there already (mkdir for a folder, an open
// with O_CREAT|O_EXCL for a file), so two processes or threads that claim
// in the same series at once each get a name of their own, and a name that
// was there (a folder, a file, a link, even one whose target is missing) is
// never taken over. Paths may use "/" or "\\" (PathUtilities::ToNative).

#include <functional>
#include <string>

namespace DiskUtilities {

enum class ClaimKind {
    Folder, // an empty folder; the number goes at the very end: "name_2"
    File    // an empty file; the number goes before the extension: "name_2.ext"
};

struct ClaimedName {
    std::string path;    // the folder or file made; empty when none was
    unsigned number = 0; // 1 for path itself, n for "_n"; 0 when none was made
    int error = 0;       // errno of the attempt that ended the search, when none was made

    explicit operator bool() const { return !path.empty(); }
};

// The name of number n of the series of path (n <= 1: path itself).
std::string NumberedName(const std::string& path, unsigned n, ClaimKind kind);

// How many names of a series a claim tries before it gives up (EEXIST).
inline constexpr unsigned ClaimTries = 10000;

// Makes the first name of path's series that does not exist yet, trying the
// numbers 1, 2, ... up to `tries`; names for which `skip` answers true
// (taken in another way, such as a document of this process not yet saved)
// are passed over without a try. A new file is empty, with the mode 0666
// less the umask. Only "is there already" moves on to the next number: any
// other failure (the folder above is missing, no permission, a full disk)
// ends the claim at once with its errno. Never throws on a failure of the
// file system.
ClaimedName ClaimNewName(const std::string& path, ClaimKind kind,
                         const std::function<bool(const std::string&)>& skip = {}, unsigned tries = ClaimTries);

// Why a claim made nothing, in words fit to follow "cannot be made: ".
std::string ClaimFailure(const ClaimedName& claim);

} // namespace DiskUtilities
