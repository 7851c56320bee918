// Value objects of the data model: points, 3x3 matrices, fractions and
// 1-based variant collections. Each is also creatable by its class
// identifier (see RegisterModelClasses).
#pragma once

#include "host/model/ComSupport.h"

namespace HostModel {

KelvComPtr<ISDPoint3d> MakePoint(const Vec3& value);
// The three components of a point object (any implementation of ISDPoint3d).
Vec3 PointValue(ISDPoint3d* point);
// A point object held in a VARIANT (VT_UNKNOWN or VT_DISPATCH); throws
// KelvResult DISP_E_TYPEMISMATCH when the value holds no point.
Vec3 PointFromVariant(const VARIANT& value);

KelvComPtr<ISDMatrix3d> MakeMatrix(const Mat3& value);
KelvComPtr<ISDFraction> MakeFraction(const Fraction& value);
KelvComPtr<ISDVariantDataDimension> MakeCollection(const std::vector<KelvVariant>& values = {});

// Create functions of the creatable classes (one reference in *out).
HRESULT CreatePoint(void** out);
HRESULT CreateMatrix(void** out);
HRESULT CreateCollection(void** out);

} // namespace HostModel
