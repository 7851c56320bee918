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
#include <exception>
#include <initializer_list>
#include <stdexcept>
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

// The most bytes a message about a file may take: its own words, the paths
// it names and a few short excerpts of the file.
inline constexpr std::size_t MostMessageBytes = 4096;

// Why a message may not reach a terminal as it is, or "" when it may: too
// long, a control character (C0 but line break and tab, DEL, C1) or a byte
// of no well-formed UTF-8 character.
inline std::string MessageFault(const std::string& message)
{
    if (message.size() > MostMessageBytes)
        return "a message of " + std::to_string(message.size()) + " bytes";
    for (std::size_t i = 0; i < message.size();) {
        const unsigned char c = static_cast<unsigned char>(message[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f)
                return "a control byte " + std::to_string(c) + " in a message";
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > message.size())
            return "malformed UTF-8 in a message";
        unsigned long code = c & (length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(message[i + k]);
            if ((next & 0xC0) != 0x80)
                return "malformed UTF-8 in a message";
            code = (code << 6) | (next & 0x3Fu);
        }
        const unsigned long least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return "malformed UTF-8 in a message";
        if (code <= 0x9F)
            return "a C1 control in a message";
        i += length;
    }
    return std::string();
}

// A message that quotes a file must be fit for a terminal.
inline void CheckMessage(const std::string& message)
{
    const std::string fault = MessageFault(message);
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", message.substr(0, 2000).c_str());
        Finding(fault.c_str());
    }
}

// Inside a handler: the message of the exception in flight.
inline std::string MessageInFlight()
{
    try {
        throw;
    } catch (const KelvResult& e) {
        return e.GetMessage();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return std::string();
    }
}

// As Accepts, and the message of a refusal must be fit for a terminal.
template <class... Own, class F>
bool AcceptsQuoting(F&& read)
{
    try {
        read();
        return true;
    } catch (...) {
        if (!(InFlight<Own>() || ...))
            throw;
        CheckMessage(MessageInFlight());
        return false;
    }
}

} // namespace QzFuzz
