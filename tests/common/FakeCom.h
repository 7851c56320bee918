// Hand-made COM objects for the tests: reference counting and
// QueryInterface over a list of interfaces. A fake starts with one
// reference and deletes itself when the last one is released.
#pragma once

#include "com/com.h"
#include "kelv/kelv.h"

#include <atomic>
#include <utility>

namespace QzTest {

// A COM object answering IUnknown, First and More...; `Extra` may answer
// further interfaces.
template <class First, class... More>
class Fake : public First, public More... {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown)
            *out = static_cast<First*>(this);
        else if (!(Try<First>(iid, out) || ... || Try<More>(iid, out)))
            *out = Extra(iid);
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    ULONG References() const { return m_references; }

protected:
    virtual ~Fake() = default;
    // Further interfaces (for example IDispatch); null for none.
    virtual void* Extra(REFIID) { return nullptr; }

private:
    template <class T>
    bool Try(REFIID iid, void** out)
    {
        if (iid != uuidof<T>())
            return false;
        *out = static_cast<T*>(this);
        return true;
    }

    std::atomic<ULONG> m_references{1};
};

// Makes a fake, taking over its first reference.
template <class T, class... Args>
KelvComPtr<T> Make(Args&&... args)
{
    return KelvComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

// The IDispatch members of a dual interface, none offered.
template <class I>
class NoDispatch : public I {
public:
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

} // namespace QzTest
