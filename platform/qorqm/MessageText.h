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

// At most `limit` characters of `text` (a multi-byte UTF-8 character is not
// split), each control character (below 0x20, and 0x7f) written as "\xNN"
// and a backslash as "\\"; when the text is longer, "... (N more
// characters)" follows.
std::string Excerpt(const std::string& text, std::size_t limit = ExcerptLength);
// The same for `text` that is the start of a longer text of `wholeLength`
// characters (the rest counts among the characters left out).
std::string Excerpt(const std::string& text, std::size_t limit, std::size_t wholeLength);

}  // namespace MessageText
