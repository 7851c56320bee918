// The contents of a chart document (charts, their graphs and points with
// their drawing styles) and its file (".qcd"): a readable JSON text of our
// own. Texts are kept as single bytes (Latin-1) in memory and written as
// UTF-8, so that "Å" in an axis title survives; numbers that JSON cannot
// hold (not-a-number, infinities) are written as the texts "nan", "inf"
// and "-inf".
#pragma once

#include "host/charts/FileDocument.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace HostCharts {

struct ChartPoint {
    double x = 0.0;
    double y = 0.0;
    std::int32_t itemIndex = 0; // the frame or step the point belongs to; 0: none
};

struct GraphData {
    std::string name;
    bool showMarkers = false;
    std::int32_t colour = 0;    // 0x00BBGGRR; 0: the chart chooses
    std::int32_t lineWidth = 0; // points; 0: default
    bool drawOnTop = false;
    std::int32_t lineStyle = 1; // SDLineSolid
    std::vector<ChartPoint> points;
};

// A labelled mark on the x axis (a labelled point of a band structure).
struct AxisMark {
    double x = 0.0;
    std::string text;
};

struct ChartData {
    std::string title;
    std::string xAxisTitle;
    std::string yAxisTitle;
    bool autoScale = true;
    bool showLegend = false;
    std::vector<std::shared_ptr<GraphData>> graphs;
    std::vector<AxisMark> xMarks; // in the order they were added
};

using ChartList = std::vector<std::shared_ptr<ChartData>>;

// Contents compared by value (not-a-number equals not-a-number, so that a
// file read back compares equal to what was written).
bool SameGraph(const GraphData& a, const GraphData& b);
bool SameChart(const ChartData& a, const ChartData& b);
bool SameCharts(const ChartList& a, const ChartList& b);

class ChartFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ChartFileText(const DocumentHeader& header, const ChartList& charts);
// Throws ChartFileError with the reason for malformed text.
void ReadChartFileText(const std::string& text, DocumentHeader& header, ChartList& charts);

// Writes the file through a temporary beside it, so that a failed write
// leaves the previous file whole. Throws ChartFileError.
void WriteChartFile(const std::string& path, const DocumentHeader& header, const ChartList& charts);
// Throws ChartFileError naming the file.
void ReadChartFile(const std::string& path, DocumentHeader& header, ChartList& charts);

// Writes text to a file through a temporary beside it, synced and renamed
// into place (CReplaceFile): a write that fails or stops half-way leaves the
// previous file whole and no partial file under its name. Throws
// std::runtime_error with the reason.
void ReplaceFile(const std::string& path, const std::string& text);

} // namespace HostCharts
