// A scope utility that answers nothing (E_NOTIMPL); a test derives from it
// and answers the calls its code makes.
#pragma once

#include "common/FakeCom.h"
#include "hostapi/hostapi.h"

namespace QzTest {

#define QZ_NO_SCOPE_CALL(signature) \
    HRESULT signature override { return E_NOTIMPL; }

class NoScopeUtility : public Fake<IQoScopeUtility>
{
public:
    QZ_NO_SCOPE_CALL(Initialise(ISBContainerRoot*))
    QZ_NO_SCOPE_CALL(Shutdown())
    QZ_NO_SCOPE_CALL(GetDocumentRoot(ISBScope*, ISBDocumentRoot**))
    QZ_NO_SCOPE_CALL(GetScopeObject(ISBScope*, ISBScope**))
    QZ_NO_SCOPE_CALL(IsP1(ISBScope*, VARIANT_BOOL*))
    QZ_NO_SCOPE_CALL(MakeP1(ISBScope*))
    QZ_NO_SCOPE_CALL(IsPeriodic(ISBScope*, VARIANT_BOOL*))
    QZ_NO_SCOPE_CALL(Is2DPeriodic(ISBScope*, VARIANT_BOOL*))
    QZ_NO_SCOPE_CALL(NeedsPrimitiveConversion(ISBScope*, VARIANT_BOOL*))
    QZ_NO_SCOPE_CALL(ConvertToPrimitive(ISBScope*))
    QZ_NO_SCOPE_CALL(HasNonStandardSetting(ISBScope*, VARIANT_BOOL*))
    QZ_NO_SCOPE_CALL(GetLattice(ISBScope*, IUnknown**))
    QZ_NO_SCOPE_CALL(GetLattice2D(ISBScope*, IUnknown**))
    QZ_NO_SCOPE_CALL(GetLatticeFrame(ISBScope*, IUnknown**))
    QZ_NO_SCOPE_CALL(GetSymmetry(ISBScope*, IUnknown**))
    QZ_NO_SCOPE_CALL(HasSymmetry(ISBScope*, VARIANT_BOOL*))
    QZ_NO_SCOPE_CALL(ApplyScopeProcessor(ISBScope*, BSTR, ISBScope**))
    QZ_NO_SCOPE_CALL(GetFixedAtomRestrictions(ISBScope*, SAFEARRAY**, SAFEARRAY**))
    QZ_NO_SCOPE_CALL(GetFixedAtoms(ISBScope*, SAFEARRAY**, SAFEARRAY**))
    QZ_NO_SCOPE_CALL(GetAxisConstraints(ISBScope*, SAFEARRAY**, SAFEARRAY**))
    QZ_NO_SCOPE_CALL(GetModelObject(ISBScope*, IUnknown**))
    QZ_NO_SCOPE_CALL(PrepareKPoints(ISBScope*, IUnknown**))
    QZ_NO_SCOPE_CALL(SaveStructure(ISBScope*, BSTR))
    QZ_NO_SCOPE_CALL(GetAtoms(ISBScope*, ISDVariantDataDimension**))
    QZ_NO_SCOPE_CALL(GetNumberingSource(ISBScope*, IUnknown**))
};

#undef QZ_NO_SCOPE_CALL

} // namespace QzTest
