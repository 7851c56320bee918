// The intermediate dynamics file (".mdynam").
#include "FuzzFiles.h"

#include "readers/MolDynFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".mdynam"});
    QzFuzz::Guard([&] { CMolDynFileReader reader(base + ".mdynam"); });
    return 0;
}
