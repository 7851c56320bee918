#include "StubPhonons.h"
#include "StubShared.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ZelmStub {

namespace {

constexpr double Pi = 3.14159265358979323846;

std::string Fixed(double value, int decimals = 6)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

bool Phonons(const Deck& deck, const PhononRequest& request)
{
    return request.phonons && deck.dimension == Dimension::Bulk3D && !deck.atoms.empty();
}

std::string OscText(const Deck& deck, const PhononRequest& request)
{
    const std::vector<double> modes = ModelFrequencies(deck.atoms.size(), {0, 0, 0});
    double charges = 0;
    for (const StubAtom& atom : deck.atoms) {
        const auto found = request.charges.find(atom.element);
        const double q = found != request.charges.end() ? found->second : atom.charge;
        charges += q * q;
    }
    // The first three optical modes carry the strength, one along each axis.
    const double strength = 1.0e4 * charges / static_cast<double>(deck.atoms.size());
    std::string text = "oscillator strengths and phonon frequencies " + std::to_string(modes.size()) + "\n";
    for (std::size_t m = 0; m < modes.size(); ++m) {
        text += std::to_string(m + 1) + " " + Fixed(modes[m], 4) + "\n";
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c) {
                const bool active = m >= 3 && m < 6 && r == c && static_cast<int>(m - 3) == r - 1;
                text += std::to_string(r) + " " + std::to_string(c) + " " + Fixed(active ? strength : 0.0) + "\n";
            }
    }
    text += "high frequency dielectric constant tensor\n";
    for (int r = 0; r < 3; ++r)
        text += r == 0 ? "2.250000 0.000000 0.000000\n" : r == 1 ? "0.000000 2.250000 0.000000\n"
                                                                  : "0.000000 0.000000 2.250000\n";
    return text;
}

std::string DensText(const Deck& deck, const PhononRequest& request)
{
    const double width = 5.0;
    std::vector<double> counts;
    double total = 0;
    const std::array<int, 3>& n = request.mesh;
    for (int i = 0; i < n[0]; ++i)
        for (int j = 0; j < n[1]; ++j)
            for (int l = 0; l < n[2]; ++l) {
                const std::array<double, 3> k{(i + 0.5) / n[0] - 0.5, (j + 0.5) / n[1] - 0.5, (l + 0.5) / n[2] - 0.5};
                for (const double f : ModelFrequencies(deck.atoms.size(), k)) {
                    const std::size_t bin = static_cast<std::size_t>(std::max(0.0, f) / width);
                    if (bin >= counts.size())
                        counts.resize(bin + 1, 0.0);
                    counts[bin] += 1;
                    total += 1;
                }
            }
    std::string text = "# phonon density of states: frequency (cm-1) density\n";
    for (std::size_t b = 0; b < counts.size() + 2; ++b)
        text += Fixed(b * width, 3) + " " + Fixed(b < counts.size() ? counts[b] / total : 0.0) + "\n";
    return text;
}

std::string DispText(const Deck& deck, const PhononRequest& request)
{
    std::string text;
    int point = 0;
    for (std::size_t s = 0; s < request.segments.size(); ++s) {
        const std::array<double, 6>& g = request.segments[s];
        text += "# Section " + std::to_string(s + 1) + "\n";
        text += "# Start k-point at : " + Fixed(g[0]) + " " + Fixed(g[1]) + " " + Fixed(g[2]) + "\n";
        text += "# Final k-point at : " + Fixed(g[3]) + " " + Fixed(g[4]) + " " + Fixed(g[5]) + "\n";
        for (int p = 0; p < PointsPerSegment; ++p) {
            const double t = static_cast<double>(p) / (PointsPerSegment - 1);
            const std::array<double, 3> k{g[0] + t * (g[3] - g[0]), g[1] + t * (g[4] - g[1]), g[2] + t * (g[5] - g[2])};
            ++point;
            for (const double f : ModelFrequencies(deck.atoms.size(), k))
                text += std::to_string(point) + " " + Fixed(f, 4) + "\n";
        }
    }
    return text;
}

} // namespace

std::vector<double> ModelFrequencies(std::size_t atoms, const std::array<double, 3>& k)
{
    const double s = std::sqrt((std::pow(std::sin(Pi * k[0]), 2) + std::pow(std::sin(Pi * k[1]), 2) +
                                std::pow(std::sin(Pi * k[2]), 2)) /
                               3.0);
    const std::size_t modes = 3 * atoms;
    std::vector<double> frequencies;
    for (std::size_t m = 0; m < modes; ++m) {
        if (m < 3) {
            frequencies.push_back((120.0 + 30.0 * m) * s);
        } else {
            const double base = 150.0 + 110.0 * static_cast<double>(m - 3) / std::max<std::size_t>(1, modes - 3);
            frequencies.push_back(base - 15.0 * s * (1.0 + 0.3 * (m % 3)));
        }
    }
    std::sort(frequencies.begin(), frequencies.end());
    return frequencies;
}

PhononRequest ReadPhononRequest(const std::string& folder, const std::string& seed)
{
    PhononRequest request;
    const std::string path = Join(folder, seed + ".gin");
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    bool keywords = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string> w = Tokens(lines[i]);
        if (w.empty())
            continue;
        if (!keywords) {
            keywords = true;
            request.phonons = std::find(w.begin(), w.end(), "phon") != w.end();
            request.intensities = std::find(w.begin(), w.end(), "inten") != w.end();
            continue;
        }
        double q = 0;
        if (w.size() >= 6 && w[1] == "core" && IsNumber(w[5], q)) {
            std::string element;
            for (const char c : w[0]) {
                if (!std::isalpha(static_cast<unsigned char>(c)))
                    break;
                element += c;
            }
            request.charges[element] = q;
        } else if (w[0] == "shrink" && w.size() >= 4) {
            request.dos = true;
            for (int d = 0; d < 3; ++d)
                request.mesh[d] = std::max(1, std::atoi(w[d + 1].c_str()));
        } else if (w[0] == "dispersion" && w.size() >= 2) {
            const int count = std::atoi(w[1].c_str());
            for (int s = 0; s < count; ++s) {
                if (++i >= lines.size())
                    throw DeckError("the dispersion block of \"" + path + "\" ends before its " +
                                    std::to_string(count) + " segments");
                const std::vector<std::string> v = Tokens(lines[i]);
                std::array<double, 6> g{};
                if (v.size() != 7 || v[3] != "to" || !IsNumber(v[0], g[0]) || !IsNumber(v[1], g[1]) ||
                    !IsNumber(v[2], g[2]) || !IsNumber(v[4], g[3]) || !IsNumber(v[5], g[4]) || !IsNumber(v[6], g[5]))
                    throw DeckError("the dispersion line \"" + lines[i] + "\" of \"" + path +
                                    "\" is not \"x y z to x y z\"");
                request.segments.push_back(g);
            }
        }
    }
    return request;
}

std::string PhononOutputText(const Deck& deck, const PhononRequest& request)
{
    std::string text;
    if (deck.dimension == Dimension::Bulk3D) {
        text += "  Cartesian lattice vectors (Angstroms) :\n\n";
        for (const auto& v : CellVectors(deck.cell))
            text += "      " + Fixed(v[0]) + "    " + Fixed(v[1]) + "    " + Fixed(v[2]) + "\n";
        text += "\n";
    }
    if (Phonons(deck, request)) {
        const std::size_t points =
            request.segments.size() * PointsPerSegment +
            (request.dos ? static_cast<std::size_t>(request.mesh[0] * request.mesh[1] * request.mesh[2]) : 1);
        text += "  Phonon Calculation :\n\n  Number of k points for this configuration = " + std::to_string(points) +
                "\n\n";
        if (request.intensities)
            text += "  Frequency dependent properties :\n\n";
    }
    return text;
}

void WritePhononFiles(const std::string& folder, const Deck& deck, const PhononRequest& request)
{
    if (!Phonons(deck, request))
        return;
    if (request.intensities)
        WriteFile(Join(folder, deck.seed + ".osc"), OscText(deck, request));
    if (request.dos)
        WriteFile(Join(folder, deck.seed + ".dens"), DensText(deck, request));
    if (!request.segments.empty())
        WriteFile(Join(folder, deck.seed + ".disp"), DispText(deck, request));
}

} // namespace ZelmStub
