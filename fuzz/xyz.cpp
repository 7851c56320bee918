// The host's XYZ import. A refused file throws FileError; a molecule that
// was imported can be saved as a ".qsd" text that loads again.
#include "FuzzFiles.h"

#include "host/model/XyzImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = QzFuzz::WriteWhole(data, size, "input.xyz");
    std::shared_ptr<HostModel::Document> document;
    if (!QzFuzz::Accepts<HostModel::FileError>([&] { document = HostModel::ImportXyz(path); }))
        return 0;
    HostModel::DocumentFromQsdText(HostModel::QsdText(*document));
    return 0;
}
