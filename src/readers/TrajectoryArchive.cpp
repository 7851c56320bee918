#include "readers/TrajectoryArchive.h"

#include <utility>

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

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

TrajectoryArchiveSummary SummariseTrajectoryArchive(const std::string& path, const CAtomicIndexMap& map)
{
    const auto summarise = [&] {
        TrajectoryArchiveSummary summary;
        if (!InstalledOpener() && !map.IsInForce()) {
            // Without a map to apply the reading that keeps no position
            // judges the frames and fails as the reading of them all does.
            const CArchiveFileReader reader(path, map, CArchiveFileReader::Keep::LastFrameText, RunAtomCount(path));
            summary.frames = reader.GetWholeFrameCount();
            summary.lastFrameCut = reader.IsLastFrameCut();
            summary.damagedFrame = reader.DamagedFrame();
            summary.periodic2D = reader.Is2DPeriodic();
            summary.periodic3D = reader.Is3DPeriodic();
            return summary;
        }
        const std::unique_ptr<ITrajectoryArchive> archive = OpenTrajectoryArchive(path, map);
        summary.frames = archive->GetFrameCount();
        summary.lastFrameCut = archive->IsLastFrameCut();
        summary.damagedFrame = archive->DamagedFrame();
        summary.periodic2D = archive->Is2DPeriodic();
        summary.periodic3D = archive->Is3DPeriodic();
        return summary;
    };
    // The file as it stands now, and the run's output that sets the atom
    // count with it.
    struct stat file {}, output {};
    const std::string native = PathUtilities::ToNative(path);
    const std::string outputPath =
        PathUtilities::ToNative(PathUtilities::ExtensionReplaced(path, CZelmRunInfo::OutputFileExtension()));
    if (InstalledOpener() || map.IsInForce() || ::stat(native.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return summarise();
    if (::stat(outputPath.c_str(), &output) != 0)
        output = {};
    const auto same = [](const struct stat& a, const struct stat& b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
               a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
    };
    struct Kept {
        std::string path;
        struct stat file {}, output {};
        TrajectoryArchiveSummary summary;
    };
    static std::mutex guard;
    static std::unique_ptr<Kept> kept;
    {
        const std::lock_guard<std::mutex> lock(guard);
        if (kept && kept->path == native && same(kept->file, file) && same(kept->output, output))
            return kept->summary;
    }
    const TrajectoryArchiveSummary summary = summarise();
    const std::lock_guard<std::mutex> lock(guard);
    kept = std::make_unique<Kept>(Kept{native, file, output, summary});
    return summary;
}

TrajectoryArchiveOpener SetTrajectoryArchiveOpener(TrajectoryArchiveOpener opener)
{
    return std::exchange(InstalledOpener(), std::move(opener));
}
