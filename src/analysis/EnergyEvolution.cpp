// The energy-evolution charts of an optimisation or dynamics run: energy and
// convergence per step, or constant of motion, energies, temperature and
// pressure against simulation time, each in a chart document of the results
// folder named after the run, tied to the run's trajectory document.
#include <map>
#include <memory>
#include <vector>

#include "common/ProjectPaths.h"
#include "analysis/AnalysisSupport.h"
#include "analysis/HistoryCharts.h"
#include "common/ResultFiles.h"
#include "analysis/ZelmAnalysis.h"
#include "qorqm/CDocManagementUtility.h"
#include "qorqm/ChartUpdateOperation.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "readers/GeomOptReaders.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"
#include "setup/ZelmRunInfo.h"

using namespace ZelmAnalysisSupport;

namespace {

constexpr const char* ChartDocumentProgId = "SDDocuments.Chart2dDocument";
constexpr const char* StructureDocumentProgId = "SDDocuments.Atomistic3dDocument";
constexpr const char* ChartTrajectoryHandler = "QorQMUtilities.ChartTrajectoryEventHandler";
constexpr const char* NoStructureDocument = "Atomistic 3D document not found";
constexpr const char* CorruptedResults = "Results document corrupted: possibly during early run termination.";

// A chart document of the run found or made in the folder, with its chart
// interface.
struct RunChart {
    KelvComPtr<ISBDocumentRoot> document;
    KelvComPtr<ISDChart2dDocument> chart;
    bool created = false;
};

RunChart FindOrCreateChart(const CDocManagementUtility& documents, const std::string& folder, const std::string& name)
{
    RunChart result;
    result.document = documents.FindOrCreateDocument(folder, name, ChartDocumentProgId, result.created);
    Kelv::CheckNullDereference(result.document.get());
    return result;
}

void TakeChartInterface(RunChart& chart)
{
    chart.chart = chart.document.QueryInterface<ISDChart2dDocument>();
}

std::string ChartName(const std::string& seed, const char* what)
{
    return seed + " " + what + ChartDocumentExtension();
}

// The charts of each kind of run, the first named in a refusal.
const std::vector<const char*> GeomOptCharts = {"Energies", "Convergence"};
const std::vector<const char*> DynamicsCharts = {"Constant", "Energy", "Temperature", "Pressure"};

// The run's chart of the name: the one the preparation found, else found
// or made in the folder.
RunChart PreparedChart(const std::map<std::string, KelvComPtr<ISBDocumentRoot>>* prepared,
                       const CDocManagementUtility& documents, const std::string& folder, const std::string& name)
{
    if (prepared) {
        const auto found = prepared->find(name);
        if (found != prepared->end()) {
            RunChart chart;
            chart.document = found->second;
            return chart;
        }
    }
    return FindOrCreateChart(documents, folder, name);
}

std::string NoEvolution(const std::string& output)
{
    return "The run \"" + PathUtilities::FileNameFromPath(output) +
           "\" is no optimisation or dynamics run: it has no energy evolution.";
}

} // namespace

struct CZelmAnalysis::EvolutionHistory {
    std::unique_ptr<CGeomOptOutputFileReader> optimisation;
    std::unique_ptr<CMolDynOutputFileReader> dynamics;
    // The run's chart documents that stand already, found (read) by name;
    // those not there are made by the drawing.
    std::map<std::string, KelvComPtr<ISBDocumentRoot>> charts;
};

namespace {

// Throws when the series of a dynamics run's history are not of one length;
// false when it gives none to chart.
bool DynamicsSeriesToChart(const CMolDynOutputFileInfo& information, const CMolDynOutputFileCommonInfo& common)
{
    const std::size_t n = information.GetTime().size();
    for (const std::vector<double>* series : {&common.GetTotalEnergy(), &common.GetKineticEnergy(),
                                              &common.GetPotentialEnergy(), &common.GetTemperature()})
        if (series->size() != n)
            throw KelvResult(E_UNEXPECTED, CorruptedResults);
    if (!common.GetPressure().empty() && common.GetPressure().size() != n)
        throw KelvResult(E_UNEXPECTED, CorruptedResults);
    return !common.GetTotalEnergy().empty() || !common.GetTemperature().empty() || !common.GetPressure().empty();
}

// The graphs each dynamics chart (in the order of DynamicsCharts) draws
// into: the constant of motion and the energies only with a total energy.
std::vector<LONG> DynamicsChartGraphs(const CMolDynOutputFileInfo& information,
                                      const CMolDynOutputFileCommonInfo& common)
{
    const bool energies = !common.GetTotalEnergy().empty();
    const bool conserved = !common.GetConservedQuantity().empty();
    return {energies ? DynamicsGraphs(conserved ? common.GetConservedQuantity() : common.GetTotalEnergy()) : 0,
            energies ? DynamicsHistoryGraphs(information.GetTime(), common.GetTotalEnergy(),
                                             common.GetKineticEnergy(), common.GetPotentialEnergy())
                     : 0,
            DynamicsGraphs(common.GetTemperature()), DynamicsGraphs(common.GetPressure())};
}

} // namespace

std::unique_ptr<CZelmAnalysis::EvolutionHistory> CZelmAnalysis::PrepareEnergyEvolution(const std::string& seed) const
{
    const std::string path = m_resultsFolder + seed + CZelmRunInfo::OutputFileExtension();
    // A run that failed or did not finish is no history to chart.
    COutputFileReader::CheckRunSucceeded(path);
    const int code = COutputFileReader::ScanRunType(path);
    // A surface run optimises its region 1 and writes its cycles as a bulk
    // optimisation does.
    const bool optimisation = code == COutputFileReader::RunGeomOpt || code == COutputFileReader::RunSurface;
    if (!optimisation && code != COutputFileReader::RunDynamics)
        throw KelvResult(E_UNEXPECTED, NoEvolution(path));
    if (!DiskUtilities::FileExists(path))
        throw KelvResult(E_UNEXPECTED, "Results file does not exist.");
    auto history = std::make_unique<EvolutionHistory>();
    bool charts = true;
    if (optimisation) {
        history->optimisation = std::make_unique<CGeomOptOutputFileReader>(path);
    } else {
        history->dynamics = std::make_unique<CMolDynOutputFileReader>(path);
        const CMolDynOutputFileInfo information = history->dynamics->GetOutputFileInfo();
        charts = DynamicsSeriesToChart(information, information.GetCommonInfo());
    }
    // The charts are tied to the run's trajectory, built first when it is
    // not there; a dynamics run of no series draws nothing to tie.
    if (!charts)
        return history;
    CheckEvolutionCanBeTied(seed, code);
    // The charts of the run that stand are read as the drawing takes them;
    // the others, and the trajectory's files, are made in the results folder.
    const CDocManagementUtility documents(Root());
    // A chart that stands holds the graphs the run's series are drawn into.
    const std::vector<const char*>& names = optimisation ? GeomOptCharts : DynamicsCharts;
    std::vector<LONG> graphs;
    if (optimisation) {
        graphs = {GeomOptEnergyGraphs(history->optimisation->GetSeries1()),
                  ConvergenceGraphs(history->optimisation->GetSeries2(), true)};
    } else {
        const CMolDynOutputFileInfo information = history->dynamics->GetOutputFileInfo();
        graphs = DynamicsChartGraphs(information, information.GetCommonInfo());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string name = ChartName(seed, names[i]);
        KelvComPtr<ISBDocumentRoot> found = documents.FindDocument(m_resultsFolder + name, std::string());
        if (!found)
            continue;
        RequireGraphs(found.QueryInterface<ISDChart2dDocument>().get(), graphs[i], m_resultsFolder + name);
        history->charts[name] = std::move(found);
    }
    CheckChartCanBeMade(m_resultsFolder + ChartName(seed, names.front()));
    return history;
}

HRESULT CZelmAnalysis::get_CanViewEnergyEvolution(VARIANT_BOOL* pCanViewEnergyEvolution)
{
    return RunCommand([&] {
        RequireOutput(pCanViewEnergyEvolution);
        *pCanViewEnergyEvolution = VARIANT_FALSE;
        get_ContainsResultsForProperty(KelvBSTR(ResultCategoryEnEvol()).Get(), pCanViewEnergyEvolution);
        const std::string path = m_resultsFolder + SelectedResult(ResultCategoryEnEvol());
        if (!DiskUtilities::FileExists(path)) {
            *pCanViewEnergyEvolution = VARIANT_FALSE;
            return;
        }
        const bool contains = *pCanViewEnergyEvolution != VARIANT_FALSE;
        *pCanViewEnergyEvolution = VARIANT_FALSE;
        if (!contains) {
            COutputFileReader::CheckRunSucceeded(path);
            COutputFileReader::ScanRunType(path);
            return;
        }
        // The command's own preparation: a no gives the reason it fails with.
        PrepareEnergyEvolution(SeedNameFromPath(path));
        *pCanViewEnergyEvolution = VARIANT_TRUE;
    });
}

HRESULT CZelmAnalysis::PlotEnergyEvolution()
{
    return RunCommand([&] {
        const std::string seed = SeedNameFromPath(SelectedResult(ResultCategoryEnEvol()));
        const std::unique_ptr<EvolutionHistory> history = PrepareEnergyEvolution(seed);
        if (history->optimisation) {
            DrawGeomOptEvolution(seed, *history->optimisation, &history->charts);
            return;
        }
        const CMolDynOutputFileInfo information = history->dynamics->GetOutputFileInfo();
        DrawMolDynCharts(seed, information, information.GetCommonInfo(), &history->charts);
    });
}

void CZelmAnalysis::CheckEvolutionCanBeTied(const std::string& seed, int code) const
{
    if (TrajectoryBuilt(seed))
        return;
    const CDocManagementUtility documents(Root());
    const std::string base = m_resultsFolder + seed;
    if (!documents.FindDocument(base, StructureDocumentExtension()))
        throw KelvResult(ZELM_E_NO_STRUCTURE_DOCUMENT, NoStructureDocument);
    CheckTrajectoryFiles(base, code);
}

void CZelmAnalysis::FindOrCreateAtomistic3dDocument(const std::string& folder, const std::string& name,
                                                    const std::string& seed)
{
    // Looked up first: a document made here only to find that there was none
    // would stay in the project, empty, and be taken for the run's structure
    // the next time.
    const CDocManagementUtility documents(Root());
    const std::string base = PathUtilities::Join(folder, PathUtilities::ExtensionRemoved(name));
    const KelvComPtr<ISBDocumentRoot> structure = documents.FindDocument(base, StructureDocumentExtension());
    if (!structure)
        throw KelvResult(ZELM_E_NO_STRUCTURE_DOCUMENT, NoStructureDocument);
    // The trajectory is built for the run being plotted, whatever run the
    // "Structure" category has selected.
    BuildTrajectory(structure.get(), seed);
}

bool CZelmAnalysis::TrajectoryBuilt(const std::string& seed) const
{
    // A document without its frames is what a failed build leaves behind.
    const std::string base = m_resultsFolder + seed;
    return DiskUtilities::FileExists(base + CZelmRunInfo::TrajectoryDocumentExtension()) &&
           DiskUtilities::FileExists(base + ".trj");
}

HRESULT CZelmAnalysis::PlotGeomOptEvolution(std::string seed)
{
    return RunCommand([&] {
        const std::string output = m_resultsFolder + seed + CZelmRunInfo::OutputFileExtension();
        if (!DiskUtilities::FileExists(output))
            throw KelvResult(E_UNEXPECTED, "Results file does not exist.");
        DrawGeomOptEvolution(seed, CGeomOptOutputFileReader(output));
    });
}

void CZelmAnalysis::DrawGeomOptEvolution(const std::string& seed, const CGeomOptOutputFileReader& reader,
                                         const std::map<std::string, KelvComPtr<ISBDocumentRoot>>* charts)
{
    const std::string trajectory = m_resultsFolder + seed + CZelmRunInfo::TrajectoryDocumentExtension();
    if (!TrajectoryBuilt(seed))
        FindOrCreateAtomistic3dDocument(m_resultsFolder, seed + StructureDocumentExtension(), seed);

    const CDocManagementUtility documents(Root());
    RunChart energy = PreparedChart(charts, documents, m_resultsFolder, ChartName(seed, GeomOptCharts[0]));
    RunChart convergence = PreparedChart(charts, documents, m_resultsFolder, ChartName(seed, GeomOptCharts[1]));
    TakeChartInterface(energy);
    TakeChartInterface(convergence);
    const KelvComPtr<IUnknown> energyView = HandToDocumentService(energy.document.get());
    const KelvComPtr<IUnknown> convergenceView = HandToDocumentService(convergence.document.get());

    const UpdateUtilities::CChart2dDocumentUpdateOperation energyUpdate(energy.chart.get());
    const UpdateUtilities::CChart2dDocumentUpdateOperation convergenceUpdate(convergence.chart.get());
    if (energy.created)
        CreateGeomOptEnergyChart(energy.chart.get());
    if (convergence.created)
        CreateOptimizationConvergenceChart(convergence.chart.get());
    UpdateGeomOptEnergyChart(energy.chart.get(), reader.GetSeries1(), reader.GetSeries1Offset());
    documents.AssociateDocuments(energy.document, ChartTrajectoryHandler, trajectory);
    UpdateOptimizationConvergenceChart(convergence.chart.get(), reader.GetSeries2(), reader.GetSeries2Offset(),
                                       reader.GetSeries3(), reader.GetSeries3Offset(), true,
                                       reader.GetTolerance1(), reader.GetTolerance2());
    documents.AssociateDocuments(convergence.document, ChartTrajectoryHandler, trajectory);
}

HRESULT CZelmAnalysis::PlotMolDynEvolution(std::string seed)
{
    return RunCommand([&] {
        const std::string output = m_resultsFolder + seed + CZelmRunInfo::OutputFileExtension();
        if (!DiskUtilities::FileExists(output))
            throw KelvResult(E_UNEXPECTED, "Results file does not exist.");
        const CMolDynOutputFileReader reader(output);
        const CMolDynOutputFileInfo information = reader.GetOutputFileInfo();
        const CMolDynOutputFileCommonInfo common = information.GetCommonInfo();
        const HRESULT hr = PlotMolDynCharts(seed, information, common);
        if (FAILED(hr))
            KelvResult::Check(hr);
    });
}

HRESULT CZelmAnalysis::PlotMolDynCharts(std::string seed, CMolDynOutputFileInfo information,
                                        CMolDynOutputFileCommonInfo common)
{
    return RunCommand([&] { DrawMolDynCharts(seed, information, common, nullptr); });
}

void CZelmAnalysis::DrawMolDynCharts(const std::string& seed, const CMolDynOutputFileInfo& information,
                                     const CMolDynOutputFileCommonInfo& common,
                                     const std::map<std::string, KelvComPtr<ISBDocumentRoot>>* charts)
{
    const std::vector<double>& time = information.GetTime();
    if (!DynamicsSeriesToChart(information, common))
        return;
    const bool energyFlag = !common.GetTotalEnergy().empty();
    const bool temperatureFlag = !common.GetTemperature().empty();
    const bool pressureFlag = !common.GetPressure().empty();

    const std::string trajectory = m_resultsFolder + seed + CZelmRunInfo::TrajectoryDocumentExtension();
    if (!TrajectoryBuilt(seed))
        FindOrCreateAtomistic3dDocument(m_resultsFolder, seed + StructureDocumentExtension(), seed);

    const CDocManagementUtility documents(Root());
    RunChart constant = PreparedChart(charts, documents, m_resultsFolder, ChartName(seed, DynamicsCharts[0]));
    RunChart energy = PreparedChart(charts, documents, m_resultsFolder, ChartName(seed, DynamicsCharts[1]));
    RunChart temperature = PreparedChart(charts, documents, m_resultsFolder, ChartName(seed, DynamicsCharts[2]));
    RunChart pressure = PreparedChart(charts, documents, m_resultsFolder, ChartName(seed, DynamicsCharts[3]));
    std::vector<std::unique_ptr<UpdateUtilities::CChart2dDocumentUpdateOperation>> updates;
    for (RunChart* chart : {&constant, &energy, &temperature, &pressure}) {
        TakeChartInterface(*chart);
        updates.push_back(std::make_unique<UpdateUtilities::CChart2dDocumentUpdateOperation>(chart->chart.get()));
    }
    if (energyFlag && constant.created)
        CreateDynamicsConstantOfMotionChart(constant.chart.get());
    if (energyFlag && energy.created)
        CreateDynamicsEnergyChart(energy.chart.get());
    if (temperatureFlag && temperature.created)
        CreateDynamicsTemperatureChart(temperature.chart.get());
    if (pressureFlag && pressure.created)
        CreateDynamicsPressureChart(pressure.chart.get());

    std::vector<KelvComPtr<IUnknown>> views;
    const auto show = [&](const RunChart& chart) {
        views.push_back(HandToDocumentService(chart.document.get()));
        documents.AssociateDocuments(chart.document, ChartTrajectoryHandler, trajectory);
    };
    if (energyFlag) {
        const bool conserved = !common.GetConservedQuantity().empty();
        UpdateDynamicsChart(constant.chart.get(), time,
                            conserved ? common.GetConservedQuantity() : common.GetTotalEnergy(),
                            conserved ? common.GetConservedQuantityOffset() : common.GetTotalEnergyOffset());
        show(constant);
        UpdateDynamicsHistoryCharts(energy.chart.get(), time, common.GetTotalEnergy(),
                                    common.GetTotalEnergyOffset(), common.GetKineticEnergy(),
                                    common.GetKineticEnergyOffset(), common.GetPotentialEnergy(),
                                    common.GetPotentialEnergyOffset());
        show(energy);
    }
    if (temperatureFlag) {
        UpdateDynamicsChart(temperature.chart.get(), time, common.GetTemperature(), common.GetTemperatureOffset());
        show(temperature);
    }
    if (pressureFlag) {
        UpdateDynamicsChart(pressure.chart.get(), time, common.GetPressure(), common.GetPressureOffset());
        show(pressure);
    }
}
