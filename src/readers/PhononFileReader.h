// The phonon dispersion of a run: the ".disp" file's k-points and
// frequencies by path segment, the labels of the path's vertices from the
// run's k-point path file, and the reciprocal lattice of the cell in the
// main output.
#pragma once

#include "dravix/dravix.h"
#include "hostapi/utilities.h"

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

class CEngineLineReader;

// One run's phonon dispersion, filled by CPhononFileReader::Read.
class CZelmPhononData
{
public:
    explicit CZelmPhononData(const std::string& path) : resultsPath(path) {}

    // The run's files without extension (folder and seed).
    std::string resultsPath;
    // Set by the owner once a read has succeeded.
    bool loaded = false;
    // One list per k-point read: that point's frequencies (cm-1).
    std::vector<std::vector<double>> frequencies;
    std::vector<xxPoint3d> kPoints;
    // One per counted point: inside, segment start, segment end or joint.
    std::vector<SegmentBoundaryTypeEnum> boundaryTypes;
    // One per k-point read; "" where the point has no label.
    std::vector<std::string> labels;
    std::int32_t numberOfModes = 0;
    double minimumFrequency = 10000.0;
    xxMatrix3x3 reciprocalLattice;
    // 1, 2, ..., N.
    std::vector<LONG> pointNumbers;
};

class CZelmPhononDataReaderBase
{
public:
    virtual void Read(std::string path, CZelmPhononData& data) = 0;
    virtual ~CZelmPhononDataReaderBase();
};

// Reads "<path>.disp", the k-point path beside it and "<path>.gout".
// Failures (KelvResult E_UNEXPECTED): "Failed to open ZELM dispersion file.",
// "Failed to open ZELM output file.", a dispersion file without a single
// point (no mode, no section, fewer points than sections), and those of the
// k-point path file.
class CPhononFileReader : public CZelmPhononDataReaderBase
{
public:
    void Read(std::string path, CZelmPhononData& data) override;

    // Counts and segments of an open dispersion file; the stream is rewound
    // after each counting pass.
    static void ParseDispersionFile(std::istream& stream, CZelmPhononData& data, const std::string& fileName);
    static void CountSectionsAndDataLines(std::istream& stream, long& sections, long& dataLines);
    static long CountModes(std::istream& stream);
    // One segment of `points` points; false when its start or final line
    // does not fit or the data end before it does.
    static bool ParseDispersionSegment(CEngineLineReader& lines, std::vector<xxPoint3d>& kPoints,
                                       std::vector<std::vector<double>>& frequencies, long modes, long points,
                                       double& minimumFrequency);
    // The last "Cartesian lattice vectors" block of an output; a vector line
    // of fewer than three words leaves that vector.
    static void ReadLatticeVectors(std::istream& stream, double a[3], double b[3], double c[3]);
    // The positions (from 0) whose type is not "inside".
    static std::vector<std::size_t> BoundaryPositions(const std::vector<SegmentBoundaryTypeEnum>& types);
};
