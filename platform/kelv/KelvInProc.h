// In-process server support: the reference-counted object base, the class
// table with its class factory and registration, and the dispatch plumbing
// of dual interfaces.
#pragma once

#include <atomic>
#include <mutex>
#include <type_traits>
#include <vector>

#include "com/com.h"
#include "kelv/kelv.h"

// Functions with this mark exist once per shared object (library or
// executable) that includes this header, so that each module keeps its own
// class table and object count even though every module shares libKelv.
#define KELV_PER_MODULE __attribute__((visibility("hidden")))

struct CKelvFactoryData;

// What the framework keeps for one module.
struct KelvModuleState
{
    std::mutex mutex; // guards instance, table and count
    HINSTANCE instance = nullptr;
    const CKelvFactoryData* table = nullptr;
    LONG count = 0;
    std::atomic<LONG> objects{0}; // live objects, class factories included
    std::atomic<LONG> locks{0};   // IClassFactory::LockServer
};

namespace KelvInProcDetail
{
// This module's state. Trivially destructible, so it is never torn down and
// objects released while the process exits still find it; being a static
// object rather than a heap one, it also goes away cleanly when the module
// is unloaded.
static_assert(std::is_trivially_destructible<KelvModuleState>::value,
              "module state must outlive every object of the module");
KELV_PER_MODULE inline KelvModuleState& ThisModule()
{
    static KelvModuleState state;
    return state;
}

void Enable(KelvModuleState& module, HINSTANCE instance, const CKelvFactoryData* table, LONG count);
HRESULT GetClassObject(KelvModuleState& module, REFCLSID clsid, REFIID iid, void** out);
HRESULT CanUnloadNow(KelvModuleState& module);
HRESULT RegisterAll(KelvModuleState& module);
HRESULT UnregisterAll(KelvModuleState& module);
HINSTANCE Instance(KelvModuleState& module);
} // namespace KelvInProcDetail

// The framework's inner unknown. Every framework object implements it; the
// IUnknown methods of all of an object's interfaces forward to it.
class IDelegatedUnknown : public IUnknown
{
public:
    // The object's interface map. With out == nullptr the map runs in
    // query-only mode: it hands out nothing and answers S_OK (0) for an
    // interface it supports and S_FALSE (1) for one it does not
    // (CKelvUnknown::FinishQI does both).
    virtual HRESULT DelegatedQueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG DelegatedAddRef() = 0;
    virtual ULONG DelegatedRelease() = 0;
    // Runs after construction when the object is made through a class
    // factory or KelvCreateInstanceImpl; a failure discards the object.
    virtual HRESULT FinalConstruct() = 0;
    // Runs when the last reference goes, before the object is deleted.
    virtual void FinalRelease() = 0;
    virtual ~IDelegatedUnknown();
};

// Reference counting for framework objects. A new object has ONE reference,
// owned by its creator. The count reaching zero runs FinalRelease and then
// deletes the object.
//
// A class with several interface bases puts KELV_DELEGATE_IUNKNOWN in its
// body, so that the IUnknown methods of every base reach the Delegated ones,
// and overrides DelegatedQueryInterface with its map, ending with the
// base's:
//   HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
//   {
//       if (iid == IID_IFoo)
//           return FinishQI(static_cast<IFoo*>(this), out);
//       return CKelvUnknown::DelegatedQueryInterface(iid, out);
//   }
class CKelvUnknown : public IDelegatedUnknown
{
public:
    // Counts the object among this module's live objects (CanUnloadNow).
    KELV_PER_MODULE CKelvUnknown() noexcept : m_moduleObjects(&KelvInProcDetail::ThisModule().objects)
    {
        m_moduleObjects->fetch_add(1);
    }
    CKelvUnknown(const CKelvUnknown&) = delete;
    CKelvUnknown& operator=(const CKelvUnknown&) = delete;
    ~CKelvUnknown() override;

    // A null out pointer gives E_POINTER (query-only mode is reached through
    // DelegatedQueryInterface only).
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // Answers IUnknown (the controlling unknown) and refuses the rest.
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;
    ULONG DelegatedAddRef() override;
    ULONG DelegatedRelease() override;
    HRESULT FinalConstruct() override;
    void FinalRelease() override;

    // The object's identity: its IUnknown.
    IUnknown* ControllingUnknown() noexcept { return static_cast<IDelegatedUnknown*>(this); }

    // Completes an interface-map entry: stores found (AddRef'd) in *out and
    // gives S_OK, or null and E_NOINTERFACE when found is null. In query-only
    // mode (out == nullptr) it gives S_OK for a found interface and S_FALSE
    // otherwise, handing out nothing.
    static HRESULT FinishQI(IUnknown* found, void** out) noexcept;
    // True when a map runs in query-only mode.
    static bool QueryOnly(void** out) noexcept { return out == nullptr; }

private:
    std::atomic<ULONG> m_references{1};
    std::atomic<LONG>* m_moduleObjects;
};

// Routes QueryInterface, AddRef and Release of every interface base of the
// enclosing class to the Delegated operations.
#define KELV_DELEGATE_IUNKNOWN                                                                      \
    HRESULT QueryInterface(REFIID kelvIid, void** kelvOut) override                                \
    {                                                                                               \
        return kelvOut ? this->DelegatedQueryInterface(kelvIid, kelvOut) : E_POINTER;               \
    }                                                                                               \
    ULONG AddRef() override { return this->DelegatedAddRef(); }                                     \
    ULONG Release() override { return this->DelegatedRelease(); }

// Completes an object made by a class-table create function: runs its
// FinalConstruct (a failure releases it) and hands the reference the create
// function gave to *out. A null object gives E_OUTOFMEMORY, a null out
// E_POINTER (the object is released).
HRESULT KelvCreateInstanceImpl(void* object, void** out);

// One row of a module's class table. Eight fields in this order; the two
// reserved words are 0.
struct CKelvFactoryData
{
    const CLSID* clsid;
    // Makes a new object and stores its controlling IUnknown (one reference)
    // in *out. May throw (std::bad_alloc and others); the factory maps it.
    HRESULT (*create)(void** out);
    const char* description;
    const char* versionedProgId;
    const char* progId;
    const GUID* libid;
    DWORD reserved1;
    DWORD reserved2;

    // These act on the class table of the module that calls them.

    // Hands the table to the framework (kept, not copied: it must stay alive);
    // a later call replaces both the instance handle and the table.
    KELV_PER_MODULE static void EnableFactoryComponents(HINSTANCE instance, const CKelvFactoryData* table,
                                                        LONG count)
    {
        KelvInProcDetail::Enable(KelvInProcDetail::ThisModule(), instance, table, count);
    }
    // An IClassFactory (or any interface it answers) for a class of the
    // table. A class not in the table: CLASS_E_CLASSNOTAVAILABLE.
    KELV_PER_MODULE static HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out)
    {
        return KelvInProcDetail::GetClassObject(KelvInProcDetail::ThisModule(), clsid, iid, out);
    }
    // S_OK when no object of the module (class factories included) is alive
    // and no lock is held, else S_FALSE.
    KELV_PER_MODULE static HRESULT CanUnloadNow()
    {
        return KelvInProcDetail::CanUnloadNow(KelvInProcDetail::ThisModule());
    }
    // Writes every row (CLSID, description, both ProgIDs, type library and
    // the path of the module file) into the class registry.
    KELV_PER_MODULE static HRESULT RegisterAll()
    {
        return KelvInProcDetail::RegisterAll(KelvInProcDetail::ThisModule());
    }
    // Removes every row's class from the class registry.
    KELV_PER_MODULE static HRESULT UnregisterAll()
    {
        return KelvInProcDetail::UnregisterAll(KelvInProcDetail::ThisModule());
    }
    // The instance handle given with the table (null when none was given).
    KELV_PER_MODULE static HINSTANCE Instance()
    {
        return KelvInProcDetail::Instance(KelvInProcDetail::ThisModule());
    }
};

// Member names and dispatch identifiers of a dual interface, for
// GetIDsOfNames. A module specialises KelvDispatchNames for its interfaces:
//   template <> struct KelvDispatchNames<IFoo> {
//       static const std::vector<KelvDispatchName>& Names()
//       {
//           static const std::vector<KelvDispatchName> names{{u"Run", 0x6A}};
//           return names;
//       }
//   };
struct KelvDispatchName
{
    const char16_t* name;
    DISPID id;
};

template <class I>
struct KelvDispatchNames
{
    static const std::vector<KelvDispatchName>& Names()
    {
        static const std::vector<KelvDispatchName> none;
        return none;
    }
};

namespace KelvInProcDetail
{
// Looks names[0] up (case-insensitively) in the table; further names (the
// parameters) are not known and get DISPID_UNKNOWN.
HRESULT GetIDsOfNames(const std::vector<KelvDispatchName>& table, LPOLESTR* names, UINT count,
                      DISPID* ids);
} // namespace KelvInProcDetail

// IDispatch of a dual interface I. There is no type information; callers go
// through the interface itself, so late-bound Invoke is not offered.
template <class I>
class IKelvDispatchImpl : public I
{
public:
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return KelvInProcDetail::GetIDsOfNames(KelvDispatchNames<I>::Names(), names, count, ids);
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};
