#include "qorqm/TrjFile.h"

#include "com/regularfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "kelv/KelvResult.h"

bool TrjFrame::operator==(const TrjFrame& o) const
{
    // Bitwise equality of the doubles: NaN reads back as the NaN written.
    auto same = [](const double* a, const double* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(double)) == 0; };
    const double mine[10] = {time, timeStep, auxiliaryValue, energySum, energyTerm1, energyTerm2, volumeProduct, cellVolume, volumeFactor, pressure};
    const double theirs[10] = {o.time, o.timeStep, o.auxiliaryValue, o.energySum, o.energyTerm1, o.energyTerm2, o.volumeProduct, o.cellVolume, o.volumeFactor, o.pressure};
    auto sameList = [&](const std::vector<double>& a, const std::vector<double>& b) {
        return a.size() == b.size() && same(a.data(), b.data(), a.size());
    };
    return frame == o.frame && periodicity == o.periodicity && hasCell == o.hasCell && same(mine, theirs, 10) &&
           same(valuesA.data(), o.valuesA.data(), 6) && same(valuesB.data(), o.valuesB.data(), 6) &&
           (!hasCell || same(cell.data(), o.cell.data(), 6)) && sameList(positions, o.positions) &&
           sameList(secondAtomVectors, o.secondAtomVectors) && sameList(thirdAtomVectors, o.thirdAtomVectors);
}

namespace TrjFile {
namespace {

constexpr std::uint32_t FormatVersion = 1;

void PutU32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutI32(std::string& out, std::int32_t v)
{
    PutU32(out, static_cast<std::uint32_t>(v));
}

void PutF64(std::string& out, double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

void PutList(std::string& out, const std::vector<double>& values)
{
    PutU32(out, static_cast<std::uint32_t>(values.size()));
    for (double v : values)
        PutF64(out, v);
}

// A cursor over the file, read a block at a time: nothing is held but the
// block and what the caller takes, and every take is checked against what
// the file's size (as its descriptor gave it when opened) leaves, before
// anything of that size is allocated.
class Input {
public:
    explicit Input(const std::string& path) : m_path(path)
    {
        std::string why;
        m_fd = RegularFile::Open(path, why, RegularFile::Bound::Trajectory);
        if (m_fd < 0)
            throw KelvResult(E_FAIL, "The trajectory file \"" + path + "\" " +
                                         (why == RegularFile::NotThere ? std::string("cannot be opened") : why) + ".");
        struct stat status;
        if (::fstat(m_fd, &status) != 0) {
            ::close(m_fd);
            throw KelvResult(E_FAIL, "The trajectory file \"" + path + "\" cannot be read.");
        }
        m_size = static_cast<std::uint64_t>(status.st_size);
    }
    ~Input() { ::close(m_fd); }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw KelvResult(E_FAIL, "The trajectory file \"" + m_path + "\" " + what);
    }
    std::uint64_t Left() const { return m_size - std::min(m_size, m_at); }
    // True when the file ends here (no byte follows, even one written after
    // it was opened).
    bool AtEnd()
    {
        if (m_next < m_filled)
            return false;
        return Fill() == 0;
    }
    std::string Tag() { return Text(4); }
    std::uint32_t U32()
    {
        unsigned char b[4];
        Take(b, 4);
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(b[i]) << (8 * i);
        return v;
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    double F64()
    {
        unsigned char b[8];
        Take(b, 8);
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= static_cast<std::uint64_t>(b[i]) << (8 * i);
        double v = 0.0;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    std::string Text(std::uint32_t length)
    {
        Need(length);
        std::string text(length, '\0');
        Take(text.data(), length);
        return text;
    }
    // A list of 0 or `expected` values (exactly `expected` when required).
    std::vector<double> List(std::size_t expected, bool required, const char* what)
    {
        const std::uint32_t count = U32();
        if (count != expected && (required || count != 0))
            Fail(std::string("holds ") + std::to_string(count) + " " + what + " values in a frame of " +
                 std::to_string(expected / 3) + " atoms.");
        Need(static_cast<std::uint64_t>(count) * 8);
        std::vector<double> values(count);
        for (double& v : values)
            v = F64();
        return values;
    }

private:
    void Need(std::uint64_t n) const
    {
        if (n > Left())
            Fail("is cut short.");
    }
    // Reads the next block; the bytes it gave (0 at the end of the file).
    std::size_t Fill()
    {
        m_next = 0;
        m_filled = 0;
        for (;;) {
            const ssize_t got = ::read(m_fd, m_block, sizeof m_block);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                Fail("cannot be read (" + std::string(std::strerror(errno)) + ").");
            m_filled = static_cast<std::size_t>(got);
            return m_filled;
        }
    }
    void Take(void* out, std::size_t n)
    {
        Need(n);
        auto* to = static_cast<char*>(out);
        while (n > 0) {
            if (m_next == m_filled && Fill() == 0)
                Fail("is cut short.");
            const std::size_t some = std::min(n, m_filled - m_next);
            std::memcpy(to, m_block + m_next, some);
            to += some;
            m_next += some;
            m_at += some;
            n -= some;
        }
    }

    std::string m_path;
    int m_fd = -1;
    std::uint64_t m_size = 0; // as the descriptor gave it when opened
    std::uint64_t m_at = 0;   // bytes taken
    char m_block[64 * 1024];
    std::size_t m_next = 0;   // next byte of the block
    std::size_t m_filled = 0; // bytes in the block
};

}  // namespace

std::string EncodeHeader(const TrjContents& header)
{
    std::string out = "QTRJ";
    PutU32(out, FormatVersion);
    PutI32(out, header.atomCount);
    PutI32(out, header.optionA);
    PutI32(out, header.optionB);
    PutU32(out, static_cast<std::uint32_t>(header.name.size()));
    out += header.name;
    return out;
}

std::string EncodeFrame(const TrjFrame& f)
{
    std::string out = "FRM ";
    out.reserve(out.size() + 8 * (40 + f.positions.size() + f.secondAtomVectors.size() + f.thirdAtomVectors.size()));
    PutI32(out, f.frame);
    PutI32(out, f.periodicity);
    for (double v : {f.time, f.timeStep, f.auxiliaryValue, f.energySum, f.energyTerm1, f.energyTerm2,
                     f.volumeProduct, f.cellVolume, f.volumeFactor, f.pressure})
        PutF64(out, v);
    for (double v : f.valuesA)
        PutF64(out, v);
    for (double v : f.valuesB)
        PutF64(out, v);
    if (f.hasCell) {
        for (double v : f.cell)
            PutF64(out, v);
    }
    PutList(out, f.positions);
    PutList(out, f.secondAtomVectors);
    PutList(out, f.thirdAtomVectors);
    return out;
}

std::string EncodeEnd(std::uint32_t frameCount)
{
    std::string out = "END ";
    PutU32(out, frameCount);
    return out;
}

TrjContents Read(const std::string& path)
{
    Input in(path);

    if (in.Left() < 4 || in.Tag() != "QTRJ")
        in.Fail("is not a trajectory file.");
    if (const std::uint32_t version = in.U32(); version != FormatVersion)
        in.Fail("has the unknown format version " + std::to_string(version) + ".");
    TrjContents contents;
    contents.atomCount = in.I32();
    contents.optionA = in.I32();
    contents.optionB = in.I32();
    contents.name = in.Text(in.U32());
    if (contents.atomCount < 0)
        in.Fail("gives a negative atom count.");
    const std::size_t values = 3 * static_cast<std::size_t>(contents.atomCount);
    for (;;) {
        const std::string tag = in.Tag();
        if (tag == "END ")
            break;
        if (tag != "FRM ")
            in.Fail("is damaged: no frame where one should begin.");
        TrjFrame f;
        f.frame = in.I32();
        f.periodicity = in.I32();
        for (double* v : {&f.time, &f.timeStep, &f.auxiliaryValue, &f.energySum, &f.energyTerm1, &f.energyTerm2,
                          &f.volumeProduct, &f.cellVolume, &f.volumeFactor, &f.pressure})
            *v = in.F64();
        for (double& v : f.valuesA)
            v = in.F64();
        for (double& v : f.valuesB)
            v = in.F64();
        f.hasCell = f.periodicity == 3 || f.periodicity == 2;
        if (f.hasCell) {
            for (double& v : f.cell)
                v = in.F64();
        }
        f.positions = in.List(values, true, "position");
        f.secondAtomVectors = in.List(values, false, "second vector");
        f.thirdAtomVectors = in.List(values, false, "third vector");
        contents.frames.push_back(std::move(f));
    }
    if (in.U32() != contents.frames.size())
        in.Fail("is damaged: its frame count does not match its frames.");
    if (!in.AtEnd())
        in.Fail("is damaged: data follows its end.");
    return contents;
}

}  // namespace TrjFile
