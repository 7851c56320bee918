// The optical-properties charts: layouts of a new chart document for each
// optical function, and the plots that fill their graphs from the dielectric
// tensors on the frequency grid. The single-crystal forms take the incident
// and reflected directions, the polycrystal forms average the tensor. A
// failing host call is thrown as KelvResult with the host's error.
#pragma once

#include "analysis/OpticalSettings.h"

#include "hostapi/charts.h"

#include <string>
#include <vector>

// Chart 1: titles and "R" (reflectivity), "N" and "K" (refractive index),
// "Re(Eps)" and "Im(Eps)" (dielectric function) or "Absorption".
void SetUpReflectivityChart(ISDChart2dDocument* document, const std::string& title, const std::string& xAxisText);
void SetUpRefractiveIndexChart(ISDChart2dDocument* document, const std::string& title, const std::string& xAxisText);
void SetUpDielectricConstantChart(ISDChart2dDocument* document, const std::string& title,
                                  const std::string& xAxisText);
void SetUpAbsorptionChart(ISDChart2dDocument* document, const std::string& title, const std::string& xAxisText);
// Chart 1 with the diagonal elements, a new chart 2 with the off-diagonal
// ones: real parts in style 2, imaginary parts in style 5.
void SetUpDielectricTensorCharts(ISDChart2dDocument* document, const std::string& diagonalTitle,
                                 const std::string& offDiagonalTitle, const std::string& xAxisText);

using TensorSeries = std::vector<DielectricTensor>;

// Polycrystal forms: an empty average raises "Polycrystal averaging failed
// in PlotDielectricConstant." (E_UNEXPECTED), except that the dielectric
// constant of an empty grid draws nothing.
void PlotReflectivity(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data);
void PlotRefractiveIndex(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data);
void PlotDielectricConstant(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data);
void PlotAbsorptionCoefficient(ISDChart2dDocument* document, const std::vector<double>& grid,
                               const TensorSeries& data, double factor);

// Single-crystal forms (the direction messages of DirectionalDielectricFunction).
void PlotReflectivity(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data,
                      const double incident[3], const double reflected[3]);
void PlotRefractiveIndex(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data,
                         const double incident[3], const double reflected[3]);
void PlotDielectricConstant(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data,
                            const double incident[3], const double reflected[3]);
void PlotAbsorptionCoefficient(ISDChart2dDocument* document, const std::vector<double>& grid,
                               const TensorSeries& data, double factor, const double incident[3],
                               const double reflected[3]);

// Chart 1: real parts of xx, yy, zz, then their imaginary parts; chart 2:
// the same of xy, xz, yz.
void PlotDielectricTensor(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data);

// Lays out chart 1 (or both tensor charts) for the settings' optical
// function and fills it by their sample type; an unknown function draws
// nothing, an unknown sample type leaves the graphs empty.
void DrawOpticalProperties(ISDChart2dDocument* document, const COpticalProperties& optics, const std::string& seed);
