#include "host/model/Lattice.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace HostModel;

namespace {

struct CellCase {
    const char* name;
    double a, b, c, alpha, beta, gamma; // degrees
};

const CellCase kCells[] = {
    {"cubic", 5.43, 5.43, 5.43, 90, 90, 90},
    {"tetragonal", 4.5937, 4.5937, 2.9587, 90, 90, 90},
    {"hexagonal", 4.759, 4.759, 12.991, 90, 90, 120},
    {"monoclinic", 5.1, 6.2, 7.3, 90, 101.5, 90},
    {"triclinic", 5.0, 6.0, 7.0, 75.0, 85.0, 95.0},
    {"rhombohedral", 5.128, 5.128, 5.128, 55.28, 55.28, 55.28},
};

CellParameters Params(const CellCase& c)
{
    return {c.a, c.b, c.c, Radians(c.alpha), Radians(c.beta), Radians(c.gamma)};
}

double AnalyticVolume(const CellCase& c)
{
    const double ca = std::cos(Radians(c.alpha)), cb = std::cos(Radians(c.beta)), cg = std::cos(Radians(c.gamma));
    return c.a * c.b * c.c * std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
}

} // namespace

TEST(Lattice3D, ParametersToVectorsAndBack)
{
    for (const CellCase& c : kCells) {
        SCOPED_TRACE(c.name);
        const Lattice3D lattice(Params(c));
        const Mat3& v = lattice.Vectors();
        // Standard orientation: a along x, b in the xy plane, c pointing up.
        EXPECT_NEAR(v[0][1], 0.0, 1e-12);
        EXPECT_NEAR(v[0][2], 0.0, 1e-12);
        EXPECT_NEAR(v[1][2], 0.0, 1e-12);
        EXPECT_GT(v[2][2], 0.0);
        EXPECT_NEAR(Length(v[0]), c.a, 1e-10);
        EXPECT_NEAR(Length(v[1]), c.b, 1e-10);
        EXPECT_NEAR(Length(v[2]), c.c, 1e-10);

        const Lattice3D back = Lattice3D::FromVectors(v[0], v[1], v[2]);
        EXPECT_NEAR(back.Parameters().a, c.a, 1e-10);
        EXPECT_NEAR(back.Parameters().b, c.b, 1e-10);
        EXPECT_NEAR(back.Parameters().c, c.c, 1e-10);
        EXPECT_NEAR(Degrees(back.Parameters().alpha), c.alpha, 1e-9);
        EXPECT_NEAR(Degrees(back.Parameters().beta), c.beta, 1e-9);
        EXPECT_NEAR(Degrees(back.Parameters().gamma), c.gamma, 1e-9);
    }
}

TEST(Lattice3D, TripleProductEqualsVolume)
{
    for (const CellCase& c : kCells) {
        SCOPED_TRACE(c.name);
        const Lattice3D lattice(Params(c));
        const Mat3& v = lattice.Vectors();
        EXPECT_NEAR(TripleProduct(v[0], v[1], v[2]), AnalyticVolume(c), 1e-9 * AnalyticVolume(c));
        EXPECT_NEAR(lattice.Volume(), AnalyticVolume(c), 1e-9 * AnalyticVolume(c));
    }
}

TEST(Lattice3D, FractionalCartesianRoundTrip)
{
    for (const CellCase& c : kCells) {
        SCOPED_TRACE(c.name);
        const Lattice3D lattice(Params(c));
        const Vec3 f = {0.125, -0.75, 1.3};
        const Vec3 back = lattice.ToFractional(lattice.ToCartesian(f));
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(back[i], f[i], 1e-12);
        // The cell vectors are the images of the unit fractional steps.
        const Vec3 cz = lattice.ToCartesian({0, 0, 1});
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(cz[i], lattice.Vectors()[2][i], 1e-12);
    }
}

TEST(Lattice3D, RejectsCellsThatDoNotExist)
{
    const CellParameters bad[] = {
        {0.0, 1, 1, Radians(90), Radians(90), Radians(90)},
        {1, -2, 1, Radians(90), Radians(90), Radians(90)},
        {1, 1, 1, 0.0, Radians(90), Radians(90)},
        {1, 1, 1, Radians(180), Radians(90), Radians(90)},
        // alpha + beta < gamma: the angles close no cell
        {1, 1, 1, Radians(30), Radians(30), Radians(120)},
        {1, 1, std::nan(""), Radians(90), Radians(90), Radians(90)},
    };
    for (const CellParameters& p : bad) {
        EXPECT_FALSE(Lattice3D::IsValid(p));
        EXPECT_THROW(Lattice3D{p}, LatticeError);
    }
    EXPECT_THROW(Lattice3D::FromVectors({1, 0, 0}, {0, 1, 0}, {1, 1, 0}), LatticeError);
}

TEST(Lattice2D, AreaAndSurfaceFractions)
{
    const Lattice2D lattice({3.0, std::sqrt(5.0), std::atan2(2.0, 1.0)});
    // u = (3, 0), v = (1, 2): area 6.
    EXPECT_NEAR(lattice.Area(), 6.0, 1e-12);
    EXPECT_NEAR(lattice.V()[0], 1.0, 1e-12);
    EXPECT_NEAR(lattice.V()[1], 2.0, 1e-12);
    const Vec3 f = {0.25, 0.5, -3.5};
    const Vec3 p = lattice.ToCartesian(f);
    EXPECT_NEAR(p[0], 0.25 * 3 + 0.5 * 1, 1e-12);
    EXPECT_NEAR(p[1], 0.5 * 2, 1e-12);
    EXPECT_DOUBLE_EQ(p[2], -3.5); // z stays Cartesian
    const Vec3 back = lattice.ToFractional(p);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(back[i], f[i], 1e-12);
    EXPECT_THROW(Lattice2D({1, 1, 0.0}), LatticeError);
}
