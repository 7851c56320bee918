#pragma once
// Splitting lines into tokens and searching text files.

#include <istream>
#include <string>
#include <vector>

namespace ParseUtilities {

// Replaces the contents of tokens with the pieces of line separated by any
// of the characters in delimiters. Runs of delimiters, and delimiters at
// either end, produce no empty tokens, so the size of tokens is the number
// of words. Empty delimiters give the whole line as one token.
void Tokenize(const std::string& line, std::vector<std::string>& tokens,
              const std::string& delimiters = " ");

// Reads lines from the current position of stream until one contains token
// (a plain substring test). Returns true with that line (without its line
// break) in line; at the end of the stream, or with a stream already failed,
// returns false and line is empty. The stream is left after the line found.
bool FindLineContainingToken(std::istream& stream, const std::string& token, std::string& line);

// True when text occurs anywhere in the file at path (it may span lines).
// False when the file cannot be opened or read. An empty text occurs in any
// readable file.
bool IsTokenInFile(const std::string& path, const std::string& text);

}  // namespace ParseUtilities
