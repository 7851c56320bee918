// The current build's fixing masks and atom numbers: the scope utility's
// restriction query (the whole document's atoms when the scope gives no
// pair of arrays), and the numbering of the symmetry parents.
#include "setup/ZelmFileWriter.h"

#include "qorqm/DMUtilities.h"

namespace {

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

// Destroys the restriction arrays that the scope utility handed out.
class ArrayHolder
{
public:
    ArrayHolder() = default;
    ~ArrayHolder()
    {
        if (m_array)
            SafeArrayDestroy(m_array);
    }
    ArrayHolder(const ArrayHolder&) = delete;
    ArrayHolder& operator=(const ArrayHolder&) = delete;
    SAFEARRAY** Receive() { return &m_array; }
    SAFEARRAY* get() const { return m_array; }

private:
    SAFEARRAY* m_array = nullptr;
};

} // namespace

void CZelmFileWriter::CollectFixedAxisFlags(KelvComPtr<ISBScope> scope)
{
    ArrayHolder flags, atoms;
    Check(m_scopeUtility->GetFixedAtomRestrictions(scope.get(), flags.Receive(), atoms.Receive()));
    AddFixedAxisFlags(flags.Receive(), atoms.Receive());
    if (flags.get() && atoms.get())
        return;

    // Not both arrays for the scope: ask for every atom of the document.
    KelvComPtr<ISBScope> parents;
    Check(m_scopeUtility->ApplyScopeProcessor(Contents().get(), KelvBSTR("Normalization:Model3d!SymmetryParent").Get(),
                                              parents.Receive()));
    KelvComPtr<ISBScope> atomScope;
    Check(m_scopeUtility->ApplyScopeProcessor(parents.get(), KelvBSTR("Filter:Model3d!Atom").Get(),
                                              atomScope.Receive()));
    ArrayHolder documentFlags, documentAtoms;
    Check(m_scopeUtility->GetFixedAtomRestrictions(atomScope.get(), documentFlags.Receive(), documentAtoms.Receive()));
    AddFixedAxisFlags(documentFlags.Receive(), documentAtoms.Receive());
}

void CZelmFileWriter::AddFixedAxisFlags(SAFEARRAY** flags, SAFEARRAY** atoms)
{
    if (flags && atoms)
        ZelmDeckAtoms::AddFixedAxisMasks(*flags, *atoms, m_fixedAxisMasks);
}

long CZelmFileWriter::GetFixedAxisFlags(const KelvComPtr<ISDObject>& atom) const
{
    const long id = DMUtilities::BasicUtilities::GetValue(atom, u"ID").Long();
    const auto found = m_fixedAxisMasks.find(id);
    return found == m_fixedAxisMasks.end() ? 0 : found->second;
}

void CZelmFileWriter::NumberAtoms(std::vector<long>& ids)
{
    CollectSymmetryParents(ids);
}

void CZelmFileWriter::CollectSymmetryParents(std::vector<long>& ids)
{
    ids.clear();
    KelvComPtr<IUnknown> model;
    Check(m_scopeUtility->GetModelObject(m_scope.get(), model.Receive()));
    const KelvComPtr<IQoAtomNumbering> numbering = NumberingOf(model);

    const KelvComPtr<ISBScopeObjects> atoms = SymmetryParentAtoms();
    LONG count = 0;
    Check(atoms->get_Count(&count));
    ids.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (LONG i = 1; i <= count; ++i) {
        const KelvComPtr<ISDObject> atom = AtomAt(atoms, i);
        LONG number = 0;
        Check(numbering->GetNumber(atom.get(), &number));
        LONG status = -100;
        const KelvVariant value(static_cast<int32_t>(number));
        Check(atom->put_PropertyValue(KelvBSTR("ID").Get(), &status, value.Get()));
        ids.push_back(number);
    }
}
