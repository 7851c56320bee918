#pragma once
// Quoting file content and program output in messages. A message that
// repeats what a file or an engine wrote shows at most a short excerpt of
// it, with control characters escaped, so that a huge line cannot flood a
// message and terminal escape codes in a file cannot reach the user's
// terminal.
//
// What a terminal is given as it stands is decided in one place,
// CharacterAt: well-formed UTF-8 of printable characters. Not printable,
// and so escaped byte by byte as "\xNN":
// - the controls: C0 (U+0000 to U+001F), DEL (U+007F), C1 (U+0080 to
//   U+009F);
// - Unicode's format characters (general category Cf), which reorder or
//   hide text: the bidirectional marks, embeddings, overrides and isolates
//   (U+200E, U+200F, U+061C, U+202A to U+202E, U+2066 to U+2069), the
//   zero-width characters and invisible operators (U+200B to U+200D,
//   U+2060 to U+2064, U+206A to U+206F, U+FEFF), the interlinear
//   annotation marks (U+FFF9 to U+FFFB), the soft hyphen U+00AD, the
//   Arabic, Syriac, Mongolian and other prepended marks (U+0600 to U+0605,
//   U+06DD, U+070F, U+0890, U+0891, U+08E2, U+180E, U+110BD, U+110CD),
//   the hieroglyph, shorthand and musical format controls (U+13430 to
//   U+1343F, U+1BCA0 to U+1BCA3, U+1D173 to U+1D17A) and the tags
//   (U+E0001, U+E0020 to U+E007F);
// - the line and paragraph separators U+2028 and U+2029, which break a
//   line where none is;
// - each byte that is no part of a well-formed UTF-8 character.

#include <cstddef>
#include <string>

namespace MessageText {

inline constexpr std::size_t ExcerptLength = 200;

// The character that starts at byte `i` of `text` (of `size` bytes).
struct Character {
    std::size_t length;  // its bytes: 1 to 4; 1 for a byte that starts no well-formed character
    bool printable;      // shown as it stands (see above), else escaped byte by byte
    bool cut;            // a well-formed start that the end of the text cuts short (then not printable)
};
Character CharacterAt(const char* text, std::size_t size, std::size_t i);

// Appends `text` to `out` as a terminal may be given it: printable
// characters, line breaks and tabs as they stand, every byte of any other
// as "\xNN". Returns how many bytes of `text` it took: all of them when
// `whole`, else it leaves a well-formed character that the end of `text`
// cuts short, whose rest may follow.
std::size_t AppendPrintable(std::string& out, const char* text, std::size_t size, bool whole);

// `text` as a message may show it, in at most `limit` bytes: printable
// characters as they stand, each byte of any other (a line break and a tab
// too) as "\xNN", a backslash as "\\". The excerpt never ends inside a
// character or an escape; when the text is longer, "... (N more
// characters)" follows, N counting the bytes of `text` left out.
std::string Excerpt(const std::string& text, std::size_t limit = ExcerptLength);
// The same for `text` that is the start of a longer text of `wholeLength`
// bytes (the rest counts among the bytes left out, and so does a character
// that the end of `text` cuts in two).
std::string Excerpt(const std::string& text, std::size_t limit, std::size_t wholeLength);

// A word (a path, a name) as advice that prints a command writes it, so that
// the command pasted into a POSIX shell gets the word and nothing else: as
// it stands when it is made of ASCII letters, digits and "_-./+,:@%=" only
// (and not empty), else between single quotes, a single quote inside
// written '\''. Text from a project never becomes more than one word of
// such a command, and nothing in it is run.
std::string ShellQuoted(const std::string& word);

}  // namespace MessageText
