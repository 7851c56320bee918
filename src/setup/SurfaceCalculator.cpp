#include "setup/SurfaceCalculator.h"

#include <cmath>
#include <new>
#include <vector>

#include "appfw/AppUtilsContainer.h"
#include "appfw/AppUtilsDataModel.h"
#include "appfw/AppUtilsDocument.h"
#include "appfw/LogicStateUtilities.h"
#include "qorvira/QorViraUtilities.h"
#include "qorvira/ZelmStandardLibraries.h"
#include "setup/ZelmLibUtils.h"

const std::vector<KelvDispatchName>& KelvDispatchNames<IQoZelmSurfaceCalculator>::Names()
{
    static const std::vector<KelvDispatchName> names = [] {
        std::vector<KelvDispatchName> all(KelvDispatchNames<ISBLogic>::Names());
        for (const QoZelmSurfaceCalculatorMember& member : QoZelmSurfaceCalculatorMembers)
            all.push_back({member.name, member.id});
        return all;
    }();
    return names;
}

namespace {

constexpr const char* ExtensionName = "QorZelm.Extension";
constexpr const char* EngineLogicName = "ZelmLogic";
constexpr const char* JobTemplateLogicName = "QMJobTemplate";
constexpr const char* ScopeUtilityProgId = "QorQMUtilities.ScopeUtility";
constexpr DWORD ScopeUtilityContext = 0x15;

constexpr const char* SymmetryParents = "Normalization:Model3d!SymmetryParent";
constexpr const char* AtomFilter = "Filter:Model3d!Atom";
constexpr const char* SelectionFilter = "Filter:Model3d!!IsSelected";

constexpr const char* NoOutputPointer = "No pointer supplied for output argument.";
constexpr const char* BareNullScope = "Scope is null.\n";

constexpr double DipoleFactor = 0.208194;

// The operation names of the set methods' null-scope texts, by set and
// action (they differ from the interface's method names).
const char* const SetOperationNames[2][6] = {
    {"CanAddSurfaceAtomSet", "AddSurfaceAtomSet", "CanRemoveSurfaceAtomSet", "RemoveSurfaceAtomSet",
     "CanSelectSurfaceAtomSet", "SelectSurfaceAtomSet"},
    {"CanAddAttachmentLayerSet", "AddAttachmentLayerSet", "CanRemoveAttachmentLayerSet",
     "RemoveAttachmentLayerSet", "CanSelectAttachmentLayerSet", "SelectAttachmentLayerSet"},
};

// What tells the two sets apart.
struct SetTraits {
    const char* name;
    bool needsAttachmentEnergy; // the Can methods ask "CalculateAttachmentEnergy"
    const char* addText;
    const char* removeText;
    const char* selectText;
};

const SetTraits Sets[2] = {
    {SurfaceSets::SurfaceAtoms, false, "Add selected atoms to SurfaceAtom set",
     "Remove selected atoms from SurfaceAtom set", "Select SurfaceAtom set"},
    {SurfaceSets::AttachmentLayer, true, "Add selected atoms to AttachmentLayer set",
     "Remove selected atoms from AttachmentLayer set", "Select AttachmentLayer set"},
};

template <class F>
HRESULT Run(F&& body)
{
    return Kelv::ComMethod(QorZelm::CLSID_SurfaceCalculator, IID_IQoZelmSurfaceCalculator, std::forward<F>(body));
}

void RequireOutput(const void* pointer)
{
    if (!pointer)
        throw KelvResult(E_POINTER, NoOutputPointer);
}

void RequireScope(const ISBScope* scope, const std::string& nullScopeText)
{
    if (!scope)
        throw KelvResult(E_POINTER, nullScopeText);
}

VARIANT_BOOL ToVariantBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// The items of a scope's object collection, each as ISDObject.
std::vector<KelvComPtr<ISDObject>> ObjectsOf(const KelvComPtr<ISBScopeObjects>& objects)
{
    LONG count = 0;
    KelvResult::Check(objects->get_Count(&count));
    std::vector<KelvComPtr<ISDObject>> result;
    for (LONG i = 1; i <= count; ++i) {
        KelvComPtr<IUnknown> item;
        KelvResult::Check(objects->Item(i, item.Receive()));
        result.push_back(item.QueryInterface<ISDObject>());
    }
    return result;
}

// The symmetry-parent atoms of a scope, in scope order.
std::vector<KelvComPtr<ISDObject>> ParentAtomsOf(ISBScope* scope, ISBScopeManager* manager)
{
    const KelvComPtr<ISBScope> parents = AppUtils::Document::ProcessScope(scope, SymmetryParents, manager);
    return ObjectsOf(AppUtils::Document::ObjectsFromScope(parents.get(), AtomFilter, manager));
}

KelvVariant ReadProperty(const KelvComPtr<ISDObject>& object, const char* name)
{
    KelvBSTR property(name);
    LONG status = SDPropertyNoHint;
    KelvVariant value;
    KelvResult::Check(object->get_PropertyValue(property.Get(), &status, value.Receive()));
    return value;
}

void WriteProperty(const KelvComPtr<ISDObject>& object, const char* name, const KelvVariant& value)
{
    KelvBSTR property(name);
    LONG status = SDPropertyNoHint;
    KelvResult::Check(object->put_PropertyValue(property.Get(), &status, value.Get()));
}

KelvComPtr<ISDObject> SymmetryParentOf(const KelvComPtr<ISDObject>& atom)
{
    return ReadProperty(atom, "SymmetryParent").ExtractUnknown().QueryInterface<ISDObject>();
}

KelvComPtr<ISBScope> ContentsOf(const KelvComPtr<ISBDocumentRoot>& document)
{
    KelvComPtr<ISBScope> contents;
    KelvResult::Check(document->get_ContentsAsScope(contents.Receive()));
    Kelv::CheckNullDereference(contents.get());
    return contents;
}

} // namespace

// --- creation and lifecycle ---------------------------------------------

CSurfaceCalculator::CSurfaceCalculator() = default;

CSurfaceCalculator::~CSurfaceCalculator()
{
    m_engineState.Release();
    m_engineLogic.Release();
    m_jobTemplateState.Release();
    m_jobTemplateLogic.Release();
    m_locator.reset();
    m_stateHelper.reset();
    m_scopeUtility.Release();
}

HRESULT CSurfaceCalculator::CreateInstance(void** out)
{
    // The pointer is tested before anything is made, so nothing can leak.
    if (!out)
        return Kelv::CaughtKelvResult(KelvResult(E_POINTER, NoOutputPointer), QorZelm::CLSID_SurfaceCalculator,
                                      IID_IQoZelmSurfaceCalculator);
    *out = nullptr;
    CSurfaceCalculator* object = new CSurfaceCalculator();
    if (!object)
        return Kelv::CaughtKelvResult(
            KelvResult(E_OUTOFMEMORY,
                       "CSurfaceCalculator::CreateInstance: Failed to create Surface Calculator Logic.\n"),
            QorZelm::CLSID_SurfaceCalculator, IID_IQoZelmSurfaceCalculator);
    *out = object->ControllingUnknown();
    return S_OK;
}

HRESULT CSurfaceCalculator::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoZelmSurfaceCalculator || iid == IID_ISBLogic || iid == IID_IDispatch)
        return FinishQI(static_cast<IQoZelmSurfaceCalculator*>(this), out);
    if (iid == IID_ISupportErrorInfo)
        return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
    if (iid == IID_ISBContainerRootConsumer)
        return FinishQI(static_cast<ISBContainerRootConsumer*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT CSurfaceCalculator::InterfaceSupportsErrorInfo(REFIID iid)
{
    return iid == IID_IQoZelmSurfaceCalculator || iid == IID_ISBLogic || iid == IID_IDispatch ||
                   iid == IID_ISupportErrorInfo || iid == IID_ISBContainerRootConsumer
               ? S_OK
               : S_FALSE;
}

void CSurfaceCalculator::FinalRelease()
{
    m_scopeUtility.Release();
    m_jobTemplateLogic.Release();
    m_jobTemplateState.Release();
    m_engineLogic.Release();
    m_engineState.Release();
}

HRESULT CSurfaceCalculator::InitialiseOnConnect()
{
    return Run([&] {
        const KelvComPtr<ISBContainerRoot> root = Root();
        ISBExtension* extension = Extension();

        KelvComPtr<ISBLogic> engine = AppUtils::Container::GetLogic(EngineLogicName, extension);
        if (!engine)
            throw KelvResult(E_UNEXPECTED, std::string("CSurfaceCalculator::InitialiseOnConnect: The logic \"") +
                                               EngineLogicName + "\" was not found in the extension.\n");
        m_engineLogic = std::move(engine);
        KelvComPtr<ISBState> engineState;
        KelvResult::Check(m_engineLogic->get_State(engineState.Receive()));
        Kelv::CheckNullDereference(engineState.get());
        m_engineState = std::move(engineState);

        KelvComPtr<IQoScopeUtility> scopeUtility;
        Kelv::KelvCreateImpl(ScopeUtilityProgId, nullptr, ScopeUtilityContext, IID_IQoScopeUtility,
                             scopeUtility.ReceiveVoid(), true);
        m_scopeUtility = std::move(scopeUtility);
        KelvResult::Check(m_scopeUtility->Initialise(root.get()));

        m_locator = std::make_unique<CZelmForcefieldLocator>(m_engineState, root);
        m_stateHelper = CStateHelper::CreateStateHelper(root.get(), ExtensionName, EngineLogicName);

        m_jobTemplateLogic = LogicStateUtilities::GetNamedLogicItem(extension, JobTemplateLogicName);
        m_jobTemplateState = LogicStateUtilities::GetState(m_jobTemplateLogic.get());
    });
}

HRESULT CSurfaceCalculator::Shutdown()
{
    // A connection that failed before the scope utility was made leaves
    // none: the framework's null check reports it.
    return Run([&] { KelvResult::Check(m_scopeUtility->Shutdown()); });
}

// --- shared queries -------------------------------------------------------

KelvComPtr<ISBDocumentRoot> CSurfaceCalculator::ModelOfScope(ISBScope* scope) const
{
    KelvComPtr<ISBDocumentRoot> document;
    if (!scope)
        return document;
    KelvResult::Check(m_scopeUtility->GetDocumentRoot(scope, document.Receive()));
    return document;
}

KelvComPtr<ISBScope> CSurfaceCalculator::SelectedAtomsScope(ISBScope* scope) const
{
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(Root().get());
    const KelvComPtr<ISBScope> selected = AppUtils::Document::ProcessScope(scope, SelectionFilter, manager.get());
    return AppUtils::Document::ProcessScope(selected.get(), AtomFilter, manager.get());
}

bool CSurfaceCalculator::SelectionIsEmpty(ISBScope* scope) const
{
    if (!ModelOfScope(scope))
        return true;
    return AppUtils::Document::ScopeIsEmpty(SelectedAtomsScope(scope).get());
}

bool CSurfaceCalculator::IsScope2DPeriodic(ISBScope* scope) const
{
    const KelvComPtr<ISBDocumentRoot> document = ModelOfScope(scope);
    if (!document)
        return false;
    const KelvComPtr<ISBScope> contents = ContentsOf(document);
    VARIANT_BOOL periodic = VARIANT_FALSE;
    KelvResult::Check(m_scopeUtility->Is2DPeriodic(contents.get(), &periodic));
    return periodic == VARIANT_TRUE;
}

bool CSurfaceCalculator::SetHasAtoms(ISBScope* scope, const std::string& setName) const
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
    return !AppUtils::DataModel::SetIsEmpty(setName, document.get(), root.get());
}

void CSurfaceCalculator::SelectSet(ISBScope* scope, const std::string& setName) const
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
    AppUtils::DataModel::SetSelectionToSet(setName, document.get(), root.get());
}

HRESULT CSurfaceCalculator::Is2DPeriodic(ISBScope* pScope, VARIANT_BOOL* pbIs2DPeriodic)
{
    return Run([&] {
        RequireOutput(pbIs2DPeriodic);
        *pbIs2DPeriodic = VARIANT_FALSE;
        *pbIs2DPeriodic = ToVariantBool(IsScope2DPeriodic(pScope));
    });
}

// --- set membership ---------------------------------------------------------

void CSurfaceCalculator::AddSelectionToSet(ISBScope* scope, const std::string& setName) const
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
    if (!AppUtils::DataModel::HasSet(setName, document.get(), root.get()))
        AppUtils::DataModel::CreateSet(setName, document.get(), root.get(), true);
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root.get());
    const KelvComPtr<ISBScope> parents =
        AppUtils::Document::ProcessScope(SelectedAtomsScope(scope).get(), SymmetryParents, manager.get());
    AddSymmetryParentsToSet(parents.get(), setName, document.get(), root.get());
}

void CSurfaceCalculator::RemoveSelectionFromSet(ISBScope* scope, const std::string& setName) const
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
    if (!AppUtils::DataModel::HasSet(setName, document.get(), root.get()))
        return;
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root.get());
    const KelvComPtr<ISBScope> parents =
        AppUtils::Document::ProcessScope(SelectedAtomsScope(scope).get(), SymmetryParents, manager.get());
    RemoveSymmetryParentsFromSet(parents.get(), setName, document.get(), root.get());
}

void CSurfaceCalculator::AddSymmetryParentsToSet(ISBScope* parents, const std::string& setName,
                                                 ISBDocumentRoot* document, ISBContainerRoot* root) const
{
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root);
    for (const KelvComPtr<ISDObject>& atom :
         ObjectsOf(AppUtils::Document::ObjectsFromScope(parents, AtomFilter, manager.get())))
        AppUtils::DataModel::AddObjectToSet(SymmetryParentOf(atom).get(), setName, document, root);
}

void CSurfaceCalculator::RemoveSymmetryParentsFromSet(ISBScope* parents, const std::string& setName,
                                                      ISBDocumentRoot* document, ISBContainerRoot* root) const
{
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root);
    for (const KelvComPtr<ISDObject>& atom :
         ObjectsOf(AppUtils::Document::ObjectsFromScope(parents, AtomFilter, manager.get())))
        AppUtils::DataModel::RemoveObjectFromSet(SymmetryParentOf(atom).get(), setName, document, root);
}

bool CSurfaceCalculator::SelectionWhollyInSet(ISBScope* scope, const std::string& setName) const
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root.get());
    for (const KelvComPtr<ISDObject>& atom : ParentAtomsOf(SelectedAtomsScope(scope).get(), manager.get()))
        if (!AppUtils::DataModel::ObjectBelongsToSet(atom.get(), setName, document.get(), root.get()))
            return false;
    return true;
}

bool CSurfaceCalculator::NoScopeAtomInSet(ISBScope* scope, const std::string& setName) const
{
    const KelvComPtr<ISBContainerRoot> root = Root();
    const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root.get());
    for (const KelvComPtr<ISDObject>& atom : ParentAtomsOf(scope, manager.get()))
        if (AppUtils::DataModel::ObjectBelongsToSet(atom.get(), setName, document.get(), root.get()))
            return false;
    return true;
}

// --- the two sets -------------------------------------------------------------

bool CSurfaceCalculator::CalculateAttachmentEnergy() const
{
    return AppUtils::Container::GetStatePropertyValue("CalculateAttachmentEnergy", State(), false).Bool();
}

HRESULT CSurfaceCalculator::CanChangeSet(SetKind set, SetAction action, ISBScope* scope, VARIANT_BOOL* answer)
{
    return Run([&] {
        const SetTraits& traits = Sets[static_cast<int>(set)];
        RequireOutput(answer);
        *answer = VARIANT_FALSE;
        RequireScope(scope, std::string("CSurfaceCalculator::") +
                                SetOperationNames[static_cast<int>(set)][static_cast<int>(action)] +
                                ": Scope is null.\n");
        const auto switchedOn = [&] { return !traits.needsAttachmentEnergy || CalculateAttachmentEnergy(); };
        bool can = false;
        switch (action) {
        case SetAction::CanAdd:
            can = !SelectionIsEmpty(scope) && switchedOn() && IsScope2DPeriodic(scope) &&
                  !SelectionWhollyInSet(scope, traits.name);
            break;
        case SetAction::CanRemove:
            can = !SelectionIsEmpty(scope) && switchedOn() && !NoScopeAtomInSet(scope, traits.name);
            break;
        case SetAction::CanSelect:
            can = switchedOn() && SetHasAtoms(scope, traits.name);
            break;
        default:
            throw KelvResult(E_UNEXPECTED, "CSurfaceCalculator: not a query of a set.");
        }
        *answer = ToVariantBool(can);
    });
}

HRESULT CSurfaceCalculator::ChangeSet(SetKind set, SetAction action, ISBScope* scope, VARIANT_BOOL select)
{
    return Run([&] {
        const SetTraits& traits = Sets[static_cast<int>(set)];
        RequireScope(scope, std::string("CSurfaceCalculator::") +
                                SetOperationNames[static_cast<int>(set)][static_cast<int>(action)] +
                                ": Scope is null.\n");
        const KelvComPtr<ISBContainerRoot> root = Root();
        const bool selectSet = select != VARIANT_FALSE;
        switch (action) {
        case SetAction::Add: {
            const KelvComPtr<ISBOperation> operation =
                AppUtils::Container::CreateOperation(root.get(), 0, traits.addText);
            AddSelectionToSet(scope, traits.name);
            if (selectSet)
                SelectSet(scope, traits.name);
            break;
        }
        case SetAction::Remove: {
            const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
            const KelvComPtr<ISBOperation> operation =
                AppUtils::Container::CreateOperation(root.get(), 0, traits.removeText);
            RemoveSelectionFromSet(scope, traits.name);
            if (AppUtils::DataModel::SetIsEmpty(traits.name, document.get(), root.get()))
                AppUtils::DataModel::DeleteSet(traits.name, document.get(), root.get());
            else if (selectSet)
                SelectSet(scope, traits.name);
            break;
        }
        case SetAction::Select: {
            const KelvComPtr<ISBOperation> operation =
                AppUtils::Container::CreateOperation(root.get(), 3, traits.selectText);
            SelectSet(scope, traits.name);
            break;
        }
        default:
            throw KelvResult(E_UNEXPECTED, "CSurfaceCalculator: not a change of a set.");
        }
    });
}

HRESULT CSurfaceCalculator::CanAddToSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanAdd)
{
    return CanChangeSet(SetKind::SurfaceAtoms, SetAction::CanAdd, pScope, pbCanAdd);
}

HRESULT CSurfaceCalculator::AddToSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL select)
{
    return ChangeSet(SetKind::SurfaceAtoms, SetAction::Add, pScope, select);
}

HRESULT CSurfaceCalculator::CanRemoveFromSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanRemove)
{
    return CanChangeSet(SetKind::SurfaceAtoms, SetAction::CanRemove, pScope, pbCanRemove);
}

HRESULT CSurfaceCalculator::RemoveFromSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL select)
{
    return ChangeSet(SetKind::SurfaceAtoms, SetAction::Remove, pScope, select);
}

HRESULT CSurfaceCalculator::CanSelectSurfaceAtomSet(ISBScope* pScope, VARIANT_BOOL* pbCanSelect)
{
    return CanChangeSet(SetKind::SurfaceAtoms, SetAction::CanSelect, pScope, pbCanSelect);
}

HRESULT CSurfaceCalculator::SelectSurfaceAtomSet(ISBScope* pScope)
{
    return ChangeSet(SetKind::SurfaceAtoms, SetAction::Select, pScope, VARIANT_FALSE);
}

HRESULT CSurfaceCalculator::CanAddToAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanAdd)
{
    return CanChangeSet(SetKind::AttachmentLayer, SetAction::CanAdd, pScope, pbCanAdd);
}

HRESULT CSurfaceCalculator::AddToAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL select)
{
    return ChangeSet(SetKind::AttachmentLayer, SetAction::Add, pScope, select);
}

HRESULT CSurfaceCalculator::CanRemoveFromAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanRemove)
{
    return CanChangeSet(SetKind::AttachmentLayer, SetAction::CanRemove, pScope, pbCanRemove);
}

HRESULT CSurfaceCalculator::RemoveFromAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL select)
{
    return ChangeSet(SetKind::AttachmentLayer, SetAction::Remove, pScope, select);
}

HRESULT CSurfaceCalculator::CanSelectAttachmentLayerSet(ISBScope* pScope, VARIANT_BOOL* pbCanSelect)
{
    return CanChangeSet(SetKind::AttachmentLayer, SetAction::CanSelect, pScope, pbCanSelect);
}

HRESULT CSurfaceCalculator::SelectAttachmentLayerSet(ISBScope* pScope)
{
    return ChangeSet(SetKind::AttachmentLayer, SetAction::Select, pScope, VARIANT_FALSE);
}

// --- layers -------------------------------------------------------------------

HRESULT CSurfaceCalculator::CanSelectLayer(ISBScope* pScope, VARIANT_BOOL* pbCanSelect)
{
    return Run([&] {
        RequireOutput(pbCanSelect);
        *pbCanSelect = VARIANT_FALSE;
        RequireScope(pScope, BareNullScope);
        if (!IsScope2DPeriodic(pScope))
            return;
        const KelvComPtr<ISBDocumentRoot> document = ModelOfScope(pScope);
        if (!document)
            return;
        const KelvComPtr<ISBScope> contents = ContentsOf(document);
        double relative = 0.0;
        double absolute = 0.0;
        static_cast<IQoZelmSurfaceCalculator*>(this)->GetSurfaceDepth(contents.get(), &relative, &absolute);
        if (relative >= 1.0)
            *pbCanSelect = VARIANT_TRUE;
    });
}

HRESULT CSurfaceCalculator::SelectLayer(ISBScope* pScope, LONG FromLayer, LONG ToLayer)
{
    return Run([&] {
        RequireScope(pScope, BareNullScope);
        if (!IsScope2DPeriodic(pScope))
            return;
        const KelvComPtr<ISBDocumentRoot> document = ModelOfScope(pScope);
        if (!document)
            return;
        const KelvComPtr<ISBContainerRoot> root = Root();
        const KelvComPtr<ISBOperation> operation =
            AppUtils::Container::CreateOperation(root.get(), 3, "Select surface layer");
        const KelvComPtr<ISBScope> contents = ContentsOf(document);
        double relative = 0.0;
        double absolute = 0.0;
        static_cast<IQoZelmSurfaceCalculator*>(this)->GetSurfaceDepth(contents.get(), &relative, &absolute);
        // A depth that is not a finite number gives no layers: the user's
        // selection stays as it is.
        if (!std::isfinite(relative) || !std::isfinite(absolute) || relative < 1.0 || absolute == 0.0)
            return;

        // The layer numbers are taken as floating-point numbers, so that no
        // layer number overflows.
        const double thickness = absolute / relative;
        const double top = -(static_cast<double>(FromLayer) - 1.0) * thickness;
        const double bottom = -static_cast<double>(ToLayer) * thickness;

        const auto process = [&](ISBScope* scope, const char* processor) {
            KelvComPtr<ISBScope> result;
            KelvResult::Check(m_scopeUtility->ApplyScopeProcessor(scope, KelvBSTR(processor).Get(), result.Receive()));
            return result;
        };
        const KelvComPtr<ISBScope> atomsScope = process(process(contents.get(), SymmetryParents).get(), AtomFilter);
        KelvComPtr<ISBScopeObjects> objects;
        KelvResult::Check(atomsScope->get_Objects(objects.Receive()));
        const std::vector<KelvComPtr<ISDObject>> atoms = ObjectsOf(objects);

        const KelvComPtr<ISDPropertyTemplate> isSelected = AppUtils::DataModel::GetNamedPropertyTemplate("IsSelected");
        const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root.get());
        const KelvComPtr<ISBScope> selected =
            AppUtils::Document::ProcessScope(contents.get(), SelectionFilter, manager.get());
        if (!AppUtils::Document::ScopeIsEmpty(selected.get()))
            KelvResult::Check(isSelected->SetValueOnScope(selected.get(), KelvVariant(false).Get()));

        for (const KelvComPtr<ISDObject>& atom : atoms) {
            double x = 0.0;
            double y = 0.0;
            double z = 0.0;
            GetFractionalXYZ(atom, &x, &y, &z);
            if (z <= top + QorViraUtilities::FPTolerance() && z > bottom + QorViraUtilities::FPTolerance())
                WriteProperty(atom, "IsSelected", KelvVariant(true));
        }
    });
}

// --- properties ---------------------------------------------------------------

void CSurfaceCalculator::GetFractionalXYZ(const KelvComPtr<ISDObject>& atom, double* x, double* y, double* z)
{
    const KelvComPtr<ISDPoint3d> point =
        ReadProperty(atom, "FractionalXYZ").ExtractUnknown().QueryInterface<ISDPoint3d>();
    KelvResult::Check(point->GetXYZ(x, y, z));
}

double CSurfaceCalculator::GetAtomCharge(const KelvComPtr<ISDObject>& atom) const
{
    std::string option;
    if (m_stateHelper && m_stateHelper->IsValid())
        m_stateHelper->GetStateValue("ChargeOption", option);
    if (option == "Use current")
        return ReadProperty(atom, "Charge").Double();
    Kelv::CheckNullDereference(m_locator.get());
    // The project's state chose the file: it is read from the project or the
    // standard library folder only, links followed, as a deck takes it.
    const std::string path = m_locator->GetSelectedPath();
    CZelmStandardLibraries(Root()).RequireLibraryInPlace(path);
    const CZelmLibUtils library(m_locator->IsSelectedZelmStandardLibrary(), path);
    return library.GetCoreCharge(atom) + library.GetShellCharge(atom);
}

HRESULT CSurfaceCalculator::GetSurfaceDepth(ISBScope* pScope, double* RelDepth, double* AbsDepth)
{
    return Run([&] {
        RequireOutput(RelDepth);
        RequireOutput(AbsDepth);
        RequireScope(pScope, BareNullScope);
        const KelvComPtr<ISBDocumentRoot> document = ModelOfScope(pScope);
        Kelv::CheckNullDereference(document.get());
        const KelvComPtr<ISBScope> contents = ContentsOf(document);
        KelvComPtr<ISBScope> object;
        KelvResult::Check(m_scopeUtility->GetScopeObject(contents.get(), object.Receive()));
        Kelv::CheckNullDereference(object.get());
        const KelvComPtr<ISDSurfaceDescription> description = object.QueryInterface<ISDSurfaceDescription>();

        VARIANT_BOOL cleaved = VARIANT_FALSE;
        KelvBSTR plane;
        LONG h = 0;
        LONG k = 0;
        LONG l = 0;
        double topPosition = 0.0;
        double spacing = 0.0;
        double relative = 0.0;
        double absolute = 0.0;
        double area = 0.0;
        LONG atomCount = 0;
        double vacuum = 0.0;
        LONG termination = 0;
        LONG repeats = 0;
        KelvBSTR bulkDocument;
        KelvResult::Check(description->GetSurfaceInformation(&cleaved, plane.Receive(), &h, &k, &l, &topPosition,
                                                              &spacing, &relative, &absolute, &area, &atomCount,
                                                              &vacuum, &termination, &repeats,
                                                              bulkDocument.Receive()));
        if (plane.Get() != nullptr) {
            *RelDepth = relative;
            *AbsDepth = absolute;
        }
    });
}

HRESULT CSurfaceCalculator::CalculateDipoleMoment(ISBScope* pScope, double* dipoleMoment)
{
    return Run([&] {
        RequireOutput(dipoleMoment);
        *dipoleMoment = 0.0;
        const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(Root().get());
        double sum = 0.0;
        for (const KelvComPtr<ISDObject>& atom : ParentAtomsOf(pScope, manager.get())) {
            double x = 0.0;
            double y = 0.0;
            double z = 0.0;
            GetFractionalXYZ(atom, &x, &y, &z);
            sum += GetAtomCharge(atom) * z;
        }
        *dipoleMoment = sum * DipoleFactor;
    });
}

HRESULT CSurfaceCalculator::CalculateRegion1Charge(ISBScope* pScope, double* Charge)
{
    return Run([&] {
        RequireOutput(Charge);
        *Charge = 0.0;
        const KelvComPtr<ISBContainerRoot> root = Root();
        // A document without the set has no region 1: the host refuses the
        // scope of a set that does not exist.
        const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(pScope, root.get());
        if (!AppUtils::DataModel::HasSet(SurfaceSets::SurfaceAtoms, document.get(), root.get()))
            return;
        const KelvComPtr<ISBScope> surface =
            AppUtils::DataModel::GetSetAsScope(SurfaceSets::SurfaceAtoms, pScope, root.get());
        if (AppUtils::Document::ScopeIsEmpty(surface.get()))
            return;
        const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root.get());
        for (const KelvComPtr<ISDObject>& atom :
             ObjectsOf(AppUtils::Document::ObjectsFromScope(surface.get(), AtomFilter, manager.get())))
            *Charge += GetAtomCharge(atom);
    });
}

HRESULT CSurfaceCalculator::ProceedWithSet(ISBScope* scope, const char* setName, VARIANT_BOOL* answer)
{
    return Run([&] {
        RequireOutput(answer);
        *answer = VARIANT_FALSE;
        const KelvComPtr<ISBContainerRoot> root = Root();
        const KelvComPtr<ISBDocumentRoot> document = AppUtils::Document::DocumentFromScope(scope, root.get());
        *answer = ToVariantBool(!AppUtils::DataModel::SetIsEmpty(setName, document.get(), root.get()));
    });
}

HRESULT CSurfaceCalculator::SurfaceEnergyCalculationCanProceed(ISBScope* pScope, VARIANT_BOOL* pbCanProceed)
{
    return ProceedWithSet(pScope, SurfaceSets::SurfaceAtoms, pbCanProceed);
}

HRESULT CSurfaceCalculator::AttachmentEnergyCalculationCanProceed(ISBScope* pScope, VARIANT_BOOL* pbCanProceed)
{
    return ProceedWithSet(pScope, SurfaceSets::AttachmentLayer, pbCanProceed);
}
