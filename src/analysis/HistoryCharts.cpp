#include "analysis/HistoryCharts.h"

#include "kelv/kelv.h"
#include "qorqm/ChartUtility.h"
#include "qorqm/MessageText.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

namespace {

struct GraphLayout {
    const char16_t* name;
    LONG colour;
    bool onTop;
};

void LayOut(ISDChart2dDocument* document, const char16_t* title, const char16_t* xAxis, const char16_t* yAxis,
            std::initializer_list<GraphLayout> graphs)
{
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    CChartUtility::SetChartProperties(chart.get(), xAxis, yAxis, title, true, graphs.size() > 1);
    for (const GraphLayout& layout : graphs) {
        KelvComPtr<ISDChart2dGraph> graph;
        CChartUtility::AddGraphToChart(chart.get(), graph.Receive(), layout.name, true, layout.colour, 0,
                                       layout.onTop);
    }
}

const char16_t* const OptimizationStep = u"Optimization Step";
const char16_t* const DynamicsTitle = u"ZELM Dynamics History";
const char16_t* const SimulationTime = u"Simulation Time (ps)";

void ClearGraph(ISDChart2dGraph* graph)
{
    KelvResult::Check(graph->Clear());
}

double XBound(ISDChart2dGraph* graph, bool minimum, bool& present)
{
    VARIANT raw;
    VariantInit(&raw);
    const HRESULT hr = minimum ? graph->get_MinX(&raw) : graph->get_MaxX(&raw);
    const char* failure = minimum ? "Unable to get graph x-minimum." : "Unable to get graph x-maximum.";
    if (FAILED(hr)) {
        VariantClear(&raw);
        throw KelvResult(E_UNEXPECTED, failure);
    }
    if (raw.vt == VT_EMPTY) {
        present = false;
        return 0.0;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT change = VariantChangeType(&converted, &raw, 0, VT_R8);
    VariantClear(&raw);
    if (FAILED(change)) {
        VariantClear(&converted);
        throw KelvResult(E_UNEXPECTED, failure);
    }
    const double x = converted.dblVal;
    VariantClear(&converted);
    return x;
}

void DrawLevel(ISDChart2d* chart, LONG index, bool haveRange, double minX, double maxX, double level)
{
    KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(chart, index);
    if (FAILED(graph->Clear())) {
        throw KelvResult(E_UNEXPECTED, "Unable to clear graph");
    }
    // An empty gradient graph has no x range: the line is cleared and none
    // drawn, so no line from an earlier update stands over another run.
    if (!haveRange) {
        return;
    }
    const double y = LogWithFloor(level);
    CChartUtility::AddDatumToGraph(graph.get(), minX, y);
    CChartUtility::AddDatumToGraph(graph.get(), maxX, y);
    CChartUtility::SetLineStyle(SDLineDot, graph.get());
}

const char16_t* const GeomOptEnergyTitle = u"ZELM Geometry Optimization";
const char16_t* const ConvergenceTitle = u"ZELM Optimization Convergence";

std::size_t UnknownValues(const std::vector<double>& values)
{
    return static_cast<std::size_t>(
        std::count_if(values.begin(), values.end(), [](double value) { return std::isnan(value); }));
}

// A chart's title with a note of the values that could not be read ("a
// run of stars" in the output): the note is put when there are such values
// and taken off when there are none, and a title of the user's own is left
// as it is.
void NoteUnknownValues(ISDChart2d* chart, const char16_t* title, std::size_t unknown, const char* what)
{
    KelvBSTR current;
    KelvResult::Check(chart->get_Title(current.Receive()));
    const std::string base = KelvBSTR(std::u16string(title)).ToTString();
    const std::string now = current.ToTString();
    if (now != base && now.compare(0, base.size() + 2, base + " (") != 0) {
        return;
    }
    std::string wanted = base;
    if (unknown > 0) {
        wanted += " (" + std::to_string(unknown) + " " + what + (unknown == 1 ? "" : "s") + " could not be read)";
    }
    if (wanted != now) {
        KelvResult::Check(chart->put_Title(KelvBSTR(wanted).Get()));
    }
}

} // namespace

void CreateGeomOptEnergyChart(ISDChart2dDocument* document)
{
    LayOut(document, GeomOptEnergyTitle, OptimizationStep, u"Energy (eV)",
           {{u"Total Energy", 0x009B00, false}});
}

void CreateOptimizationConvergenceChart(ISDChart2dDocument* document)
{
    LayOut(document, ConvergenceTitle, OptimizationStep, u"Convergence (log10)",
           {{u"Energy Change (eV/atom)", 0xFF8000, false},
            {u"Gradient Normal", 0x4080FF, false},
            {u"Energy Tolerance", 0xFF8000, true},
            {u"Gradient Tolerance", 0x4080FF, true}});
}

void CreateDynamicsEnergyChart(ISDChart2dDocument* document)
{
    LayOut(document, DynamicsTitle, SimulationTime, u"Energy (eV)",
           {{u"Total Energy", 0xFF8000, false},
            {u"Kinetic Energy", 0x4080FF, false},
            {u"Potential Energy", 0x800040, false}});
}

void CreateDynamicsTemperatureChart(ISDChart2dDocument* document)
{
    LayOut(document, DynamicsTitle, SimulationTime, u"Temperature (K)", {{u"Ionic Temperature", 0xFF8000, false}});
}

void CreateDynamicsPressureChart(ISDChart2dDocument* document)
{
    LayOut(document, DynamicsTitle, SimulationTime, u"Pressure (GPa)", {{u"Hydrostatic Pressure", 0xFF8000, false}});
}

void CreateDynamicsConstantOfMotionChart(ISDChart2dDocument* document)
{
    LayOut(document, DynamicsTitle, SimulationTime, u"Constant of Motion (eV)",
           {{u"Constant of Motion", 0xFF8000, false}});
}

LONG GeomOptEnergyGraphs(const std::vector<double>& energies)
{
    return energies.empty() ? 0 : 1;
}

LONG ConvergenceGraphs(const std::vector<double>& energyChanges, bool drawTolerances)
{
    return energyChanges.empty() ? 0 : drawTolerances ? 4 : 2;
}

LONG DynamicsHistoryGraphs(const std::vector<double>& time, const std::vector<double>& total,
                           const std::vector<double>& kinetic, const std::vector<double>& potential)
{
    return time.empty() && total.empty() && kinetic.empty() && potential.empty() ? 0 : 3;
}

LONG DynamicsGraphs(const std::vector<double>& values)
{
    return values.empty() ? 0 : 1;
}

void RequireGraphs(ISDChart2dDocument* document, LONG graphs, const std::string& file)
{
    if (graphs <= 0)
        return;
    Kelv::CheckNullDereference(document);
    KelvComPtr<ISDChart2dCollection> charts;
    KelvResult::Check(document->get_Charts(charts.Receive()));
    Kelv::CheckNullDereference(charts.get());
    LONG held = 0;
    KelvResult::Check(charts->get_Count(&held));
    if (held >= 1) {
        KelvComPtr<ISDChart2d> chart;
        KelvResult::Check(charts->Item(1, chart.Receive()));
        Kelv::CheckNullDereference(chart.get());
        KelvComPtr<ISDChart2dGraphs> list;
        KelvResult::Check(chart->get_Graphs(list.Receive()));
        Kelv::CheckNullDereference(list.get());
        KelvResult::Check(list->get_Count(&held));
    }
    if (held < graphs)
        throw KelvResult(E_UNEXPECTED, "The chart document \"" + MessageText::Excerpt(file) + "\" is no chart of the run: its chart has " +
                                           std::to_string(held) + (held == 1 ? " graph" : " graphs") +
                                           ", and the run's chart draws " + std::to_string(graphs) +
                                           ". Move it out of the way to have the chart made anew.");
}

void UpdateGeomOptEnergyChart(ISDChart2dDocument* document, const std::vector<double>& energies, int offset)
{
    if (GeomOptEnergyGraphs(energies) == 0) {
        return;
    }
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    ReplaceGraphValues(chart.get(), 1, energies, offset);
    NoteUnknownValues(chart.get(), GeomOptEnergyTitle, UnknownValues(energies), "energy value");
}

void UpdateOptimizationConvergenceChart(ISDChart2dDocument* document, const std::vector<double>& energyChanges,
                                        int offset1, const std::vector<double>& gradients, int offset2,
                                        bool drawTolerances, double energyTolerance, double gradientTolerance)
{
    if (ConvergenceGraphs(energyChanges, drawTolerances) == 0) {
        return;
    }
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    ReplaceGraphValues(chart.get(), 1, LogWithFloor(energyChanges), offset1);
    ReplaceGraphValues(chart.get(), 2, LogWithFloor(gradients), offset2);
    if (drawTolerances) {
        DrawToleranceLines(document, energyTolerance, gradientTolerance);
    }
    NoteUnknownValues(chart.get(), ConvergenceTitle, UnknownValues(gradients), "gradient norm");
}

void UpdateDynamicsHistoryCharts(ISDChart2dDocument* document, const std::vector<double>& time,
                                 const std::vector<double>& total, int totalOffset,
                                 const std::vector<double>& kinetic, int kineticOffset,
                                 const std::vector<double>& potential, int potentialOffset)
{
    if (DynamicsHistoryGraphs(time, total, kinetic, potential) == 0) {
        return;
    }
    // Series of different lengths (a file read while the engine writes it)
    // give the times every series has a value for: no graph keeps points of
    // an earlier update, and no graph runs ahead of the others.
    const std::size_t common = std::min({time.size(), total.size(), kinetic.size(), potential.size()});
    const std::vector<double> x(time.begin(), time.begin() + static_cast<std::ptrdiff_t>(common));
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    ReplaceGraphPoints(chart.get(), 1, x, total, totalOffset);
    ReplaceGraphPoints(chart.get(), 2, x, kinetic, kineticOffset);
    ReplaceGraphPoints(chart.get(), 3, x, potential, potentialOffset);
}

void UpdateDynamicsChart(ISDChart2dDocument* document, const std::vector<double>& time,
                         const std::vector<double>& values, int offset)
{
    if (DynamicsGraphs(values) == 0) {
        return;
    }
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    ReplaceGraphPoints(chart.get(), 1, time, values, offset);
}

void ReplaceGraphPoints(ISDChart2d* chart, LONG index, const std::vector<double>& x, const std::vector<double>& y,
                        int offset)
{
    // One point per x value that has a y value: the graph's earlier points
    // always go, so a shorter series never leaves points of an earlier
    // update standing; values beyond the shorter series are not drawn.
    KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(chart, index);
    ClearGraph(graph.get());
    const std::size_t common = std::min(x.size(), y.size());
    for (std::size_t k = 0; k < common; ++k)
        CChartUtility::AddDatumToGraph(graph.get(), x[k], y[k], offset + static_cast<LONG>(k) + 1);
}

void ReplaceGraphValues(ISDChart2d* chart, LONG index, const std::vector<double>& values, int offset)
{
    KelvComPtr<ISDChart2dGraph> graph = CChartUtility::GetGraph(chart, index);
    ClearGraph(graph.get());
    LONG item = offset;
    for (double value : values) {
        ++item;
        // An unknown value (NaN) keeps its step but is no point.
        if (!std::isnan(value)) {
            CChartUtility::AddDatumToGraph(graph.get(), static_cast<double>(item), value, item);
        }
    }
}

void AddGraphData(ISDChart2dGraph* graph, const std::vector<double>& x, const std::vector<double>& y, int start)
{
    if (y.size() < x.size()) {
        return;
    }
    LONG item = start;
    for (std::size_t k = 0; k < x.size(); ++k) {
        ++item;
        CChartUtility::AddDatumToGraph(graph, x[k], y[k], item);
    }
}

void AddGraphWithLineStyle(ISDChart2d* chart, const std::string& name, LONG lineStyle)
{
    KelvComPtr<ISDChart2dGraph> graph;
    CChartUtility::AddGraphToChart(chart, graph.Receive(), KelvBSTR(name).ToWString(), false, 0, 0, true);
    CChartUtility::SetLineStyle(lineStyle, graph.get());
}

double LogWithFloor(double value)
{
    if (std::isnan(value)) {
        return value;
    }
    return std::log10(std::max(std::fabs(value), 1.0e-6));
}

std::vector<double> LogWithFloor(const std::vector<double>& values)
{
    std::vector<double> out;
    out.reserve(values.size());
    for (double value : values) {
        out.push_back(LogWithFloor(value));
    }
    return out;
}

bool GraphXRange(ISDChart2dGraph* graph, double& minX, double& maxX)
{
    bool present = true;
    minX = XBound(graph, true, present);
    maxX = XBound(graph, false, present);
    return present;
}

void DrawToleranceLines(ISDChart2dDocument* document, double energyTolerance, double gradientTolerance)
{
    KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    KelvComPtr<ISDChart2dGraph> gradient = CChartUtility::GetGraph(chart.get(), 2);
    double minX = 0.0;
    double maxX = 0.0;
    const bool haveRange = GraphXRange(gradient.get(), minX, maxX);
    DrawLevel(chart.get(), 3, haveRange, minX, maxX, energyTolerance);
    DrawLevel(chart.get(), 4, haveRange, minX, maxX, gradientTolerance);
}
