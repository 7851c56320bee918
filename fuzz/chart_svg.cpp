// Chart documents (".qcd") drawn as SVG pictures, as `zelm-host chart`
// draws a document a user received: any title, axis title, graph name or
// mark, any number of lines, graphs and points. A refused document throws
// ChartFileError; a chart that cannot be drawn (values spanning beyond the
// largest number) is refused with std::runtime_error before the picture is
// written. A picture that is written must be a whole SVG document. Every
// message (refusals and warnings) must be short and free of control
// characters.
#include "FuzzFiles.h"

#include "host/charts/ChartFile.h"
#include "host/charts/ChartSvg.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = QzFuzz::WriteWhole(data, size, "input.qcd");
    HostCharts::DocumentHeader header;
    HostCharts::ChartList charts;
    if (!QzFuzz::AcceptsQuoting<HostCharts::ChartFileError>([&] { HostCharts::ReadChartFile(path, header, charts); }))
        return 0;
    // Very many graphs or points only make the run slow, not another path.
    std::size_t points = 0;
    for (const auto& chart : charts)
        for (const auto& graph : chart->graphs)
            points += graph->points.size() + 1;
    if (charts.size() > 64 || points > 20000)
        return 0;
    const std::string picture = QzFuzz::Folder() + "/picture.svg";
    std::remove(picture.c_str());
    std::vector<std::string> warnings;
    try {
        warnings = HostCharts::WriteChartSvg(charts, picture);
    } catch (const std::runtime_error& error) {
        QzFuzz::CheckMessage(error.what());
        return 0;
    }
    for (const std::string& warning : warnings)
        QzFuzz::CheckMessage(warning);
    const std::string svg = QzFuzz::ReadWhole(picture);
    if (svg.rfind("<?xml", 0) != 0 || svg.find("</svg>") == std::string::npos)
        QzFuzz::Finding("a chart drawn without an error left no whole picture");
    return 0;
}
