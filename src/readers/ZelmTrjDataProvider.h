// The module's trajectory data provider for the engine's results: every frame
// of a finished run held in memory as per-frame series, walked one frame at a
// time (frames counted from 1), served through the host's CTrjDataProvider
// slots in the host's standard cell orientation. Subclasses fill the series
// (the optimisation provider from the archive, the dynamics provider from the
// binary trajectory); this class owns the run's archive, the ".trjaux" atom
// list, the stepping and the cell maths.
//
// Per-atom series are frame-major: atom i (from 0) of frame f (from 1) at
// (f - 1) * N + i; the cell series holds the vectors a, b, c (x, y, z each)
// of a frame at (f - 1) * 9. Every index is computed in 64 bits.
//
// The frame's own cell values drive the cell and the realignment: a frame
// without cell values serves no cell and its atom vectors as they were read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com/com.h"
#include "hostapi/trajectory.h"
#include "qorvira/AtomicIndexMap.h"
#include "readers/TrajectoryArchive.h"

class CZelmTrjDataProvider : public CTrjDataProvider {
public:
    // `openArchive` makes the archive reader of Load (default: the module's,
    // OpenTrajectoryArchive).
    explicit CZelmTrjDataProvider(TrajectoryArchiveOpener openArchive = nullptr);
    ~CZelmTrjDataProvider() override;
    CZelmTrjDataProvider(const CZelmTrjDataProvider&) = delete;
    CZelmTrjDataProvider& operator=(const CZelmTrjDataProvider&) = delete;

    // Slots 0 to 23 of the host interface.
    // Restarts (Restart with the name) when a frame was served before; a
    // failure is thrown as KelvResult with its recorded text.
    bool GoToFirstFrame() override;
    // True when a frame was made current, false at the end; a failure while
    // the frame was made current is thrown as KelvResult, so that a stale
    // frame is never served as the next one.
    bool GoToNextFrame() override;
    const std::string& GetName() override;
    int GetCurrentFrame() override;
    int GetAtomCount() override;
    double GetAuxiliaryValue() override;
    double GetTimeStep() override;
    double GetTime() override;
    double GetEnergySum() override;
    double GetEnergyTerm1() override;
    double GetEnergyTerm2() override;
    double GetVolumeProduct() override;
    double GetCellVolume() override = 0;
    // Periodicity 3: (a.x, b.y, c.z, b.z, a.z, a.y) of the cell turned into
    // the standard orientation; 2: (1, |a| sin g, |b|, |a| cos g, 0, 0) of
    // the surface vectors; otherwise, or for a frame without cell values,
    // nothing is written.
    void GetCell(double* cell) override;
    void GetSixComponentValueA(double* values) override;
    void GetSixComponentValueB(double* values) override;
    double GetVolumeFactor() override = 0;
    double GetPressure() override = 0;
    const std::vector<double>& GetPositions() override;
    const std::vector<double>& GetThirdAtomVectors() override;
    const std::vector<double>& GetSecondAtomVectors() override;
    int GetPeriodicity() override = 0;
    int QueryOptionA() override = 0;
    int QueryOptionB() override = 0;

    // Slots 25 to 33. Those returning an HRESULT turn every exception into
    // it (with its error information).
    // Replaces the archive reader with one over name + ".arc"; on failure
    // the old reader stays.
    virtual HRESULT Load(const std::string& name);
    virtual HRESULT Restart(const std::string& name);
    virtual HRESULT BeforeRestart();
    virtual HRESULT Reset();
    // S_OK when a frame was made current, S_FALSE (1) past the last frame,
    // a failure code when making it current failed.
    virtual HRESULT Step();
    // The engine atom IDs of name + ".trjaux" ("#" lines are comments), or
    // 1..N when there is no such file.
    virtual HRESULT ReadAtomIds();
    virtual void LoadFramePositions();
    virtual void LoadSecondAtomVectors();
    virtual void LoadThirdAtomVectors();

    std::string ArchiveFilePath() const;
    std::string TrajectoryFilePath() const;
    std::string OutputFilePath() const;
    const std::vector<std::int32_t>& GetAtomIds() const { return m_atomIds; }
    const ITrajectoryArchive* GetArchive() const { return m_archive.get(); }

protected:
    // Turns the current frame's triples into the standard orientation.
    void RealignAtomVectors(std::vector<double>& triples);
    // The current frame's cell vectors; false (all zero) when the frame has
    // no cell values.
    bool GetCellVectors(double a[3], double b[3], double c[3]);
    bool GetCellVectorsAndRotation(double a[3], double b[3], double c[3], double rotation[3][3]);
    void GetCell3D(double* cell);
    void GetCell2D(double* cell);
    // Index of the current frame (from 0); throws E_UNEXPECTED when no frame
    // is current.
    std::size_t FrameIndex() const;
    // Element `index` of a series; E_UNEXPECTED when it is not there.
    static double At(const std::vector<double>& series, std::size_t index);
    // Start of the current frame's atoms in the per-atom series.
    std::size_t AtomOffset() const;

    std::string m_name;
    std::int32_t m_currentFrame = 0;
    std::vector<std::int32_t> m_atomIds;
    std::int32_t m_atomCount = 0;
    std::int32_t m_frameCount = 0;
    std::vector<double> m_time;
    std::vector<double> m_energyTerm1;
    std::vector<double> m_energyTerm2;
    std::vector<double> m_auxiliary;
    std::vector<double> m_x, m_y, m_z;
    std::vector<double> m_u, m_v, m_w;
    std::vector<double> m_cell;
    std::vector<double> m_cellParameters;
    std::unique_ptr<ITrajectoryArchive> m_archive;
    std::vector<double> m_secondAtomVectors;
    std::vector<double> m_positions;
    std::vector<double> m_thirdAtomVectors;
    CAtomicIndexMap m_atomIndexMap;

private:
    TrajectoryArchiveOpener m_openArchive;
};
