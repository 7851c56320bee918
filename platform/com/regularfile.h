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
