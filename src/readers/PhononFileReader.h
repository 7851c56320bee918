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
#include <utility>
#include <vector>

class CEngineLineReader;

// The frequencies of the k-points read, point by point in one block of
// values: a point's list is a range of the block (a point whose lines were
// cut short holds fewer values than the modes).
class CPointFrequencies
{
public:
    // One point's frequencies, valid while the record is not changed.
    class List
    {
    public:
        List(const double* first, const double* last) : m_first(first), m_last(last) {}
        const double* begin() const { return m_first; }
        const double* end() const { return m_last; }
        std::size_t size() const { return static_cast<std::size_t>(m_last - m_first); }
        bool empty() const { return m_first == m_last; }
        double operator[](std::size_t i) const { return m_first[i]; }
        std::vector<double> ToVector() const { return std::vector<double>(m_first, m_last); }

    private:
        const double* m_first;
        const double* m_last;
    };

    // The number of points.
    std::size_t size() const { return m_starts.size(); }
    bool empty() const { return m_starts.empty(); }
    List operator[](std::size_t point) const;

    void clear();
    void reserve(std::size_t points, std::size_t values);
    // Begins the next point; Add appends to it.
    void StartPoint() { m_starts.push_back(m_values.size()); }
    void Add(double frequency) { m_values.push_back(frequency); }
    // The bytes held.
    std::size_t Bytes() const;

private:
    std::vector<double> m_values;
    // Where each point's values begin.
    std::vector<std::size_t> m_starts;
};

// The labels of the k-points: one a point, "" for the many without one;
// only those with a label are held.
class CPointLabels
{
public:
    // `count` points, none labelled.
    void Reset(std::size_t count);
    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    // The point's label; "" without one (and beyond the last point).
    const std::string& operator[](std::size_t point) const;
    const std::string& front() const { return (*this)[0]; }
    const std::string& back() const { return (*this)[m_count - 1]; }
    // Labels a point within the count ("" takes its label away).
    void Set(std::size_t point, const std::string& label);
    // The labelled points in their order: position and label.
    const std::vector<std::pair<std::size_t, std::string>>& Labelled() const { return m_labels; }
    // Every point's label.
    std::vector<std::string> ToVector() const;

private:
    std::size_t m_count = 0;
    std::vector<std::pair<std::size_t, std::string>> m_labels;
};

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
    CPointFrequencies frequencies;
    std::vector<xxPoint3d> kPoints;
    // One per counted point: inside, segment start, segment end or joint.
    std::vector<SegmentBoundaryTypeEnum> boundaryTypes;
    // One per k-point read; "" where the point has no label.
    CPointLabels labels;
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
                                       CPointFrequencies& frequencies, long modes, long points,
                                       double& minimumFrequency);
    // The last "Cartesian lattice vectors" block of an output; a vector line
    // of fewer than three words leaves that vector.
    static void ReadLatticeVectors(std::istream& stream, double a[3], double b[3], double c[3]);
    // The positions (from 0) whose type is not "inside".
    static std::vector<std::size_t> BoundaryPositions(const std::vector<SegmentBoundaryTypeEnum>& types);
};
