// The dynamics part of a main output (".gout") and the pressure file (".pre")
// beside it: the ensemble, the rows of the equilibration and the production
// stage (instantaneous and averaged values), the configuration pressure,
// and the final cell of a periodic or slab system.
#pragma once

#include "readers/OutputFileReader.h"

#include <string>
#include <vector>

// A series with the start offset that goes with it to the history charts
// (always 0 here). The accessors of the records hand out the series itself.
#define QZ_RECORD_SERIES(Name)                                                                                         \
public:                                                                                                                \
    std::vector<double>& Get##Name() { return m_##Name; }                                                              \
    const std::vector<double>& Get##Name() const { return m_##Name; }                                                  \
    int Get##Name##Offset() const { return m_##Name##Offset; }                                                         \
                                                                                                                       \
private:                                                                                                               \
    std::vector<double> m_##Name;                                                                                      \
    int m_##Name##Offset = 0;

// The values of one kind (instantaneous or running average) of one stage.
class CMolDynOutputFileCommonInfo
{
public:
    CMolDynOutputFileCommonInfo() = default;
    CMolDynOutputFileCommonInfo(const CMolDynOutputFileCommonInfo&) = default;
    CMolDynOutputFileCommonInfo& operator=(const CMolDynOutputFileCommonInfo&) = default;
    virtual ~CMolDynOutputFileCommonInfo();

    QZ_RECORD_SERIES(TotalEnergy)
    QZ_RECORD_SERIES(PotentialEnergy)
    QZ_RECORD_SERIES(KineticEnergy)
    QZ_RECORD_SERIES(ConservedQuantity)
    QZ_RECORD_SERIES(Pressure)
    // Six values per ".pre" line: step i holds elements 6(i - 1) to 6(i - 1) + 5.
    QZ_RECORD_SERIES(PressureFileSeries)
    QZ_RECORD_SERIES(Temperature)
    QZ_RECORD_SERIES(CellVolume)
    QZ_RECORD_SERIES(CellA)
    QZ_RECORD_SERIES(CellB)
    QZ_RECORD_SERIES(CellC)
    QZ_RECORD_SERIES(CellAlpha)
    QZ_RECORD_SERIES(CellBeta)
    QZ_RECORD_SERIES(CellGamma)
};

// The rows of one stage of a dynamics run.
class CMolDynOutputFileInfo
{
public:
    CMolDynOutputFileInfo() = default;
    CMolDynOutputFileInfo(const CMolDynOutputFileInfo&) = default;
    CMolDynOutputFileInfo& operator=(const CMolDynOutputFileInfo&) = default;
    virtual ~CMolDynOutputFileInfo();

    QZ_RECORD_SERIES(Time)
    QZ_RECORD_SERIES(ThermostatKE)
    QZ_RECORD_SERIES(ThermostatIntegral)
    QZ_RECORD_SERIES(BarostatTerm)

public:
    CMolDynOutputFileCommonInfo& GetCommonInfo() { return m_common; }
    const CMolDynOutputFileCommonInfo& GetCommonInfo() const { return m_common; }
    CMolDynOutputFileCommonInfo& GetAveragedCommonInfo() { return m_averaged; }
    const CMolDynOutputFileCommonInfo& GetAveragedCommonInfo() const { return m_averaged; }
    // The configuration pressure (GPa).
    double GetScalarValue() const { return m_scalarValue; }
    void SetScalarValue(double value) { m_scalarValue = value; }

private:
    CMolDynOutputFileCommonInfo m_common;
    CMolDynOutputFileCommonInfo m_averaged;
    double m_scalarValue = 0.0;
};

#undef QZ_RECORD_SERIES

// Reads the main output's own part (see COutputFileReader), then the
// dynamics part. Failures (KelvResult E_UNEXPECTED): "Unable to open ZELM
// .gout file.", "Unable to open ZELM pressure file." for a ".pre" that
// exists but cannot be read, and "Severe error reported in ZELM .gout file."
// for any line of either file that contains "severe". Every scan ends at a
// line of more than 1023 characters.
class CMolDynOutputFileReader : public COutputFileReader
{
public:
    enum Ensemble { EnsembleNVE = 1, EnsembleNVT = 2, EnsembleNPT = 3 };

    explicit CMolDynOutputFileReader(const std::string& path);
    ~CMolDynOutputFileReader() override;

    void Read(const std::string& path) override;

    int GetEnsemble() const { return m_ensemble; }
    // The production stage.
    CMolDynOutputFileInfo& GetOutputFileInfo() { return m_production; }
    const CMolDynOutputFileInfo& GetOutputFileInfo() const { return m_production; }
    const CMolDynOutputFileInfo& GetEquilibrationInfo() const { return m_equilibration; }

    // The next line of the reader; throws on a line that reports a severe error.
    static bool GetLine(CEngineLineReader& lines);
    // 1 NVE (also when the output names no ensemble), 2 NVT, 3 NPT.
    static int ReadEnsemble(const std::string& path);
    // Fills the record from the rows after the line containing startMarker up
    // to the line containing endMarker (or the end of the file).
    static void ReadSection(const std::string& path, const std::string& startMarker, const std::string& endMarker,
                            CMolDynOutputFileInfo& record);
    // The configuration pressure (GPa); 0.0 when the output has none.
    static double ReadPressure(const std::string& path);
    // Appends the six values of every "Instant:" and "Average:" line of a
    // ".pre" file to the record's instantaneous and averaged series.
    static void ReadPressureFile(CMolDynOutputFileInfo& record, const std::string& prePath);
    // The final cell of a periodic system: the "a =", "b =" and "c =" lines
    // after the "Cell parameters" heading (blank lines between them and the
    // heading are passed over). Without a complete cell block the arguments
    // keep their values.
    static void ReadCellParameters(double& a, double& b, double& c, double& alpha, double& beta, double& gamma,
                                   const std::string& path);
    // The final surface cell of a slab, likewise after the "Surface cell
    // parameters" heading. Without a complete block the arguments keep their
    // values.
    static void ReadSurfaceCellParameters(double& a, double& b, double& alpha, const std::string& path);

private:
    // Reads on from a cell heading to the block's first line and tokenises it
    // into tokens; false at the end of the file.
    static bool FindFirstCellLine(CEngineLineReader& lines, LineTokens& tokens);

    int m_ensemble = EnsembleNVE;
    CMolDynOutputFileInfo m_equilibration;
    CMolDynOutputFileInfo m_production;
};
