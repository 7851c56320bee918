// Small data-model objects for the species matching tests: atoms with named
// properties, formal-charge fractions and attached-atom collections.
#pragma once

#include <string>
#include <vector>

#include "com/com.h"
#include "common/FakeCom.h"
#include "common/FakeDataObjects.h"
#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

// An atom: named properties, set by the test.
class FakeAtom : public QzTest::PropertyObject<>
{
public:
    static KelvComPtr<ISDObject> Make() { return KelvComPtr<ISDObject>::Adopt(new FakeAtom); }

    static void Set(const KelvComPtr<ISDObject>& atom, const std::string& name, const KelvVariant& value)
    {
        static_cast<FakeAtom*>(atom.get())->properties[name] = value;
    }
};

class FakeFraction : public QzTest::Fake<ISDFraction>
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

// A collection of the atoms, as an attached-atoms value.
inline KelvVariant CollectionOf(const std::vector<KelvComPtr<ISDObject>>& atoms)
{
    const auto collection = QzTest::Make<QzTest::Collection>();
    for (const auto& atom : atoms) {
        collection->values.emplace_back(static_cast<IUnknown*>(atom.get()));
    }
    return KelvVariant(static_cast<IUnknown*>(collection.get()));
}

// An atom of the element with the formal charge numerator/denominator and,
// when `type` is not empty, that forcefield type.
inline KelvComPtr<ISDObject> MakeAtom(const std::string& element, LONG numerator = 0,
                                      LONG denominator = 1, const std::string& type = "")
{
    KelvComPtr<ISDObject> atom = FakeAtom::Make();
    FakeAtom::Set(atom, "ElementSymbol", KelvVariant(element));
    FakeAtom::Set(atom, "FormalCharge", FakeFraction::Make(numerator, denominator));
    FakeAtom::Set(atom, "AttachedAtoms", CollectionOf({}));
    if (!type.empty()) {
        FakeAtom::Set(atom, "ForcefieldType", KelvVariant(type));
    }
    return atom;
}

inline void Attach(const KelvComPtr<ISDObject>& atom, const std::vector<KelvComPtr<ISDObject>>& others)
{
    FakeAtom::Set(atom, "AttachedAtoms", CollectionOf(others));
}
