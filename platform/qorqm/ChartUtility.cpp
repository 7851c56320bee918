#include "qorqm/ChartUtility.h"

#include "kelv/kelv.h"

namespace {

template <class T>
T* Required(T* pointer, const char* what)
{
    if (pointer == nullptr) {
        throw KelvResult(E_POINTER, std::string("CChartUtility: no ") + what + ".");
    }
    return pointer;
}

VARIANT_BOOL Flag(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

} // namespace

KelvComPtr<ISDChart2d> CChartUtility::GetChart(ISDChart2dDocument* document, LONG index)
{
    KelvComPtr<ISDChart2dCollection> charts;
    KelvResult::Check(Required(document, "chart document")->get_Charts(charts.Receive()));
    KelvComPtr<ISDChart2d> chart;
    KelvResult::Check(Required(charts.get(), "chart collection")->Item(index, chart.Receive()));
    Required(chart.get(), "chart");
    return chart;
}

void CChartUtility::SetChartProperties(ISDChart2d* chart, const std::u16string& xAxisTitle,
                                       const std::u16string& yAxisTitle, const std::u16string& title, bool autoScale,
                                       bool showLegend)
{
    Required(chart, "chart");
    KelvResult::Check(chart->put_XAxisTitle(KelvBSTR(xAxisTitle).Get()));
    KelvResult::Check(chart->put_YAxisTitle(KelvBSTR(yAxisTitle).Get()));
    KelvResult::Check(chart->put_Title(KelvBSTR(title).Get()));
    KelvResult::Check(chart->put_AutoScale(Flag(autoScale)));
    KelvResult::Check(chart->put_ShowLegend(Flag(showLegend)));
}

void CChartUtility::AddGraphToChart(ISDChart2d* chart, ISDChart2dGraph** graph, const std::u16string& name,
                                    bool showMarkers, LONG colour, LONG lineWidth, bool drawOnTop)
{
    Required(graph, "place for the new graph");
    *graph = nullptr;
    KelvComPtr<ISDChart2dGraphs> graphs;
    KelvResult::Check(Required(chart, "chart")->get_Graphs(graphs.Receive()));
    KelvComPtr<ISDChart2dGraph> added;
    KelvResult::Check(Required(graphs.get(), "graph list")->Add(KelvBSTR(name).Get(), added.Receive()));
    Required(added.get(), "new graph");
    KelvResult::Check(added->put_ShowMarkers(Flag(showMarkers)));
    KelvResult::Check(added->put_Colour(colour));
    KelvResult::Check(added->put_LineWidth(lineWidth));
    KelvResult::Check(added->put_DrawOnTop(Flag(drawOnTop)));
    *graph = added.Detach();
}

KelvComPtr<ISDChart2dGraph> CChartUtility::GetGraph(ISDChart2d* chart, LONG index)
{
    KelvComPtr<ISDChart2dGraphs> graphs;
    KelvResult::Check(Required(chart, "chart")->get_Graphs(graphs.Receive()));
    KelvComPtr<ISDChart2dGraph> graph;
    KelvResult::Check(Required(graphs.get(), "graph list")->Item(index, graph.Receive()));
    Required(graph.get(), "graph");
    return graph;
}

void CChartUtility::AddDatumToGraph(ISDChart2dGraph* graph, double x, double y)
{
    AddDatumToGraph(graph, x, y, 0);
}

void CChartUtility::AddDatumToGraph(ISDChart2dGraph* graph, double x, double y, LONG itemIndex)
{
    KelvResult::Check(Required(graph, "graph")->AddPoint(x, y, itemIndex));
}

void CChartUtility::SetLineStyle(LONG style, ISDChart2dGraph* graph)
{
    KelvResult::Check(Required(graph, "graph")->put_LineStyle(style));
}
