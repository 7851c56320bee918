#include "analysis/OpticalCharts.h"

#include "analysis/HistoryCharts.h"
#include "analysis/OpticalFunctions.h"

#include "kelv/kelv.h"
#include "qorqm/ChartUtility.h"

namespace {

struct GraphLayout {
    const char* name;
    LONG style;
};

std::u16string Wide(const std::string& text)
{
    return KelvBSTR(text).ToWString();
}

void LayOut(ISDChart2d* chart, const std::string& title, const std::string& xAxisText, const char* yAxisText,
            std::initializer_list<GraphLayout> graphs)
{
    CChartUtility::SetChartProperties(chart, Wide(xAxisText), Wide(yAxisText), Wide(title), true, true);
    for (const GraphLayout& graph : graphs)
        AddGraphWithLineStyle(chart, graph.name, graph.style);
}

void LayOutChart1(ISDChart2dDocument* document, const std::string& title, const std::string& xAxisText,
                  const char* yAxisText, std::initializer_list<GraphLayout> graphs)
{
    const KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, 1);
    LayOut(chart.get(), title, xAxisText, yAxisText, graphs);
}

// The graphs of chart `index`, in order, receive the series over the grid.
void Fill(ISDChart2dDocument* document, LONG index, const std::vector<double>& grid,
          std::initializer_list<std::vector<double>> series)
{
    const KelvComPtr<ISDChart2d> chart = CChartUtility::GetChart(document, index);
    LONG graph = 1;
    for (const std::vector<double>& values : series)
        ReplaceGraphPoints(chart.get(), graph++, grid, values, 0);
}

ComplexSeries Averaged(const TensorSeries& data)
{
    ComplexSeries values = PolycrystalAverage(data);
    if (values.empty())
        throw KelvResult(E_UNEXPECTED, "Polycrystal averaging failed in PlotDielectricConstant.");
    return values;
}

void DrawReflectivity(ISDChart2dDocument* document, const std::vector<double>& grid, const ComplexSeries& eps)
{
    Fill(document, 1, grid, {ReflectivitySeries(eps)});
}

void DrawRefractiveIndex(ISDChart2dDocument* document, const std::vector<double>& grid, const ComplexSeries& eps)
{
    Fill(document, 1, grid, {RefractiveIndexSeries(eps), ExtinctionSeries(eps)});
}

void DrawDielectricConstant(ISDChart2dDocument* document, const std::vector<double>& grid, const ComplexSeries& eps)
{
    Fill(document, 1, grid, {RealParts(eps), ImaginaryParts(eps)});
}

void DrawAbsorption(ISDChart2dDocument* document, const std::vector<double>& grid, const ComplexSeries& eps,
                    double factor)
{
    Fill(document, 1, grid, {AbsorptionSeries(eps, grid, factor)});
}

} // namespace

void SetUpReflectivityChart(ISDChart2dDocument* document, const std::string& title, const std::string& xAxisText)
{
    LayOutChart1(document, title, xAxisText, "R", {{"R", 2}});
}

void SetUpRefractiveIndexChart(ISDChart2dDocument* document, const std::string& title, const std::string& xAxisText)
{
    LayOutChart1(document, title, xAxisText, "Refraction", {{"N", 2}, {"K", 2}});
}

void SetUpDielectricConstantChart(ISDChart2dDocument* document, const std::string& title,
                                  const std::string& xAxisText)
{
    LayOutChart1(document, title, xAxisText, "Dielectric constant", {{"Re(Eps)", 2}, {"Im(Eps)", 2}});
}

void SetUpAbsorptionChart(ISDChart2dDocument* document, const std::string& title, const std::string& xAxisText)
{
    LayOutChart1(document, title, xAxisText, "Absorption coefficient (1/cm)", {{"Absorption", 2}});
}

void SetUpDielectricTensorCharts(ISDChart2dDocument* document, const std::string& diagonalTitle,
                                 const std::string& offDiagonalTitle, const std::string& xAxisText)
{
    Kelv::CheckNullDereference(document);
    KelvComPtr<ISDChart2dCollection> charts;
    KelvResult::Check(document->get_Charts(charts.Receive()));
    Kelv::CheckNullDereference(charts.get());
    KelvComPtr<ISDChart2d> diagonal;
    KelvResult::Check(charts->Item(1, diagonal.Receive()));
    Kelv::CheckNullDereference(diagonal.get());
    LayOut(diagonal.get(), diagonalTitle, xAxisText, "Dielectric Constant",
           {{"Re(Eps11)", 2}, {"Re(Eps22)", 2}, {"Re(Eps33)", 2}, {"Im(Eps11)", 5}, {"Im(Eps22)", 5},
            {"Im(Eps33)", 5}});
    KelvComPtr<ISDChart2d> offDiagonal;
    KelvResult::Check(charts->Add(offDiagonal.Receive()));
    Kelv::CheckNullDereference(offDiagonal.get());
    LayOut(offDiagonal.get(), offDiagonalTitle, xAxisText, "Dielectric Constant",
           {{"Re(Eps12)", 2}, {"Re(Eps13)", 2}, {"Re(Eps23)", 2}, {"Im(Eps12)", 5}, {"Im(Eps13)", 5},
            {"Im(Eps23)", 5}});
}

void PlotReflectivity(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data)
{
    DrawReflectivity(document, grid, Averaged(data));
}

void PlotRefractiveIndex(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data)
{
    DrawRefractiveIndex(document, grid, Averaged(data));
}

void PlotDielectricConstant(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data)
{
    if (grid.empty())
        return;
    DrawDielectricConstant(document, grid, Averaged(data));
}

void PlotAbsorptionCoefficient(ISDChart2dDocument* document, const std::vector<double>& grid,
                               const TensorSeries& data, double factor)
{
    DrawAbsorption(document, grid, Averaged(data), factor);
}

void PlotReflectivity(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data,
                      const double incident[3], const double reflected[3])
{
    DrawReflectivity(document, grid, DirectionalDielectricFunction(data, incident, reflected));
}

void PlotRefractiveIndex(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data,
                         const double incident[3], const double reflected[3])
{
    DrawRefractiveIndex(document, grid, DirectionalDielectricFunction(data, incident, reflected));
}

void PlotDielectricConstant(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data,
                            const double incident[3], const double reflected[3])
{
    DrawDielectricConstant(document, grid, DirectionalDielectricFunction(data, incident, reflected));
}

void PlotAbsorptionCoefficient(ISDChart2dDocument* document, const std::vector<double>& grid,
                               const TensorSeries& data, double factor, const double incident[3],
                               const double reflected[3])
{
    DrawAbsorption(document, grid, DirectionalDielectricFunction(data, incident, reflected), factor);
}

void PlotDielectricTensor(ISDChart2dDocument* document, const std::vector<double>& grid, const TensorSeries& data)
{
    const ComplexSeries xx = TensorComponent(data, EpsXX);
    const ComplexSeries yy = TensorComponent(data, EpsYY);
    const ComplexSeries zz = TensorComponent(data, EpsZZ);
    const ComplexSeries xy = TensorComponent(data, EpsXY);
    const ComplexSeries xz = TensorComponent(data, EpsXZ);
    const ComplexSeries yz = TensorComponent(data, EpsYZ);
    Fill(document, 1, grid,
         {RealParts(xx), RealParts(yy), RealParts(zz), ImaginaryParts(xx), ImaginaryParts(yy), ImaginaryParts(zz)});
    Fill(document, 2, grid,
         {RealParts(xy), RealParts(xz), RealParts(yz), ImaginaryParts(xy), ImaginaryParts(xz), ImaginaryParts(yz)});
}

void DrawOpticalProperties(ISDChart2dDocument* document, const COpticalProperties& optics, const std::string& seed)
{
    const std::string xAxisText = "Frequency " + FrequencyUnitLabel(optics.FrequencyUnit());
    const std::vector<double> grid = optics.GetOpticalFrequencyGrid();
    const TensorSeries data = optics.GetOpticalPlottingData();
    const double* incident = optics.IncidentDirection();
    const double* reflected = optics.ReflectedDirection();
    const bool single = optics.SampleType() == COpticalProperties::SingleCrystal;
    const bool poly = optics.SampleType() == COpticalProperties::Polycrystal;
    switch (optics.OpticalFunction()) {
    case COpticalProperties::Reflectivity:
        SetUpReflectivityChart(document, optics.MakeOpticalChartTitle(seed), xAxisText);
        if (single)
            PlotReflectivity(document, grid, data, incident, reflected);
        else if (poly)
            PlotReflectivity(document, grid, data);
        break;
    case COpticalProperties::RefractiveIndex:
        SetUpRefractiveIndexChart(document, optics.MakeOpticalChartTitle(seed), xAxisText);
        if (single)
            PlotRefractiveIndex(document, grid, data, incident, reflected);
        else if (poly)
            PlotRefractiveIndex(document, grid, data);
        break;
    case COpticalProperties::DielectricFunction:
        SetUpDielectricConstantChart(document, optics.MakeOpticalChartTitle(seed), xAxisText);
        if (single)
            PlotDielectricConstant(document, grid, data, incident, reflected);
        else if (poly)
            PlotDielectricConstant(document, grid, data);
        break;
    case COpticalProperties::Absorption:
        SetUpAbsorptionChart(document, optics.MakeOpticalChartTitle(seed), xAxisText);
        if (single)
            PlotAbsorptionCoefficient(document, grid, data, optics.AbsorptionFactor(), incident, reflected);
        else if (poly)
            PlotAbsorptionCoefficient(document, grid, data, optics.AbsorptionFactor());
        break;
    case COpticalProperties::TensorElements:
        SetUpDielectricTensorCharts(document, MakeDiagonalTensorTitle(seed), MakeOffDiagonalTensorTitle(seed),
                                    xAxisText);
        PlotDielectricTensor(document, grid, data);
        break;
    default:
        break;
    }
}
