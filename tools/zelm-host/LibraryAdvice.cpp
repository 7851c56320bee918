#include "LibraryAdvice.h"

#include "com/regularfile.h"

#include "DriverSupport.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "host/HostApplication.h"
#include "kelv/kelv.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmForcefieldLocator.h"
#include "qorvira/ZelmStandardLibraries.h"

namespace ZelmHost {
namespace {

namespace fs = std::filesystem;

std::string SelectedName(QzHost::HostApplication& host)
{
    const KelvComPtr<QzHost::HostState> state = host.State("ZelmLogic");
    return state ? state->ValueText("library") : std::string();
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Why a file cannot be read as a library, or "" when it can.
std::string Unreadable(const std::string& path)
{
    std::string why;
    const int fd = RegularFile::Open(path, why);
    if (fd >= 0) {
        ::close(fd);
        return std::string();
    }
    if (why == RegularFile::NotThere) {
        return "not there";
    }
    return why.compare(0, 3, "is ") == 0 ? why.substr(3) : why;
}

// Whether the selected name makes a file name longer than a folder takes
// (its ".lib" file can then be neither found nor made).
bool NameTooLong(const std::string& name)
{
    const std::string file = fs::path(name).filename().string();
    return file.size() + 4 > 255;
}

}  // namespace

std::vector<std::string> LibraryCandidates(QzHost::HostApplication& host)
{
    const std::string name = SelectedName(host);
    if (name.empty()) {
        return {};
    }
    if (name.find_first_of("/\\") != std::string::npos) {
        const KelvComPtr<QzHost::HostState> state = host.State("ZelmLogic");
        return {CZelmForcefieldLocator(static_cast<ISBState*>(state.get()), host.Root()).GetSelectedPath()};
    }
    std::string bare = name;
    if (bare.size() > 4 && Lower(bare.substr(bare.size() - 4)) == ".lib") {
        bare.erase(bare.size() - 4);
    }
    const std::string standard = CZelmStandardLibraries(host.Root()).GetStandardLibrariesFolder();
    return {PathUtilities::Join(standard, bare + ".lib"), PathUtilities::Join(host.DocumentsFolder(), bare + ".lib")};
}

void RefuseLibraryThatIsNoFile(QzHost::HostApplication& host)
{
    for (const std::string& path : LibraryCandidates(host)) {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) {
            RequireInputFile(path, "the library");
        }
    }
}

std::string LibraryAdvice(QzHost::HostApplication& host)
{
    const std::string project = host.DocumentsFolder();
    const std::string how = "select one with: zelm-host state --project " + ShellQuoted(project) +
                            " ZelmLogic library NAME\n"
                            "  (NAME: a .lib file in the project, named with or without \".lib\", or the path of a "
                            ".lib file; examples/*.lib are example libraries to copy into the project)";
    const std::vector<std::string> candidates = LibraryCandidates(host);
    if (candidates.empty()) {
        return "no forcefield library is selected; " + how;
    }
    if (NameTooLong(SelectedName(host))) {
        // No file can have that name: copying a library under it cannot work.
        return "the forcefield library's name \"" + MessageText::Excerpt(SelectedName(host)) +
               "\" is too long for a file name; select a library of a shorter name with: zelm-host state --project " +
               project + " ZelmLogic library NAME (NAME: a .lib file in the project, named with or without \".lib\")";
    }
    std::string looked;
    for (const std::string& path : candidates) {
        const std::string why = Unreadable(path);
        if (why.empty()) {
            return std::string();
        }
        looked += "\n  " + MessageText::Excerpt(path) + " (" + why + ")";
    }
    return "the forcefield library \"" + MessageText::Excerpt(SelectedName(host)) + "\" was looked for as:" + looked + "\n" + how;
}

std::string WithLibraryAdvice(QzHost::HostApplication& host, const std::string& message, const std::string& document)
{
    if (message.find("Preparations Options dialog") != std::string::npos) {
        // This host's options dialog is a command.
        return message + "\nhere: assign forcefield types with: zelm-host types " +
               (document.empty() ? std::string("DOC.qsd") : ShellQuoted(document)) +
               " (each atom takes its element's symbol; --type ELEMENT=TYPE gives another)";
    }
    if (message.find("ZELM library file") == std::string::npos &&
        message.find("Problem reading library file") == std::string::npos && !NameTooLong(SelectedName(host))) {
        return message;
    }
    std::string advice;
    try {
        advice = LibraryAdvice(host);
    } catch (...) {
        // The advice is a help only: the module's message stands alone.
    }
    return advice.empty() ? message : message + "\n" + advice;
}

}  // namespace ZelmHost
