#include "host/state/StateValues.h"

#include "host/state/StateDefinitions.h"

#include <cmath>
#include <limits>

namespace QzHost {

using nlohmann::json;

namespace {

[[noreturn]] void Mismatch(const std::string& where, const std::string& expected)
{
    throw KelvResult(DISP_E_TYPEMISMATCH, where + ": expected " + expected + ".");
}

} // namespace

KelvVariant JsonToScalar(const json& value, VARTYPE type, const std::string& where)
{
    switch (type) {
    case VT_BSTR:
        if (!value.is_string())
            Mismatch(where, "a text");
        return KelvVariant(value.get<std::string>());
    case VT_I4: {
        if (!value.is_number_integer())
            Mismatch(where, "a whole number");
        if (value.is_number_unsigned()) {
            if (value.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<int32_t>::max()))
                Mismatch(where, "a 32-bit whole number");
            return KelvVariant(static_cast<int32_t>(value.get<std::uint64_t>()));
        }
        const std::int64_t number = value.get<std::int64_t>();
        if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max())
            Mismatch(where, "a 32-bit whole number");
        return KelvVariant(static_cast<int32_t>(number));
    }
    case VT_R8:
        if (!value.is_number())
            Mismatch(where, "a number");
        return KelvVariant(value.get<double>());
    case VT_BOOL:
        if (!value.is_boolean())
            Mismatch(where, "true or false");
        return KelvVariant(value.get<bool>());
    default:
        throw KelvResult(E_INVALIDARG, where + ": values of type " + std::to_string(type) + " are not kept in a state.");
    }
}

KelvVariant JsonToArray(const json& value, VARTYPE elementType, const std::string& where)
{
    if (!value.is_array())
        Mismatch(where, "an array");
    std::vector<KelvVariant> elements;
    elements.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i)
        elements.push_back(JsonToScalar(value[i], elementType, where + "[" + std::to_string(i) + "]"));
    return MakeArray(elementType, elements);
}

json ScalarToJson(const VARIANT& value)
{
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return nullptr;
    case VT_BSTR:
        return NarrowFromBSTR(value.bstrVal);
    case VT_I4:
        return value.lVal;
    case VT_R8:
        return value.dblVal;
    case VT_BOOL:
        return value.boolVal != VARIANT_FALSE;
    default:
        return KelvVariant(value).String();
    }
}

json ArrayToJson(const VARIANT& value)
{
    json result = json::array();
    if (!(value.vt & VT_ARRAY) || !value.parray)
        return result;
    for (const KelvVariant& element : ArrayElements(value.parray))
        result.push_back(ScalarToJson(element.Get()));
    return result;
}

std::vector<KelvVariant> ArrayElements(SAFEARRAY* array)
{
    if (!array)
        throw KelvResult(E_POINTER, "No array was given.");
    if (SafeArrayGetDim(array) != 1)
        throw KelvResult(E_INVALIDARG, "State arrays have one dimension.");
    VARTYPE type = VT_EMPTY;
    KelvResult::Check(SafeArrayGetVartype(array, &type));
    LONG lower = 0;
    LONG upper = -1;
    KelvResult::Check(SafeArrayGetLBound(array, 1, &lower));
    KelvResult::Check(SafeArrayGetUBound(array, 1, &upper));
    std::vector<KelvVariant> result;
    for (LONG i = lower; i <= upper; ++i) {
        KelvVariant element;
        VARIANT* slot = element.Receive();
        switch (type) {
        case VT_BSTR: {
            BSTR text = nullptr;
            KelvResult::Check(SafeArrayGetElement(array, &i, &text));
            slot->vt = VT_BSTR;
            slot->bstrVal = text;
            break;
        }
        case VT_I4:
            KelvResult::Check(SafeArrayGetElement(array, &i, &slot->lVal));
            slot->vt = VT_I4;
            break;
        case VT_R8:
            KelvResult::Check(SafeArrayGetElement(array, &i, &slot->dblVal));
            slot->vt = VT_R8;
            break;
        case VT_BOOL:
            KelvResult::Check(SafeArrayGetElement(array, &i, &slot->boolVal));
            slot->vt = VT_BOOL;
            break;
        case VT_VARIANT:
            KelvResult::Check(SafeArrayGetElement(array, &i, slot));
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            KelvResult::Check(SafeArrayGetElement(array, &i, &slot->punkVal));
            slot->vt = type;
            break;
        default:
            throw KelvResult(DISP_E_BADVARTYPE, "Arrays of element type " + std::to_string(type) + " are not kept in a state.");
        }
        result.push_back(std::move(element));
    }
    return result;
}

KelvVariant MakeArray(VARTYPE elementType, const std::vector<KelvVariant>& elements)
{
    SAFEARRAY* array = SafeArrayCreateVector(elementType, 0, static_cast<ULONG>(elements.size()));
    if (!array)
        throw KelvResult(E_OUTOFMEMORY, "Unable to create SafeArray");
    KelvVariant result;
    VARIANT* slot = result.Receive();
    slot->vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
    slot->parray = array;
    for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
        VARIANT element = elements[static_cast<std::size_t>(i)].Get();
        if (element.vt != elementType && elementType != VT_VARIANT)
            throw KelvResult(DISP_E_TYPEMISMATCH, "An array element has the wrong type.");
        HRESULT hr = S_OK;
        switch (elementType) {
        case VT_BSTR:
            hr = SafeArrayPutElement(array, &i, element.bstrVal);
            break;
        case VT_I4:
            hr = SafeArrayPutElement(array, &i, &element.lVal);
            break;
        case VT_R8:
            hr = SafeArrayPutElement(array, &i, &element.dblVal);
            break;
        case VT_BOOL:
            hr = SafeArrayPutElement(array, &i, &element.boolVal);
            break;
        case VT_VARIANT:
            hr = SafeArrayPutElement(array, &i, &element);
            break;
        default:
            throw KelvResult(DISP_E_BADVARTYPE, "Arrays of element type " + std::to_string(elementType) + " are not kept in a state.");
        }
        KelvResult::Check(hr);
    }
    return result;
}

} // namespace QzHost
