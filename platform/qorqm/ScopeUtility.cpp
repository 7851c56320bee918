#include "qorqm/ScopeUtility.h"

#include "qorqm/DMUtilities.h"

#include "com/registry.h"
#include "hostapi/atomisticmodel.h"
#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace {

const char* const AtomFilter = "Filter:Model3d!Atom";
const char* const StructureExporter = "SDModel3dImportExport.QSDImportExport";

constexpr LONG FixedAxesMask = 7;

// Which fixed atoms a restriction query reports.
enum class FixedSelection {
    AnyAxis,  // every atom with at least one fixed axis
    AllAxes,  // atoms fixed along all three axes
    SomeAxes  // atoms fixed along one or two axes
};

bool Selected(LONG mask, FixedSelection selection) {
    switch (selection) {
        case FixedSelection::AnyAxis:
            return mask != 0;
        case FixedSelection::AllAxes:
            return mask == FixedAxesMask;
        case FixedSelection::SomeAxes:
            return mask != 0 && mask != FixedAxesMask;
    }
    return false;
}

template <class T>
void ResetOut(T** out) {
    if (!out) {
        throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
    }
    *out = nullptr;
}

void ResetOut(VARIANT_BOOL* out) {
    if (!out) {
        throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
    }
    *out = VARIANT_FALSE;
}

// Hands an interface out: S_OK with the object, S_FALSE when there is none.
template <class T, class U>
HRESULT HandOut(const KelvComPtr<T>& object, U** out) {
    if (!object) {
        return S_FALSE;
    }
    KelvComPtr<T> copy(object);
    *out = copy.Detach();
    return S_OK;
}

// The value a numbering object is set up with: the model itself.
class CNumberingSource final : public CKelvUnknown, public IQoAtomNumberingSource {
public:
    explicit CNumberingSource(KelvComPtr<IUnknown> model) : m_model(std::move(model)) {}

    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IQoAtomNumberingSource) {
            return FinishQI(static_cast<IQoAtomNumberingSource*>(this), out);
        }
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT get_NumberingSource(VARIANT* pValue) override {
        if (!pValue) {
            return E_POINTER;
        }
        VariantInit(pValue);
        pValue->vt = VT_UNKNOWN;
        pValue->punkVal = m_model.get();
        m_model->AddRef();
        return S_OK;
    }

private:
    KelvComPtr<IUnknown> m_model;
};

// A 1-based collection of values (the atoms of a scope).
class CValueCollection final : public CKelvUnknown, public ISDVariantDataDimension {
public:
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override {
        if (iid == IID_ISDVariantDataDimension) {
            return FinishQI(static_cast<ISDVariantDataDimension*>(this), out);
        }
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT Add(VARIANT newValue, LONG* pIndex) override {
        return Kelv::ComMethod(GUID_NULL, IID_ISDVariantDataDimension, [&] {
            if (m_values.size() >= static_cast<std::size_t>(INT32_MAX)) {
                throw KelvResult(E_OUTOFMEMORY, "The collection is full.");
            }
            m_values.emplace_back(newValue);
            if (pIndex) {
                *pIndex = static_cast<LONG>(m_values.size());
            }
        });
    }

    HRESULT get_Count(LONG* pCount) override {
        if (!pCount) {
            return E_POINTER;
        }
        *pCount = static_cast<LONG>(m_values.size());
        return S_OK;
    }

    HRESULT Item(LONG index, VARIANT* pValue) override {
        if (!pValue) {
            return E_POINTER;
        }
        VariantInit(pValue);
        if (index < 1 || static_cast<std::size_t>(index) > m_values.size()) {
            return DISP_E_BADINDEX;
        }
        return VariantCopy(pValue, &m_values[static_cast<std::size_t>(index) - 1].Get());
    }

private:
    std::vector<KelvVariant> m_values;
};

class CScopeUtility final : public CKelvUnknown, public IQoScopeUtility, public ISupportErrorInfo {
public:
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IQoScopeUtility) {
            return FinishQI(static_cast<IQoScopeUtility*>(this), out);
        }
        if (iid == IID_ISupportErrorInfo) {
            return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
        }
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    void FinalRelease() override {
        m_root.Release();
        CKelvUnknown::FinalRelease();
    }

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == IID_IQoScopeUtility ? S_OK : S_FALSE;
    }

    // IQoScopeUtility
    HRESULT Initialise(ISBContainerRoot* pRoot) override {
        return Run([&] {
            if (!pRoot) {
                throw KelvResult(E_INVALIDARG, "The scope utility needs the application's container root.");
            }
            m_root = KelvComPtr<ISBContainerRoot>(pRoot);
        });
    }

    HRESULT Shutdown() override {
        return Run([&] { m_root.Release(); });
    }

    HRESULT GetDocumentRoot(ISBScope* pScope, ISBDocumentRoot** ppDocument) override {
        return Run([&] {
            ResetOut(ppDocument);
            Require(pScope);
            return HandOut(DocumentOf(pScope), ppDocument);
        });
    }

    HRESULT GetScopeObject(ISBScope* pScope, ISBScope** ppObject) override {
        return Run([&] {
            ResetOut(ppObject);
            Require(pScope);
            const KelvComPtr<IUnknown> model = ModelOf(pScope);
            if (!model) {
                return S_FALSE;
            }
            return HandOut(model.QueryInterface<ISBScope>(), ppObject);
        });
    }

    HRESULT IsP1(ISBScope* pScope, VARIANT_BOOL* pIsP1) override {
        return Run([&] {
            ResetOut(pIsP1);
            Require(pScope);
            *pIsP1 = ToVariantBool(OperatorCount(AtomisticModelOf(pScope)) <= 1);
        });
    }

    HRESULT MakeP1(ISBScope* pScope) override {
        return Run([&] {
            Require(pScope);
            KelvResult::Check(RequireAtomisticModel(pScope)->MakeP1());
        });
    }

    HRESULT IsPeriodic(ISBScope* pScope, VARIANT_BOOL* pIsPeriodic) override {
        return Run([&] {
            ResetOut(pIsPeriodic);
            Require(pScope);
            *pIsPeriodic = ToVariantBool(static_cast<bool>(LatticeOf(pScope).TryQueryInterface<ISDLattice3D>()));
        });
    }

    HRESULT Is2DPeriodic(ISBScope* pScope, VARIANT_BOOL* pIs2DPeriodic) override {
        return Run([&] {
            ResetOut(pIs2DPeriodic);
            Require(pScope);
            *pIs2DPeriodic = ToVariantBool(static_cast<bool>(LatticeOf(pScope).TryQueryInterface<ISDLattice2D>()));
        });
    }

    HRESULT NeedsPrimitiveConversion(ISBScope* pScope, VARIANT_BOOL* pNeeds) override {
        return Run([&] {
            ResetOut(pNeeds);
            Require(pScope);
            const KelvComPtr<ISDAtomisticModel> model = AtomisticModelOf(pScope);
            if (model) {
                VARIANT_BOOL needs = VARIANT_FALSE;
                KelvResult::Check(model->get_NeedsPrimitiveConversion(&needs));
                *pNeeds = ToVariantBool(needs != VARIANT_FALSE);
            }
        });
    }

    HRESULT ConvertToPrimitive(ISBScope* pScope) override {
        return Run([&] {
            Require(pScope);
            KelvResult::Check(RequireAtomisticModel(pScope)->ConvertToPrimitive());
        });
    }

    HRESULT HasNonStandardSetting(ISBScope* pScope, VARIANT_BOOL* pNonStandard) override {
        return Run([&] {
            ResetOut(pNonStandard);
            Require(pScope);
            const KelvComPtr<ISDAtomisticModel> model = AtomisticModelOf(pScope);
            if (model) {
                VARIANT_BOOL nonStandard = VARIANT_FALSE;
                KelvResult::Check(model->get_HasNonStandardSetting(&nonStandard));
                *pNonStandard = ToVariantBool(nonStandard != VARIANT_FALSE);
            }
        });
    }

    HRESULT GetLattice(ISBScope* pScope, IUnknown** ppLattice) override {
        return Run([&] {
            ResetOut(ppLattice);
            Require(pScope);
            return HandOut(LatticeOf(pScope), ppLattice);
        });
    }

    HRESULT GetLattice2D(ISBScope* pScope, IUnknown** ppLattice) override {
        return Run([&] {
            ResetOut(ppLattice);
            Require(pScope);
            const KelvComPtr<IUnknown> lattice = LatticeOf(pScope);
            return HandOut(lattice.TryQueryInterface<ISDLattice2D>() ? lattice : KelvComPtr<IUnknown>(), ppLattice);
        });
    }

    HRESULT GetLatticeFrame(ISBScope* pScope, IUnknown** ppFrame) override {
        return Run([&] {
            ResetOut(ppFrame);
            Require(pScope);
            KelvComPtr<IUnknown> frame;
            if (const KelvComPtr<ISDAtomisticModel> model = AtomisticModelOf(pScope)) {
                KelvResult::Check(model->get_LatticeFrame(frame.Receive()));
            }
            return HandOut(frame, ppFrame);
        });
    }

    HRESULT GetSymmetry(ISBScope* pScope, IUnknown** ppSymmetry) override {
        return Run([&] {
            ResetOut(ppSymmetry);
            Require(pScope);
            return HandOut(SymmetryOf(AtomisticModelOf(pScope)), ppSymmetry);
        });
    }

    HRESULT HasSymmetry(ISBScope* pScope, VARIANT_BOOL* pHasSymmetry) override {
        return Run([&] {
            ResetOut(pHasSymmetry);
            Require(pScope);
            *pHasSymmetry = ToVariantBool(OperatorCount(AtomisticModelOf(pScope)) > 1);
        });
    }

    HRESULT ApplyScopeProcessor(ISBScope* pScope, BSTR processor, ISBScope** ppResult) override {
        return Run([&] {
            ResetOut(ppResult);
            Require(pScope);
            if (!processor || SysStringLen(processor) == 0) {
                throw KelvResult(E_INVALIDARG, "No scope processor was named.");
            }
            return HandOut(Process(pScope, processor), ppResult);
        });
    }

    HRESULT GetFixedAtomRestrictions(ISBScope* pScope, SAFEARRAY** ppMasks, SAFEARRAY** ppAtoms) override {
        return FixedAtoms(pScope, ppMasks, ppAtoms, FixedSelection::AnyAxis);
    }

    HRESULT GetFixedAtoms(ISBScope* pScope, SAFEARRAY** ppMasks, SAFEARRAY** ppAtoms) override {
        return FixedAtoms(pScope, ppMasks, ppAtoms, FixedSelection::AllAxes);
    }

    HRESULT GetAxisConstraints(ISBScope* pScope, SAFEARRAY** ppMasks, SAFEARRAY** ppAtoms) override {
        return FixedAtoms(pScope, ppMasks, ppAtoms, FixedSelection::SomeAxes);
    }

    HRESULT GetModelObject(ISBScope* pScope, IUnknown** ppModel) override {
        return NumberingSource(pScope, ppModel);
    }

    HRESULT PrepareKPoints(ISBScope* pScope, IUnknown** ppResult) override {
        // This host keeps no k-point settings in its models: nothing needs
        // preparing, and the object made for the run is the model itself.
        return Run([&] {
            ResetOut(ppResult);
            Require(pScope);
            RequireAtomisticModel(pScope);
            return HandOut(ModelOf(pScope), ppResult);
        });
    }

    HRESULT SaveStructure(ISBScope* pScope, BSTR path) override {
        return Run([&] {
            Require(pScope);
            if (!path || SysStringLen(path) == 0) {
                throw KelvResult(E_INVALIDARG, "No path was given for the structure.");
            }
            const KelvComPtr<ISBDocumentRoot> document = DocumentOf(pScope);
            if (!document) {
                throw KelvResult(E_INVALIDARG, "The scope belongs to no document whose structure could be saved.");
            }
            RequireAtomisticModel(pScope);
            KelvComPtr<ISBDocumentManager> manager;
            KelvResult::Check(m_root->get_DocumentManager(manager.Receive()));
            const KelvBSTR exporter(StructureExporter);
            KelvVariant noData;
            KelvResult::Check(manager->ExportDocument(document.get(), 0, exporter.Get(), noData.Get(), path));
        });
    }

    HRESULT GetAtoms(ISBScope* pScope, ISDVariantDataDimension** ppAtoms) override {
        return Run([&] {
            ResetOut(ppAtoms);
            Require(pScope);
            const std::vector<KelvComPtr<IUnknown>> atoms = AtomsOf(pScope);
            KelvComPtr<ISDVariantDataDimension> collection =
                KelvComPtr<ISDVariantDataDimension>::Adopt(new CValueCollection);
            for (const KelvComPtr<IUnknown>& atom : atoms) {
                const KelvVariant value(atom.get());
                KelvResult::Check(collection->Add(value.Get(), nullptr));
            }
            *ppAtoms = collection.Detach();
        });
    }

    HRESULT GetNumberingSource(ISBScope* pScope, IUnknown** ppSource) override {
        return NumberingSource(pScope, ppSource);
    }

private:
    template <class F>
    HRESULT Run(F&& body) {
        return Kelv::ComMethod(CLSID_QoScopeUtility, IID_IQoScopeUtility, std::forward<F>(body));
    }

    // Every operation but Initialise needs the root; a scope must be given.
    void Require(ISBScope* scope) const {
        if (!m_root) {
            throw KelvResult(E_UNEXPECTED, "The scope utility has not been initialised with the application.");
        }
        if (!scope) {
            throw KelvResult(E_INVALIDARG, "No scope was given.");
        }
    }

    static VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

    static KelvComPtr<ISBDocumentRoot> DocumentOf(ISBScope* scope) {
        KelvComPtr<ISBDocumentRoot> document;
        KelvResult::Check(scope->get_DocumentRoot(document.Receive()));
        return document;
    }

    // The document's model, when the document holds an atomistic one.
    static KelvComPtr<IUnknown> ModelOf(ISBScope* scope) {
        const KelvComPtr<ISBDocumentRoot> document = DocumentOf(scope);
        if (!document) {
            return nullptr;
        }
        KelvComPtr<IUnknown> model;
        KelvResult::Check(document->get_ModelDocument(model.Receive()));
        if (!model.TryQueryInterface<ISDAtomisticModel>()) {
            return nullptr;
        }
        return model;
    }

    static KelvComPtr<ISDAtomisticModel> AtomisticModelOf(ISBScope* scope) {
        return ModelOf(scope).TryQueryInterface<ISDAtomisticModel>();
    }

    static KelvComPtr<ISDAtomisticModel> RequireAtomisticModel(ISBScope* scope) {
        const KelvComPtr<ISDAtomisticModel> model = AtomisticModelOf(scope);
        if (!model) {
            throw KelvResult(E_INVALIDARG, "The scope belongs to no atomistic structure document.");
        }
        return model;
    }

    static KelvComPtr<IUnknown> LatticeOf(ISBScope* scope) {
        KelvComPtr<IUnknown> lattice;
        if (const KelvComPtr<ISDAtomisticModel> model = AtomisticModelOf(scope)) {
            KelvResult::Check(model->get_Lattice(lattice.Receive()));
        }
        return lattice;
    }

    static KelvComPtr<IUnknown> SymmetryOf(const KelvComPtr<ISDAtomisticModel>& model) {
        KelvComPtr<IUnknown> symmetry;
        if (model) {
            KelvResult::Check(model->get_Symmetry(symmetry.Receive()));
        }
        return symmetry;
    }

    // Number of symmetry operators, the identity included; 0 when the model
    // has no symmetry object or no operators.
    static LONG OperatorCount(const KelvComPtr<ISDAtomisticModel>& model) {
        const KelvComPtr<IUnknown> symmetry = SymmetryOf(model);
        if (!symmetry) {
            return 0;
        }
        const KelvVariant operators =
            DMUtilities::BasicUtilities::GetValue(symmetry.QueryInterface<ISDObject>(), u"AllOperatorElements");
        if (operators.IsEmpty()) {
            return 0;
        }
        return DMUtilities::BasicUtilities::GetArraySize(
            operators.ExtractUnknown().QueryInterface<ISDVariantDataDimension>());
    }

    KelvComPtr<ISBScope> Process(ISBScope* scope, BSTR processor) const {
        KelvComPtr<ISBScopeManager> manager;
        KelvResult::Check(m_root->get_ScopeManager(manager.Receive()));
        KelvComPtr<ISBScope> result;
        KelvResult::Check(manager->ProcessScope(scope, processor, result.Receive()));
        return result;
    }

    // The atoms of a scope, in the scope's order.
    std::vector<KelvComPtr<IUnknown>> AtomsOf(ISBScope* scope) const {
        const KelvBSTR filter(AtomFilter);
        const KelvComPtr<ISBScope> atomScope = Process(scope, filter.Get());
        std::vector<KelvComPtr<IUnknown>> atoms;
        if (!atomScope) {
            return atoms;
        }
        KelvComPtr<ISBScopeObjects> objects;
        KelvResult::Check(atomScope->get_Objects(objects.Receive()));
        LONG count = 0;
        KelvResult::Check(objects->get_Count(&count));
        for (LONG i = 1; i <= count; ++i) {
            KelvComPtr<IUnknown> atom;
            KelvResult::Check(objects->Item(i, atom.Receive()));
            atoms.push_back(std::move(atom));
        }
        return atoms;
    }

    static LONG FixedAxesOf(const KelvComPtr<IUnknown>& atom) {
        const KelvVariant value =
            DMUtilities::BasicUtilities::GetValue(atom.QueryInterface<ISDObject>(), QorQMUtilities::FixedAxesProperty);
        return value.IsEmpty() ? 0 : (value.Long() & FixedAxesMask);
    }

    HRESULT FixedAtoms(ISBScope* pScope, SAFEARRAY** ppMasks, SAFEARRAY** ppAtoms, FixedSelection selection) {
        return Run([&] {
            ResetOut(ppMasks);
            ResetOut(ppAtoms);
            Require(pScope);
            std::vector<LONG> masks;
            std::vector<KelvComPtr<IUnknown>> atoms;
            for (const KelvComPtr<IUnknown>& atom : AtomsOf(pScope)) {
                const LONG mask = FixedAxesOf(atom);
                if (Selected(mask, selection)) {
                    masks.push_back(mask);
                    atoms.push_back(atom);
                }
            }
            if (masks.empty()) {
                return S_OK;
            }
            const ULONG count = static_cast<ULONG>(masks.size());
            KelvSafeArray maskArray(VT_I4, count);
            KelvSafeArray atomArray(VT_UNKNOWN, count);
            for (ULONG k = 0; k < count; ++k) {
                LONG index = static_cast<LONG>(k);
                maskArray.PutLong(index, masks[k]);
                KelvResult::Check(SafeArrayPutElement(atomArray.Get(), &index, atoms[k].get()));
            }
            *ppMasks = maskArray.Detach();
            *ppAtoms = atomArray.Detach();
            return S_OK;
        });
    }

    HRESULT NumberingSource(ISBScope* pScope, IUnknown** ppSource) {
        return Run([&] {
            ResetOut(ppSource);
            Require(pScope);
            const KelvComPtr<IUnknown> model = ModelOf(pScope);
            if (!model) {
                return S_FALSE;
            }
            KelvComPtr<IUnknown> source = KelvComPtr<IUnknown>::Adopt(
                static_cast<IQoAtomNumberingSource*>(new CNumberingSource(model)));
            *ppSource = source.Detach();
            return S_OK;
        });
    }

    KelvComPtr<ISBContainerRoot> m_root;
};

HRESULT CreateScopeUtility(void** out) {
    *out = static_cast<IDelegatedUnknown*>(new CScopeUtility);
    return S_OK;
}

const CKelvFactoryData ClassTable[] = {
    {&CLSID_QoScopeUtility, &CreateScopeUtility, "Scope utility", "QorQMUtilities.ScopeUtility.1",
     QorQMUtilities::ScopeUtilityProgId, nullptr, 0, 0},
};

}  // namespace

namespace {

std::mutex& RegistrationMutex() {
    static std::mutex mutex;
    return mutex;
}

DWORD& RegistrationCookie() {
    static DWORD cookie = 0;
    return cookie;
}

// At process exit the class object goes back, before the class registry
// that holds it (made earlier) is destroyed.
void RevokeAtExit() {
    const std::lock_guard<std::mutex> lock(RegistrationMutex());
    if (RegistrationCookie() != 0) {
        CoRevokeClassObject(RegistrationCookie());
        RegistrationCookie() = 0;
    }
}

}  // namespace

namespace QorQMUtilities {

HRESULT RegisterScopeUtility() {
    std::mutex& mutex = RegistrationMutex();
    DWORD& cookie = RegistrationCookie();
    const std::lock_guard<std::mutex> lock(mutex);
    if (cookie != 0) {
        return S_FALSE;
    }
    CKelvFactoryData::EnableFactoryComponents(nullptr, ClassTable,
                                              static_cast<LONG>(sizeof ClassTable / sizeof ClassTable[0]));
    KelvComPtr<IUnknown> factory;
    HRESULT hr = CKelvFactoryData::GetClassObject(CLSID_QoScopeUtility, IID_IUnknown, factory.ReceiveVoid());
    if (FAILED(hr)) {
        return hr;
    }
    DWORD registration = 0;
    hr = CoRegisterClassObject(CLSID_QoScopeUtility, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                               &registration);
    if (FAILED(hr)) {
        return hr;
    }
    hr = ComRegistry::RegisterInProcessProgId(ScopeUtilityProgId, CLSID_QoScopeUtility);
    if (FAILED(hr)) {
        CoRevokeClassObject(registration);
        return hr;
    }
    cookie = registration;
    std::atexit(RevokeAtExit);
    return S_OK;
}

}  // namespace QorQMUtilities
