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

#include <istream>
#include <memory>
#include <string>

namespace RegularFile {

// Why what stands at the path cannot be read as a file, as the end of a
// sentence naming it: NotThere ("does not exist"), "is a folder, not a
// file", "is a pipe (FIFO), not a regular file", "is a device, not a regular
// file", "is a socket, not a regular file", "cannot be opened (<system
// reason>)".
extern const char* const NotThere;

// Opens the file at path to read: a close-on-exec descriptor of a regular
// file in blocking mode, which the caller closes; -1 with the reason in why
// otherwise.
int Open(const std::string& path, std::string& why) noexcept;

// The refusal of a path Open refused: "the file \"PATH\" WHY".
std::string Refusal(const std::string& path, const std::string& why);

// A reader's own failure message for a file it could not open: the message
// as it is for a file that is not there; for any other reason the message
// (without its final full stop) followed by ": " and the refusal (": it "
// and the reason when the message names the path already), so that a
// folder, a FIFO or a device in place of the file is named as what it is.
std::string Failure(const std::string& message, const std::string& path, const std::string& why);

// Reads the whole regular file into text; false with the reason in why
// (as Open gives it, or "cannot be read (<system reason>)").
bool ReadAll(const std::string& path, std::string& text, std::string& why);
// The same for at most `limit` bytes: `whole` tells whether that was all
// of the file.
bool ReadAtMost(const std::string& path, std::size_t limit, std::string& text, bool& whole, std::string& why);

// An input stream over a file Open opened (binary: bytes as they are).
class InputFile : public std::istream {
public:
    InputFile();
    explicit InputFile(const std::string& path);
    ~InputFile() override;

    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens the file (closing any file open before); false, with the stream
    // failed and the reason in Why(), when it is refused.
    bool Open(const std::string& path);
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

}  // namespace RegularFile
