// The main output with its run type, oscillator strengths and densities of
// states: ".gout", ".osc" and ".dens" in one input.
#include "FuzzFiles.h"

#include "readers/OutputFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string base = QzFuzz::WriteRun(data, size, {".gout", ".osc", ".dens"});
    QzFuzz::Guard([&] { COutputFileReader::ScanRunType(base + ".gout"); });
    QzFuzz::Guard([&] {
        COutputFileReader reader(base + ".gout");
        std::string message;
        reader.CheckOscillatorStrengths("run", message);
    });
    return 0;
}
