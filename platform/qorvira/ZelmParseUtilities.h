// Line helpers for the engine's text files (forcefield libraries, dumps,
// decks and notes).
//
// Every line reader here strips one trailing carriage return, so files
// written with CR LF line ends read like files written with LF alone, and a
// last line without a line break is returned like any other line.
#pragma once

#include <cstddef>
#include <istream>
#include <list>
#include <string>
#include <string_view>

namespace ZelmParseUtilities {

// The longest line, in characters without its line break, that the module
// hands to the engine. The engine's readers take at most this many
// characters of a line (the same limit the module's own output readers
// use), so anything beyond it would be ignored by the engine anyway. Every
// line the module writes itself is far shorter.
std::size_t ZelmLineLength();

// Reads the next line that holds anything but blanks, tabs and a carriage
// return into `line` (without its line break and trailing carriage return).
// Returns false, leaving `line` empty, when the input ends first.
bool GetNonEmptyLine(std::istream& stream, std::string& line);

// The next raw line without its line break and trailing carriage return;
// the empty string at the end of input.
std::string GetLine(std::istream& stream);

// GetLine, lower-cased (ASCII letters only).
std::string GetLowerCaseLine(std::istream& stream);

// Lower-cases the ASCII letters of `text` in place (bytes above 127, such as
// the Latin-1 "\xC5", are left alone) and returns it.
std::string& MakeStringLowerCase(std::string& text);

// A copy of `text` in which every line is cut to ZelmLineLength()
// characters. The line breaks of the text (LF or CR LF, also inside a text
// of several lines) are kept. A line is cut at the last blank at or before
// the limit, so no word or number is split; a line with no blank there is
// cut at the limit itself, moved back to the start of a UTF-8 character
// that the limit would split.
std::string ChopToZelmLength(const std::string& text);

// The word of a line (no line break in it) that cutting it to
// ZelmLineLength() drops or splits: the word that stands across the limit,
// else the first word after it. Empty when the line fits, or only blanks
// stand beyond the limit.
std::string_view CutWord(std::string_view line);

// Reads a number of a library or a dump: `word` must be one decimal number
// and nothing else (an optional sign, digits with an optional decimal point,
// an optional exponent), finite as a double. "0x10", "nan", "inf", "1e999"
// and "12abc" are none. False leaves `value` unchanged.
bool ReadDecimal(const std::string& word, double& value);

// A line of a forcefield library as the library writer writes it back: the
// carriage returns that end it dropped, then cut as ChopToZelmLength cuts
// it. The library readers judge and read every line from this text, so a
// line longer than the engine's line length reads the same before and after
// a save (a word that stands beyond the cut is not read).
std::string& AsLibraryLine(std::string& line);

// True when the line's first character that is not a blank or tab is '#'.
bool IsCommentLine(const std::string& line);

// True when the line holds nothing but blanks, tabs and carriage returns.
bool IsBlankLine(const std::string& line);

// Reads lines until one that is not a comment line holds `token` as one of
// its blank-separated words (compared without regard to ASCII case); that
// line goes to `line` and the answer is true. Every line read before it is
// appended to `passedOver`. False when the input ends first (all lines read
// were appended).
bool FindNonCommentLineContainingToken(std::istream& stream, const std::string& token,
                                       std::string& line, std::list<std::string>& passedOver);

}  // namespace ZelmParseUtilities
