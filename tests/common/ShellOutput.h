// A shell command run for a test, its standard output read whole.
#pragma once

#include <cstdio>
#include <string>

namespace QzTest {

// The standard output of the command, run by the shell, byte for byte; its
// wait status in `status` (-1 when no shell could be started).
inline std::string ShellOutput(const std::string& command, int& status)
{
    std::string output;
    status = -1;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, read);
    status = ::pclose(pipe);
    return output;
}

} // namespace QzTest
