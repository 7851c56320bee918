// The phonon commands of the analysis component: the band structure drawn
// by the host's dispersion generator from a ZelmResultsInfo, and the
// density of states read from the run's ".dens" file.
#include "analysis/ZelmAnalysis.h"
#include "com/regularfile.h"

#include "analysis/AnalysisSupport.h"
#include "analysis/OpticalSettings.h"
#include "analysis/PhononPlots.h"
#include "common/ResultFiles.h"
#include "readers/OutputFileReader.h"
#include "readers/PhononFileReader.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/LogicStateUtilities.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ChartUpdateOperation.h"

#include <filesystem>
#include <fstream>
#include <memory>

using namespace ZelmAnalysisSupport;

namespace {

constexpr const char* ChartDocumentProgId = "SDDocuments.Chart2dDocument";

// The files of the selected run.
struct PhononRun {
    std::string seed;
    std::string output;
    std::string dispersion;
    std::string dos;
    std::string input;
};

PhononRun RunOf(const std::string& folder, const std::string& selection)
{
    PhononRun run;
    run.seed = SeedNameFromPath(selection);
    const std::string base = folder + run.seed;
    run.output = base + CZelmRunInfo::OutputFileExtension();
    run.dispersion = base + CZelmRunInfo::DispersionFileExtension();
    run.dos = base + CZelmRunInfo::PhononDosFileExtension();
    run.input = base + CZelmRunInfo::InputFileExtension();
    return run;
}

// Throws why the band structure of the run cannot be drawn, else gives the
// dispersion read as the chart draws it.
std::unique_ptr<CZelmPhononData> ReadDispersion(const PhononRun& run)
{
    if (!DiskUtilities::FileExists(run.dispersion))
        throw KelvResult(E_UNEXPECTED, "ZELM .disp file does not exist.");
    COutputFileReader::CheckRunSucceeded(run.output);
    auto data = std::make_unique<CZelmPhononData>(PathUtilities::ExtensionRemoved(run.output));
    CPhononFileReader().Read(data->resultsPath, *data);
    data->loaded = true;
    return data;
}

std::string DeckWithoutDos(const std::string& input)
{
    return "The run's deck \"" + input + "\" asks for no phonon density of states (it has no \"shrink\" line).";
}

} // namespace

bool DeckAsksForDos(const std::string& inputPath)
{
    RegularFile::InputFile deck(PathUtilities::ToNative(inputPath));
    if (!deck.IsOpen())
        throw KelvResult(E_UNEXPECTED, deck.Failure("Unable to open file: " + inputPath));
    std::string line;
    while (std::getline(deck, line)) {
        if (line.compare(0, 4, "shri") == 0)
            return true;
    }
    if (deck.bad())
        throw KelvResult(E_UNEXPECTED, "Unable to open file: " + inputPath);
    return false;
}

namespace {

// Throws why the density of states of the run cannot be drawn, else gives
// the run's files read as the chart reads them. The deck, where the results
// folder holds it, must ask for the density of states ("shrink"); a job's
// results come home without their deck, and then the ".dens" file answers
// alone. A ".dens" file that holds no point would give an empty chart: it is
// refused by name.
std::unique_ptr<COutputFileReader> ReadDos(const PhononRun& run)
{
    if (!DiskUtilities::FileExists(run.dos))
        throw KelvResult(E_UNEXPECTED, "ZELM .dens file does not exist.");
    COutputFileReader::CheckRunSucceeded(run.output);
    if (DiskUtilities::FileExists(run.input) && !DeckAsksForDos(run.input))
        throw KelvResult(E_UNEXPECTED, DeckWithoutDos(run.input));
    auto reader = std::make_unique<COutputFileReader>(run.output);
    if (!reader->GetDosFailure().empty())
        throw KelvResult(E_UNEXPECTED, reader->GetDosFailure());
    if (reader->GetDosFrequencies().empty() || reader->GetDosValues().empty())
        throw KelvResult(E_UNEXPECTED, "The density-of-states file \"" + MessageText::Excerpt(run.dos) +
                                           "\" holds no frequency with its density: there is nothing to chart.");
    return reader;
}

} // namespace

HRESULT CZelmAnalysis::get_PhononDispersionGenerator(IQoPhononDispersionGenerator** ppGenerator)
{
    return RunCommand([&] {
        if (!ppGenerator)
            throw KelvResult(E_POINTER, "Pointer required in CZelmAnalysis::get_PhononDispersionGenerator()");
        *ppGenerator = nullptr;
        const KelvComPtr<ISBState> state = LogicStateUtilities::GetState(static_cast<ISBLogic*>(this));
        const KelvComPtr<IUnknown> value = LogicStateUtilities::GetPropertyValueCoClass(state.get(), "PhononDispersionGenerator");
        if (!value)
            return;
        *ppGenerator = value.QueryInterface<IQoPhononDispersionGenerator>().Detach();
    });
}

std::pair<LONG, LONG> CZelmAnalysis::FrequencyUnitsSetting()
{
    const KelvComPtr<ISBState> state = LogicStateUtilities::GetState(static_cast<ISBLogic*>(this));
    const std::string text = LogicStateUtilities::GetPropertyValueEnum(state.get(), "FrequencyUnits");
    LONG index = m_optics.FrequencyUnit();
    Kelv::CheckNullDereference(StateHelper());
    StateHelper()->GetStateValue("FrequencyUnits", index);
    return {UnitCodeFromName(text), index};
}

LONG CZelmAnalysis::GetFrequencyUnits()
{
    const std::pair<LONG, LONG> units = FrequencyUnitsSetting();
    m_optics.SetFrequencyUnit(units.second);
    return units.first;
}

void CZelmAnalysis::PlotDispersionThroughGenerator(IQoQMDataProvider* provider, ISDChart2d* chart)
{
    KelvComPtr<IQoPhononDispersionGenerator> generator;
    KelvResult::Check(get_PhononDispersionGenerator(generator.Receive()));
    Kelv::CheckNullDereference(generator.get());
    KelvResult::Check(generator->putref_DataProvider(provider));
    KelvResult::Check(generator->put_FrequencyUnits(GetFrequencyUnits()));
    KelvBSTR application("ZELM");
    KelvResult::Check(generator->PlotPhononDispersion(chart, application.Get()));
}

// --- the band structure ---------------------------------------------------------

struct CZelmAnalysis::DispersionPlan {
    PhononRun run;
    std::string chart;
    std::unique_ptr<CZelmPhononData> data;
    KelvComPtr<IQoPhononDispersionGenerator> generator;
    std::pair<LONG, LONG> units;
};

std::unique_ptr<CZelmAnalysis::DispersionPlan> CZelmAnalysis::PrepareDispersion()
{
    auto plan = std::make_unique<DispersionPlan>();
    plan->run = RunOf(ResultsFolder(), SelectedResult(ResultCategoryPhonons()));
    plan->data = ReadDispersion(plan->run);
    // The state's generator draws it, in the unit of the settings.
    KelvResult::Check(get_PhononDispersionGenerator(plan->generator.Receive()));
    Kelv::CheckNullDereference(plan->generator.get());
    plan->units = FrequencyUnitsSetting();
    plan->chart = ResultsFolder() + plan->run.seed + " Phonon Dispersion" + ChartDocumentExtension();
    CheckChartCanBeMade(plan->chart);
    return plan;
}

void CZelmAnalysis::DrawDispersion(DispersionPlan& plan)
{
    KelvComPtr<IUnknown> object;
    CreatePhononResultsInfo(std::move(plan.data), object.Receive());
    const KelvComPtr<IQoQMDataProvider> provider = object.QueryInterface<IQoQMDataProvider>();
    object = nullptr;

    const KelvComPtr<ISBDocumentRoot> document =
        CreateResultsDocument(PathUtilities::ExtensionRemoved(plan.chart), ChartDocumentProgId);
    const auto chartDocument = KelvComPtr<ISDChart2dDocument>::QueryFrom(document.get());
    const KelvComPtr<IUnknown> view = HandToDocumentService(document.get());

    Kelv::CheckNullDereference(chartDocument.get());
    KelvResult::Check(chartDocument->SetModified(0));
    KelvResult::Check(chartDocument->SetUpdating(-1));
    KelvComPtr<ISDChart2dCollection> charts;
    KelvResult::Check(chartDocument->get_Charts(charts.Receive()));
    Kelv::CheckNullDereference(charts.get());
    KelvComPtr<ISDChart2d> chart;
    KelvResult::Check(charts->Item(1, chart.Receive()));
    m_optics.SetFrequencyUnit(plan.units.second);
    KelvResult::Check(plan.generator->putref_DataProvider(provider.get()));
    KelvResult::Check(plan.generator->put_FrequencyUnits(plan.units.first));
    KelvBSTR application("ZELM");
    KelvResult::Check(plan.generator->PlotPhononDispersion(chart.get(), application.Get()));
    KelvResult::Check(chartDocument->EndUpdate(-1));
}

HRESULT CZelmAnalysis::PlotPhononDispersion()
{
    return RunCommand([&] { DrawDispersion(*PrepareDispersion()); });
}

HRESULT CZelmAnalysis::get_CanPlotPhononDispersion(VARIANT_BOOL* pCanPlot)
{
    return RunCommand([&] {
        RequireOutput(pCanPlot);
        *pCanPlot = VARIANT_FALSE;
        if (!HasResultsWrapper())
            return;
        // The command's own preparation: a no gives the reason it fails with.
        PrepareDispersion();
        *pCanPlot = VARIANT_TRUE;
    });
}

// --- the density of states ------------------------------------------------------

struct CZelmAnalysis::DosPlan {
    PhononRun run;
    std::string chart;
    std::vector<double> frequencies; // in the unit of the settings
    std::vector<double> densities;
    LONG unitIndex = OpticalUnitWavenumber;
};

std::unique_ptr<CZelmAnalysis::DosPlan> CZelmAnalysis::PrepareDos()
{
    auto plan = std::make_unique<DosPlan>();
    plan->run = RunOf(ResultsFolder(), SelectedResult(ResultCategoryPhonons()));
    const std::unique_ptr<COutputFileReader> reader = ReadDos(plan->run);
    plan->unitIndex = FrequencyUnitsSetting().second;
    const double factor = 1.0 / Frequency(plan->unitIndex, 1.0).Wavenumbers();
    plan->frequencies = reader->GetDosFrequencies();
    for (double& f : plan->frequencies)
        f *= factor;
    plan->densities = reader->GetDosValues();
    plan->chart = ResultsFolder() + plan->run.seed + " Phonon DOS" + ChartDocumentExtension();
    CheckChartCanBeMade(plan->chart);
    return plan;
}

void CZelmAnalysis::DrawDos(const DosPlan& plan)
{
    const NewChart made = CreateChartDocument(plan.chart);
    const KelvComPtr<ISDChart2dDocument>& chartDocument = made.chart;
    UpdateUtilities::CChart2dDocumentUpdateOperation update(chartDocument.get());

    m_optics.SetFrequencyUnit(plan.unitIndex);
    const std::string xAxisTitle = "Frequency " + FrequencyUnitLabel(plan.unitIndex);
    COutputFileReader::PlotDos(chartDocument.get(), KelvBSTR(plan.run.seed + " phonon DOS").ToWString(),
                               KelvBSTR(xAxisTitle).ToWString());
    COutputFileReader::FillDosChart(chartDocument.get(), plan.frequencies, plan.densities);
}

HRESULT CZelmAnalysis::PlotPhononDOS()
{
    return RunCommand([&] { DrawDos(*PrepareDos()); });
}

HRESULT CZelmAnalysis::get_CanPlotPhononDOS(VARIANT_BOOL* pCanPlot)
{
    return RunCommand([&] {
        RequireOutput(pCanPlot);
        *pCanPlot = VARIANT_FALSE;
        // The command's own preparation: a no gives the reason it fails with.
        PrepareDos();
        *pCanPlot = VARIANT_TRUE;
    });
}
