// The editor: one server description and at most one forcefield loaded
// from a file.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "qorff/Forcefield.h"
#include "qorff/ServerDescription.h"

// The editor holds its server description and its forcefield by
// boost::shared_ptr. Installing a forcefield (SetForcefield, and so a derived
// Load) replaces the editor's own reference only: a forcefield that somebody
// else still holds (GetForcefieldPtr) stays alive and usable.
class CForcefieldEditor {
public:
    // Takes ownership of the description; a null description throws
    // KelvResult (E_POINTER).
    explicit CForcefieldEditor(CServerDescription* serverDescription);
    explicit CForcefieldEditor(const boost::shared_ptr<CServerDescription>& serverDescription);
    CForcefieldEditor(const CForcefieldEditor&) = delete;
    CForcefieldEditor& operator=(const CForcefieldEditor&) = delete;
    virtual ~CForcefieldEditor();

    // Reads the file into a new forcefield and installs it; on failure the
    // editor keeps what it had.
    virtual CForcefield& Load(const std::string& path) = 0;
    // Writes the forcefield to GetFilePath(), the library the editor loaded:
    // with a project folder set, a library of the project is not written
    // through a link leading outside it (LinkLeavingProject, ReplaceFile.h).
    virtual void Save();
    // Writes the forcefield to the path, which becomes the editor's path.
    // Saving writes a temporary file beside the target through
    // CForcefield::WriteLibrary and moves it over the target only when the
    // whole text was written; any failure throws KelvResult (E_UNEXPECTED)
    // naming the file and leaves an existing file as it was. Saving without
    // a forcefield or without a path throws KelvResult (E_UNEXPECTED).
    virtual void SaveAs(const std::string& path);

    // Throws KelvResult (E_UNEXPECTED) when no forcefield is installed.
    CForcefield& GetForcefield() const;
    // Null when no forcefield is installed.
    const ForcefieldPtr& GetForcefieldPtr() const { return m_forcefield; }
    const CServerDescription& GetServerDescription() const { return *m_serverDescription; }
    const ServerDescriptionPtr& GetServerDescriptionPtr() const { return m_serverDescription; }
    bool HasForcefield() const { return static_cast<bool>(m_forcefield); }
    // Installs the forcefield (taking ownership of a plain pointer) for the
    // path, dropping the editor's reference to the one held before. A null
    // forcefield throws KelvResult (E_POINTER).
    void SetForcefield(const std::string& path, CForcefield* forcefield);
    void SetForcefield(const std::string& path, const ForcefieldPtr& forcefield);
    const std::string& GetFilePath() const { return m_path; }
    // The project whose libraries Save() keeps inside it (empty: none).
    void SetProjectFolder(const std::string& folder) { m_project = folder; }

    // The saving step on its own: writes the forcefield's library text to
    // the path as described at SaveAs.
    static void WriteForcefieldFile(const CForcefield& forcefield, const std::string& path,
                                    const std::string& project = std::string());

private:
    ServerDescriptionPtr m_serverDescription;
    ForcefieldPtr m_forcefield;
    std::string m_path;
    std::string m_project;
};
