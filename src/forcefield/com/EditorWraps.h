// COM objects of the forcefield editor, the forcefield and the server
// description. Each holds a shared reference to its model object, so it
// stays usable however long the host keeps it: a forcefield replaced by a
// later load, or an editor whose logic object has gone, lives on for the
// objects that still show it.
#pragma once

#include "common/ZelmInterfaces.h"
#include "forcefield/com/ForcefieldComIds.h"
#include "forcefield/com/ForcefieldComObject.h"

#include "qorff/Forcefield.h"
#include "qorff/ForcefieldEditor.h"
#include "qorff/ServerDescription.h"

#include <boost/shared_ptr.hpp>

class CForcefieldEditorWrap final : public ForcefieldCom::CWrapper<CForcefieldEditorWrap, IQoForcefieldEditor>,
                                     public IZelmLoadWarnings
{
public:
    KELV_DELEGATE_IUNKNOWN
    static const CLSID& Clsid() { return QorZelm::CLSID_ZelmForcefieldEditor; }
    // A new object over the editor (null throws KelvResult E_POINTER), with
    // the one reference that belongs to the caller.
    static KelvComPtr<IQoForcefieldEditor> Create(const boost::shared_ptr<CForcefieldEditor>& editor);

    HRESULT get_Load(BSTR fileName, IQoForcefield** ppForcefield) override;
    HRESULT get_Forcefield(IQoForcefield** ppForcefield) override;
    HRESULT Save() override;
    HRESULT SaveAs(BSTR fileName) override;
    HRESULT get_ServerDescription(IQoServerDescription** ppServerDescription) override;
    HRESULT get_LoadedFilePath(BSTR* pName) override;
    // The module's own editor's load warnings (IZelmLoadWarnings).
    HRESULT get_LoadWarnings(SAFEARRAY** pLines) override;
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

private:
    friend class ForcefieldCom::CWrapper<CForcefieldEditorWrap, IQoForcefieldEditor>;
    explicit CForcefieldEditorWrap(const boost::shared_ptr<CForcefieldEditor>& editor);
    boost::shared_ptr<CForcefieldEditor> m_editor;
};

class CForcefieldWrap final : public ForcefieldCom::CWrapper<CForcefieldWrap, IQoForcefield>
{
public:
    static const CLSID& Clsid() { return QorZelm::CLSID_ZelmForcefield; }
    static KelvComPtr<IQoForcefield> Create(const ForcefieldPtr& forcefield);

    HRESULT AddAtomType(BSTR NewAtomTypeName, IQoAtomType** ppNewAtomType) override;
    HRESULT RemoveAtomType(BSTR atomtypeName) override;
    HRESULT get_AtomType(BSTR atomtypeName, IQoAtomType** pAtomType) override;
    HRESULT get_AtomTypes(SAFEARRAY** pAtomTypes) override;
    HRESULT get_HasAtomType(BSTR atomtypeName, VARIANT_BOOL* pResult) override;
    HRESULT get_UnusedInteractionsOfType(BSTR interactionTypeName, SAFEARRAY** pAtomTypes,
                                         SAFEARRAY** pInteractionNames) override;
    HRESULT get_Interaction(BSTR interactionTypeName, SAFEARRAY** pAtomTypes, BSTR functionalFormName, INT Id,
                            IQoInteraction** ppInteraction) override;
    HRESULT get_AddInteraction(BSTR interactionTypeName, SAFEARRAY** pAtomTypes, BSTR functionalFormName,
                               IQoInteraction** ppInteraction) override;
    HRESULT get_Interactions(BSTR interactionTypeName, SAFEARRAY** pAtomTypes,
                             ISDVariantDataDimension** ppInteractions) override;
    HRESULT RemoveInteraction(BSTR interactionTypeName, BSTR functionalFormName, SAFEARRAY** pAtomTypes,
                              INT Id) override;
    HRESULT get_Description(BSTR* pDescription) override;
    HRESULT put_Description(BSTR description) override;

private:
    friend class ForcefieldCom::CWrapper<CForcefieldWrap, IQoForcefield>;
    explicit CForcefieldWrap(const ForcefieldPtr& forcefield);
    ForcefieldPtr m_forcefield;
};

class CServerDescriptionWrap final : public ForcefieldCom::CWrapper<CServerDescriptionWrap, IQoServerDescription>
{
public:
    static const CLSID& Clsid() { return QorZelm::CLSID_ZelmServerDescription; }
    static KelvComPtr<IQoServerDescription> Create(const boost::shared_ptr<const CServerDescription>& description);

    HRESULT get_InteractionTypeNames(SAFEARRAY** pInteractionTypeNames) override;
    HRESULT get_FunctionalFormNamesOfType(BSTR interactionTypeName, SAFEARRAY** pNames) override;
    HRESULT get_NumberOfAtomsOfType(BSTR interactionTypeName, INT* pNumberOfAtoms) override;
    HRESULT get_ServerName(BSTR* Name) override;
    HRESULT get_CanFit(VARIANT_BOOL* pCanFit) override;

private:
    friend class ForcefieldCom::CWrapper<CServerDescriptionWrap, IQoServerDescription>;
    explicit CServerDescriptionWrap(const boost::shared_ptr<const CServerDescription>& description);
    boost::shared_ptr<const CServerDescription> m_description;
};
