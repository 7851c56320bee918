// The host's structure documents (".qsd"). A refused file throws FileError;
// a document that was loaded saves as a text that loads again.
#include "FuzzFiles.h"

#include "host/model/QsdFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = QzFuzz::WriteWhole(data, size, "input.qsd");
    std::shared_ptr<HostModel::Document> document;
    if (!QzFuzz::Accepts<HostModel::FileError>([&] { document = HostModel::LoadQsd(path); }))
        return 0;
    HostModel::DocumentFromQsdText(HostModel::QsdText(*document));
    return 0;
}
