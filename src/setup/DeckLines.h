// The texts of single deck lines and blocks that depend on values alone
// (no host objects): the space-group and origin lines, a symmetry operator,
// the output lines, the position tail of an atom and the observable-free
// pieces of the header. CZelmFileWriter reads the values from the host and
// writes these texts into the deck.
#pragma once

#include "dravix/dravix.h"

#include <optional>
#include <ostream>
#include <string>

namespace ZelmDeckLines {

// The one gate of text that comes from a document or a state (a structure's
// name, the job's name, a space-group symbol) on its way into a deck line.
// The engine reads its deck line by line and word by word, so a line break
// in such a text would start lines of the text's own choosing ("end",
// "library ...", "output ..."). Such a text is refused, not quoted: a text
// holding a line break or any other control character (U+0000 to U+001F,
// U+007F, U+0080 to U+009F, the separators U+2028 and U+2029), or, when
// `quoted` (written between double quotes), a double quote, throws
// KelvResult E_INVALIDARG naming `what` and the text (escaped, bounded).
// The text itself comes back.
const std::string& DeckText(const std::string& text, const char* what, bool quoted = false);

// The symbol without its slashed tokens: on meeting a "/" the text so far is
// cut back to just after its last blank (to nothing without a blank) and
// the "/" itself is not copied. "P 1 21/c 1" gives "P 1 c 1"; "P 42/m 2/n
// 2/m" gives "P m n m"; a symbol without "/" comes back unchanged.
std::string StripSlashedTokens(const std::string& symbol);

// The line of the "spacegroup" block for a lattice representation: 0 and 2
// the long name, 4 the long name without slashed tokens, 5 to 8 the
// space-group number; nothing for 1, 3 and any other value.
std::optional<std::string> SpaceGroupLine(long representation, const std::string& longName, long number);

// The number that a space-group qualifier gives for the origin: when the
// qualifier contains "Origin", the number read from its eighth character on
// (0 when it is shorter or holds none there).
long OriginChoice(const std::string& qualifier);

// One "symmetry_operator" block; nothing for the identity (tolerance
// 0.001). Line k holds column k of the rotation and translation k, each
// right-aligned in 20 characters with 15 decimals.
void WriteSymmetryOperator(std::ostream& deck, const xxTransformMatrix& op);

// The fixing flags of a Cartesian atom line from its fixed-axis mask (1 x,
// 2 y, 4 z): " " then "1 " for a free axis and "0 " for a fixed one.
std::string CartesianFlags(long mask);

// What the output lines depend on.
struct OutputSettings
{
    long task = 1;
    std::string base;                 // the job's safe file name
    bool constantPressureDynamics = false;
    bool phonon = false;
    bool optics = false;
};
// The output and dump lines of the trailer.
std::string OutputLines(const OutputSettings& settings);

// More than 100 atoms asks for the spatial property keywords.
inline bool IsLargeStructure(long atomCount)
{
    return atomCount > 100;
}

// The deck's number format: fixed and left added, precision 6, and a width
// of 8 that the next insertion (the keyword text) uses up.
void SetDeckFormat(std::ostream& deck);

// The title block; the job name passes DeckText.
std::string TitleBlock(const std::string& jobName);

} // namespace ZelmDeckLines
