#include "readers/TrajectoryArchive.h"

#include <utility>

#include "kelv/KelvResult.h"

namespace {

TrajectoryArchiveOpener& InstalledOpener()
{
    static TrajectoryArchiveOpener opener;
    return opener;
}

}  // namespace

std::unique_ptr<ITrajectoryArchive> OpenTrajectoryArchive(const std::string& path, const CAtomicIndexMap& map)
{
    const TrajectoryArchiveOpener& opener = InstalledOpener();
    if (!opener)
        throw KelvResult(E_NOTIMPL, "No reader of ZELM arc files is available.");
    return opener(path, map);
}

TrajectoryArchiveOpener SetTrajectoryArchiveOpener(TrajectoryArchiveOpener opener)
{
    return std::exchange(InstalledOpener(), std::move(opener));
}
