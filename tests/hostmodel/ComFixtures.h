// Helpers for the tests of the document model's COM objects.
#pragma once

#include "ModelFixtures.h"

#include "common/ErrorInfo.h"

#include "host/model/ModelClasses.h"
#include "host/model/ModelObjects.h"
#include "host/model/ValueObjects.h"

#include <gtest/gtest.h>

namespace HostModelTest {

// A container root that offers nothing: the scope utility only keeps it.
class FakeRoot final : public CKelvUnknown, public ISBContainerRoot {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBContainerRoot)
            return FinishQI(static_cast<ISBContainerRoot*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_DiskManager(ISBDiskManager**) override { return E_NOTIMPL; }
    HRESULT get_FolderManager(ISBFolderManager**) override { return E_NOTIMPL; }
    HRESULT get_DocumentManager(ISBDocumentManager**) override { return E_NOTIMPL; }
    HRESULT get_StateManager(ISBStateManager**) override { return E_NOTIMPL; }
    HRESULT get_JobManager(ISBJobManager**) override { return E_NOTIMPL; }
    HRESULT get_OperationManager(ISBOperationManager**) override { return E_NOTIMPL; }
    HRESULT get_ModuleManager(ISBModuleManager**) override { return E_NOTIMPL; }
    HRESULT get_ScopeManager(ISBScopeManager**) override { return E_NOTIMPL; }
    HRESULT get_Extensions(ISBExtensions**) override { return E_NOTIMPL; }
    HRESULT get_DocumentService(ISBDocumentService**) override { return E_NOTIMPL; }
    HRESULT get_PathService(ISBPathService**) override { return E_NOTIMPL; }
};

// A stream that only knows its path.
class FakeStream final : public CKelvUnknown, public ISBStream {
public:
    explicit FakeStream(std::string path) : m_path(std::move(path)) {}
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBStream)
            return FinishQI(static_cast<ISBStream*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_FilePath(BSTR* path) override
    {
        *path = Kelv::bstrdup(m_path);
        return S_OK;
    }
    HRESULT Open(LONG, VARIANT) override { return S_OK; }
    HRESULT Close() override { return S_OK; }

private:
    std::string m_path;
};

// A scope of a document that is not a structure document.
class ForeignScope final : public CKelvUnknown, public ISBScope {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBScope)
            return FinishQI(static_cast<ISBScope*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_Objects(ISBScopeObjects**) override { return E_NOTIMPL; }
    HRESULT get_DocumentRoot(ISBDocumentRoot** root) override
    {
        *root = nullptr;
        return S_FALSE;
    }
};

template <class I> KelvComPtr<I> Query(IUnknown* object)
{
    KelvComPtr<I> result;
    EXPECT_TRUE(object != nullptr);
    if (object) {
        EXPECT_EQ(object->QueryInterface(I::Iid(), result.ReceiveVoid()), S_OK);
    }
    return result;
}

template <class I, class U> KelvComPtr<I> Query(const KelvComPtr<U>& object) { return Query<I>(object.get()); }

struct PropertyRead {
    HRESULT hr;
    LONG status;
    KelvVariant value;
};

inline PropertyRead Read(IUnknown* object, const char* name)
{
    PropertyRead r{E_FAIL, SDPropertyNoHint, {}};
    KelvComPtr<ISDObject> o = Query<ISDObject>(object);
    KelvBSTR n(name);
    r.hr = o->get_PropertyValue(n.Get(), &r.status, r.value.Receive());
    return r;
}

inline HRESULT Write(IUnknown* object, const char* name, const KelvVariant& value)
{
    KelvComPtr<ISDObject> o = Query<ISDObject>(object);
    KelvBSTR n(name);
    LONG status = SDPropertyNoHint;
    return o->put_PropertyValue(n.Get(), &status, value.Get());
}

inline Vec3 ReadPoint(IUnknown* object, const char* name)
{
    PropertyRead r = Read(object, name);
    EXPECT_EQ(r.hr, S_OK) << name;
    return PointFromVariant(r.value.Get());
}

using QzTest::LastErrorText;

inline std::vector<KelvComPtr<IUnknown>> Items(ISBScope* scope)
{
    std::vector<KelvComPtr<IUnknown>> r;
    KelvComPtr<ISBScopeObjects> objects;
    EXPECT_EQ(scope->get_Objects(objects.Receive()), S_OK);
    LONG count = 0;
    EXPECT_EQ(objects->get_Count(&count), S_OK);
    for (LONG i = 1; i <= count; ++i) {
        KelvComPtr<IUnknown> item;
        EXPECT_EQ(objects->Item(i, item.Receive()), S_OK);
        r.push_back(item);
    }
    return r;
}

inline IUnknown* Identity(IUnknown* object)
{
    IUnknown* id = nullptr;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&id));
    id->Release();
    return id;
}

} // namespace HostModelTest
