// The engine stand-in's reading of deck lines and writing of its files.
#pragma once

#include <string>
#include <vector>

namespace ZelmStub {

// The words of a line (separated by white space).
std::vector<std::string> Tokens(const std::string& line);
// Whether the whole text is a number; its value in `value`.
bool IsNumber(const std::string& text, double& value);
// The name in the folder ("." or empty: the name alone).
std::string Join(const std::string& folder, const std::string& name);
// Writes the file whole, replacing it; throws std::runtime_error naming it
// when it cannot be written.
void WriteFile(const std::string& path, const std::string& text);

} // namespace ZelmStub
