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

std::string ShownName(const std::string& name)
{
    return ShownText(name, MessageText::ExcerptLength);
}

std::string ShellQuoted(const std::string& word)
{
    return MessageText::ShellQuoted(word);
}

}  // namespace ZelmHost
