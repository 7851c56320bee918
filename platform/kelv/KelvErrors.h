// Error conversion and small helpers of the framework (namespace Kelv).
#pragma once

#include <cxxabi.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "com/com.h"
#include "kelv/KelvResult.h"

namespace Kelv
{
// The six error mappers. Each publishes COM error information on the calling
// thread (description = the error's text, GUID = the interface identifier,
// source = the class identifier as "{...}" text, "" for GUID_NULL) and
// returns the HRESULT the method is to return:
//  - _com_error: its code; its error object's description, else the code's
//    standard text;
//  - KelvResult: its code and message (standard text when the message is
//    empty);
//  - a thrown HRESULT: that code with its standard text;
//  - std::bad_alloc: E_OUTOFMEMORY with what();
//  - std::exception: E_FAIL with what();
//  - anything else: E_UNEXPECTED, "An unexpected exception occurred.".
// Something thrown always reports a failure: a success code inside a thrown
// _com_error, KelvResult or HRESULT becomes E_FAIL (its text is kept).
// None of them throws.
HRESULT CaughtCOMError(const _com_error& error, REFCLSID clsid, REFIID iid) noexcept;
HRESULT CaughtKelvResult(const KelvResult& error, REFCLSID clsid, REFIID iid) noexcept;
HRESULT CaughtHRESULT(HRESULT hr, REFCLSID clsid, REFIID iid) noexcept;
HRESULT CaughtStdBadAlloc(const std::bad_alloc& error, REFCLSID clsid, REFIID iid) noexcept;
HRESULT CaughtStdException(const std::exception& error, REFCLSID clsid, REFIID iid) noexcept;
HRESULT CaughtAnything(REFCLSID clsid, REFIID iid) noexcept;

// Runs the body of a COM method inside the six catch clauses, in the order
// _com_error, KelvResult, HRESULT, std::bad_alloc, std::exception, anything.
// A body returning void gives S_OK; one returning an HRESULT gives that value.
// Only a thread cancellation passes through (it must keep unwinding).
//   return Kelv::ComMethod(CLSID_X, IID_IX, [&] { ... });
template <class F>
HRESULT ComMethod(REFCLSID clsid, REFIID iid, F&& body)
{
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<F&>>) {
            body();
            return S_OK;
        } else {
            return static_cast<HRESULT>(body());
        }
    } catch (const _com_error& e) {
        return CaughtCOMError(e, clsid, iid);
    } catch (const KelvResult& e) {
        return CaughtKelvResult(e, clsid, iid);
    } catch (HRESULT hr) {
        return CaughtHRESULT(hr, clsid, iid);
    } catch (const std::bad_alloc& e) {
        return CaughtStdBadAlloc(e, clsid, iid);
    } catch (const std::exception& e) {
        return CaughtStdException(e, clsid, iid);
    } catch (abi::__forced_unwind&) {
        throw; // thread cancellation must keep unwinding
    } catch (...) {
        return CaughtAnything(clsid, iid);
    }
}

// A new BSTR the caller owns (an empty text gives an empty, non-null BSTR).
// Allocation failure throws std::bad_alloc ("bad allocation").
BSTR bstrdup(const std::string& text);
BSTR bstrdup(const OLECHAR* text);
// A BSTR (or null) as narrow Latin-1 text.
std::string BSTRToTString(const OLECHAR* bstr);

// Throws KelvResult E_POINTER when p is null.
void CheckNullDereference(const void* p);
// The error to throw when a QueryInterface fails: hr (E_NOINTERFACE when hr
// is not a failure) with a message naming the interface.
KelvResult QueryInterfaceFailure(HRESULT hr, REFIID iid);

// Creates an object through the class registry (CoCreateInstance). The class
// is given as a ProgID ("QorQMUtilities.ScopeUtility") or a "{CLSID}" text,
// or as a CLSID. *out receives the interface iid (null on failure). The
// result is returned, and also thrown when throwOnFailure is set; its message
// is the error information the failing call left, else a text naming the
// class and the standard description.
KelvResult KelvCreateImpl(const std::string& progIdOrClsidText, IUnknown* outer, DWORD context,
                          REFIID iid, void** out, bool throwOnFailure);
KelvResult KelvCreateImpl(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out,
                          bool throwOnFailure);
} // namespace Kelv

namespace qlf
{
// The pooled allocator of the framework's containers.
template <class T>
using MemoryPool = std::allocator<T>;
} // namespace qlf
