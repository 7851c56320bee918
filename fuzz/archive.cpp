// The archive reader, with the identity map and with a map in force; and the
// reading that only places the last whole frame (the last-frame copy's),
// which must judge the frames as the full reading does, also over a stream
// whose buffer holds a few characters at a time.
#include "FuzzFiles.h"

#include "readers/ArchiveFileReader.h"

#include <algorithm>
#include <istream>
#include <streambuf>

namespace {

// A stream buffer over text that takes in at most `piece` characters at a
// time, so that lines often lie across its refills.
class PieceBuffer : public std::streambuf
{
public:
    PieceBuffer(const std::string& text, std::size_t piece) : m_text(text), m_piece(piece) {}

protected:
    int_type underflow() override
    {
        if (m_at >= m_text.size())
            return traits_type::eof();
        const std::size_t n = std::min(m_piece, m_text.size() - m_at);
        std::copy_n(m_text.data() + m_at, n, m_held);
        m_at += n;
        setg(m_held, m_held, m_held + n);
        return traits_type::to_int_type(m_held[0]);
    }

private:
    const std::string& m_text;
    std::size_t m_piece;
    std::size_t m_at = 0;
    char m_held[2048] = {};
};

// What a reading made of the archive: its failure, or how its frames end
// and where the last whole one lies.
template <class F>
std::string Outcome(F&& read)
{
    try {
        const CArchiveFileReader reader = read();
        const CArchiveFileReader::TextExtent& last = reader.GetLastFrameText();
        return std::to_string(reader.GetWholeFrameCount()) + " frames, cut " +
               std::to_string(reader.IsLastFrameCut()) + ", damaged " + std::to_string(reader.DamagedFrame()) +
               ", last " + std::to_string(last.begin) + "-" + std::to_string(last.end);
    } catch (const KelvResult& failure) {
        return "failed: " + failure.GetMessage();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".arc"});
    QzFuzz::Guard([&] { CArchiveFileReader reader(base + ".arc", CAtomicIndexMap::Default); });
    CAtomicIndexMap map;
    map.SetSize(2);
    map.MakeDoc2ZelmEntry(1, 2);
    map.MakeDoc2ZelmEntry(2, 1);
    QzFuzz::Guard([&] { CArchiveFileReader reader(base + ".arc", map); });

    using Keep = CArchiveFileReader::Keep;
    const std::string all = Outcome([&] { return CArchiveFileReader(base + ".arc", CAtomicIndexMap::Default); });
    if (Outcome([&] { return CArchiveFileReader(base + ".arc", CAtomicIndexMap::Default, Keep::LastFrameText); }) !=
        all)
        QzFuzz::Finding("the reading of the last frame's place judges the frames otherwise");
    const std::string text = QzFuzz::ReadWhole(base + ".arc");
    PieceBuffer pieces(text, 1 + size % 193);
    std::istream stream(&pieces);
    if (Outcome([&] { return CArchiveFileReader(stream, CAtomicIndexMap::Default, Keep::LastFrameText); }) != all)
        QzFuzz::Finding("the reading of the last frame's place over a stream read in pieces judges the frames otherwise");
    return 0;
}
