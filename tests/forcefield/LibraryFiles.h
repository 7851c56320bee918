// The forcefield suite's hand-written library and dump files.
#pragma once

#include <string>

namespace fftest {

inline std::string DataFile(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/forcefield/" + name;
}

}  // namespace fftest
