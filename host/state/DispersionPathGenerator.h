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
// Unless a path is configured, the generator takes the Bravais lattice of the
// scope's model (its space group and centring found from the cell and the
// atoms) and answers the textbook path of that lattice with its labelled
// points:
//   cubic P        Gamma-X-M-Gamma-R-X | M-R
//   cubic F        Gamma-X-W-K-Gamma-L-U-W-L-K | U-X
//   cubic I        Gamma-H-N-Gamma-P-H | P-N
//   tetragonal P   Gamma-X-M-Gamma-Z-R-A-Z | X-R | M-A
//   tetragonal I   c < a: Gamma-X-M-Gamma-Z-P-N-Z1-M | X-P
//                  c > a: Gamma-X-Y-Sigma-Gamma-Z-Sigma1-N-P-Y1-Z | X-P
//   orthorhombic P Gamma-X-S-Y-Gamma-Z-U-R-T-Z | Y-T | U-X | S-R
//   hexagonal      Gamma-M-K-Gamma-A-L-H-A | L-M | K-H
//   rhombohedral   alpha < 90: Gamma-L-B1 | B-Z-Gamma-X | Q-F-P1-Z | L-P
//                  alpha > 90: Gamma-P-Z-Q-Gamma-F-P1-Q1-L-Z
//   any other      Gamma-X | Y-Gamma-Z along the primitive reciprocal axes
// The points are expressed in the reciprocal basis of the cell as the model
// holds it (conventional, primitive or any other setting), which is the
// cell the input deck gives: a point of the standard cell's basis f_std
// becomes f = P^T f_std, P taking positions from the model's cell to the
// standard one. A model whose lattice cannot be found (no atoms) gets the
// path of its cell's shape taken as a primitive lattice (below).
// A model that is not periodic in three dimensions has no dispersion path:
// the request fails with E_INVALIDARG.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include "host/model/Lattice.h"

namespace HostModel {
class Document;
}

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

// The path of a cell's shape alone, the lattice taken as primitive:
//   cubic (a = b = c, all angles 90)      Gamma-X-M-Gamma-R-X | M-R
//   tetragonal (a = b, all angles 90)     Gamma-X-M-Gamma-Z-R-A-Z | X-R | M-A
//   orthorhombic (all angles 90)          Gamma-X-S-Y-Gamma-Z-U-R-T-Z | Y-T | U-X | S-R
//   hexagonal (a = b, alpha = beta = 90, gamma 120 or 60)
//                                         Gamma-M-K-Gamma-A-L-H-A | L-M | K-H
//   any other cell                        Gamma-X | Y-Gamma-Z
// Runs have two points or more.
std::vector<KPointRun> StandardDispersionPath(const HostModel::CellParameters& cell);

enum class BravaisLattice {
    CubicP, CubicF, CubicI, TetragonalP, TetragonalI, OrthorhombicP, Hexagonal, Rhombohedral,
    // monoclinic, triclinic and centred orthorhombic, by centring
    OtherP, OtherA, OtherB, OtherC, OtherI, OtherF
};

// The textbook path of a Bravais lattice in the reciprocal basis of its
// standard conventional cell (the hexagonal setting for rhombohedral), a and
// c being that cell's lengths.
std::vector<KPointRun> BravaisDispersionPath(BravaisLattice lattice, double a, double c);

// The path of a crystal: cell vectors as rows, the atoms' fractional
// positions and elements. Empty when the lattice cannot be found. `found`,
// when given, receives the lattice.
std::vector<KPointRun> StandardDispersionPath(const HostModel::Mat3& cellRows,
                                              const std::vector<HostModel::Vec3>& fractional,
                                              const std::vector<std::string>& elements,
                                              BravaisLattice* found = nullptr);

// The path of a model with a 3-D cell (see the top of this file); empty for
// one without.
std::vector<KPointRun> StandardDispersionPath(const HostModel::Document& model);

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
