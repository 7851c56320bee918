// The phonon dispersion path generator: standard paths by cell, where their
// special points lie in reciprocal space, the path object's points, labels
// and kinds, configured paths, and the generator as the default object of
// the engine logic's state.

#include "HostTestSupport.h"

#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"
#include "host/state/DispersionPathGenerator.h"

#include <cmath>
#include <limits>

using namespace HostTest;
using namespace QzHost;

namespace {

HostModel::CellParameters Cell(double a, double b, double c, double alpha, double beta, double gamma)
{
    return {a, b, c, HostModel::Radians(alpha), HostModel::Radians(beta), HostModel::Radians(gamma)};
}

// "Gamma-X-M|M-R": labels of each run joined by "-", runs by "|".
std::string Labels(const std::vector<KPointRun>& runs)
{
    std::string text;
    for (const KPointRun& run : runs) {
        if (!text.empty())
            text += "|";
        for (std::size_t i = 0; i < run.size(); ++i)
            text += (i ? "-" : "") + run[i].label;
    }
    return text;
}

struct PathCase {
    const char* name;
    HostModel::CellParameters cell;
    const char* labels;
};

void PrintTo(const PathCase& c, std::ostream* out)
{
    *out << c.name;
}

class StandardPath : public ::testing::TestWithParam<PathCase> {};

HostModel::Vec3 Cross(const HostModel::Vec3& u, const HostModel::Vec3& v)
{
    return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}

double Length(const HostModel::Vec3& v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// A k-point's Cartesian reciprocal vector (without the 2 pi factor).
HostModel::Vec3 Reciprocal(const HostModel::CellParameters& cell, const LabelledKPoint& k)
{
    const HostModel::Lattice3D lattice(cell);
    const HostModel::Mat3& a = lattice.Vectors();
    const double volume = lattice.Volume();
    const HostModel::Vec3 b[3] = {Cross(a[1], a[2]), Cross(a[2], a[0]), Cross(a[0], a[1])};
    const double f[3] = {k.x, k.y, k.z};
    HostModel::Vec3 result{0, 0, 0};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            result[j] += f[i] * b[i][j] / volume;
    return result;
}

const LabelledKPoint* Find(const std::vector<KPointRun>& runs, const std::string& label)
{
    for (const KPointRun& run : runs)
        for (const LabelledKPoint& point : run)
            if (point.label == label)
                return &point;
    return nullptr;
}

} // namespace

TEST_P(StandardPath, FollowsTheCellsShape)
{
    const PathCase& c = GetParam();
    EXPECT_EQ(c.labels, Labels(StandardDispersionPath(c.cell)));
}

INSTANTIATE_TEST_SUITE_P(
    Cells, StandardPath,
    ::testing::Values(
        PathCase{"cubic", Cell(5.64, 5.64, 5.64, 90, 90, 90), "Gamma-X-M-Gamma-R-X|M-R"},
        PathCase{"cubic within rounding", Cell(5.64, 5.640001, 5.64, 90, 90, 90.000001), "Gamma-X-M-Gamma-R-X|M-R"},
        PathCase{"tetragonal", Cell(4.59, 4.59, 2.96, 90, 90, 90), "Gamma-X-M-Gamma-Z-R-A-Z|X-R|M-A"},
        PathCase{"orthorhombic", Cell(3, 4, 5, 90, 90, 90), "Gamma-X-S-Y-Gamma-Z-U-R-T-Z|Y-T|U-X|S-R"},
        PathCase{"a and c equal only", Cell(5, 5.01, 5, 90, 90, 90), "Gamma-X-S-Y-Gamma-Z-U-R-T-Z|Y-T|U-X|S-R"},
        PathCase{"hexagonal", Cell(4.91, 4.91, 5.41, 90, 90, 120), "Gamma-M-K-Gamma-A-L-H-A|L-M|K-H"},
        PathCase{"hexagonal at 60", Cell(4.91, 4.91, 5.41, 90, 90, 60), "Gamma-M-K-Gamma-A-L-H-A|L-M|K-H"},
        PathCase{"monoclinic", Cell(3, 4, 5, 90, 100, 90), "Gamma-X|Y-Gamma-Z"},
        PathCase{"rhombohedral primitive", Cell(3.99, 3.99, 3.99, 60, 60, 60), "Gamma-X|Y-Gamma-Z"},
        PathCase{"triclinic", Cell(3, 4, 5, 80, 85, 95), "Gamma-X|Y-Gamma-Z"}));

TEST(StandardPath, SpecialPointsLieOnTheZoneBoundary)
{
    // Cubic: X at the face centre, M at the edge centre, R at the corner.
    const HostModel::CellParameters cubic = Cell(4, 4, 4, 90, 90, 90);
    const std::vector<KPointRun> cubicPath = StandardDispersionPath(cubic);
    const double bStar = 1.0 / 4.0;
    EXPECT_NEAR(bStar / 2, Length(Reciprocal(cubic, *Find(cubicPath, "X"))), 1e-12);
    EXPECT_NEAR(bStar / std::sqrt(2.0), Length(Reciprocal(cubic, *Find(cubicPath, "M"))), 1e-12);
    EXPECT_NEAR(bStar * std::sqrt(3.0) / 2, Length(Reciprocal(cubic, *Find(cubicPath, "R"))), 1e-12);

    // Hexagonal, in both settings of the cell angle: M at the middle of a
    // zone edge (|b*| / 2), K at a corner of the hexagon (|b*| / sqrt 3),
    // A on the c* axis at |c*| / 2.
    for (double gamma : {120.0, 60.0}) {
        SCOPED_TRACE(gamma);
        const HostModel::CellParameters hexagonal = Cell(3, 3, 5, 90, 90, gamma);
        const std::vector<KPointRun> path = StandardDispersionPath(hexagonal);
        const double aStar = Length(Reciprocal(hexagonal, LabelledKPoint{1, 0, 0, ""}));
        const double cStar = Length(Reciprocal(hexagonal, LabelledKPoint{0, 0, 1, ""}));
        EXPECT_NEAR(aStar / 2, Length(Reciprocal(hexagonal, *Find(path, "M"))), 1e-12);
        EXPECT_NEAR(aStar / std::sqrt(3.0), Length(Reciprocal(hexagonal, *Find(path, "K"))), 1e-12);
        EXPECT_NEAR(cStar / 2, Length(Reciprocal(hexagonal, *Find(path, "A"))), 1e-12);
        // K is a corner: as far from the reciprocal point b1* as from Gamma.
        HostModel::Vec3 k = Reciprocal(hexagonal, *Find(path, "K"));
        const HostModel::Vec3 b1 = Reciprocal(hexagonal, LabelledKPoint{1, 0, 0, ""});
        const HostModel::Vec3 fromB1{k[0] - b1[0], k[1] - b1[1], k[2] - b1[2]};
        EXPECT_NEAR(Length(k), Length(fromB1), 1e-12);
    }
}

namespace {

// The path's points as "label x y z kind" lines.
std::vector<std::string> Describe(IQoDispersionPath* path)
{
    std::vector<std::string> lines;
    KelvComPtr<IQoDispersionPathPointKinds> kinds;
    EXPECT_EQ(S_OK, path->QueryInterface(IID_IQoDispersionPathPointKinds, kinds.ReceiveVoid()));
    LONG count = -1;
    EXPECT_EQ(S_OK, path->get_PointCount(&count));
    for (LONG i = 0; i < count; ++i) {
        KelvComPtr<ISDPoint3d> point;
        EXPECT_EQ(S_OK, path->GetPoint(i, point.Receive()));
        double x = 9, y = 9, z = 9;
        EXPECT_EQ(S_OK, point->GetXYZ(&x, &y, &z));
        OutText label;
        EXPECT_EQ(S_OK, path->GetPointLabel(i, &label));
        LONG kind = 0;
        EXPECT_EQ(S_OK, kinds->GetPointKind(i, &kind));
        std::ostringstream line;
        line << label.str() << " " << x << " " << y << " " << z << " " << kind;
        lines.push_back(line.str());
    }
    return lines;
}

class PathGenerator : public ::testing::Test {
protected:
    void SetUp() override
    {
        try {
            app = std::make_unique<HostApplication>(ProjectIn(folder));
        } catch (const KelvResult& error) {
            FAIL() << "host: " << error.GetMessage();
        }
        generator = DispersionPathGenerator::Create();
    }

    // The contents scope of a document opened from a ".qsd" written for it.
    KelvComPtr<ISBScope> ContentsOf(const HostModel::Document& model, const std::string& name)
    {
        const std::string path = app->DocumentsFolder() + "/" + name + ".qsd";
        HostModel::SaveQsd(model, path);
        KelvComPtr<ISBDocumentRoot> document = app->Documents().Open(path);
        KelvComPtr<ISBScope> contents;
        EXPECT_EQ(S_OK, document->get_ContentsAsScope(contents.Receive()));
        return contents;
    }

    KelvComPtr<ISBScope> RockSalt()
    {
        HostModel::Document model;
        model.SetCell(Cell(5.64, 5.64, 5.64, 90, 90, 90));
        model.SetSymmetry(HostModel::Symmetry::FromName("F m -3 m"));
        model.AddAtomAt("Na", {0, 0, 0});
        model.AddAtomAt("Cl", {0.5, 0.5, 0.5});
        return ContentsOf(model, "NaCl");
    }

    TempFolder folder;
    std::unique_ptr<HostApplication> app;
    KelvComPtr<DispersionPathGenerator> generator;
};

} // namespace

TEST_F(PathGenerator, PathOfACubicModelWithKindsAndLabels)
{
    KelvComPtr<ISBScope> scope = RockSalt();
    HostModel::OperationLog::Clear();
    KelvComPtr<IQoDispersionPath> path;
    ASSERT_EQ(S_OK, generator->GetPath(scope.get(), path.Receive()));
    // F-centred: the face-centred cubic path, in the reciprocal basis of the
    // conventional cell the model holds (X at (0, 1, 0) there).
    EXPECT_EQ((std::vector<std::string>{"Gamma 0 0 0 2", "X 0 1 0 4", "W 0.5 1 0 4", "K 0.75 0.75 0 4",
                                        "Gamma 0 0 0 4", "L 0.5 0.5 0.5 4", "U 0.25 1 0.25 4", "W 0.5 1 0 4",
                                        "L 0.5 0.5 0.5 4", "K 0.75 0.75 0 3", "U 0.25 1 0.25 2", "X 0 1 0 3"}),
              Describe(path.get()));
    EXPECT_EQ((std::vector<std::string>{"GetPath(scope)"}), LogOf("DispersionPathGenerator"));

    // Indices outside the path are refused with a clear message.
    KelvComPtr<ISDPoint3d> point;
    EXPECT_EQ(E_INVALIDARG, path->GetPoint(12, point.Receive()));
    EXPECT_NE(std::string::npos, LastErrorText().find("no point 12"));
    EXPECT_FALSE(point);
    OutText label;
    EXPECT_EQ(E_INVALIDARG, path->GetPointLabel(-1, &label));
    KelvComPtr<IQoDispersionPathPointKinds> kinds;
    ASSERT_EQ(S_OK, path->QueryInterface(IID_IQoDispersionPathPointKinds, kinds.ReceiveVoid()));
    LONG kind = 7;
    EXPECT_EQ(E_INVALIDARG, kinds->GetPointKind(12, &kind));
    EXPECT_EQ(0, kind);
    EXPECT_EQ(E_POINTER, kinds->GetPointKind(0, nullptr));
    EXPECT_EQ(E_POINTER, path->get_PointCount(nullptr));
    EXPECT_EQ(E_POINTER, generator->GetPath(scope.get(), nullptr));
}

TEST_F(PathGenerator, ModelsWithoutABulkCellHaveNoPath)
{
    HostModel::Document molecule;
    molecule.AddAtomAt("O", {0, 0, 0});
    molecule.AddAtomAt("H", {0.96, 0, 0});
    HostModel::Document slab;
    slab.SetSurfaceCell({4.0, 4.0, HostModel::Radians(90)});
    slab.AddAtomAt("Na", {0, 0, 0});
    for (const auto& scope : {ContentsOf(molecule, "water"), ContentsOf(slab, "slab")}) {
        KelvComPtr<IQoDispersionPath> path;
        EXPECT_EQ(E_INVALIDARG, generator->GetPath(scope.get(), path.Receive()));
        EXPECT_NE(std::string::npos, LastErrorText().find("periodic in three dimensions"));
        EXPECT_FALSE(path);
    }
    KelvComPtr<IQoDispersionPath> path;
    EXPECT_EQ(E_INVALIDARG, generator->GetPath(nullptr, path.Receive()));
}

TEST_F(PathGenerator, ConfiguredPathServesEveryScopeUntilCleared)
{
    KelvComPtr<ISBScope> scope = RockSalt();
    generator->SetPath({{{0, 0, 0, "G"}, {0.5, 0, 0, "L"}}, {{0.25, 0.25, 0, ""}, {0, 0, 0, "G"}, {0, 0, 0.5, "Z"}}});

    // A run of one point, or a coordinate that is not a number, is refused
    // and the configured path stays.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<KPointRun>> bad = {{{{0, 0, 0, "G"}}},
                                                     {{{0, 0, 0, "G"}, {0.5, 0, 0, "X"}}, {}},
                                                     {{{0, 0, 0, "G"}, {nan, 0, 0, "X"}}}};
    for (const auto& runs : bad) {
        try {
            generator->SetPath(runs);
            ADD_FAILURE() << "a bad path was taken";
        } catch (const KelvResult& error) {
            EXPECT_EQ(E_INVALIDARG, error.GetHRESULT());
        }
    }

    KelvComPtr<IQoDispersionPath> path;
    ASSERT_EQ(S_OK, generator->GetPath(scope.get(), path.Receive()));
    EXPECT_EQ((std::vector<std::string>{"G 0 0 0 2", "L 0.5 0 0 3", " 0.25 0.25 0 2", "G 0 0 0 4", "Z 0 0 0.5 3"}),
              Describe(path.get()));

    generator->SetPath({});
    ASSERT_EQ(S_OK, generator->GetPath(scope.get(), path.Receive()));
    EXPECT_EQ(12u, Describe(path.get()).size());
}

TEST_F(PathGenerator, IsTheDefaultObjectOfTheEngineLogicsState)
{
    KelvComPtr<HostState> state = app->State("ZelmLogic");
    ASSERT_TRUE(state);
    KelvVariant value;
    ASSERT_EQ(S_OK, state->GetPropertyValue(Text("PhononDispersionKPGenerator"), value.Receive()));
    ASSERT_EQ(VT_UNKNOWN, value.Type());
    KelvComPtr<IQoDispersionPathGenerator> fromState;
    ASSERT_EQ(S_OK, value.Get().punkVal->QueryInterface(IID_IQoDispersionPathGenerator, fromState.ReceiveVoid()));

    // The same object on every read.
    KelvVariant again;
    ASSERT_EQ(S_OK, state->GetPropertyValue(Text("PhononDispersionKPGenerator"), again.Receive()));
    EXPECT_EQ(Identity(value.Get().punkVal), Identity(again.Get().punkVal));

    KelvComPtr<IQoDispersionPath> path;
    ASSERT_EQ(S_OK, fromState->GetPath(RockSalt().get(), path.Receive()));
    EXPECT_EQ("Gamma 0 0 0 2", Describe(path.get()).front());

    // Made by its ProgID as well; a second registration changes nothing.
    KelvComPtr<IQoDispersionPathGenerator> made;
    EXPECT_EQ(S_OK, Kelv::KelvCreateImpl(DispersionPathGeneratorProgId, nullptr, CLSCTX_SERVER,
                                         IID_IQoDispersionPathGenerator, made.ReceiveVoid(), false)
                        .GetHRESULT());
    EXPECT_TRUE(made);
    EXPECT_EQ(S_FALSE, DispersionPathGenerator::RegisterClass());

    // Cleared by the user, the property stays empty.
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("PhononDispersionKPGenerator"), KelvVariant().Get()));
    KelvVariant cleared;
    ASSERT_EQ(S_OK, state->GetPropertyValue(Text("PhononDispersionKPGenerator"), cleared.Receive()));
    EXPECT_EQ(VT_EMPTY, cleared.Type());
}
