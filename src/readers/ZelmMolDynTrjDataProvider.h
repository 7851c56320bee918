// The trajectory of a finished dynamics run: the frames of the binary
// trajectory (".trg", read through the two exported functions), the
// per-step values and the final cell of the main output (".gout").
#pragma once

#include <memory>
#include <string>

#include "readers/RunOutput.h"
#include "readers/ZelmTrjDataProvider.h"

class CZelmMolDynTrjDataProvider : public CZelmTrjDataProvider {
public:
    // A loaded provider for the run at `name` (result base path), or null
    // when its ".gout" or ".trg" is missing; throws KelvResult when the run
    // cannot be read. The caller owns it.
    static CZelmMolDynTrjDataProvider* Create(const std::string& name);

    // The atoms of every frame of a run whose output's atom table holds
    // `cores` cores and `shells` shells, `irreducible` of `total` sites: the
    // cores, or, when the table is the asymmetric unit of a structure given
    // with its space group, the cores of the whole cell, which the
    // trajectory file holds. Throws KelvResult, naming the counts, when the
    // output does not tell them.
    static int WholeCellCoreCount(int cores, int shells, int irreducible, int total);

    // Throws why the trajectory file of the run at `name` (result base path)
    // cannot be loaded, as a load finds it: its output cannot be read, its
    // header cannot be read ("Failed to read ZELM trajectory file header.",
    // naming what stands in place of the file) or its atoms do not match the
    // output's.
    static void CheckTrajectoryFile(const std::string& name);

    // Loads the run; a failure is thrown as KelvResult.
    explicit CZelmMolDynTrjDataProvider(const std::string& name);
    ~CZelmMolDynTrjDataProvider() override;

    // The output's instantaneous cell volume of the frame; without one (no
    // rows, or fewer steps than frames) the volume of a 3-D frame's cell,
    // else 0.0.
    double GetCellVolume() override;
    // The frame's six pressure-file values; zeros without them.
    void GetSixComponentValueA(double* values) override;
    // The frame's instantaneous pressure; 0.0 without it.
    double GetVolumeFactor() override;
    double GetPressure() override;
    int GetPeriodicity() override;
    int QueryOptionA() override;
    int QueryOptionB() override;
    HRESULT Load(const std::string& name) override;
    HRESULT Reset() override;
    void LoadSecondAtomVectors() override;

    bool HasCellRecords() const { return m_cellFlag != 0; }

private:
    // What the header of a trajectory file gives, checked against the run's
    // output: atoms and frames of the file, its version, the cell flag the
    // output's ensemble asks for, and the atoms of each frame that match the
    // structure.
    struct TrajectoryHeader {
        int cellFlag = 0;
        int atoms = 0;
        int frames = 0;
        double version = 0.0;
        int cores = 0;
    };
    static TrajectoryHeader ReadTrajectoryHeader(const IDynamicsRunOutput& output, const std::string& path);
    void LoadTrajectory();
    // The final cell of a fixed-cell run: the output's, else the archive's.
    bool FinalCell(double& a, double& b, double& c, double& alpha, double& beta, double& gamma);

    std::unique_ptr<IDynamicsRunOutput> m_output;
    int m_cellFlag = 0;
};
