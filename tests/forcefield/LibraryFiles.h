// File helpers of the library tests: a temporary folder per test and whole
// file reads.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fftest {

class CTempFolder {
public:
    CTempFolder()
    {
        char pattern[] = "/tmp/qz-forcefield-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        m_path = made ? made : "";
    }
    ~CTempFolder()
    {
        for (const std::string& name : Entries())
            ::unlink((m_path + "/" + name).c_str());
        ::rmdir(m_path.c_str());
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        if (DIR* folder = ::opendir(m_path.c_str())) {
            while (const dirent* entry = ::readdir(folder)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            ::closedir(folder);
        }
        return names;
    }

private:
    std::string m_path;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream stream(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream stream(path.c_str(), std::ios::binary);
    stream << text;
}

inline std::string DataFile(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/forcefield/" + name;
}

}  // namespace fftest
