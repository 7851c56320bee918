// The history charts of an engine run: layouts of new chart documents for a
// geometry optimisation (energy, convergence) and a dynamics run (energies,
// temperature, pressure, constant of motion), and updaters that replace the
// graphs' points with whole series. A series carries a start offset: its
// point k (k = 1, 2, ...) gets the item index offset + k, and on the
// optimisation charts also the x value offset + k.
//
// Empty or mismatched series leave a chart as it was. A failing host call is
// thrown as KelvResult; points already put into earlier graphs stay.
#pragma once

#include "hostapi/charts.h"

#include <string>
#include <vector>

void CreateGeomOptEnergyChart(ISDChart2dDocument* document);
void CreateOptimizationConvergenceChart(ISDChart2dDocument* document);
void CreateDynamicsEnergyChart(ISDChart2dDocument* document);
void CreateDynamicsTemperatureChart(ISDChart2dDocument* document);
void CreateDynamicsPressureChart(ISDChart2dDocument* document);
void CreateDynamicsConstantOfMotionChart(ISDChart2dDocument* document);

// How many graphs of chart 1 each update below draws into for its series
// (0: it leaves the chart as it was); a chart that stands already must hold
// them.
LONG GeomOptEnergyGraphs(const std::vector<double>& energies);
LONG ConvergenceGraphs(const std::vector<double>& energyChanges, bool drawTolerances);
LONG DynamicsHistoryGraphs(const std::vector<double>& time, const std::vector<double>& total,
                           const std::vector<double>& kinetic, const std::vector<double>& potential);
LONG DynamicsGraphs(const std::vector<double>& values);
// Throws, naming the chart's file, when the document's chart 1 holds fewer
// than `graphs` graphs (or it has no chart).
void RequireGraphs(ISDChart2dDocument* document, LONG graphs, const std::string& file);

// Graph 1: (offset + k, energy k). Values that are NaN (unknown: the
// output printed stars) are no points; the chart's title notes how many
// there are.
void UpdateGeomOptEnergyChart(ISDChart2dDocument* document, const std::vector<double>& energies, int offset);
// Graph 1: (offset1 + k, L(change k)); graph 2: (offset2 + k, L(gradient k));
// with drawTolerances the two tolerance lines over graph 2's x range. Nothing
// happens without energy changes. Unknown gradient norms are noted in the
// title as on the energy chart.
void UpdateOptimizationConvergenceChart(ISDChart2dDocument* document, const std::vector<double>& energyChanges,
                                        int offset1, const std::vector<double>& gradients, int offset2,
                                        bool drawTolerances, double energyTolerance, double gradientTolerance);
// Graphs 1 to 3: (time k, total / kinetic / potential k) for the times all
// four series have a value for; the earlier points always go. Nothing
// happens when all four series are empty.
void UpdateDynamicsHistoryCharts(ISDChart2dDocument* document, const std::vector<double>& time,
                                 const std::vector<double>& total, int totalOffset,
                                 const std::vector<double>& kinetic, int kineticOffset,
                                 const std::vector<double>& potential, int potentialOffset);
// Graph 1: (time k, value k) for the times both series have; nothing
// happens without values.
void UpdateDynamicsChart(ISDChart2dDocument* document, const std::vector<double>& time,
                         const std::vector<double>& values, int offset);

// Replaces the points of graph `index` by (x k, y k) with item indexes
// offset + k, for k up to the length of the shorter series; the graph's
// earlier points always go.
void ReplaceGraphPoints(ISDChart2d* chart, LONG index, const std::vector<double>& x, const std::vector<double>& y,
                        int offset);
// Replaces the points of graph `index` by (offset + k, value k); a NaN
// value gives no point.
void ReplaceGraphValues(ISDChart2d* chart, LONG index, const std::vector<double>& values, int offset);
// Appends (x k, y k) with item indexes start + k; series of different
// lengths append nothing.
void AddGraphData(ISDChart2dGraph* graph, const std::vector<double>& x, const std::vector<double>& y, int start);
// Appends a graph drawn on top in the given line style.
void AddGraphWithLineStyle(ISDChart2d* chart, const std::string& name, LONG lineStyle);

// log10(max(|v|, 1e-6)); NaN stays NaN.
double LogWithFloor(double value);
std::vector<double> LogWithFloor(const std::vector<double>& values);

// Lines at L(energy tolerance) (graph 3) and L(gradient tolerance) (graph
// 4) from the smallest to the largest x of graph 2.
void DrawToleranceLines(ISDChart2dDocument* document, double energyTolerance, double gradientTolerance);
// The smallest and largest x of the graph; false for a graph without points.
bool GraphXRange(ISDChart2dGraph* graph, double& minX, double& maxX);
