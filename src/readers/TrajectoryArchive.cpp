#include "readers/TrajectoryArchive.h"

#include <ext/stdio_filebuf.h>

#include <utility>

#include <sys/stat.h>

#include <algorithm>
#include <mutex>

#include "com/regularfile.h"
#include "qorqm/DiskUtilities.h"
#include "readers/EngineLines.h"
#include "qorqm/PathUtilities.h"
#include "readers/ArchiveFileReader.h"
#include "readers/OutputFileReader.h"
#include "setup/ZelmRunInfo.h"

namespace {

// The archive as the module's archive reader reads it: every frame is in
// the reader when the file is opened, so a frame is a copy of one of them.
// Several may share one reader: it is not changed once read.
// An archive read once: its frames and the working copy's text.
struct ArchiveRead {
    std::unique_ptr<const CArchiveFileReader> reader;
    std::string copy;
};

class ReaderArchive : public ITrajectoryArchive {
public:
    explicit ReaderArchive(std::shared_ptr<const ArchiveRead> read) : m_shared(std::move(read)) {}

    std::size_t GetFrameCount() const override { return m_reader.GetFrames().size(); }

    TrajectoryArchiveFrame GetFrame(std::size_t index) const override
    {
        return TrajectoryFrameOf(m_reader.GetFrames().at(index));
    }

    bool Is2DPeriodic() const override { return m_reader.Is2DPeriodic(); }
    bool Is3DPeriodic() const override { return m_reader.Is3DPeriodic(); }
    bool IsLastFrameCut() const override { return m_reader.IsLastFrameCut(); }
    std::size_t DamagedFrame() const override { return m_reader.DamagedFrame(); }
    const std::string& WorkingCopyText() const override { return m_shared->copy; }

private:
    std::shared_ptr<const ArchiveRead> m_shared;
    const CArchiveFileReader& m_reader = *m_shared->reader;
};

std::shared_ptr<const ArchiveRead> ReadArchive(const std::string& path, const CAtomicIndexMap& map)
{
    auto read = std::make_shared<ArchiveRead>();
    const std::size_t atoms = RunAtomCount(path);
    std::string why;
    const int fd = RegularFile::Open(PathUtilities::ToNative(path), why);
    if (fd < 0) {
        // The reader's own words for a file it cannot open.
        read->reader = std::make_unique<const CArchiveFileReader>(path, map, CArchiveFileReader::Keep::AllFrames, atoms);
        return read;
    }
    // One open serves the frames and the copy's text, in reads of 64 KiB;
    // the buffer closes the descriptor.
    __gnu_cxx::stdio_filebuf<char> buffer(fd, std::ios::in | std::ios::binary, std::size_t{1} << 16);
    std::istream in(&buffer);
    read->reader = std::make_unique<const CArchiveFileReader>(in, map, CArchiveFileReader::Keep::AllFrames, atoms);
    const CArchiveFileReader::TextExtent last = read->reader->GetWholeFrameCount() == 0
                                                    ? CArchiveFileReader::TextExtent()
                                                    : read->reader->GetLastFrameText();
    read->copy = ArchiveCopyText(in, last.begin, last.end);
    return read;
}

// The reader of the archive at `path` with a map not in force: the one kept
// when the file (and the run's output) stands as it stood when it was read.
std::shared_ptr<const ArchiveRead> KeptArchive(const std::string& path, const CAtomicIndexMap& map)
{
    struct stat file {}, output {};
    const std::string native = PathUtilities::ToNative(path);
    const std::string outputPath =
        PathUtilities::ToNative(PathUtilities::ExtensionReplaced(path, CZelmRunInfo::OutputFileExtension()));
    if (::stat(native.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return ReadArchive(path, map);
    if (::stat(outputPath.c_str(), &output) != 0)
        output = {};
    const auto same = [](const struct stat& a, const struct stat& b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
               a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
    };
    struct Kept {
        std::string path;
        struct stat file {}, output {};
        std::shared_ptr<const ArchiveRead> reader;
    };
    static std::mutex guard;
    static std::unique_ptr<Kept> kept;
    {
        const std::lock_guard<std::mutex> lock(guard);
        if (kept && kept->path == native && same(kept->file, file) && same(kept->output, output))
            return kept->reader;
    }
    std::shared_ptr<const ArchiveRead> reader = ReadArchive(path, map);
    const std::lock_guard<std::mutex> lock(guard);
    kept = std::make_unique<Kept>(Kept{native, file, output, reader});
    return reader;
}

TrajectoryArchiveOpener& InstalledOpener()
{
    static TrajectoryArchiveOpener opener;
    return opener;
}

}  // namespace

TrajectoryArchiveFrame TrajectoryFrameOf(const CArchiveFrameInfo& info)
{
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

const std::string& ITrajectoryArchive::WorkingCopyText() const
{
    static const std::string none;
    return none;
}

std::string ArchiveCopyText(std::istream& in, std::uint64_t begin, std::uint64_t end)
{
    std::string copy;
    // The copy holds no more than the frame's text and the three lines before it.
    copy.reserve(static_cast<std::size_t>(end - begin) + 1024);
    const auto add = [&](const std::string& line) {
        copy += line;
        copy += '\n';
    };
    in.clear();
    in.seekg(0);
    {
        CEngineLineReader lines(in, LastLineRule::NeedsLineBreak);
        for (int i = 0; i < 3 && lines.Next(); ++i)
            add(lines.Line());
    }
    if (begin < end) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(begin));
        CEngineLineReader lines(in, LastLineRule::NeedsLineBreak);
        while (lines.Offset() < end - begin && lines.Next()) {
            if (lines.Line().find_first_not_of(" \t") != std::string::npos)
                add(lines.Line());
        }
    }
    return copy;
}

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
    return std::make_unique<ReaderArchive>(map.IsInForce() ? ReadArchive(path, map) : KeptArchive(path, map));
}

TrajectoryArchiveSummary SummariseTrajectoryArchive(const std::string& path, const CAtomicIndexMap& map)
{
    const std::unique_ptr<ITrajectoryArchive> archive = OpenTrajectoryArchive(path, map);
    TrajectoryArchiveSummary summary;
    summary.frames = archive->GetFrameCount();
    summary.lastFrameCut = archive->IsLastFrameCut();
    summary.damagedFrame = archive->DamagedFrame();
    summary.periodic2D = archive->Is2DPeriodic();
    summary.periodic3D = archive->Is3DPeriodic();
    return summary;
}

bool TrajectoryArchiveOpenerInstalled()
{
    return static_cast<bool>(InstalledOpener());
}

TrajectoryArchiveOpener SetTrajectoryArchiveOpener(TrajectoryArchiveOpener opener)
{
    return std::exchange(InstalledOpener(), std::move(opener));
}
