// The optimisation history: the intermediate ".geomopt" file of a running
// job and the optimisation section of the main output. Both give three
// series (energy, energy change, gradient norm) with start offsets 0, 1 and
// 0, and the energy (function) and gradient tolerances.
#pragma once

#include "readers/OutputFileReader.h"
#include "readers/ReaderBase.h"

#include <string>
#include <vector>

// Reads a ".geomopt" file: a header "<label> <label>:<energy tolerance>
// <label>:<gradient tolerance>", then one step per line of 1 to 3 values
// (energy, gradient norm, energy change). A file whose header was not
// written completely yet gives no data and no error; a header of fewer than
// 3 words fails. "Failed to open ZELM .geomopt file." when it cannot be
// opened.
class CGeomOptFileReader : public CIntermediateFileReader
{
public:
    explicit CGeomOptFileReader(const std::string& path);
    ~CGeomOptFileReader() override;

    void Read(const std::string& path) override;

    // Inherited: GetSeries1 (energies) and GetSeries1Offset (0).
    const std::vector<double>& GetSeries2() const { return m_energyChanges; }
    int GetSeries2Offset() const { return m_energyChangesOffset; }
    const std::vector<double>& GetSeries3() const { return m_gradients; }
    int GetSeries3Offset() const { return m_gradientsOffset; }
    double GetTolerance1() const { return m_energyTolerance; }
    double GetTolerance2() const { return m_gradientTolerance; }

private:
    std::vector<double> m_energyChanges;
    int m_energyChangesOffset = 1;
    std::vector<double> m_gradients;
    int m_gradientsOffset = 0;
    double m_energyTolerance = 0.0;
    double m_gradientTolerance = 0.0;
};

// Reads the optimisation history of a main output after the main output
// reader's own part: the tolerance lines anywhere, then, from the line that
// starts the optimisation, one step per cycle line ("Cycle: n Energy: e
// Gnorm: g ...", or "Cycle: n Defect Energy: e ..."), up to the section's
// closing note ("**** Optimisation achieved ****" and the engine's other
// endings) or "Final energy". A value that fills its field touches its label
// ("Gnorm:1290544.318702"); one too wide for it is a run of "*": the step
// counts, its value is unknown (NaN, never drawn) and counted among the
// unreadable values. Lines beginning with "**" are notes, never steps. An
// output without any cycle line is read in the older layout: every other
// line of 8 words (not a "Hessian" line) is a step, up to the first line
// holding "****".
class CGeomOptOutputFileReader : public COutputFileReader
{
public:
    explicit CGeomOptOutputFileReader(const std::string& path);
    ~CGeomOptOutputFileReader() override;

    void Read(const std::string& path) override;

    const std::vector<double>& GetSeries1() const { return m_energies; }
    int GetSeries1Offset() const { return m_energiesOffset; }
    const std::vector<double>& GetSeries2() const { return m_energyChanges; }
    int GetSeries2Offset() const { return m_energyChangesOffset; }
    const std::vector<double>& GetSeries3() const { return m_gradients; }
    int GetSeries3Offset() const { return m_gradientsOffset; }
    double GetTolerance1() const { return m_functionTolerance; }
    double GetTolerance2() const { return m_gradientTolerance; }
    // Energies and gradient norms of cycle lines that were runs of "*".
    int GetUnreadableValueCount() const { return m_unreadableValues; }
    // The "Final energy" after the history, when the output gives it as a
    // number (a run of "*" is no final energy).
    bool HasFinalEnergy() const { return m_hasFinalEnergy; }
    double GetFinalEnergy() const { return m_finalEnergy; }
    // True when the output has a "Final energy" line whose value is a run
    // of "*".
    bool FinalEnergyUnreadable() const { return m_finalEnergyUnreadable; }

private:
    static void AddStep(std::string_view energy, std::string_view gradient, std::vector<double>& energies,
                        std::vector<double>& gradients);
    // The energy and gradient norm of a cycle line, whether each value
    // stands apart from its label or touches it.
    static bool CycleValues(const LineTokens& tokens, std::string_view& energy, std::string_view& gradient);
    // Appends a cycle line's value: a run of "*" is an unknown value.
    void AddCycleValue(std::string_view value, std::vector<double>& series);
    static bool IsSectionEnd(std::string_view line, const LineTokens& tokens);
    void ReadFinalEnergy(std::string_view line);

    std::vector<double> m_energies;
    int m_energiesOffset = 0;
    std::vector<double> m_energyChanges;
    int m_energyChangesOffset = 1;
    std::vector<double> m_gradients;
    int m_gradientsOffset = 0;
    double m_functionTolerance = 0.0;
    double m_gradientTolerance = 0.0;
    int m_unreadableValues = 0;
    bool m_hasFinalEnergy = false;
    bool m_finalEnergyUnreadable = false;
    double m_finalEnergy = 0.0;
};
