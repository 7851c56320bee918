// A fresh folder of one test's own under the system temporary folder,
// removed with everything in it when the object goes. Tests run in parallel
// processes and may hold several folders at once, so every folder gets a
// name of its own from the system; the label only helps to tell them apart.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace QzTest {

// The whole file, byte for byte ("" when it cannot be read).
inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes the text byte for byte, replacing the file.
inline void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class TempFolder {
public:
    explicit TempFolder(std::string label = "test")
    {
        std::replace(label.begin(), label.end(), '/', '_');
        std::string pattern = (std::filesystem::temp_directory_path() / ("qz-" + label + "-XXXXXX")).string();
        // Never fall back to a shared folder: removing it afterwards would
        // take other people's files with it.
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, without a trailing separator.
    const std::string& Path() const { return m_path; }
    // The folder with a trailing separator.
    std::string Slash() const { return m_path + "/"; }
    // The path of an entry of the folder (nothing is made).
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Writes a file (making the folders on its way) and returns its path.
    std::string Write(const std::string& name, const std::string& contents = "") const
    {
        const std::string path = File(name);
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
        WriteFile(path, contents);
        return path;
    }

    // The names of the folder's entries, sorted.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(m_path, ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string m_path;
};

} // namespace QzTest
