#pragma once
// Points the class registry at a fresh file of this test's own for the
// length of a test, so that parallel tests never share one.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempRegistry {
public:
    TempRegistry()
    {
        char pattern[] = "/tmp/qz-registry-XXXXXX";
        const char* dir = mkdtemp(pattern);
        folder_ = dir != nullptr ? dir : "/tmp";
        file_ = folder_ + "/registry.json";
        const char* old = std::getenv("QZ_REGISTRY_FILE");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        setenv("QZ_REGISTRY_FILE", file_.c_str(), 1);
    }
    ~TempRegistry()
    {
        if (hadOld_) {
            setenv("QZ_REGISTRY_FILE", old_.c_str(), 1);
        } else {
            unsetenv("QZ_REGISTRY_FILE");
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::string& File() const { return file_; }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::string file_;
    std::string old_;
    bool hadOld_ = false;
};
