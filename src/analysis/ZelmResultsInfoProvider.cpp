// The phonon results wrapper as the analysis component's band-structure
// command makes it (current build).
#include "analysis/ZelmAnalysis.h"

#include "analysis/ZelmResultsInfo.h"
#include "readers/PhononFileReader.h"

bool CZelmAnalysis::HasResultsWrapper()
{
    return true;
}

void CZelmAnalysis::CreatePhononResultsInfo(const std::string& outputPath, IUnknown** out)
{
    void* object = nullptr;
    KelvResult::Check(CZelmResultsInfo::CreateZelmResultsInfo(&object));
    KelvResult::Check(KelvCreateInstanceImpl(object, reinterpret_cast<void**>(out)));
    static_cast<CZelmResultsInfo*>(static_cast<IDelegatedUnknown*>(*out))->SetResultsPath(outputPath);
}

void CZelmAnalysis::CreatePhononResultsInfo(std::unique_ptr<CZelmPhononData> loaded, IUnknown** out)
{
    void* object = nullptr;
    KelvResult::Check(CZelmResultsInfo::CreateZelmResultsInfo(&object));
    KelvResult::Check(KelvCreateInstanceImpl(object, reinterpret_cast<void**>(out)));
    static_cast<CZelmResultsInfo*>(static_cast<IDelegatedUnknown*>(*out))->TakeData(std::move(loaded));
}
