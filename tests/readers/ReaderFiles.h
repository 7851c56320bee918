// Small helpers of the reader suites: files written into a test's own folder.
#pragma once

#include "common/TempFolder.h"

#include <string>

namespace QzTest {

// A folder with files written from texts; paths by name.
class ReaderFolder {
public:
    explicit ReaderFolder(const std::string& label = "readers") : m_folder(label) {}
    // Writes the text byte for byte and answers the file's path.
    std::string Write(const std::string& name, const std::string& text) const
    {
        const std::string path = m_folder.File(name);
        WriteFile(path, text);
        return path;
    }
    std::string Path(const std::string& name) const { return m_folder.File(name); }

private:
    TempFolder m_folder;
};

// The text with every "\n" turned into "\r\n".
inline std::string WithCrLf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

}  // namespace QzTest
