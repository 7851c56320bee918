#pragma once
// A fresh folder under the system temporary folder for one test, removed
// again when the test ends. Tests run in parallel processes, so the name
// carries the process id and the test's name.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class TempFolder {
public:
    TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = std::string("qorqm-") + info->test_suite_name() + "-" +
                                 info->name() + "-" + std::to_string(::getpid());
        m_path = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder as a string, without a trailing separator.
    std::string Path() const { return m_path.string(); }

    // Writes a file inside the folder and returns its full path.
    std::string Write(const std::string& name, const std::string& contents = "") const {
        const std::filesystem::path file = m_path / name;
        std::ofstream out(file, std::ios::binary);
        out << contents;
        return file.string();
    }

private:
    std::filesystem::path m_path;
};
