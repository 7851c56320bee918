// Holder of an automation variant.
#pragma once

#include <string>

#include "com/com.h"
#include "kelv/KelvBSTR.h"
#include "kelv/KelvComPtr.h"

class KelvVariant
{
public:
    KelvVariant() noexcept;
    KelvVariant(bool value) noexcept;         // VT_BOOL
    KelvVariant(int32_t value) noexcept;      // VT_I4
    KelvVariant(double value) noexcept;       // VT_R8
    KelvVariant(const char* text);            // VT_BSTR (Latin-1)
    KelvVariant(const std::string& text);     // VT_BSTR (Latin-1)
    KelvVariant(const KelvBSTR& text);        // VT_BSTR (a copy)
    KelvVariant(IUnknown* object) noexcept;   // VT_UNKNOWN, AddRef'd
    KelvVariant(IDispatch* object) noexcept;  // VT_DISPATCH, AddRef'd
    // A deep copy (VariantCopy); throws KelvResult when it fails.
    KelvVariant(const VARIANT& value);

    KelvVariant(const KelvVariant& other);
    KelvVariant(KelvVariant&& other) noexcept;
    KelvVariant& operator=(const KelvVariant& other);
    KelvVariant& operator=(KelvVariant&& other) noexcept;
    // Clears the variant. Never throws: a variant that cannot be cleared (an
    // array locked by someone else) is abandoned rather than letting an
    // exception escape a destructor.
    ~KelvVariant() noexcept;

    // Clears the held value and gives the variant for an out argument.
    VARIANT* Receive() noexcept;
    const VARIANT& Get() const noexcept { return m_value; }
    VARIANT* Ptr() noexcept { return &m_value; }
    VARTYPE Type() const noexcept { return m_value.vt; }
    bool IsEmpty() const noexcept { return m_value.vt == VT_EMPTY; }
    // Clears the held value (KelvResult on failure).
    void Clear();

    // Conversions through VariantChangeType; a failed conversion throws
    // KelvResult with the conversion's HRESULT.
    bool Bool() const;
    LONG Long() const;
    double Double() const;
    // The value as text whatever its stored type (a bool gives "True" or
    // "False").
    std::string String() const;
    KelvBSTR Bstr() const;
    // The object of a VT_UNKNOWN or VT_DISPATCH value, with a reference of its
    // own. A variant that holds no object (another type, or a null pointer)
    // throws the framework's null-pointer error (KelvResult E_POINTER).
    KelvComPtr<IUnknown> ExtractUnknown() const;

    // Hands the value to the caller (who clears it) and leaves this empty.
    VARIANT Detach() noexcept;

private:
    VARIANT m_value;
};
