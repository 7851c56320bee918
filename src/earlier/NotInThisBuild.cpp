// What the earlier build leaves out answers so: no forcefield model (no
// forcefield editor for the host, no library made from a fitting dump), no
// observables, no phonon results wrapper (no band structure), and no Fit
// deck, since every library of this build is a standard one.
#include "analysis/ZelmAnalysis.h"
#include "forcefield/DumpToLibraryConverter.h"
#include "readers/PhononFileReader.h"
#include "setup/Zelm.h"
#include "setup/ZelmFileWriter.h"
#include "setup/ZelmMessages.h"

namespace {

const char* const kNoForcefieldModel = "This build of QorZelm has no forcefield model";

} // namespace

// ---------------------------------------------------------------------------
// The logic object

bool CZelm::HasForcefieldModel()
{
    return false;
}

HRESULT CZelm::get_ForcefieldEditor(IQoForcefieldEditor** ppEditor)
{
    if (ppEditor)
        *ppEditor = nullptr;
    return NotAvailable("IQoEditedForcefieldConsumer::ForcefieldEditor");
}

HRESULT CZelm::ForcefieldSavedTo(BSTR)
{
    return NotAvailable("IQoEditedForcefieldConsumer::ForcefieldSavedTo");
}

HRESULT CZelm::SuggestSavePath(BSTR, BSTR* pSuggestedDirectory)
{
    if (pSuggestedDirectory)
        *pSuggestedDirectory = nullptr;
    return NotAvailable("IQoEditedForcefieldConsumer::SuggestSavePath");
}

HRESULT CZelm::get_ObservableData(IQoZelmObservableData** ppObservableData)
{
    return Request([&] {
        if (!ppObservableData)
            throw KelvResult(E_POINTER, ZelmMessages::NoOutput);
        *ppObservableData = nullptr;
        throw KelvResult(E_NOTIMPL, "This build of QorZelm has no observables.");
    });
}

// ---------------------------------------------------------------------------
// The analysis component

bool CZelmAnalysis::HasResultsWrapper()
{
    return false;
}

void CZelmAnalysis::CreatePhononResultsInfo(const std::string&, IUnknown** out)
{
    if (out)
        *out = nullptr;
    throw KelvResult(E_NOTIMPL, "This build of QorZelm has no phonon results wrapper: the phonon dispersion cannot be "
                                "plotted.");
}

void CZelmAnalysis::CreatePhononResultsInfo(std::unique_ptr<CZelmPhononData>, IUnknown** out)
{
    CreatePhononResultsInfo(std::string(), out);
}

// ---------------------------------------------------------------------------
// The deck writer

void CZelmFileWriter::RefuseFitStructures(const KelvComPtr<ISBContainerRoot>&, IQoScopeUtility*)
{
    throw KelvResult(E_UNEXPECTED, "\nCannot run or save files for a Fit Forcefield task when using a standard library.");
}

void CZelmFileWriter::WriteStructures(std::ofstream&)
{
    RefuseFitStructures(m_root, m_scopeUtility.get());
}

// ---------------------------------------------------------------------------
// The dump-to-library conversion of a Fit result: none in this build.

CDumpToLibraryConverter::CDumpToLibraryConverter(const std::string& dumpPath, const std::string& libraryPath,
                                                 const std::string&)
{
    throw KelvResult(E_NOTIMPL, std::string(kNoForcefieldModel) + ": no library '" + libraryPath +
                                    "' can be made from the fitting dump '" + dumpPath + "'.");
}

CDumpToLibraryConverter::~CDumpToLibraryConverter() = default;

void CDumpToLibraryConverter::CheckConvertible(const std::string& dumpPath, const std::string& libraryPath)
{
    const CDumpToLibraryConverter refused(dumpPath, libraryPath);
}

class CDumpToLibraryConverter::Prepared {};

std::shared_ptr<const CDumpToLibraryConverter::Prepared> CDumpToLibraryConverter::Prepare(
    const std::string& dumpPath, const std::string& libraryPath)
{
    CheckConvertible(dumpPath, libraryPath);
    return nullptr;
}

const std::string& CDumpToLibraryConverter::LibraryText(const Prepared&)
{
    static const std::string none;
    return none;
}

void CDumpToLibraryConverter::Write(const Prepared&, const std::string& libraryPath, const std::string&)
{
    CheckConvertible(std::string(), libraryPath);
}

bool CDumpToLibraryConverter::CanConvert(const std::string&, const std::string&)
{
    return false;
}
