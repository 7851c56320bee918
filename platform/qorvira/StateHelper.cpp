#include "qorvira/StateHelper.h"

#include <cstring>

#include "appfw/AppUtilsContainer.h"
#include "appfw/LogicStateUtilities.h"

namespace
{
// Rethrows a failed conversion with the key in its message.
template <class F>
auto Converted(const std::string& key, const char* what, F&& convert)
{
    try {
        return convert();
    } catch (const KelvResult& error) {
        throw KelvResult(error.GetHRESULT(), "The state value '" + key + "' cannot be read as " + what + ": " +
                                                 (error.GetMessage().empty() ? HResultDescription(error.GetHRESULT())
                                                                             : error.GetMessage()));
    }
}

// A variant of the array's element type holding element `offset` (counted in
// storage order). Strings and objects are copied, so the result owns what it
// holds.
KelvVariant Element(SAFEARRAY* array, VARTYPE vt, ULONG offset)
{
    const BYTE* data = static_cast<const BYTE*>(array->pvData) + static_cast<size_t>(offset) * array->cbElements;
    if (vt == VT_VARIANT)
        return KelvVariant(*reinterpret_cast<const VARIANT*>(data));
    VARIANT view{};
    if (array->cbElements > sizeof(view.llVal))
        throw KelvResult(DISP_E_BADVARTYPE, "The state array holds elements of an unsupported type.");
    view.vt = vt;
    std::memcpy(&view.llVal, data, array->cbElements);
    return KelvVariant(view); // deep copy: the array keeps its own element
}
} // namespace

CStateHelper::CStateHelper(ISBState* stateValues, ISBState* state) noexcept
    : m_stateValues(stateValues), m_state(state)
{
}

CStateHelper::~CStateHelper() = default;

std::unique_ptr<CStateHelper> CStateHelper::CreateStateHelper(ISBContainerRoot* root,
                                                              const std::string& extensionName,
                                                              const std::string& logicName)
{
    KelvComPtr<ISBLogic> logic = AppUtils::Container::GetLogic(logicName, extensionName, root);
    if (!logic)
        throw KelvResult(E_INVALIDARG,
                         "There is no logic '" + logicName + "' in the extension '" + extensionName + "'.");
    KelvComPtr<ISBState> state = LogicStateUtilities::GetState(logic.get());
    return std::make_unique<CStateHelper>(state.get(), state.get());
}

bool CStateHelper::IsValid() const noexcept
{
    return m_stateValues || m_state;
}

KelvVariant CStateHelper::Read(const std::string& key) const
{
    ISBState* state = m_stateValues ? m_stateValues.get() : m_state.get();
    if (!state)
        throw KelvResult(E_UNEXPECTED, "The state helper holds no state: '" + key + "' cannot be read.");
    return LogicStateUtilities::GetPropertyValue(state, key);
}

void CStateHelper::GetStateValue(const std::string& key, LONG& value) const
{
    const KelvVariant stored = Read(key);
    value = Converted(key, "a whole number", [&] { return stored.Long(); });
}

void CStateHelper::GetStateValue(const std::string& key, double& value) const
{
    const KelvVariant stored = Read(key);
    value = Converted(key, "a number", [&] { return stored.Double(); });
}

void CStateHelper::GetStateValue(const std::string& key, bool& value) const
{
    const KelvVariant stored = Read(key);
    value = Converted(key, "a boolean", [&] { return stored.Bool(); });
}

void CStateHelper::GetStateValue(const std::string& key, std::string& value) const
{
    const KelvVariant stored = Read(key);
    value = Converted(key, "text", [&] { return stored.String(); });
}

std::vector<KelvVariant> CStateHelper::ReadArray(const std::string& key, VARTYPE vt) const
{
    const KelvVariant stored = Read(key);
    std::vector<KelvVariant> elements;
    if (stored.Type() == VT_EMPTY || stored.Type() == VT_NULL)
        return elements;
    if ((stored.Type() & VT_ARRAY) == 0 || (stored.Type() & VT_BYREF) != 0)
        throw KelvResult(DISP_E_TYPEMISMATCH, "The state value '" + key + "' is not an array.");
    SAFEARRAY* array = stored.Get().parray;
    if (!array)
        return elements;
    const VARTYPE elementType = static_cast<VARTYPE>(stored.Type() & VT_TYPEMASK);
    ULONG count = array->cDims == 0 ? 0 : 1;
    for (USHORT d = 0; d < array->cDims; ++d)
        count *= array->rgsabound[d].cElements;

    void* data = nullptr;
    KelvResult::Check(SafeArrayAccessData(array, &data));
    try {
        elements.reserve(count);
        for (ULONG i = 0; i < count; ++i) {
            KelvVariant element = Element(array, elementType, i);
            KelvVariant converted;
            const HRESULT hr = VariantChangeType(converted.Receive(), &element.Get(), 0, vt);
            if (FAILED(hr))
                throw KelvResult(hr, "Element " + std::to_string(i) + " of the state value '" + key +
                                         "' cannot be converted: " + HResultDescription(hr));
            elements.push_back(std::move(converted));
        }
    } catch (...) {
        SafeArrayUnaccessData(array);
        throw;
    }
    SafeArrayUnaccessData(array);
    return elements;
}

void CStateHelper::GetStateArray(const std::string& key, std::vector<std::string>& values) const
{
    std::vector<std::string> result;
    for (const KelvVariant& element : ReadArray(key, VT_BSTR))
        result.push_back(element.String());
    values.swap(result);
}

void CStateHelper::GetStateArray(const std::string& key, std::vector<LONG>& values) const
{
    std::vector<LONG> result;
    for (const KelvVariant& element : ReadArray(key, VT_I4))
        result.push_back(element.Get().lVal);
    values.swap(result);
}

void CStateHelper::GetStateArray(const std::string& key, std::vector<double>& values) const
{
    std::vector<double> result;
    for (const KelvVariant& element : ReadArray(key, VT_R8))
        result.push_back(element.Get().dblVal);
    values.swap(result);
}

void CStateHelper::GetStateArray(const std::string& key, std::vector<bool>& values) const
{
    std::vector<bool> result;
    for (const KelvVariant& element : ReadArray(key, VT_BOOL))
        result.push_back(element.Get().boolVal != VARIANT_FALSE);
    values.swap(result);
}
