// The dynamics output with its pressure file: ".gout" and ".pre" in one
// input; also the two cell scans.
#include "FuzzFiles.h"

#include "readers/MolDynOutputFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".gout", ".pre"});
    QzFuzz::Guard([&] { CMolDynOutputFileReader reader(base + ".gout"); });
    QzFuzz::Guard([&] {
        double a = 0, b = 0, c = 0, alpha = 0, beta = 0, gamma = 0;
        CMolDynOutputFileReader::ReadCellParameters(a, b, c, alpha, beta, gamma, base + ".gout");
        CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha, base + ".gout");
    });
    return 0;
}
