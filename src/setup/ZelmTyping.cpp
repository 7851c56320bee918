// Forcefield types before a run: the libraries that describe atoms by
// forcefield type need every atom typed and the structure prepared.
#include "setup/Zelm.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/AppUtilsDocument.h"
#include "appfw/LogicStateUtilities.h"
#include "qorvira/ZelmUtils.h"

namespace {

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

KelvComPtr<ISBLogic> RequireLogic(const char* name, ISBExtension* extension)
{
    KelvComPtr<ISBLogic> logic = AppUtils::Container::GetLogic(name, extension);
    Kelv::CheckNullDereference(logic.get());
    return logic;
}

} // namespace

bool CZelm::IsTypedForcefieldLibrary() const
{
    std::string library;
    m_stateHelper->GetStateValue("library", library);
    return library == "dreiding" || library == "uff";
}

HRESULT CZelm::AssignForcefieldTypes(ISBScope* scope)
{
    return Request([&] {
        // 1-3. The forcefield the user chose, if the chooser offers it.
        const KelvComPtr<ISBLogic> chooserLogic = RequireLogic("ZelmForcefieldChooser", Extension());
        const auto chooser = chooserLogic.QueryInterface<IQoForcefieldChooser>();
        const KelvComPtr<ISBState> chooserState = LogicStateUtilities::GetState(chooserLogic.get());
        const KelvBSTR name(
            AppUtils::Container::GetStatePropertyValue("CurrentForcefield", chooserState.get(), false).String());
        VARIANT_BOOL available = VARIANT_FALSE;
        Check(chooser->IsForcefieldAvailable(name.Get(), &available));
        if (available != VARIANT_TRUE)
            return;

        // 4. Its kind.
        LONG kind = 0;
        {
            KelvComPtr<IQoChooserForcefield> forcefield;
            Check(chooser->GetForcefield(name.Get(), forcefield.Receive()));
            Kelv::CheckNullDereference(forcefield.get());
            Check(forcefield->get_Kind(&kind));
        }

        // 5, 6. Types that come with the forcefield, or that the preparation
        // assigns itself, need no look at the atoms.
        const KelvComPtr<ISBLogic> preparationLogic = RequireLogic("ZelmPreparation", Extension());
        const KelvComPtr<ISBState> preparationState = LogicStateUtilities::GetState(preparationLogic.get());
        const bool preparationAssigns =
            AppUtils::Container::GetStatePropertyValue("AssignForcefieldTypes", preparationState.get(), false).Bool();
        if (kind == 3 || preparationAssigns)
            return;

        // 7, 8. Every symmetry-parent atom must carry a type.
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        const KelvComPtr<ISBScope> contents = AppUtils::Document::CompleteModelScope(scope, root.get());
        const KelvComPtr<ISBScope> parents =
            AppUtils::Document::ProcessScope(contents.get(), "Normalization:Model3d!SymmetryParent", root.get());
        const KelvComPtr<ISBScope> atoms = AppUtils::Document::ProcessScope(parents.get(), "Filter:Model3d!Atom",
                                                                            root.get());
        const std::vector<KelvComPtr<ISDObject>> objects = AppUtils::Document::ObjectArrayFromScope(atoms.get());
        const KelvBSTR property("ForcefieldType");
        for (std::size_t i = 0; i < objects.size(); ++i) {
            LONG status = SDPropertyNoHint;
            VARIANT value;
            VariantInit(&value);
            // The getter's own result is not looked at: an atom whose type
            // cannot be read counts as untyped when no text comes out.
            objects[i]->get_PropertyValue(property.Get(), &status, &value);
            const KelvVariant type(value);
            VariantClear(&value);
            if (type.IsEmpty() || type.String().empty()) {
                KelvResult::SetLastError(
                    KelvResult(E_FAIL, "Atom " + std::to_string(i + 1) + " has no forcefield type."));
                throw KelvResult::LastErrorCheckNotS_OK();
            }
        }
    });
}

void CZelm::PrepareStructure(ISBScope* scope)
{
    const KelvComPtr<ISBLogic> chooser = AppUtils::Container::GetLogic("ZelmForcefieldChooser", Extension());
    const KelvComPtr<ISBLogic> preparation = AppUtils::Container::GetLogic("ZelmPreparation", Extension());
    ZelmUtils::PrepareStructure(chooser.get(), preparation.get(), scope);
}

void CZelm::RefuseUntypedAtoms(ISBScope* scope)
{
    if (!IsTypedForcefieldLibrary())
        return;
    const HRESULT hr = AssignForcefieldTypes(scope);
    if (hr != S_OK)
        KelvResult::SetLastError(hr);
    if (FAILED(hr))
        throw KelvResult(E_INVALIDARG, "Forcefield types have not been assigned for all atoms.\n"
                                       "Use the ZELM Preparations Options dialog to assign forcefield types.");
}

void CZelm::TypeAndPrepareIfNeeded(ISBScope* scope)
{
    RefuseUntypedAtoms(scope);
    if (IsTypedForcefieldLibrary())
        PrepareStructure(scope);
}
