#pragma once
// Quoting file content and program output in messages. A message that
// repeats what a file or an engine wrote shows at most a short excerpt of
// it, with control characters escaped, so that a huge line cannot flood a
// message and terminal escape codes in a file cannot reach the user's
// terminal.

#include <cstddef>
#include <string>

namespace MessageText {

inline constexpr std::size_t ExcerptLength = 200;

// `text` as a message may show it, in at most `limit` bytes: well-formed
// printable UTF-8 as it stands; each byte of a control character (C0 below
// 0x20, DEL 0x7f, C1 U+0080 to U+009F) and each byte that is no part of a
// well-formed UTF-8 character (a stray or lone byte, such as a Latin-1 one,
// an overlong form, a surrogate, a sequence cut short) as "\xNN"; a
// backslash as "\\". The excerpt never ends inside a character or an
// escape; when the text is longer, "... (N more characters)" follows, N
// counting the bytes of `text` left out.
std::string Excerpt(const std::string& text, std::size_t limit = ExcerptLength);
// The same for `text` that is the start of a longer text of `wholeLength`
// bytes (the rest counts among the bytes left out, and so does a character
// that the end of `text` cuts in two).
std::string Excerpt(const std::string& text, std::size_t limit, std::size_t wholeLength);

}  // namespace MessageText
