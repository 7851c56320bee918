#include "forcefield/com/EditorWraps.h"

#include "forcefield/com/PartWraps.h"
#include "forcefield/ZelmForcefieldEditor.h"

#include "qorqm/MessageText.h"

using ForcefieldCom::BstrArrayToStringList;

namespace {

std::string Text(BSTR text)
{
    return Kelv::BSTRToTString(text);
}

template <class T>
const T& Checked(const T& model)
{
    Kelv::CheckNullDereference(model.get());
    return model;
}

} // namespace

// ---------------------------------------------------------------------------
// IQoForcefieldEditor

CForcefieldEditorWrap::CForcefieldEditorWrap(const boost::shared_ptr<CForcefieldEditor>& editor) : m_editor(editor)
{
}

KelvComPtr<IQoForcefieldEditor> CForcefieldEditorWrap::Create(const boost::shared_ptr<CForcefieldEditor>& editor)
{
    return Make(Checked(editor));
}

HRESULT CForcefieldEditorWrap::get_Load(BSTR fileName, IQoForcefield** ppForcefield)
{
    return Get(ppForcefield, [&] {
        const std::string path = Text(fileName);
        m_editor->Load(path);
        return CForcefieldWrap::Create(m_editor->GetForcefieldPtr());
    });
}

HRESULT CForcefieldEditorWrap::get_Forcefield(IQoForcefield** ppForcefield)
{
    return Get(ppForcefield, [&] {
        m_editor->GetForcefield(); // throws when nothing is loaded
        return CForcefieldWrap::Create(m_editor->GetForcefieldPtr());
    });
}

HRESULT CForcefieldEditorWrap::Save()
{
    return Call([&] { m_editor->Save(); });
}

HRESULT CForcefieldEditorWrap::SaveAs(BSTR fileName)
{
    return Call([&] { m_editor->SaveAs(Text(fileName)); });
}

HRESULT CForcefieldEditorWrap::get_ServerDescription(IQoServerDescription** ppServerDescription)
{
    return Get(ppServerDescription, [&] { return CServerDescriptionWrap::Create(m_editor->GetServerDescriptionPtr()); });
}

HRESULT CForcefieldEditorWrap::get_LoadedFilePath(BSTR* pName)
{
    return Get(pName, [&] { return m_editor->GetFilePath(); });
}

HRESULT CForcefieldEditorWrap::get_LoadWarnings(SAFEARRAY** pLines)
{
    return Kelv::ComMethod(Clsid(), IID_IZelmLoadWarnings, [&] {
        if (!pLines)
            throw KelvResult(E_POINTER, ForcefieldCom::kNoOutput);
        *pLines = nullptr;
        std::vector<std::string> lines;
        if (const auto* own = dynamic_cast<const CZelmForcefieldEditor*>(m_editor.get())) {
            for (const CZelmLibUtils::Warning& warning : own->GetLoadWarnings())
                lines.push_back("line " + std::to_string(warning.lineNumber) + ": " +
                                MessageText::Excerpt(warning.line) + "\n    " + warning.reason);
        }
        *pLines = ZelmArrays::StringListToBstrArray(lines).Detach();
    });
}

HRESULT CForcefieldEditorWrap::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (IsEqualGUID(iid, IID_IZelmLoadWarnings))
        return FinishQI(static_cast<IZelmLoadWarnings*>(this), out);
    return CWrapper::DelegatedQueryInterface(iid, out);
}

// ---------------------------------------------------------------------------
// IQoForcefield

CForcefieldWrap::CForcefieldWrap(const ForcefieldPtr& forcefield) : m_forcefield(forcefield) {}

KelvComPtr<IQoForcefield> CForcefieldWrap::Create(const ForcefieldPtr& forcefield)
{
    return Make(Checked(forcefield));
}

HRESULT CForcefieldWrap::AddAtomType(BSTR NewAtomTypeName, IQoAtomType** ppNewAtomType)
{
    return Get(ppNewAtomType, [&] {
        const std::string name = Text(NewAtomTypeName);
        m_forcefield->AddAtomType(name, 0.0);
        return CAtomTypeWrap::Create(m_forcefield, m_forcefield->GetAtomTypePtr(name));
    });
}

HRESULT CForcefieldWrap::RemoveAtomType(BSTR atomtypeName)
{
    return Call([&] { m_forcefield->RemoveAtomType(Text(atomtypeName)); });
}

HRESULT CForcefieldWrap::get_AtomType(BSTR atomtypeName, IQoAtomType** pAtomType)
{
    return Get(pAtomType,
               [&] { return CAtomTypeWrap::Create(m_forcefield, m_forcefield->GetAtomTypePtr(Text(atomtypeName))); });
}

HRESULT CForcefieldWrap::get_AtomTypes(SAFEARRAY** pAtomTypes)
{
    return Get(pAtomTypes, [&] { return m_forcefield->GetAtomTypeNames(); });
}

HRESULT CForcefieldWrap::get_HasAtomType(BSTR atomtypeName, VARIANT_BOOL* pResult)
{
    return Get(pResult, [&] { return m_forcefield->HasAtomType(Text(atomtypeName)); });
}

HRESULT CForcefieldWrap::get_UnusedInteractionsOfType(BSTR interactionTypeName, SAFEARRAY** pAtomTypes,
                                                      SAFEARRAY** pInteractionNames)
{
    return Get(pInteractionNames, [&] {
        const std::list<std::string> atomTypes = BstrArrayToStringList(pAtomTypes);
        return m_forcefield->GetUnusedInteractionsOfType(Text(interactionTypeName), atomTypes);
    });
}

HRESULT CForcefieldWrap::get_Interaction(BSTR interactionTypeName, SAFEARRAY** pAtomTypes, BSTR functionalFormName,
                                         INT Id, IQoInteraction** ppInteraction)
{
    return Get(ppInteraction, [&] {
        const std::list<std::string> atomTypes = BstrArrayToStringList(pAtomTypes);
        return CInteractionWrap::Create(m_forcefield->GetInteractionPtr(Text(interactionTypeName),
                                                                        Text(functionalFormName), atomTypes, Id));
    });
}

HRESULT CForcefieldWrap::get_AddInteraction(BSTR interactionTypeName, SAFEARRAY** pAtomTypes,
                                            BSTR functionalFormName, IQoInteraction** ppInteraction)
{
    return Get(ppInteraction, [&] {
        const std::list<std::string> atomTypes = BstrArrayToStringList(pAtomTypes);
        const std::string type = Text(interactionTypeName);
        const std::string form = Text(functionalFormName);
        const CInteraction& added = m_forcefield->AddInteraction(type, form, atomTypes);
        return CInteractionWrap::Create(m_forcefield->GetInteractionPtr(type, form, atomTypes, added.GetId()));
    });
}

HRESULT CForcefieldWrap::get_Interactions(BSTR interactionTypeName, SAFEARRAY** pAtomTypes,
                                          ISDVariantDataDimension** ppInteractions)
{
    return Get(ppInteractions, [&] {
        const std::list<std::string> atomTypes = BstrArrayToStringList(pAtomTypes);
        const std::vector<InteractionPtr> interactions =
            m_forcefield->GetInteractions(Text(interactionTypeName), atomTypes);

        // The host's collection; failing to make it fails the call, also
        // for an empty list.
        KelvComPtr<ISDVariantDataDimension> collection;
        Kelv::KelvCreateImpl(CLSID_SDVariantDataDimension, nullptr, CLSCTX_SERVER, IID_ISDVariantDataDimension,
                             collection.ReceiveVoid(), true);
        Kelv::CheckNullDereference(collection.get());
        for (const InteractionPtr& interaction : interactions) {
            KelvComPtr<IQoInteraction> wrapper = CInteractionWrap::Create(interaction);
            KelvVariant item(static_cast<IUnknown*>(wrapper.get()));
            LONG index = 0;
            KelvResult::Check(collection->Add(item.Get(), &index));
        }
        return collection;
    });
}

HRESULT CForcefieldWrap::RemoveInteraction(BSTR interactionTypeName, BSTR functionalFormName, SAFEARRAY** pAtomTypes,
                                           INT Id)
{
    return Call([&] {
        const std::list<std::string> atomTypes = BstrArrayToStringList(pAtomTypes);
        m_forcefield->RemoveInteraction(Text(interactionTypeName), Text(functionalFormName), atomTypes, Id);
    });
}

HRESULT CForcefieldWrap::get_Description(BSTR* pDescription)
{
    return Get(pDescription, [&] { return m_forcefield->GetDescription(); });
}

HRESULT CForcefieldWrap::put_Description(BSTR description)
{
    return Call([&] { m_forcefield->SetDescription(Text(description)); });
}

// ---------------------------------------------------------------------------
// IQoServerDescription

CServerDescriptionWrap::CServerDescriptionWrap(const boost::shared_ptr<const CServerDescription>& description)
    : m_description(description)
{
}

KelvComPtr<IQoServerDescription>
CServerDescriptionWrap::Create(const boost::shared_ptr<const CServerDescription>& description)
{
    return Make(Checked(description));
}

HRESULT CServerDescriptionWrap::get_InteractionTypeNames(SAFEARRAY** pInteractionTypeNames)
{
    return Get(pInteractionTypeNames, [&] { return m_description->GetInteractionTypeNames(); });
}

HRESULT CServerDescriptionWrap::get_FunctionalFormNamesOfType(BSTR interactionTypeName, SAFEARRAY** pNames)
{
    return Get(pNames, [&] {
        const InteractionTypePtr type = m_description->GetInteractionType(Text(interactionTypeName));
        return type->GetFunctionalFormNames();
    });
}

HRESULT CServerDescriptionWrap::get_NumberOfAtomsOfType(BSTR interactionTypeName, INT* pNumberOfAtoms)
{
    return Get(pNumberOfAtoms, [&] {
        const InteractionTypePtr type = m_description->GetInteractionType(Text(interactionTypeName));
        return type->GetNumberOfAtoms();
    });
}

HRESULT CServerDescriptionWrap::get_ServerName(BSTR* Name)
{
    return Get(Name, [&] { return m_description->GetServerName(); });
}

HRESULT CServerDescriptionWrap::get_CanFit(VARIANT_BOOL* pCanFit)
{
    return Get(pCanFit, [&] { return m_description->CanFit(); });
}
