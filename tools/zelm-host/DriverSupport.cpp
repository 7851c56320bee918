#include "DriverSupport.h"

#include "com/regularfile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelv/kelv.h"
#include "qorqm/MessageText.h"

namespace ZelmHost {

void Fail(const std::string& message)
{
    throw std::runtime_error(message);
}

std::string NotAnInputFile(const std::string& path)
{
    // Opened as every file read is, without blocking, and closed again.
    std::string why;
    const int fd = RegularFile::Open(path, why);
    if (fd >= 0) {
        ::close(fd);
    }
    return why;
}

void RequireInputFile(const std::string& path, const std::string& what)
{
    const std::string why = NotAnInputFile(path);
    if (!why.empty()) {
        Fail(what + " \"" + path + "\" " + why);
    }
}

std::string Absolute(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

long TaskCode(const std::string& task)
{
    static const char* const names[] = {"energy", "geomopt", "dynamics", "fit", "surface"};
    std::string lower = task;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (long code = 1; code <= 5; ++code) {
        if (lower == names[code - 1] || lower == std::to_string(code)) {
            return code;
        }
    }
    Fail("unknown task \"" + task + "\" (tasks: Energy, GeomOpt, Dynamics, Fit, Surface)");
}

std::string ErrorText(HRESULT hr)
{
    IErrorInfo* info = nullptr;
    std::string text;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        BSTR description = nullptr;
        if (SUCCEEDED(info->GetDescription(&description))) {
            text = NarrowFromBSTR(description);
        }
        SysFreeString(description);
        info->Release();
    }
    return text.empty() ? HResultDescription(hr) : text;
}

void Require(HRESULT hr)
{
    if (FAILED(hr)) {
        throw KelvResult(hr, ErrorText(hr));
    }
}

std::string Take(BSTR text)
{
    const std::string narrow = NarrowFromBSTR(text);
    SysFreeString(text);
    return narrow;
}

std::string ShownText(const std::string& text, std::size_t longest)
{
    // One printable rule for everything the driver prints: the message
    // text's (printable text within the bound stands as it is).
    return MessageText::Excerpt(text, longest);
}

MadeFolders::MadeFolders(const std::string& folder, const std::string& project)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::absolute(folder, error).lexically_normal();
    std::vector<fs::path> levels; // the target first, then up
    for (fs::path level = target.has_filename() ? target : target.parent_path();
         !level.empty() && !fs::exists(fs::symlink_status(level, error)); level = level.parent_path()) {
        levels.push_back(level);
        if (level == level.parent_path()) {
            break;
        }
    }
    const RegularFile::Folder held(project);
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
        std::string inner;
        if (held.IsOpen() && held.Holds(level->string(), inner)) {
            const std::string::size_type slash = inner.find_last_of('/');
            const int parent = held.OpenIn(slash == std::string::npos ? std::string() : inner.substr(0, slash),
                                           O_PATH | O_DIRECTORY);
            const bool madeHere =
                parent >= 0 &&
                ::mkdirat(parent, (slash == std::string::npos ? inner : inner.substr(slash + 1)).c_str(), 0777) == 0;
            const int error = errno;
            if (parent >= 0)
                ::close(parent);
            if (madeHere) {
                m_made.insert(m_made.begin(), level->string());
                continue;
            }
            if (parent < 0 || error != EEXIST)
                break;
            continue;
        }
        if (::mkdir(level->c_str(), 0777) == 0) {
            m_made.insert(m_made.begin(), level->string());
        } else if (errno != EEXIST) {
            break;
        }
    }
}

MadeFolders::~MadeFolders()
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (auto folder = m_claimed.rbegin(); folder != m_claimed.rend(); ++folder) {
        fs::remove_all(*folder, error);
    }
    for (const std::string& folder : m_made) {
        if (!fs::remove(folder, error)) {
            break;
        }
    }
}

void MadeFolders::Claimed(const std::vector<std::string>& folders)
{
    m_claimed.insert(m_claimed.end(), folders.begin(), folders.end());
}

void MadeFolders::Keep()
{
    m_made.clear();
    m_claimed.clear();
}

std::string ShownName(const std::string& name)
{
    return ShownText(name, MessageText::ExcerptLength);
}

std::string ShellQuoted(const std::string& word)
{
    return MessageText::ShellQuoted(word);
}

}  // namespace ZelmHost
