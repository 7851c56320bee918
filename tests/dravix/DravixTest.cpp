#include "dravix/dravix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const xxMatrix3x3 kIdentity(1, 0, 0, 0, 1, 0, 0, 0, 1);

void ExpectMatrixNear(const xxMatrix3x3& actual, const xxMatrix3x3& expected, double tol) {
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            EXPECT_NEAR(actual(i, j), expected(i, j), tol) << "element (" << i << ", " << j << ")";
        }
    }
}

// ------------------------------------------------------------ storage order

TEST(DravixMatrix, NineValueConstructorTakesRowsInOrder) {
    const xxMatrix3x3 m(11, 12, 13, 21, 22, 23, 31, 32, 33);
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            EXPECT_EQ(m(i, j), 10.0 * i + j) << "(" << i << ", " << j << ")";
            EXPECT_EQ(m.Element(i, j), 10.0 * i + j);
        }
    }
    const std::vector<double> stored(m.Data(), m.Data() + 9);
    EXPECT_EQ(stored, (std::vector<double>{11, 12, 13, 21, 22, 23, 31, 32, 33}));
}

TEST(DravixMatrix, StorageElementsKAndKPlusThreeAndSixAreColumnK) {
    // A symmetry operator handed over row by row: storage elements k, k+3
    // and k+6 (1-based) give column k of the rotation.
    const xxMatrix3x3 r(0, -1, 0, 1, 0, 0, 0, 0, -1);
    const double* s = r.Data();
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(s[k - 1], r(1, k));
        EXPECT_EQ(s[k + 2], r(2, k));
        EXPECT_EQ(s[k + 5], r(3, k));
    }
}

TEST(DravixMatrix, DefaultIsZeroAndCopiesAreIndependent) {
    xxMatrix3x3 m;
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(m.Data()[k], 0.0);
    }
    m.SetElement(2, 3, 7.5);
    xxMatrix3x3 copy = m;
    copy(2, 3) = -1.0;
    EXPECT_EQ(m(2, 3), 7.5);
    EXPECT_EQ(copy(2, 3), -1.0);
    EXPECT_EQ(m.Data()[5], 7.5);
}

TEST(DravixMatrix, IndexOutsideOneToThreeThrows) {
    xxMatrix3x3 m;
    const xxMatrix3x3& cm = m;
    for (auto [i, j] : std::vector<std::pair<int, int>>{{0, 1}, {1, 0}, {4, 1}, {1, 4}, {-1, 2}}) {
        EXPECT_THROW(m(i, j) = 1.0, std::out_of_range) << i << "," << j;
        EXPECT_THROW((void)cm(i, j), std::out_of_range) << i << "," << j;
    }
}

// ---------------------------------------------------------------- algebra

TEST(DravixMatrix, ProductsFollowRowByColumnRule) {
    const xxMatrix3x3 a(1, 2, 3, 4, 5, 6, 7, 8, 10);
    const xxMatrix3x3 b(2, 0, 1, 1, 3, 0, 0, 1, 4);
    // Worked by hand.
    ExpectMatrixNear(a * b, xxMatrix3x3(4, 9, 13, 13, 21, 28, 22, 34, 47), 0.0);
    const xxPoint3d p = a * xxPoint3d(1, -1, 2);
    EXPECT_EQ(p.x, 5.0);
    EXPECT_EQ(p.y, 11.0);
    EXPECT_EQ(p.z, 19.0);
}

struct InverseCase {
    std::string name;
    xxMatrix3x3 m;
};

TEST(DravixMatrix, InverseTimesMatrixIsIdentity) {
    const double pi = std::acos(-1.0);
    const double c30 = std::cos(pi / 6), s30 = std::sin(pi / 6);
    const std::vector<InverseCase> cases = {
        {"identity", kIdentity},
        {"triclinic cell, columns a b c", xxMatrix3x3(5.0, 1.2, 0.7, 0.0, 6.1, -0.4, 0.0, 0.0, 7.3)},
        {"rotation about z", xxMatrix3x3(c30, -s30, 0, s30, c30, 0, 0, 0, 1)},
        {"non-symmetric general", xxMatrix3x3(1, 2, 3, 0, 1, 4, 5, 6, 0)},
        {"very small elements", xxMatrix3x3(2e-9, 0, 1e-9, 0, 3e-9, 0, 1e-9, 0, 4e-9)},
        {"very large elements", xxMatrix3x3(2e150, 1e150, 0, 0, 3e150, 0, 1e150, 0, 4e150)},
        {"needs pivoting (zero at 1,1)", xxMatrix3x3(0, 1, 0, 1, 0, 0, 0, 0, 2)},
    };
    for (const InverseCase& c : cases) {
        SCOPED_TRACE(c.name);
        xxMatrix3x3 inverse = c.m;
        inverse.Invert();
        // The product is dimensionless whatever the scale of the elements.
        ExpectMatrixNear(inverse * c.m, kIdentity, 1e-12);
        ExpectMatrixNear(c.m * inverse, kIdentity, 1e-12);
    }
}

TEST(DravixMatrix, InvertedCellTurnsCartesianIntoFractional) {
    // Columns are the cell vectors a, b, c; M f = cartesian, so M^-1 maps back.
    const xxPoint3d a(4.0, 0.0, 0.0), b(1.0, 5.0, 0.0), c(0.5, 0.5, 6.0);
    xxMatrix3x3 m(a.x, b.x, c.x, a.y, b.y, c.y, a.z, b.z, c.z);
    const xxPoint3d fractional(0.25, 0.5, 0.75);
    const xxPoint3d cartesian = 0.25 * a + 0.5 * b + 0.75 * c;
    const xxPoint3d viaMatrix = m * fractional;
    EXPECT_TRUE(Compare(viaMatrix, cartesian, 1e-12));
    m.Invert();
    EXPECT_TRUE(Compare(m * cartesian, fractional, 1e-12));
}

TEST(DravixMatrix, SingularMatrixFailsAndStaysUnchanged) {
    const std::vector<InverseCase> cases = {
        {"zero", xxMatrix3x3()},
        {"rank two", xxMatrix3x3(1, 2, 3, 4, 5, 6, 7, 8, 9)},
        {"rank one", xxMatrix3x3(1, 2, 3, 2, 4, 6, -1, -2, -3)},
        {"zero column", xxMatrix3x3(1, 0, 3, 4, 0, 6, 7, 0, 10)},
        {"nearly flat cell", xxMatrix3x3(1, 0, 0, 0, 1, 0, 0, 0, 1e-17)},
        {"NaN element", xxMatrix3x3(1, 0, 0, 0, std::nan(""), 0, 0, 0, 1)},
        {"infinite element", xxMatrix3x3(1, 0, 0, 0, std::numeric_limits<double>::infinity(), 0, 0, 0, 1)},
    };
    for (const InverseCase& c : cases) {
        SCOPED_TRACE(c.name);
        xxMatrix3x3 m = c.m;
        EXPECT_THROW(m.Invert(), std::domain_error);
        for (int k = 0; k < 9; ++k) {
            const double before = c.m.Data()[k];
            const double after = m.Data()[k];
            EXPECT_TRUE(after == before || (std::isnan(after) && std::isnan(before))) << k;
        }
    }
}

TEST(DravixMatrix, TransposeSwapsRowsAndColumnsInPlace) {
    xxMatrix3x3 m(11, 12, 13, 21, 22, 23, 31, 32, 33);
    m.Transpose();
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 3; ++j) {
            EXPECT_EQ(m(i, j), 10.0 * j + i);
        }
    }
    m.Transpose().Transpose();  // chained: back to the transposed state
    EXPECT_EQ(m(1, 2), 21.0);
    EXPECT_DOUBLE_EQ(xxMatrix3x3(1, 2, 3, 0, 1, 4, 5, 6, 0).Determinant(), 1.0);
}

// ------------------------------------------------------------------ points

TEST(DravixPoint, CrossProductOrderAndLength) {
    const xxPoint3d ex(1, 0, 0), ey(0, 1, 0);
    const xxPoint3d z = ex.Cross(ey, true);
    EXPECT_EQ(z.x, 0.0);
    EXPECT_EQ(z.y, 0.0);
    EXPECT_EQ(z.z, 1.0);
    EXPECT_EQ(ex.Cross(ey, false).z, -1.0);
    EXPECT_EQ(ey.Cross(ex).z, -1.0);

    // A surface cell: the length of the cross product is its area, so the
    // result must not be normalised.
    const xxPoint3d a(3.0, 0.0, 0.0), b(1.0, 2.0, 0.0);
    EXPECT_DOUBLE_EQ(a.Cross(b, true).Length(), 6.0);
    const xxPoint3d u(1.0, 2.0, 3.0), v(-2.0, 0.5, 4.0);
    const xxPoint3d w = u.Cross(v, true);
    EXPECT_DOUBLE_EQ(w.Dot(u), 0.0);
    EXPECT_DOUBLE_EQ(w.Dot(v), 0.0);
    EXPECT_EQ(w.x, 6.5);
    EXPECT_EQ(w.y, -10.0);
    EXPECT_EQ(w.z, 4.5);
}

TEST(DravixPoint, StepwisePathReachesEndWithinTolerance) {
    // A path from start to final in P points, each reached by adding the step.
    const xxPoint3d start(0, 0, 0), final(0.5, 0, 0);
    const int points = 6;
    const xxPoint3d step = (final - start) / static_cast<double>(points - 1);
    xxPoint3d current = start;
    for (int k = 1; k < points; ++k) {
        current += step;
    }
    EXPECT_TRUE(Compare(current, final, 1.0e-4));
    EXPECT_NEAR(step.x, 0.1, 1e-15);
}

struct CompareCase {
    xxPoint3d p, q;
    double tolerance;
    bool same;
};

TEST(DravixPoint, CompareUsesDistanceAgainstTolerance) {
    const double nan = std::nan("");
    const std::vector<CompareCase> cases = {
        {{0, 0, 0}, {0, 0, 0}, 0.0, true},
        {{0, 0, 0}, {3e-5, 4e-5, 0}, 1.0e-4, true},      // distance 5e-5
        {{0, 0, 0}, {3, 4, 0}, 5.0, true},                // distance exactly the tolerance
        {{0, 0, 0}, {8e-5, 8e-5, 0}, 1.0e-4, false},     // each component within, distance not
        {{0.5, 0.5, 0.5}, {0.5, 0.5, 0.5002}, 1.0e-4, false},
        {{1, 2, 3}, {1, 2, 3}, -1.0, false},             // negative tolerance never holds
        {{nan, 0, 0}, {nan, 0, 0}, 1.0, false},
    };
    for (const CompareCase& c : cases) {
        const bool result = Compare(c.p, c.q, c.tolerance);
        EXPECT_EQ(result, c.same) << c.q.x << " " << c.q.y << " " << c.q.z << " tol " << c.tolerance;
    }
}

// -------------------------------------------------------------- transforms

TEST(DravixTransform, DefaultZeroIdentityAndElementLayout) {
    xxTransformMatrix t;
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 4; ++j) {
            EXPECT_EQ(t(i, j), 0.0);
        }
    }
    t(2, 4) = 0.5;
    t.SetIdentity();
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 4; ++j) {
            EXPECT_EQ(t(i, j), (i == j) ? 1.0 : 0.0) << i << "," << j;
        }
    }
    EXPECT_THROW((void)t(1, 5), std::out_of_range);
    EXPECT_THROW((void)t(4, 1), std::out_of_range);
    EXPECT_THROW(t(0, 1) = 1.0, std::out_of_range);
}

TEST(DravixTransform, RotationAndTranslationRoundTrip) {
    const xxMatrix3x3 r(0, -1, 0, 1, 0, 0, 0, 0, 1);
    const xxPoint3d shift(0.5, 0.25, -0.5);
    const xxTransformMatrix t(r, shift);
    EXPECT_EQ(t(1, 2), -1.0);
    EXPECT_EQ(t(2, 1), 1.0);
    EXPECT_EQ(t(1, 4), 0.5);
    EXPECT_EQ(t(2, 4), 0.25);
    EXPECT_EQ(t(3, 4), -0.5);
    ExpectMatrixNear(t.GetRotation(), r, 0.0);
    EXPECT_TRUE(Compare(t.GetTranslation(), shift, 0.0));
}

TEST(DravixTransform, CompareAppliesEachToleranceToItsOwnPart) {
    xxTransformMatrix identity;
    identity.SetIdentity();

    struct Case {
        int i, j;
        double delta;
        bool same;
    };
    const std::vector<Case> cases = {
        {1, 1, 0.0009, true},  {3, 3, -0.0009, true}, {1, 2, 0.002, false},
        {2, 4, 0.0009, true},  {3, 4, 0.002, false},  {2, 3, -0.0011, false},
    };
    for (const Case& c : cases) {
        xxTransformMatrix t;
        t.SetIdentity();
        t(c.i, c.j) += c.delta;
        EXPECT_EQ(static_cast<bool>(t.Compare(identity, 0.001, 0.001)), c.same)
            << c.i << "," << c.j << " by " << c.delta;
        EXPECT_EQ(static_cast<bool>(Compare(identity, t, 0.001, 0.001)), c.same);
    }

    // Tolerances are not swapped: a translation of 0.05 passes only with a
    // loose translation tolerance.
    xxTransformMatrix shifted;
    shifted.SetIdentity();
    shifted(1, 4) = 0.05;
    EXPECT_TRUE(shifted.Compare(identity, 0.001, 0.1));
    EXPECT_FALSE(shifted.Compare(identity, 0.1, 0.001));

    xxTransformMatrix withNan;
    withNan.SetIdentity();
    withNan(1, 1) = std::nan("");
    EXPECT_FALSE(withNan.Compare(identity, 1.0, 1.0));
}

}  // namespace
