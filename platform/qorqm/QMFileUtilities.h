#pragma once
// Small helpers for reading and writing the engine's text files.

#include <ostream>
#include <string>
#include <vector>

namespace QMFileUtilities {

// The words of line: the pieces separated by blanks, tabs, carriage returns,
// line feeds, vertical tabs or form feeds. No piece is empty.
std::vector<std::string> ExtractTokens(const std::string& line);

// Writes value in fixed notation with `decimals` digits after the point,
// right-aligned in a field of `width` characters, so that consecutive values
// form columns. A value whose text fills the field or overflows it gets one
// leading blank, so that two values never run together. The stream's own
// format settings (flags, precision, width, fill) are left as they were.
void WriteValue(std::ostream& stream, double value, int width, int decimals);

}  // namespace QMFileUtilities
