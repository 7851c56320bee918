// Conversions of state values between VARIANTs and JSON, shared by the state
// definitions, the state objects and the state files.
#pragma once

#include "com/com.h"
#include "kelv/kelv.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace QzHost {

// A JSON value as a VARIANT of the scalar type (VT_BSTR, VT_I4, VT_R8,
// VT_BOOL). A value of another JSON type, or a number out of range, throws
// KelvResult DISP_E_TYPEMISMATCH with a message that names `where`.
KelvVariant JsonToScalar(const nlohmann::json& value, VARTYPE type, const std::string& where);
// A JSON array as a 1-D SAFEARRAY of the element type (lower bound 0) inside
// a VARIANT (VT_ARRAY | type). Failures as above.
KelvVariant JsonToArray(const nlohmann::json& value, VARTYPE elementType, const std::string& where);

// A scalar VARIANT (VT_BSTR, VT_I4, VT_R8, VT_BOOL, VT_EMPTY) as JSON; other
// types are converted to text.
nlohmann::json ScalarToJson(const VARIANT& value);
// A 1-D array VARIANT as a JSON array of its elements.
nlohmann::json ArrayToJson(const VARIANT& value);

// The elements of a 1-D array, each as a VARIANT of the element type.
// Throws KelvResult for a missing or multi-dimensional array.
std::vector<KelvVariant> ArrayElements(SAFEARRAY* array);
// A new 1-D array (lower bound 0) of the element type from VARIANTs that
// already have that type.
KelvVariant MakeArray(VARTYPE elementType, const std::vector<KelvVariant>& elements);

} // namespace QzHost
