// The one way every file is opened to be read.
//
// A file to read is a regular file. A folder, a FIFO, a device or a socket
// found where a file is expected is refused at once, naming what it is:
// reading a FIFO waits for a writer that may never come and reading a
// device such as /dev/zero never ends. The file is opened without blocking
// (O_NONBLOCK, so that opening a FIFO or a device cannot wait either), the
// opened descriptor itself is looked at (no race between a look at the path
// and the open), and only a regular file is read, in blocking mode again.
#pragma once

#include <ext/stdio_filebuf.h>

#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

namespace RegularFile {

// The largest file of each kind that is read: far above any real file of
// that kind, so that only a file that is no such file (a sparse file of
// zeros, a disk image put in its place) is refused, by its size as the
// opened descriptor gives it, before a byte of it is read.
// - Library: a forcefield library is text of tens of kilobytes (the largest
//   real ones a few megabytes); its reader keeps every line.
// - Deck: an input deck holds a line per atom, about 80 bytes: millions of
//   atoms stay far below this.
// - Document: a structure, chart or trajectory document, a CIF or XYZ file:
//   a few hundred bytes per atom, for models of millions of atoms.
// - Settings: the project's state, the engine settings, the class registry,
//   the library note and other small texts of JSON or lines: kilobytes.
// - Trajectory: the frames file of a trajectory document, read whole: a
//   thousand frames of a hundred thousand atoms take about 2.4 GB.
// - Dump: the dump of a fitting run, read whole to make a library: its
//   potentials, species and structures, kilobytes to a few megabytes.
// Files that are streamed and never held whole (engine outputs, archives)
// have no bound.
namespace Bound {
inline constexpr std::uint64_t None = UINT64_MAX;
inline constexpr std::uint64_t Library = std::uint64_t{256} << 20;
inline constexpr std::uint64_t Deck = std::uint64_t{1} << 30;
inline constexpr std::uint64_t Document = std::uint64_t{2} << 30;
inline constexpr std::uint64_t Settings = std::uint64_t{64} << 20;
inline constexpr std::uint64_t Trajectory = std::uint64_t{8} << 30;
inline constexpr std::uint64_t Dump = std::uint64_t{256} << 20;
}  // namespace Bound

// Files a command picks itself belong to a folder: the project's files to
// the project, a run's files to the folder of the output or archive the user
// named. Such a file is opened relative to a descriptor of its folder, the
// way to it confined beneath that folder: a symbolic link is followed only
// while it stays beneath (a link out, an absolute link to elsewhere or a
// ".." above the folder is refused), and nothing between a look at a path
// and the open can move the file elsewhere. The kernel confines the way
// (openat2 with RESOLVE_BENEATH and RESOLVE_NO_MAGICLINKS); where it cannot
// (ENOSYS), or while QZ_NO_OPENAT2 is set to anything but "" or "0", a walk
// of the components does the same: each opened with O_NOFOLLOW, each link
// read and followed by the walk itself while it stays beneath.
bool WalkForced() noexcept;

// Opens `relative` ("/"-separated; "", "." and ".." allowed while the way
// stays beneath) beneath the folder descriptor `folder` with the open flags
// and mode given (O_CLOEXEC is always added). `real` is the folder's own
// path with its links followed: an absolute link into it is followed as a
// relative one would be (without it, any absolute link is refused). -1 with
// errno: EXDEV when the way leaves the folder, ELOOP for too many links or
// a last link not to follow (O_NOFOLLOW), else the system's reason.
int OpenBeneath(int folder, const std::string& relative, int flags, unsigned mode = 0,
                const std::string& real = std::string()) noexcept;

// Why `path`, named in `folder` or reaching it through a link, leads outside
// it, naming the link and its target: "it is a symbolic link to \"T\",
// outside the project \"P\"", "it lies in \"F\", a symbolic link to \"T\",
// outside ...", "it leads to \"T\", outside ..." (`what` names the folder:
// "the project", "the folder"). Empty when it stays in (or is no file of the
// folder). Both paths native. A description only: what is opened is judged
// on descriptors (OpenBeneath).
std::string WhyLeaving(const std::string& path, const std::string& folder, const char* what = "the project");

// A folder opened by its path (the user's choice of place: a link to the
// folder is followed), whose files are opened beneath it.
class Folder {
public:
    Folder() noexcept = default;
    explicit Folder(const std::string& path, const char* what = "the project");
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool IsOpen() const noexcept { return m_fd >= 0; }
    int Fd() const noexcept { return m_fd; }
    // The folder as named, absolute and lexically normal.
    const std::string& Path() const noexcept { return m_path; }
    // The folder with its links followed.
    const std::string& Real() const noexcept { return m_real; }
    const char* What() const noexcept { return m_what; }

    // Whether path is a file of this folder: named inside it, or reaching it
    // through a link on its way (a second link to the folder spells the same
    // files); the way from the folder in `relative`.
    bool Holds(const std::string& path, std::string& relative) const;
    // OpenBeneath of this folder.
    int OpenIn(const std::string& relative, int flags, unsigned mode = 0) const noexcept
    {
        return OpenBeneath(m_fd, relative, flags, mode, m_real);
    }
    // Makes the folders of `relative` that are not there yet (mode 0777
    // less the umask), each made in the one before as it was opened beneath
    // this folder: a descriptor (O_PATH) of the last, which the caller
    // closes; -1 with errno (EXDEV when a link on the way leads out; then
    // nothing is made past it).
    int MakeFolders(const std::string& relative) const noexcept;
    // Why path leads outside this folder (WhyLeaving).
    std::string Leaving(const std::string& path) const { return WhyLeaving(path, m_path, m_what); }

private:
    int m_fd = -1;
    std::string m_path;
    std::string m_real;
    const char* m_what = "the project";
};

// While a Hold lives, its folder's files are held beneath it: Open,
// ReadAll, ReadAtMost, InputFile and OpenToWrite open a path of the folder
// (the deepest held one that holds it) beneath it, and refuse one whose way
// leads outside it, naming the link and its target, and a symbolic link
// that leads nowhere ("is a symbolic link to \"T\", which does not exist"),
// never taken for a file that is not there. A file the user named
// (UsersOwn) is opened as named: the user's choice.
class Hold {
public:
    explicit Hold(const std::string& folder, const char* what = "the project");
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    bool IsOpen() const noexcept;

    struct Entry;

private:
    Entry* m_entry;
};

// The outermost held folder that holds path (the project, where one is
// held): "" when none does or path is the user's own. A save of a file a
// command picks is held to it.
std::string HolderOf(const std::string& path);

// Marks path (a file named on the command line) as the user's own, opened
// as named by every opener for the rest of the process.
void UsersOwn(const std::string& path);

// Open for a file of `folder` given explicitly (a copy's source held to its
// project): a path the folder holds is opened beneath it as under a Hold
// (the user's own files too); any other path as named.
int Open(const Folder& folder, const std::string& path, std::string& why,
         std::uint64_t largest = Bound::None) noexcept;

// Why the opened descriptor is no file to write in place or to hand on
// (an upload): "has N links (a hard link to it may lie outside its folder)"
// for more than one; "" for a file of a single link.
std::string WhyNotSingleLink(int fd);

// Why what stands at the path cannot be read as a file, as the end of a
// sentence naming it: NotThere ("does not exist"), "is a folder, not a
// file", "is a pipe (FIFO), not a regular file", "is a device, not a regular
// file", "is a socket, not a regular file", "cannot be opened (<system
// reason>)".
extern const char* const NotThere;

// What a file of this mode (st_mode) is, as Open names it ("is a pipe
// (FIFO), not a regular file", ...); "" for a regular file.
std::string WhatItIs(unsigned mode);

// Opens the file at path to read: a close-on-exec descriptor of a regular
// file in blocking mode, which the caller closes; -1 with the reason in why
// otherwise.
// A regular file larger than `largest` bytes is refused: "is too large
// (N bytes; at most M are read)".
int Open(const std::string& path, std::string& why, std::uint64_t largest = Bound::None) noexcept;

// Opens the file at path to write, without waiting: made when absent (mode
// 0666 less the umask), emptied first when `truncate`; a close-on-exec
// descriptor of a regular file in blocking mode, which the caller closes.
// What stands there and is not a regular file (a folder, a FIFO, a device, a
// socket) is refused as Open names it, and -1 comes back with the reason in
// why: writing a FIFO waits for a reader that may never come, and a device
// would take whatever is written. errno then holds the system's reason.
int OpenToWrite(const std::string& path, std::string& why, bool truncate = true) noexcept;

// The refusal of a path Open refused: "the file \"PATH\" WHY", the path
// quoted as a message quotes a file's text (MessageText::Excerpt).
std::string Refusal(const std::string& path, const std::string& why);

// A reader's own failure message for a file it could not open: the message
// as it is for a file that is not there; for any other reason the message
// (without its final full stop) followed by ": " and the refusal (": it "
// and the reason when the message names the path already), so that a
// folder, a FIFO or a device in place of the file is named as what it is.
std::string Failure(const std::string& message, const std::string& path, const std::string& why);

// Reads the whole regular file into text; false with the reason in why
// (as Open gives it, or "cannot be read (<system reason>)").
// A file larger than `largest` is refused unread (see Open).
bool ReadAll(const std::string& path, std::string& text, std::string& why, std::uint64_t largest = Bound::None);
// The same for at most `limit` bytes: `whole` tells whether that was all
// of the file.
bool ReadAtMost(const std::string& path, std::size_t limit, std::string& text, bool& whole, std::string& why);

// An input stream over a file Open opened (binary: bytes as they are).
class InputFile : public std::istream {
public:
    InputFile();
    explicit InputFile(const std::string& path, std::uint64_t largest = Bound::None);
    ~InputFile() override;

    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens the file (closing any file open before); false, with the stream
    // failed and the reason in Why(), when it is refused.
    bool Open(const std::string& path, std::uint64_t largest = Bound::None);
    bool IsOpen() const noexcept { return m_buffer != nullptr; }
    void Close();

    const std::string& Path() const noexcept { return m_path; }
    // The reason of the last refused Open ("" after one that opened).
    const std::string& Why() const noexcept { return m_why; }
    // Refusal(Path(), Why()).
    std::string Refused() const { return Refusal(m_path, m_why); }
    // RegularFile::Failure(message, Path(), Why()).
    std::string Failure(const std::string& message) const { return RegularFile::Failure(message, m_path, m_why); }

private:
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> m_buffer;
    std::string m_path;
    std::string m_why;
};

// An output stream over a file OpenToWrite opened (binary: bytes as they
// are). A failed write leaves its reason in errno, as a file stream does.
class OutputFile : public std::ostream {
public:
    OutputFile();
    explicit OutputFile(const std::string& path, bool truncate = true);
    ~OutputFile() override;

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the file (closing any file open before); false, with the stream
    // failed and the reason in Why(), when it is refused.
    bool Open(const std::string& path, bool truncate = true);
    bool IsOpen() const noexcept { return m_buffer != nullptr; }
    // Flushes and closes; false, with the stream failed and errno set, when
    // the last bytes could not be written. close() is the same, as a file
    // stream names it.
    bool Close();
    void close() { Close(); }

    const std::string& Path() const noexcept { return m_path; }
    const std::string& Why() const noexcept { return m_why; }
    std::string Refused() const { return Refusal(m_path, m_why); }
    std::string Failure(const std::string& message) const { return RegularFile::Failure(message, m_path, m_why); }

private:
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> m_buffer;
    std::string m_path;
    std::string m_why;
};

}  // namespace RegularFile
