// The optical-properties command of the analysis component: the settings,
// frequency grid and dielectric tensors it keeps, and the chart it makes.
#include "analysis/ZelmAnalysis.h"

#include "analysis/AnalysisSupport.h"
#include "analysis/OpticalCharts.h"
#include "common/ResultFiles.h"
#include "readers/OutputFileReader.h"
#include "setup/ZelmRunInfo.h"

#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ChartUpdateOperation.h"

#include <memory>

using namespace ZelmAnalysisSupport;


void CZelmAnalysis::ReadOpticalSettings()
{
    if (const CStateHelper* state = StateHelper())
        m_optics.ReadOpticalSettings(*state);
}

bool CZelmAnalysis::BuildOpticalFrequencyGrid()
{
    return m_optics.BuildOpticalFrequencyGrid();
}

std::vector<double> CZelmAnalysis::GetOpticalFrequencyGrid() const
{
    return m_optics.GetOpticalFrequencyGrid();
}

std::string CZelmAnalysis::MakeOpticalChartTitle(const std::string& seed) const
{
    return m_optics.MakeOpticalChartTitle(seed);
}

void CZelmAnalysis::MakeOpticalDescription(std::string& text) const
{
    m_optics.MakeOpticalDescription(text);
}

void CZelmAnalysis::GenOpticsPlottingData(const std::vector<double>& modeFrequencies,
                                          const std::vector<xxMatrix3x3>& oscillatorStrengths,
                                          const xxMatrix3x3& highFrequencyTensor)
{
    m_optics.GenOpticsPlottingData(modeFrequencies, oscillatorStrengths, highFrequencyTensor);
}

std::vector<DielectricTensor> CZelmAnalysis::GetOpticalPlottingData() const
{
    return m_optics.GetOpticalPlottingData();
}

namespace {

std::string NoOptics(const std::string& folder)
{
    return "Optical properties are not available.\nNo output in \"" + folder +
           "\" has optical results (an .osc file of oscillator strengths and the frequency-dependent properties in "
           "its .gout).";
}

// Throws why the optical properties of the run of `seed` cannot be charted,
// else gives the run's files (the output with its ".osc" and ".dens" files)
// read as the chart reads them: the command and its answer both ask here.
std::unique_ptr<COutputFileReader> ReadOptics(const std::string& folder, const std::string& seed)
{
    // No output of the folder holds optics (no ".osc" with oscillator
    // strengths beside it): say so rather than open "<folder>/.gout".
    if (seed.empty())
        throw KelvResult(E_UNEXPECTED, NoOptics(folder));
    const std::string outputPath = folder + seed + CZelmRunInfo::OutputFileExtension();
    if (!DiskUtilities::FileExists(outputPath))
        throw KelvResult(E_UNEXPECTED, "Unable to open ZELM .gout file.\n\"" + outputPath + "\" does not exist.");
    COutputFileReader::CheckRunSucceeded(outputPath);
    auto reader = std::make_unique<COutputFileReader>(outputPath);
    std::string message;
    if (!reader->CheckOscillatorStrengths(seed, message))
        throw KelvResult(E_UNEXPECTED, "Optical properties are not available.\n" + message);
    return reader;
}

} // namespace

struct CZelmAnalysis::OpticsPlan {
    std::string seed;
    // The chart document's file to be made ("<seed> Optical Properties.qcd").
    std::string chart;
    // The settings, grid and dielectric tensors the chart draws.
    COpticalProperties optics;
};

std::unique_ptr<CZelmAnalysis::OpticsPlan> CZelmAnalysis::PrepareOptics() const
{
    auto plan = std::make_unique<OpticsPlan>();
    plan->seed = SeedNameFromPath(SelectedResult(ResultCategoryOptics()));
    const std::unique_ptr<COutputFileReader> reader = ReadOptics(ResultsFolder(), plan->seed);
    // The settings as they stand, read over those the last chart kept.
    plan->optics = m_optics;
    plan->optics.Clear();
    if (const CStateHelper* state = StateHelper())
        plan->optics.ReadOpticalSettings(*state);
    if (!plan->optics.BuildOpticalFrequencyGrid())
        throw KelvResult(E_UNEXPECTED,
                         "Invalid combination of grid resolution, initial and final frequencies for optical plots.");
    plan->optics.GenOpticsPlottingData(reader->GetModeFrequencies(), reader->GetOscillatorStrengths(),
                                       reader->GetHighFrequencyDielectricTensor());
    plan->chart = ResultsFolder() + plan->seed + " Optical Properties" + ChartDocumentExtension();
    CheckChartCanBeMade(plan->chart);
    return plan;
}

void CZelmAnalysis::DrawOptics(const OpticsPlan& plan)
{
    m_optics = plan.optics;
    const NewChart made = CreateChartDocument(plan.chart);
    UpdateUtilities::CChart2dDocumentUpdateOperation update(made.chart.get());
    DrawOpticalProperties(made.chart.get(), m_optics, plan.seed);
}

HRESULT CZelmAnalysis::get_CanPlotOpticalProperties(VARIANT_BOOL* pCanPlot)
{
    return RunCommand([&] {
        RequireOutput(pCanPlot);
        *pCanPlot = VARIANT_FALSE;
        // The command's own preparation: a no gives the reason it fails with.
        PrepareOptics();
        *pCanPlot = VARIANT_TRUE;
    });
}

HRESULT CZelmAnalysis::PlotOpticalProperties()
{
    return RunCommand([&] {
        m_optics.Clear();
        DrawOptics(*PrepareOptics());
    });
}
