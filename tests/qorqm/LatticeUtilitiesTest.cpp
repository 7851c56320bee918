#include "qorqm/LatticeUtilities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double Tolerance = 1e-9;

double Rad(double degrees) {
    return degrees * Pi / 180.0;
}

double Dot(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double Angle(const double* a, const double* b) {
    return std::acos(Dot(a, b) / (LatticeUtilities::GetVectorLength(a) * LatticeUtilities::GetVectorLength(b)));
}

struct Cell {
    std::string name;
    double a, b, c, alpha, beta, gamma;  // degrees
};

const std::vector<Cell>& Cells() {
    static const std::vector<Cell> cells = {
        {"cubic", 5.43, 5.43, 5.43, 90, 90, 90},
        {"hexagonal", 4.913, 4.913, 5.405, 90, 90, 120},
        {"monoclinic", 5.1, 6.2, 7.3, 90, 104.5, 90},
        {"triclinic", 4.2, 5.7, 6.9, 72.3, 81.6, 95.4},
        {"acute triclinic", 3.0, 3.5, 4.0, 60, 65, 70},
    };
    return cells;
}

struct Vectors {
    double a[3] = {};
    double b[3] = {};
    double c[3] = {};
};

Vectors FromParameters(const Cell& cell) {
    Vectors v;
    EXPECT_TRUE(LatticeUtilities::Zelm3DParamToCell(cell.a, cell.b, cell.c, Rad(cell.alpha), Rad(cell.beta),
                                                    Rad(cell.gamma), v.a, v.b, v.c));
    return v;
}

// Rotates v by a fixed rotation of no particular symmetry.
void Tumble(double v[3]) {
    const double rx = 0.7, ry = -1.1, rz = 2.3;
    double t[3] = {v[0], v[1] * std::cos(rx) - v[2] * std::sin(rx), v[1] * std::sin(rx) + v[2] * std::cos(rx)};
    double u[3] = {t[0] * std::cos(ry) + t[2] * std::sin(ry), t[1], -t[0] * std::sin(ry) + t[2] * std::cos(ry)};
    v[0] = u[0] * std::cos(rz) - u[1] * std::sin(rz);
    v[1] = u[0] * std::sin(rz) + u[1] * std::cos(rz);
    v[2] = u[2];
}

TEST(LatticeUtilities, ParametersGiveVectorsWithAAlongXAndBInTheXyPlaneAndBack) {
    for (const Cell& cell : Cells()) {
        SCOPED_TRACE(cell.name);
        const Vectors v = FromParameters(cell);
        EXPECT_DOUBLE_EQ(0.0, v.a[1]);
        EXPECT_DOUBLE_EQ(0.0, v.a[2]);
        EXPECT_DOUBLE_EQ(0.0, v.b[2]);
        EXPECT_GT(v.a[0], 0.0);
        EXPECT_GT(v.b[1], 0.0);
        EXPECT_GT(v.c[2], 0.0);

        EXPECT_NEAR(cell.a, LatticeUtilities::GetVectorLength(v.a), Tolerance);
        EXPECT_NEAR(cell.b, LatticeUtilities::GetVectorLength(v.b), Tolerance);
        EXPECT_NEAR(cell.c, LatticeUtilities::GetVectorLength(v.c), Tolerance);
        EXPECT_NEAR(Rad(cell.alpha), Angle(v.b, v.c), Tolerance);
        EXPECT_NEAR(Rad(cell.beta), Angle(v.a, v.c), Tolerance);
        EXPECT_NEAR(Rad(cell.gamma), Angle(v.a, v.b), Tolerance);
    }
}

TEST(LatticeUtilities, TripleProductIsTheCellVolume) {
    for (const Cell& cell : Cells()) {
        SCOPED_TRACE(cell.name);
        const double ca = std::cos(Rad(cell.alpha));
        const double cb = std::cos(Rad(cell.beta));
        const double cg = std::cos(Rad(cell.gamma));
        const double volume = cell.a * cell.b * cell.c * std::sqrt(1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
        const Vectors v = FromParameters(cell);
        EXPECT_NEAR(volume, LatticeUtilities::VecTripleProduct(v.a, v.b, v.c), 1e-9 * volume);
        // Swapping two vectors turns the sign.
        EXPECT_NEAR(-volume, LatticeUtilities::VecTripleProduct(v.b, v.a, v.c), 1e-9 * volume);
    }
}

TEST(LatticeUtilities, ParametersThatDescribeNoCellAreRefusedWithZeroVectors) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double a, b, c, alpha, beta, gamma;
    };
    const std::vector<Case> cases = {
        {"zero length", 0, 5, 5, Rad(90), Rad(90), Rad(90)},
        {"negative length", 5, -5, 5, Rad(90), Rad(90), Rad(90)},
        {"flat cell: angles sum to 360", 5, 5, 5, Rad(120), Rad(120), Rad(120)},
        {"alpha larger than beta plus gamma", 5, 5, 5, Rad(170), Rad(40), Rad(40)},
        {"gamma zero", 5, 5, 5, Rad(90), Rad(90), 0},
        {"angle of 180 degrees", 5, 5, 5, Rad(90), Pi, Rad(90)},
        {"angle given in degrees by mistake", 5, 5, 5, 90, 90, 90},
        {"not a number", 5, 5, nan, Rad(90), Rad(90), Rad(90)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double v1[3] = {9, 9, 9}, v2[3] = {9, 9, 9}, v3[3] = {9, 9, 9};
        EXPECT_FALSE(LatticeUtilities::Zelm3DParamToCell(c.a, c.b, c.c, c.alpha, c.beta, c.gamma, v1, v2, v3));
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(0.0, v1[i]);
            EXPECT_EQ(0.0, v2[i]);
            EXPECT_EQ(0.0, v3[i]);
        }
    }
}

TEST(LatticeUtilities, SurfaceParametersGiveTwoInPlaneVectors) {
    double v1[2], v2[2];
    ASSERT_TRUE(LatticeUtilities::Zelm2DParamToCell(3.0, 4.0, Rad(90), v1, v2));
    EXPECT_DOUBLE_EQ(3.0, v1[0]);
    EXPECT_DOUBLE_EQ(0.0, v1[1]);
    EXPECT_NEAR(0.0, v2[0], 1e-15);
    EXPECT_DOUBLE_EQ(4.0, v2[1]);

    ASSERT_TRUE(LatticeUtilities::Zelm2DParamToCell(2.0, 2.0, Rad(120), v1, v2));
    EXPECT_NEAR(-1.0, v2[0], Tolerance);
    EXPECT_NEAR(std::sqrt(3.0), v2[1], Tolerance);

    EXPECT_FALSE(LatticeUtilities::Zelm2DParamToCell(3.0, 4.0, 0.0, v1, v2));
    EXPECT_FALSE(LatticeUtilities::Zelm2DParamToCell(3.0, 4.0, Pi, v1, v2));
    EXPECT_FALSE(LatticeUtilities::Zelm2DParamToCell(-3.0, 4.0, Rad(90), v1, v2));
    EXPECT_EQ(0.0, v1[0]);
    EXPECT_EQ(0.0, v2[1]);
}

TEST(LatticeUtilities, StandardRotationPutsCAlongZAndBInTheYzPlaneKeepingTheCell) {
    for (const Cell& cell : Cells()) {
        SCOPED_TRACE(cell.name);
        Vectors v = FromParameters(cell);
        Tumble(v.a);
        Tumble(v.b);
        Tumble(v.c);
        const double volume = LatticeUtilities::VecTripleProduct(v.a, v.b, v.c);

        double rot[3][3] = {};
        ASSERT_TRUE(LatticeUtilities::GetRotationToStandard(v.a, v.b, v.c, rot));
        // A proper rotation: rows orthonormal, determinant 1.
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(i == j ? 1.0 : 0.0, Dot(rot[i], rot[j]), Tolerance);
            }
        }
        EXPECT_NEAR(1.0, LatticeUtilities::VecTripleProduct(rot[0], rot[1], rot[2]), Tolerance);

        double single[3] = {v.a[0], v.a[1], v.a[2]};
        LatticeUtilities::RealignVector(single, rot);
        LatticeUtilities::RealignCell(v.a, v.b, v.c, rot);
        for (int i = 0; i < 3; ++i) {
            EXPECT_DOUBLE_EQ(single[i], v.a[i]);
        }

        EXPECT_NEAR(0.0, v.c[0], Tolerance);
        EXPECT_NEAR(0.0, v.c[1], Tolerance);
        EXPECT_NEAR(cell.c, v.c[2], Tolerance);
        EXPECT_NEAR(0.0, v.b[0], Tolerance);
        EXPECT_GT(v.b[1], 0.0);
        // The six numbers of the standard form hold the whole cell.
        EXPECT_NEAR(cell.b, std::hypot(v.b[1], v.b[2]), Tolerance);
        EXPECT_NEAR(cell.a, LatticeUtilities::GetVectorLength(v.a), Tolerance);
        EXPECT_NEAR(volume, v.a[0] * v.b[1] * v.c[2], 1e-9 * std::fabs(volume));
        EXPECT_NEAR(Rad(cell.alpha), Angle(v.b, v.c), Tolerance);
        EXPECT_NEAR(Rad(cell.beta), Angle(v.a, v.c), Tolerance);
        EXPECT_NEAR(Rad(cell.gamma), Angle(v.a, v.b), Tolerance);
    }
}

TEST(LatticeUtilities, StandardRotationOfADegenerateCellIsTheIdentity) {
    const double a[3] = {1, 0, 0};
    const double b[3] = {0, 0, 2};
    const double c[3] = {0, 0, 3};  // parallel to b
    double rot[3][3] = {{5, 5, 5}, {5, 5, 5}, {5, 5, 5}};
    EXPECT_FALSE(LatticeUtilities::GetRotationToStandard(a, b, c, rot));
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(i == j ? 1.0 : 0.0, rot[i][j]);
        }
    }
    const double zero[3] = {0, 0, 0};
    EXPECT_FALSE(LatticeUtilities::GetRotationToStandard(a, b, zero, rot));
}

TEST(LatticeUtilities, ReciprocalVectorsAreDualToTheCellWithoutTwoPi) {
    for (const Cell& cell : Cells()) {
        SCOPED_TRACE(cell.name);
        const Vectors v = FromParameters(cell);
        double r[3][3];
        ASSERT_TRUE(LatticeUtilities::GetReciprocalVectors(v.a, v.b, v.c, r[0], r[1], r[2]));
        const double* direct[3] = {v.a, v.b, v.c};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(i == j ? 1.0 : 0.0, Dot(direct[i], r[j]), Tolerance);
            }
        }
        const double volume = LatticeUtilities::VecTripleProduct(v.a, v.b, v.c);
        EXPECT_NEAR(1.0 / volume, LatticeUtilities::VecTripleProduct(r[0], r[1], r[2]), 1e-9 / volume);
    }
    // A cubic cell of 2: reciprocal vectors of length 1/2.
    const double a[3] = {2, 0, 0}, b[3] = {0, 2, 0}, c[3] = {0, 0, 2};
    double r1[3], r2[3], r3[3];
    ASSERT_TRUE(LatticeUtilities::GetReciprocalVectors(a, b, c, r1, r2, r3));
    EXPECT_DOUBLE_EQ(0.5, r1[0]);
    EXPECT_DOUBLE_EQ(0.5, r3[2]);

    const double flat[3] = {1, 1, 0};
    EXPECT_FALSE(LatticeUtilities::GetReciprocalVectors(a, flat, b, r1, r2, r3));
    EXPECT_EQ(0.0, r1[0]);
    EXPECT_EQ(0.0, r3[2]);
}

TEST(LatticeUtilities, SlabFractionalPositionsInvertTheInPlaneCell) {
    double u1[2], u2[2];
    ASSERT_TRUE(LatticeUtilities::Zelm2DParamToCell(4.2, 5.1, Rad(107.0), u1, u2));
    const double fractions[][3] = {{0.25, 0.75, 1.5}, {-0.3, 1.2, -2.0}, {0, 0, 0}, {1, 1, 7.25}};
    for (const auto& expected : fractions) {
        const double P[3] = {expected[0] * u1[0] + expected[1] * u2[0], expected[0] * u1[1] + expected[1] * u2[1],
                             expected[2]};
        double f[3] = {};
        ASSERT_TRUE(LatticeUtilities::Transform2DCartToFracArc(u1, u2, P, f));
        EXPECT_NEAR(expected[0], f[0], Tolerance);
        EXPECT_NEAR(expected[1], f[1], Tolerance);
        EXPECT_DOUBLE_EQ(expected[2], f[2]);
    }
    // The output may be the input array itself.
    double inPlace[3] = {u1[0] + u2[0], u1[1] + u2[1], 3.0};
    ASSERT_TRUE(LatticeUtilities::Transform2DCartToFracArc(u1, u2, inPlace, inPlace));
    EXPECT_NEAR(1.0, inPlace[0], Tolerance);
    EXPECT_NEAR(1.0, inPlace[1], Tolerance);

    const double parallel[2] = {2 * u1[0], 2 * u1[1]};
    const double P[3] = {1, 2, 3};
    double f[3] = {9, 9, 9};
    EXPECT_FALSE(LatticeUtilities::Transform2DCartToFracArc(u1, parallel, P, f));
    EXPECT_EQ(0.0, f[0]);
    EXPECT_EQ(0.0, f[1]);
    EXPECT_EQ(3.0, f[2]);
}

}  // namespace
