// A temporary folder of library files for one test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

class LibraryFiles
{
public:
    LibraryFiles()
    {
        char pattern[] = "/tmp/qz-libreader-XXXXXX";
        const char* dir = mkdtemp(pattern);
        m_folder = dir != nullptr ? dir : "/tmp";
    }
    ~LibraryFiles()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    LibraryFiles(const LibraryFiles&) = delete;
    LibraryFiles& operator=(const LibraryFiles&) = delete;

    // Writes the text byte for byte and returns the file's path.
    std::string Write(const std::string& name, const std::string& text) const
    {
        const std::string path = m_folder + "/" + name;
        std::ofstream out(path, std::ios::binary);
        out << text;
        return path;
    }

    std::string Read(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};
