// The reader of the engine's main output (".gout"): dimensionality, the core
// and shell counts of the atom table, and the oscillator-strength (".osc")
// and phonon density-of-states (".dens") files beside it; also the run type
// of an output. The base of the optimisation and dynamics output readers.
#pragma once

#include "readers/ReaderBase.h"

#include "dravix/dravix.h"

#include <string>
#include <vector>

struct ISDChart2dDocument;

class COutputFileReader : public CFileReaderBase
{
public:
    // Run types answered by ScanRunType (the task codes of the run settings).
    enum RunType { RunEnergy = 1, RunGeomOpt = 2, RunDynamics = 3, RunSurface = 5 };

    // Reads the output and the ".osc" and ".dens" files beside it (when they
    // exist). Failures leave the constructor as KelvResult E_UNEXPECTED:
    // "Unable to open ZELM .gout file.", "Found invalid field in the string
    // <token>" for a dimensionality that is no number, and those of the side
    // files.
    explicit COutputFileReader(const std::string& path);
    ~COutputFileReader() override;

    void Read(const std::string& path) override;

    // The kind of run that wrote the output: 1 Energy (also when nothing is
    // recognised), 2 GeomOpt, 3 Dynamics, 5 Surface. An optimisation is a
    // surface run when, before "General input information", a line holds
    // "Region 1 :" or the first "Dimensionality" line gives 2 (a slab, also
    // one printed without regions). The last answer is kept for the same
    // file (place, size, time of change); so is CheckRunSucceeded's.
    static int ScanRunType(const std::string& path);
    // ScanRunType's reading of the file, made each time.
    static int ReadRunType(const std::string& path);

    // True when the output reports an engine failure: a line that begins
    // with "!! ERROR" (after the engine's indent), whose reason is the text
    // after "!! ERROR :" on the first such line; or, without such a line, a
    // line "Program terminated by processor ...", whose reason is the framed
    // "****" notes the engine wrote shortly before it, or else that line
    // itself. A run that ended with warnings is no failed run. "Unable to
    // open ZELM .gout file." when it cannot be opened.
    static bool ScanEngineError(const std::string& path, std::string& reason);
    // True, with a message for the user, when the output reports an engine
    // failure (as above: "The ZELM run failed: <reason>") or when it opened
    // with the engine's "Job Started" line and holds none of its closing
    // lines (the timing table's "Total CPU time", "Job Finished", "completed
    // with N warnings"): a run that was stopped or is still being written.
    // An output without a "Job Started" line is judged by its errors alone.
    // Not for the output of a job that is still running.
    static bool ScanRunProblem(const std::string& path, std::string& message);
    // Both of the above from one pass over the output: whether it reports an
    // engine error and its reason (as ScanEngineError gives them), and the
    // message of ScanRunProblem ("" without a problem).
    struct RunCheck {
        bool engineError = false;
        std::string reason;
        std::string problem;
    };
    static RunCheck ScanRun(const std::string& path);
    // Throws KelvResult E_FAIL with the message of ScanRunProblem when the
    // output exists and reports a failed or unfinished run; nothing
    // otherwise.
    static void CheckRunSucceeded(const std::string& path);

    // Dimensionality of the output's first "Dimensionality" line: the number
    // after the word, with or without "=" between ("Dimensionality 3 : Bulk",
    // "Dimensionality = 3 : Bulk"); 3 when there is no such line or nothing
    // follows the word; "Found invalid field in the string <token>" when the
    // value is no number, or when "=" stands with no number after it.
    void ReadDimensionality(const std::string& path);
    // Counts the core ("c") and shell ("s") rows of the output's atom table,
    // of every region of a table split into regions ("Region n :", with or
    // without words after the colon).
    static void ReadAtomTable(const std::string& path, int& coreCount, int& shellCount);
    // The same, and the values of the "Number of irreducible atoms/shells"
    // and "Total number atoms/shells" lines (0 when the output has none).
    // A table of fewer sites than the total is the asymmetric unit of a
    // structure given with its space group.
    static void ReadAtomTable(const std::string& path, int& coreCount, int& shellCount, int& irreducibleCount,
                              int& totalCount);
    // Reads the first oscillator-strength block of an ".osc" file: the mode
    // frequencies, one tensor per mode and the high-frequency dielectric
    // tensor. A block that breaks the format leaves no frequencies and no
    // tensors. "Unable to open ZELM .osc file." when it cannot be opened.
    void ReadOscFile(const std::string& path);
    // Appends the frequency and density pairs of a ".dens" file. "Unable to
    // open ZELM .dens file." when it cannot be opened.
    void ReadDensFile(const std::string& path);

    // True when some oscillator strength is above 1e-8; otherwise false with
    // a message for the user that names "<seed>.osc".
    bool CheckOscillatorStrengths(const std::string& seedName, std::string& message) const;

    // Lays out a new density-of-states chart: titles and a "DOS" graph.
    static void PlotDos(ISDChart2dDocument* document, const std::u16string& title, const std::u16string& xAxisTitle);
    // Fills the chart's first graph with the points; no frequencies leave the
    // chart as it is.
    static void FillDosChart(ISDChart2dDocument* document, const std::vector<double>& frequencies,
                             const std::vector<double>& densities);

    int GetDimensionality() const { return m_dimensionality; }
    bool GetFirstFlag() const { return m_firstFlag; }
    bool GetSecondFlag() const { return m_secondFlag; }
    int GetCoreCount() const { return m_coreCount; }
    int GetShellCount() const { return m_shellCount; }
    int GetIrreducibleCount() const { return m_irreducibleCount; }
    int GetTotalCount() const { return m_totalCount; }
    xxMatrix3x3 GetHighFrequencyDielectricTensor() const { return m_dielectricTensor; }
    const std::vector<double>& GetModeFrequencies() const { return m_modeFrequencies; }
    const std::vector<xxMatrix3x3>& GetOscillatorStrengths() const { return m_oscillatorStrengths; }
    const std::vector<double>& GetDosFrequencies() const { return m_dosFrequencies; }
    const std::vector<double>& GetDosValues() const { return m_dosValues; }
    // Why the ".dens" file gives no density of states to chart: a value of
    // a point that is no number ("nan", "inf", "0x10"), naming the file, the
    // line and the word; empty when there is none. Such a file gives no
    // point at all.
    const std::string& GetDosFailure() const { return m_dosFailure; }

protected:
    // "Region n : ..." of an atom table split into regions.
    static bool IsRegionLine(const LineTokens& tokens);

    int m_dimensionality = 3;
    bool m_firstFlag = true;
    bool m_secondFlag = true;
    int m_coreCount = 0;
    int m_shellCount = 0;
    int m_irreducibleCount = 0;
    int m_totalCount = 0;
    xxMatrix3x3 m_dielectricTensor;
    std::vector<double> m_modeFrequencies;
    std::vector<xxMatrix3x3> m_oscillatorStrengths;
    std::vector<double> m_dosFrequencies;
    std::vector<double> m_dosValues;
    std::string m_dosFailure;
};
