// What the engine stand-in's run and its phonon outputs share: the reading
// of deck lines, the writing of files and the cell's vectors.
#pragma once

#include <array>
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
// The cell's vectors from a, b, c (Angstrom) and alpha, beta, gamma
// (degrees), in the standard orientation: a along x, b in the xy plane.
std::array<std::array<double, 3>, 3> CellVectors(const std::array<double, 6>& cell);

} // namespace ZelmStub
