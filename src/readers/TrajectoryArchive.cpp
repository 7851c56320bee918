#include "readers/TrajectoryArchive.h"

#include <utility>

#include "kelv/KelvResult.h"
#include "readers/ArchiveFileReader.h"

namespace {

// The module's archive reader behind the providers' view of an archive.
class ReaderArchive final : public ITrajectoryArchive {
public:
    ReaderArchive(const std::string& path, const CAtomicIndexMap& map) : m_reader(path, map) {}
    std::size_t GetFrameCount() const override { return m_reader.GetFrames().size(); }
    TrajectoryArchiveFrame GetFrame(std::size_t index) const override
    {
        const CArchiveFrameInfo& frame = m_reader.GetFrames().at(index);
        TrajectoryArchiveFrame out;
        out.lattice = frame.GetLattice();
        out.time = frame.GetTime();
        out.energy = frame.GetEnergy();
        out.positions.reserve(frame.GetAtomPositions().size());
        for (const xxPoint3d& p : frame.GetAtomPositions())
            out.positions.push_back({p.x, p.y, p.z});
        return out;
    }
    bool Is2DPeriodic() const override { return m_reader.Is2DPeriodic(); }
    bool Is3DPeriodic() const override { return m_reader.Is3DPeriodic(); }

private:
    CArchiveFileReader m_reader;
};

TrajectoryArchiveOpener& InstalledOpener()
{
    static TrajectoryArchiveOpener opener = [](const std::string& path, const CAtomicIndexMap& map) {
        return std::unique_ptr<ITrajectoryArchive>(new ReaderArchive(path, map));
    };
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
