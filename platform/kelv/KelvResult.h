// The framework's error object and the per-thread last error of host calls.
#pragma once

#include <string>

#include "com/com.h"

// An HRESULT with a message. Thrown inside components and turned into an
// HRESULT with error information at every COM method (Kelv::ComMethod).
// It is deliberately not a std::exception: the catch clauses of a COM method
// tell the two apart.
class KelvResult
{
public:
    KelvResult(HRESULT hr = S_OK);
    KelvResult(HRESULT hr, const std::string& message, int descriptionAction = 0);

    HRESULT GetHRESULT() const { return m_hr; }
    // The message as given; "" when none was given (the error mappers then
    // use the standard description of the code).
    const std::string& GetMessage() const { return m_message; }
    int GetDescriptionAction() const { return m_descriptionAction; }
    bool Succeeded() const { return SUCCEEDED(m_hr); }
    bool Failed() const { return FAILED(m_hr); }
    // Throws this object when it holds a failure code.
    void Check() const;

    // The calling thread's last error of a host call.
    //
    // SetLastError(hr) records hr with a text: for a failure code the
    // description of the error information that the failed call left on this
    // thread, else (or when that is empty) the standard description of hr. The
    // pending error information is consumed in every case, so that a later
    // failure without information of its own never inherits a stale text.
    static void SetLastError(HRESULT hr);
    static void SetLastError(const KelvResult& error);
    static KelvResult LastError();
    // The recorded error as something to throw. It is always a failure: a
    // recorded success code (or nothing recorded) gives E_UNEXPECTED with a
    // text saying so, never a result that would let the caller pass.
    static KelvResult LastErrorCheckNotS_OK();

    // The host-call convention: any code but S_OK is recorded; a failure is
    // thrown as LastErrorCheckNotS_OK(). S_FALSE and other success codes pass.
    static void Check(HRESULT hr);
    // false throws LastErrorCheckNotS_OK().
    static void Check(bool ok);
    // Throws the given result when it is a failure.
    static void Check(const KelvResult& result);

private:
    HRESULT m_hr;
    std::string m_message;
    int m_descriptionAction;
};
