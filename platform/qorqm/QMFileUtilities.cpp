#include "qorqm/QMFileUtilities.h"

#include "qorqm/ParseUtilities.h"

#include <sstream>

namespace QMFileUtilities {

std::vector<std::string> ExtractTokens(const std::string& line) {
    std::vector<std::string> tokens;
    ParseUtilities::Tokenize(line, tokens, " \t\r\n\v\f");
    return tokens;
}

void WriteValue(std::ostream& stream, double value, int width, int decimals) {
    std::ostringstream text;
    text.setf(std::ios::fixed, std::ios::floatfield);
    text.precision(decimals < 0 ? 0 : decimals);
    text << value;
    const std::string digits = text.str();

    std::string field;
    const std::size_t wanted = width < 0 ? 0 : static_cast<std::size_t>(width);
    if (digits.size() < wanted) {
        field.assign(wanted - digits.size(), ' ');
    } else {
        field = " ";
    }
    field += digits;
    // Written as one unformatted block: the caller's width, fill and
    // adjustment do not touch it and stay as they were.
    stream.write(field.data(), static_cast<std::streamsize>(field.size()));
}

}  // namespace QMFileUtilities
