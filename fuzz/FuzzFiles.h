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
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

namespace QzFuzz {

// Inside a handler: whether the exception in flight is of the type given.
template <class T>
bool InFlight()
{
    try {
        throw;
    } catch (const T&) {
        return true;
    } catch (...) {
        return false;
    }
}

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
                // QZ_FUZZ_KEEP=1 keeps the files of the last input to look at.
                if (std::getenv("QZ_FUZZ_KEEP") != nullptr) {
                    std::fprintf(stderr, "files kept in %s\n", path.c_str());
                    return;
                }
                std::error_code ignored;
                std::filesystem::remove_all(path, ignored);
            }
        } cleanup{pattern};
        return pattern;
    }();
    return folder;
}

// Writes the parts of the input to "<folder>/<name>" in the order of the
// names (a missing part leaves no file).
inline void WriteFiles(const uint8_t* data, size_t size, const std::vector<std::string>& names)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (const std::string& name : names) {
        const std::string path = Folder() + "/" + name;
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
}

// Writes the parts of the input to "<folder>/run<extension>" in the order of
// the extensions (a missing part leaves no file) and answers "<folder>/run".
inline std::string WriteRun(const uint8_t* data, size_t size, std::initializer_list<const char*> extensions)
{
    std::vector<std::string> names;
    for (const char* extension : extensions)
        names.push_back(std::string("run") + extension);
    WriteFiles(data, size, names);
    return Folder() + "/run";
}

// The whole input as one file "<folder>/<name>"; answers its path.
inline std::string WriteWhole(const uint8_t* data, size_t size, const char* name)
{
    const std::string path = Folder() + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    return path;
}

// The bytes of a file ("" when it cannot be read).
inline std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fault the fuzzing engine reports as a crash: a contract of the code under
// test was broken (not an input that was refused).
[[noreturn]] inline void Finding(const char* what)
{
    // The files of the input stay in the folder (no clean-up on abort).
    std::fprintf(stderr, "FINDING: %s (files in %s)\n", what, Folder().c_str());
    std::abort();
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

// Runs a reader whose refusals are the exception types given (the reader's
// own error types); answers whether it read the input. Any other exception
// escapes and is reported.
template <class... Own, class F>
bool Accepts(F&& read)
{
    try {
        read();
        return true;
    } catch (...) {
        if ((InFlight<Own>() || ...))
            return false;
        throw;
    }
}

} // namespace QzFuzz
