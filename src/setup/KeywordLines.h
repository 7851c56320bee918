// The texts that open and close an engine input deck: the keyword line, the
// property keywords, the option lines of a task, the frequency range and the
// phonon blocks. They are composed from the run settings seen through
// RunSettingsView, so that the same composition serves the live record and
// any other source of settings.
#pragma once

#include <string>
#include <vector>

namespace ZelmLines {

// Task codes.
enum Task : long { TaskEnergy = 1, TaskGeomOpt = 2, TaskDynamics = 3, TaskFit = 4, TaskSurface = 5 };

// What the line builders need of the run settings. A bool key counts as set
// only when its value equals 1. CanDoPhononNonGamma may read a file, so it
// is asked only when every term before it holds.
class RunSettingsView
{
public:
    virtual ~RunSettingsView() = default;
    virtual long Task() const = 0;
    virtual bool Periodic() const = 0;
    virtual bool Flag(const char* key) const = 0;
    virtual long Long(const char* key) const = 0;
    virtual double Double(const char* key) const = 0;
    virtual std::string LibraryName() const = 0;
    virtual bool CanDoPhononNonGamma() const = 0;
};

// Predicates, each evaluated left to right, stopping at the first false term.
bool WantsPhonons(const RunSettingsView& s);
bool WantsOptics(const RunSettingsView& s);
bool IsConstantPressureDynamics(const RunSettingsView& s);
bool WantsPhononDispersion(const RunSettingsView& s);
bool WantsPhononDos(const RunSettingsView& s);

// The first line of the deck (no newline).
std::string Keywords(const RunSettingsView& s);
// The second group of keywords (no newline); spatial for large structures.
std::string PropertyKeywords(const RunSettingsView& s, bool spatial);
// "nve", "nvt" or "npt".
std::string EnsembleName(long ensemble);
// "", " thermostat" or " thermostat barostat".
std::string EnsembleParameters(const RunSettingsView& s);
// The option lines of the task ("" for tasks without options).
std::string TaskOptions(const RunSettingsView& s);
// The most frequency steps an "omega" line may ask of the engine.
constexpr long kMaxFrequencySteps = 1000000;
// The "omega" line, or "". Throws KelvResult E_UNEXPECTED for a step <= 0
// and for a range of more than kMaxFrequencySteps steps.
std::string FrequencyRangeLine(const RunSettingsView& s);

// One point of a phonon dispersion path with its segment-boundary kind
// (2 a segment starts, 3 one ends, 4 one ends and the next starts).
struct PathPoint
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    long kind = 0;
};

// "dispersion N" followed by the segment lines. Throws KelvResult
// E_UNEXPECTED "Phonon dispersion path is not closed" when segments stay open.
std::string DispersionBlock(const std::vector<PathPoint>& path);
// The density-of-states block for a k-point grid.
std::string DensityOfStatesBlock(long n1, long n2, long n3);

} // namespace ZelmLines
