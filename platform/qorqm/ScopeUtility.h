#pragma once
// The scope utility object "QorQMUtilities.ScopeUtility" (IQoScopeUtility):
// what a module asks about the document behind a scope - its document,
// model, periodicity, lattice and symmetry objects, fixed atoms - and the
// conversions it asks for (P 1, primitive cell, saving the structure).
//
// It reaches documents only through the host's interfaces: the scope's
// ISBDocumentRoot, the document's model (get_ModelDocument), which answers
// ISDAtomisticModel, ISBScope and ISDObject, the model's lattice and
// symmetry objects, the atoms' ISDObject properties, and the container
// root's scope manager (scope processors) and document manager (saving).
//
// Every operation but Initialise needs the container root: before
// Initialise and after Shutdown they fail with E_UNEXPECTED. A null scope
// is E_INVALIDARG, a null output pointer E_POINTER. A scope whose document
// holds no atomistic model answers the queries with "no" (IsP1: yes, it has
// no symmetry) and the object getters with S_FALSE and null; the
// conversions refuse it with E_INVALIDARG.
//
// Fixed atoms: an atom's fixed axes are its ISDObject property "FixedAxes"
// (VT_I4 bits 1 x, 2 y, 4 z; no value means free).

#include "com/com.h"

namespace QorQMUtilities {

inline constexpr const char* ScopeUtilityProgId = "QorQMUtilities.ScopeUtility";

// Name of the atom property that holds the fixed-axis bits.
inline constexpr const char* FixedAxesProperty = "FixedAxes";

// Registers the scope utility's class object in this process under
// CLSID_QoScopeUtility and the ProgID above, so that it can be made by
// either (CoCreateInstance, Kelv::KelvCreateImpl). The host calls it once at
// start; a second call changes nothing and gives S_FALSE.
HRESULT RegisterScopeUtility();

}  // namespace QorQMUtilities
