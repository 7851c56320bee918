// The archive reader, with the identity map and with a map in force.
#include "FuzzFiles.h"

#include "readers/ArchiveFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".arc"});
    QzFuzz::Guard([&] { CArchiveFileReader reader(base + ".arc", CAtomicIndexMap::Default); });
    CAtomicIndexMap map;
    map.SetSize(2);
    map.MakeDoc2ZelmEntry(1, 2);
    map.MakeDoc2ZelmEntry(2, 1);
    QzFuzz::Guard([&] { CArchiveFileReader reader(base + ".arc", map); });
    return 0;
}
