// Shared part of the reader fuzz targets: an input of several files is cut
// at separator lines and written into a folder of the process's own, one
// file per extension; a reader's KelvResult is an expected answer, any other
// exception escapes and is reported by the fuzzing engine.
#pragma once

#include "kelv/kelv.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

namespace QzFuzz {

// The line that separates the files of one input.
inline const std::string Separator = "=====FILE=====\n";

// The folder of this process, removed at exit.
inline const std::string& Folder()
{
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "qz-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        static struct Cleanup {
            std::string path;
            ~Cleanup()
            {
                std::error_code ignored;
                std::filesystem::remove_all(path, ignored);
            }
        } cleanup{pattern};
        return pattern;
    }();
    return folder;
}

// Writes the parts of the input to "<folder>/run<extension>" in the order of
// the extensions (a missing part leaves no file) and answers "<folder>/run".
inline std::string WriteRun(const uint8_t* data, size_t size, std::initializer_list<const char*> extensions)
{
    const std::string base = Folder() + "/run";
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (const char* extension : extensions) {
        const std::string path = base + extension;
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        if (start == std::string::npos || start > input.size()) {
            start = std::string::npos;
            continue;
        }
        std::size_t end = input.find(Separator, start);
        std::ofstream(path, std::ios::binary)
            << input.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? std::string::npos : end + Separator.size();
    }
    return base;
}

// Runs a reader: a KelvResult is a refusal of the input, not a finding.
template <class F>
void Guard(F&& read)
{
    try {
        read();
    } catch (const KelvResult&) {
    }
}

} // namespace QzFuzz
