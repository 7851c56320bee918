#include "readers/RunOutput.h"

#include <utility>

#include "kelv/KelvResult.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"

namespace {

class ReaderOutput final : public IRunOutput {
public:
    explicit ReaderOutput(const std::string& path) : m_reader(path) {}
    int GetDimensionality() const override { return m_reader.GetDimensionality(); }
    int GetCoreCount() const override { return m_reader.GetCoreCount(); }

private:
    COutputFileReader m_reader;
};

class ReaderDynamicsOutput final : public IDynamicsRunOutput {
public:
    explicit ReaderDynamicsOutput(const std::string& path) : m_reader(path) {}
    int GetDimensionality() const override { return m_reader.GetDimensionality(); }
    int GetCoreCount() const override { return m_reader.GetCoreCount(); }
    int GetEnsemble() const override { return m_reader.GetEnsemble(); }
    std::vector<double> GetCellVolumes() const override
    {
        return m_reader.GetOutputFileInfo().GetCommonInfo().GetCellVolume();
    }
    std::vector<double> GetPressures() const override
    {
        return m_reader.GetOutputFileInfo().GetCommonInfo().GetPressure();
    }
    std::vector<double> GetPressureFileValues() const override
    {
        return m_reader.GetOutputFileInfo().GetCommonInfo().GetPressureFileSeries();
    }
    double GetConfigurationPressure() const override { return m_reader.GetOutputFileInfo().GetScalarValue(); }

private:
    CMolDynOutputFileReader m_reader;
};

// The module's output readers behind the providers' view of a run.
RunOutputServices ReaderServices()
{
    RunOutputServices services;
    services.scanRunType = [](const std::string& path) { return COutputFileReader::ScanRunType(path); };
    services.readPressure = [](const std::string& path) { return CMolDynOutputFileReader::ReadPressure(path); };
    services.openOptimisationOutput = [](const std::string& path) {
        return std::unique_ptr<IRunOutput>(new ReaderOutput(path));
    };
    services.openDynamicsOutput = [](const std::string& path) {
        return std::unique_ptr<IDynamicsRunOutput>(new ReaderDynamicsOutput(path));
    };
    services.readCellParameters = [](double& a, double& b, double& c, double& alpha, double& beta, double& gamma,
                                     const std::string& path) {
        CMolDynOutputFileReader::ReadCellParameters(a, b, c, alpha, beta, gamma, path);
    };
    services.readSurfaceCellParameters = [](double& a, double& b, double& alpha, const std::string& path) {
        CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha, path);
    };
    return services;
}

RunOutputServices& Installed()
{
    static RunOutputServices services = ReaderServices();
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
