#pragma once
// Reading values out of the host's data-model objects. Every failing host
// call is thrown as KelvResult with the host's error (its HRESULT and text).

#include "dravix/dravix.h"
#include "hostapi/documents.h"
#include "kelv/KelvComPtr.h"
#include "kelv/KelvVariant.h"

#include <string>

namespace DMUtilities {

namespace BasicUtilities {

// The value of the property `name` of a data-model object. A property that
// exists but holds no value gives an empty variant. A null object:
// KelvResult E_POINTER; an unknown property: the object's error.
KelvVariant GetValue(ISDObject* object, const OLECHAR* name);
KelvVariant GetValue(ISDObject* object, const std::string& name);
KelvVariant GetValue(const KelvComPtr<ISDObject>& object, const OLECHAR* name);
KelvVariant GetValue(const KelvComPtr<ISDObject>& object, const std::string& name);

// Number of values of a collection (0 for a null collection).
LONG GetArraySize(ISDVariantDataDimension* dimension);
LONG GetArraySize(const KelvComPtr<ISDVariantDataDimension>& dimension);

// Value `index` of a collection, counted from 0 (the collection itself
// counts from 1). An index outside 0 .. size - 1: the collection's error
// (DISP_E_BADINDEX); a null collection: KelvResult E_POINTER.
KelvVariant GetArrayItem(ISDVariantDataDimension* dimension, LONG index);
KelvVariant GetArrayItem(const KelvComPtr<ISDVariantDataDimension>& dimension, LONG index);

}  // namespace BasicUtilities

namespace SymmetryUtilities {

// The operator as a 3 by 4 transform on fractional coordinates: element
// (i, j) for j = 1..3 is the rotation, (i, 4) the translation. The object
// must answer ISDSymmetryOperator (else the framework's query-interface failure).
xxTransformMatrix GetOperatorMatrix(IUnknown* symmetryOperator);
xxTransformMatrix GetOperatorMatrix(const KelvComPtr<ISDObject>& symmetryOperator);

}  // namespace SymmetryUtilities

namespace AtomUtilities {

// The atom's present fractional position: its "FractionalXYZ" point (for a
// slab (fu, fv, z)).
xxPoint3d AtomFracCoord(ISDObject* atom);
xxPoint3d AtomFracCoord(const KelvComPtr<ISDObject>& atom);

}  // namespace AtomUtilities

}  // namespace DMUtilities
