// The intermediate dynamics file (".mdynam") of a running job: frame by
// frame the time, energies, temperature and pressure. A frame is stored only
// when the next frame has begun, since the engine may still be writing it.
#pragma once

#include "readers/ReaderBase.h"

#include <string>
#include <vector>

// Reads the file in its constructor. The reading stops quietly at a line
// that does not hold exactly 3 words (a blank line, a line of more than 1023
// characters) or at the end of the file; the frame in hand is then dropped.
// "Unable to open ZELM dynamics file." when it cannot be opened.
class CMolDynFileReader : public CIntermediateFileReader
{
public:
    explicit CMolDynFileReader(const std::string& path);
    ~CMolDynFileReader() override;

    void Read(const std::string& path) override;

    // Inherited: GetSeries1 (total energy, "Et") with its offset.
    const std::vector<double>& GetTotalEnergy() const { return m_series1; }
    int GetTotalEnergyOffset() const { return m_series1Offset; }
    const std::vector<double>& GetTime() const { return m_time; }
    const std::vector<double>& GetPotentialEnergy() const { return m_potential; }
    int GetPotentialEnergyOffset() const { return m_potentialOffset; }
    const std::vector<double>& GetKineticEnergy() const { return m_kinetic; }
    int GetKineticEnergyOffset() const { return m_kineticOffset; }
    const std::vector<double>& GetH() const { return m_h; }
    int GetHOffset() const { return m_hOffset; }
    const std::vector<double>& GetPressure() const { return m_pressure; }
    int GetPressureOffset() const { return m_pressureOffset; }
    const std::vector<double>& GetTemperature() const { return m_temperature; }
    int GetTemperatureOffset() const { return m_temperatureOffset; }
    // True when a stored frame carried a pressure ("P").
    bool HasPressure() const { return m_hasPressure; }

private:
    // One value line of the frame in hand: the series its tag names (null
    // for a tag of no series) and its value; "NaN" takes its value from the
    // series when the frame is stored.
    struct PendingValue {
        std::vector<double>* series;
        bool notANumber;
        double value;
    };

    std::vector<double>* SeriesOfTag(std::string_view tag);
    void StoreFrame(std::vector<PendingValue>& frame);

    std::vector<double> m_time;
    std::vector<double> m_potential;
    int m_potentialOffset = 0;
    std::vector<double> m_kinetic;
    int m_kineticOffset = 0;
    std::vector<double> m_h;
    int m_hOffset = 0;
    std::vector<double> m_pressure;
    int m_pressureOffset = 0;
    std::vector<double> m_temperature;
    int m_temperatureOffset = 0;
    bool m_hasPressure = false;
};
