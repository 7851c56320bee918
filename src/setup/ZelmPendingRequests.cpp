// The requests of the logic object that this build does not answer yet:
// each fails with E_NOTIMPL naming itself. A request moves out of this file
// when it is built.
#include "setup/Zelm.h"

HRESULT CZelm::AllAtomicChargesInLibrary(ISBScope*, VARIANT_BOOL* retval)
{
    if (retval)
        *retval = 0;
    return NotAvailable("IZelm::AllAtomicChargesInLibrary");
}

HRESULT CZelm::IsP1(ISBScope*, VARIANT_BOOL* retval)
{
    if (retval)
        *retval = 0;
    return NotAvailable("IZelm::IsP1");
}

HRESULT CZelm::MakeP1(ISBScope*)
{
    return NotAvailable("IZelm::MakeP1");
}

HRESULT CZelm::IsPeriodic(ISBScope*, VARIANT_BOOL* retval)
{
    if (retval)
        *retval = 0;
    return NotAvailable("IZelm::IsPeriodic");
}

HRESULT CZelm::AllAtomicChargesInLibrary2(ISBScope*, SAFEARRAY** pMissingAtomArr, VARIANT_BOOL* retval)
{
    if (pMissingAtomArr)
        *pMissingAtomArr = nullptr;
    if (retval)
        *retval = 0;
    return NotAvailable("IZelm::AllAtomicChargesInLibrary2");
}

HRESULT CZelm::Run(ISBScope*)
{
    return NotAvailable("IZelm::Run");
}

HRESULT CZelm::HasPiSystems(ISBScope*, VARIANT_BOOL* retval)
{
    if (retval)
        *retval = 0;
    return NotAvailable("IZelm::HasPiSystems");
}

HRESULT CZelm::get_LibrariesToExclude(BSTR* Exclusions)
{
    if (Exclusions)
        *Exclusions = nullptr;
    return NotAvailable("IZelm::LibrariesToExclude");
}

HRESULT CZelm::CanDoPhononNonGamma(ISBScope*, VARIANT_BOOL* retval)
{
    if (retval)
        *retval = 0;
    return NotAvailable("IZelm::CanDoPhononNonGamma");
}

HRESULT CZelm::StartFiles(ISBScope*)
{
    return NotAvailable("ISBManagedJobFiles::StartFiles");
}

HRESULT CZelm::ExportFiles(ISBScope*)
{
    return NotAvailable("ISBManagedJobFiles::ExportFiles");
}

HRESULT CZelm::CanStartFiles(ISBScope*, VARIANT_BOOL* canStart)
{
    if (canStart)
        *canStart = 0;
    return NotAvailable("ISBManagedJobFiles::CanStartFiles");
}

HRESULT CZelm::CanExportFiles(ISBScope*, VARIANT_BOOL* canExport)
{
    if (canExport)
        *canExport = 0;
    return NotAvailable("ISBManagedJobFiles::CanExportFiles");
}

HRESULT CZelm::ShouldStartFiles(ISBScope*, BSTR* reason, VARIANT_BOOL* shouldStart)
{
    if (reason)
        *reason = nullptr;
    if (shouldStart)
        *shouldStart = 0;
    return NotAvailable("ISBManagedJobFiles::ShouldStartFiles");
}
