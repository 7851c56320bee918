// The logic object's questions about a structure (IZelm) and the job
// control's questions about a scope (ISBManagedJobFiles).
#include "setup/Zelm.h"

#include "common/BstrSafeArray.h"
#include "setup/DeckSpecies.h"
#include "setup/ZelmFileWriter.h"
#include "setup/ZelmMessages.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/AppUtilsDocument.h"
#include "qorqm/DMUtilities.h"

#include <set>

namespace {

const char* const kSymmetryParent = "Normalization:Model3d!SymmetryParent";
const char* const kAtoms = "Filter:Model3d!Atom";
const char* const kPiSystems = "Filter:Model3d!PiSystem";
const char* const kModelOfDocument = "DocumentRootCoercion:AtomisticSimpleModel3d";

// A host call: any code but S_OK is recorded, a failure raised.
void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

KelvComPtr<ISBScope> Process(ISBScope* scope, const char* processor, ISBScopeManager* manager)
{
    KelvComPtr<ISBScope> result;
    Check(manager->ProcessScope(scope, KelvBSTR(processor).Get(), result.Receive()));
    return result;
}

LONG CountObjects(ISBScope* scope)
{
    if (!scope)
        return 0;
    KelvComPtr<ISBScopeObjects> objects;
    Check(scope->get_Objects(objects.Receive()));
    Kelv::CheckNullDereference(objects.get());
    LONG count = 0;
    Check(objects->get_Count(&count));
    return count;
}

// Drops the error information a call left behind whose failure the caller
// does not pass on.
void DiscardErrorInfo() noexcept
{
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info)
        info->Release();
}

} // namespace

void CZelm::OpenCheck(ISBScope* scope, VARIANT_BOOL* retval) const
{
    if (!retval)
        throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
    *retval = VARIANT_FALSE;
    if (!scope)
        throw KelvResult(E_INVALIDARG, ZelmMessages::NoDocument);
    CheckComponentsSetUp();
}

// ---------------------------------------------------------------------------
// IZelm

HRESULT CZelm::AllAtomicChargesInLibrary(ISBScope* pScope, VARIANT_BOOL* retval)
{
    return Request([&] {
        OpenCheck(pScope, retval);
        SAFEARRAY* missing = nullptr;
        // The answer is what the inner call left in retval (0 after a
        // failure); its own result is not passed on, and the list is not
        // wanted here.
        const HRESULT hr = static_cast<IZelm*>(this)->AllAtomicChargesInLibrary2(pScope, &missing, retval);
        if (missing)
            SafeArrayDestroy(missing);
        if (FAILED(hr))
            DiscardErrorInfo();
    });
}

HRESULT CZelm::IsP1(ISBScope* pScope, VARIANT_BOOL* retval)
{
    return Request([&] {
        OpenCheck(pScope, retval);
        Check(m_scopeUtility->IsP1(pScope, retval));
    });
}

HRESULT CZelm::MakeP1(ISBScope* pScope)
{
    return Request([&] {
        if (!pScope)
            throw KelvResult(E_INVALIDARG, ZelmMessages::NoDocument);
        CheckComponentsSetUp();
        Check(m_scopeUtility->MakeP1(pScope));
    });
}

HRESULT CZelm::IsPeriodic(ISBScope* pScope, VARIANT_BOOL* retval)
{
    return Request([&] {
        OpenCheck(pScope, retval);
        KelvComPtr<ISBScope> object;
        Check(m_scopeUtility->GetScopeObject(pScope, object.Receive()));
        // A scope of a document without a structure is not periodic.
        if (!object)
            return;
        Check(m_scopeUtility->IsPeriodic(object.get(), retval));
    });
}

HRESULT CZelm::AllAtomicChargesInLibrary2(ISBScope* pScope, SAFEARRAY** pMissingAtomArr, VARIANT_BOOL* retval)
{
    return Request([&] {
        if (retval)
            *retval = VARIANT_FALSE;
        if (!pMissingAtomArr)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        *pMissingAtomArr = nullptr;
        if (!retval)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        if (!pScope)
            throw KelvResult(E_INVALIDARG, ZelmMessages::NoDocument);
        CheckComponentsSetUp();

        const KelvComPtr<ISBScopeManager> manager = ObtainScopeManager();
        Kelv::CheckNullDereference(manager.get());
        const KelvComPtr<ISBScope> parents = Process(pScope, kSymmetryParent, manager.get());
        const KelvComPtr<ISBScope> atoms = Process(parents.get(), kAtoms, manager.get());
        Kelv::CheckNullDereference(atoms.get());
        KelvComPtr<ISBScopeObjects> objects;
        Check(atoms->get_Objects(objects.Receive()));
        Kelv::CheckNullDereference(objects.get());
        LONG count = 0;
        Check(objects->get_Count(&count));
        if (count < 1)
            throw KelvResult(E_UNEXPECTED, ZelmMessages::NoAtoms);

        // The answer stays 0 until every atom was looked up: a library that
        // cannot be read, or a failing host call, must not leave "all found".
        const std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(pScope);
        const std::unique_ptr<CDeckSpecies> library = CDeckSpecies::ForRun(*runInfo);
        std::set<std::string> missing;
        bool allFound = true;
        for (LONG i = 1; i <= count; ++i) {
            KelvComPtr<IUnknown> item;
            Check(objects->Item(i, item.Receive()));
            const KelvComPtr<ISDObject> atom = item.QueryInterface<ISDObject>();
            const std::string element = DMUtilities::BasicUtilities::GetValue(atom, u"ElementSymbol").String();
            if (!library->HasSpecies(atom)) {
                allFound = false;
                missing.insert(element);
            }
        }
        if (allFound) {
            *retval = VARIANT_TRUE;
            return;
        }
        if (missing.empty())
            return;
        std::vector<BSTR> names;
        names.reserve(missing.size());
        try {
            for (const std::string& element : missing)
                names.push_back(Kelv::bstrdup(element));
        } catch (...) {
            for (BSTR name : names)
                SysFreeString(name);
            throw;
        }
        ZelmArrays::BstrArrayFromBstrs(names).StoreIn(pMissingAtomArr);
    });
}

HRESULT CZelm::HasPiSystems(ISBScope* pScope, VARIANT_BOOL* retval)
{
    return Request([&] {
        OpenCheck(pScope, retval);
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        const KelvComPtr<ISBScope> contents = AppUtils::Document::CompleteModelScope(pScope, root.get());
        const KelvComPtr<ISBScope> parents = AppUtils::Document::ProcessScope(contents.get(), kSymmetryParent, root.get());
        const KelvComPtr<ISBScope> piSystems = AppUtils::Document::ProcessScope(parents.get(), kPiSystems, root.get());
        // This answer is 1, not VARIANT_TRUE: callers test it for non-zero.
        *retval = AppUtils::Document::ScopeIsEmpty(piSystems.get()) ? 0 : 1;
    });
}

HRESULT CZelm::get_LibrariesToExclude(BSTR* Exclusions)
{
    return Request([&] {
        if (!Exclusions)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        *Exclusions = nullptr;
        *Exclusions = Kelv::bstrdup("uff,sauer");
    });
}

HRESULT CZelm::CanDoPhononNonGamma(ISBScope* pScope, VARIANT_BOOL* retval)
{
    return Request([&] {
        if (!retval)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        *retval = VARIANT_FALSE;
        // The answer depends on the library alone: no scope is needed.
        CheckComponentsSetUp();
        const std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(pScope);
        *retval = runInfo->CanDoPhononNonGamma() ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

// ---------------------------------------------------------------------------
// ISBManagedJobFiles queries

HRESULT CZelm::CanStartFiles(ISBScope* pScope, VARIANT_BOOL* canStart)
{
    return Request([&] {
        OpenCheck(pScope, canStart);
        KelvComPtr<ISBDocumentRoot> document;
        Check(m_scopeUtility->GetDocumentRoot(pScope, document.Receive()));
        if (!document)
            return;
        KelvBSTR url;
        Check(document->get_DocumentURL(url.Receive()));
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        KelvComPtr<ISBDiskManager> disk;
        Check(root->get_DiskManager(disk.Receive()));
        Kelv::CheckNullDereference(disk.get());
        KelvBSTR drive, directory, name, extension;
        Check(disk->SplitPath(url.Get(), drive.Receive(), directory.Receive(), name.Receive(), extension.Receive()));
        *canStart = extension.ToTString() == CZelmRunInfo::InputFileExtension() ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

LONG CZelm::StructureAtomCount(ISBScope* scope) const
{
    const KelvComPtr<ISBScopeManager> manager = ObtainScopeManager();
    Kelv::CheckNullDereference(manager.get());
    if (CountObjects(Process(scope, kModelOfDocument, manager.get()).get()) <= 0)
        return 0;
    KelvComPtr<ISBScope> object;
    Check(m_scopeUtility->GetScopeObject(scope, object.Receive()));
    if (!object)
        return 0;
    const KelvComPtr<ISBScope> parents = Process(object.get(), kSymmetryParent, manager.get());
    const KelvComPtr<ISBScope> atoms = Process(parents.get(), kAtoms, manager.get());
    return CountObjects(atoms.get());
}

void CZelm::RefuseDeck(ISBScope* scope, CZelmRunInfo& runInfo) const
{
    const long task = runInfo.GetTask();
    // A Fit deck holds the structures its observables name, with their
    // rows, and not the request's own; any other deck holds the request's.
    if (task != 4 && StructureAtomCount(scope) <= 0)
        throw KelvResult(E_UNEXPECTED, ZelmMessages::NoAtoms);
    RefuseUnreadSpeciesLines(runInfo);
    if (task == 5) {
        if (!AppUtils::Container::GetLogic("SurfaceCalculator", Extension()))
            throw KelvResult(E_UNEXPECTED, ZelmMessages::SurfaceNeedsCalculator);
        // A Surface run cuts a slab into its two regions: of any other
        // structure the deck would hold a part and no symmetry.
        if (!IsSlab(scope))
            throw KelvResult(E_UNEXPECTED, ZelmMessages::SurfaceNeedsSlab);
    }
    if (task == 4) {
        CZelmFileWriter::RefuseFitStructures(ContainerRoot(true), m_scopeUtility.get());
    } else if (task != 5) {
        KelvComPtr<ISBDocumentRoot> document;
        Check(m_scopeUtility->GetDocumentRoot(scope, document.Receive()));
        CZelmFileWriter::RefuseStructureText(m_scopeUtility.get(), document.get());
    }
}

HRESULT CZelm::ExportRefusal(ISBScope* pScope, BSTR* pReason)
{
    return Kelv::ComMethod(QorZelm::CLSID_ZelmLogic, IID_IZelmExportCheck, [&] {
        if (!pReason)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        *pReason = nullptr;
        if (!pScope)
            throw KelvResult(E_INVALIDARG, ZelmMessages::NoDocument);
        CheckComponentsSetUp();
        std::string reason;
        try {
            const std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(pScope);
            RefuseInputFiles(pScope, *runInfo);
        } catch (const KelvResult& refused) {
            reason = refused.GetMessage().empty() ? HResultDescription(refused.GetHRESULT()) : refused.GetMessage();
            DiscardErrorInfo();
        }
        *pReason = Kelv::bstrdup(reason);
    });
}

HRESULT CZelm::CanExportFiles(ISBScope* pScope, VARIANT_BOOL* canExport)
{
    return Request([&] {
        OpenCheck(pScope, canExport);
        // The export's own preparation, nothing written: it goes exactly
        // when the export would.
        KelvBSTR reason;
        Check(ExportRefusal(pScope, reason.Receive()));
        *canExport = reason.ToTString().empty() ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT CZelm::ShouldStartFiles(ISBScope* pScope, BSTR* reason, VARIANT_BOOL* shouldStart)
{
    return Request([&] {
        if (shouldStart)
            *shouldStart = VARIANT_FALSE;
        if (reason)
            *reason = nullptr;
        if (!reason || !shouldStart)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        if (!pScope)
            throw KelvResult(E_INVALIDARG, ZelmMessages::NoDocument);
        CheckComponentsSetUp();
        *reason = Kelv::bstrdup("");
        *shouldStart = VARIANT_TRUE;
    });
}
