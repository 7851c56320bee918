// The fractional positions of a periodic cell cut into bins at least a given
// Cartesian distance wide along every axis, so that two positions closer than
// that distance (through any lattice translation) lie in the same bin or in
// neighbouring ones, neighbours taken through the cell's faces. What a bin
// holds is the caller's: a bin is named by its key.
#pragma once

#include "host/model/Geometry.h"
#include "host/model/Lattice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace HostModel {

class PeriodicBins {
public:
    PeriodicBins(const Lattice3D& lattice, double distance)
    {
        // A Cartesian step of length t changes fractional coordinate i by at
        // most t times the length of row i of the Cartesian-to-fractional map.
        std::array<Vec3, 3> columns{};
        for (std::size_t j = 0; j < 3; ++j) {
            Vec3 unit{};
            unit[j] = 1.0;
            columns[j] = lattice.ToFractional(unit);
        }
        for (std::size_t i = 0; i < 3; ++i) {
            const double row = std::sqrt(columns[0][i] * columns[0][i] + columns[1][i] * columns[1][i] +
                                         columns[2][i] * columns[2][i]);
            const double width = 1.01 * distance * row;
            double bins = width > 0.0 ? std::floor(1.0 / width) : 1.0;
            bins = std::fmin(std::fmax(bins, 1.0), static_cast<double>(MaxBins));
            m_bins[i] = static_cast<std::int64_t>(bins);
        }
    }

    // The key of the bin a position lies in.
    std::uint64_t KeyOf(const Vec3& fractional) const { return Key(Bin(fractional)); }

    // Calls f(key) for the bin of this position and the bins around it, each
    // once (an axis with fewer than three bins has fewer neighbours), until f
    // returns true; true when it did.
    template <class F> bool AnyAround(const Vec3& fractional, F&& f) const
    {
        const std::array<std::int64_t, 3> bin = Bin(fractional);
        std::array<std::array<std::int64_t, 3>, 3> around{};
        std::array<std::size_t, 3> count{};
        for (std::size_t i = 0; i < 3; ++i) {
            for (std::int64_t d = -1; d <= 1; ++d) {
                const std::int64_t b = ((bin[i] + d) % m_bins[i] + m_bins[i]) % m_bins[i];
                const auto end = around[i].begin() + static_cast<std::ptrdiff_t>(count[i]);
                if (std::find(around[i].begin(), end, b) == end)
                    around[i][count[i]++] = b;
            }
        }
        for (std::size_t x = 0; x < count[0]; ++x)
            for (std::size_t y = 0; y < count[1]; ++y)
                for (std::size_t z = 0; z < count[2]; ++z)
                    if (f(Key({around[0][x], around[1][y], around[2][z]})))
                        return true;
        return false;
    }

private:
    static constexpr std::int64_t MaxBins = 1 << 20;

    std::array<std::int64_t, 3> Bin(const Vec3& fractional) const
    {
        const Vec3 w = WrapFractional(fractional);
        std::array<std::int64_t, 3> bin{};
        for (std::size_t i = 0; i < 3; ++i)
            bin[i] = std::min(m_bins[i] - 1,
                              std::max<std::int64_t>(0, static_cast<std::int64_t>(w[i] * static_cast<double>(m_bins[i]))));
        return bin;
    }
    static std::uint64_t Key(const std::array<std::int64_t, 3>& bin)
    {
        return (static_cast<std::uint64_t>(bin[0]) << 42) | (static_cast<std::uint64_t>(bin[1]) << 21) |
               static_cast<std::uint64_t>(bin[2]);
    }

    std::array<std::int64_t, 3> m_bins{};
};

} // namespace HostModel
