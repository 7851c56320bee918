#include "com/types.h"

#include <cstdio>

namespace
{
struct Description
{
    HRESULT code;
    const char* text;
};

// CONNECT_E_ADVISELIMIT shares its value with SELFREG_E_CLASS; the
// connection-point meaning is the one this runtime's callers produce.
constexpr Description kDescriptions[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_HANDLE, "The handle is invalid."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect"},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_CLASSSTRING, "Invalid class string"},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_ARRAYISLOCKED, "Memory is locked."},
    {CONNECT_E_NOCONNECTION, "The connection does not exist."},
    {CONNECT_E_ADVISELIMIT, "The connection limit has been reached."},
    {CONNECT_E_CANNOTCONNECT, "The sink cannot be connected."},
    {CONNECT_E_OVERRIDDEN, "The connection was overridden."},
    {STG_E_FILENOTFOUND, "The file could not be found."},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified."},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "The system cannot find the path specified."},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "The specified module could not be found."},
    {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "The specified procedure could not be found."},
    {HRESULT_FROM_WIN32(ERROR_BADDB), "The configuration registry database is corrupt."},
    {HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The configuration registry key could not be written."},
};
} // namespace

const char* HResultDescription(HRESULT hr)
{
    for (const Description& d : kDescriptions)
        if (d.code == hr)
            return d.text;
    thread_local char unknown[32];
    std::snprintf(unknown, sizeof unknown, "Unknown error 0x%08X", static_cast<unsigned>(hr));
    return unknown;
}
