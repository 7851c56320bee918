#include "StubText.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ZelmStub {

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

} // namespace ZelmStub
