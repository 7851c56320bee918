// Main-output services the tests hand the module in place of the output
// readers: every answer is the test's, whatever the files hold.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "readers/RunOutput.h"

namespace QzTest {

struct FakeOutputContent {
    int runType = 2;
    double pressure = 0.0;
    int dimensionality = 0;
    int cores = 0;
    int shells = 0;
    // Sites of the asymmetric unit and of the whole cell; 0: not given.
    int irreducible = 0;
    int total = 0;
    int ensemble = 1;
    std::vector<double> cellVolumes, pressures, pressureFile;
    // Final cell of the output; NaN lengths: the output gives none.
    double cell[6] = {NAN, NAN, NAN, NAN, NAN, NAN};
    double surfaceCell[3] = {NAN, NAN, NAN};
};

class FakeDynamicsOutput : public IDynamicsRunOutput {
public:
    explicit FakeDynamicsOutput(const FakeOutputContent& c) : m_c(c) {}
    int GetDimensionality() const override { return m_c.dimensionality; }
    int GetCoreCount() const override { return m_c.cores; }
    int GetShellCount() const override { return m_c.shells; }
    int GetIrreducibleCount() const override { return m_c.irreducible; }
    int GetTotalCount() const override { return m_c.total; }
    int GetEnsemble() const override { return m_c.ensemble; }
    const std::vector<double>& GetCellVolumes() const override { return m_c.cellVolumes; }
    const std::vector<double>& GetPressures() const override { return m_c.pressures; }
    const std::vector<double>& GetPressureFileValues() const override { return m_c.pressureFile; }
    double GetConfigurationPressure() const override { return m_c.pressure; }

private:
    FakeOutputContent m_c;
};

// Installs the fake services while it lives.
class FakeRunOutputServices {
public:
    FakeOutputContent content;
    int opened = 0;

    FakeRunOutputServices()
    {
        RunOutputServices services;
        services.scanRunType = [this](const std::string&) { return content.runType; };
        services.readPressure = [this](const std::string&) { return content.pressure; };
        services.openOptimisationOutput = [this](const std::string&) -> std::unique_ptr<IRunOutput> {
            ++opened;
            return std::make_unique<FakeDynamicsOutput>(content);
        };
        services.openDynamicsOutput = [this](const std::string&) -> std::unique_ptr<IDynamicsRunOutput> {
            ++opened;
            return std::make_unique<FakeDynamicsOutput>(content);
        };
        services.readCellParameters = [this](double& a, double& b, double& c, double& al, double& be, double& ga,
                                             const std::string&) {
            if (std::isnan(content.cell[0]))
                return;
            a = content.cell[0], b = content.cell[1], c = content.cell[2];
            al = content.cell[3], be = content.cell[4], ga = content.cell[5];
        };
        services.readSurfaceCellParameters = [this](double& a, double& b, double& al, const std::string&) {
            if (std::isnan(content.surfaceCell[0]))
                return;
            a = content.surfaceCell[0], b = content.surfaceCell[1], al = content.surfaceCell[2];
        };
        m_previous = SetRunOutputServices(services);
    }
    ~FakeRunOutputServices() { SetRunOutputServices(m_previous); }
    FakeRunOutputServices(const FakeRunOutputServices&) = delete;
    FakeRunOutputServices& operator=(const FakeRunOutputServices&) = delete;

private:
    RunOutputServices m_previous;
};

}  // namespace QzTest
