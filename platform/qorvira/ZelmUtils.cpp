#include "qorvira/ZelmUtils.h"

#include <array>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "appfw/AppUtilsContainer.h"
#include "appfw/AppUtilsDocument.h"
#include "appfw/LogicStateUtilities.h"
#include "qorvira/ScopeUtilityHelper.h"

namespace
{
// Reads a property; the host's HRESULT is returned, the value is left empty
// when there is none.
HRESULT ReadProperty(ISDObject* object, const std::string& name, KelvVariant& value)
{
    LONG status = SDPropertyNoHint;
    return object->get_PropertyValue(KelvBSTR(name).Get(), &status, value.Receive());
}

KelvVariant RequiredProperty(ISDObject* object, const std::string& name)
{
    KelvVariant value;
    KelvResult::Check(ReadProperty(object, name, value));
    return value;
}

// The object a variant holds (VT_UNKNOWN or VT_DISPATCH); null otherwise.
KelvComPtr<IUnknown> ObjectOf(const KelvVariant& value)
{
    if (value.Type() == VT_UNKNOWN)
        return KelvComPtr<IUnknown>(value.Get().punkVal);
    if (value.Type() == VT_DISPATCH)
        return KelvComPtr<IUnknown>(value.Get().pdispVal);
    return nullptr;
}

// The identity of a COM object: its IUnknown.
IUnknown* Identity(IUnknown* object)
{
    IUnknown* identity = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))) || !identity)
        return object;
    identity->Release(); // the object stays alive: the caller holds it
    return identity;
}

std::array<double, 3> FractionalPosition(ISDObject* atom)
{
    const KelvComPtr<ISDPoint3d> point = ObjectOf(RequiredProperty(atom, "FractionalXYZ")).QueryInterface<ISDPoint3d>();
    std::array<double, 3> xyz{};
    KelvResult::Check(point->GetXYZ(&xyz[0], &xyz[1], &xyz[2]));
    return xyz;
}

enum class Periodicity { None, Slab, Bulk };

struct Bond
{
    ULONG first;
    ULONG second;
    std::array<long, 3> offset;

    bool operator<(const Bond& other) const
    {
        return std::tie(first, second, offset) < std::tie(other.first, other.second, other.offset);
    }
};

std::set<Bond> CollectBonds(ISBScope* contents, ISBContainerRoot* root, const CAtomicIndexMap& map,
                            Periodicity periodicity)
{
    Kelv::CheckNullDereference(contents);
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root);
    const KelvComPtr<ISBScope> parents =
        AppUtils::Document::ProcessScope(contents, "Normalization:Model3d!SymmetryParent", manager.get());
    const std::vector<KelvComPtr<ISDObject>> atoms = AppUtils::Document::ObjectArrayFromScope(
        AppUtils::Document::ProcessScope(parents.get(), "Filter:Model3d!Atom", manager.get()).get());

    std::map<IUnknown*, ULONG> numberOf;
    for (size_t i = 0; i < atoms.size(); ++i)
        numberOf.emplace(Identity(atoms[i].get()), static_cast<ULONG>(i + 1));

    std::set<Bond> bonds;
    for (size_t i = 0; i < atoms.size(); ++i) {
        ISDObject* atom = atoms[i].get();
        const KelvComPtr<IUnknown> attachedObject = ObjectOf(RequiredProperty(atom, "AttachedAtoms"));
        if (!attachedObject)
            continue;
        const KelvComPtr<ISDVariantDataDimension> attached = attachedObject.QueryInterface<ISDVariantDataDimension>();
        LONG count = 0;
        KelvResult::Check(attached->get_Count(&count));
        for (LONG k = 1; k <= count; ++k) {
            KelvVariant item;
            KelvResult::Check(attached->Item(k, item.Receive()));
            const KelvComPtr<ISDObject> other = ObjectOf(item).QueryInterface<ISDObject>();

            KelvVariant parentValue;
            KelvComPtr<IUnknown> parent;
            if (SUCCEEDED(ReadProperty(other.get(), "SymmetryParent", parentValue)))
                parent = ObjectOf(parentValue);
            const bool isImage = parent && Identity(parent.get()) != Identity(other.get());
            const auto found = numberOf.find(Identity(isImage ? parent.get() : other.get()));
            if (found == numberOf.end() || found->second == i + 1)
                continue;

            Bond bond{map.MapDoc2Zelm(static_cast<ULONG>(i + 1)), map.MapDoc2Zelm(found->second), {0, 0, 0}};
            if (periodicity != Periodicity::None && !isImage) {
                const std::array<double, 3> from = FractionalPosition(atom);
                const std::array<double, 3> to = FractionalPosition(other.get());
                const int periodicAxes = periodicity == Periodicity::Bulk ? 3 : 2;
                for (int axis = 0; axis < periodicAxes; ++axis)
                    bond.offset[axis] = std::lround(from[axis] - to[axis]);
            }
            if (bond.first > bond.second) {
                std::swap(bond.first, bond.second);
                for (long& n : bond.offset)
                    n = -n;
            }
            bonds.insert(bond);
        }
    }
    return bonds;
}

void Write(std::ostream& stream, const std::set<Bond>& bonds)
{
    for (const Bond& bond : bonds) {
        stream << "connect " << bond.first << ' ' << bond.second;
        if (bond.offset != std::array<long, 3>{0, 0, 0})
            stream << ' ' << bond.offset[0] << ' ' << bond.offset[1] << ' ' << bond.offset[2];
        stream << '\n';
    }
}

Periodicity PeriodicityOf(ISBScope* contents, ISBContainerRoot* root)
{
    Kelv::CheckNullDereference(contents);
    CScopeUtilityHelper helper(root);
    VARIANT_BOOL answer = VARIANT_FALSE;
    KelvResult::Check(helper->IsPeriodic(contents, &answer));
    if (answer != VARIANT_FALSE)
        return Periodicity::Bulk;
    answer = VARIANT_FALSE;
    KelvResult::Check(helper->Is2DPeriodic(contents, &answer));
    return answer != VARIANT_FALSE ? Periodicity::Slab : Periodicity::None;
}

std::string TypeFromElement(const std::string& element)
{
    return element.size() == 1 ? element + "_" : element;
}
} // namespace

namespace ZelmUtils
{
void PrepareStructure(ISBLogic* chooserLogic, ISBLogic* preparationLogic, ISBScope* scope)
{
    Kelv::CheckNullDereference(chooserLogic);
    Kelv::CheckNullDereference(preparationLogic);
    Kelv::CheckNullDereference(scope);

    const KelvComPtr<ISBState> preparation = LogicStateUtilities::GetState(preparationLogic);
    if (!AppUtils::Container::GetStatePropertyValue("AssignForcefieldTypes", preparation.get(), false).Bool())
        return;

    KelvComPtr<ISBScope> contents(scope);
    if (const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, nullptr)) {
        KelvResult::Check(document->get_ContentsAsScope(contents.Receive()));
        Kelv::CheckNullDereference(contents.get());
    }
    KelvComPtr<ISBScopeObjects> objects;
    KelvResult::Check(contents->get_Objects(objects.Receive()));
    Kelv::CheckNullDereference(objects.get());
    LONG count = 0;
    KelvResult::Check(objects->get_Count(&count));
    for (LONG i = 1; i <= count; ++i) {
        KelvComPtr<IUnknown> item;
        KelvResult::Check(objects->Item(i, item.Receive()));
        const KelvComPtr<ISDObject> object = item.TryQueryInterface<ISDObject>();
        if (!object)
            continue;
        // Objects without an element symbol (the model, bonds) are not atoms;
        // images share the forcefield type of their parent.
        KelvVariant element;
        if (ReadProperty(object.get(), "ElementSymbol", element) != S_OK)
            continue;
        KelvVariant isParent;
        if (ReadProperty(object.get(), "IsSymmetryParent", isParent) == S_OK && !isParent.Bool())
            continue;
        if (!RequiredProperty(object.get(), "ForcefieldType").String().empty())
            continue;
        const KelvVariant type(TypeFromElement(element.String()));
        LONG status = SDPropertyNoHint;
        KelvResult::Check(object->put_PropertyValue(KelvBSTR("ForcefieldType").Get(), &status, type.Get()));
    }
}

void WriteBonds(std::ostream& stream, ISBScope* contents, ISBContainerRoot* root, const std::string&,
                const CZelmSpeciesReader&, bool, const CAtomicIndexMap& map)
{
    Write(stream, CollectBonds(contents, root, map, Periodicity::None));
}

void WritePeriodicBonds(std::ostream& stream, ISBScope* contents, ISBContainerRoot* root, const std::string&,
                        const CZelmSpeciesReader&, bool, const CAtomicIndexMap& map)
{
    Write(stream, CollectBonds(contents, root, map, PeriodicityOf(contents, root)));
}
} // namespace ZelmUtils
