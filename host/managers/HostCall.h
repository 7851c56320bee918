// Small helpers shared by the host's COM objects: running a method body with
// the framework's error mapping, reading and writing strings, checking out
// arguments, and recording calls in the operation log.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include "host/model/ComSupport.h"
#include "host/model/OperationLog.h"

#include <cstdint>
#include <string>
#include <vector>

namespace QzHost {

// Runs a host method: a thrown KelvResult (or any other exception) becomes the
// method's HRESULT with error information for the interface, so that the
// caller's KelvResult::SetLastError finds the host's own text.
template <class F>
HRESULT HostCall(REFIID iid, F&& body)
{
    return Kelv::ComMethod(GUID_NULL, iid, std::forward<F>(body));
}

// Throws KelvResult(hr, message).
[[noreturn]] inline void Fail(HRESULT hr, const std::string& message)
{
    throw KelvResult(hr, message);
}

// A null out pointer is the caller's mistake: E_POINTER.
inline void RequireOut(const void* out)
{
    if (!out)
        Fail(E_POINTER, "No pointer supplied for output argument.");
}

inline std::string Narrow(const OLECHAR* text)
{
    return NarrowFromBSTR(text);
}

// Stores a new BSTR in *out (E_POINTER when out is null).
inline void StoreString(BSTR* out, const std::string& text)
{
    RequireOut(out);
    *out = Kelv::bstrdup(text);
}

// Hands an interface reference to an out argument (an AddRef of its own).
template <class T, class U>
void StoreInterface(T** out, const KelvComPtr<U>& object)
{
    RequireOut(out);
    *out = object.get();
    if (*out)
        (*out)->AddRef();
}

// The VARIANT as text for the operation log (one rule for every service).
using HostModel::DescribeVariant;

inline void Log(const std::string& service, const std::string& call, const std::vector<std::string>& arguments = {})
{
    HostModel::OperationLog::Record(service, call, arguments);
}

// Argument renderings of the log: flags and policy words in hexadecimal
// ("0x28"), texts in double quotes, booleans as true/false.
std::string Hex(std::int64_t value);
std::string Quote(const std::string& text);
inline std::string BoolText(bool value)
{
    return value ? "true" : "false";
}

// The identity of a COM object (its IUnknown), without a reference of its own.
inline IUnknown* Identity(IUnknown* object)
{
    if (!object)
        return nullptr;
    IUnknown* identity = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))) || !identity)
        return nullptr;
    identity->Release();
    return identity;
}

} // namespace QzHost
