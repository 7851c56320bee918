// Task memory, apartment start-up and atomic counters.
#pragma once

#include <cstddef>

#include "com/types.h"

// Memory that crosses an interface boundary (for example the ProgID text of
// ProgIDFromCLSID). CoTaskMemFree(nullptr) is allowed.
void* CoTaskMemAlloc(size_t cb);
void CoTaskMemFree(void* pv);

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

// There are no apartments here: these succeed and do nothing.
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();

// Atomic (sequentially consistent) counters; they return the new value.
inline LONG InterlockedIncrement(LONG volatile* addend)
{
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* addend)
{
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline ULONG InterlockedIncrement(ULONG volatile* addend)
{
    return __atomic_add_fetch(addend, 1u, __ATOMIC_SEQ_CST);
}
inline ULONG InterlockedDecrement(ULONG volatile* addend)
{
    return __atomic_sub_fetch(addend, 1u, __ATOMIC_SEQ_CST);
}
// Returns the previous value.
inline LONG InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
// Returns the previous value.
inline LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
