// A trajectory data provider of made-up frames for the writer and the host's
// trajectory documents: every value tells its frame and slot apart, and any
// value asked while no frame is current is counted as a misuse.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "hostapi/trajectory.h"
#include "kelv/KelvResult.h"

namespace QzTest {

class FakeTrjProvider : public CTrjDataProvider {
public:
    int frames = 3;
    int atoms = 2;
    int periodicity = 3;
    bool secondVectors = true;
    std::string name = "run";
    // Called when frame f becomes current; may throw.
    std::function<void(int)> onStep;
    // Overrides the position list of a frame (wrong sizes).
    std::function<std::vector<double>(int)> positionsOf;
    int misuses = 0;
    int cellCalls = 0;

    double Value(int slot) const { return m_frame * 100.0 + slot + 0.25; }

    bool GoToFirstFrame() override
    {
        m_frame = 0;
        return GoToNextFrame();
    }
    bool GoToNextFrame() override
    {
        ++m_frame;
        if (m_frame > frames) {
            return false;
        }
        if (onStep)
            onStep(m_frame);
        m_positions = positionsOf ? positionsOf(m_frame) : List(0);
        m_second = secondVectors ? List(50) : std::vector<double>();
        return true;
    }
    const std::string& GetName() override { return Asked(name); }
    int GetCurrentFrame() override { return Asked(m_frame); }
    int GetAtomCount() override { return Asked(atoms); }
    double GetAuxiliaryValue() override { return Asked(Value(5)); }
    double GetTimeStep() override { return Asked(Value(6)); }
    double GetTime() override { return Asked(Value(7)); }
    double GetEnergySum() override { return Asked(Value(8)); }
    double GetEnergyTerm1() override { return Asked(Value(9)); }
    double GetEnergyTerm2() override { return Asked(Value(10)); }
    double GetVolumeProduct() override { return Asked(Value(11)); }
    double GetCellVolume() override { return Asked(std::nan("")); }
    void GetCell(double* cell) override
    {
        ++cellCalls;
        Fill(cell, 13);
    }
    void GetSixComponentValueA(double* v) override { Fill(v, 14); }
    void GetSixComponentValueB(double* v) override { Fill(v, 15); }
    double GetVolumeFactor() override { return Asked(Value(16)); }
    double GetPressure() override { return Asked(-Value(17)); }
    const std::vector<double>& GetPositions() override { return Asked(m_positions); }
    const std::vector<double>& GetThirdAtomVectors() override { return Asked(m_third); }
    const std::vector<double>& GetSecondAtomVectors() override { return Asked(m_second); }
    int GetPeriodicity() override { return Asked(periodicity); }
    int QueryOptionA() override { return Asked(1); }
    int QueryOptionB() override { return Asked(2); }

private:
    template <class T>
    const T& Asked(const T& value)
    {
        if (m_frame < 1 || m_frame > frames)
            ++misuses;
        return value;
    }
    void Fill(double* v, int slot)
    {
        Asked(0);
        for (int k = 0; k < 6; ++k)
            v[k] = Value(slot) + k;
    }
    std::vector<double> List(int offset) const
    {
        std::vector<double> values(3 * static_cast<std::size_t>(atoms));
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = m_frame * 1000.0 + offset + static_cast<double>(i);
        return values;
    }
    int m_frame = 0;
    std::vector<double> m_positions, m_second, m_third;
};

}  // namespace QzTest
