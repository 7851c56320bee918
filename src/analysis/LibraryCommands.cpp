// The library command of the analysis component: a fitting run's dump
// turned into a forcefield library beside it, and whether there is one.
#include "analysis/AnalysisSupport.h"
#include "analysis/ZelmAnalysis.h"
#include "com/regularfile.h"
#include "common/ProjectPaths.h"
#include "forcefield/DumpToLibraryConverter.h"
#include "qorqm/ClaimName.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "readers/OutputFileReader.h"
#include "setup/ZelmRunInfo.h"

#include <algorithm>
#include <filesystem>

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

std::string FittedLibraryNotMade(const std::string& wanted, const DiskUtilities::ClaimedName& claim)
{
    return "The fitted library \"" + MessageText::Excerpt(wanted) + "\" cannot be made: " +
           DiskUtilities::ClaimFailure(claim) + ".";
}

// The bytes of a library that stands (none of one that is not there or
// cannot be read: a conversion always gives some).
std::string LibraryBytes(const std::string& path)
{
    std::string bytes;
    std::string why;
    RegularFile::ReadAll(PathUtilities::ToNative(path), bytes, why, RegularFile::Bound::Library);
    return bytes;
}

} // namespace

struct CZelmAnalysis::LibraryPlan {
    std::string dump;
    // The library beside the dump ("<dump>.lib"): the first name of the
    // series the new library takes a name of.
    std::string wanted;
    std::string project;
    std::shared_ptr<const CDumpToLibraryConverter::Prepared> library;
    // The library or numbered copy that holds the very bytes of the
    // conversion already: it is the fitted library, and nothing is written.
    std::string same;
};

std::unique_ptr<CZelmAnalysis::LibraryPlan> CZelmAnalysis::PrepareLibrary() const
{
    auto plan = std::make_unique<LibraryPlan>();
    if (!FindFittingResultsFiles(plan->dump))
        throw KelvResult(E_UNEXPECTED, NoFittingResults);
    // A run that failed or did not finish made no fit.
    COutputFileReader::CheckRunSucceeded(
        PathUtilities::ExtensionReplaced(plan->dump, CZelmRunInfo::OutputFileExtension()));
    plan->wanted = PathUtilities::ExtensionReplaced(plan->dump, CZelmRunInfo::LibraryFileExtension());
    plan->project = ProjectFolderForWrites(Root());
    plan->library = CDumpToLibraryConverter::Prepare(plan->dump, plan->wanted);
    // A folder in the library's place is no earlier library, nor a place a
    // library can be written to.
    std::error_code error;
    if (std::filesystem::is_directory(PathUtilities::ToNative(plan->wanted), error))
        throw KelvResult(E_UNEXPECTED, "Cannot open " + plan->wanted + ": it is a folder, not a file");
    // A library of the dump's name may be the fit's own input library, with
    // the user's fit flags: it stays, and so do the copies numbered after it.
    // One that holds the conversion's bytes already is the fitted library.
    // (The claim takes the name itself while nothing stands there; else the
    // number after the highest standing, so those are the copies.)
    const std::string& text = CDumpToLibraryConverter::LibraryText(*plan->library);
    const bool taken =
        std::filesystem::exists(std::filesystem::symlink_status(PathUtilities::ToNative(plan->wanted), error));
    const long long highest =
        taken ? DiskUtilities::HighestStanding(plan->wanted, DiskUtilities::ClaimKind::File) : 0;
    for (unsigned n = 1; taken && n <= static_cast<unsigned>(std::max<long long>(highest, 1)); ++n) {
        const std::string copy = DiskUtilities::NumberedName(plan->wanted, n, DiskUtilities::ClaimKind::File);
        if (LibraryBytes(copy) == text) {
            plan->same = copy;
            return plan;
        }
    }
    // Else a new name of the series is claimed beside the dump.
    const DiskUtilities::ClaimedName asked = DiskUtilities::AskNewFile(plan->wanted);
    if (!asked)
        throw KelvResult(E_UNEXPECTED, FittedLibraryNotMade(plan->wanted, asked));
    return plan;
}

void CZelmAnalysis::WriteLibrary(const LibraryPlan& plan)
{
    std::string library = plan.same;
    if (library.empty()) {
        // Written whole before it takes its name, so that a killed import
        // leaves no empty or half-written library behind.
        const DiskUtilities::ClaimedName claim =
            DiskUtilities::ClaimNewFile(plan.wanted, [&](const std::string& temporary) {
                CDumpToLibraryConverter::Write(*plan.library, temporary, plan.project);
            });
        if (!claim)
            throw KelvResult(E_UNEXPECTED, FittedLibraryNotMade(plan.wanted, claim));
        library = claim.path;
    }
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
