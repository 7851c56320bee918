#include "readers/TrajectoryArchive.h"

#include <utility>

#include "readers/ArchiveFileReader.h"

namespace {

// The archive as the module's archive reader reads it: every frame is in
// the reader when the file is opened, so a frame is a copy of one of them.
class ReaderArchive : public ITrajectoryArchive {
public:
    ReaderArchive(const std::string& path, const CAtomicIndexMap& map) : m_reader(path, map) {}

    std::size_t GetFrameCount() const override { return m_reader.GetFrames().size(); }

    TrajectoryArchiveFrame GetFrame(std::size_t index) const override
    {
        const CArchiveFrameInfo& info = m_reader.GetFrames().at(index);
        TrajectoryArchiveFrame frame;
        frame.lattice = info.GetLattice();
        frame.time = info.GetTime();
        frame.energy = info.GetEnergy();
        const std::vector<xxPoint3d>& positions = info.GetAtomPositions();
        frame.positions.reserve(positions.size());
        for (const xxPoint3d& p : positions)
            frame.positions.push_back({p.x, p.y, p.z});
        return frame;
    }

    bool Is2DPeriodic() const override { return m_reader.Is2DPeriodic(); }
    bool Is3DPeriodic() const override { return m_reader.Is3DPeriodic(); }
    bool IsLastFrameCut() const override { return m_reader.IsLastFrameCut(); }

private:
    CArchiveFileReader m_reader;
};

TrajectoryArchiveOpener& InstalledOpener()
{
    static TrajectoryArchiveOpener opener;
    return opener;
}

}  // namespace

std::unique_ptr<ITrajectoryArchive> OpenTrajectoryArchive(const std::string& path, const CAtomicIndexMap& map)
{
    const TrajectoryArchiveOpener& opener = InstalledOpener();
    if (opener)
        return opener(path, map);
    return std::make_unique<ReaderArchive>(path, map);
}

TrajectoryArchiveOpener SetTrajectoryArchiveOpener(TrajectoryArchiveOpener opener)
{
    return std::exchange(InstalledOpener(), std::move(opener));
}
