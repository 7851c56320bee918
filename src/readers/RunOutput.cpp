#include "readers/RunOutput.h"

#include <utility>

#include "kelv/KelvResult.h"

namespace {

RunOutputServices& Installed()
{
    static RunOutputServices services;
    return services;
}

[[noreturn]] void Unavailable()
{
    throw KelvResult(E_NOTIMPL, "No reader of ZELM output files is available.");
}

}  // namespace

RunOutputServices RunOutput()
{
    RunOutputServices services = Installed();
    if (!services.scanRunType)
        services.scanRunType = [](const std::string&) -> int { Unavailable(); };
    if (!services.readPressure)
        services.readPressure = [](const std::string&) -> double { Unavailable(); };
    if (!services.openOptimisationOutput)
        services.openOptimisationOutput = [](const std::string&) -> std::unique_ptr<IRunOutput> { Unavailable(); };
    if (!services.openDynamicsOutput)
        services.openDynamicsOutput = [](const std::string&) -> std::unique_ptr<IDynamicsRunOutput> { Unavailable(); };
    if (!services.readCellParameters)
        services.readCellParameters = [](double&, double&, double&, double&, double&, double&, const std::string&) {
            Unavailable();
        };
    if (!services.readSurfaceCellParameters)
        services.readSurfaceCellParameters = [](double&, double&, double&, const std::string&) { Unavailable(); };
    return services;
}

RunOutputServices SetRunOutputServices(RunOutputServices services)
{
    return std::exchange(Installed(), std::move(services));
}
