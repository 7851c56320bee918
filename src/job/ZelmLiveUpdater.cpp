#include "job/ZelmLiveUpdater.h"

#include "analysis/HistoryCharts.h"
#include "readers/GeomOptReaders.h"
#include "readers/MolDynFileReader.h"
#include "readers/StructureUpdater.h"
#include "setup/SurfaceRunInfo.h"

#include "qorqm/PathUtilities.h"
#include "qorqm/UpdateUtilities.h"
#include "qorvira/AtomicIndexMap.h"

namespace {

struct Row {
    LiveUpdateItem item;
    const char* extension;
};

const Row rows[CZelmLiveUpdater::ItemCount] = {
    {{"Summary", "SDDocuments.TextDocument", "Status"}, ".summary"},
    {{"Model", "SDDocuments.Atomistic3dDocument", "%JOB_PREFIX%"}, ".arc"},
    {{"GeomOptEnergy", "SDDocuments.Chart2dDocument", "%JOB_PREFIX% Energies"}, ".geomopt"},
    {{"GeomOptConv", "SDDocuments.Chart2dDocument", "%JOB_PREFIX% Convergence"}, ".geomopt"},
    {{"DynamicsEnergy", "SDDocuments.Chart2dDocument", "%JOB_PREFIX% Energy"}, ".mdynam"},
    {{"DynamicsTemp", "SDDocuments.Chart2dDocument", "%JOB_PREFIX% Temperature"}, ".mdynam"},
    {{"DynamicsPress", "SDDocuments.Chart2dDocument", "%JOB_PREFIX% Pressure"}, ".mdynam"},
    {{"DynamicsCOM", "SDDocuments.Chart2dDocument", "%JOB_PREFIX% Constant"}, ".mdynam"},
};

const LiveUpdateItem items[CZelmLiveUpdater::ItemCount] = {
    rows[0].item, rows[1].item, rows[2].item, rows[3].item,
    rows[4].item, rows[5].item, rows[6].item, rows[7].item,
};

KelvComPtr<ISDChart2dDocument> ChartOf(ISBDocumentRoot* document)
{
    Kelv::CheckNullDereference(document);
    return KelvComPtr<IUnknown>(static_cast<IUnknown*>(document)).QueryInterface<ISDChart2dDocument>();
}

} // namespace

CZelmLiveUpdater::CZelmLiveUpdater(const CJobHandlerUtility& handler) : CLiveUpdaterBase(handler), m_jobHandler(handler)
{
}

CZelmLiveUpdater::~CZelmLiveUpdater() = default;

const LiveUpdateItem* CZelmLiveUpdater::Items()
{
    return items;
}

void CZelmLiveUpdater::SetName(const KelvBSTR& filePath)
{
    m_currentFile = filePath;
}

bool CZelmLiveUpdater::MatchesItem(const std::string& itemName)
{
    for (const Row& row : rows) {
        if (itemName != row.item.name)
            continue;
        if (!PathUtilities::MatchesExtension(m_currentFile.ToTString(), row.extension))
            return false;
        if (itemName == "DynamicsPress")
            return CMolDynFileReader(m_currentFile.ToTString()).HasPressure();
        return true;
    }
    return false;
}

void CZelmLiveUpdater::CreateItemDocument(const std::string& itemName, ISBDocumentRoot* document)
{
    if (itemName == "Summary" || itemName == "Model")
        return;
    const KelvComPtr<ISDChart2dDocument> chart = ChartOf(document);
    if (itemName == "GeomOptEnergy")
        CreateGeomOptEnergyChart(chart.get());
    else if (itemName == "GeomOptConv")
        CreateOptimizationConvergenceChart(chart.get());
    else if (itemName == "DynamicsEnergy")
        CreateDynamicsEnergyChart(chart.get());
    else if (itemName == "DynamicsTemp")
        CreateDynamicsTemperatureChart(chart.get());
    else if (itemName == "DynamicsPress")
        CreateDynamicsPressureChart(chart.get());
    else if (itemName == "DynamicsCOM")
        CreateDynamicsConstantOfMotionChart(chart.get());
}

void CZelmLiveUpdater::UpdateItem(const std::string& itemName, ISBDocumentRoot* document)
{
    const std::string file = m_currentFile.ToTString();
    if (itemName == "Summary") {
        UpdateUtilities::SetTextDocumentContentFromFile(ContainerRoot().DocumentManager().get(), m_currentFile,
                                                        document);
    } else if (itemName == "Model") {
        UpdateModel(document);
    } else if (itemName == "GeomOptEnergy") {
        const CGeomOptFileReader reader(file);
        UpdateGeomOptEnergyChart(ChartOf(document).get(), reader.GetSeries1(), reader.GetSeries1Offset());
    } else if (itemName == "GeomOptConv") {
        const CGeomOptFileReader reader(file);
        UpdateOptimizationConvergenceChart(ChartOf(document).get(), reader.GetSeries2(), reader.GetSeries2Offset(),
                                           reader.GetSeries3(), reader.GetSeries3Offset(), true,
                                           reader.GetTolerance1(), reader.GetTolerance2());
    } else if (itemName == "DynamicsEnergy") {
        const CMolDynFileReader reader(file);
        UpdateDynamicsHistoryCharts(ChartOf(document).get(), reader.GetTime(), reader.GetTotalEnergy(),
                                    reader.GetTotalEnergyOffset(), reader.GetKineticEnergy(),
                                    reader.GetKineticEnergyOffset(), reader.GetPotentialEnergy(),
                                    reader.GetPotentialEnergyOffset());
    } else if (itemName == "DynamicsTemp") {
        const CMolDynFileReader reader(file);
        UpdateDynamicsChart(ChartOf(document).get(), reader.GetTime(), reader.GetTemperature(),
                            reader.GetTemperatureOffset());
    } else if (itemName == "DynamicsPress") {
        const CMolDynFileReader reader(file);
        if (reader.HasPressure())
            UpdateDynamicsChart(ChartOf(document).get(), reader.GetTime(), reader.GetPressure(),
                                reader.GetPressureOffset());
    } else if (itemName == "DynamicsCOM") {
        const CMolDynFileReader reader(file);
        UpdateDynamicsChart(ChartOf(document).get(), reader.GetTime(), reader.GetH(), reader.GetHOffset());
    }
}

const LiveUpdateItem* CZelmLiveUpdater::GetItem(int index) const
{
    return index >= 0 && index < ItemCount ? &items[index] : nullptr;
}

int CZelmLiveUpdater::GetItemCount() const
{
    return ItemCount;
}

void CZelmLiveUpdater::UpdateModel(ISBDocumentRoot* document)
{
    Kelv::CheckNullDereference(document);
    KelvComPtr<ISBContainerRoot> root = m_jobHandler.ContainerRoot();
    KelvComPtr<ISBDocumentRoot> held(document);
    const std::string file = m_currentFile.ToTString();
    if (m_jobHandler.GetTaskTypeDescription().ToTString() == "Surface") {
        const CSurfaceRunInfo surface(root, held);
        CAtomicIndexMap map;
        map.Copy(surface.m_atomIndexMap);
        UpdateStructureFromOutput(root, held, file, map);
    } else {
        UpdateStructureFromOutputWithMap(root, held, file);
    }
}
