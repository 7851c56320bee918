// Test objects whose reference counts the tests can watch.
#pragma once

#include "com/com.h"

// An object that counts references and records its destruction instead of
// deleting itself, so that tests can inspect it after the last Release.
class CountingUnknown : public IDispatch
{
public:
    LONG refs = 1;
    bool destroyed = false;
    bool offersDispatch = true;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || (offersDispatch && riid == IID_IDispatch))
        {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override
    {
        if (--refs == 0)
            destroyed = true;
        return static_cast<ULONG>(refs);
    }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};
