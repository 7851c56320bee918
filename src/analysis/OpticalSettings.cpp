#include "analysis/OpticalSettings.h"

#include "kelv/KelvFormat.h"
#include "kelv/kelv.h"
#include "qorqm/LatticeUtilities.h"
#include "qorqm/QMPhysicalConstants.h"
#include "qorvira/StateHelper.h"

#include <utility>

namespace {

// Wavenumbers (cm-1) of one terahertz.
double WavenumbersPerTerahertz()
{
    return 1e12 / (QMPhysicalConstants::speed_light_si * 100.0);
}

// A number of a chart text, followed by one blank.
std::string Number(double value)
{
    return KelvFormat("%1 ") << value;
}

void ReadDirection(const CStateHelper& state, const char* prefix, double direction[3], const char* message)
{
    const std::string name(prefix);
    state.GetStateValue(name + "_x", direction[0]);
    state.GetStateValue(name + "_y", direction[1]);
    state.GetStateValue(name + "_z", direction[2]);
    if (!IsWellDefinedDirection(direction))
        throw KelvResult(E_UNEXPECTED, message);
}

// One mode's term r * S of a component. A zero strength adds nothing, also
// where r is not finite: an acoustic mode (frequency 0, no strength) at
// w = 0 would otherwise turn the value into not-a-number.
void Add(std::complex<double>& component, const std::complex<double>& r, double strength)
{
    if (strength != 0.0)
        component += r * strength;
}

} // namespace

Frequency::Frequency(LONG unit, double value)
{
    switch (unit) {
    case OpticalUnitElectronvolt:
        m_wavenumbers = value * QMPhysicalConstants::EV_TO_CM_1;
        break;
    case OpticalUnitTerahertz:
        m_wavenumbers = value * WavenumbersPerTerahertz();
        break;
    default:
        m_wavenumbers = value;
        break;
    }
}

double Frequency::Electronvolts() const
{
    return m_wavenumbers / QMPhysicalConstants::EV_TO_CM_1;
}

double Frequency::Terahertz() const
{
    return m_wavenumbers * 100.0 * QMPhysicalConstants::speed_light_si / 1e12;
}

double Frequency::In(LONG unit) const
{
    switch (unit) {
    case OpticalUnitElectronvolt:
        return Electronvolts();
    case OpticalUnitTerahertz:
        return Terahertz();
    default:
        return m_wavenumbers;
    }
}

std::string FrequencyUnitLabel(LONG unit)
{
    switch (unit) {
    case OpticalUnitElectronvolt:
        return "(eV)";
    case OpticalUnitTerahertz:
        return "(THz)";
    default:
        return "(1/cm)";
    }
}

std::string MakeDiagonalTensorTitle(const std::string& seed)
{
    return "Diagonal elements of dielectric constant tensor for " + seed;
}

std::string MakeOffDiagonalTensorTitle(const std::string& seed)
{
    return "Off-diagonal elements of dielectric constant tensor for " + seed;
}

bool IsWellDefinedDirection(const double direction[3])
{
    // A NaN length fails the comparison and so is ill defined.
    return LatticeUtilities::GetVectorLength(direction) > 1e-8;
}

void COpticalProperties::ReadOpticalSettings(const CStateHelper& state)
{
    if (!state.IsValid())
        return;
    state.GetStateValue("OpticalFunction", m_opticalFunction);
    state.GetStateValue("SampleType", m_sampleType);
    ReadDirection(state, "incoming", m_incident, "Incident direction is ill defined.");
    ReadDirection(state, "outgoing", m_reflected, "Reflected direction is ill defined.");
    LONG unit = m_frequencyUnit;
    double initial = 0.0;
    double final = 0.0;
    state.GetStateValue("FrequencyUnits", unit);
    state.GetStateValue("InitialFrequency", initial);
    state.GetStateValue("FinalFrequency", final);
    SetRange(unit, initial, final);
    state.GetStateValue("OpticalDamping", m_damping);
}

void COpticalProperties::SetRange(LONG unit, double initialFrequency, double finalFrequency)
{
    m_frequencyUnit = unit;
    if (!(initialFrequency < finalFrequency))
        std::swap(initialFrequency, finalFrequency);
    m_start = Frequency(unit, initialFrequency);
    m_end = Frequency(unit, finalFrequency);
    m_step = (m_end.In(unit) - m_start.In(unit)) / 2000.0;
}

void COpticalProperties::SetDirections(const double incident[3], const double reflected[3])
{
    for (int i = 0; i < 3; ++i) {
        m_incident[i] = incident[i];
        m_reflected[i] = reflected[i];
    }
}

void COpticalProperties::SetFunction(LONG opticalFunction, LONG sampleType)
{
    m_opticalFunction = opticalFunction;
    m_sampleType = sampleType;
}

bool COpticalProperties::BuildOpticalFrequencyGrid()
{
    const double s = m_start.In(m_frequencyUnit);
    const double e = m_end.In(m_frequencyUnit);
    m_grid.clear();
    if (!(e - s > m_step))
        return false;
    // The step is added to the running value. Far from zero a step below
    // half the spacing of doubles leaves the value where it is: the grid
    // ends there rather than filling memory.
    double x = s;
    while (x <= e && m_grid.size() < MaximumGridPoints) {
        m_grid.push_back(x);
        const double next = x + m_step;
        if (next == x)
            break;
        x = next;
    }
    return true;
}

void COpticalProperties::Clear()
{
    m_grid.clear();
    m_plottingData.clear();
}

void COpticalProperties::GenOpticsPlottingData(const std::vector<double>& modeFrequencies,
                                               const std::vector<xxMatrix3x3>& oscillatorStrengths,
                                               const xxMatrix3x3& highFrequencyTensor)
{
    using Complex = std::complex<double>;
    m_plottingData.clear();
    if (modeFrequencies.empty() || oscillatorStrengths.empty())
        throw KelvResult(E_UNEXPECTED, "Empty input to GenOpticsPlottingData.");
    if (modeFrequencies.size() != oscillatorStrengths.size())
        throw KelvResult(E_UNEXPECTED, "Mismatch of input arrays to GenOpticsPlottingData.");
    if (m_grid.empty())
        BuildOpticalFrequencyGrid();

    const xxMatrix3x3& e = highFrequencyTensor;
    std::vector<DielectricTensor> data;
    data.reserve(m_grid.size());
    for (const double x : m_grid) {
        const double w = Frequency(m_frequencyUnit, x).Wavenumbers();
        DielectricTensor eps{Complex(e(1, 1), 0.0),
                             Complex((e(1, 2) + e(2, 1)) * 0.5, 0.0),
                             Complex(e(2, 2), 0.0),
                             Complex((e(1, 3) + e(3, 1)) * 0.5, 0.0),
                             Complex((e(2, 3) + e(3, 2)) * 0.5, 0.0),
                             Complex(e(3, 3), 0.0)};
        for (std::size_t j = 0; j < modeFrequencies.size(); ++j) {
            const double omega = modeFrequencies[j];
            const xxMatrix3x3& s = oscillatorStrengths[j];
            const Complex d(omega * omega - w * w, m_damping * w);
            const Complex r = Complex(1.0, 0.0) / d;
            Add(eps[EpsXX], r, s(1, 1));
            Add(eps[EpsXY], r, (s(1, 2) + s(2, 1)) / 2.0);
            Add(eps[EpsYY], r, s(2, 2));
            Add(eps[EpsXZ], r, (s(1, 3) + s(3, 1)) / 2.0);
            Add(eps[EpsYZ], r, (s(2, 3) + s(3, 2)) / 2.0);
            Add(eps[EpsZZ], r, s(3, 3));
        }
        data.push_back(std::move(eps));
    }
    m_plottingData = std::move(data);
}

std::string COpticalProperties::MakeOpticalChartTitle(const std::string& seed) const
{
    std::string title;
    switch (m_opticalFunction) {
    case Reflectivity:
        title = "Reflectivity for " + seed;
        break;
    case RefractiveIndex:
        title = "Refractive index for " + seed;
        break;
    case DielectricFunction:
        title = "Dielectric constant for " + seed;
        break;
    case Absorption:
        title = "Absorption coefficient for " + seed;
        break;
    default:
        return seed;
    }
    MakeOpticalDescription(title);
    return title;
}

void COpticalProperties::MakeOpticalDescription(std::string& text) const
{
    if (m_sampleType == SingleCrystal) {
        text += "\nIncident direction: (" + Number(m_incident[0]) + Number(m_incident[1]) + Number(m_incident[2]) +
                ") Reflected direction: (" + Number(m_reflected[0]) + Number(m_reflected[1]) +
                Number(m_reflected[2]) + ")";
    } else if (m_sampleType == Polycrystal) {
        text += "\nPolycrystal averaging";
    }
    text += "\nOscillator damping constant: " + Number(m_damping) + " (1/cm)";
}

double COpticalProperties::AbsorptionFactor() const
{
    return Frequency(m_frequencyUnit, 1.0).Wavenumbers() / QMPhysicalConstants::EV_TO_CM_1;
}
