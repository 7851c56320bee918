#include "host/state/DispersionPathGenerator.h"

#include "host/managers/HostCall.h"
#include "host/model/ComSupport.h"
#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "host/model/ValueObjects.h"

#include <spglib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>

namespace QzHost {

namespace {

// ------------------------------------------------------------------ path

class DispersionPath final : public CKelvUnknown, public IQoDispersionPath, public IQoDispersionPathPointKinds {
public:
    explicit DispersionPath(const std::vector<KPointRun>& runs)
    {
        for (const KPointRun& run : runs) {
            for (std::size_t i = 0; i < run.size(); ++i) {
                LONG kind = SegmentBoundaryJoint;
                if (i == 0)
                    kind = SegmentBoundaryStart;
                else if (i + 1 == run.size())
                    kind = SegmentBoundaryEnd;
                m_points.push_back({run[i], kind});
            }
        }
    }

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IQoDispersionPath)
            return FinishQI(static_cast<IQoDispersionPath*>(this), out);
        if (iid == IID_IQoDispersionPathPointKinds)
            return FinishQI(static_cast<IQoDispersionPathPointKinds*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT get_PointCount(LONG* pCount) override
    {
        return HostCall(IID_IQoDispersionPath, [&] {
            RequireOut(pCount);
            *pCount = static_cast<LONG>(m_points.size());
        });
    }

    HRESULT GetPoint(LONG index, ISDPoint3d** ppPoint) override
    {
        return HostCall(IID_IQoDispersionPath, [&] {
            RequireOut(ppPoint);
            *ppPoint = nullptr;
            const LabelledKPoint& point = At(index).point;
            *ppPoint = HostModel::MakePoint({point.x, point.y, point.z}).Detach();
        });
    }

    HRESULT GetPointLabel(LONG index, BSTR* pLabel) override
    {
        return HostCall(IID_IQoDispersionPath, [&] {
            RequireOut(pLabel);
            *pLabel = nullptr;
            StoreString(pLabel, At(index).point.label);
        });
    }

    HRESULT GetPointKind(LONG index, LONG* pKind) override
    {
        return HostCall(IID_IQoDispersionPathPointKinds, [&] {
            RequireOut(pKind);
            *pKind = 0;
            *pKind = At(index).kind;
        });
    }

private:
    struct Entry {
        LabelledKPoint point;
        LONG kind;
    };

    const Entry& At(LONG index) const
    {
        if (index < 0 || static_cast<std::size_t>(index) >= m_points.size())
            Fail(E_INVALIDARG, "The dispersion path has no point " + std::to_string(index) + " (it has " +
                                   std::to_string(m_points.size()) + ").");
        return m_points[static_cast<std::size_t>(index)];
    }

    std::vector<Entry> m_points;
};

void Validate(const std::vector<KPointRun>& runs)
{
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].size() < 2)
            Fail(E_INVALIDARG, "Run " + std::to_string(r + 1) + " of the dispersion path needs two k-points or more.");
        for (const LabelledKPoint& point : runs[r]) {
            if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
                Fail(E_INVALIDARG, "The k-points of a dispersion path need finite coordinates.");
        }
    }
}

// ------------------------------------------------------- standard paths

bool SameLength(double a, double b)
{
    return std::fabs(a - b) <= 1e-4 * std::max(a, b);
}

bool AngleIs(double radians, double degrees)
{
    return std::fabs(radians - HostModel::Radians(degrees)) <= 1e-4;
}

LabelledKPoint K(const char* label, double x, double y, double z)
{
    return LabelledKPoint{x, y, z, label};
}

} // namespace

std::vector<KPointRun> StandardDispersionPath(const HostModel::CellParameters& cell)
{
    const LabelledKPoint gamma = K("Gamma", 0, 0, 0);
    const bool rightAngles = AngleIs(cell.alpha, 90) && AngleIs(cell.beta, 90) && AngleIs(cell.gamma, 90);
    const bool aIsB = SameLength(cell.a, cell.b);
    if (rightAngles && aIsB && SameLength(cell.b, cell.c)) {
        const LabelledKPoint x = K("X", 0, 0.5, 0), m = K("M", 0.5, 0.5, 0), r = K("R", 0.5, 0.5, 0.5);
        return {{gamma, x, m, gamma, r, x}, {m, r}};
    }
    if (rightAngles && aIsB) {
        const LabelledKPoint x = K("X", 0, 0.5, 0), m = K("M", 0.5, 0.5, 0), z = K("Z", 0, 0, 0.5);
        const LabelledKPoint r = K("R", 0, 0.5, 0.5), a = K("A", 0.5, 0.5, 0.5);
        return {{gamma, x, m, gamma, z, r, a, z}, {x, r}, {m, a}};
    }
    if (rightAngles) {
        const LabelledKPoint x = K("X", 0.5, 0, 0), y = K("Y", 0, 0.5, 0), z = K("Z", 0, 0, 0.5);
        const LabelledKPoint s = K("S", 0.5, 0.5, 0), u = K("U", 0.5, 0, 0.5), t = K("T", 0, 0.5, 0.5);
        const LabelledKPoint r = K("R", 0.5, 0.5, 0.5);
        return {{gamma, x, s, y, gamma, z, u, r, t, z}, {y, t}, {u, x}, {s, r}};
    }
    const bool hexagonalAngles =
        AngleIs(cell.alpha, 90) && AngleIs(cell.beta, 90) && (AngleIs(cell.gamma, 120) || AngleIs(cell.gamma, 60));
    if (aIsB && hexagonalAngles) {
        // The corner K of the hexagonal zone: (1/3, 1/3) of the reciprocal
        // vectors when they enclose 60 degrees (cell angle 120), (2/3, 1/3)
        // when they enclose 120 degrees (cell angle 60).
        const double kx = AngleIs(cell.gamma, 120) ? 1.0 / 3.0 : 2.0 / 3.0;
        const LabelledKPoint m = K("M", 0.5, 0, 0), k = K("K", kx, 1.0 / 3.0, 0), a = K("A", 0, 0, 0.5);
        const LabelledKPoint l = K("L", 0.5, 0, 0.5), h = K("H", kx, 1.0 / 3.0, 0.5);
        return {{gamma, m, k, gamma, a, l, h, a}, {l, m}, {k, h}};
    }
    return {{gamma, K("X", 0.5, 0, 0)}, {K("Y", 0, 0.5, 0), gamma, K("Z", 0, 0, 0.5)}};
}

// ------------------------------------------------- paths of a Bravais lattice

namespace {

using HostModel::Mat3;
using HostModel::Vec3;

// A labelled point in the coordinates of some reciprocal basis.
struct BasisPoint {
    const char* label;
    Vec3 f;
};

// Primitive cell vectors of a centring, as columns in fractional coordinates
// of the conventional cell (matrix m[row][column]).
Mat3 PrimitiveColumns(char centring)
{
    const double h = 0.5, t = 1.0 / 3.0;
    switch (centring) {
    case 'F':
        return {{{0, h, h}, {h, 0, h}, {h, h, 0}}};
    case 'I':
        return {{{-h, h, h}, {h, -h, h}, {h, h, -h}}};
    case 'C':
        return {{{h, h, 0}, {-h, h, 0}, {0, 0, 1}}};
    case 'A':
        return {{{1, 0, 0}, {0, h, -h}, {0, h, h}}};
    case 'B':
        return {{{h, 0, -h}, {0, 1, 0}, {h, 0, h}}};
    case 'R': // obverse rhombohedral vectors of the hexagonal setting
        return {{{2 * t, -t, -t}, {t, t, -2 * t}, {t, t, t}}};
    default:
        return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    }
}

Mat3 Transposed(const Mat3& m)
{
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = m[j][i];
    return r;
}

// Reciprocal coordinates go with the transposed inverse of the matrix that
// takes real-space coordinates from one cell to the other: with x' = M x for
// positions, k.x is unchanged when f = M^T f'. Points of the primitive
// reciprocal basis become conventional ones with f_conv = C^-T f_prim, C
// holding the primitive vectors as columns (x_conv = C x_prim).
Vec3 PrimitiveToConventional(char centring, const Vec3& f)
{
    Mat3 inverse{};
    HostModel::Invert(PrimitiveColumns(centring), inverse);
    return HostModel::Multiply(Transposed(inverse), f);
}

// The runs of labels of a path, each label looked up among the points.
std::vector<KPointRun> Runs(const std::vector<BasisPoint>& points, const std::vector<std::vector<const char*>>& runs,
                            char centring, bool primitiveCoordinates)
{
    std::vector<KPointRun> result;
    for (const auto& labels : runs) {
        KPointRun run;
        for (const char* label : labels) {
            Vec3 f{0, 0, 0};
            for (const BasisPoint& point : points) {
                if (std::string(point.label) == label)
                    f = point.f;
            }
            if (primitiveCoordinates)
                f = PrimitiveToConventional(centring, f);
            run.push_back(LabelledKPoint{f[0], f[1], f[2], label});
        }
        result.push_back(run);
    }
    return result;
}

bool NearZero(double value)
{
    return std::fabs(value) < 1e-9;
}

} // namespace

std::vector<KPointRun> BravaisDispersionPath(BravaisLattice lattice, double a, double c)
{
    const double h = 0.5, q = 0.25;
    switch (lattice) {
    case BravaisLattice::CubicP:
        return Runs({{"Gamma", {0, 0, 0}}, {"X", {0, h, 0}}, {"M", {h, h, 0}}, {"R", {h, h, h}}},
                    {{"Gamma", "X", "M", "Gamma", "R", "X"}, {"M", "R"}}, 'P', false);
    case BravaisLattice::CubicF:
        return Runs({{"Gamma", {0, 0, 0}},
                     {"X", {h, 0, h}},
                     {"W", {h, q, 3 * q}},
                     {"K", {3.0 / 8, 3.0 / 8, 3 * q}},
                     {"L", {h, h, h}},
                     {"U", {5.0 / 8, q, 5.0 / 8}}},
                    {{"Gamma", "X", "W", "K", "Gamma", "L", "U", "W", "L", "K"}, {"U", "X"}}, 'F', true);
    case BravaisLattice::CubicI:
        return Runs({{"Gamma", {0, 0, 0}}, {"H", {h, -h, h}}, {"N", {0, 0, h}}, {"P", {q, q, q}}},
                    {{"Gamma", "H", "N", "Gamma", "P", "H"}, {"P", "N"}}, 'I', true);
    case BravaisLattice::TetragonalP:
        return Runs({{"Gamma", {0, 0, 0}},
                     {"X", {0, h, 0}},
                     {"M", {h, h, 0}},
                     {"Z", {0, 0, h}},
                     {"R", {0, h, h}},
                     {"A", {h, h, h}}},
                    {{"Gamma", "X", "M", "Gamma", "Z", "R", "A", "Z"}, {"X", "R"}, {"M", "A"}}, 'P', false);
    case BravaisLattice::TetragonalI:
        if (c < a) {
            const double eta = (1 + c * c / (a * a)) / 4;
            return Runs({{"Gamma", {0, 0, 0}},
                         {"M", {-h, h, h}},
                         {"N", {0, h, 0}},
                         {"P", {q, q, q}},
                         {"X", {0, 0, h}},
                         {"Z", {eta, eta, -eta}},
                         {"Z1", {-eta, 1 - eta, eta}}},
                        {{"Gamma", "X", "M", "Gamma", "Z", "P", "N", "Z1", "M"}, {"X", "P"}}, 'I', true);
        } else {
            const double eta = (1 + a * a / (c * c)) / 4, zeta = a * a / (2 * c * c);
            return Runs({{"Gamma", {0, 0, 0}},
                         {"N", {0, h, 0}},
                         {"P", {q, q, q}},
                         {"Sigma", {-eta, eta, eta}},
                         {"Sigma1", {eta, 1 - eta, -eta}},
                         {"X", {0, 0, h}},
                         {"Y", {-zeta, zeta, h}},
                         {"Y1", {h, h, -zeta}},
                         {"Z", {h, h, -h}}},
                        {{"Gamma", "X", "Y", "Sigma", "Gamma", "Z", "Sigma1", "N", "P", "Y1", "Z"}, {"X", "P"}}, 'I',
                        true);
        }
    case BravaisLattice::OrthorhombicP:
        return Runs({{"Gamma", {0, 0, 0}},
                     {"X", {h, 0, 0}},
                     {"Y", {0, h, 0}},
                     {"Z", {0, 0, h}},
                     {"S", {h, h, 0}},
                     {"U", {h, 0, h}},
                     {"T", {0, h, h}},
                     {"R", {h, h, h}}},
                    {{"Gamma", "X", "S", "Y", "Gamma", "Z", "U", "R", "T", "Z"}, {"Y", "T"}, {"U", "X"}, {"S", "R"}},
                    'P', false);
    case BravaisLattice::Hexagonal: {
        const double t = 1.0 / 3.0;
        return Runs({{"Gamma", {0, 0, 0}},
                     {"M", {h, 0, 0}},
                     {"K", {t, t, 0}},
                     {"A", {0, 0, h}},
                     {"L", {h, 0, h}},
                     {"H", {t, t, h}}},
                    {{"Gamma", "M", "K", "Gamma", "A", "L", "H", "A"}, {"L", "M"}, {"K", "H"}}, 'P', false);
    }
    case BravaisLattice::Rhombohedral: {
        // The rhombohedral angle of the hexagonal setting (a, c).
        const double cosAlpha = (2 * c * c - 3 * a * a) / (2 * c * c + 6 * a * a);
        if (cosAlpha > 0 || NearZero(cosAlpha)) {
            const double eta = (1 + 4 * cosAlpha) / (2 + 4 * cosAlpha), nu = 0.75 - eta / 2;
            return Runs({{"Gamma", {0, 0, 0}},
                         {"B", {eta, h, 1 - eta}},
                         {"B1", {h, 1 - eta, eta - 1}},
                         {"F", {h, h, 0}},
                         {"L", {h, 0, 0}},
                         {"L1", {0, 0, -h}},
                         {"P", {eta, nu, nu}},
                         {"P1", {1 - nu, 1 - nu, 1 - eta}},
                         {"Q", {1 - nu, nu, 0}},
                         {"X", {nu, 0, -nu}},
                         {"Z", {h, h, h}}},
                        {{"Gamma", "L", "B1"}, {"B", "Z", "Gamma", "X"}, {"Q", "F", "P1", "Z"}, {"L", "P"}}, 'R', true);
        }
        const double alpha = std::acos(cosAlpha);
        const double eta = 1 / (2 * std::pow(std::tan(alpha / 2), 2)), nu = 0.75 - eta / 2;
        return Runs({{"Gamma", {0, 0, 0}},
                     {"F", {h, -h, 0}},
                     {"L", {h, 0, 0}},
                     {"P", {1 - nu, -nu, 1 - nu}},
                     {"P1", {nu, nu - 1, nu - 1}},
                     {"Q", {eta, eta, eta}},
                     {"Q1", {1 - eta, -eta, -eta}},
                     {"Z", {h, -h, h}}},
                    {{"Gamma", "P", "Z", "Q", "Gamma", "F", "P1", "Q1", "L", "Z"}}, 'R', true);
    }
    default:
        break;
    }
    // Monoclinic, triclinic and the centred orthorhombic lattices: along the
    // three primitive reciprocal axes.
    char centring = 'P';
    if (lattice == BravaisLattice::OtherC)
        centring = 'C';
    else if (lattice == BravaisLattice::OtherA)
        centring = 'A';
    else if (lattice == BravaisLattice::OtherB)
        centring = 'B';
    else if (lattice == BravaisLattice::OtherI)
        centring = 'I';
    else if (lattice == BravaisLattice::OtherF)
        centring = 'F';
    return Runs({{"Gamma", {0, 0, 0}}, {"X", {h, 0, 0}}, {"Y", {0, h, 0}}, {"Z", {0, 0, h}}},
                {{"Gamma", "X"}, {"Y", "Gamma", "Z"}}, centring, true);
}

namespace {

BravaisLattice LatticeOf(int spaceGroup, char centring)
{
    if (spaceGroup >= 195)
        return centring == 'F' ? BravaisLattice::CubicF : centring == 'I' ? BravaisLattice::CubicI
                                                                           : BravaisLattice::CubicP;
    if (spaceGroup >= 168)
        return BravaisLattice::Hexagonal;
    if (spaceGroup >= 143)
        return centring == 'R' ? BravaisLattice::Rhombohedral : BravaisLattice::Hexagonal;
    if (spaceGroup >= 75)
        return centring == 'I' ? BravaisLattice::TetragonalI : BravaisLattice::TetragonalP;
    if (spaceGroup >= 16 && centring == 'P')
        return BravaisLattice::OrthorhombicP;
    switch (centring) {
    case 'C':
        return BravaisLattice::OtherC;
    case 'A':
        return BravaisLattice::OtherA;
    case 'B':
        return BravaisLattice::OtherB;
    case 'I':
        return BravaisLattice::OtherI;
    case 'F':
        return BravaisLattice::OtherF;
    default:
        return BravaisLattice::OtherP;
    }
}

double Snapped(double value)
{
    const double rounded = std::round(value * 1e10) / 1e10;
    return rounded == 0.0 ? 0.0 : rounded;
}

} // namespace

std::vector<KPointRun> StandardDispersionPath(const Mat3& cellRows, const std::vector<Vec3>& fractional,
                                              const std::vector<std::string>& elements, BravaisLattice* found)
{
    if (fractional.empty() || fractional.size() != elements.size())
        return {};
    double lattice[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            lattice[i][j] = cellRows[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)]; // columns a, b, c
    std::vector<double> positions(3 * fractional.size());
    std::vector<int> types(fractional.size());
    std::map<std::string, int> typeOf;
    for (std::size_t n = 0; n < fractional.size(); ++n) {
        for (std::size_t i = 0; i < 3; ++i)
            positions[3 * n + i] = fractional[n][i];
        types[n] = typeOf.emplace(elements[n], static_cast<int>(typeOf.size()) + 1).first->second;
    }
    const std::unique_ptr<SpglibDataset, void (*)(SpglibDataset*)> dataset(
        spg_get_dataset(lattice, reinterpret_cast<double(*)[3]>(positions.data()), types.data(),
                        static_cast<int>(types.size()), 1e-3),
        &spg_free_dataset);
    if (!dataset || dataset->spacegroup_number <= 0)
        return {};

    const BravaisLattice kind = LatticeOf(dataset->spacegroup_number, dataset->international_symbol[0]);
    if (found)
        *found = kind;
    // Lengths a and c of the standard conventional cell (its columns).
    const auto column = [&](int j) {
        return std::sqrt(dataset->std_lattice[0][j] * dataset->std_lattice[0][j] +
                         dataset->std_lattice[1][j] * dataset->std_lattice[1][j] +
                         dataset->std_lattice[2][j] * dataset->std_lattice[2][j]);
    };
    std::vector<KPointRun> runs = BravaisDispersionPath(kind, column(0), column(2));

    // The points are in the reciprocal basis of the standard conventional
    // cell; the deck gives the cell as the document holds it. Positions go
    // from that cell to the standard one as x_std = P x + p, so reciprocal
    // coordinates go back as f = P^T f_std.
    Mat3 toStandard{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            toStandard[i][j] = dataset->transformation_matrix[i][j];
    const Mat3 back = Transposed(toStandard);
    for (KPointRun& run : runs) {
        for (LabelledKPoint& point : run) {
            const Vec3 f = HostModel::Multiply(back, Vec3{point.x, point.y, point.z});
            point.x = Snapped(f[0]);
            point.y = Snapped(f[1]);
            point.z = Snapped(f[2]);
        }
    }
    return runs;
}

std::vector<KPointRun> StandardDispersionPath(const HostModel::Document& model)
{
    const HostModel::Lattice3D* lattice = model.Lattice3();
    if (!lattice)
        return {};
    std::vector<Vec3> fractional;
    std::vector<std::string> elements;
    for (const HostModel::Atom& atom : model.Atoms()) {
        fractional.push_back(model.Fractional(atom.handle));
        elements.push_back(atom.element);
    }
    std::vector<KPointRun> runs = StandardDispersionPath(lattice->Vectors(), fractional, elements);
    return runs.empty() ? StandardDispersionPath(lattice->Parameters()) : runs;
}

KelvComPtr<IQoDispersionPath> MakeDispersionPath(const std::vector<KPointRun>& runs)
{
    Validate(runs);
    DispersionPath* path = new DispersionPath(runs);
    return KelvComPtr<IQoDispersionPath>::Adopt(static_cast<IQoDispersionPath*>(path));
}

// -------------------------------------------------------------- generator

KelvComPtr<DispersionPathGenerator> DispersionPathGenerator::Create()
{
    return KelvComPtr<DispersionPathGenerator>::Adopt(new DispersionPathGenerator());
}

HRESULT DispersionPathGenerator::CreateInstance(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(Create().Detach());
    return S_OK;
}

namespace {

struct Registration {
    HRESULT result = S_OK;
    DWORD cookie = 0;

    Registration()
    {
        const KelvComPtr<IClassFactory> factory = HostModel::MakeClassFactory(&DispersionPathGenerator::CreateInstance);
        result = CoRegisterClassObject(CLSID_HostDispersionPathGenerator, factory.get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
        if (SUCCEEDED(result))
            result = ComRegistry::RegisterInProcessProgId(DispersionPathGeneratorProgId,
                                                          CLSID_HostDispersionPathGenerator);
    }
    // The class object goes back when the process ends, before the class
    // registry (made by the first registration, so destroyed later).
    ~Registration()
    {
        if (cookie != 0)
            CoRevokeClassObject(cookie);
    }
};

} // namespace

HRESULT DispersionPathGenerator::RegisterClass()
{
    static Registration registration;
    static std::atomic<bool> answered{false};
    if (FAILED(registration.result))
        return registration.result;
    return answered.exchange(true) ? S_FALSE : S_OK;
}

HRESULT DispersionPathGenerator::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoDispersionPathGenerator)
        return FinishQI(static_cast<IQoDispersionPathGenerator*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT DispersionPathGenerator::GetPath(ISBScope* pScope, IQoDispersionPath** ppPath)
{
    return HostCall(IID_IQoDispersionPathGenerator, [&] {
        RequireOut(ppPath);
        *ppPath = nullptr;
        Log("DispersionPathGenerator", "GetPath", {pScope ? "scope" : "null"});
        if (!pScope)
            Fail(E_INVALIDARG, "A dispersion path needs a scope.");
        std::vector<KPointRun> runs = ConfiguredPath();
        if (runs.empty()) {
            const std::shared_ptr<HostModel::Document> model = HostModel::DocumentOf(pScope);
            if (!model)
                Fail(E_INVALIDARG, "The scope is not a scope of a structure document of this application.");
            if (!model->Lattice3())
                Fail(E_INVALIDARG, "A phonon dispersion path needs a structure periodic in three dimensions.");
            runs = StandardDispersionPath(*model);
        }
        *ppPath = MakeDispersionPath(runs).Detach();
    });
}

void DispersionPathGenerator::SetPath(const std::vector<KPointRun>& runs)
{
    Validate(runs);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_runs = runs;
}

std::vector<KPointRun> DispersionPathGenerator::ConfiguredPath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_runs;
}

} // namespace QzHost
