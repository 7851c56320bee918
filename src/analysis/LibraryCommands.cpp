// The library command of the analysis component: a fitting run's dump
// turned into a forcefield library beside it, and whether there is one.
#include "analysis/AnalysisSupport.h"
#include "analysis/ZelmAnalysis.h"
#include "common/ProjectPaths.h"
#include "job/ZelmJob.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "readers/OutputFileReader.h"
#include "setup/ZelmRunInfo.h"


using namespace ZelmAnalysisSupport;

bool CZelmAnalysis::FindFittingResultsFiles(std::string& path) const
{
    // The dump of the run named, in that run's folder: another run's dump, or
    // one that lies elsewhere in the project, is not this run's fit.
    if (m_resultsPath.empty())
        return false;
    const std::string dump = PathUtilities::ExtensionReplaced(m_resultsPath, CZelmRunInfo::DumpFileExtension());
    if (!DiskUtilities::FileExists(dump))
        return false;
    path = dump;
    return true;
}

namespace {

constexpr const char* NoFittingResults = "There are no fitting results from which a library can be generated";

} // namespace

struct CZelmAnalysis::LibraryPlan {
    CZelmJob::FittedLibrary fitted;
};

std::unique_ptr<CZelmAnalysis::LibraryPlan> CZelmAnalysis::PrepareLibrary() const
{
    auto plan = std::make_unique<LibraryPlan>();
    std::string dump;
    if (!FindFittingResultsFiles(dump))
        throw KelvResult(E_UNEXPECTED, NoFittingResults);
    // A run that failed or did not finish made no fit.
    COutputFileReader::CheckRunSucceeded(PathUtilities::ExtensionReplaced(dump, CZelmRunInfo::OutputFileExtension()));
    plan->fitted = CZelmJob::PrepareFittedLibrary(Root(), dump);
    return plan;
}

void CZelmAnalysis::WriteLibrary(const LibraryPlan& plan)
{
    const std::string library = CZelmJob::WriteFittedLibrary(plan.fitted);
    KelvResult::Check(DocumentManagerOf(Root())->Synchronize());
    m_fittedLibrary = library;
}

HRESULT CZelmAnalysis::get_CanImportLibrary(VARIANT_BOOL* pCanPlot)
{
    return RunCommand([&] {
        RequireOutput(pCanPlot);
        *pCanPlot = VARIANT_FALSE;
        // The command's own preparation: a no gives the reason it fails with.
        PrepareLibrary();
        *pCanPlot = VARIANT_TRUE;
    });
}

HRESULT CZelmAnalysis::ImportLibrary()
{
    return RunCommand([&] { WriteLibrary(*PrepareLibrary()); });
}

HRESULT CZelmAnalysis::get_FittedLibrary(BSTR* pPath)
{
    return RunCommand([&] {
        RequireOutput(pPath);
        *pPath = KelvBSTR(m_fittedLibrary).Detach();
    });
}
