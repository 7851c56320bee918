#include "dravix/dravix.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// Below this determinant (of the matrix scaled so that its largest element
// has magnitude 1) a matrix counts as singular: its inverse would be noise.
constexpr double kSingularDeterminant = 1.0e-14;

std::size_t MatrixIndex(int i, int j) {
    if (i < 1 || i > 3 || j < 1 || j > 3) {
        throw std::out_of_range("xxMatrix3x3 element (" + std::to_string(i) + ", " +
                                std::to_string(j) + ") is outside 1..3");
    }
    return static_cast<std::size_t>((i - 1) * 3 + (j - 1));
}

std::size_t TransformIndex(int i, int j) {
    if (i < 1 || i > 3 || j < 1 || j > 4) {
        throw std::out_of_range("xxTransformMatrix element (" + std::to_string(i) + ", " +
                                std::to_string(j) + ") is outside rows 1..3, columns 1..4");
    }
    return static_cast<std::size_t>((i - 1) * 4 + (j - 1));
}

double Determinant3(const std::array<double, 9>& m) {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) -
           m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

// |a - b| <= tolerance, false when either is NaN.
bool Within(double a, double b, double tolerance) {
    return std::fabs(a - b) <= tolerance;
}

}  // namespace

// ---------------------------------------------------------------- xxPoint3d

void xxPoint3d::Set(double xValue, double yValue, double zValue) noexcept {
    x = xValue;
    y = yValue;
    z = zValue;
}

xxPoint3d& xxPoint3d::operator+=(const xxPoint3d& other) noexcept {
    x += other.x;
    y += other.y;
    z += other.z;
    return *this;
}

xxPoint3d& xxPoint3d::operator-=(const xxPoint3d& other) noexcept {
    x -= other.x;
    y -= other.y;
    z -= other.z;
    return *this;
}

xxPoint3d& xxPoint3d::operator*=(double factor) noexcept {
    x *= factor;
    y *= factor;
    z *= factor;
    return *this;
}

xxPoint3d& xxPoint3d::operator/=(double divisor) noexcept {
    x /= divisor;
    y /= divisor;
    z /= divisor;
    return *this;
}

double xxPoint3d::Dot(const xxPoint3d& other) const noexcept {
    return x * other.x + y * other.y + z * other.z;
}

xxPoint3d xxPoint3d::Cross(const xxPoint3d& other, bool rightHanded) const noexcept {
    const xxPoint3d& a = rightHanded ? *this : other;
    const xxPoint3d& b = rightHanded ? other : *this;
    return xxPoint3d(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

double xxPoint3d::Length() const noexcept {
    return std::sqrt(Dot(*this));
}

xxPoint3d operator+(xxPoint3d left, const xxPoint3d& right) noexcept {
    return left += right;
}

xxPoint3d operator-(xxPoint3d left, const xxPoint3d& right) noexcept {
    return left -= right;
}

xxPoint3d operator-(const xxPoint3d& point) noexcept {
    return xxPoint3d(-point.x, -point.y, -point.z);
}

xxPoint3d operator*(xxPoint3d point, double factor) noexcept {
    return point *= factor;
}

xxPoint3d operator*(double factor, xxPoint3d point) noexcept {
    return point *= factor;
}

xxPoint3d operator/(xxPoint3d point, double divisor) noexcept {
    return point /= divisor;
}

xxBool Compare(const xxPoint3d& p, const xxPoint3d& q, double tolerance) noexcept {
    // A NaN distance fails the test, as it should.
    return (p - q).Length() <= tolerance;
}

// -------------------------------------------------------------- xxMatrix3x3

xxMatrix3x3::xxMatrix3x3(double m11, double m12, double m13,
                         double m21, double m22, double m23,
                         double m31, double m32, double m33) noexcept
    : m_values{m11, m12, m13, m21, m22, m23, m31, m32, m33} {}

double xxMatrix3x3::operator()(int i, int j) const {
    return m_values[MatrixIndex(i, j)];
}

double& xxMatrix3x3::operator()(int i, int j) {
    return m_values[MatrixIndex(i, j)];
}

double xxMatrix3x3::Determinant() const noexcept {
    return Determinant3(m_values);
}

xxMatrix3x3& xxMatrix3x3::Invert() {
    // Work on a copy scaled to a largest element of 1, so that neither the
    // singularity test nor the cofactors overflow or underflow for matrices
    // of very large or very small elements.
    double scale = 0.0;
    for (double v : m_values) {
        if (!std::isfinite(v)) {
            throw std::domain_error("Matrix has a non-finite element and cannot be inverted.");
        }
        scale = std::fmax(scale, std::fabs(v));
    }
    if (scale == 0.0) {
        throw std::domain_error("Matrix is singular and cannot be inverted.");
    }
    std::array<double, 9> m{};
    for (std::size_t k = 0; k < 9; ++k) {
        m[k] = m_values[k] / scale;
    }
    const double det = Determinant3(m);
    if (!(std::fabs(det) > kSingularDeterminant)) {
        throw std::domain_error("Matrix is singular and cannot be inverted.");
    }
    // inverse(M) = adjugate(M / s) / (det(M / s) * s)
    const double f = 1.0 / (det * scale);
    m_values = {
        (m[4] * m[8] - m[5] * m[7]) * f, (m[2] * m[7] - m[1] * m[8]) * f, (m[1] * m[5] - m[2] * m[4]) * f,
        (m[5] * m[6] - m[3] * m[8]) * f, (m[0] * m[8] - m[2] * m[6]) * f, (m[2] * m[3] - m[0] * m[5]) * f,
        (m[3] * m[7] - m[4] * m[6]) * f, (m[1] * m[6] - m[0] * m[7]) * f, (m[0] * m[4] - m[1] * m[3]) * f,
    };
    return *this;
}

xxMatrix3x3& xxMatrix3x3::Transpose() noexcept {
    std::swap(m_values[1], m_values[3]);
    std::swap(m_values[2], m_values[6]);
    std::swap(m_values[5], m_values[7]);
    return *this;
}

xxMatrix3x3 xxMatrix3x3::operator*(const xxMatrix3x3& other) const noexcept {
    xxMatrix3x3 result;
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (std::size_t k = 0; k < 3; ++k) {
                sum += m_values[i * 3 + k] * other.m_values[k * 3 + j];
            }
            result.m_values[i * 3 + j] = sum;
        }
    }
    return result;
}

xxPoint3d xxMatrix3x3::operator*(const xxPoint3d& point) const noexcept {
    const auto& m = m_values;
    return xxPoint3d(m[0] * point.x + m[1] * point.y + m[2] * point.z,
                     m[3] * point.x + m[4] * point.y + m[5] * point.z,
                     m[6] * point.x + m[7] * point.y + m[8] * point.z);
}

// -------------------------------------------------------- xxTransformMatrix

xxTransformMatrix::xxTransformMatrix(const xxMatrix3x3& rotation,
                                     const xxPoint3d& translation) noexcept {
    const double* r = rotation.Data();
    const double t[3] = {translation.x, translation.y, translation.z};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            m_values[i * 4 + j] = r[i * 3 + j];
        }
        m_values[i * 4 + 3] = t[i];
    }
}

void xxTransformMatrix::SetIdentity() noexcept {
    m_values.fill(0.0);
    m_values[0] = 1.0;
    m_values[5] = 1.0;
    m_values[10] = 1.0;
}

double xxTransformMatrix::operator()(int i, int j) const {
    return m_values[TransformIndex(i, j)];
}

double& xxTransformMatrix::operator()(int i, int j) {
    return m_values[TransformIndex(i, j)];
}

xxMatrix3x3 xxTransformMatrix::GetRotation() const noexcept {
    const auto& m = m_values;
    return xxMatrix3x3(m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]);
}

xxPoint3d xxTransformMatrix::GetTranslation() const noexcept {
    return xxPoint3d(m_values[3], m_values[7], m_values[11]);
}

xxBool xxTransformMatrix::Compare(const xxTransformMatrix& other, double tolRotation,
                                  double tolTranslation) const noexcept {
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 4; ++j) {
            const std::size_t k = i * 4 + j;
            const double tolerance = (j == 3) ? tolTranslation : tolRotation;
            if (!Within(m_values[k], other.m_values[k], tolerance)) {
                return xxFalse;
            }
        }
    }
    return xxTrue;
}
