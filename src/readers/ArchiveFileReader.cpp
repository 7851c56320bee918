#include "readers/ArchiveFileReader.h"

#include "kelv/kelv.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/QMPhysicalConstants.h"

#include <cstring>
#include <array>
#include <cstdint>
#include <fstream>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// An atom line's coordinates: tokens 1 to 3 of at least 9. Fewer words
// fail "ZELM output not readable.", a coordinate that is no number fails as
// Coordinate fails on it.
void ReadAtomLine(std::string_view line, LineTokens& tokens, std::vector<xxPoint3d>& positions)
{
    TokenizeLine(line, tokens);
    if (tokens.size() < 9) {
        throw KelvResult(E_UNEXPECTED, "ZELM output not readable.");
    }
    positions.emplace_back(Coordinate(tokens[1]), Coordinate(tokens[2]), Coordinate(tokens[3]));
}

// The atom line's characters as bit masks, bit i for character i: blanks
// over the whole line (at most 128 characters), and over its first 64 the
// characters of plain numbers, points and signs.
struct LineMasks {
    std::uint64_t blank[2] = {0, 0};
    std::uint64_t number = 0, point = 0, sign = 0;
};

void Classify(const char* text, std::size_t n, LineMasks& masks)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(' ');
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const auto bits = [](__m128i mask) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
        };
        masks.blank[i >> 6] |= bits(_mm_cmpeq_epi8(bytes, blank)) << (i & 63);
        if (i < 64) {
            const __m128i point = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'));
            const __m128i sign =
                _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('+')));
            const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                                _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
            masks.point |= bits(point) << i;
            masks.sign |= bits(sign) << i;
            masks.number |= bits(_mm_or_si128(_mm_or_si128(point, sign), digit)) << i;
        }
    }
#endif
    for (; i < n; ++i) {
        const char c = text[i];
        masks.blank[i >> 6] |= static_cast<std::uint64_t>(c == ' ') << (i & 63);
        if (i < 64) {
            const bool point = c == '.', sign = c == '-' || c == '+';
            masks.point |= static_cast<std::uint64_t>(point) << i;
            masks.sign |= static_cast<std::uint64_t>(sign) << i;
            masks.number |= static_cast<std::uint64_t>(point || sign || (c >= '0' && c <= '9')) << i;
        }
    }
}

int BitCount(std::uint64_t x)
{
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0full;
    return static_cast<int>((x * 0x0101010101010101ull) >> 56);
}

// Whether an atom line surely passes ReadAtomLine: at least 9 words, and
// its coordinates (words 1 to 3, within its first 64 characters) plain
// numbers: a sign only first, then a digit, digits and at most one point,
// at most 30 characters. The words are found from the masks, without a
// pass over each.
bool IsPlainAtomLine(std::string_view line)
{
    const std::size_t n = line.size();
    if (n == 0 || n > 128)
        return false;
    LineMasks masks;
    Classify(line.data(), n, masks);
    const std::uint64_t low = ~masks.blank[0] & (n >= 64 ? ~0ull : (1ull << n) - 1);
    const std::uint64_t high = n <= 64 ? 0 : ~masks.blank[1] & (n == 128 ? ~0ull : (1ull << (n - 64)) - 1);
    const std::uint64_t lowStarts = low & ~(low << 1);
    const std::uint64_t highStarts = high & ~(high << 1 | low >> 63);
    if (BitCount(lowStarts) + BitCount(highStarts) < 9)
        return false;
    // The last character of each word in the first 64 (one that runs on
    // past them ends none).
    const std::uint64_t lasts = low & ~(low >> 1 | (high & 1) << 63);
    std::uint64_t starts = lowStarts & (lowStarts - 1);  // word 0, the label, may be anything
    std::uint64_t ends = lasts & (lasts - 1);
    for (int word = 1; word <= 3; ++word) {
        if (starts == 0 || ends == 0)
            return false;
        const int first = __builtin_ctzll(starts);
        const int last = __builtin_ctzll(ends);
        starts &= starts - 1;
        ends &= ends - 1;
        if (last - first >= 30)
            return false;
        const std::uint64_t span = ((2ull << (last - first)) - 1) << first;
        const std::uint64_t sign = masks.sign & span;
        const std::uint64_t point = masks.point & span;
        const int body = sign != 0 ? first + 1 : first;
        const std::uint64_t bodyBit = 1ull << body;
        if ((span & ~masks.number) != 0 || (sign & ~(1ull << first)) != 0 || (point & (point - 1)) != 0 ||
            body > last || (bodyBit & (masks.point | masks.sign)) != 0)
            return false;
    }
    return true;
}

// The atom lines that surely pass, remembered by their shape (each digit
// written as "0"): a line of the same shape as one of them has its words
// where that one has them, of the same characters but for the digits, so it
// surely passes too. The lines of a frame mostly keep the shapes of the
// lines before them, which spares looking at their words.
class AtomLineShapes
{
public:
    // Whether the line has the shape of an atom line kept before: it is an
    // atom line (its first word is one of those), which surely passes.
    bool Known(std::string_view line)
    {
        const std::size_t n = line.size();
        if (n == 0 || n > Longest)
            return false;
        if (HasShape(line.data(), n, m_last))
            return true;
        for (std::size_t k = 0; k < Kept; ++k)
            if (k != m_last && HasShape(line.data(), n, k)) {
                m_last = k;
                return true;
            }
        return false;
    }

    // The length of the line that `held` begins with when it has the shape
    // of an atom line kept before and its line feed follows in `held`; 0
    // otherwise. Such a line holds no NUL character, and ends in none of
    // the carriage returns that a reading drops, so it is read as it stands.
    std::size_t KnownAt(std::string_view held)
    {
        const auto fits = [&](std::size_t k) {
            const std::size_t n = m_sizes[k];
            return n != 0 && n < held.size() && held[n] == '\n' && held[n - 1] != '\r' &&
                   HasShape(held.data(), n, k);
        };
        if (fits(m_last))
            return m_sizes[m_last];
        for (std::size_t k = 0; k < Kept; ++k)
            if (k != m_last && fits(k)) {
                m_last = k;
                return m_sizes[k];
            }
        return 0;
    }

    // Whether an atom line surely passes ReadAtomLine; its shape is kept
    // when it does.
    bool Passes(std::string_view line)
    {
        if (Known(line))
            return true;
        const std::size_t n = line.size();
        if (n == 0 || n > Longest || !IsPlainAtomLine(line))
            return false;
        m_last = m_next;
        m_next = (m_next + 1) % Kept;
        for (std::size_t i = 0; i < n; ++i)
            m_shapes[m_last][i] = line[i] >= '0' && line[i] <= '9' ? '0' : line[i];
        m_sizes[m_last] = n;
        return true;
    }

private:
    static constexpr std::size_t Longest = 128;
    static constexpr std::size_t Kept = 4;

    // Whether the line has kept shape `k`.
    bool HasShape(const char* text, std::size_t n, std::size_t k) const
    {
        if (m_sizes[k] != n)
            return false;
        const char* kept = m_shapes[k];
#if defined(__SSE2__)
        if (n >= 16) {
            const auto same = [&](std::size_t i) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
                const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(_mm_sub_epi8(bytes, _mm_set1_epi8('0')),
                                                                  _mm_set1_epi8(9)),
                                                     _mm_sub_epi8(bytes, _mm_set1_epi8('0')));
                const __m128i shape = _mm_or_si128(_mm_and_si128(digit, _mm_set1_epi8('0')),
                                                   _mm_andnot_si128(digit, bytes));
                return _mm_cmpeq_epi8(shape, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kept + i)));
            };
            // The last block may overlap the one before it.
            __m128i equal = same(n - 16);
            for (std::size_t i = 0; i + 16 < n; i += 16)
                equal = _mm_and_si128(equal, same(i));
            return _mm_movemask_epi8(equal) == 0xffff;
        }
#endif
        for (std::size_t i = 0; i < n; ++i)
            if ((text[i] >= '0' && text[i] <= '9' ? '0' : text[i]) != kept[i])
                return false;
        return true;
    }

    char m_shapes[Kept][Longest] = {};
    std::size_t m_sizes[Kept] = {};
    std::size_t m_last = 0;
    std::size_t m_next = 0;
};

// Checks an atom line of a frame whose atoms are not kept by the same rule
// as ReadAtomLine, failing as it fails: a line that surely passes is only
// looked at, anything else is read in full.
void CheckAtomLine(std::string_view line, AtomLineShapes& shapes, LineTokens& tokens,
                   std::vector<xxPoint3d>& scratch)
{
    if (shapes.Passes(line))
        return;
    scratch.clear();
    ReadAtomLine(line, tokens, scratch);
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

AtomLine KindOfAtomLine(std::string_view line)
{
    // Words are parted by spaces, as TokenizeLine parts them.
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string_view::npos)
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
    AtomLineShapes shapes;

    // Header: "!" and the word of the program that wrote the archive, which
    // differs between writers and engine versions, then "archive" and the
    // version, "2" or "3" (both read the same way): "!KORVEX archive 2".
    if (!lines.NextInPlace()) {
        return;
    }
    TokenizeLine(lines.View(), tokens);
    if (tokens.size() != 3 || tokens[0].size() < 2 || tokens[0][0] != '!' || tokens[1] != "archive" ||
        (tokens[2] != "2" && tokens[2] != "3")) {
        return;
    }
    // Periodicity: "PBC=ON", "PBC=2D" or "PBC=OFF".
    if (!lines.NextInPlace()) {
        return;
    }
    TokenizeLine(lines.View(), tokens);
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
        if (!lines.NextInPlace()) {
            m_lastFrameCut = lines.EndedInsideLine();
            return;
        }
        TokenizeLine(lines.View(), tokens);
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
        if (!lines.NextInPlace()) {
            cutShort();
            return;
        }
        TokenizeLine(lines.View(), tokens);
        if (tokens.empty() || !Contains(tokens[0], "!DATE")) {
            damaged();
            return;
        }

        double cell[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
        if (m_periodic3D || m_periodic2D) {
            if (!lines.NextInPlace()) {
                cutShort();
                return;
            }
            TokenizeLine(lines.View(), tokens);
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
            // An atom line of a shape seen before needs no other look, nor
            // its line feed a search.
            if (!readAtoms) {
                if (const std::size_t length = shapes.KnownAt(lines.Held())) {
                    lines.TakeHeld(length);
                    ++atoms;
                    continue;
                }
            }
            if (!lines.NextInPlace()) {
                if (!IsWholeAtEnd(atoms, lines.EndedInsideLine())) {
                    cutShort();
                    return;
                }
                more = false;
                break;
            }
            if (!readAtoms && shapes.Known(lines.View())) {
                ++atoms;
                continue;
            }
            const AtomLine kind = KindOfAtomLine(lines.View());
            if (kind == AtomLine::Blank) {
                break;
            }
            if (kind == AtomLine::End) {
                if (!lines.NextInPlace()) {
                    cutShort();
                    return;
                }
                TokenizeLine(lines.View(), tokens);
                if (tokens.size() != 1 || tokens[0] != "end") {
                    damaged();
                    return;
                }
                break;
            }
            ++atoms;
            // The atom lines of every frame are read by one rule, kept or
            // not: a line that one reading fails on fails the other too.
            if (readAtoms) {
                ReadAtomLine(lines.View(), tokens, positions);
            } else {
                CheckAtomLine(lines.View(), shapes, tokens, positions);
            }
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
