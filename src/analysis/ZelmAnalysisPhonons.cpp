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

// Throws why the band structure of the run cannot be drawn: the command and
// its answer both ask here. The dispersion is read as the chart reads it.
void CheckDispersion(const PhononRun& run)
{
    if (!DiskUtilities::FileExists(run.dispersion))
        throw KelvResult(E_UNEXPECTED, "ZELM .disp file does not exist.");
    COutputFileReader::CheckRunSucceeded(run.output);
    CZelmPhononData data(PathUtilities::ExtensionRemoved(run.output));
    CPhononFileReader().Read(data.resultsPath, data);
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
// the run's files read as the chart reads them: the command and its answer
// both ask here. The deck, where the results folder holds it, must ask for
// the density of states ("shrink"); a job's results come home without their
// deck, and then the ".dens" file answers alone. A ".dens" file that holds
// no point would give an empty chart: it is refused by name.
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

LONG CZelmAnalysis::GetFrequencyUnits()
{
    const KelvComPtr<ISBState> state = LogicStateUtilities::GetState(static_cast<ISBLogic*>(this));
    const std::string text = LogicStateUtilities::GetPropertyValueEnum(state.get(), "FrequencyUnits");
    LONG index = m_optics.FrequencyUnit();
    Kelv::CheckNullDereference(StateHelper());
    StateHelper()->GetStateValue("FrequencyUnits", index);
    m_optics.SetFrequencyUnit(index);
    return UnitCodeFromName(text);
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

HRESULT CZelmAnalysis::PlotPhononDispersion()
{
    return RunCommand([&] {
        const PhononRun run = RunOf(ResultsFolder(), SelectedResult(ResultCategoryPhonons()));
        CheckDispersion(run);
        const std::string name = run.seed + " Phonon Dispersion";

        KelvComPtr<IUnknown> object;
        CreatePhononResultsInfo(run.output, object.Receive());
        const KelvComPtr<IQoQMDataProvider> provider = object.QueryInterface<IQoQMDataProvider>();
        object = nullptr;

        const KelvComPtr<ISBDocumentRoot> document = CreateResultsDocument(ResultsFolder() + name, ChartDocumentProgId);
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
        PlotDispersionThroughGenerator(provider.get(), chart.get());
        KelvResult::Check(chartDocument->EndUpdate(-1));
    });
}

HRESULT CZelmAnalysis::PlotPhononDOS()
{
    return RunCommand([&] {
        const PhononRun run = RunOf(ResultsFolder(), SelectedResult(ResultCategoryPhonons()));
        const std::unique_ptr<COutputFileReader> reader = ReadDos(run);
        const KelvComPtr<ISBDocumentRoot> document =
            CreateResultsDocument(ResultsFolder() + run.seed + " Phonon DOS", ChartDocumentProgId);
        const auto chartDocument = KelvComPtr<ISDChart2dDocument>::QueryFrom(document.get());
        if (!chartDocument)
            throw KelvResult(E_UNEXPECTED, "Failed to obtain chart from document manager.");
        const KelvComPtr<IUnknown> view = HandToDocumentService(document.get());
        UpdateUtilities::CChart2dDocumentUpdateOperation update(chartDocument.get());

        GetFrequencyUnits();
        const LONG unit = m_optics.FrequencyUnit();
        const std::string xAxisTitle = "Frequency " + FrequencyUnitLabel(unit);
        COutputFileReader::PlotDos(chartDocument.get(), KelvBSTR(run.seed + " phonon DOS").ToWString(),
                                   KelvBSTR(xAxisTitle).ToWString());
        const double factor = 1.0 / Frequency(unit, 1.0).Wavenumbers();
        std::vector<double> frequencies = reader->GetDosFrequencies();
        for (double& f : frequencies)
            f *= factor;
        COutputFileReader::FillDosChart(chartDocument.get(), frequencies, reader->GetDosValues());
    });
}

HRESULT CZelmAnalysis::get_CanPlotPhononDispersion(VARIANT_BOOL* pCanPlot)
{
    return RunCommand([&] {
        RequireOutput(pCanPlot);
        *pCanPlot = VARIANT_FALSE;
        if (!HasResultsWrapper())
            return;
        // The command's own checks: a no gives the reason it fails with.
        CheckDispersion(RunOf(ResultsFolder(), SelectedResult(ResultCategoryPhonons())));
        *pCanPlot = VARIANT_TRUE;
    });
}

HRESULT CZelmAnalysis::get_CanPlotPhononDOS(VARIANT_BOOL* pCanPlot)
{
    return RunCommand([&] {
        RequireOutput(pCanPlot);
        *pCanPlot = VARIANT_FALSE;
        // The command's own checks: a no gives the reason it fails with.
        ReadDos(RunOf(ResultsFolder(), SelectedResult(ResultCategoryPhonons())));
        *pCanPlot = VARIANT_TRUE;
    });
}
