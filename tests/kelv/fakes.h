// Small hand-made COM objects for the framework tests. They count their
// references and never delete themselves: the test owns them and checks that
// every reference taken was given back.
#pragma once

#include <string>

#include "com/com.h"
#include "common/ErrorInfo.h"
#include "common/FakeCom.h"
#include "hostapi/hostapi.h"

template <class I>
class FakeBase : public I
{
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == uuidof<I>() || Answers(iid)) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }

    ULONG references = 1;

protected:
    virtual bool Answers(REFIID) { return false; }
};

template <class I>
class FakeDispatchBase : public FakeBase<QzTest::NoDispatch<I>>
{
protected:
    bool Answers(REFIID iid) override { return iid == IID_IDispatch; }
};

using QzTest::ErrorInfoText;
using QzTest::SetHostError;
using QzTest::TakeErrorInfo;

class FakeUnknown : public FakeBase<IUnknown>
{
};
