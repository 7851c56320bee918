// The reader of the engine's archive of structure frames (".arc").
#pragma once

#include "readers/ReaderBase.h"

#include "dravix/dravix.h"
#include "qorvira/AtomicIndexMap.h"
#include "qorvira/LatticeInfo.h"

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// One archive frame: its cell (a, b, c, alpha, beta, gamma as the file gives
// them, degrees; all 0 for a frame without a cell), time in ps (0.0 when the
// header gives none), energy in eV and the Cartesian atom positions in the
// order of the document's atoms.
class CArchiveFrameInfo
{
public:
    CArchiveFrameInfo(const CLatticeInfo& lattice, double time, double energy,
                      const std::vector<xxPoint3d>& positions);
    CArchiveFrameInfo(const CArchiveFrameInfo& other) = default;
    CArchiveFrameInfo& operator=(const CArchiveFrameInfo& other) = default;
    CArchiveFrameInfo(CArchiveFrameInfo&& other) noexcept = default;
    CArchiveFrameInfo& operator=(CArchiveFrameInfo&& other) noexcept = default;
    virtual ~CArchiveFrameInfo();

    const CLatticeInfo& GetLattice() const { return m_lattice; }
    double GetTime() const { return m_time; }
    double GetEnergy() const { return m_energy; }
    const std::vector<xxPoint3d>& GetAtomPositions() const { return m_positions; }
    std::vector<xxPoint3d>& GetAtomPositions() { return m_positions; }

private:
    CLatticeInfo m_lattice;
    double m_time = 0.0;
    double m_energy = 0.0;
    std::vector<xxPoint3d> m_positions;
};

// Reads every complete frame of an archive in its constructor. The header
// is "!<writer> archive 2" or "3", whatever word names the writer. A header,
// periodicity, date or cell line that does not fit, or an "end" line without
// its closing "end", ends the reading quietly: the frames read before stay.
// Failures (KelvResult E_UNEXPECTED): "Failed to open ZELM arc file.", an
// atom line of 1 to 8 words "ZELM output not readable.", a coordinate that
// is no number "Found invalid field in the string <token>", and a frame
// whose atom count differs from the map's (see ApplyMap).
//
// This reader alone decides which frames are whole; every command and answer
// takes its frames. A frame is whole when its header, date line, cell line
// (periodic archives), closing lines (two "end" lines, or a blank line) and
// as many atom lines as the run has atoms are there: the count given to the
// reader (the run's main output's), else the first frame's. The end of the
// file stands for the closing lines only right after a full set of atom
// lines. A frame that the end of the file cuts is left out, and
// IsLastFrameCut says so; the first frame that is not whole otherwise (a
// date or cell line missing, an atom line missing or one too many, an "end"
// without its closing "end") ends the frames, and DamagedFrame names it. A
// last line without a line break is never used (it may be cut anywhere), so
// a file that lacks only its final line break ends inside the closing lines
// of its last frame: that frame counts as cut.
class CArchiveFileReader : public CFileReaderBase
{
public:
    CArchiveFileReader(const std::string& path, const CAtomicIndexMap& map);
    // Which frames the reader keeps: all of them, or only the place of the
    // last whole one in the file (LastFrameText: the frames are judged all
    // the same, and every atom line is checked by the same rule, failing as
    // it fails, but no position is kept and GetFrames stays empty).
    enum class Keep { AllFrames, LastFrameText };
    // `atoms`: the run's atom count, which every whole frame has; 0 takes the
    // first frame's.
    CArchiveFileReader(const std::string& path, const CAtomicIndexMap& map, Keep keep, std::size_t atoms = 0);
    // The same over a stream that is open already, from its position.
    CArchiveFileReader(std::istream& stream, const CAtomicIndexMap& map, Keep keep, std::size_t atoms = 0);
    ~CArchiveFileReader() override;

    void Read(const std::string& path) override;

    // True for a three-dimensionally periodic archive ("PBC=ON").
    bool Is3DPeriodic() const { return m_periodic3D; }
    // True for a two-dimensionally periodic archive ("PBC=2D").
    bool Is2DPeriodic() const { return m_periodic2D; }
    // Every whole frame (none under Keep::LastFrameText); none for
    // a file that is no archive or holds no whole frame, which is no failure of the reading: a caller that
    // needs a frame tells it by an empty list.
    const std::vector<CArchiveFrameInfo>& GetFrames() const { return m_frames; }
    // True when the end of the file cuts a frame short: inside its header
    // line or after it, at its date or cell line, before a full set of atom
    // lines (as many as a whole frame has), inside a line after them, or
    // between or inside its two "end" lines. That frame is not among the
    // frames. A file that ends right after a full set of atom lines keeps
    // its last frame.
    bool IsLastFrameCut() const { return m_lastFrameCut; }
    // The number (from 1) of the first frame that is not whole, where it
    // ends the frames though the file goes on; 0 when there is none.
    std::size_t DamagedFrame() const { return m_damagedFrame; }
    // The whole frames, whichever are kept.
    std::size_t GetWholeFrameCount() const { return m_wholeFrames; }
    // Where the text of the last whole frame lies in the file, in bytes from
    // where the reading began: from the start of its date line to the end of
    // its last line. Empty (0, 0) without frames.
    struct TextExtent {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };
    const TextExtent& GetLastFrameText() const { return m_lastFrameText; }
    const CAtomicIndexMap& GetAtomIndexMap() const { return m_map; }

    // Puts one frame's positions into document order: a map not in force
    // copies them; otherwise output[i - 1] = input[MapDoc2Zelm(i) - 1] for
    // every document atom i, and a frame whose count differs from the map's
    // size fails with "CArchiveFileReader::ApplyMap: atomPositionCount !=
    // map.GetSize().\n" (KelvResult E_UNEXPECTED), as does a map entry that
    // does not lead into the frame.
    static void ApplyMap(std::vector<xxPoint3d>& output, const std::vector<xxPoint3d>& input,
                         const CAtomicIndexMap& map);

private:
    void Read(std::istream& stream);
    // The atom count every whole frame has: the run's, else the first
    // frame's (0 before the first frame without the run's).
    std::size_t WholeFrameAtoms() const { return m_atoms != 0 ? m_atoms : m_firstFrameAtoms; }
    // Whether a frame that the end of the file closes after `atoms` atom
    // lines, with or without a cut line after them, is whole.
    bool IsWholeAtEnd(std::size_t atoms, bool endedInsideLine) const;

    bool m_periodic3D = false;
    bool m_periodic2D = false;
    bool m_lastFrameCut = false;
    Keep m_keep = Keep::AllFrames;
    std::size_t m_atoms = 0;
    std::size_t m_firstFrameAtoms = 0;
    std::size_t m_wholeFrames = 0;
    std::size_t m_damagedFrame = 0;
    std::vector<CArchiveFrameInfo> m_frames;
    TextExtent m_lastFrameText;
    CAtomicIndexMap m_map;
};
