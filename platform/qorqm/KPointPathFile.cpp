#include "qorqm/KPointPathFile.h"

#include "com/regularfile.h"

#include "qorqm/PathUtilities.h"

#include "hostapi/documents.h"
#include "kelv/KelvBSTR.h"
#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace {

const char* const BlockStart = "KPOINT_PATH";
const char* const BlockEnd = "END_KPOINT_PATH";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

// A label on one line: control characters become blanks, and the label is
// trimmed, as the reader will see it.
std::string LabelForLine(const std::string& label) {
    std::string result = label;
    for (char& c : result) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = ' ';
        }
    }
    return Trimmed(result);
}

}  // namespace

namespace QMKPointFileUtilities {

void WriteKPointPathBlock(std::ostream& stream, IQoDispersionPath* path) {
    Kelv::CheckNullDereference(path);
    const KelvComPtr<IQoDispersionPath> pathPtr(path);
    const KelvComPtr<IQoDispersionPathPointKinds> kinds = pathPtr.QueryInterface<IQoDispersionPathPointKinds>();

    LONG count = 0;
    KelvResult::Check(path->get_PointCount(&count));
    if (count < 0) {
        throw KelvResult(E_UNEXPECTED, "The dispersion path reports a negative number of points.");
    }

    std::ostringstream block;
    block << "# k-point path: number, fractional reciprocal coordinates, kind, label\n"
          << "# kinds: 1 inside a segment, 2 segment start, 3 segment end, 4 joint\n"
          << BlockStart << ' ' << count << '\n';
    for (LONG i = 0; i < count; ++i) {
        KelvComPtr<ISDPoint3d> point;
        KelvResult::Check(path->GetPoint(i, point.Receive()));
        double x = 0.0;
        double y = 0.0;
        double z = 0.0;
        KelvResult::Check(point->GetXYZ(&x, &y, &z));
        LONG kind = 0;
        KelvResult::Check(kinds->GetPointKind(i, &kind));
        KelvBSTR label;
        KelvResult::Check(path->GetPointLabel(i, label.Receive()));

        char numbers[128];
        std::snprintf(numbers, sizeof numbers, "%6ld %16.10f %16.10f %16.10f %2ld", static_cast<long>(i + 1), x, y,
                      z, static_cast<long>(kind));
        block << numbers;
        const std::string text = LabelForLine(label.ToTString());
        if (!text.empty()) {
            block << ' ' << text;
        }
        block << '\n';
    }
    block << BlockEnd << '\n';

    const std::string whole = block.str();
    stream.write(whole.data(), static_cast<std::streamsize>(whole.size()));
}

void WriteKPointPathBlock(std::ostream& stream, const KelvComPtr<IQoDispersionPath>& path) {
    WriteKPointPathBlock(stream, path.get());
}

}  // namespace QMKPointFileUtilities

namespace KPointParseUtilities {

namespace {

// Reads the words of one line, remembering where the last one ended.
class LineScanner {
public:
    explicit LineScanner(const std::string& line) : m_line(line) {}

    bool Next(std::string& word) {
        while (m_pos < m_line.size() && IsBlank(m_line[m_pos])) {
            ++m_pos;
        }
        if (m_pos == m_line.size()) {
            return false;
        }
        const std::size_t start = m_pos;
        while (m_pos < m_line.size() && !IsBlank(m_line[m_pos])) {
            ++m_pos;
        }
        word = m_line.substr(start, m_pos - start);
        return true;
    }
    std::string Rest() const { return Trimmed(m_line.substr(m_pos)); }

private:
    const std::string& m_line;
    std::size_t m_pos = 0;
};

bool ParseLong(const std::string& word, long& value) {
    if (word.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    value = std::strtol(word.c_str(), &end, 10);
    return errno == 0 && end == word.c_str() + word.size();
}

bool ParseDouble(const std::string& word) {
    if (word.empty()) {
        return false;
    }
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    (void)value;
    return end == word.c_str() + word.size();
}

class Reader {
public:
    explicit Reader(std::string file) : m_file(std::move(file)), m_in(PathUtilities::ToNative(m_file)) {
        if (!m_in.IsOpen()) {
            throw KelvResult(E_UNEXPECTED, m_in.Failure("Unable to open k-point path file '" + m_file + "'."));
        }
    }

    // The next line that is neither empty nor a comment; false at the end.
    bool NextContentLine(std::string& line) {
        std::string raw;
        while (std::getline(m_in, raw)) {
            ++m_lineNumber;
            line = Trimmed(raw);
            if (!line.empty() && line[0] != '#') {
                return true;
            }
        }
        if (m_in.bad()) {
            Fail("the file could not be read");
        }
        return false;
    }

    [[noreturn]] void Fail(const std::string& reason) const {
        std::string message = "Invalid k-point path file '" + m_file + "': " + reason;
        if (m_lineNumber > 0) {
            message += " (line " + std::to_string(m_lineNumber) + ")";
        }
        throw KelvResult(E_UNEXPECTED, message + ".");
    }

private:
    std::string m_file;
    RegularFile::InputFile m_in;
    long m_lineNumber = 0;
};

}  // namespace

void ReadPathInfo(const std::string& path, std::vector<LONG>& numbers, std::vector<std::string>& labels,
                  std::vector<SegmentBoundaryTypeEnum>& types) {
    numbers.clear();
    labels.clear();
    types.clear();

    Reader reader(PathUtilities::ExtensionReplaced(path, ".kptaux"));
    std::vector<LONG> readNumbers;
    std::vector<std::string> readLabels;
    std::vector<SegmentBoundaryTypeEnum> readTypes;

    std::string line;
    std::string word;
    long count = -1;
    while (count < 0) {
        if (!reader.NextContentLine(line)) {
            reader.Fail("no " + std::string(BlockStart) + " line");
        }
        LineScanner scanner(line);
        if (scanner.Next(word) && word == BlockStart) {
            std::string number;
            if (!scanner.Next(number) || !ParseLong(number, count) || count < 0 || !scanner.Rest().empty()) {
                reader.Fail("the point count is missing or invalid");
            }
        }
    }

    for (long i = 0; i < count; ++i) {
        if (!reader.NextContentLine(line)) {
            reader.Fail("the file ends after " + std::to_string(i) + " of " + std::to_string(count) + " points");
        }
        if (line == BlockEnd) {
            reader.Fail("only " + std::to_string(i) + " of " + std::to_string(count) + " points are listed");
        }
        LineScanner scanner(line);
        std::string fields[5];
        long number = 0;
        long kind = 0;
        bool ok = true;
        for (std::string& field : fields) {
            ok = ok && scanner.Next(field);
        }
        ok = ok && ParseLong(fields[0], number) && number >= INT32_MIN && number <= INT32_MAX;
        ok = ok && ParseDouble(fields[1]) && ParseDouble(fields[2]) && ParseDouble(fields[3]);
        ok = ok && ParseLong(fields[4], kind);
        if (!ok) {
            reader.Fail("a point line does not hold a number, three coordinates and a kind");
        }
        if (kind < SegmentBoundaryInside || kind > SegmentBoundaryJoint) {
            reader.Fail("the point kind " + std::to_string(kind) + " is not 1, 2, 3 or 4");
        }
        readNumbers.push_back(static_cast<LONG>(number));
        readTypes.push_back(static_cast<SegmentBoundaryTypeEnum>(kind));
        readLabels.push_back(scanner.Rest());
    }

    if (!reader.NextContentLine(line)) {
        reader.Fail("no " + std::string(BlockEnd) + " line");
    }
    if (line != BlockEnd) {
        reader.Fail("more points are listed than the " + std::to_string(count) + " announced");
    }

    numbers.swap(readNumbers);
    labels.swap(readLabels);
    types.swap(readTypes);
}

}  // namespace KPointParseUtilities
