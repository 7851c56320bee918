#include "qorff/ForcefieldEditor.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kelv/kelv.h"

namespace {

const ServerDescriptionPtr& Checked(const ServerDescriptionPtr& serverDescription)
{
    if (!serverDescription)
        throw KelvResult(E_POINTER, "A forcefield editor needs a server description.");
    return serverDescription;
}

// A new, empty file beside `path` that no one else uses (created with the
// permissions a new file gets); its name goes to `temporary`.
bool CreateTemporaryBeside(const std::string& path, std::string& temporary)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = path + ".saving-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const int descriptor = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (descriptor >= 0) {
            ::close(descriptor);
            temporary = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

}  // namespace

CForcefieldEditor::CForcefieldEditor(CServerDescription* serverDescription)
    : m_serverDescription(Checked(ServerDescriptionPtr(serverDescription)))
{
}

CForcefieldEditor::CForcefieldEditor(const ServerDescriptionPtr& serverDescription)
    : m_serverDescription(Checked(serverDescription))
{
}

CForcefieldEditor::~CForcefieldEditor() = default;

void CForcefieldEditor::Save()
{
    SaveAs(m_path);
}

void CForcefieldEditor::SaveAs(const std::string& path)
{
    if (!m_forcefield)
        throw KelvResult(E_UNEXPECTED, "There is no forcefield to save.");
    if (path.empty())
        throw KelvResult(E_UNEXPECTED, "No file name was given to save the forcefield to.");
    WriteForcefieldFile(*m_forcefield, path);
    m_path = path;
}

CForcefield& CForcefieldEditor::GetForcefield() const
{
    if (!m_forcefield)
        throw KelvResult(E_UNEXPECTED, "No forcefield is loaded.");
    return *m_forcefield;
}

void CForcefieldEditor::SetForcefield(const std::string& path, CForcefield* forcefield)
{
    SetForcefield(path, ForcefieldPtr(forcefield));
}

void CForcefieldEditor::SetForcefield(const std::string& path, const ForcefieldPtr& forcefield)
{
    if (!forcefield)
        throw KelvResult(E_POINTER, "No forcefield was given to the editor.");
    m_forcefield = forcefield;
    m_path = path;
}

void CForcefieldEditor::WriteForcefieldFile(const CForcefield& forcefield, const std::string& path)
{
    std::string temporary;
    if (!CreateTemporaryBeside(path, temporary))
        throw KelvResult(E_UNEXPECTED, "Cannot open " + path + " (" + std::strerror(errno) + ")");
    try {
        {
            std::ofstream stream(temporary.c_str(), std::ios::out | std::ios::trunc);
            if (!stream)
                throw KelvResult(E_UNEXPECTED, "Cannot open " + path);
            forcefield.WriteLibrary(stream);
            stream.flush();
            if (!stream)
                throw KelvResult(E_UNEXPECTED, "Failed to write " + path);
            stream.close();
            if (stream.fail())
                throw KelvResult(E_UNEXPECTED, "Failed to write " + path);
        }
        // Keep the permissions of the file being replaced.
        struct stat existing;
        if (::stat(path.c_str(), &existing) == 0)
            ::chmod(temporary.c_str(), existing.st_mode & 07777);
        if (std::rename(temporary.c_str(), path.c_str()) != 0)
            throw KelvResult(E_UNEXPECTED, "Failed to write " + path + " (" + std::strerror(errno) + ")");
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
}
