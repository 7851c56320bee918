// Small data-model objects for the species matching tests: atoms with named
// properties, formal-charge fractions and attached-atom collections.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "com/com.h"
#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

template <class Itf>
class FakeComObject : public Itf
{
public:
    HRESULT QueryInterface(REFIID riid, void** out) override
    {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, Itf::Iid())) {
            *out = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_count; }
    ULONG Release() override
    {
        ULONG count = --m_count;
        if (count == 0) {
            delete this;
        }
        return count;
    }

protected:
    virtual ~FakeComObject() = default;

private:
    std::atomic<ULONG> m_count{1};
};

class FakeAtom : public FakeComObject<ISDObject>
{
public:
    static KelvComPtr<ISDObject> Make() { return KelvComPtr<ISDObject>::Adopt(new FakeAtom); }

    static void Set(const KelvComPtr<ISDObject>& atom, const std::string& name, const KelvVariant& value)
    {
        static_cast<FakeAtom*>(atom.get())->m_properties[name] = value;
    }

    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        auto found = m_properties.find(Kelv::BSTRToTString(name));
        if (found == m_properties.end()) {
            return E_INVALIDARG;
        }
        if (status != nullptr) {
            *status = SDPropertySet;
        }
        HRESULT hr = VariantCopy(value, &found->second.Get());
        if (FAILED(hr)) {
            return hr;
        }
        return found->second.IsEmpty() ? S_FALSE : S_OK;
    }
    HRESULT put_PropertyValue(BSTR, LONG*, VARIANT) override { return E_NOTIMPL; }

private:
    std::map<std::string, KelvVariant> m_properties;
};

class FakeFraction : public FakeComObject<ISDFraction>
{
public:
    static KelvVariant Make(LONG numerator, LONG denominator)
    {
        auto* fraction = new FakeFraction;
        fraction->m_numerator = numerator;
        fraction->m_denominator = denominator;
        KelvVariant value(static_cast<IUnknown*>(fraction));
        fraction->Release();
        return value;
    }
    HRESULT GetNumeratorDenominator(LONG* numerator, LONG* denominator) override
    {
        *numerator = m_numerator;
        *denominator = m_denominator;
        return S_OK;
    }

private:
    LONG m_numerator = 0;
    LONG m_denominator = 1;
};

class FakeCollection : public FakeComObject<ISDVariantDataDimension>
{
public:
    static KelvVariant Make(const std::vector<KelvComPtr<ISDObject>>& atoms)
    {
        auto* collection = new FakeCollection;
        for (const auto& atom : atoms) {
            collection->m_items.emplace_back(static_cast<IUnknown*>(atom.get()));
        }
        KelvVariant value(static_cast<IUnknown*>(collection));
        collection->Release();
        return value;
    }
    HRESULT Add(VARIANT, LONG*) override { return E_NOTIMPL; }
    HRESULT get_Count(LONG* count) override
    {
        *count = static_cast<LONG>(m_items.size());
        return S_OK;
    }
    HRESULT Item(LONG index, VARIANT* value) override
    {
        if (index < 1 || index > static_cast<LONG>(m_items.size())) {
            return DISP_E_BADINDEX;
        }
        return VariantCopy(value, &m_items[static_cast<std::size_t>(index - 1)].Get());
    }

private:
    std::vector<KelvVariant> m_items;
};

// An atom of the element with the formal charge numerator/denominator and,
// when `type` is not empty, that forcefield type.
inline KelvComPtr<ISDObject> MakeAtom(const std::string& element, LONG numerator = 0,
                                      LONG denominator = 1, const std::string& type = "")
{
    KelvComPtr<ISDObject> atom = FakeAtom::Make();
    FakeAtom::Set(atom, "ElementSymbol", KelvVariant(element));
    FakeAtom::Set(atom, "FormalCharge", FakeFraction::Make(numerator, denominator));
    FakeAtom::Set(atom, "AttachedAtoms", FakeCollection::Make({}));
    if (!type.empty()) {
        FakeAtom::Set(atom, "ForcefieldType", KelvVariant(type));
    }
    return atom;
}

inline void Attach(const KelvComPtr<ISDObject>& atom, const std::vector<KelvComPtr<ISDObject>>& others)
{
    FakeAtom::Set(atom, "AttachedAtoms", FakeCollection::Make(others));
}
