#include "qorqm/ClaimName.h"

#include "qorqm/PathUtilities.h"
#include "qorqm/WrittenFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DiskUtilities {

namespace {

// One attempt: 0 when the name was made, else the errno.
int MakeOnce(const std::string& native, ClaimKind kind)
{
    if (kind == ClaimKind::Folder)
        return ::mkdir(native.c_str(), 0777) == 0 ? 0 : errno;
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

} // namespace

std::string NumberedName(const std::string& path, unsigned n, ClaimKind kind)
{
    if (n <= 1)
        return path;
    std::string folder;
    std::string name;
    PathUtilities::FolderAndFileNameFromPath(path, folder, name);
    const std::string extension = kind == ClaimKind::File ? PathUtilities::ExtensionFromPath(name) : std::string();
    return folder + name.substr(0, name.size() - extension.size()) + "_" + std::to_string(n) + extension;
}

ClaimedName ClaimNewName(const std::string& path, ClaimKind kind, const std::function<bool(const std::string&)>& skip,
                         unsigned tries)
{
    ClaimedName claim;
    claim.error = EEXIST;
    if (path.empty()) {
        claim.error = ENOENT;
        return claim;
    }
    for (unsigned n = 1; n <= tries; ++n) {
        const std::string candidate = NumberedName(path, n, kind);
        if (skip && skip(candidate))
            continue;
        const int error = MakeOnce(PathUtilities::ToNative(candidate), kind);
        if (error == 0) {
            if (kind == ClaimKind::File)
                WrittenFiles::Note(PathUtilities::ToNative(candidate), WrittenFiles::Change::Made);
            claim.path = candidate;
            claim.number = n;
            claim.error = 0;
            return claim;
        }
        claim.error = error;
        if (error != EEXIST)
            return claim;
    }
    return claim;
}

std::string ClaimFailure(const ClaimedName& claim)
{
    if (claim)
        return std::string();
    if (claim.error == EEXIST)
        return "the name and its numbered forms up to _" + std::to_string(ClaimTries) + " are all taken";
    return std::strerror(claim.error);
}

} // namespace DiskUtilities
