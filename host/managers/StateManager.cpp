#include "host/managers/StateManager.h"

#include "host/managers/HostCall.h"
#include "host/state/HostExtension.h"

#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"

#include <filesystem>
#include <fstream>

namespace QzHost {

namespace fs = std::filesystem;

namespace {

class ModuleState final : public CKelvUnknown {
public:
    explicit ModuleState(const std::string& path) : m_path(path) {}
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

KelvComPtr<StateManager> StateManager::Create(std::shared_ptr<HostContext> context)
{
    return KelvComPtr<StateManager>::Adopt(new StateManager(std::move(context)));
}

StateManager::StateManager(std::shared_ptr<HostContext> context) : m_context(std::move(context)) {}

HRESULT StateManager::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBStateManager)
        return FinishQI(static_cast<ISBStateManager*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT StateManager::CreateModuleState(ISBExtension* pExtension, BSTR folder, BSTR name, LONG flags,
                                        VARIANT varDefaultPresentation, IUnknown** ppModuleState)
{
    return HostCall(IID_ISBStateManager, [&] {
        RequireOut(ppModuleState);
        *ppModuleState = nullptr;
        const std::string folderText = Narrow(folder);
        const std::string nameText = Narrow(name);
        HostExtension* extension = dynamic_cast<HostExtension*>(pExtension);
        Log("StateManager", "CreateModuleState",
            {extension ? Quote(extension->Name()) : (pExtension ? "foreign extension" : "null"), Quote(folderText),
             Quote(nameText), Hex(flags), DescribeVariant(varDefaultPresentation)});
        if (!extension)
            Fail(E_INVALIDARG, "A module state is made for an extension of this application.");
        if (nameText.empty() || nameText.find_first_of("/\\") != std::string::npos)
            Fail(E_INVALIDARG, "\"" + nameText + "\" is not a file name for a module state.");
        const std::string target = HostPaths::Normal(folderText);
        std::error_code error;
        if (target.empty() || !fs::is_directory(target, error))
            Fail(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The folder \"" + folderText + "\" does not exist.");
        const std::string path = PathUtilities::Join(target, nameText + ".qms");
        if (fs::exists(path, error) && !(flags & SBModuleStateOverwrite))
            Fail(HRESULT_FROM_WIN32(80), "The module state \"" + path + "\" exists already."); // ERROR_FILE_EXISTS

        nlohmann::json content = nlohmann::json::object();
        content["extension"] = extension->Name();
        content["logics"] = extension->StatesToJson();
        // Written whole or not at all, as every file the host saves.
        std::string why;
        if (!ReplaceFileContents(path, content.dump(2) + "\n", &why, m_context->documentsFolder))
            Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The module state \"" + path + "\" cannot be written: " + why + ".");
        *ppModuleState = (new ModuleState(path))->ControllingUnknown();
    });
}

// -------------------------------------------------------------- operations

struct OperationManager::Records_ {
    mutable std::mutex mutex;
    std::vector<OperationRecord> records;
};

namespace {

class Operation final : public CKelvUnknown, public ISBOperation {
public:
    Operation(std::shared_ptr<OperationManager::Records_> records, std::size_t index)
        : m_records(std::move(records)), m_index(index)
    {
    }

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBOperation)
            return FinishQI(static_cast<ISBOperation*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    // Releasing the last reference closes the operation.
    void FinalRelease() override
    {
        std::string name;
        {
            std::lock_guard<std::mutex> lock(m_records->mutex);
            m_records->records[m_index].open = false;
            name = m_records->records[m_index].name;
        }
        Log("Operation", "Close", {Quote(name)});
    }

    HRESULT get_Name(BSTR* pName) override
    {
        return HostCall(IID_ISBOperation, [&] { StoreString(pName, Record().name); });
    }
    HRESULT get_Description(BSTR* pDescription) override
    {
        return HostCall(IID_ISBOperation, [&] { StoreString(pDescription, Record().description); });
    }
    HRESULT get_Kind(LONG* pKind) override
    {
        return HostCall(IID_ISBOperation, [&] {
            RequireOut(pKind);
            *pKind = Record().kind;
        });
    }

private:
    OperationRecord Record() const
    {
        std::lock_guard<std::mutex> lock(m_records->mutex);
        return m_records->records[m_index];
    }

    std::shared_ptr<OperationManager::Records_> m_records;
    std::size_t m_index;
};

} // namespace

KelvComPtr<OperationManager> OperationManager::Create()
{
    return KelvComPtr<OperationManager>::Adopt(new OperationManager());
}

OperationManager::OperationManager() : m_records(std::make_shared<Records_>()) {}

HRESULT OperationManager::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBOperationManager)
        return FinishQI(static_cast<ISBOperationManager*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT OperationManager::CreateOperation(BSTR name, BSTR description, LONG kind, ISBOperation** ppOperation)
{
    return HostCall(IID_ISBOperationManager, [&] {
        RequireOut(ppOperation);
        *ppOperation = nullptr;
        OperationRecord record{Narrow(name), Narrow(description), kind, true};
        Log("OperationManager", "CreateOperation", {Quote(record.name), Quote(record.description), std::to_string(kind)});
        if (kind != SBOperationDefault && kind != SBOperationModelUpdate)
            Fail(E_INVALIDARG, "Unknown operation kind " + std::to_string(kind) + ".");
        std::size_t index;
        {
            std::lock_guard<std::mutex> lock(m_records->mutex);
            index = m_records->records.size();
            m_records->records.push_back(record);
        }
        *ppOperation = new Operation(m_records, index);
    });
}

std::vector<OperationRecord> OperationManager::Records() const
{
    std::lock_guard<std::mutex> lock(m_records->mutex);
    return m_records->records;
}

std::size_t OperationManager::OpenCount() const
{
    std::lock_guard<std::mutex> lock(m_records->mutex);
    std::size_t open = 0;
    for (const OperationRecord& record : m_records->records)
        open += record.open ? 1 : 0;
    return open;
}

} // namespace QzHost
