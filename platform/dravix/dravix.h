#pragma once
// Dravix: the value types of the host's data model - a truth value, a point
// (or vector) in three dimensions, a 3 by 3 matrix and a 3 by 4 transform
// (rotation plus translation).
//
// Conventions shared by all types here:
// - Element indices are 1-based, as the data model numbers rows and columns;
//   an index outside its range throws std::out_of_range.
// - xxMatrix3x3 is stored ROW-MAJOR: storage index (i - 1) * 3 + (j - 1)
//   holds element (i, j). The nine-value constructor takes the rows in order
//   (m11, m12, m13, m21, ..., m33) and Data() hands the nine values back in
//   the same order.
// - Points act as column vectors: matrix * point is M p.

#include <array>

// Result of the Dravix comparisons. Converts to and from bool, so it can be
// tested directly: if (Compare(p, q, tol)) ...
class xxBool {
public:
    constexpr xxBool() noexcept = default;
    constexpr xxBool(bool value) noexcept : m_value(value) {}
    constexpr operator bool() const noexcept { return m_value; }

private:
    bool m_value = false;
};

inline constexpr xxBool xxTrue{true};
inline constexpr xxBool xxFalse{false};

// A point or vector in three dimensions.
class xxPoint3d {
public:
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr xxPoint3d() noexcept = default;
    constexpr xxPoint3d(double xValue, double yValue, double zValue) noexcept
        : x(xValue), y(yValue), z(zValue) {}

    constexpr double X() const noexcept { return x; }
    constexpr double Y() const noexcept { return y; }
    constexpr double Z() const noexcept { return z; }
    void SetX(double value) noexcept { x = value; }
    void SetY(double value) noexcept { y = value; }
    void SetZ(double value) noexcept { z = value; }
    void Set(double xValue, double yValue, double zValue) noexcept;

    xxPoint3d& operator+=(const xxPoint3d& other) noexcept;
    xxPoint3d& operator-=(const xxPoint3d& other) noexcept;
    xxPoint3d& operator*=(double factor) noexcept;
    // Division follows IEEE arithmetic: dividing by zero gives infinities
    // (or NaN for a zero component), it does not throw.
    xxPoint3d& operator/=(double divisor) noexcept;

    double Dot(const xxPoint3d& other) const noexcept;

    // Cross product. With rightHanded true (the usual call) the result is
    // this x other; with false it is other x this, the opposite vector.
    // The result is never normalised: its length is the area of the
    // parallelogram spanned by the two vectors.
    xxPoint3d Cross(const xxPoint3d& other, bool rightHanded = true) const noexcept;

    // Euclidean length.
    double Length() const noexcept;
};

xxPoint3d operator+(xxPoint3d left, const xxPoint3d& right) noexcept;
xxPoint3d operator-(xxPoint3d left, const xxPoint3d& right) noexcept;
xxPoint3d operator-(const xxPoint3d& point) noexcept;
xxPoint3d operator*(xxPoint3d point, double factor) noexcept;
xxPoint3d operator*(double factor, xxPoint3d point) noexcept;
xxPoint3d operator/(xxPoint3d point, double divisor) noexcept;

// True when the Euclidean distance between p and q is at most tolerance.
// Any NaN coordinate compares unequal.
xxBool Compare(const xxPoint3d& p, const xxPoint3d& q, double tolerance) noexcept;

// A 3 by 3 matrix of doubles, zero when default-constructed. Row-major (see
// the conventions at the top of this file).
class xxMatrix3x3 {
public:
    xxMatrix3x3() noexcept = default;
    xxMatrix3x3(double m11, double m12, double m13,
                double m21, double m22, double m23,
                double m31, double m32, double m33) noexcept;

    // Element (row i, column j), both 1 to 3.
    double operator()(int i, int j) const;
    double& operator()(int i, int j);
    double Element(int i, int j) const { return (*this)(i, j); }
    void SetElement(int i, int j, double value) { (*this)(i, j) = value; }

    // The nine values in storage order (row by row).
    const double* Data() const noexcept { return m_values.data(); }

    double Determinant() const noexcept;

    // Replaces the matrix by its inverse. A singular matrix (determinant zero
    // relative to the size of its elements, or not finite) is left unchanged
    // and std::domain_error is thrown.
    xxMatrix3x3& Invert();
    xxMatrix3x3& Transpose() noexcept;

    xxMatrix3x3 operator*(const xxMatrix3x3& other) const noexcept;
    xxPoint3d operator*(const xxPoint3d& point) const noexcept;

private:
    std::array<double, 9> m_values{};
};

// A 3 by 4 affine transform: rotation elements r(i, 1..3) and translation
// t(i) for each row i, zero when default-constructed. Element (i, 4) is the
// translation of row i.
class xxTransformMatrix {
public:
    xxTransformMatrix() noexcept = default;
    xxTransformMatrix(const xxMatrix3x3& rotation, const xxPoint3d& translation) noexcept;

    // Rotation = identity, translation = 0.
    void SetIdentity() noexcept;

    // Element (row i 1 to 3, column j 1 to 4); column 4 is the translation.
    double operator()(int i, int j) const;
    double& operator()(int i, int j);

    xxMatrix3x3 GetRotation() const noexcept;
    xxPoint3d GetTranslation() const noexcept;

    // True when every rotation element differs from the other transform's
    // by at most tolRotation and every translation element by at most
    // tolTranslation. NaN elements compare unequal.
    xxBool Compare(const xxTransformMatrix& other, double tolRotation,
                   double tolTranslation) const noexcept;

private:
    std::array<double, 12> m_values{};
};

inline xxBool Compare(const xxTransformMatrix& left, const xxTransformMatrix& right,
                      double tolRotation, double tolTranslation) noexcept {
    return left.Compare(right, tolRotation, tolTranslation);
}
