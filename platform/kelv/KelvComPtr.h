// Counted smart pointer to a COM interface.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "com/com.h"
#include "kelv/KelvErrors.h"

template <class T>
class KelvComPtr
{
public:
    KelvComPtr() noexcept = default;
    KelvComPtr(std::nullptr_t) noexcept {}
    // Takes a reference of its own (AddRef).
    explicit KelvComPtr(T* p) noexcept : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    KelvComPtr(const KelvComPtr& other) noexcept : KelvComPtr(other.m_p) {}
    KelvComPtr(KelvComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    // Implicit upcast from a pointer to a derived interface.
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*> && !std::is_same_v<U, T>>>
    KelvComPtr(const KelvComPtr<U>& other) noexcept : KelvComPtr(static_cast<T*>(other.get()))
    {
    }
    ~KelvComPtr() { Release(); }

    KelvComPtr& operator=(const KelvComPtr& other) noexcept
    {
        KelvComPtr(other).swap(*this);
        return *this;
    }
    KelvComPtr& operator=(KelvComPtr&& other) noexcept
    {
        KelvComPtr(std::move(other)).swap(*this);
        return *this;
    }
    KelvComPtr& operator=(std::nullptr_t) noexcept
    {
        Release();
        return *this;
    }

    // Takes over a reference the caller owns (no AddRef).
    static KelvComPtr Adopt(T* p) noexcept
    {
        KelvComPtr result;
        result.m_p = p;
        return result;
    }
    // Like Adopt, on this pointer: releases the current interface first.
    void Attach(T* p) noexcept
    {
        T* old = m_p;
        m_p = p;
        if (old)
            old->Release();
    }
    // Hands the reference to the caller and leaves this pointer null.
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }

    T* get() const noexcept { return m_p; }
    // Throws the framework's null-pointer error (KelvResult E_POINTER) on null.
    T* operator->() const
    {
        Kelv::CheckNullDereference(m_p);
        return m_p;
    }
    T& operator*() const
    {
        Kelv::CheckNullDereference(m_p);
        return *m_p;
    }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void Release() noexcept
    {
        if (T* old = std::exchange(m_p, nullptr))
            old->Release();
    }
    // Releases the current interface and gives the slot for an out argument.
    T** Receive() noexcept
    {
        Release();
        return &m_p;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

    // The object's interface U; throws Kelv::QueryInterfaceFailure when the
    // object refuses it and the null-pointer error when this pointer is null.
    template <class U>
    KelvComPtr<U> QueryInterface() const
    {
        Kelv::CheckNullDereference(m_p);
        KelvComPtr<U> result;
        const HRESULT hr = m_p->QueryInterface(uuidof<U>(), result.ReceiveVoid());
        if (FAILED(hr) || !result)
            throw Kelv::QueryInterfaceFailure(hr, uuidof<U>());
        return result;
    }
    // The object's interface U, or null when it is refused or this is null.
    template <class U>
    KelvComPtr<U> TryQueryInterface() const noexcept
    {
        KelvComPtr<U> result;
        if (m_p && FAILED(m_p->QueryInterface(uuidof<U>(), result.ReceiveVoid())))
            result.Release();
        return result;
    }
    // The interface T of any object (through QueryInterface); null when p is
    // null or refuses T.
    static KelvComPtr QueryFrom(IUnknown* p) noexcept
    {
        KelvComPtr result;
        if (p && FAILED(p->QueryInterface(uuidof<T>(), result.ReceiveVoid())))
            result.Release();
        return result;
    }

    void swap(KelvComPtr& other) noexcept { std::swap(m_p, other.m_p); }

private:
    T* m_p = nullptr;
};

template <class T, class U>
bool operator==(const KelvComPtr<T>& a, const KelvComPtr<U>& b) noexcept
{
    return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const KelvComPtr<T>& a, const KelvComPtr<U>& b) noexcept
{
    return a.get() != b.get();
}
template <class T>
bool operator<(const KelvComPtr<T>& a, const KelvComPtr<T>& b) noexcept
{
    return a.get() < b.get();
}
template <class T>
bool operator==(const KelvComPtr<T>& a, const T* b) noexcept
{
    return a.get() == b;
}
template <class T>
bool operator!=(const KelvComPtr<T>& a, const T* b) noexcept
{
    return a.get() != b;
}
template <class T>
bool operator==(const KelvComPtr<T>& a, std::nullptr_t) noexcept
{
    return !a;
}
template <class T>
bool operator!=(const KelvComPtr<T>& a, std::nullptr_t) noexcept
{
    return static_cast<bool>(a);
}
