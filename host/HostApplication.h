// The in-memory host application: one project folder with its container
// root, the managers, the extensions with their logics and states, and the
// job manager. Tests and the command-line host make one, drive the module
// through it and read back what its services were asked.
#pragma once

#include "com/regularfile.h"
#include "host/jobs/JobManager.h"
#include "host/managers/ContainerRoot.h"
#include "host/managers/DiskManager.h"
#include "host/managers/DocumentManager.h"
#include "host/managers/HostContext.h"
#include "host/managers/ScopeManager.h"
#include "host/managers/StateManager.h"
#include "host/state/HostExtension.h"
#include "host/state/StateDefinitions.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace QzHost {

inline constexpr const char* ModuleExtensionName = "QorZelm.Extension";
inline constexpr const char* RestrictionsExtensionName = "QoRestricions.Restrictions";
inline constexpr const char* JobHandlerName = "QMJobHandler";

struct HostConfiguration {
    // The project folder; it is made when missing. It is also the project
    // documents folder ("%PROJECT_DOCUMENTS_FOLDER%"); jobs are staged in
    // its hidden sub-folder ".server".
    std::string projectFolder;
    // The product data folder ("" for "core/" in the host's data folder).
    std::string coreFolder;
    // The state definitions ("" for the default file).
    std::string stateDefinitionsFile;
    // A state file to load before the logics connect ("" for none).
    std::string stateFile;
    // Engine commands by server program; "ZELM" names none unless given here.
    std::map<std::string, std::string> serverCommands;
    // The forcefields of "ZelmForcefieldChooser" and their kinds.
    std::map<std::string, LONG> chooserForcefields{{"dreiding", QoForcefieldByType}, {"uff", QoForcefieldByType}};
    // Create the module's logics through the class registry and connect them.
    bool connectModuleLogics = true;
};

// The module's logics of "QorZelm.Extension": logic name and ProgID, in the
// order they connect (after the host's own logics).
const std::vector<std::pair<std::string, std::string>>& ModuleLogics();

class HostApplication {
public:
    // Makes the project folder, the services, the extensions with their
    // states (and the state file's values), the host's logics, then the
    // module's logics where their classes can be created. The host's
    // creatable classes (the scope utility "QorQMUtilities.ScopeUtility", the
    // dispersion path generator, the model's value objects) are registered in
    // this process first. Throws KelvResult
    // when the project folder cannot be made or the definitions or the state
    // file are bad.
    explicit HostApplication(HostConfiguration configuration);
    ~HostApplication();
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    ISBContainerRoot* Root() const { return m_root ? static_cast<ISBContainerRoot*>(m_root.get()) : nullptr; }
    const HostConfiguration& Configuration() const { return m_configuration; }
    const std::string& DocumentsFolder() const { return m_context->documentsFolder; }
    const std::string& ServerFolder() const { return m_context->serverFolder; }
    // The document folders this host made that still stand, in the order made.
    std::vector<std::string> FoldersMade() const { return m_context->MadeFolders(); }
    const StateDefinitions& Definitions() const { return m_definitions; }

    KelvComPtr<HostExtension> Extension(const std::string& name) const;
    KelvComPtr<ISBLogic> Logic(const std::string& extension, const std::string& logic) const;
    // The state the host keeps for a logic, in whichever extension (null when none).
    KelvComPtr<HostState> State(const std::string& logic) const;

    HostModules& Modules() const { return *m_modules; }
    DiskManager& Disk() const { return *m_disk; }
    FolderManager& Folders() const { return *m_folders; }
    DocumentManager& Documents() const { return *m_documents; }
    DocumentService& DocumentServices() const { return *m_documentService; }
    StateManager& States() const { return *m_states; }
    OperationManager& Operations() const { return *m_operations; }
    ScopeManager& Scopes() const { return *m_scopes; }
    JobManager& Jobs() const { return *m_jobs; }
    // Engine commands of the project's settings that were not set or
    // accepted on this machine (IsEngineAccepted), by server program: they
    // are not given to the job manager.
    const std::map<std::string, std::string>& UnacceptedEngines() const { return m_unacceptedEngines; }

    // Module logics whose classes could not be created (with the reason), and
    // logics whose connection failed (they were taken out again).
    const std::vector<std::string>& MissingLogics() const { return m_missing; }
    const std::vector<std::string>& ConnectionErrors() const { return m_errors; }

    // Every state's values as a JSON file {logic: {property: value}}, and back.
    // Saving to the file the states were loaded from is a read-modify-write
    // under the lock of the file's folder (ProjectLock): the file is read
    // again and only the values set here since the load (or the last save)
    // are written over it, so that processes changing one project at once
    // keep each other's values. Any other file is written whole. The new
    // text goes to a temporary file of this process, renamed into place
    // after a checked flush; a failed write leaves the old file.
    void SaveStates(const std::string& path);
    void LoadStates(const std::string& path);

    // Disconnects every logic and lets the services go; the container root
    // then refuses its properties. Called by the destructor; safe twice.
    void Shutdown();

private:
    void MakeServices();
    // The document model's structure documents and scope processors, and the
    // chart and text documents.
    void RegisterModel();
    void MakeExtensions();
    void ConnectLogics();

    HostConfiguration m_configuration;
    StateDefinitions m_definitions;
    std::shared_ptr<HostContext> m_context;
    // The project's files are opened beneath it while the application lives.
    std::unique_ptr<RegularFile::Hold> m_projectHold;
    KelvComPtr<HostModules> m_modules;
    KelvComPtr<DiskManager> m_disk;
    KelvComPtr<FolderManager> m_folders;
    KelvComPtr<PathService> m_paths;
    KelvComPtr<DocumentManager> m_documents;
    KelvComPtr<DocumentService> m_documentService;
    KelvComPtr<StateManager> m_states;
    KelvComPtr<OperationManager> m_operations;
    KelvComPtr<ScopeManager> m_scopes;
    KelvComPtr<JobManager> m_jobs;
    std::map<std::string, std::string> m_unacceptedEngines;
    KelvComPtr<ContainerRoot> m_root;
    std::vector<std::string> m_missing;
    std::vector<std::string> m_errors;
    std::string m_stateFile; // the file the states were loaded from (native path)
    bool m_shutDown = false;
};

} // namespace QzHost
