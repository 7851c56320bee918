#pragma once
// Claiming a new folder or file of one's own under a name of a numbered
// series: path itself, then "<base>_2", "<base>_3", ... Path itself is taken
// when nothing stands there; else the folder is read once, and the claim
// takes the number above the highest of the series that stands there, so a
// claim costs the same after ten thousand earlier ones as after none (one
// read of the folder, one make), and each new numbered name sorts after
// those before it. A name is never
// looked at first and made afterwards: each one is made with a call that
// fails when the name is there already (mkdir for a folder, an open with
// O_CREAT|O_EXCL for a file, a rename that does not replace for something
// made whole elsewhere), and "is there already" moves on to the next number,
// so two processes or threads that claim in the same series at once each
// get a name of their own, and a name that was there (a folder, a file, a
// link, even one whose target is missing) is never taken over.
// Paths may use "/" or "\\" (PathUtilities::ToNative).

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace DiskUtilities {

enum class ClaimKind {
    Folder, // the number goes at the very end: "name_2"
    File    // the number goes before the extension: "name_2.ext"
};

struct ClaimedName {
    std::string path;    // the folder or file made; empty when none was
    unsigned number = 0; // 1 for path itself, n for "_n"; 0 when none was made
    int error = 0;       // errno of the attempt that ended the search, when none was made
    unsigned highest = 0; // the series' highest number, when no number was left above it

    explicit operator bool() const { return !path.empty(); }
};

// The name of number n of the series of path (n <= 1: path itself).
std::string NumberedName(const std::string& path, unsigned n, ClaimKind kind);

// The highest number a claim gives ("_4294967295").
inline constexpr unsigned ClaimLast = std::numeric_limits<unsigned>::max();

// Names for which it answers true are taken in another way (a document of
// this process not yet saved): a claim passes them over without a try.
using ClaimSkip = std::function<bool(const std::string&)>;

// The highest number of path's series that stands in its folder (1 for path
// itself), 0 when none does, from one read of the folder; the stale
// temporary files of writers that are gone are removed in the same read.
// -1 with errno set when the folder cannot be read.
long long HighestTaken(const std::string& path, ClaimKind kind);
// The same read, removing nothing.
long long HighestStanding(const std::string& path, ClaimKind kind);

// Makes a new empty folder or file (mode 0666 less the umask) under path
// itself when it is free, else under the first number of path's series above
// the highest taken; names `skip` answers true for are passed over. Only "is there already" moves on to the next number: any other
// failure (the folder above is missing, no permission, a full disk) ends the
// claim at once with its errno. Numbers above `last` are never given: a
// series that reaches it fails with EEXIST. Never throws on a failure of the
// file system.
ClaimedName ClaimNewName(const std::string& path, ClaimKind kind, const ClaimSkip& skip = {},
                         unsigned last = ClaimLast);

// Gives `made`, a whole file or folder in path's folder, a name of path's
// series as ClaimNewName picks it, by a rename that never replaces what
// stands there (renameat2 with RENAME_NOREPLACE; where the file system has
// no such rename, a link then an unlink for a file and, for a folder, an
// empty folder claimed and then replaced). Nothing is ever under the final
// name but the whole of `made`. When no name is given, `made` stays where
// it was.
ClaimedName ClaimNameFor(const std::string& made, const std::string& path, ClaimKind kind,
                         const ClaimSkip& skip = {}, unsigned last = ClaimLast);

// Writes a new file whole and then claims a name for it: write(temporary)
// fills a temporary file beside path (named as the whole-file writer names
// its own, so that one left by a killed process is swept away), which then
// takes its name by ClaimNameFor. A kill leaves either nothing or the whole
// file under the final name. The temporary file is removed when write
// throws (the exception goes on; a KelvResult's message names path where it
// named the temporary file) or no name is given.
ClaimedName ClaimNewFile(const std::string& path, const std::function<void(const std::string& temporary)>& write,
                         const ClaimSkip& skip = {}, unsigned last = ClaimLast);

// Whether ClaimNewFile could make a file of path's series, asked without
// making or removing anything: its folder taken as the claim takes it (the
// folder of a file of a held project opened beneath the project, never
// through a link leading out of it; any other by its path), there, a folder,
// and open to new files for this process (write and search permission by its
// effective ids; a read-only file system or an immutable folder allows
// none). The claimed name on success (path itself, number 0: nothing is
// claimed); else none, with the errno the claim would end with (EXDEV,
// ENOENT, ENOTDIR, EACCES, EPERM, EROFS), for ClaimFailure.
ClaimedName AskNewFile(const std::string& path);

// Makes a new empty temporary file of file's, beside it, named as the
// whole-file writer names its own (TemporaryNameOf), claimed as any new
// file is (ClaimNewName): its path, or empty with errno set when none can be
// made.
std::string MakeTemporaryFile(const std::string& file);

// Renames from to to unless something (anything, a dangling link too)
// stands at to: 0 when done, else the errno (EEXIST when taken).
int RenameNoReplace(const std::string& from, const std::string& to);
// The same without renameat2, where the file system has no rename that
// keeps what is there: a file gets a second name (link, which fails when
// taken) and loses the first; a folder claims an empty folder of the name
// (mkdir) and then replaces that one. RenameNoReplace falls back to it.
int RenameNoReplaceByLink(const std::string& from, const std::string& to);

// Why a claim made nothing, in words fit to follow "cannot be made: ".
std::string ClaimFailure(const ClaimedName& claim);

// What a call made on disk, undone when the guard goes (its destructor runs
// without Keep, as when the call throws): the names claimed for it (a
// folder or a file; all that is in a claimed folder is the call's own, so it
// goes whole) and the folders it made on the way to one. A folder that was
// there stays, and so does one that another process made in the same
// moment: each level is made on its own and counts as made only when this
// call made it, and it goes only while empty. Never throws.
class MadeOnDisk {
public:
    MadeOnDisk() = default;
    // A name claimed for the call (empty: none).
    explicit MadeOnDisk(std::string claimed);
    ~MadeOnDisk();
    MadeOnDisk(const MadeOnDisk&) = delete;
    MadeOnDisk& operator=(const MadeOnDisk&) = delete;

    // Makes folder and the folders above it that are missing; false when
    // folder is not there afterwards. With a project, those of the project
    // are made beneath it, each in its parent as opened beneath the project:
    // none is made through a link leading outside it.
    bool MakeFolders(const std::string& folder, const std::string& project = std::string());
    void Claimed(const std::string& path);
    void Claimed(const std::vector<std::string>& paths);
    // The first name claimed ("" when none).
    const std::string& Path() const;
    // The call succeeded: everything it made stays.
    void Keep();

private:
    std::vector<std::string> m_made;    // made on the way, deepest first; removed when empty
    std::vector<std::string> m_claimed; // removed with what is in them, the last first
};

} // namespace DiskUtilities
