// Host interfaces of the forcefield editor: implemented by a module's
// forcefield model wrappers and used by the host's editor.
#pragma once

#include "hostapi/core.h"

struct ISDVariantDataDimension;
struct IQoForcefield;
struct IQoServerDescription;
struct IQoAtomType;
struct IQoInteraction;
struct IQoParameter;

inline constexpr IID IID_IQoForcefieldEditor = HostApi::MakeGuid("83B31654-67DB-4BC7-9B00-ACF62467541F");
inline constexpr IID IID_IQoForcefield = HostApi::MakeGuid("C8AD96C4-5407-4D30-B37E-7BEECF3373B9");
inline constexpr IID IID_IQoServerDescription = HostApi::MakeGuid("4E0BA080-2888-4D05-BD6D-496886166536");
inline constexpr IID IID_IQoAtomType = HostApi::MakeGuid("7070E40D-AA39-4A37-AAE3-8E27934FCDE5");
inline constexpr IID IID_IQoInteraction = HostApi::MakeGuid("36539084-1D06-4975-BBA5-940F2A6ACB35");
inline constexpr IID IID_IQoParameter = HostApi::MakeGuid("0A3C2C94-160B-4DED-8BA7-3E258A89746A");
inline constexpr IID IID_IQoEditedForcefieldConsumer = HostApi::MakeGuid("72499E50-11FA-4F7C-B1DE-C06FD973EC23");

// A forcefield editor: loads, holds and saves one forcefield file.
struct IQoForcefieldEditor : public IUnknown {
    static const IID& Iid() { return IID_IQoForcefieldEditor; }
    // Loads the forcefield file and gives the loaded forcefield.
    virtual HRESULT get_Load(BSTR fileName, IQoForcefield** ppForcefield) = 0;
    // The loaded forcefield.
    virtual HRESULT get_Forcefield(IQoForcefield** ppForcefield) = 0;
    // Saves the loaded forcefield to its file.
    virtual HRESULT Save() = 0;
    // Saves the loaded forcefield under another file name.
    virtual HRESULT SaveAs(BSTR fileName) = 0;
    // What the engine's forcefields can hold.
    virtual HRESULT get_ServerDescription(IQoServerDescription** ppServerDescription) = 0;
    // The file of the loaded forcefield.
    virtual HRESULT get_LoadedFilePath(BSTR* pName) = 0;
};

// A forcefield: atom types and interactions. Atom-type lists are 1-D VT_BSTR arrays.
struct IQoForcefield : public IUnknown {
    static const IID& Iid() { return IID_IQoForcefield; }
    // Adds an atom type (charge 0).
    virtual HRESULT AddAtomType(BSTR NewAtomTypeName, IQoAtomType** ppNewAtomType) = 0;
    // Removes an atom type.
    virtual HRESULT RemoveAtomType(BSTR atomtypeName) = 0;
    // The atom type of that name.
    virtual HRESULT get_AtomType(BSTR atomtypeName, IQoAtomType** pAtomType) = 0;
    // The names of all atom types.
    virtual HRESULT get_AtomTypes(SAFEARRAY** pAtomTypes) = 0;
    // Whether the forcefield has an atom type of that name.
    virtual HRESULT get_HasAtomType(BSTR atomtypeName, VARIANT_BOOL* pResult) = 0;
    // Functional forms of the interaction type not yet used between the atom types.
    virtual HRESULT get_UnusedInteractionsOfType(BSTR interactionTypeName, SAFEARRAY** pAtomTypes,
                                                 SAFEARRAY** pInteractionNames) = 0;
    // One interaction, by type, atom types, functional form and id.
    virtual HRESULT get_Interaction(BSTR interactionTypeName, SAFEARRAY** pAtomTypes, BSTR functionalFormName, INT Id,
                                    IQoInteraction** ppInteraction) = 0;
    // Adds an interaction of the form between the atom types.
    virtual HRESULT get_AddInteraction(BSTR interactionTypeName, SAFEARRAY** pAtomTypes, BSTR functionalFormName,
                                       IQoInteraction** ppInteraction) = 0;
    // The interactions of the type between the atom types (a collection of IQoInteraction objects).
    virtual HRESULT get_Interactions(BSTR interactionTypeName, SAFEARRAY** pAtomTypes,
                                     ISDVariantDataDimension** ppInteractions) = 0;
    // Removes one interaction.
    virtual HRESULT RemoveInteraction(BSTR interactionTypeName, BSTR functionalFormName, SAFEARRAY** pAtomTypes,
                                      INT Id) = 0;
    // The note describing the forcefield.
    virtual HRESULT get_Description(BSTR* pDescription) = 0;
    virtual HRESULT put_Description(BSTR description) = 0;
};

// What an engine's forcefields can hold.
struct IQoServerDescription : public IUnknown {
    static const IID& Iid() { return IID_IQoServerDescription; }
    // Names of the interaction types.
    virtual HRESULT get_InteractionTypeNames(SAFEARRAY** pInteractionTypeNames) = 0;
    // Names of the functional forms of one interaction type.
    virtual HRESULT get_FunctionalFormNamesOfType(BSTR interactionTypeName, SAFEARRAY** pNames) = 0;
    // Number of atoms of one interaction type.
    virtual HRESULT get_NumberOfAtomsOfType(BSTR interactionTypeName, INT* pNumberOfAtoms) = 0;
    // The engine's name.
    virtual HRESULT get_ServerName(BSTR* Name) = 0;
    // Whether the engine can fit forcefield parameters to data.
    virtual HRESULT get_CanFit(VARIANT_BOOL* pCanFit) = 0;
};

// An atom type of a forcefield.
struct IQoAtomType : public IUnknown {
    static const IID& Iid() { return IID_IQoAtomType; }
    // The name.
    virtual HRESULT get_Name(BSTR* pName) = 0;
    virtual HRESULT put_Name(BSTR name) = 0;
    // The description.
    virtual HRESULT get_Description(BSTR* pDescription) = 0;
    // The charge.
    virtual HRESULT put_Charge(double charge) = 0;
    virtual HRESULT get_Charge(double* pQ) = 0;
};

// An interaction of a forcefield: its form, parameters and options. Option indices are 0-based.
struct IQoInteraction : public IUnknown {
    static const IID& Iid() { return IID_IQoInteraction; }
    // The functional form's name.
    virtual HRESULT get_FunctionalForm(BSTR* functionalFormName) = 0;
    // The interaction's id.
    virtual HRESULT get_Id(INT* pid) = 0;
    // Number of parameters.
    virtual HRESULT get_ParameterCount(LONG* pCount) = 0;
    // Parameter `Index`.
    virtual HRESULT get_Parameter(LONG Index, IQoParameter** ppParameter) = 0;
    // Integer options.
    virtual HRESULT get_IntegerOptionCount(INT* pCount) = 0;
    virtual HRESULT get_IntegerOption(INT Index, INT* pValue) = 0;
    virtual HRESULT get_IntegerOptionNames(SAFEARRAY** pNames) = 0;
    virtual HRESULT get_IntegerOptionName(INT Index, BSTR* pName) = 0;
    virtual HRESULT get_IsIntegerOptionEnabled(INT Index, VARIANT_BOOL* pEnabled) = 0;
    virtual HRESULT put_IntegerOption(INT Index, INT value) = 0;
    // Boolean options.
    virtual HRESULT get_BooleanOptionCount(INT* pCount) = 0;
    virtual HRESULT get_BooleanOptionNames(SAFEARRAY** pNames) = 0;
    virtual HRESULT get_BooleanOption(INT Index, VARIANT_BOOL* pValue) = 0;
    virtual HRESULT put_BooleanOption(INT Index, VARIANT_BOOL value) = 0;
    virtual HRESULT get_IsBooleanOptionEnabled(INT Index, VARIANT_BOOL* pEnabled) = 0;
    virtual HRESULT get_BooleanOptionName(INT Index, BSTR* pName) = 0;
    // Double options.
    virtual HRESULT get_DoubleOptionCount(INT* pCount) = 0;
    virtual HRESULT get_DoubleOptionNames(SAFEARRAY** pNames) = 0;
    virtual HRESULT get_DoubleOption(INT Index, double* pValue) = 0;
    virtual HRESULT put_DoubleOption(INT Index, double value) = 0;
    virtual HRESULT get_IsDoubleOptionEnabled(INT Index, VARIANT_BOOL* pEnabled) = 0;
    virtual HRESULT get_DoubleOptionName(INT Index, BSTR* pName) = 0;
};

// A parameter of an interaction.
struct IQoParameter : public IUnknown {
    static const IID& Iid() { return IID_IQoParameter; }
    // The name.
    virtual HRESULT get_Name(BSTR* pName) = 0;
    // The unit.
    virtual HRESULT get_Unit(BSTR* Unit) = 0;
    // Whether the engine can fit it.
    virtual HRESULT get_IsFittable(VARIANT_BOOL* pIsFittable) = 0;
    // Whether the editor hides it.
    virtual HRESULT get_IsHidden(VARIANT_BOOL* pIsHidden) = 0;
    // Whether it is marked for fitting.
    virtual HRESULT get_IsToBeFitted(VARIANT_BOOL* pIsToBeFitted) = 0;
    virtual HRESULT put_IsToBeFitted(VARIANT_BOOL isToBeFitted) = 0;
    // Resets the value to the default.
    virtual HRESULT SetToDefaultValue() = 0;
    // The default value.
    virtual HRESULT get_DefaultValue(double* pValue) = 0;
    // The value.
    virtual HRESULT get_Value(double* pValue) = 0;
    virtual HRESULT put_Value(double value) = 0;
    // The quality of the value (text).
    virtual HRESULT get_Quality(BSTR* pQuality) = 0;
    virtual HRESULT put_Quality(BSTR quality) = 0;
};

// Implemented by a logic that offers its forcefield to the host's editor.
struct IQoEditedForcefieldConsumer : public IUnknown {
    static const IID& Iid() { return IID_IQoEditedForcefieldConsumer; }
    // An editor loaded with the logic's selected forcefield.
    virtual HRESULT get_ForcefieldEditor(IQoForcefieldEditor** ppEditor) = 0;
    // The user saved the edited forcefield to filePath.
    virtual HRESULT ForcefieldSavedTo(BSTR filePath) = 0;
    // Where an edited copy is best saved: a folder and file name joined.
    virtual HRESULT SuggestSavePath(BSTR fileName, BSTR* pSuggestedDirectory) = 0;
};
