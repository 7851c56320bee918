// Error information (one slot per thread) and the _com_error exception.
#pragma once

#include <string>

#include "com/interfaces.h"
#include "com/types.h"

// Creates an empty error object; query it for IErrorInfo to publish it.
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Replaces the calling thread's error object (null clears it). dwReserved
// must be 0. The slot holds its own reference.
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Hands the calling thread's error object to the caller (who releases it)
// and empties the slot. S_FALSE and *pperrinfo null when there is none.
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

// An HRESULT with optional error information, thrown by callers that turn
// failed calls into exceptions.
class _com_error
{
public:
    // With addRef false the object adopts the caller's reference to
    // errorInfo; with true it takes a reference of its own.
    explicit _com_error(HRESULT hr, IErrorInfo* errorInfo = nullptr, bool addRef = false);
    _com_error(const _com_error& other);
    _com_error& operator=(const _com_error& other);
    ~_com_error();

    HRESULT Error() const { return m_hr; }
    // The error object, AddRef'd for the caller (who releases it); null when
    // there is none.
    IErrorInfo* ErrorInfo() const;
    // The error object's description, "" when there is none.
    std::string Description() const;
    // The error object's source, "" when there is none.
    std::string Source() const;
    // The standard text of the code (HResultDescription).
    std::string ErrorMessage() const;

private:
    HRESULT m_hr;
    IErrorInfo* m_errorInfo;
};
