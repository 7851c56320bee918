// The dispersion path of a crystal follows its Bravais lattice: the labels of
// the textbook path, and every labelled point on the boundary of the true
// Brillouin zone, whether the cell is given conventional or primitive.

#include <gtest/gtest.h>

#include "host/model/Lattice.h"
#include "host/state/DispersionPathGenerator.h"

#include <cmath>
#include <string>
#include <vector>

using namespace QzHost;
using HostModel::Mat3;
using HostModel::Vec3;
using HostModel::operator+;
using HostModel::operator-;
using HostModel::operator*;

namespace {

Mat3 Rows(double a, double b, double c, double alpha, double beta, double gamma)
{
    return HostModel::Lattice3D({a, b, c, HostModel::Radians(alpha), HostModel::Radians(beta),
                                 HostModel::Radians(gamma)})
        .Vectors();
}

std::string Labels(const std::vector<KPointRun>& runs)
{
    std::string text;
    for (const KPointRun& run : runs) {
        text += text.empty() ? "" : "|";
        for (std::size_t i = 0; i < run.size(); ++i)
            text += (i ? "-" : "") + run[i].label;
    }
    return text;
}

// Reciprocal vectors (rows, without 2 pi) of a cell given by rows.
Mat3 Reciprocal(const Mat3& rows)
{
    Mat3 inverse{};
    EXPECT_TRUE(HostModel::Invert(rows, inverse));
    Mat3 result{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            result[i][j] = inverse[j][i];
    return result;
}

Vec3 Cartesian(const Mat3& reciprocal, const Vec3& f)
{
    return f[0] * reciprocal[0] + f[1] * reciprocal[1] + f[2] * reciprocal[2];
}

struct Crystal {
    const char* name;
    Mat3 cell;                    // the cell the deck gives
    std::vector<Vec3> positions;  // fractional in that cell
    std::vector<std::string> elements;
    Mat3 primitive;               // a primitive cell of the same lattice
    BravaisLattice lattice;
    const char* labels;
};

void PrintTo(const Crystal& c, std::ostream* out)
{
    *out << c.name;
}

const double A = 5.64;
const double H = A / 2;

Crystal CsCl()
{
    const Mat3 cell = Rows(4.12, 4.12, 4.12, 90, 90, 90);
    return {"CsCl (cubic P)", cell, {{0, 0, 0}, {0.5, 0.5, 0.5}}, {"Cs", "Cl"}, cell, BravaisLattice::CubicP,
            "Gamma-X-M-Gamma-R-X|M-R"};
}

Mat3 FccPrimitive()
{
    return {{{0, H, H}, {H, 0, H}, {H, H, 0}}};
}

Crystal RockSaltConventional()
{
    std::vector<Vec3> positions;
    std::vector<std::string> elements;
    for (const Vec3& t : {Vec3{0, 0, 0}, Vec3{0, 0.5, 0.5}, Vec3{0.5, 0, 0.5}, Vec3{0.5, 0.5, 0}}) {
        positions.push_back(t);
        elements.push_back("Na");
        positions.push_back({std::fmod(t[0] + 0.5, 1.0), t[1], t[2]});
        elements.push_back("Cl");
    }
    return {"NaCl conventional (cubic F)", Rows(A, A, A, 90, 90, 90), positions, elements, FccPrimitive(),
            BravaisLattice::CubicF, "Gamma-X-W-K-Gamma-L-U-W-L-K|U-X"};
}

Crystal RockSaltPrimitive()
{
    return {"NaCl primitive (cubic F)", FccPrimitive(), {{0, 0, 0}, {0.5, 0.5, 0.5}}, {"Na", "Cl"}, FccPrimitive(),
            BravaisLattice::CubicF, "Gamma-X-W-K-Gamma-L-U-W-L-K|U-X"};
}

Crystal Tungsten()
{
    const double a = 3.16, h = a / 2;
    return {"W (cubic I)", Rows(a, a, a, 90, 90, 90), {{0, 0, 0}, {0.5, 0.5, 0.5}}, {"W", "W"},
            Mat3{{{-h, h, h}, {h, -h, h}, {h, h, -h}}}, BravaisLattice::CubicI, "Gamma-H-N-Gamma-P-H|P-N"};
}

Crystal Hexagonal()
{
    const Mat3 cell = Rows(3.0, 3.0, 5.0, 90, 90, 120);
    return {"simple hexagonal", cell, {{0, 0, 0}}, {"Mg"}, cell, BravaisLattice::Hexagonal,
            "Gamma-M-K-Gamma-A-L-H-A|L-M|K-H"};
}

class BravaisPath : public ::testing::TestWithParam<Crystal> {};

} // namespace

TEST_P(BravaisPath, TextbookPathWithEveryPointOnTheZoneBoundary)
{
    const Crystal& c = GetParam();
    BravaisLattice found = BravaisLattice::OtherP;
    const std::vector<KPointRun> runs = StandardDispersionPath(c.cell, c.positions, c.elements, &found);
    EXPECT_EQ(c.lattice, found);
    EXPECT_EQ(c.labels, Labels(runs));

    // A labelled point other than Gamma is at least as near Gamma as any
    // point of the reciprocal lattice, and as near as one of them: it lies
    // on the boundary of the zone of the true (primitive) lattice.
    const Mat3 deck = Reciprocal(c.cell);
    const Mat3 lattice = Reciprocal(c.primitive);
    for (const KPointRun& run : runs) {
        for (const LabelledKPoint& point : run) {
            if (point.label == "Gamma")
                continue;
            SCOPED_TRACE(point.label);
            const Vec3 k = Cartesian(deck, {point.x, point.y, point.z});
            double nearest = 1e300;
            for (int i = -2; i <= 2; ++i)
                for (int j = -2; j <= 2; ++j)
                    for (int l = -2; l <= 2; ++l) {
                        if (i == 0 && j == 0 && l == 0)
                            continue;
                        const Vec3 d = k - Cartesian(lattice, {double(i), double(j), double(l)});
                        nearest = std::min(nearest, HostModel::Dot(d, d));
                    }
            EXPECT_LE(HostModel::Dot(k, k), nearest + 1e-9);
            EXPECT_NEAR(HostModel::Dot(k, k), nearest, 1e-9);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Crystals, BravaisPath,
                         ::testing::Values(CsCl(), RockSaltConventional(), RockSaltPrimitive(), Tungsten(),
                                           Hexagonal()));

TEST(BravaisPath, FCentredXIsTheFaceCentreOfTheConventionalReciprocalCell)
{
    // In the conventional cell's reciprocal basis X is (0, 1, 0), not the
    // simple-cubic (0, 1/2, 0); the same X in the primitive cell's basis.
    for (const Crystal& c : {RockSaltConventional(), RockSaltPrimitive()}) {
        SCOPED_TRACE(c.name);
        const LabelledKPoint x = StandardDispersionPath(c.cell, c.positions, c.elements)[0][1];
        ASSERT_EQ("X", x.label);
        const Vec3 k = Cartesian(Reciprocal(c.cell), {x.x, x.y, x.z});
        EXPECT_NEAR(1.0 / A, HostModel::Length(k), 1e-9);
    }
    const LabelledKPoint x = StandardDispersionPath(RockSaltConventional().cell, RockSaltConventional().positions,
                                                    RockSaltConventional().elements)[0][1];
    EXPECT_EQ((Vec3{0, 1, 0}), (Vec3{x.x, x.y, x.z}));
}
