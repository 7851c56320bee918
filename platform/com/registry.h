// Class registry and object activation.
//
// Two sources resolve a class identifier:
//  * class objects registered in this process (CoRegisterClassObject); the
//    stand-in host registers its own classes this way, and
//    ComRegistry::RegisterInProcessProgId makes a ProgID name one of them;
//  * the persisted registry, a JSON file written by modules' registration
//    entry points. Its path is $QZ_REGISTRY_FILE, else
//    $XDG_CONFIG_HOME/qorzelm/registry.json, else
//    ~/.config/qorzelm/registry.json. A registered class names the shared
//    library that serves it; CoGetClassObject loads that library once
//    (dlopen, kept loaded) and asks its exported "DllGetClassObject", which
//    must have the C-linkage signature DllGetClassObjectFunction.
#pragma once

#include <string>
#include <vector>

#include "com/guid.h"
#include "com/interfaces.h"
#include "com/types.h"

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);

namespace ComRegistry
{
struct ClassEntry
{
    CLSID clsid{};
    std::string description;
    std::string progId;          // version-independent, e.g. "QorZelm.ZelmLogic"
    std::string versionedProgId; // e.g. "QorZelm.ZelmLogic.1"
    std::string modulePath;      // shared library serving the class
    GUID typeLib{};
};

// Adds or replaces the entry for entry.clsid. A ProgID that another class
// held moves to this one. The file is rewritten whole through a temporary
// file and a rename, so readers never see a half-written registry. A
// corrupt existing file is not overwritten: the call fails. Failures set
// error information naming the file.
HRESULT RegisterClass(const ClassEntry& entry);
// Removes the entry; S_FALSE when it was not registered.
HRESULT UnregisterClass(const CLSID& clsid);

// Entries of the persisted registry, in CLSID order. A missing file is an
// empty registry; a corrupt one reads as empty (the lookups below then fail
// and LoadError tells why).
std::vector<ClassEntry> Classes();
bool FindClass(const CLSID& clsid, ClassEntry& entry);
// Matches the version-independent or the versioned ProgID (exact, case
// sensitive). In-process ProgIDs are searched first.
bool FindProgId(const std::string& progId, CLSID& clsid);

// S_OK when the registry file is missing or well formed; otherwise a
// failure HRESULT, with error information naming the file and the fault.
HRESULT CheckFile();

// The registry file in use (re-read from the environment on every call).
std::string FilePath();

// Makes progId resolve (CLSIDFromProgID, FindProgId) to clsid for the life of
// the process, without touching the file.
HRESULT RegisterInProcessProgId(const std::string& progId, REFCLSID clsid);
} // namespace ComRegistry

// Class contexts.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                    CLSCTX_REMOTE_SERVER;

// Registration flags of CoRegisterClassObject (accepted, not distinguished).
inline constexpr DWORD REGCLS_SINGLEUSE = 0;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;
inline constexpr DWORD REGCLS_MULTI_SEPARATE = 2;

// Registers a class object for this process (it is AddRef'd and released by
// CoRevokeClassObject). A later registration of the same CLSID takes
// precedence until it is revoked. *lpdwRegister receives a non-zero cookie.
HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              DWORD* lpdwRegister);
HRESULT CoRevokeClassObject(DWORD dwRegister);

// In-process class objects first, then the persisted registry. The context
// must include an in-process or server bit (CLSCTX_SERVER is what callers
// pass). Unknown class: REGDB_E_CLASSNOTREG. A module that cannot be loaded
// or exports no "DllGetClassObject" fails with error information naming the
// path and the loader's message.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid,
                         void** ppv);
// Through the class object's IClassFactory::CreateInstance. An outer object
// gives CLASS_E_NOAGGREGATION.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);

// A ProgID (registered in-process or in the file, versioned or not) to a
// CLSID; CO_E_CLASSSTRING when it is unknown, the registry's error when the
// file is corrupt.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
// The version-independent ProgID (the versioned one when that is all there
// is), allocated with CoTaskMemAlloc. REGDB_E_CLASSNOTREG when unknown.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
// Parses a GUID text with or without braces; CO_E_CLASSSTRING otherwise.
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
// Writes "{...}" and its NUL; returns the number of characters written
// including the NUL (39), or 0 when cchMax is too small.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
