#include "com/runtime.h"

#include <cstdlib>

void* CoTaskMemAlloc(size_t cb) { return std::malloc(cb == 0 ? 1 : cb); }

void CoTaskMemFree(void* pv) { std::free(pv); }

HRESULT CoInitialize(void*) { return S_OK; }

HRESULT CoInitializeEx(void*, DWORD) { return S_OK; }

void CoUninitialize() {}
