// Owner of an automation safe array.
#pragma once

#include <string>
#include <vector>

#include "com/com.h"
#include "kelv/KelvVariant.h"

class KelvSafeArray
{
public:
    KelvSafeArray() noexcept = default;
    // A one-dimensional array of `count` zeroed elements of type vt starting
    // at index lbound. Throws KelvResult E_OUTOFMEMORY "Unable to create
    // SafeArray" when it cannot be created (including an element type the
    // runtime does not support).
    KelvSafeArray(VARTYPE vt, ULONG count, LONG lbound = 0);
    // Takes ownership of an existing array (null allowed).
    explicit KelvSafeArray(SAFEARRAY* array) noexcept : m_array(array) {}
    KelvSafeArray(KelvSafeArray&& other) noexcept;
    KelvSafeArray& operator=(KelvSafeArray&& other) noexcept;
    KelvSafeArray(const KelvSafeArray&) = delete;
    KelvSafeArray& operator=(const KelvSafeArray&) = delete;
    ~KelvSafeArray();

    // A 1-D VT_BSTR array, lower bound 0; element i is a new BSTR of texts[i].
    static KelvSafeArray FromStrings(const std::vector<std::string>& texts);

    // Hands the array to an out argument, destroying an array that stood
    // there before; this object is empty afterwards. A null out pointer
    // throws KelvResult E_POINTER.
    void StoreIn(SAFEARRAY** out);
    SAFEARRAY* Get() const noexcept { return m_array; }
    SAFEARRAY* Detach() noexcept;

    // Element type (VT_EMPTY when there is no array).
    VARTYPE ElementType() const;
    // Number of elements over all dimensions (0 when there is no array).
    ULONG Count() const noexcept;

    // Element access of a one-dimensional array by index (the index counts
    // from the array's lower bound, as the runtime's indices do). An index out
    // of range or a wrong element type throws KelvResult with the runtime's
    // HRESULT.
    std::string GetString(LONG index) const;
    void PutString(LONG index, const std::string& text);
    LONG GetLong(LONG index) const;
    void PutLong(LONG index, LONG value);
    double GetDouble(LONG index) const;
    void PutDouble(LONG index, double value);
    KelvVariant GetVariant(LONG index) const;
    void PutVariant(LONG index, const KelvVariant& value);

private:
    void Reset() noexcept;
    void RequireType(VARTYPE vt) const;

    SAFEARRAY* m_array = nullptr;
};
