// The optical-properties and phonon commands of the analysis component, not
// in this build yet: each answers E_NOTIMPL.
#include "analysis/ZelmAnalysis.h"

HRESULT CZelmAnalysis::PlotOpticalProperties()
{
    return E_NOTIMPL;
}

HRESULT CZelmAnalysis::get_CanPlotOpticalProperties(VARIANT_BOOL* pCanPlot)
{
    if (pCanPlot)
        *pCanPlot = VARIANT_FALSE;
    return E_NOTIMPL;
}

HRESULT CZelmAnalysis::get_CanPlotPhononDispersion(VARIANT_BOOL* pCanPlot)
{
    if (pCanPlot)
        *pCanPlot = VARIANT_FALSE;
    return E_NOTIMPL;
}

HRESULT CZelmAnalysis::get_CanPlotPhononDOS(VARIANT_BOOL* pCanPlot)
{
    if (pCanPlot)
        *pCanPlot = VARIANT_FALSE;
    return E_NOTIMPL;
}

HRESULT CZelmAnalysis::PlotPhononDispersion()
{
    return E_NOTIMPL;
}

HRESULT CZelmAnalysis::PlotPhononDOS()
{
    return E_NOTIMPL;
}

HRESULT CZelmAnalysis::get_PhononDispersionGenerator(IQoPhononDispersionGenerator** ppGenerator)
{
    if (ppGenerator)
        *ppGenerator = nullptr;
    return E_NOTIMPL;
}
