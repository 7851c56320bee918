#include "kelv/KelvInProc.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace
{
// The count is parked here while FinalRelease runs, so that references taken
// and dropped during it cannot bring it to zero a second time.
constexpr ULONG kDestroying = 1u << 30;

// Sets error information without a class (the framework's own failures).
HRESULT Fail(HRESULT hr, const std::string& text, REFIID iid = GUID_NULL)
{
    return Kelv::CaughtKelvResult(KelvResult(hr, text), GUID_NULL, iid);
}

std::string ClassName(const CKelvFactoryData& row)
{
    std::string name = row.description ? row.description : "";
    if (row.clsid) {
        if (!name.empty())
            name += " ";
        name += GuidToString(*row.clsid);
    }
    return name;
}

// Runs a row's create function and completes the object.
HRESULT CreateFromRow(const CKelvFactoryData& row, IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    const CLSID& clsid = row.clsid ? *row.clsid : GUID_NULL;
    if (!row.create)
        return Kelv::CaughtKelvResult(
            KelvResult(CLASS_E_CLASSNOTAVAILABLE, "The class " + ClassName(row) + " is not available."),
            clsid, IID_IClassFactory);
    void* object = nullptr;
    HRESULT hr = Kelv::ComMethod(clsid, IID_IClassFactory, [&] { return row.create(&object); });
    if (FAILED(hr)) {
        if (object)
            static_cast<IUnknown*>(object)->Release();
        return hr;
    }
    if (!object)
        return Kelv::CaughtKelvResult(
            KelvResult(E_OUTOFMEMORY, "The class " + ClassName(row) + " created no object."), clsid,
            IID_IClassFactory);
    void* completed = nullptr;
    hr = KelvCreateInstanceImpl(object, &completed);
    if (FAILED(hr))
        return hr;
    IUnknown* unknown = static_cast<IUnknown*>(completed);
    hr = unknown->QueryInterface(iid, out);
    unknown->Release();
    return hr;
}

class CKelvClassFactory final : public IClassFactory
{
public:
    CKelvClassFactory(KelvModuleState& module, const CKelvFactoryData& row) : m_module(module), m_row(row)
    {
        m_module.objects.fetch_add(1);
    }
    ~CKelvClassFactory() { m_module.objects.fetch_sub(1); }

    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return m_references.fetch_add(1) + 1; }
    ULONG Release() override
    {
        const ULONG left = m_references.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        return CreateFromRow(m_row, outer, iid, out);
    }
    HRESULT LockServer(BOOL lock) override
    {
        if (lock) {
            m_module.locks.fetch_add(1);
            return S_OK;
        }
        LONG current = m_module.locks.load();
        while (current > 0 && !m_module.locks.compare_exchange_weak(current, current - 1)) {
        }
        return current > 0 ? S_OK : S_FALSE;
    }

private:
    std::atomic<ULONG> m_references{1};
    KelvModuleState& m_module;
    const CKelvFactoryData m_row;
};

struct TableCopy
{
    HINSTANCE instance = nullptr;
    const CKelvFactoryData* table = nullptr;
    LONG count = 0;
};

TableCopy Snapshot(KelvModuleState& module)
{
    std::lock_guard<std::mutex> lock(module.mutex);
    return TableCopy{module.instance, module.table, module.count};
}

const void* FunctionAddress(HRESULT (*function)(void**))
{
    return reinterpret_cast<const void*>(function);
}

// The file of the module that holds the given address.
bool ModuleFileOf(const void* address, std::string& path)
{
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0)
        return false;
    std::string name = info.dli_fname ? info.dli_fname : "";
    char resolved[PATH_MAX];
    if (!name.empty() && realpath(name.c_str(), resolved)) {
        path = resolved;
        return true;
    }
    // The main program may be reported by an empty or relative name.
    const ssize_t length = readlink("/proc/self/exe", resolved, sizeof(resolved) - 1);
    if (length <= 0)
        return false;
    resolved[length] = '\0';
    path = resolved;
    return true;
}
} // namespace

IDelegatedUnknown::~IDelegatedUnknown() = default;

CKelvUnknown::~CKelvUnknown()
{
    m_moduleObjects->fetch_sub(1);
}

HRESULT CKelvUnknown::QueryInterface(REFIID iid, void** out)
{
    return out ? DelegatedQueryInterface(iid, out) : E_POINTER;
}

ULONG CKelvUnknown::AddRef()
{
    return DelegatedAddRef();
}

ULONG CKelvUnknown::Release()
{
    return DelegatedRelease();
}

HRESULT CKelvUnknown::DelegatedQueryInterface(REFIID iid, void** out)
{
    return FinishQI(iid == IID_IUnknown ? ControllingUnknown() : nullptr, out);
}

ULONG CKelvUnknown::DelegatedAddRef()
{
    return m_references.fetch_add(1) + 1;
}

ULONG CKelvUnknown::DelegatedRelease()
{
    const ULONG left = m_references.fetch_sub(1) - 1;
    if (left == 0) {
        m_references.store(kDestroying);
        FinalRelease();
        delete this;
    }
    return left;
}

HRESULT CKelvUnknown::FinalConstruct()
{
    return S_OK;
}

void CKelvUnknown::FinalRelease() {}

HRESULT CKelvUnknown::FinishQI(IUnknown* found, void** out) noexcept
{
    if (!out)
        return found ? S_OK : S_FALSE;
    if (!found) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    found->AddRef();
    *out = found;
    return S_OK;
}

HRESULT KelvCreateInstanceImpl(void* object, void** out)
{
    IUnknown* unknown = static_cast<IUnknown*>(object);
    if (!out) {
        if (unknown)
            unknown->Release();
        return E_POINTER;
    }
    *out = nullptr;
    if (!unknown)
        return Fail(E_OUTOFMEMORY, "The object could not be created.");
    if (auto* delegated = dynamic_cast<IDelegatedUnknown*>(unknown)) {
        const HRESULT hr = Kelv::ComMethod(GUID_NULL, GUID_NULL, [&] { return delegated->FinalConstruct(); });
        if (FAILED(hr)) {
            unknown->Release();
            return hr;
        }
    }
    *out = unknown;
    return S_OK;
}

namespace KelvInProcDetail
{
void Enable(KelvModuleState& module, HINSTANCE instance, const CKelvFactoryData* table, LONG count)
{
    std::lock_guard<std::mutex> lock(module.mutex);
    module.instance = instance;
    module.table = table;
    module.count = table && count > 0 ? count : 0;
}

HINSTANCE Instance(KelvModuleState& module)
{
    std::lock_guard<std::mutex> lock(module.mutex);
    return module.instance;
}

HRESULT GetClassObject(KelvModuleState& module, REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const TableCopy table = Snapshot(module);
    for (LONG i = 0; i < table.count; ++i) {
        const CKelvFactoryData& row = table.table[i];
        if (!row.clsid || *row.clsid != clsid)
            continue;
        CKelvClassFactory* factory = new (std::nothrow) CKelvClassFactory(module, row);
        if (!factory)
            return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(iid, out);
        factory->Release();
        return hr;
    }
    return Fail(CLASS_E_CLASSNOTAVAILABLE,
                "The class " + GuidToString(clsid) + " is not served by this module.", IID_IClassFactory);
}

HRESULT CanUnloadNow(KelvModuleState& module)
{
    return module.objects.load() == 0 && module.locks.load() == 0 ? S_OK : S_FALSE;
}

HRESULT RegisterAll(KelvModuleState& module)
{
    const TableCopy table = Snapshot(module);
    if (!table.table)
        return Fail(E_UNEXPECTED, "No class table has been handed to the framework.");
    for (LONG i = 0; i < table.count; ++i) {
        const CKelvFactoryData& row = table.table[i];
        if (!row.clsid)
            return Fail(SELFREG_E_CLASS, "Row " + std::to_string(i + 1) + " of the class table has no class identifier.");
        ComRegistry::ClassEntry entry;
        entry.clsid = *row.clsid;
        entry.description = row.description ? row.description : "";
        entry.progId = row.progId ? row.progId : "";
        entry.versionedProgId = row.versionedProgId ? row.versionedProgId : "";
        entry.typeLib = row.libid ? *row.libid : GUID_NULL;
        const void* address = table.instance ? table.instance
                              : row.create  ? FunctionAddress(row.create)
                                            : static_cast<const void*>(table.table);
        if (!ModuleFileOf(address, entry.modulePath))
            return Fail(SELFREG_E_CLASS, "The file of the module serving " + ClassName(row) + " cannot be found.");
        const HRESULT hr = ComRegistry::RegisterClass(entry);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT UnregisterAll(KelvModuleState& module)
{
    const TableCopy table = Snapshot(module);
    if (!table.table)
        return Fail(E_UNEXPECTED, "No class table has been handed to the framework.");
    for (LONG i = 0; i < table.count; ++i) {
        const CKelvFactoryData& row = table.table[i];
        if (!row.clsid)
            continue;
        const HRESULT hr = ComRegistry::UnregisterClass(*row.clsid);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT GetIDsOfNames(const std::vector<KelvDispatchName>& table, LPOLESTR* names, UINT count, DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    auto fold = [](char16_t c) -> char16_t {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            return static_cast<char16_t>(c + 0x20);
        return c;
    };
    const OLECHAR* wanted = names[0];
    if (!wanted)
        return DISP_E_UNKNOWNNAME;
    for (const KelvDispatchName& entry : table) {
        if (!entry.name)
            continue;
        size_t k = 0;
        while (entry.name[k] && wanted[k] && fold(entry.name[k]) == fold(wanted[k]))
            ++k;
        if (entry.name[k] == 0 && wanted[k] == 0) {
            ids[0] = entry.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}
} // namespace KelvInProcDetail
