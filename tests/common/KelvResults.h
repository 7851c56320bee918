// What a call that reports failure by throwing KelvResult ended with.
#pragma once

#include "kelv/kelv.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace QzTest {

// The code the call threw, S_OK when it threw nothing.
inline HRESULT CodeOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const KelvResult& error) {
        return error.GetHRESULT();
    }
    return S_OK;
}

// As above; `message` receives the thrown message (left alone otherwise).
inline HRESULT CodeOf(const std::function<void()>& call, std::string& message)
{
    try {
        call();
    } catch (const KelvResult& error) {
        message = error.GetMessage();
        return error.GetHRESULT();
    }
    return S_OK;
}

// The message of the KelvResult the call must throw.
inline std::string MessageOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const KelvResult& error) {
        return error.GetMessage();
    }
    ADD_FAILURE() << "no KelvResult thrown";
    return std::string();
}

} // namespace QzTest
