// The trajectory data of a run, through the job's result import.
#include "analysis/ZelmAnalysis.h"

void ImportRunTrajectory(KelvComPtr<ISBContainerRoot>& /*root*/, const std::string& /*base*/, int /*runType*/)
{
    throw KelvResult(E_NOTIMPL, "The trajectory import of finished jobs is not in this build yet.");
}
