#include "host/model/HelperObjects.h"

#include "host/model/ModelObjects.h"

#include <unordered_map>

namespace HostModel {

namespace {

// Numbers the atoms of one model: with flag 1 each atom gets the 1-based
// position of its symmetry parent among the parents (images share their
// parent's number); without it, its own 1-based position among all atoms.
// The parents' numbers are counted in one walk over the atoms when first
// asked and kept for the later questions, so numbering every atom of a
// model is linear in its atoms; a model whose atom list changed since is
// counted anew.
class CAtomNumbering final : public CKelvUnknown, public IQoAtomNumbering {
public:
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IQoAtomNumbering)
            return FinishQI(static_cast<IQoAtomNumbering*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT Initialise(VARIANT source, LONG flags) override
    {
        return ModelCall(IID_IQoAtomNumbering, [&] {
            OperationLog::Record("AtomNumbering", "Initialise", {DescribeVariant(source), std::to_string(flags)});
            IUnknown* object = source.vt == VT_UNKNOWN ? source.punkVal : source.vt == VT_DISPATCH ? source.pdispVal : nullptr;
            std::shared_ptr<Document> d = DocumentOf(object);
            if (!d)
                Fail(E_INVALIDARG, "The numbering needs the model of a structure document.");
            m_document = d;
            m_flags = flags;
            m_parentNumbers.clear();
            m_counted = false;
        });
    }
    HRESULT GetNumber(IUnknown* atom, LONG* number) override
    {
        return ModelCall(IID_IQoAtomNumbering, [&] {
            RequireOut(number);
            *number = 0;
            if (!m_document)
                Fail(E_UNEXPECTED, "The atom numbering has not been initialised.");
            std::shared_ptr<Document> d;
            Handle h = 0;
            if (!TryHandleOf(atom, d, h) || d != m_document || !d->FindAtom(h))
                Fail(E_INVALIDARG, "The object is not an atom of the numbered model.");
            if (!(m_flags & 1)) {
                *number = static_cast<LONG>(d->IndexOf(h) + 1);
                return;
            }
            *number = ParentNumber(*d, d->SymmetryParent(h));
        });
    }

private:
    LONG ParentNumber(const Document& d, Handle parent)
    {
        if (!m_counted || m_countedRevision != d.AtomListRevision())
            CountParents(d);
        const auto found = m_parentNumbers.find(parent);
        return found == m_parentNumbers.end() ? 0 : found->second;
    }
    void CountParents(const Document& d)
    {
        m_parentNumbers.clear();
        LONG n = 0;
        for (const Atom& a : d.Atoms()) {
            if (a.IsSymmetryParent())
                m_parentNumbers.emplace(a.handle, ++n);
        }
        m_counted = true;
        m_countedRevision = d.AtomListRevision();
    }

    std::shared_ptr<Document> m_document;
    LONG m_flags = 0;
    std::unordered_map<Handle, LONG> m_parentNumbers; // parent handle -> its number
    bool m_counted = false;
    std::uint64_t m_countedRevision = 0; // the model's atom list when they were counted
};

// Shows one data-model object as a scope.
class CScopeHolder final : public CKelvUnknown, public IQoScopeHolder, public ISBScope, public IHostScope {
public:
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IQoScopeHolder)
            return FinishQI(static_cast<IQoScopeHolder*>(this), out);
        if (iid == IID_ISBScope)
            return FinishQI(static_cast<ISBScope*>(this), out);
        if (iid == IID_IHostScope)
            return FinishQI(static_cast<IHostScope*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT HoldObject(IUnknown* object) override
    {
        return ModelCall(IID_IQoScopeHolder, [&] {
            std::shared_ptr<Document> d;
            Handle h = 0;
            if (!TryHandleOf(object, d, h) || !d)
                Fail(E_INVALIDARG, "The scope holder takes objects of structure documents only.");
            m_scope = Scope(d, {h});
        });
    }
    Scope GetScope() override { return m_scope; }
    HRESULT get_Objects(ISBScopeObjects** objects) override
    {
        return ModelCall(IID_ISBScope, [&] {
            KelvComPtr<ISBScope> scope = MakeScopeObject(m_scope);
            KelvResult::Check(scope->get_Objects(objects));
        });
    }
    HRESULT get_DocumentRoot(ISBDocumentRoot** root) override
    {
        return ModelCall(IID_ISBScope, [&]() -> HRESULT {
            KelvComPtr<ISBScope> scope = MakeScopeObject(m_scope);
            return scope->get_DocumentRoot(root);
        });
    }

private:
    Scope m_scope;
};

} // namespace

HRESULT CreateAtomNumbering(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CAtomNumbering());
    return S_OK;
}

HRESULT CreateScopeHolder(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CScopeHolder());
    return S_OK;
}

} // namespace HostModel
