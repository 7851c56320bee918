// The phonon dispersion: ".disp", ".gout" and ".kptaux" in one input.
#include "FuzzFiles.h"

#include "readers/PhononFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".disp", ".gout", ".kptaux"});
    QzFuzz::Guard([&] {
        CZelmPhononData record(base);
        CPhononFileReader().Read(record.resultsPath, record);
    });
    return 0;
}
