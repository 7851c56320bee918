// The trajectory data provider: what the host's trajectory writer reads, frame
// by frame, to write a ".trj" trajectory file behind a ".qtd" document.
#pragma once

#include <string>
#include <vector>

// Abstract source of trajectory frames. Frames are 1-based; atom vectors are
// flat lists x0, y0, z0, x1, ... of the current frame.
class CTrjDataProvider {
public:
    CTrjDataProvider() = default;

    // Makes the first frame current; false when there is none.
    virtual bool GoToFirstFrame() = 0;
    // Makes the next frame current; false after the last one.
    virtual bool GoToNextFrame() = 0;
    // The trajectory's name (the base path of the run, without extension).
    virtual const std::string& GetName() = 0;
    // The current frame (1-based).
    virtual int GetCurrentFrame() = 0;
    // Number of atoms of every frame.
    virtual int GetAtomCount() = 0;
    // An auxiliary value of the current frame (for instance the temperature).
    virtual double GetAuxiliaryValue() = 0;
    // Time since the previous frame.
    virtual double GetTimeStep() = 0;
    // Time of the current frame.
    virtual double GetTime() = 0;
    // Sum of the two energy terms.
    virtual double GetEnergySum() = 0;
    // First energy term (for instance the potential energy).
    virtual double GetEnergyTerm1() = 0;
    // Second energy term (for instance the kinetic energy).
    virtual double GetEnergyTerm2() = 0;
    // Volume factor times cell volume.
    virtual double GetVolumeProduct() = 0;
    // Volume of the current cell.
    virtual double GetCellVolume() = 0;
    // Writes the current cell into cell[0..5] as the six numbers that describe
    // it in the standard orientation (c along +z, b in the yz plane; see
    // LatticeUtilities): a.x, b.y, c.z, b.z, a.z, a.y. They are components
    // of the cell vectors, not lengths and angles.
    virtual void GetCell(double* cell) = 0;
    // Writes a six-component value of the current frame (for instance the stress) into values[0..5].
    virtual void GetSixComponentValueA(double* values) = 0;
    // Writes a second six-component value of the current frame into values[0..5].
    virtual void GetSixComponentValueB(double* values) = 0;
    // Factor applied to the cell volume by GetVolumeProduct.
    virtual double GetVolumeFactor() = 0;
    // Pressure of the current frame.
    virtual double GetPressure() = 0;
    // Atom positions of the current frame.
    virtual const std::vector<double>& GetPositions() = 0;
    // Third per-atom vectors of the current frame (empty when none).
    virtual const std::vector<double>& GetThirdAtomVectors() = 0;
    // Second per-atom vectors of the current frame (for instance velocities; empty when none).
    virtual const std::vector<double>& GetSecondAtomVectors() = 0;
    // 3 for a 3-D periodic system, 2 for a slab, anything else for none.
    virtual int GetPeriodicity() = 0;
    // Provider-specific option answered to the writer.
    virtual int QueryOptionA() = 0;
    // Second provider-specific option answered to the writer.
    virtual int QueryOptionB() = 0;

    virtual ~CTrjDataProvider() = default;
};
