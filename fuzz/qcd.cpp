// The host's chart documents (".qcd"). A refused file throws ChartFileError
// (its message short and free of control characters);
// a document that was read writes as a text that reads back to the same
// charts.
#include "FuzzFiles.h"

#include "host/charts/ChartFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = QzFuzz::WriteWhole(data, size, "input.qcd");
    HostCharts::DocumentHeader header;
    HostCharts::ChartList charts;
    if (!QzFuzz::AcceptsQuoting<HostCharts::ChartFileError>([&] { HostCharts::ReadChartFile(path, header, charts); }))
        return 0;
    HostCharts::DocumentHeader headerAgain;
    HostCharts::ChartList chartsAgain;
    HostCharts::ReadChartFileText(HostCharts::ChartFileText(header, charts), headerAgain, chartsAgain);
    if (!HostCharts::SameCharts(charts, chartsAgain) || header.name != headerAgain.name ||
        header.properties != headerAgain.properties)
        QzFuzz::Finding("a chart document read back differs from what was written");
    return 0;
}
