#pragma once
// The module's class table.

#include <cstdint>

#include "com/com.h"
#include "kelv/KelvInProc.h"

namespace QorZelm {

// Number of rows of the current build's class table.
inline constexpr LONG ClassTableCount = 7;

// The static class table handed to the framework's class factory, and its
// number of rows; each build links its own table.
const CKelvFactoryData* ClassTable();
LONG ClassTableSize();

// Create function of a row whose class this build does not contain: creates
// nothing and fails with CLASS_E_CLASSNOTAVAILABLE naming the class.
HRESULT ClassNotInThisBuild(REFCLSID clsid, void** out);

// Whether the table has been handed to the framework in this process.
bool ModuleEnabled();

// Hands the table to the framework, with the library's instance handle
// (null when an export hands it over before the attach notification).
void EnableModule(HINSTANCE instance);

}  // namespace QorZelm

// The library entry routine: on process attach (reason 1) hands the class
// table to the framework; every reason returns TRUE.
extern "C" BOOL DllMain(HINSTANCE instance, DWORD reason, void* reserved);

// The four COM server entry points, the module's only exports with the two
// trajectory functions.
extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
extern "C" HRESULT DllCanUnloadNow();
extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();
