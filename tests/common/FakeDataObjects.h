// Data-model objects of the host for the tests: a 3-D point, a 1-based
// collection of values and an object with named properties.
#pragma once

#include "common/ErrorInfo.h"
#include "common/FakeCom.h"

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

#include <map>
#include <string>
#include <vector>

namespace QzTest {

class Point final : public Fake<NoDispatch<ISDPoint3d>> {
public:
    Point(double px, double py, double pz) : x(px), y(py), z(pz) {}
    HRESULT get_X(double* v) override { return *v = x, S_OK; }
    HRESULT put_X(double v) override { return x = v, S_OK; }
    HRESULT get_Y(double* v) override { return *v = y, S_OK; }
    HRESULT put_Y(double v) override { return y = v, S_OK; }
    HRESULT get_Z(double* v) override { return *v = z, S_OK; }
    HRESULT put_Z(double v) override { return z = v, S_OK; }
    HRESULT GetXYZ(double* px, double* py, double* pz) override
    {
        *px = x, *py = y, *pz = z;
        return S_OK;
    }
    HRESULT SetXYZ(double px, double py, double pz) override
    {
        x = px, y = py, z = pz;
        return S_OK;
    }
    double x, y, z;
};

// Values numbered from 1, as the host's collections are.
class Collection final : public Fake<ISDVariantDataDimension> {
public:
    HRESULT Add(VARIANT value, LONG* index) override
    {
        values.emplace_back(value);
        if (index)
            *index = static_cast<LONG>(values.size());
        return S_OK;
    }
    HRESULT get_Count(LONG* count) override { return *count = static_cast<LONG>(values.size()), S_OK; }
    HRESULT Item(LONG index, VARIANT* value) override
    {
        VariantInit(value);
        if (index < 1 || index > static_cast<LONG>(values.size()))
            return HostError(DISP_E_BADINDEX, "No item " + std::to_string(index));
        return VariantCopy(value, &values[static_cast<std::size_t>(index - 1)].Get());
    }
    std::vector<KelvVariant> values;
};

// ISDObject (and the interfaces I...) over a map of values. A value that is
// VT_EMPTY reads as "no value" (SDPropertyNoValue, S_FALSE); a name that is
// not in the map is an unknown property.
template <class... I>
class PropertyObject : public Fake<ISDObject, I...> {
public:
    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        VariantInit(value);
        const auto found = properties.find(NarrowFromBSTR(name));
        if (found == properties.end())
            return HostError(E_INVALIDARG, "Unknown property " + NarrowFromBSTR(name));
        const bool empty = found->second.IsEmpty();
        if (status)
            *status = empty ? SDPropertyNoValue : SDPropertySet;
        if (empty)
            return S_FALSE;
        return VariantCopy(value, &found->second.Get());
    }
    HRESULT put_PropertyValue(BSTR name, LONG* status, VARIANT value) override
    {
        properties[NarrowFromBSTR(name)] = KelvVariant(value);
        if (status)
            *status = SDPropertySet;
        return S_OK;
    }
    std::map<std::string, KelvVariant> properties;
};

} // namespace QzTest
