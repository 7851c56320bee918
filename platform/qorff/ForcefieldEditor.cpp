#include "qorff/ForcefieldEditor.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "kelv/kelv.h"
#include "qorqm/ReplaceFile.h"

namespace {

const ServerDescriptionPtr& Checked(const ServerDescriptionPtr& serverDescription)
{
    if (!serverDescription)
        throw KelvResult(E_POINTER, "A forcefield editor needs a server description.");
    return serverDescription;
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
    if (!m_forcefield)
        throw KelvResult(E_UNEXPECTED, "There is no forcefield to save.");
    if (m_path.empty())
        throw KelvResult(E_UNEXPECTED, "No file name was given to save the forcefield to.");
    WriteForcefieldFile(*m_forcefield, m_path, m_project);
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

void CForcefieldEditor::WriteForcefieldFile(const CForcefield& forcefield, const std::string& path,
                                            const std::string& project)
{
    // Written under a temporary name of its own beside the library, synced
    // and renamed into place: a failed or stopped save leaves the library as
    // it was (permissions included) and no partial file under its name.
    CReplaceFile file(path, project);
    if (!file.IsOpen())
        throw KelvResult(E_UNEXPECTED, "Cannot open " + path + ": " + file.Error());
    errno = 0; // a failed write's reason is its own
    forcefield.WriteLibrary(file.Stream());
    if (!file.Commit())
        throw KelvResult(E_UNEXPECTED, "Failed to write " + path + ": " + file.Error());
}
