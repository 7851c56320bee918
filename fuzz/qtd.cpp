// The host's trajectory documents: a ".qtd" structure text and, after a
// separator line, the binary ".trj" of its frames (no second part: no frame
// file). A refused pair throws FileError (the structure) or KelvResult (the
// frames).
#include "FuzzFiles.h"

#include "host/model/QsdFile.h"
#include "host/model/TrajectoryDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".qtd", ".trj"});
    QzFuzz::Accepts<HostModel::FileError, KelvResult>([&] { HostModel::LoadStructureFile(base + ".qtd"); });
    return 0;
}
