#include "readers/RunOutput.h"

#include <utility>

#include "readers/GeomOptReaders.h"
#include "readers/MolDynOutputFileReader.h"

namespace {

// The optimisation provider's view of the optimisation output reader.
class OptimisationOutput : public IRunOutput {
public:
    explicit OptimisationOutput(const std::string& path) : m_reader(path) {}
    int GetDimensionality() const override { return m_reader.GetDimensionality(); }
    int GetCoreCount() const override { return m_reader.GetCoreCount(); }

private:
    CGeomOptOutputFileReader m_reader;
};

// The dynamics provider's view of the dynamics output reader: the
// production stage's instantaneous series.
class DynamicsOutput : public IDynamicsRunOutput {
public:
    explicit DynamicsOutput(const std::string& path) : m_reader(path) {}
    int GetDimensionality() const override { return m_reader.GetDimensionality(); }
    int GetCoreCount() const override { return m_reader.GetCoreCount(); }
    int GetShellCount() const override { return m_reader.GetShellCount(); }
    int GetIrreducibleCount() const override { return m_reader.GetIrreducibleCount(); }
    int GetTotalCount() const override { return m_reader.GetTotalCount(); }
    int GetEnsemble() const override { return m_reader.GetEnsemble(); }
    const std::vector<double>& GetCellVolumes() const override { return Instant().GetCellVolume(); }
    const std::vector<double>& GetPressures() const override { return Instant().GetPressure(); }
    const std::vector<double>& GetPressureFileValues() const override { return Instant().GetPressureFileSeries(); }
    double GetConfigurationPressure() const override { return m_reader.GetOutputFileInfo().GetScalarValue(); }

private:
    const CMolDynOutputFileCommonInfo& Instant() const { return m_reader.GetOutputFileInfo().GetCommonInfo(); }
    CMolDynOutputFileReader m_reader;
};

RunOutputServices& Installed()
{
    static RunOutputServices services;
    return services;
}

}  // namespace

RunOutputServices RunOutput()
{
    RunOutputServices services = Installed();
    if (!services.scanRunType)
        services.scanRunType = &COutputFileReader::ScanRunType;
    if (!services.readPressure)
        services.readPressure = &CMolDynOutputFileReader::ReadPressure;
    if (!services.openOptimisationOutput)
        services.openOptimisationOutput = [](const std::string& path) -> std::unique_ptr<IRunOutput> {
            return std::make_unique<OptimisationOutput>(path);
        };
    if (!services.openDynamicsOutput)
        services.openDynamicsOutput = [](const std::string& path) -> std::unique_ptr<IDynamicsRunOutput> {
            return std::make_unique<DynamicsOutput>(path);
        };
    if (!services.readCellParameters)
        services.readCellParameters = &CMolDynOutputFileReader::ReadCellParameters;
    if (!services.readSurfaceCellParameters)
        services.readSurfaceCellParameters = &CMolDynOutputFileReader::ReadSurfaceCellParameters;
    return services;
}

RunOutputServices SetRunOutputServices(RunOutputServices services)
{
    return std::exchange(Installed(), std::move(services));
}
