// The host's project state ("project-state.json"): the states of the
// logics, loaded when the in-memory host starts. A refused file throws
// KelvResult, whose message must be short and free of control characters.
#include "FuzzFiles.h"

#include "host/HostApplication.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = QzFuzz::WriteWhole(data, size, "project-state.json");
    QzFuzz::AcceptsQuoting<KelvResult>([&] {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = QzFuzz::Folder() + "/project";
        configuration.stateFile = path;
        configuration.connectModuleLogics = false;
        QzHost::HostApplication host(configuration);
    });
    return 0;
}
