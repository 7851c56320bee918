// The phonon dispersion generator: the object that the "ZelmAnalysis" state
// holds as its co-class "PhononDispersionGenerator". Given a data provider
// whose "PhononDispersion" property is an IQoPhononDispersionData, it draws
// the band structure into a chart:
// - one graph per band ("Band 1", "Band 2", ...), x the path length through
//   the k-points in Cartesian reciprocal space (fractional points times the
//   reciprocal lattice, whose columns are the reciprocal vectors), y the
//   frequency converted from the data's unit into the one set by
//   put_FrequencyUnits;
// - a joint continues the path; a segment end followed by a segment start
//   begins a new segment at the same x, and each graph breaks its line there
//   (a point whose y is not a number);
// - labelled points become x-axis marks; labels meeting at one x are kept
//   once, different ones joined as "X|M";
// - the axis titles name the unit ("Frequency (THz)").
// Unit codes: 1 eV, 2 Ha, 3 a.u. (Hartree), 4 meV, 5 cm-1, 6 THz.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <string>

namespace HostCharts {

inline constexpr const char* PhononDispersionGeneratorProgId = "SDPhonons.PhononDispersionGenerator";
// identifier of our own
inline constexpr CLSID CLSID_HostPhononDispersionGenerator =
    HostApi::MakeGuid("9C41E7D2-3B85-4A6F-B0D9-6E2F81C4A537");

// Wavenumbers (cm-1) in one unit of the code; 0 for an unknown code.
double WavenumbersPerUnit(LONG unit);
// "eV", "Ha", "a.u.", "meV", "cm-1", "THz"; "" for an unknown code.
std::string FrequencyUnitName(LONG unit);

class PhononDispersionGenerator final : public CKelvUnknown,
                                        public IKelvDispatchImpl<IQoPhononDispersionGenerator> {
public:
    static KelvComPtr<PhononDispersionGenerator> Create();
    // The create function of the registered class (one reference in *out).
    static HRESULT CreateInstance(void** out);
    // Makes the class creatable in this process by its ProgID and CLSID (once;
    // later calls answer S_FALSE).
    static HRESULT RegisterClass();

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // A code from 1 to 6; anything else is E_INVALIDARG.
    HRESULT put_FrequencyUnits(LONG unit) override;
    // The provider (null forgets it).
    HRESULT putref_DataProvider(IQoQMDataProvider* pProvider) override;
    // Draws into the chart (E_POINTER for none). Without a provider, or a
    // provider without dispersion data, E_UNEXPECTED; a failing data call is
    // handed on with its error.
    HRESULT PlotPhononDispersion(ISDChart2d* pBSChart, BSTR ApplicationName) override;

    LONG FrequencyUnits() const { return m_unit; }
    // The application named at the last plot.
    const std::string& ApplicationName() const { return m_application; }

private:
    PhononDispersionGenerator() = default;

    LONG m_unit = 5;
    KelvComPtr<IQoQMDataProvider> m_provider;
    std::string m_application;
};

} // namespace HostCharts
