// Small documents built in code for the document-model tests.
#pragma once

#include "host/model/Document.h"

#include <memory>

namespace HostModelTest {

using namespace HostModel;

inline CellParameters Cubic(double a)
{
    return {a, a, a, Radians(90), Radians(90), Radians(90)};
}

// Rock salt on its conventional cell: Na at the origin, Cl at the body
// centre, F m -3 m: 8 atoms, 2 symmetry parents.
inline std::shared_ptr<Document> RockSalt()
{
    auto d = std::make_shared<Document>();
    d->SetName("NaCl");
    d->SetCell(Cubic(5.6402));
    d->SetSymmetry(Symmetry::FromName("F m -3 m"));
    d->AddAtomAt("Na", {0, 0, 0});
    d->AddAtomAt("Cl", {0.5, 0.5, 0.5});
    return d;
}

// Copper: one atom of F m -3 m at the origin: 4 atoms.
inline std::shared_ptr<Document> Copper()
{
    auto d = std::make_shared<Document>();
    d->SetCell(Cubic(3.615));
    d->SetSymmetry(Symmetry::FromName("F m -3 m"));
    d->AddAtomAt("Cu", {0, 0, 0});
    return d;
}

inline bool Near(const Vec3& a, const Vec3& b, double tolerance = 1e-9)
{
    for (int i = 0; i < 3; ++i)
        if (std::fabs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

// Equal up to whole lattice translations.
inline bool SameSite(const Vec3& a, const Vec3& b, double tolerance = 1e-9)
{
    return PeriodicFractionalDistance(a, b) < tolerance;
}

} // namespace HostModelTest
