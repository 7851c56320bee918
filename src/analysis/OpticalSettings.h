// The optical plot settings of the analysis component, the frequency grid
// they give, the dielectric tensor computed on that grid from a run's
// oscillator strengths, and the texts of the optical charts.
//
// Frequencies are shown in one of three display units chosen by a unit
// code: 2 electronvolt, 3 terahertz, any other code wavenumbers (cm-1).
// `Frequency` holds a frequency in cm-1 and converts it.
#pragma once

#include "hostapi/hostapi.h"

#include "dravix/dravix.h"

#include <complex>
#include <string>
#include <vector>

class CStateHelper;

// Unit codes of the optical settings and the density-of-states plot.
enum OpticalFrequencyUnit : LONG {
    OpticalUnitWavenumber = 1,
    OpticalUnitElectronvolt = 2,
    OpticalUnitTerahertz = 3
};

// A frequency, kept in wavenumbers (cm-1).
class Frequency
{
public:
    Frequency() = default;
    // `value` given in the unit of `unit`.
    Frequency(LONG unit, double value);

    double Wavenumbers() const { return m_wavenumbers; }
    double Electronvolts() const;
    double Terahertz() const;
    // The value in the unit of `unit`.
    double In(LONG unit) const;

private:
    double m_wavenumbers = 0.0;
};

// "(eV)" for 2, "(THz)" for 3, "(1/cm)" for any other code.
std::string FrequencyUnitLabel(LONG unit);

// Chart texts for the tensor charts (no description).
std::string MakeDiagonalTensorTitle(const std::string& seed);
std::string MakeOffDiagonalTensorTitle(const std::string& seed);

// The symmetric dielectric tensor at one grid point: xx, xy, yy, xz, yz, zz.
using DielectricTensor = std::vector<std::complex<double>>;
enum DielectricComponent { EpsXX = 0, EpsXY = 1, EpsYY = 2, EpsXZ = 3, EpsYZ = 4, EpsZZ = 5 };

// The settings, grid and dielectric tensors of the optical plots. Before the
// first read the settings hold the defaults of the host's state definitions
// (reflectivity of a single crystal, both directions (0, 0, 1), cm-1,
// damping 10 cm-1) with an empty range from 0 to 0 cm-1.
class COpticalProperties
{
public:
    // Optical functions.
    enum Function : LONG { Reflectivity = 1, RefractiveIndex = 2, DielectricFunction = 3, TensorElements = 4,
                           Absorption = 5 };
    // Sample types.
    enum Sample : LONG { SingleCrystal = 1, Polycrystal = 2 };

    // The largest grid.
    static constexpr std::size_t MaximumGridPoints = 2001;

    // Reads the settings through a valid state reader (an invalid one reads
    // nothing). A direction whose length is not above 1e-8 (or not a
    // number) raises "Incident direction is ill defined." or "Reflected
    // direction is ill defined." (E_UNEXPECTED); what was read before stays.
    void ReadOpticalSettings(const CStateHelper& state);

    // The grid from start to end in the display unit, step by step; false,
    // with the grid empty, when the range is not above one step. The grid
    // holds at most 2001 points and ends early where adding the step no
    // longer changes the running value.
    bool BuildOpticalFrequencyGrid();
    std::vector<double> GetOpticalFrequencyGrid() const { return m_grid; }

    // The dielectric tensor at every grid point (building the grid first when
    // it is empty). Raises "Empty input to GenOpticsPlottingData." and
    // "Mismatch of input arrays to GenOpticsPlottingData." (E_UNEXPECTED),
    // leaving the data empty.
    void GenOpticsPlottingData(const std::vector<double>& modeFrequencies,
                               const std::vector<xxMatrix3x3>& oscillatorStrengths,
                               const xxMatrix3x3& highFrequencyTensor);
    std::vector<DielectricTensor> GetOpticalPlottingData() const { return m_plottingData; }

    // Empties the grid and the plotting data.
    void Clear();

    // "Reflectivity for <seed>" and so on, with the description; the seed
    // alone for the tensor elements and any unknown function.
    std::string MakeOpticalChartTitle(const std::string& seed) const;
    // Appends the directions (single crystal), "Polycrystal averaging"
    // (polycrystal) and the damping.
    void MakeOpticalDescription(std::string& text) const;

    // One display unit in eV (the absorption factor).
    double AbsorptionFactor() const;

    LONG SampleType() const { return m_sampleType; }
    LONG OpticalFunction() const { return m_opticalFunction; }
    const double* IncidentDirection() const { return m_incident; }
    const double* ReflectedDirection() const { return m_reflected; }
    LONG FrequencyUnit() const { return m_frequencyUnit; }
    void SetFrequencyUnit(LONG unit) { m_frequencyUnit = unit; }
    const Frequency& StartFrequency() const { return m_start; }
    const Frequency& EndFrequency() const { return m_end; }
    double Step() const { return m_step; }
    double Damping() const { return m_damping; }

    // Settings given directly (as a read would set them).
    void SetDirections(const double incident[3], const double reflected[3]);
    void SetRange(LONG unit, double initialFrequency, double finalFrequency);
    void SetDamping(double damping) { m_damping = damping; }
    void SetFunction(LONG opticalFunction, LONG sampleType);

private:
    LONG m_sampleType = SingleCrystal;
    LONG m_opticalFunction = Reflectivity;
    double m_incident[3] = {0.0, 0.0, 1.0};
    double m_reflected[3] = {0.0, 0.0, 1.0};
    LONG m_frequencyUnit = OpticalUnitWavenumber;
    Frequency m_start;
    Frequency m_end;
    double m_step = 0.0;
    double m_damping = 10.0;
    std::vector<double> m_grid;
    std::vector<DielectricTensor> m_plottingData;
};

// True when the direction is longer than 1e-8 (a length that is not a
// number is not).
bool IsWellDefinedDirection(const double direction[3]);
