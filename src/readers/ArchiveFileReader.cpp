#include "readers/ArchiveFileReader.h"

#include "kelv/kelv.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/QMPhysicalConstants.h"

#include <fstream>

CArchiveFrameInfo::CArchiveFrameInfo(const CLatticeInfo& lattice, double time, double energy,
                                     const std::vector<xxPoint3d>& positions)
    : m_lattice(lattice), m_time(time), m_energy(energy), m_positions(positions)
{
}

CArchiveFrameInfo::~CArchiveFrameInfo() = default;

namespace {

// A coordinate read as GetFieldAsDouble(token, 0) reads it; plain decimal
// numbers take a quicker road to the same value.
double Coordinate(std::string_view token)
{
    double value = 0.0;
    return ParseWholeDecimal(token, value) ? value : GetFieldAsDouble(std::string(token), 0);
}

} // namespace

CArchiveFileReader::CArchiveFileReader(const std::string& path, const CAtomicIndexMap& map) : m_map(map)
{
    CArchiveFileReader::Read(path);
}

CArchiveFileReader::CArchiveFileReader(const std::string& path, const CAtomicIndexMap& map, Keep keep,
                                       std::size_t atoms)
    : m_keep(keep), m_atoms(atoms), m_map(map)
{
    CArchiveFileReader::Read(path);
}

CArchiveFileReader::CArchiveFileReader(std::istream& stream, const CAtomicIndexMap& map, Keep keep,
                                       std::size_t atoms)
    : m_keep(keep), m_atoms(atoms), m_map(map)
{
    Read(stream);
}

CArchiveFileReader::~CArchiveFileReader() = default;

void CArchiveFileReader::ApplyMap(std::vector<xxPoint3d>& output, const std::vector<xxPoint3d>& input,
                                  const CAtomicIndexMap& map)
{
    if (!map.IsInForce()) {
        output = input;
        return;
    }
    const std::size_t count = input.size();
    if (count != map.GetSize()) {
        throw KelvResult(E_UNEXPECTED, "CArchiveFileReader::ApplyMap: atomPositionCount != map.GetSize().\n");
    }
    std::vector<xxPoint3d> mapped(count);
    for (std::size_t doc = 1; doc <= count; ++doc) {
        ULONG zelm = 0;
        try {
            zelm = map.MapDoc2Zelm(static_cast<ULONG>(doc));
        } catch (const KelvResult& error) {
            throw KelvResult(E_UNEXPECTED, "CArchiveFileReader::ApplyMap: " + error.GetMessage() + "\n");
        }
        if (zelm < 1 || zelm > count) {
            throw KelvResult(E_UNEXPECTED, "CArchiveFileReader::ApplyMap: the map leads atom " + std::to_string(doc) +
                                               " outside the frame.\n");
        }
        mapped[doc - 1] = input[zelm - 1];
    }
    output.swap(mapped);
}

bool CArchiveFileReader::IsWholeAtEnd(std::size_t atoms, bool endedInsideLine) const
{
    // The end of the file closes a frame without its "end" lines only right
    // after a full set of atom lines. Any text after them that the end of the
    // file cuts, fewer atoms, or none, and the frame is cut short.
    if (atoms == 0 || endedInsideLine)
        return false;
    return WholeFrameAtoms() == 0 || WholeFrameAtoms() == atoms;
}

namespace {

// What an atom line of a frame is, told by its first word alone: the end of
// the atom lines (a blank line, or "end"), or an atom line.
enum class AtomLine { Blank, End, Atom };

AtomLine KindOfAtomLine(const std::string& line)
{
    // Words are parted by spaces, as TokenizeLine parts them.
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos)
        return AtomLine::Blank;
    const std::size_t size = line.size();
    if (first + 3 <= size && line[first] == 'e' && line[first + 1] == 'n' && line[first + 2] == 'd' &&
        (first + 3 == size || line[first + 3] == ' '))
        return AtomLine::End;
    return AtomLine::Atom;
}

} // namespace

void CArchiveFileReader::Read(const std::string& path)
{
    RegularFile::InputFile stream;
    if (!OpenEngineFile(stream, path)) {
        throw KelvResult(E_UNEXPECTED, stream.Failure("Failed to open ZELM arc file."));
    }
    Read(stream);
}

void CArchiveFileReader::Read(std::istream& stream)
{
    // Every line needs its line break, the last one too: a last line without
    // one may have been cut anywhere, so it is never used. A file that lacks
    // only its final line break thus ends inside its last frame's closing
    // "end" lines, and that frame is cut short like any other.
    CEngineLineReader lines(stream, LastLineRule::NeedsLineBreak);
    LineTokens tokens;
    // The end of the data inside a frame: the end of the file cuts it (a
    // line too long for any format ends the reading without that).
    const auto cutShort = [&] { m_lastFrameCut = !lines.TooLong(); };
    // A frame that is not whole though the file goes on ends the frames.
    const auto damaged = [&] { m_damagedFrame = m_wholeFrames + 1; };
    const bool readAtoms = m_keep == Keep::AllFrames;

    // Header: "!" and the word of the program that wrote the archive, which
    // differs between writers and engine versions, then "archive" and the
    // version, "2" or "3" (both read the same way): "!KORVEX archive 2".
    if (!lines.Next()) {
        return;
    }
    TokenizeLine(lines.Line(), tokens);
    if (tokens.size() != 3 || tokens[0].size() < 2 || tokens[0][0] != '!' || tokens[1] != "archive" ||
        (tokens[2] != "2" && tokens[2] != "3")) {
        return;
    }
    // Periodicity: "PBC=ON", "PBC=2D" or "PBC=OFF".
    if (!lines.Next()) {
        return;
    }
    TokenizeLine(lines.Line(), tokens);
    if (tokens.size() != 1 || !Contains(tokens[0], "PBC")) {
        return;
    }
    m_periodic3D = Contains(tokens[0], "ON");
    m_periodic2D = Contains(tokens[0], "2D");

    std::vector<xxPoint3d> positions;
    std::vector<xxPoint3d> mapped;
    for (;;) {
        // Frame header: "<time> ps <energy>" or "<energy>" (kcal/mol). The
        // end of the file before it ends the archive; inside it, it cuts
        // the frame that it begins.
        if (!lines.Next()) {
            m_lastFrameCut = lines.EndedInsideLine();
            return;
        }
        TokenizeLine(lines.Line(), tokens);
        if (tokens.empty() || tokens[0] == "end") {
            return;
        }
        double time = 0.0;
        if (tokens.size() == 3 && tokens[1] == "ps") {
            time = ParseLeadingDecimal(tokens[0]);
        }
        const double energy = ParseLeadingDecimal(tokens.back()) / QMPhysicalConstants::EV_TO_KCAL_MOL;

        // From here on the end of the file cuts the frame in hand.
        const std::uint64_t textStart = lines.Offset();
        if (!lines.Next()) {
            cutShort();
            return;
        }
        TokenizeLine(lines.Line(), tokens);
        if (tokens.empty() || !Contains(tokens[0], "!DATE")) {
            damaged();
            return;
        }

        double cell[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
        if (m_periodic3D || m_periodic2D) {
            if (!lines.Next()) {
                cutShort();
                return;
            }
            TokenizeLine(lines.Line(), tokens);
            const std::size_t needed = m_periodic3D ? 7 : 4;
            if (tokens.size() < needed || tokens[0] != "PBC") {
                damaged();
                return;
            }
            for (std::size_t k = 1; k < needed; ++k) {
                cell[k - 1] = ParseLeadingDecimal(tokens[k]);
            }
            if (!m_periodic3D) {
                // a, b and the surface angle, kept in the alpha position.
                cell[3] = cell[2];
                cell[2] = 0.0;
            }
        }

        positions.clear();
        std::size_t atoms = 0;
        bool more = true; // whether a line follows the frame
        for (;;) {
            if (!lines.Next()) {
                if (!IsWholeAtEnd(atoms, lines.EndedInsideLine())) {
                    cutShort();
                    return;
                }
                more = false;
                break;
            }
            const AtomLine kind = KindOfAtomLine(lines.Line());
            if (kind == AtomLine::Blank) {
                break;
            }
            if (kind == AtomLine::End) {
                if (!lines.Next()) {
                    cutShort();
                    return;
                }
                TokenizeLine(lines.Line(), tokens);
                if (tokens.size() != 1 || tokens[0] != "end") {
                    damaged();
                    return;
                }
                break;
            }
            ++atoms;
            if (!readAtoms) {
                continue;
            }
            TokenizeLine(lines.Line(), tokens);
            if (tokens.size() < 9) {
                throw KelvResult(E_UNEXPECTED, "ZELM output not readable.");
            }
            positions.emplace_back(Coordinate(tokens[1]), Coordinate(tokens[2]), Coordinate(tokens[3]));
        }
        // A frame of other than the run's atom count ends the frames: its
        // atoms cannot be put in the places of the others'.
        if (atoms == 0 || (WholeFrameAtoms() != 0 && atoms != WholeFrameAtoms())) {
            if (more) {
                damaged();
            } else {
                cutShort();
            }
            return;
        }
        if (m_wholeFrames == 0) {
            m_firstFrameAtoms = atoms;
        }
        if (readAtoms) {
            ApplyMap(mapped, positions, m_map);
            const CLatticeInfo lattice(cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]);
            m_frames.emplace_back(lattice, time, energy, mapped);
        }
        ++m_wholeFrames;
        m_lastFrameText = {textStart, lines.Offset()};
        if (!more) {
            return;
        }
    }
}
