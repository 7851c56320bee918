// The intermediate optimisation history (".geomopt").
#include "FuzzFiles.h"

#include "readers/GeomOptReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".geomopt"});
    QzFuzz::Guard([&] { CGeomOptFileReader reader(base + ".geomopt"); });
    return 0;
}
