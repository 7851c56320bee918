// The cell of one structure frame as a file gives it: three lengths and three
// angles, kept exactly as given (no unit conversion; the angles are in
// degrees where the files give degrees).
#pragma once

class CLatticeInfo
{
public:
    // A frame without a cell: all six values 0.
    CLatticeInfo() noexcept = default;
    CLatticeInfo(double a, double b, double c, double alpha, double beta, double gamma) noexcept
        : m_a(a), m_b(b), m_c(c), m_alpha(alpha), m_beta(beta), m_gamma(gamma)
    {
    }

    double get_Cell_A() const noexcept { return m_a; }
    double get_Cell_B() const noexcept { return m_b; }
    double get_Cell_C() const noexcept { return m_c; }
    double get_Cell_Alpha() const noexcept { return m_alpha; }
    double get_Cell_Beta() const noexcept { return m_beta; }
    double get_Cell_Gamma() const noexcept { return m_gamma; }

private:
    double m_a = 0.0;
    double m_b = 0.0;
    double m_c = 0.0;
    double m_alpha = 0.0;
    double m_beta = 0.0;
    double m_gamma = 0.0;
};
