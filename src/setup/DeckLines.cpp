#include "setup/DeckLines.h"

#include "kelv/kelv.h"
#include "qorqm/MessageText.h"
#include "qorqm/QMFileUtilities.h"

#include <cstdio>
#include <cstdlib>

namespace ZelmDeckLines {

namespace {

// The bytes at `i` that start a character no deck line may hold; 0 when the
// character there may stand.
std::size_t ForbiddenAt(const std::string& text, std::size_t i, bool quoted)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f || (quoted && c == '"'))
        return 1;
    const auto next = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    if (c == 0xc2 && next(1) >= 0x80 && next(1) <= 0x9f)
        return 2; // C1, NEL among them
    if (c == 0xe2 && next(1) == 0x80 && (next(2) == 0xa8 || next(2) == 0xa9))
        return 3; // line and paragraph separators
    return 0;
}

} // namespace

const std::string& DeckText(const std::string& text, const char* what, bool quoted)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t bytes = ForbiddenAt(text, i, quoted);
        if (bytes == 0)
            continue;
        std::string shown;
        for (std::size_t k = 0; k < bytes; ++k) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(text[i + k]));
            shown += hex;
        }
        const bool quote = quoted && text[i] == '"';
        throw KelvResult(E_INVALIDARG, std::string("The ") + what + " \"" + MessageText::Excerpt(text) +
                                           "\" cannot be written into a deck: it holds " +
                                           (quote ? "a double quote" : "a line break or control character (" + shown + ")") +
                                           ", which would end the deck's " + (quote ? "quoted name" : "line") +
                                           " there. Rename it.");
    }
    return text;
}

std::string StripSlashedTokens(const std::string& symbol)
{
    if (symbol.find('/') == std::string::npos)
        return symbol;
    std::string result;
    for (const char c : symbol) {
        if (c == '/') {
            const std::string::size_type blank = result.rfind(' ');
            result.erase(blank == std::string::npos ? 0 : blank + 1);
            continue;
        }
        result += c;
    }
    return result;
}

std::optional<std::string> SpaceGroupLine(long representation, const std::string& longName, long number)
{
    switch (representation) {
    case 0:
    case 2:
        return longName;
    case 4:
        return StripSlashedTokens(longName);
    case 5:
    case 6:
    case 7:
    case 8:
        return std::to_string(number);
    default:
        return std::nullopt;
    }
}

long OriginChoice(const std::string& qualifier)
{
    if (qualifier.find("Origin") == std::string::npos || qualifier.size() < 8)
        return 0;
    return std::atol(qualifier.c_str() + 7);
}

void WriteSymmetryOperator(std::ostream& deck, const xxTransformMatrix& op)
{
    xxTransformMatrix identity;
    identity.SetIdentity();
    if (Compare(op, identity, 0.001, 0.001))
        return;
    const xxMatrix3x3 rotation(op(1, 1), op(1, 2), op(1, 3), op(2, 1), op(2, 2), op(2, 3), op(3, 1), op(3, 2),
                               op(3, 3));
    const double* stored = rotation.Data();
    deck << "symmetry_operator" << std::endl;
    for (int k = 0; k < 3; ++k) {
        QMFileUtilities::WriteValue(deck, stored[k], 20, 15);
        QMFileUtilities::WriteValue(deck, stored[k + 3], 20, 15);
        QMFileUtilities::WriteValue(deck, stored[k + 6], 20, 15);
        QMFileUtilities::WriteValue(deck, op(k + 1, 4), 20, 15);
        deck << std::endl;
    }
}

std::string CartesianFlags(long mask)
{
    std::string flags = " ";
    for (const long bit : {1L, 2L, 4L})
        flags += (mask & bit) ? "0 " : "1 ";
    return flags;
}

std::string OutputLines(const OutputSettings& s)
{
    if (s.task == 4)
        return "dump " + s.base + ".res\n";
    std::string text;
    if (s.task == 2 || s.task == 3 || s.task == 5) {
        text += "output movie arc " + s.base + "\n";
        if (s.task == 3) {
            text += "mdarchive " + s.base + ".arc\n";
            text += "output trajectory " + s.base + ".trg\n";
            if (s.constantPressureDynamics)
                text += "output pressure " + s.base + ".pre\n";
        }
    } else {
        text += "output arc " + s.base + "\n";
    }
    if (s.phonon) {
        text += "output phonon " + s.base + "\n";
        text += "output frc " + s.base + "\n";
        if (s.optics)
            text += "output osc " + s.base + "\n";
    }
    return text;
}

void SetDeckFormat(std::ostream& deck)
{
    deck.setf(std::ios::fixed | std::ios::left);
    deck.precision(6);
    deck.width(8);
}

std::string TitleBlock(const std::string& jobName)
{
    return "title\nZELM calculation from Matrova for " + DeckText(jobName, "job name") + "\nend\n\n";
}

} // namespace ZelmDeckLines
