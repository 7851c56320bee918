// What the trajectory providers read of a run's main output (".gout") and
// its side files. The output readers stand behind these; the providers
// depend only on them, and the readers are plugged in at one place
// (RunOutput.cpp): every service a test has not installed is the reader's.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A run's main output as the optimisation provider reads it.
class IRunOutput {
public:
    virtual ~IRunOutput() = default;
    // 3 for a 3-D periodic system, 2 for a slab, anything else for none.
    virtual int GetDimensionality() const = 0;
    // Core sites of the structure's atom table.
    virtual int GetCoreCount() const = 0;
    // Shell sites of the structure's atom table.
    virtual int GetShellCount() const { return 0; }
    // The sites (cores and shells) of the asymmetric unit and of the whole
    // cell as the output's header counts them; 0 when it gives none. A
    // structure given with its space group has fewer of the former, and its
    // atom table lists those only.
    virtual int GetIrreducibleCount() const { return 0; }
    virtual int GetTotalCount() const { return 0; }
};

// A dynamics run's main output: the production stage's instantaneous series.
class IDynamicsRunOutput : public IRunOutput {
public:
    // 1 NVE, 2 NVT, 3 NPT.
    virtual int GetEnsemble() const = 0;
    // One value per reported step ("Cell volume" and "Pressure" rows).
    virtual const std::vector<double>& GetCellVolumes() const = 0;
    virtual const std::vector<double>& GetPressures() const = 0;
    // Six values per step from the ".pre" file; empty without one.
    virtual const std::vector<double>& GetPressureFileValues() const = 0;
    virtual double GetConfigurationPressure() const = 0;
};

struct RunOutputServices {
    // Run type of a ".gout": 1 Energy, 2 GeomOpt, 3 Dynamics, 5 Surface.
    std::function<int(const std::string& path)> scanRunType;
    // The configuration pressure of a ".gout" (0.0 when it has none).
    std::function<double(const std::string& path)> readPressure;
    std::function<std::unique_ptr<IRunOutput>(const std::string& path)> openOptimisationOutput;
    std::function<std::unique_ptr<IDynamicsRunOutput>(const std::string& path)> openDynamicsOutput;
    // The final cell of a ".gout": the out-arguments are left as they were
    // when the file gives none.
    std::function<void(double& a, double& b, double& c, double& alpha, double& beta, double& gamma,
                       const std::string& path)>
        readCellParameters;
    std::function<void(double& a, double& b, double& alpha, const std::string& path)> readSurfaceCellParameters;
};

// The services in use: each one not installed is served by the readers.
RunOutputServices RunOutput();
// Installs services (tests put fakes in); returns those before.
RunOutputServices SetRunOutputServices(RunOutputServices services);
