// The density-of-states chart of the main output reader.

#include "readers/OutputFileReader.h"

#include "analysis/HistoryCharts.h"
#include "qorqm/ChartUtility.h"

void COutputFileReader::PlotDos(ISDChart2dDocument* document, const std::u16string& title,
                                const std::u16string& xAxisTitle)
{
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    CChartUtility::SetChartProperties(chart.get(), xAxisTitle, u"DOS (arb. units)", title, true, true);
    AddGraphWithLineStyle(chart.get(), "DOS", SDLineDash);
}

void COutputFileReader::FillDosChart(ISDChart2dDocument* document, const std::vector<double>& frequencies,
                                     const std::vector<double>& densities)
{
    if (frequencies.empty()) {
        return;
    }
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(chart.get(), 1);
    AddGraphData(graph.get(), frequencies, densities, 0);
}
