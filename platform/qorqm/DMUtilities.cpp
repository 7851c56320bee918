#include "qorqm/DMUtilities.h"

#include "kelv/KelvBSTR.h"
#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"

#include <cstdint>
#include <string>

namespace DMUtilities {

namespace BasicUtilities {

KelvVariant GetValue(ISDObject* object, const OLECHAR* name) {
    Kelv::CheckNullDereference(object);
    const KelvBSTR property(name);
    LONG status = SDPropertyNoHint;
    KelvVariant value;
    KelvResult::Check(object->get_PropertyValue(property.Get(), &status, value.Receive()));
    return value;
}

KelvVariant GetValue(ISDObject* object, const std::string& name) {
    return GetValue(object, KelvBSTR(name).ToWString().c_str());
}

KelvVariant GetValue(const KelvComPtr<ISDObject>& object, const OLECHAR* name) {
    return GetValue(object.get(), name);
}

KelvVariant GetValue(const KelvComPtr<ISDObject>& object, const std::string& name) {
    return GetValue(object.get(), name);
}

LONG GetArraySize(ISDVariantDataDimension* dimension) {
    if (!dimension) {
        return 0;
    }
    LONG count = 0;
    KelvResult::Check(dimension->get_Count(&count));
    return count;
}

LONG GetArraySize(const KelvComPtr<ISDVariantDataDimension>& dimension) {
    return GetArraySize(dimension.get());
}

KelvVariant GetArrayItem(ISDVariantDataDimension* dimension, LONG index) {
    Kelv::CheckNullDereference(dimension);
    KelvVariant value;
    if (index < 0 || index == INT32_MAX) {
        throw KelvResult(DISP_E_BADINDEX, "Collection index " + std::to_string(index) + " is out of range.");
    }
    KelvResult::Check(dimension->Item(index + 1, value.Receive()));
    return value;
}

KelvVariant GetArrayItem(const KelvComPtr<ISDVariantDataDimension>& dimension, LONG index) {
    return GetArrayItem(dimension.get(), index);
}

}  // namespace BasicUtilities

namespace SymmetryUtilities {

xxTransformMatrix GetOperatorMatrix(IUnknown* symmetryOperator) {
    Kelv::CheckNullDereference(symmetryOperator);
    const KelvComPtr<ISDSymmetryOperator> op =
        KelvComPtr<IUnknown>(symmetryOperator).QueryInterface<ISDSymmetryOperator>();
    double rows[12] = {};
    KelvResult::Check(op->GetTransform(rows));
    xxTransformMatrix matrix;
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 4; ++j) {
            matrix(i, j) = rows[(i - 1) * 4 + (j - 1)];
        }
    }
    return matrix;
}

xxTransformMatrix GetOperatorMatrix(const KelvComPtr<ISDObject>& symmetryOperator) {
    return GetOperatorMatrix(static_cast<IUnknown*>(symmetryOperator.get()));
}

}  // namespace SymmetryUtilities

namespace AtomUtilities {

xxPoint3d AtomFracCoord(ISDObject* atom) {
    const KelvVariant value = BasicUtilities::GetValue(atom, u"FractionalXYZ");
    const VARIANT& raw = value.Get();
    const bool holdsObject = (raw.vt == VT_UNKNOWN && raw.punkVal) || (raw.vt == VT_DISPATCH && raw.pdispVal);
    if (!holdsObject) {
        throw KelvResult(E_UNEXPECTED, "The atom has no fractional position.");
    }
    const KelvComPtr<ISDPoint3d> point = value.ExtractUnknown().QueryInterface<ISDPoint3d>();
    xxPoint3d result;
    KelvResult::Check(point->GetXYZ(&result.x, &result.y, &result.z));
    return result;
}

xxPoint3d AtomFracCoord(const KelvComPtr<ISDObject>& atom) {
    return AtomFracCoord(atom.get());
}

}  // namespace AtomUtilities

}  // namespace DMUtilities
