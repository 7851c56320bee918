#include "analysis/OpticalFunctions.h"

#include "kelv/kelv.h"
#include "qorqm/LatticeUtilities.h"

#include <algorithm>
#include <cmath>

namespace {

using Complex = std::complex<double>;

// The root of each value, in order.
template <class Derive>
std::vector<double> FromRoots(const ComplexSeries& epsilon, Derive derive)
{
    std::vector<double> values;
    values.reserve(epsilon.size());
    for (const Complex& e : epsilon)
        values.push_back(derive(DielectricRoot(e)));
    return values;
}

} // namespace

ComplexSeries DirectionalDielectricFunction(const std::vector<DielectricTensor>& data, const double incident[3],
                                            const double reflected[3])
{
    if (!IsWellDefinedDirection(incident))
        throw KelvResult(E_UNEXPECTED, "Incident direction is ill defined.");
    if (!IsWellDefinedDirection(reflected))
        throw KelvResult(E_UNEXPECTED, "Reflected direction is ill defined.");
    const double incidentLength = LatticeUtilities::GetVectorLength(incident);
    const double reflectedLength = LatticeUtilities::GetVectorLength(reflected);
    double a[3];
    double b[3];
    for (int i = 0; i < 3; ++i) {
        a[i] = incident[i] / incidentLength;
        b[i] = reflected[i] / reflectedLength;
    }
    ComplexSeries values;
    values.reserve(data.size());
    for (const DielectricTensor& t : data) {
        const Complex m[3][3] = {{t[EpsXX], t[EpsXY], t[EpsXZ]},
                                 {t[EpsXY], t[EpsYY], t[EpsYZ]},
                                 {t[EpsXZ], t[EpsYZ], t[EpsZZ]}};
        Complex sum(0.0, 0.0);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                sum += (a[i] * m[i][j]) * b[j];
        values.push_back(sum);
    }
    return values;
}

ComplexSeries PolycrystalAverage(const std::vector<DielectricTensor>& data)
{
    ComplexSeries values;
    values.reserve(data.size());
    for (const DielectricTensor& t : data) {
        const Complex trace = t[EpsXX] + t[EpsYY] + t[EpsZZ];
        Complex q = t[EpsXX] * t[EpsXX];
        q += 2.0 * (t[EpsXY] * t[EpsXY]);
        q += t[EpsYY] * t[EpsYY];
        q += 2.0 * (t[EpsXZ] * t[EpsXZ]);
        q += 2.0 * (t[EpsYZ] * t[EpsYZ]);
        q += t[EpsZZ] * t[EpsZZ];
        values.push_back((trace * 4.0) / 9.0 - q / (trace * 3.0));
    }
    return values;
}

Complex DielectricRoot(Complex epsilon)
{
    // Without damping the imaginary part is a signed zero, +0 above a mode
    // where the real part is negative, whose root would have a positive
    // imaginary part and so a negative extinction. A damped value has a
    // negative imaginary part: taking every zero as -0 puts the undamped
    // value on the same side of the branch cut.
    if (epsilon.imag() == 0.0)
        epsilon.imag(-0.0);
    return std::sqrt(epsilon);
}

std::vector<double> RefractiveIndexSeries(const ComplexSeries& epsilon)
{
    return FromRoots(epsilon, [](const Complex& r) { return r.real(); });
}

std::vector<double> ExtinctionSeries(const ComplexSeries& epsilon)
{
    return FromRoots(epsilon, [](const Complex& r) { return -r.imag(); });
}

std::vector<double> ReflectivitySeries(const ComplexSeries& epsilon)
{
    return FromRoots(epsilon, [](const Complex& r) {
        const double p = r.real();
        const double q = r.imag();
        return ((1.0 - p) * (1.0 - p) + q * q) / (q * q + (1.0 + p) * (1.0 + p));
    });
}

std::vector<double> AbsorptionSeries(const ComplexSeries& epsilon, const std::vector<double>& grid, double factor)
{
    const std::vector<double> kappa = ExtinctionSeries(epsilon);
    std::vector<double> values;
    const std::size_t count = std::min(kappa.size(), grid.size());
    values.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        values.push_back(AbsorptionPerElectronvolt * (factor * grid[i]) * kappa[i]);
    return values;
}

std::vector<double> RealParts(const ComplexSeries& values)
{
    std::vector<double> parts;
    parts.reserve(values.size());
    for (const Complex& v : values)
        parts.push_back(v.real());
    return parts;
}

std::vector<double> ImaginaryParts(const ComplexSeries& values)
{
    std::vector<double> parts;
    parts.reserve(values.size());
    for (const Complex& v : values)
        parts.push_back(v.imag());
    return parts;
}

ComplexSeries TensorComponent(const std::vector<DielectricTensor>& data, DielectricComponent component)
{
    ComplexSeries values;
    values.reserve(data.size());
    for (const DielectricTensor& t : data)
        values.push_back(t[component]);
    return values;
}
