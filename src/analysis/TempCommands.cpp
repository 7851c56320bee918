#include "analysis/ZelmAnalysis.h"
HRESULT CZelmAnalysis::UpdateStructure(ISBDocumentRoot*) { return E_NOTIMPL; }
HRESULT CZelmAnalysis::get_CanUpdateStructure(VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CZelmAnalysis::CreateTrajectory(ISBDocumentRoot*, ISBDocumentRoot**) { return E_NOTIMPL; }
HRESULT CZelmAnalysis::get_CanCreateTrajectory(VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CZelmAnalysis::PlotEnergyEvolution() { return E_NOTIMPL; }
HRESULT CZelmAnalysis::get_CanViewEnergyEvolution(VARIANT_BOOL*) { return E_NOTIMPL; }
