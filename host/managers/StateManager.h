// The state manager (module state files) and the operation manager
// (undoable operations).
#pragma once

#include "host/managers/HostContext.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace QzHost {

// CreateModuleState writes folder/name.qms: a JSON object
//   {"extension": "<name>", "logics": {"<logic>": {"<property>": value}}}
// with the current values of every state the extension keeps (co-classes
// left out), and hands out a module state object. The folder must exist; a
// file of that name is replaced only with SBModuleStateOverwrite.
class StateManager final : public CKelvUnknown, public ISBStateManager {
public:
    static KelvComPtr<StateManager> Create(std::shared_ptr<HostContext> context);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT CreateModuleState(ISBExtension* pExtension, BSTR folder, BSTR name, LONG flags,
                              VARIANT varDefaultPresentation, IUnknown** ppModuleState) override;

private:
    explicit StateManager(std::shared_ptr<HostContext> context);
    std::shared_ptr<HostContext> m_context;
};

// One undoable operation as the operation manager records it.
struct OperationRecord {
    std::string name;
    std::string description;
    LONG kind = 0;
    bool open = true;
};

// CreateOperation opens an operation; it stays open until its last
// reference goes. The manager keeps the record of every operation.
class OperationManager final : public CKelvUnknown, public ISBOperationManager {
public:
    static KelvComPtr<OperationManager> Create();

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT CreateOperation(BSTR name, BSTR description, LONG kind, ISBOperation** ppOperation) override;

    std::vector<OperationRecord> Records() const;
    std::size_t OpenCount() const;

    struct Records_;

private:
    OperationManager();
    std::shared_ptr<Records_> m_records;
};

} // namespace QzHost
