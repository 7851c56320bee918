#include "host/model/ModelClasses.h"

#include "host/model/HelperObjects.h"
#include "host/model/ModelObjects.h"
#include "host/model/ValueObjects.h"

#include <vector>

namespace HostModel {

namespace {

// The class objects registered for this process. They are revoked when the
// process ends, so that the registry lets them go; the registry is made by
// the first registration, before this holder is complete, and so outlives it.
struct Registrations {
    HRESULT result = S_OK;
    std::vector<DWORD> cookies;

    Registrations()
    {
        const struct {
            const CLSID* clsid;
            HRESULT (*create)(void**);
        } classes[] = {
            {&CLSID_SDPoint3d, &CreatePoint},
            {&CLSID_SDMatrix3d, &CreateMatrix},
            {&CLSID_SDVariantDataDimension, &CreateCollection},
            {&CLSID_SDPropertyService, &CreatePropertyService},
            {&CLSID_QoAtomNumbering, &CreateAtomNumbering},
            {&CLSID_QoScopeHolder, &CreateScopeHolder},
        };
        for (const auto& c : classes) {
            KelvComPtr<IClassFactory> factory = MakeClassFactory(c.create);
            DWORD cookie = 0;
            const HRESULT hr = CoRegisterClassObject(*c.clsid, factory.get(), CLSCTX_INPROC_SERVER,
                                                     REGCLS_MULTIPLEUSE, &cookie);
            if (SUCCEEDED(hr))
                cookies.push_back(cookie);
            else if (SUCCEEDED(result))
                result = hr;
        }
    }
    ~Registrations()
    {
        for (DWORD cookie : cookies)
            CoRevokeClassObject(cookie);
    }
};

} // namespace

HRESULT RegisterModelClasses()
{
    static Registrations registrations;
    return registrations.result;
}

} // namespace HostModel
