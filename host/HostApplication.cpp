#include "host/HostApplication.h"

#include "com/regularfile.h"

#include "host/charts/DocumentTypes.h"
#include "host/charts/PhononDispersionGenerator.h"
#include "host/jobs/EngineSettings.h"
#include "host/managers/HostCall.h"
#include "host/model/ModelClasses.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"
#include "host/model/TrajectoryDocument.h"
#include "host/managers/HostStream.h"
#include "host/state/DispersionPathGenerator.h"
#include "host/state/HostLogics.h"
#include "host/state/ProjectLock.h"

#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorqm/ScopeUtility.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <fstream>
#include <sstream>

namespace QzHost {

namespace fs = std::filesystem;

const std::vector<std::pair<std::string, std::string>>& ModuleLogics()
{
    static const std::vector<std::pair<std::string, std::string>> logics{
        {"ZelmLogic", "QorZelm.ZelmLogic"},
        {"ObservableData", "QorZelm.ZelmObservableData"},
        {"SurfaceCalculator", "QorZelm.SurfaceCalculator"},
        {"ZelmAnalysis", "QorZelm.ZelmAnalysis"},
    };
    return logics;
}

HostApplication::HostApplication(HostConfiguration configuration) : m_configuration(std::move(configuration))
{
    if (m_configuration.projectFolder.empty())
        Fail(E_INVALIDARG, "The application needs a project folder.");
    m_definitions = StateDefinitions::Load(m_configuration.stateDefinitionsFile.empty()
                                               ? DefaultStateDefinitionsPath()
                                               : m_configuration.stateDefinitionsFile);

    m_context = std::make_shared<HostContext>();
    m_context->documentsFolder = HostPaths::Normal(m_configuration.projectFolder);
    std::error_code error;
    fs::create_directories(m_context->documentsFolder, error);
    if (error || !fs::is_directory(m_context->documentsFolder, error))
        Fail(E_ACCESSDENIED, "The project folder \"" + m_configuration.projectFolder + "\" cannot be made.");
    m_projectHold = std::make_unique<RegularFile::Hold>(m_context->documentsFolder);
    m_context->serverFolder = PathUtilities::Join(m_context->documentsFolder, ".server");
    std::string core = m_configuration.coreFolder.empty() ? HostDataFolder() + "/core/" : m_configuration.coreFolder;
    core = HostPaths::Normal(core);
    m_context->coreFolder = core == "/" ? core : core + "/";

    HostStream::RegisterClass();
    KelvResult::Check(HostModel::RegisterModelClasses());
    // Classes the module and the states create by ProgID.
    KelvResult::Check(QorQMUtilities::RegisterScopeUtility());
    KelvResult::Check(DispersionPathGenerator::RegisterClass());
    KelvResult::Check(HostCharts::PhononDispersionGenerator::RegisterClass());
    MakeServices();
    RegisterModel();
    MakeExtensions();
    if (!m_configuration.stateFile.empty())
        LoadStates(m_configuration.stateFile);
    ConnectLogics();
}

HostApplication::~HostApplication()
{
    Shutdown();
}

void HostApplication::MakeServices()
{
    m_modules = HostModules::Create();
    m_disk = DiskManager::Create(m_context);
    m_folders = FolderManager::Create(m_context);
    m_paths = PathService::Create();
    m_documents = DocumentManager::Create(m_context);
    m_documentService = DocumentService::Create(m_context, m_documents);
    m_states = StateManager::Create(m_context);
    m_operations = OperationManager::Create();
    m_scopes = ScopeManager::Create();
    m_jobs = JobManager::Create(m_context, m_modules);
    // The project's engine settings, then the configuration's own commands.
    // A project's command runs only once it was set or accepted on this
    // machine: a project received from elsewhere does not choose what runs.
    const EngineSettings engines = LoadEngineSettings(m_context->documentsFolder);
    for (const auto& server : engines.commands) {
        // The user's accepted commands that cannot be read accept nothing
        // here; `engine` names the file and why.
        bool accepted = false;
        try {
            accepted = IsEngineAccepted(m_context->documentsFolder, server.first, server.second);
        } catch (const KelvResult&) {
        }
        if (accepted)
            m_jobs->SetServerCommand(server.first, server.second);
        else
            m_unacceptedEngines[server.first] = server.second;
    }
    m_jobs->SetTimeLimit(engines.timeLimitSeconds);
    for (const auto& server : m_configuration.serverCommands) {
        m_jobs->SetServerCommand(server.first, server.second);
        m_unacceptedEngines.erase(server.first);
    }

    ContainerRoot::Services services;
    services.disk = KelvComPtr<ISBDiskManager>(m_disk.get());
    services.folders = KelvComPtr<ISBFolderManager>(m_folders.get());
    services.documents = KelvComPtr<ISBDocumentManager>(m_documents.get());
    services.states = KelvComPtr<ISBStateManager>(m_states.get());
    services.jobs = KelvComPtr<ISBJobManager>(m_jobs.get());
    services.operations = KelvComPtr<ISBOperationManager>(m_operations.get());
    services.modules = KelvComPtr<ISBModuleManager>(m_modules.get());
    services.scopes = KelvComPtr<ISBScopeManager>(m_scopes.get());
    services.extensions = KelvComPtr<ISBExtensions>(m_modules.get());
    services.documentService = KelvComPtr<ISBDocumentService>(m_documentService.get());
    services.paths = KelvComPtr<ISBPathService>(m_paths.get());
    m_root = ContainerRoot::Create(services);
    m_context->root = static_cast<ISBContainerRoot*>(m_root.get());
}

namespace {

std::shared_ptr<HostModel::Document> RequireModel(ISBDocumentRoot* document)
{
    std::shared_ptr<HostModel::Document> model = HostModel::DocumentOf(document);
    if (!model)
        Fail(E_INVALIDARG, "The document is not a structure document of this application.");
    return model;
}

} // namespace

void HostApplication::RegisterModel()
{
    DocumentType structure;
    structure.progId = HostModel::Atomistic3dDocumentProgId;
    structure.extensions = {".qsd", ".qtd"};
    structure.exporters = {"SDModel3dImportExport.QSDImportExport", "SDModel3dImportExport.QTDImportExport"};
    structure.create = [] { return HostModel::DocumentRootFor(std::make_shared<HostModel::Document>()); };
    structure.open = [](const std::string& path) {
        try {
            return HostModel::DocumentRootFor(HostModel::LoadStructureFile(path));
        } catch (const KelvResult&) {
            throw;
        } catch (const HostModel::FileError& error) {
            Fail(E_FAIL, error.what()); // names the file
        } catch (const std::exception& error) {
            Fail(E_FAIL, "The document file \"" + path + "\" cannot be read: " + error.what());
        }
    };
    structure.save = [](ISBDocumentRoot* document, const std::string& path) {
        std::shared_ptr<HostModel::Document> model = RequireModel(document);
        try {
            HostModel::SaveQsd(*model, path);
        } catch (const std::exception& error) {
            Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The document file \"" + path + "\" cannot be written: " + error.what());
        }
    };
    structure.setUrl = [](ISBDocumentRoot* document, const std::string& url) { RequireModel(document)->SetUrl(url); };
    m_documents->RegisterType(structure);
    m_documents->RegisterType(HostCharts::ChartDocumentType());
    m_documents->RegisterType(HostCharts::TextDocumentType());

    m_scopes->SetProcessor([](ISBScope* scope, const std::string& processor) {
        return HostModel::ProcessScopeObject(scope, processor);
    });
}

void HostApplication::MakeExtensions()
{
    KelvComPtr<HostExtension> module = HostExtension::Create(ModuleExtensionName, m_definitions);
    module->SetJobHandler(JobHandlerName, "QorZelm.ZelmJob");
    module->AddLogic("QMJobTemplate", HostLogic::Create());
    module->AddLogic("ZelmForcefieldChooser", ForcefieldChooserLogic::Create(m_configuration.chooserForcefields));
    module->AddLogic("ZelmPreparation", HostLogic::Create());
    module->AddLogic("KPointSetGenerator", KPointSetGeneratorLogic::Create([](ISBScope* scope) {
        std::shared_ptr<HostModel::Document> model = HostModel::DocumentOf(scope);
        if (!model)
            Fail(E_INVALIDARG, "The scope is not a scope of a structure document of this application.");
        ScopeCell cell;
        if (const HostModel::Lattice3D* lattice = model->Lattice3()) {
            const HostModel::CellParameters& p = lattice->Parameters();
            cell.periodicity = 3;
            cell.a = p.a, cell.b = p.b, cell.c = p.c;
            cell.alpha = p.alpha, cell.beta = p.beta, cell.gamma = p.gamma;
        } else if (const HostModel::Lattice2D* surface = model->Lattice2()) {
            const HostModel::SurfaceCellParameters& p = surface->Parameters();
            cell.periodicity = 2;
            cell.u = p.u, cell.v = p.v, cell.theta = p.theta;
        }
        return cell;
    }));
    m_modules->AddExtension(module);

    KelvComPtr<HostExtension> restrictions = HostExtension::Create(RestrictionsExtensionName, m_definitions);
    restrictions->AddLogic("FixedAtomConstraint", FixedAtomConstraintLogic::Create([](IUnknown* atom) -> LONG {
        std::shared_ptr<HostModel::Document> model;
        HostModel::Handle handle = 0;
        if (!HostModel::TryHandleOf(atom, model, handle) || model->KindOf(handle) != HostModel::Document::Kind::Atom)
            return 0;
        return model->GetAtom(handle).fixedMask;
    }));
    m_modules->AddExtension(restrictions);
}

void HostApplication::ConnectLogics()
{
    KelvComPtr<HostExtension> module = Extension(ModuleExtensionName);
    if (m_configuration.connectModuleLogics) {
        // Every logic stands in the extension before any connects, so that
        // a logic finds the others by name while it connects.
        for (const auto& entry : ModuleLogics()) {
            KelvComPtr<ISBLogic> logic;
            const KelvResult created =
                Kelv::KelvCreateImpl(entry.second, nullptr, CLSCTX_SERVER, IID_ISBLogic, logic.ReceiveVoid(), false);
            if (created.Failed() || !logic) {
                m_missing.push_back(entry.first + " (" + entry.second + "): " + created.GetMessage());
                continue;
            }
            module->AddLogic(entry.first, logic);
        }
    }
    for (const KelvComPtr<HostExtension>& extension : m_modules->Extensions()) {
        for (const std::string& name : extension->LogicNames()) {
            try {
                extension->ConnectLogic(name, Root());
            } catch (const KelvResult& failure) {
                m_errors.push_back(extension->Name() + "!" + name + ": " + failure.GetMessage());
                extension->RemoveLogic(name);
            }
        }
    }
}

KelvComPtr<HostExtension> HostApplication::Extension(const std::string& name) const
{
    return m_modules ? m_modules->Find(name) : nullptr;
}

KelvComPtr<ISBLogic> HostApplication::Logic(const std::string& extension, const std::string& logic) const
{
    KelvComPtr<HostExtension> found = Extension(extension);
    return found ? found->FindLogic(logic) : nullptr;
}

KelvComPtr<HostState> HostApplication::State(const std::string& logic) const
{
    if (!m_modules)
        return nullptr;
    for (const KelvComPtr<HostExtension>& extension : m_modules->Extensions()) {
        if (KelvComPtr<HostState> state = extension->State(logic))
            return state;
    }
    return nullptr;
}

namespace {

nlohmann::json ReadStateFile(const std::string& path, const std::string& shown)
{
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Settings))
        Fail(STG_E_FILENOTFOUND, "The state file \"" + shown + "\" " +
                                     (why == RegularFile::NotThere ? std::string("cannot be opened") : why) + ".");
    try {
        return nlohmann::json::parse(text);
    } catch (const std::exception& error) {
        Fail(E_INVALIDARG, "The state file \"" + shown + "\" is not valid JSON (" +
                               MessageText::Excerpt(error.what()) + ").");
    }
}

} // namespace

void HostApplication::SaveStates(const std::string& path)
{
    const std::string target = HostPaths::Normal(path);
    const std::string failure = "The state file \"" + path + "\" cannot be written";
    std::vector<KelvComPtr<HostState>> states;
    for (const KelvComPtr<HostExtension>& extension : m_modules->Extensions())
        for (const std::string& name : extension->StateNames())
            if (KelvComPtr<HostState> state = extension->State(name))
                states.push_back(state);

    std::string folder = fs::path(target).parent_path().string();
    ProjectLock lock(folder.empty() ? "." : folder);
    std::error_code error;
    nlohmann::json values = nlohmann::json::object();
    const bool merge = !m_stateFile.empty() && m_stateFile == target && fs::is_regular_file(target, error);
    if (merge) {
        // What other processes saved meanwhile, with this process's own
        // changes over it.
        values = ReadStateFile(target, path);
        if (!values.is_object())
            Fail(E_INVALIDARG, "The state file \"" + path + "\" must hold an object of logics.");
        for (const KelvComPtr<HostState>& state : states) {
            const std::set<std::string> changed = state->ChangedNames();
            if (changed.empty())
                continue;
            const nlohmann::json own = state->ToJson();
            nlohmann::json& logic = values[state->LogicName()];
            if (!logic.is_object())
                logic = nlohmann::json::object();
            for (const std::string& name : changed)
                if (own.contains(name))
                    logic[name] = own.at(name);
        }
    } else {
        for (const KelvComPtr<HostState>& state : states)
            values[state->LogicName()] = state->ToJson();
    }
    std::string why;
    if (!ReplaceFileContents(target, values.dump(2) + "\n", &why, m_context->documentsFolder))
        Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), failure + ": " + why + ".");
    for (const KelvComPtr<HostState>& state : states)
        state->MarkSaved();
    m_stateFile = target;
}

void HostApplication::LoadStates(const std::string& path)
{
    const std::string source = HostPaths::Normal(path);
    const nlohmann::json states = ReadStateFile(source, path);
    const std::string origin = "The state file \"" + path + "\"";
    if (!states.is_object())
        Fail(E_INVALIDARG, origin + " must hold an object of logics.");
    for (const auto& item : states.items()) {
        KelvComPtr<HostState> state = State(item.key());
        if (!state)
            Fail(E_INVALIDARG, origin + " names the logic \"" + MessageText::Excerpt(item.key()) +
                                   "\", which keeps no state here.");
        state->LoadJson(item.value(), origin);
    }
    // The values now are the file's: only later changes are this process's own.
    for (const KelvComPtr<HostExtension>& extension : m_modules->Extensions())
        for (const std::string& name : extension->StateNames())
            if (KelvComPtr<HostState> state = extension->State(name))
                state->MarkSaved();
    m_stateFile = source;
}

void HostApplication::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_modules) {
        const auto extensions = m_modules->Extensions();
        for (auto it = extensions.rbegin(); it != extensions.rend(); ++it) {
            for (const std::string& error : (*it)->DisconnectAll())
                m_errors.push_back(error);
        }
    }
    if (m_jobs)
        m_jobs->Clear();
    if (m_documents)
        m_documents->Clear();
    if (m_scopes)
        m_scopes->Clear();
    if (m_root)
        m_root->Clear();
    if (m_modules)
        m_modules->Clear();
    if (m_context)
        m_context->root = nullptr;
}

} // namespace QzHost
