#include "StubShared.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ZelmStub {

namespace {

constexpr double Pi = 3.14159265358979323846;

} // namespace

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder == "." ? name : folder + "/" + name;
}

std::vector<std::string> Tokens(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

bool IsNumber(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("the file \"" + path + "\" cannot be written");
}

std::array<std::array<double, 3>, 3> CellVectors(const std::array<double, 6>& cell)
{
    const double al = cell[3] * Pi / 180, be = cell[4] * Pi / 180, ga = cell[5] * Pi / 180;
    const double cx = std::cos(be);
    const double cy = (std::cos(al) - std::cos(be) * std::cos(ga)) / std::sin(ga);
    const double cz = std::sqrt(std::max(0.0, 1 - cx * cx - cy * cy));
    return {{{cell[0], 0, 0},
             {cell[1] * std::cos(ga), cell[1] * std::sin(ga), 0},
             {cell[2] * cx, cell[2] * cy, cell[2] * cz}}};
}

} // namespace ZelmStub
