#include "host/state/HostState.h"

#include "host/managers/HostCall.h"
#include "host/state/StateValues.h"

#include "qorqm/MessageText.h"

#include <cmath>
#include <sstream>

namespace QzHost {

using nlohmann::json;

KelvComPtr<HostState> HostState::Create(const LogicStateDefinition& definition)
{
    return KelvComPtr<HostState>::Adopt(new HostState(definition));
}

HostState::HostState(const LogicStateDefinition& definition) : m_definition(definition)
{
    ResetToDefaults();
}

HRESULT HostState::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBState || iid == IID_IDispatch)
        return FinishQI(static_cast<ISBState*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

void HostState::ResetToDefaults()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_values.clear();
    m_coClassTried.clear();
    m_changed.clear();
    for (const StatePropertyDefinition& property : m_definition.properties)
        m_values[property.name] = property.defaultValue;
}

const StatePropertyDefinition& HostState::Require(const std::string& name) const
{
    const StatePropertyDefinition* property = m_definition.Find(name);
    if (!property)
        Fail(E_INVALIDARG, "The state of the logic \"" + MessageText::Excerpt(m_definition.logic) + "\" has no property \"" + MessageText::Excerpt(name) + "\".");
    return *property;
}

KelvVariant& HostState::Stored(const StatePropertyDefinition& property)
{
    KelvVariant& value = m_values[property.name];
    if (property.kind == SBStatePropertyCoClass && value.IsEmpty() && !property.coClassProgId.empty() &&
        !m_coClassTried[property.name]) {
        // The default object is made once; a class that cannot be created
        // leaves the property without an object.
        m_coClassTried[property.name] = true;
        KelvComPtr<IUnknown> object;
        Kelv::KelvCreateImpl(property.coClassProgId, nullptr, CLSCTX_SERVER, IID_IUnknown, object.ReceiveVoid(), false);
        if (object)
            value = KelvVariant(object.get());
    }
    return value;
}

namespace {

// The values a property takes, for a message: 1 "Energy", 2 "GeomOpt" or
// "Use current", "Library".
std::string ListedValues(const StatePropertyDefinition& property)
{
    std::string listed;
    for (const EnumValue& entry : property.enumValues) {
        listed += listed.empty() ? "" : ", ";
        if (property.type == VT_I4)
            listed += std::to_string(entry.value) + " ";
        listed += "\"" + MessageText::Excerpt(entry.text) + "\"";
    }
    return listed;
}

} // namespace

KelvVariant HostState::Convert(const StatePropertyDefinition& property, const VARIANT& value) const
{
    const std::string where = "The property \"" + property.name + "\" of the logic \"" + MessageText::Excerpt(m_definition.logic) + "\"";
    switch (property.kind) {
    case SBStatePropertyScalar: {
        KelvVariant converted;
        if (FAILED(VariantChangeType(converted.Receive(), &value, 0, property.type))) {
            if (!property.enumValues.empty())
                Fail(DISP_E_TYPEMISMATCH, where + " takes one of: " + ListedValues(property) + "; not \"" +
                                              MessageText::Excerpt(KelvVariant(value).String()) + "\".");
            Fail(DISP_E_TYPEMISMATCH, where + " takes a " + ScalarTypeName(property.type) + " value.");
        }
        return converted;
    }
    case SBStatePropertyArray: {
        if (!(value.vt & VT_ARRAY) || !value.parray || SafeArrayGetDim(value.parray) != 1)
            Fail(DISP_E_TYPEMISMATCH, where + " takes a one-dimensional array.");
        if (value.vt == (VT_ARRAY | property.type))
            return KelvVariant(value); // a deep copy, bounds kept
        std::vector<KelvVariant> elements = ArrayElements(value.parray);
        for (KelvVariant& element : elements) {
            KelvVariant converted;
            if (FAILED(VariantChangeType(converted.Receive(), element.Ptr(), 0, property.type)))
                Fail(DISP_E_TYPEMISMATCH, where + " takes an array of " + ScalarTypeName(property.type) + " values.");
            element = std::move(converted);
        }
        return MakeArray(property.type, elements);
    }
    case SBStatePropertyCoClass:
        if (value.vt == VT_EMPTY || value.vt == VT_NULL)
            return KelvVariant();
        if ((value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH)) {
            if (!value.punkVal)
                return KelvVariant();
            KelvComPtr<IUnknown> object;
            if (FAILED(value.punkVal->QueryInterface(IID_IUnknown, object.ReceiveVoid())) || !object)
                Fail(E_NOINTERFACE, where + " takes an object.");
            return KelvVariant(object.get());
        }
        Fail(DISP_E_TYPEMISMATCH, where + " takes an object.");
    case SBStatePropertyEnum: {
        const EnumValue* chosen = nullptr;
        if (value.vt == VT_BSTR) {
            chosen = property.FindEnumText(Narrow(value.bstrVal));
        } else {
            KelvVariant number;
            if (SUCCEEDED(VariantChangeType(number.Receive(), &value, 0, VT_I4)))
                chosen = property.FindEnumValue(number.Get().lVal);
        }
        if (!chosen) {
            std::string permitted;
            for (const EnumValue& entry : property.enumValues)
                permitted += (permitted.empty() ? "" : ", ") + std::to_string(entry.value) + " \"" + MessageText::Excerpt(entry.text) + "\"";
            Fail(E_INVALIDARG, where + " takes one of: " + permitted + ".");
        }
        return KelvVariant(static_cast<int32_t>(chosen->value));
    }
    }
    Fail(E_UNEXPECTED, where + " has an unknown kind.");
}

KelvVariant HostState::Value(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return Stored(Require(name));
}

void HostState::CheckRange(const StatePropertyDefinition& property, const KelvVariant& value) const
{
    try {
        CheckRangeOf(property, value);
    } catch (const KelvResult& refusal) {
        if (!m_reading)
            throw;
        // A value read as it was stored (a project received from elsewhere,
        // a state file edited by hand) is refused as `state` refuses it, with
        // the command that sets it right.
        throw KelvResult(refusal.GetHRESULT(),
                         refusal.GetMessage() + " The project's state holds it; set it with: zelm-host state --project "
                                                "PROJECT " + m_definition.logic + " " + property.name + " VALUE");
    }
}

void HostState::CheckRangeOf(const StatePropertyDefinition& property, const KelvVariant& value) const
{
    if (property.kind == SBStatePropertyScalar && !property.enumValues.empty()) {
        const bool listed = value.Type() == VT_I4    ? property.FindEnumValue(value.Get().lVal) != nullptr
                            : value.Type() == VT_BSTR ? property.FindEnumText(KelvVariant(value).String()) != nullptr
                                                      : true;
        if (!listed)
            Fail(E_INVALIDARG, "The property \"" + property.name + "\" of the logic \"" + MessageText::Excerpt(m_definition.logic) +
                                   "\" takes one of: " + ListedValues(property) + "; not \"" +
                                   MessageText::Excerpt(KelvVariant(value).String()) + "\".");
    }
    if (!property.hasMinimum || (value.Type() != VT_R8 && value.Type() != VT_I4))
        return;
    const double number = value.Type() == VT_R8 ? value.Get().dblVal : static_cast<double>(value.Get().lVal);
    const bool inRange = std::isfinite(number) &&
                         (property.exclusiveMinimum ? number > property.minimum : number >= property.minimum);
    if (inRange)
        return;
    std::ostringstream bound;
    bound << property.minimum;
    Fail(E_INVALIDARG, "The property \"" + property.name + "\" of the logic \"" + MessageText::Excerpt(m_definition.logic) + "\" must be " +
                           (property.type == VT_R8 ? "a finite number " : "a whole number ") +
                           (property.exclusiveMinimum ? "greater than " : "of at least ") + bound.str() + ", not " +
                           MessageText::Excerpt(KelvVariant(value).String()) + ".");
}

void HostState::SetValue(const std::string& name, const VARIANT& value)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const StatePropertyDefinition& property = Require(name);
    KelvVariant converted = Convert(property, value);
    if (!m_loading)
        CheckRange(property, converted);
    m_values[name] = std::move(converted);
    m_coClassTried[name] = true;
    m_changed.insert(name);
}

std::set<std::string> HostState::ChangedNames()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_changed;
}

void HostState::MarkSaved()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_changed.clear();
}

void HostState::SetValueFromText(const std::string& name, const std::string& text)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const StatePropertyDefinition& property = Require(name);
    const std::string where = "The property \"" + MessageText::Excerpt(name) + "\" of the logic \"" + MessageText::Excerpt(m_definition.logic) + "\"";
    switch (property.kind) {
    case SBStatePropertyArray: {
        json list;
        try {
            list = json::parse(text);
        } catch (const std::exception&) {
            Fail(DISP_E_TYPEMISMATCH, where + " takes a list written as [a, b, ...].");
        }
        KelvVariant array = JsonToArray(list, property.type, where);
        SetValue(name, array.Get());
        return;
    }
    case SBStatePropertyCoClass:
        Fail(E_INVALIDARG, where + " holds an object and cannot be set from text.");
    case SBStatePropertyEnum: {
        if (property.FindEnumText(text)) {
            SetValue(name, KelvVariant(text).Get());
            return;
        }
        // Not a text of the enum: try it as the number.
        KelvVariant number;
        KelvVariant given(text);
        if (FAILED(VariantChangeType(number.Receive(), given.Ptr(), 0, VT_I4)))
            number = given;
        SetValue(name, number.Get());
        return;
    }
    case SBStatePropertyScalar:
        // A long that names its values takes a value by its name too.
        if (property.type == VT_I4) {
            if (const EnumValue* named = property.FindEnumText(text)) {
                SetValue(name, KelvVariant(static_cast<int32_t>(named->value)).Get());
                return;
            }
        }
        SetValue(name, KelvVariant(text).Get());
        return;
    }
}

std::string HostState::DisplayText(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const StatePropertyDefinition& property = Require(name);
    std::string text = ValueText(name);
    if (property.kind == SBStatePropertyScalar && property.type == VT_I4 && !property.enumValues.empty()) {
        const EnumValue* named = property.FindEnumValue(Stored(property).Long());
        text += named ? " (" + named->text + ")" : " (not one of: " + ListedValues(property) + ")";
    }
    return text;
}

std::string HostState::EnumText(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const StatePropertyDefinition& property = Require(name);
    if (property.kind != SBStatePropertyEnum)
        Fail(E_INVALIDARG, "The property \"" + MessageText::Excerpt(name) + "\" of the logic \"" + MessageText::Excerpt(m_definition.logic) + "\" is not an enum.");
    const EnumValue* entry = property.FindEnumValue(m_values[name].Long());
    return entry ? entry->text : std::string();
}

std::string HostState::ValueText(const std::string& name)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const StatePropertyDefinition& property = Require(name);
    switch (property.kind) {
    case SBStatePropertyArray:
        return ArrayToJson(Stored(property).Get()).dump();
    case SBStatePropertyCoClass:
        return Stored(property).IsEmpty() ? "(none)" : "(object)";
    case SBStatePropertyEnum:
        return EnumText(name);
    case SBStatePropertyScalar:
        break;
    }
    const KelvVariant& value = Stored(property);
    if (value.Type() == VT_BOOL)
        return value.Bool() ? "true" : "false";
    return value.String();
}

json HostState::ToJson()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    json result = json::object();
    for (const StatePropertyDefinition& property : m_definition.properties) {
        const KelvVariant& value = m_values[property.name];
        switch (property.kind) {
        case SBStatePropertyScalar:
            result[property.name] = ScalarToJson(value.Get());
            break;
        case SBStatePropertyArray:
            result[property.name] = ArrayToJson(value.Get());
            break;
        case SBStatePropertyEnum:
            result[property.name] = EnumText(property.name);
            break;
        case SBStatePropertyCoClass:
            break;
        }
    }
    return result;
}

void HostState::LoadJson(const json& values, const std::string& origin)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!values.is_object())
        Fail(E_INVALIDARG, origin + ": the values of the logic \"" + MessageText::Excerpt(m_definition.logic) + "\" must be an object.");
    // A stored value out of range is taken as it is, so that the project
    // still opens and the value can be set right; a command that reads it
    // is refused (GetPropertyValue).
    struct Loading {
        bool& flag;
        explicit Loading(bool& f) : flag(f) { flag = true; }
        ~Loading() { flag = false; }
    } loading(m_loading);
    for (const auto& item : values.items()) {
        const StatePropertyDefinition* property = m_definition.Find(item.key());
        const std::string where =
            origin + ": \"" + MessageText::Excerpt(m_definition.logic) + "\" property \"" + MessageText::Excerpt(item.key()) + "\"";
        if (!property)
            Fail(E_INVALIDARG, where + " is not defined.");
        switch (property->kind) {
        case SBStatePropertyScalar:
            SetValue(item.key(), JsonToScalar(item.value(), property->type, where).Get());
            break;
        case SBStatePropertyArray:
            SetValue(item.key(), JsonToArray(item.value(), property->type, where).Get());
            break;
        case SBStatePropertyEnum:
            if (item.value().is_string())
                SetValue(item.key(), KelvVariant(item.value().get<std::string>()).Get());
            else
                SetValue(item.key(), JsonToScalar(item.value(), VT_I4, where).Get());
            break;
        case SBStatePropertyCoClass:
            Fail(E_INVALIDARG, where + " holds an object and cannot be read from a file.");
        }
    }
}

HRESULT HostState::GetPropertyValue(BSTR name, VARIANT* pValue)
{
    return HostCall(IID_ISBState, [&] {
        RequireOut(pValue);
        VariantInit(pValue);
        const std::string key = Narrow(name);
        KelvVariant value = Value(key);
        // What a command reads passes the checks a value set with `state`
        // passes, however it came into the state.
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            struct Reading {
                bool& flag;
                explicit Reading(bool& f) : flag(f) { flag = true; }
                ~Reading() { flag = false; }
            } reading(m_reading);
            CheckRange(Require(key), value);
        }
        *pValue = value.Detach();
    });
}

HRESULT HostState::SetPropertyValue(BSTR name, VARIANT value)
{
    return HostCall(IID_ISBState, [&] {
        const std::string key = Narrow(name);
        Log("State", "SetPropertyValue", {Quote(LogicName()),
                                          Quote(key), DescribeVariant(value)});
        SetValue(key, value);
    });
}

HRESULT HostState::GetPropertyEnumText(BSTR name, BSTR* pText)
{
    return HostCall(IID_ISBState, [&] {
        RequireOut(pText);
        *pText = nullptr;
        StoreString(pText, EnumText(Narrow(name)));
    });
}

HRESULT HostState::HasProperty(BSTR name, VARIANT_BOOL* pHas)
{
    return HostCall(IID_ISBState, [&] {
        RequireOut(pHas);
        *pHas = m_definition.Find(Narrow(name)) ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT HostState::GetPropertyKind(BSTR name, LONG* pKind)
{
    return HostCall(IID_ISBState, [&] {
        RequireOut(pKind);
        *pKind = Require(Narrow(name)).kind;
    });
}

HRESULT HostState::get_PropertyNames(SAFEARRAY** ppNames)
{
    return HostCall(IID_ISBState, [&] {
        RequireOut(ppNames);
        *ppNames = nullptr;
        std::vector<std::string> names;
        for (const StatePropertyDefinition& property : m_definition.properties)
            names.push_back(property.name);
        KelvSafeArray::FromStrings(names).StoreIn(ppNames);
    });
}

} // namespace QzHost
