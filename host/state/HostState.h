// A logic's state: the property bag (ISBState) that the host keeps for one
// logic, filled from the logic's state definitions and holding scalars,
// one-dimensional arrays, objects (co-classes) and enums (a number with a
// text for each permitted number).
#pragma once

#include "host/state/StateDefinitions.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <mutex>
#include <string>

namespace QzHost {

class HostState final : public CKelvUnknown, public IKelvDispatchImpl<ISBState> {
public:
    // A new state (one reference, owned by the caller) holding the defaults of
    // the definition.
    static KelvComPtr<HostState> Create(const LogicStateDefinition& definition);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISBState
    HRESULT GetPropertyValue(BSTR name, VARIANT* pValue) override;
    HRESULT SetPropertyValue(BSTR name, VARIANT value) override;
    HRESULT GetPropertyEnumText(BSTR name, BSTR* pText) override;
    HRESULT HasProperty(BSTR name, VARIANT_BOOL* pHas) override;
    HRESULT GetPropertyKind(BSTR name, LONG* pKind) override;
    HRESULT get_PropertyNames(SAFEARRAY** ppNames) override;

    // The host's own access. Unknown names and unconvertible values throw
    // KelvResult (E_INVALIDARG, DISP_E_TYPEMISMATCH) with a clear message.
    const std::string& LogicName() const { return m_definition.logic; }
    const LogicStateDefinition& Definition() const { return m_definition; }
    KelvVariant Value(const std::string& name);
    // Stores a value converted to the property's declared type (see
    // SetPropertyValue); a number outside the property's bound, or a value
    // outside the values it lists, throws KelvResult E_INVALIDARG naming the
    // property and its range.
    void SetValue(const std::string& name, const VARIANT& value);
    // Stores a value given as text: scalars and enums as their text (an
    // enum also by number, a long that names its values also by name), arrays as a JSON list ("[1, 2]"). Co-classes
    // cannot be set from text.
    void SetValueFromText(const std::string& name, const std::string& text);
    // The enum's text of the current value.
    std::string EnumText(const std::string& name);
    // The current value as text: scalars converted, enums by their text,
    // arrays as a JSON list, objects as "(object)" or "(none)".
    std::string ValueText(const std::string& name);
    // The same for a person: a long that names its values with its name,
    // "2 (GeomOpt)" (a stored value outside them says so).
    std::string DisplayText(const std::string& name);
    void ResetToDefaults();

    // The names of the properties set since the state was made, reset or
    // last marked saved (ResetToDefaults and MarkSaved clear the list).
    std::set<std::string> ChangedNames();
    void MarkSaved();

    // The persistable values as a JSON object (co-classes are left out;
    // enums by their text).
    nlohmann::json ToJson();
    // Sets the values an object of the ToJson shape names. A name the
    // definitions do not know, or a value of the wrong type, throws KelvResult
    // naming `origin`; values before the fault stay set.
    void LoadJson(const nlohmann::json& values, const std::string& origin);

private:
    explicit HostState(const LogicStateDefinition& definition);

    const StatePropertyDefinition& Require(const std::string& name) const;
    KelvVariant Convert(const StatePropertyDefinition& property, const VARIANT& value) const;
    // The one check of a value against the definitions' table of ranges and
    // choices, for a value set and for one read (GetPropertyValue): a number
    // below the property's lower bound (or not finite), or a value outside
    // the values it lists, throws KelvResult E_INVALIDARG naming the
    // property; a value read names the `state` command that sets it right.
    void CheckRange(const StatePropertyDefinition& property, const KelvVariant& value) const;
    void CheckRangeOf(const StatePropertyDefinition& property, const KelvVariant& value) const;
    // The stored value; a co-class default is created on first use.
    KelvVariant& Stored(const StatePropertyDefinition& property);

    LogicStateDefinition m_definition;
    std::recursive_mutex m_mutex;
    std::map<std::string, KelvVariant> m_values;
    std::map<std::string, bool> m_coClassTried;
    std::set<std::string> m_changed;
    bool m_loading = false;
    bool m_reading = false;
};

} // namespace QzHost
