#include "readers/TrajectoryArchive.h"

#include <utility>

#include <algorithm>

#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "readers/ArchiveFileReader.h"
#include "readers/OutputFileReader.h"
#include "setup/ZelmRunInfo.h"

namespace {

// The archive as the module's archive reader reads it: every frame is in
// the reader when the file is opened, so a frame is a copy of one of them.
class ReaderArchive : public ITrajectoryArchive {
public:
    ReaderArchive(const std::string& path, const CAtomicIndexMap& map)
        : m_reader(path, map, CArchiveFileReader::Keep::AllFrames, RunAtomCount(path))
    {
    }

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
    std::size_t DamagedFrame() const override { return m_reader.DamagedFrame(); }

private:
    CArchiveFileReader m_reader;
};

TrajectoryArchiveOpener& InstalledOpener()
{
    static TrajectoryArchiveOpener opener;
    return opener;
}

}  // namespace

std::size_t RunAtomCount(const std::string& archivePath)
{
    const std::string output = PathUtilities::ExtensionReplaced(archivePath, CZelmRunInfo::OutputFileExtension());
    if (!DiskUtilities::FileExists(output))
        return 0;
    int cores = 0, shells = 0, irreducible = 0, total = 0;
    try {
        COutputFileReader::ReadAtomTable(output, cores, shells, irreducible, total);
    } catch (const KelvResult&) {
        return 0;  // the commands that read the output give its reason
    }
    if (shells != 0)
        return 0;
    return static_cast<std::size_t>(std::max(total > 0 ? total : cores, 0));
}

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
