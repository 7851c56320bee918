// Whether a document still holds its structure: differences of rounding are
// none, a move of 1e-5 Angstrom of any cell quantity or coordinate is one.
#include <gtest/gtest.h>

#include "ModelFixtures.h"
#include "host/model/StructureComparison.h"

#include <functional>

using namespace HostModelTest;

namespace {

// A triclinic P 1 cell (every quantity of its own), a square slab and a
// molecule, each with two atoms.
std::shared_ptr<Document> Bulk()
{
    auto d = std::make_shared<Document>();
    d->SetCell({5.6402, 6.1, 7.3, Radians(80), Radians(95), Radians(105)});
    d->AddAtomAt("Na", {0, 0, 0});
    d->AddAtomAt("Cl", {0.5, 0.5, 0.5});
    return d;
}

std::shared_ptr<Document> Slab()
{
    auto d = std::make_shared<Document>();
    d->SetSurfaceCell({4.212, 4.5, Radians(95)});
    d->AddAtomAt("Mg", {0, 0, 0});
    d->AddAtomAt("O", {0.5, 0.5, 0.0125});
    return d;
}

std::shared_ptr<Document> Molecule()
{
    auto d = std::make_shared<Document>();
    d->AddAtom("O", {0, 0, 0});
    d->AddAtom("H", {0.9572, 0, 0});
    return d;
}

Handle Second(const Document& d) { return d.Atoms()[1].handle; }

// Changes one quantity of a document by `delta` (Angstrom, radians or a
// fraction of a cell length).
using Nudge = std::function<void(Document&, double delta)>;

Nudge CellLength(int which)
{
    return [which](Document& d, double delta) {
        if (d.Lattice3()) {
            CellParameters p = d.Lattice3()->Parameters();
            (which == 0 ? p.a : which == 1 ? p.b : p.c) += delta;
            d.SetCell(p);
        } else {
            SurfaceCellParameters p = d.Lattice2()->Parameters();
            (which == 0 ? p.u : p.v) += delta;
            d.SetSurfaceCell(p);
        }
    };
}

Nudge CellAngle(int which)
{
    return [which](Document& d, double delta) {
        if (d.Lattice3()) {
            CellParameters p = d.Lattice3()->Parameters();
            (which == 0 ? p.alpha : which == 1 ? p.beta : p.gamma) += delta;
            d.SetCell(p);
        } else {
            SurfaceCellParameters p = d.Lattice2()->Parameters();
            p.theta += delta;
            d.SetSurfaceCell(p);
        }
    };
}

// The second atom's position in the document's own frame (fractional for a
// cell, z Cartesian for a slab).
Nudge OwnFrame(int axis)
{
    return [axis](Document& d, double delta) {
        Vec3 p = d.Fractional(Second(d));
        p[axis] += delta;
        d.SetFractional(Second(d), p);
    };
}

Nudge CartesianAxis(int axis)
{
    return [axis](Document& d, double delta) {
        Vec3 p = d.Cartesian(Second(d));
        p[axis] += delta;
        d.SetCartesian(Second(d), p);
    };
}

} // namespace

TEST(StructureComparison, RoundingIsNoChangeAMoveOfTenMicroAngstromIs)
{
    const double move = 1e-5;  // Angstrom
    const double a = 5.6402, u = 4.212;
    const struct {
        const char* quantity;
        std::function<std::shared_ptr<Document>()> make;
        Nudge nudge;
        double rounding;  // a difference of float noise or of the last printed digit
        double moved;     // the same quantity moved by 1e-5 Angstrom
    } rows[] = {
        {"cell a", Bulk, CellLength(0), 2e-15, move},
        {"cell b", Bulk, CellLength(1), 2e-15, move},
        {"cell c", Bulk, CellLength(2), 2e-15, move},
        {"cell alpha", Bulk, CellAngle(0), 1e-15, move / 6.1},
        {"cell beta", Bulk, CellAngle(1), 1e-15, move / 7.3},
        {"cell gamma", Bulk, CellAngle(2), 1e-15, move / a},
        {"fractional x", Bulk, OwnFrame(0), -1.7e-16, move / a},
        {"fractional y", Bulk, OwnFrame(1), -1.7e-16, move / 6.1},
        {"fractional z", Bulk, OwnFrame(2), -1.7e-16, move / 7.3},
        {"Cartesian x in a cell", Bulk, CartesianAxis(0), 5e-10, move},
        {"Cartesian y in a cell", Bulk, CartesianAxis(1), 5e-10, move},
        {"Cartesian z in a cell", Bulk, CartesianAxis(2), 5e-10, move},
        {"slab u", Slab, CellLength(0), 2e-15, move},
        {"slab v", Slab, CellLength(1), 2e-15, move},
        {"slab angle", Slab, CellAngle(0), 1e-15, move / 4.5},
        {"slab fractional u", Slab, OwnFrame(0), -1.7e-16, move / u},
        {"slab fractional v", Slab, OwnFrame(1), -1.7e-16, move / 4.5},
        {"slab z", Slab, OwnFrame(2), 5e-10, move},
        {"slab Cartesian x", Slab, CartesianAxis(0), 5e-10, move},
        {"molecule x", Molecule, CartesianAxis(0), 5e-10, move},
        {"molecule y", Molecule, CartesianAxis(1), 5e-10, move},
        {"molecule z", Molecule, CartesianAxis(2), 5e-10, move},
    };
    for (const auto& row : rows) {
        const std::shared_ptr<Document> before = row.make();
        EXPECT_TRUE(SameStructure(*before, *row.make())) << row.quantity;
        for (const double sign : {1.0, -1.0}) {
            const std::shared_ptr<Document> rounded = row.make();
            row.nudge(*rounded, sign * row.rounding);
            EXPECT_TRUE(SameStructure(*before, *rounded)) << row.quantity << " rounded by " << sign * row.rounding;
            const std::shared_ptr<Document> moved = row.make();
            row.nudge(*moved, sign * row.moved);
            EXPECT_FALSE(SameStructure(*before, *moved)) << row.quantity << " moved by " << sign * row.moved;
            EXPECT_FALSE(SameStructure(*moved, *before)) << row.quantity << " moved by " << sign * row.moved;
        }
    }
}

TEST(StructureComparison, EverythingButCellAndPlacesMustBeEqual)
{
    // Rock salt's chlorine at one half, as an archive of the same structure
    // gives it back: the same structure.
    const std::shared_ptr<Document> salt = RockSalt();
    const std::shared_ptr<Document> imported = RockSalt();
    const Handle chlorine = imported->Atoms()[4].handle;  // the second parent, after sodium's three images
    ASSERT_EQ(imported->Atoms()[4].element, "Cl");
    imported->SetFractional(chlorine, {0.49999999999999983, 0.5, 0.49999999999999983});
    imported->SetId(NewDocumentId());
    imported->SetName("renamed");
    EXPECT_TRUE(SameStructure(*salt, *imported));

    const struct {
        const char* change;
        std::function<void(Document&)> apply;
    } rows[] = {
        {"an element", [](Document& d) { d.SetElement(Second(d), "Br"); }},
        {"a charge", [](Document& d) { d.SetCharge(Second(d), 1e-12); }},
        {"a bond", [](Document& d) { d.AddBond(d.Atoms()[0].handle, Second(d)); }},
        {"a set", [](Document& d) { d.CreateSet("top"); }},
        {"an atom", [](Document& d) { d.AddAtomAt("Na", {0.25, 0.25, 0.25}); }},
        {"the symmetry", [](Document& d) { d.MakeP1(); }},
        {"the periodicity", [](Document& d) { d.RemoveLattice(); }},
    };
    for (const auto& row : rows) {
        const std::shared_ptr<Document> changed = RockSalt();
        row.apply(*changed);
        EXPECT_FALSE(SameStructure(*salt, *changed)) << row.change;
        EXPECT_FALSE(SameStructure(*changed, *salt)) << row.change;
    }
}
