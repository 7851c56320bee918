// The optimisation history of a main output.
#include "FuzzFiles.h"

#include "readers/GeomOptReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".gout"});
    QzFuzz::Guard([&] { CGeomOptOutputFileReader reader(base + ".gout"); });
    return 0;
}
