// The driver reaches the module through the registry and the module's COM
// interfaces: only its inspection commands of module code without a COM
// road (read; update-structure, import-result, trajectory; status) include
// other module headers.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

const std::string driverFolder = std::string(QZ_TEST_DATA) + "/../../tools/zelm-host";

// The module's folders under src/, as the driver would include them.
bool IsModuleHeader(const std::string& include)
{
    for (const char* folder : {"analysis/", "common/", "earlier/", "forcefield/", "frame/", "job/", "readers/", "setup/"})
        if (include.rfind(folder, 0) == 0)
            return true;
    return false;
}

} // namespace

TEST(DriverModuleRoad, OnlyTheInspectionCommandsIncludeModuleInternals)
{
    const std::set<std::string> interfaces{"common/ZelmInterfaces.h", "common/SurfaceCalculatorInterface.h"};
    const std::set<std::string> inspection{"ReadCommands.cpp", "ResultCommands.cpp", "StatusCommands.cpp"};
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(driverFolder)) {
        const std::string name = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (extension != ".cpp" && extension != ".h")
            continue;
        ++files;
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            const std::string mark = "#include \"";
            if (line.rfind(mark, 0) != 0)
                continue;
            const std::string include = line.substr(mark.size(), line.find('"', mark.size()) - mark.size());
            if (IsModuleHeader(include) && !interfaces.count(include)) {
                EXPECT_TRUE(inspection.count(name)) << name << " includes " << include;
            }
        }
    }
    EXPECT_GT(files, 10);
}
