// The phonon dispersion path generator: the object that the "ZelmLogic" state
// holds as its co-class "PhononDispersionKPGenerator". Asked for the path of a
// scope, it answers a path object (IQoDispersionPath, and
// IQoDispersionPathPointKinds for where each point lies on the path).
//
// A path is a list of runs; a run is a list of labelled k-points (fractional
// reciprocal coordinates) joined by straight segments. The first point of a
// run starts a segment (SegmentBoundaryStart), its last point ends one
// (SegmentBoundaryEnd) and every point between ends one segment and starts
// the next (SegmentBoundaryJoint). Consecutive runs are not joined.
//
// Unless a path is configured, the generator derives one from the cell of the
// scope's model (its lattice as it stands, whichever setting it is held in):
//   cubic (a = b = c, all angles 90)      Gamma-X-M-Gamma-R-X | M-R
//   tetragonal (a = b, all angles 90)     Gamma-X-M-Gamma-Z-R-A-Z | X-R | M-A
//   orthorhombic (all angles 90)          Gamma-X-S-Y-Gamma-Z-U-R-T-Z | Y-T | U-X | S-R
//   hexagonal (a = b, alpha = beta = 90, gamma 120 or 60)
//                                         Gamma-M-K-Gamma-A-L-H-A | L-M | K-H
//   any other cell                        Gamma-X | Y-Gamma-Z
// A model that is not periodic in three dimensions has no dispersion path:
// the request fails with E_INVALIDARG.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include "host/model/Lattice.h"

#include <mutex>
#include <string>
#include <vector>

namespace QzHost {

inline constexpr const char* DispersionPathGeneratorProgId = "SDKPoints.DispersionPathGenerator";
// identifier of our own
inline constexpr CLSID CLSID_HostDispersionPathGenerator = HostApi::MakeGuid("3E0F27B4-5E0C-4C55-9A53-2B87B5F9D105");

struct LabelledKPoint {
    double x = 0.0, y = 0.0, z = 0.0; // fractional reciprocal coordinates
    std::string label;                // "" for none
};
using KPointRun = std::vector<LabelledKPoint>;

// The standard path of a cell (see above). Runs have two points or more.
std::vector<KPointRun> StandardDispersionPath(const HostModel::CellParameters& cell);

// The path object made from runs (each of two points or more).
KelvComPtr<IQoDispersionPath> MakeDispersionPath(const std::vector<KPointRun>& runs);

class DispersionPathGenerator final : public CKelvUnknown, public IQoDispersionPathGenerator {
public:
    static KelvComPtr<DispersionPathGenerator> Create();
    // The create function of the registered class (one reference in *out).
    static HRESULT CreateInstance(void** out);
    // Makes the class creatable in this process by its ProgID and CLSID (once;
    // later calls answer S_FALSE).
    static HRESULT RegisterClass();

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // The configured path, or the standard path of the scope's model. A null
    // scope, or a scope whose model is not a periodic 3-D model of this
    // application, is E_INVALIDARG.
    HRESULT GetPath(ISBScope* pScope, IQoDispersionPath** ppPath) override;

    // Configures the path for every scope. Each run needs two points or more
    // with finite coordinates; otherwise KelvResult E_INVALIDARG and the
    // earlier configuration stays. An empty list goes back to the standard
    // path of each model's cell.
    void SetPath(const std::vector<KPointRun>& runs);
    std::vector<KPointRun> ConfiguredPath() const;

private:
    DispersionPathGenerator() = default;

    mutable std::mutex m_mutex;
    std::vector<KPointRun> m_runs;
};

} // namespace QzHost
