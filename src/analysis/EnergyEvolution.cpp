// The energy-evolution charts of an optimisation or dynamics run: energy and
// convergence per step, or constant of motion, energies, temperature and
// pressure against simulation time, each in a chart document of the results
// folder named after the run, tied to the run's trajectory document.
#include <memory>

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

std::string NoEvolution(const std::string& output)
{
    return "The run \"" + PathUtilities::FileNameFromPath(output) +
           "\" is no optimisation or dynamics run: it has no energy evolution.";
}

} // namespace

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
        COutputFileReader::CheckRunSucceeded(path);
        const int code = COutputFileReader::ScanRunType(path);
        if (!contains)
            return;
        if (code == COutputFileReader::RunEnergy)
            throw KelvResult(E_UNEXPECTED, NoEvolution(path));
        // What the command would refuse, the answer refuses with its reason.
        CheckEvolutionCanBeTied(SeedNameFromPath(path), code);
        *pCanViewEnergyEvolution = VARIANT_TRUE;
    });
}

HRESULT CZelmAnalysis::PlotEnergyEvolution()
{
    return RunCommand([&] {
        const std::string seed = SeedNameFromPath(SelectedResult(ResultCategoryEnEvol()));
        const std::string path = m_resultsFolder + seed + CZelmRunInfo::OutputFileExtension();
        // A run that failed or did not finish is no history to chart.
        COutputFileReader::CheckRunSucceeded(path);
        const int code = COutputFileReader::ScanRunType(path);
        HRESULT hr = S_OK;
        // A surface run optimises its region 1 and writes its cycles as a
        // bulk optimisation does.
        if (code == COutputFileReader::RunGeomOpt || code == COutputFileReader::RunSurface)
            hr = PlotGeomOptEvolution(seed);
        else if (code == COutputFileReader::RunDynamics)
            hr = PlotMolDynEvolution(seed);
        else
            throw KelvResult(E_UNEXPECTED, NoEvolution(path));
        if (FAILED(hr))
            KelvResult::Check(hr);
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
        const std::string trajectory = m_resultsFolder + seed + CZelmRunInfo::TrajectoryDocumentExtension();
        if (!DiskUtilities::FileExists(output))
            throw KelvResult(E_UNEXPECTED, "Results file does not exist.");
        const CGeomOptOutputFileReader reader(output);
        if (!TrajectoryBuilt(seed))
            FindOrCreateAtomistic3dDocument(m_resultsFolder, seed + StructureDocumentExtension(), seed);

        const CDocManagementUtility documents(Root());
        RunChart energy = FindOrCreateChart(documents, m_resultsFolder, ChartName(seed, "Energies"));
        RunChart convergence = FindOrCreateChart(documents, m_resultsFolder, ChartName(seed, "Convergence"));
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
    });
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
    return RunCommand([&] {
        const std::vector<double>& time = information.GetTime();
        const size_t n = time.size();
        for (const std::vector<double>* series : {&common.GetTotalEnergy(), &common.GetKineticEnergy(),
                                                  &common.GetPotentialEnergy(), &common.GetTemperature()})
            if (series->size() != n)
                throw KelvResult(E_UNEXPECTED, CorruptedResults);
        const bool energyFlag = !common.GetTotalEnergy().empty();
        const bool temperatureFlag = !common.GetTemperature().empty();
        const bool pressureFlag = !common.GetPressure().empty();
        if (!energyFlag && !temperatureFlag && !pressureFlag)
            return;
        if (pressureFlag && common.GetPressure().size() != n)
            throw KelvResult(E_UNEXPECTED, CorruptedResults);

        const std::string trajectory = m_resultsFolder + seed + CZelmRunInfo::TrajectoryDocumentExtension();
        if (!TrajectoryBuilt(seed))
            FindOrCreateAtomistic3dDocument(m_resultsFolder, seed + StructureDocumentExtension(), seed);

        const CDocManagementUtility documents(Root());
        RunChart constant = FindOrCreateChart(documents, m_resultsFolder, ChartName(seed, "Constant"));
        RunChart energy = FindOrCreateChart(documents, m_resultsFolder, ChartName(seed, "Energy"));
        RunChart temperature = FindOrCreateChart(documents, m_resultsFolder, ChartName(seed, "Temperature"));
        RunChart pressure = FindOrCreateChart(documents, m_resultsFolder, ChartName(seed, "Pressure"));
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
    });
}
