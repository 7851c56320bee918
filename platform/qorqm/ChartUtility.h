#pragma once
// Chart helpers over the host's 2-D chart interfaces: the chart of a chart
// document, its titles and flags, its graphs and their points and styles.
// Every failing host call is thrown as KelvResult with the host's error; a
// null document, chart or graph is E_POINTER.

#include "hostapi/charts.h"
#include "kelv/KelvComPtr.h"

#include <string>

class CChartUtility
{
public:
    // Chart `index` (counted from 1) of the document.
    static KelvComPtr<ISDChart2d> GetChart(ISDChart2dDocument* document, LONG index);

    // Titles of the axes and the chart; autoScale lets the axes follow the
    // data, showLegend shows the legend of the graphs.
    static void SetChartProperties(ISDChart2d* chart, const std::u16string& xAxisTitle,
                                   const std::u16string& yAxisTitle, const std::u16string& title, bool autoScale,
                                   bool showLegend);

    // Appends a graph named `name` with its markers, colour (0x00BBGGRR, 0 lets
    // the chart choose), line width (0 the default) and whether it is drawn
    // above the others; the new graph is handed out with one reference.
    static void AddGraphToChart(ISDChart2d* chart, ISDChart2dGraph** graph, const std::u16string& name,
                                bool showMarkers, LONG colour, LONG lineWidth, bool drawOnTop);

    // Graph `index` (counted from 1) of the chart.
    static KelvComPtr<ISDChart2dGraph> GetGraph(ISDChart2d* chart, LONG index);

    // Appends a point, tied to no item or to item `itemIndex`.
    static void AddDatumToGraph(ISDChart2dGraph* graph, double x, double y);
    static void AddDatumToGraph(ISDChart2dGraph* graph, double x, double y, LONG itemIndex);

    // Sets the graph's line style (an SDLineStyle value).
    static void SetLineStyle(LONG style, ISDChart2dGraph* graph);
};
