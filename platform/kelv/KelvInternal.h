// Shared by the framework's own sources only.
#pragma once

#include <new>

namespace KelvInternal
{
// The framework reports exhausted memory as std::bad_alloc with the text
// "bad allocation", whatever the standard library's own text is.
class BadAllocation : public std::bad_alloc
{
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

[[noreturn]] inline void ThrowBadAllocation()
{
    throw BadAllocation();
}
} // namespace KelvInternal
