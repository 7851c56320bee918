// The earlier build's fixing flags and atom numbers: the axis-constraint
// table by "ID", an atom reported fixed as a whole, and "ID" numbers on the
// atoms (in a 3-D periodic structure on the symmetry parents only).
#include "earlier/FixedAtomQuery.h"
#include "setup/ZelmFileWriter.h"

#include "qorqm/DMUtilities.h"

namespace {

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

// The two arrays of a constraint query, destroyed whatever came back.
struct QueryArrays
{
    SAFEARRAY* masks = nullptr;
    SAFEARRAY* atoms = nullptr;
    ~QueryArrays()
    {
        if (masks)
            SafeArrayDestroy(masks);
        if (atoms)
            SafeArrayDestroy(atoms);
    }
};

ULONG ElementCount(SAFEARRAY* array)
{
    KelvSafeArray view(array);
    const ULONG count = view.Count();
    view.Detach();
    return count;
}

} // namespace

bool ZelmEarlier::ReportsFixedAtom(SAFEARRAY* masks, SAFEARRAY* atoms)
{
    return masks && atoms && ElementCount(atoms) > 0;
}

void CZelmFileWriter::CollectFixedAxisFlags(KelvComPtr<ISBScope> scope)
{
    // The axis-constraint table: each mask ORed into its atom's "ID".
    QueryArrays constraints;
    Check(m_scopeUtility->GetAxisConstraints(scope.get(), &constraints.masks, &constraints.atoms));
    ZelmDeckAtoms::AddFixedAxisMasks(constraints.masks, constraints.atoms, m_fixedAxisMasks);
}

long CZelmFileWriter::GetFixedAxisFlags(const KelvComPtr<ISDObject>& atom) const
{
    KelvComPtr<IQoScopeHolder> holder;
    Kelv::KelvCreateImpl(CLSID_QoScopeHolder, nullptr, 0x15, IID_IQoScopeHolder, holder.ReceiveVoid(), false);
    if (!holder)
        throw KelvResult(E_UNEXPECTED, "Unable to create scope holder.");
    Check(holder->HoldObject(atom.get()));
    const auto single = holder.QueryInterface<ISBScope>();

    // Fixed as a whole only when the query names an atom.
    QueryArrays fixed;
    Check(m_scopeUtility->GetFixedAtoms(single.get(), &fixed.masks, &fixed.atoms));
    if (ZelmEarlier::ReportsFixedAtom(fixed.masks, fixed.atoms))
        return 7;

    const long id = DMUtilities::BasicUtilities::GetValue(atom, u"ID").Long();
    const auto found = m_fixedAxisMasks.find(id);
    return found == m_fixedAxisMasks.end() ? 0 : found->second;
}

void CZelmFileWriter::AssignAtomIDs()
{
    KelvComPtr<IUnknown> sourceObject;
    Check(m_scopeUtility->GetNumberingSource(m_scope.get(), sourceObject.Receive()));
    Kelv::CheckNullDereference(sourceObject.get());
    const KelvComPtr<IQoAtomNumbering> numbering = NumberingOf(sourceObject);

    VARIANT_BOOL periodic = VARIANT_FALSE;
    Check(m_scopeUtility->IsPeriodic(m_scope.get(), &periodic));
    KelvComPtr<ISDVariantDataDimension> atoms;
    Check(m_scopeUtility->GetAtoms(m_scope.get(), atoms.Receive()));
    Kelv::CheckNullDereference(atoms.get());
    LONG count = 0;
    Check(atoms->get_Count(&count));
    for (LONG i = 1; i <= count; ++i) {
        KelvVariant item;
        Check(atoms->Item(i, item.Receive()));
        const KelvComPtr<IUnknown> object = item.ExtractUnknown();
        Kelv::CheckNullDereference(object.get());
        const auto atom = object.QueryInterface<ISDObject>();
        LONG number = 0;
        Check(numbering->GetNumber(atom.get(), &number));
        if (periodic == VARIANT_TRUE && !DMUtilities::BasicUtilities::GetValue(atom, u"IsSymmetryParent").Bool())
            continue;
        LONG status = -100;
        const KelvVariant value(static_cast<int32_t>(number));
        Check(atom->put_PropertyValue(KelvBSTR("ID").Get(), &status, value.Get()));
    }
}

void CZelmFileWriter::NumberAtoms(std::vector<long>& ids)
{
    // The side file lists the symmetry parents' new numbers in atom order.
    AssignAtomIDs();
    ids.clear();
    const KelvComPtr<ISBScopeObjects> parents = SymmetryParentAtoms();
    LONG count = 0;
    Check(parents->get_Count(&count));
    for (LONG i = 1; i <= count; ++i)
        ids.push_back(DMUtilities::BasicUtilities::GetValue(AtomAt(parents, i), u"ID").Long());
}
