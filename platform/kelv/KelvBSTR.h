// Automation string whose data copies share under an atomic count.
#pragma once

#include <string>

#include "com/com.h"

class KelvBSTR
{
public:
    KelvBSTR() noexcept = default;
    // Narrow text, byte for byte (Latin-1). An empty text gives an empty
    // string. Allocation failure throws std::bad_alloc ("bad allocation").
    KelvBSTR(const std::string& text);
    KelvBSTR(const char* text);
    // Copies a NUL-terminated wide text (null gives an empty string). A BSTR
    // passed here is copied up to its first NUL; use Attach or the
    // u16string form to keep embedded NULs.
    KelvBSTR(const OLECHAR* text);
    KelvBSTR(const std::u16string& text);

    KelvBSTR(const KelvBSTR& other) noexcept;
    KelvBSTR(KelvBSTR&& other) noexcept;
    KelvBSTR& operator=(const KelvBSTR& other) noexcept;
    KelvBSTR& operator=(KelvBSTR&& other) noexcept;
    ~KelvBSTR();

    // Takes ownership of a BSTR (null gives an empty string).
    static KelvBSTR Attach(BSTR bstr);
    // A NEW copy for an out argument, owned by the caller (never null: an
    // empty string gives an empty BSTR). Allocation failure throws
    // std::bad_alloc ("bad allocation").
    BSTR Detach() const;
    // The shared string itself, for in arguments; null when empty. Owned by
    // this object and its copies.
    BSTR Get() const noexcept;

    std::string ToTString() const;
    std::u16string ToWString() const;
    UINT Length() const noexcept;
    bool IsEmpty() const noexcept { return Length() == 0; }

    // Drops the current data (other copies keep it) and gives a slot for an
    // out argument; the string written there is then owned by this object.
    BSTR* Receive();

    bool operator==(const KelvBSTR& other) const noexcept;
    bool operator!=(const KelvBSTR& other) const noexcept { return !(*this == other); }

private:
    struct Data;
    explicit KelvBSTR(Data* data) noexcept : m_data(data) {}
    static Data* Adopt(BSTR bstr);
    void Drop() noexcept;

    Data* m_data = nullptr;
};
