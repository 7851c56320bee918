#include "setup/DeckLines.h"

#include "qorqm/QMFileUtilities.h"

#include <cstdlib>

namespace ZelmDeckLines {

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
    return "title\nZELM calculation from Matrova for " + jobName + "\nend\n\n";
}

} // namespace ZelmDeckLines
