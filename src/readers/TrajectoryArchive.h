// The run's archive of structure frames as the trajectory providers read it.
// The archive reader stands behind it; the providers depend only on this.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "qorvira/AtomicIndexMap.h"
#include "qorvira/LatticeInfo.h"

// One archive frame: cell (lengths; angles in degrees), time (ps), energy
// (eV) and atom positions (Cartesian, in document order).
struct TrajectoryArchiveFrame {
    CLatticeInfo lattice;
    double time = 0.0;
    double energy = 0.0;
    std::vector<std::array<double, 3>> positions;
};

class CArchiveFrameInfo;
// A frame of the archive reader as a trajectory takes it.
TrajectoryArchiveFrame TrajectoryFrameOf(const CArchiveFrameInfo& info);

class ITrajectoryArchive {
public:
    virtual ~ITrajectoryArchive() = default;
    virtual std::size_t GetFrameCount() const = 0;
    // Frame `index` (0-based, below GetFrameCount).
    virtual TrajectoryArchiveFrame GetFrame(std::size_t index) const = 0;
    // The archive's periodicity flags; both may hold (then the cell lines
    // are three-dimensional).
    virtual bool Is2DPeriodic() const = 0;
    virtual bool Is3DPeriodic() const = 0;
    // True when the file ends inside a frame that is therefore not counted.
    virtual bool IsLastFrameCut() const { return false; }
    // The number (from 1) of the first frame that is not whole though the
    // file goes on, which ends the frames; 0 when there is none.
    virtual std::size_t DamagedFrame() const { return 0; }
    // The text of the structure update's working copy, taken in the same
    // read (ArchiveCopyText); empty for an archive that has none to give.
    virtual const std::string& WorkingCopyText() const;
};

// The working copy's text of the archive open in `in`: its first three lines,
// then the lines of its last whole frame, which lies at [begin, end) in bytes
// from the start (blank lines left out; none when begin == end), each ended
// by a line break. Read from the stream's start.
std::string ArchiveCopyText(std::istream& in, std::uint64_t begin, std::uint64_t end);

// The number of atoms of every whole frame of the archive at `path`: the
// atoms of the run's main output beside it (the archive's name with ".gout"),
// 0 when it has none to give (no output, or one that counts shells, which an
// archive need not list), which leaves the first frame to set it.
std::size_t RunAtomCount(const std::string& archivePath);

// Opens the archive at `path` with the document-to-engine atom map; throws
// (KelvResult) when the file is missing or unreadable.
using TrajectoryArchiveOpener =
    std::function<std::unique_ptr<ITrajectoryArchive>(const std::string& path, const CAtomicIndexMap& map)>;

// Opens an archive: with the installed opener when a test has put one in,
// otherwise with the module's archive reader (its failures are thrown),
// through one open that gives the working copy's text too. The
// last archive read with a map not in force is kept for the same file (the
// same place, size and time of change, the run's main output's too): the
// answers and the command of one run, and the trajectory built from it, read
// it once.
std::unique_ptr<ITrajectoryArchive> OpenTrajectoryArchive(const std::string& path, const CAtomicIndexMap& map);

// What the answers and the notes need of an archive: its whole frames, how
// they end, and its periodicity, read as OpenTrajectoryArchive reads it (its
// failures thrown alike; without a map in force, by the archive reader
// keeping no position).
struct TrajectoryArchiveSummary {
    std::size_t frames = 0;
    bool lastFrameCut = false;
    std::size_t damagedFrame = 0;
    bool periodic2D = false;
    bool periodic3D = false;
};
// The archive's summary, from the archive OpenTrajectoryArchive reads (the
// one kept for the same file when there is one).
TrajectoryArchiveSummary SummariseTrajectoryArchive(const std::string& path, const CAtomicIndexMap& map);

// Installs the opener OpenTrajectoryArchive uses (tests put a fake in);
// returns the one before.
TrajectoryArchiveOpener SetTrajectoryArchiveOpener(TrajectoryArchiveOpener opener);
// Whether a test has put an opener in (whose frames then stand for the
// archive reader's everywhere).
bool TrajectoryArchiveOpenerInstalled();
