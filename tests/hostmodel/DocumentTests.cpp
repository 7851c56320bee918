#include "ModelFixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace HostModelTest;

TEST(DocumentSymmetry, ParentsAreFollowedByTheirImages)
{
    auto d = RockSalt();
    const auto& atoms = d->Atoms();
    ASSERT_EQ(atoms.size(), 8u);
    const char* elements[] = {"Na", "Na", "Na", "Na", "Cl", "Cl", "Cl", "Cl"};
    for (std::size_t i = 0; i < atoms.size(); ++i) {
        EXPECT_EQ(atoms[i].element, elements[i]) << i;
        EXPECT_EQ(atoms[i].IsSymmetryParent(), i == 0 || i == 4) << i;
        EXPECT_EQ(d->Multiplicity(atoms[i].handle), 4) << i;
        EXPECT_EQ(d->SymmetryParent(atoms[i].handle), atoms[i < 4 ? 0 : 4].handle);
    }
    // The four Na sites are the face-centring translations of the origin.
    const Vec3 expected[] = {{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}};
    for (const Vec3& e : expected) {
        int found = 0;
        for (std::size_t i = 0; i < 4; ++i)
            found += SameSite(atoms[i].position, e);
        EXPECT_EQ(found, 1);
    }
    // Every atom has an "ID" of its own.
    std::set<std::int32_t> ids;
    for (const Atom& a : atoms)
        ids.insert(a.id);
    EXPECT_EQ(ids.size(), 8u);
}

TEST(DocumentSymmetry, SpecialPositionsHaveFewerImages)
{
    auto d = std::make_shared<Document>();
    d->SetCell({5.1, 6.2, 7.3, Radians(90), Radians(101.5), Radians(90)});
    d->SetSymmetry(Symmetry::FromName("P 21/c"));
    const Handle general = d->AddAtomAt("Si", {0.1, 0.2, 0.3});
    const Handle centre = d->AddAtomAt("O", {0, 0, 0});
    EXPECT_EQ(d->Multiplicity(general), 4);
    EXPECT_EQ(d->Multiplicity(centre), 2);
    EXPECT_EQ(d->Atoms().size(), 6u);
    EXPECT_EQ(d->Atoms()[4].handle, centre);
}

TEST(DocumentSymmetry, ImagesFollowTheirParent)
{
    auto d = std::make_shared<Document>();
    d->SetCell({5.1, 6.2, 7.3, Radians(90), Radians(101.5), Radians(90)});
    d->SetSymmetry(Symmetry::FromName("P 21/c"));
    const Handle parent = d->AddAtomAt("Si", {0.1, 0.2, 0.3});
    const std::vector<Handle> before = [&] {
        std::vector<Handle> h;
        for (const Atom& a : d->Atoms())
            h.push_back(a.handle);
        return h;
    }();
    d->SetFractional(parent, {0.15, 0.25, 0.35});
    ASSERT_EQ(d->Atoms().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const Atom& a = d->Atoms()[i];
        EXPECT_EQ(a.handle, before[i]) << "images keep their identity";
        const Vec3 expected = d->GetSymmetry().Operators()[a.operatorIndex].Apply({0.15, 0.25, 0.35});
        EXPECT_TRUE(SameSite(a.position, expected)) << i;
    }
}

TEST(DocumentSymmetry, MovingAnImageMovesItsParent)
{
    auto d = std::make_shared<Document>();
    d->SetCell({5.1, 6.2, 7.3, Radians(90), Radians(101.5), Radians(90)});
    d->SetSymmetry(Symmetry::FromName("P 21/c"));
    const Handle parent = d->AddAtomAt("Si", {0.1, 0.2, 0.3});
    const Handle image = d->Atoms()[2].handle;
    const Vec3 target = {0.6, 0.7, 0.8};
    d->SetFractional(image, target);
    EXPECT_TRUE(SameSite(d->Fractional(image), target, 1e-9));
    const std::size_t op = d->GetAtom(image).operatorIndex;
    EXPECT_TRUE(SameSite(d->GetSymmetry().Operators()[op].Apply(d->Fractional(parent)), target, 1e-9));
    // Orbit-wide properties reach every member from any member.
    d->SetCharge(image, -0.5);
    d->SetForcefieldType(image, "Si_t");
    for (const Atom& a : d->Atoms()) {
        EXPECT_DOUBLE_EQ(a.charge, -0.5);
        EXPECT_EQ(a.forcefieldType, "Si_t");
    }
    // Selection and ID stay per atom.
    d->SetSelected(image, true);
    d->SetId(image, 77);
    EXPECT_FALSE(d->GetAtom(parent).selected);
    EXPECT_EQ(d->GetAtom(image).id, 77);
}

TEST(DocumentSymmetry, MakeP1TurnsImagesIntoParents)
{
    auto d = RockSalt();
    EXPECT_FALSE(d->IsP1());
    const auto before = d->Atoms();
    d->MakeP1();
    EXPECT_TRUE(d->IsP1());
    ASSERT_EQ(d->Atoms().size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_TRUE(d->Atoms()[i].IsSymmetryParent());
        EXPECT_EQ(d->Multiplicity(d->Atoms()[i].handle), 1);
        EXPECT_TRUE(Near(d->Atoms()[i].position, before[i].position));
        EXPECT_EQ(d->Atoms()[i].id, before[i].id);
    }
}

TEST(DocumentSymmetry, SettingAGroupMergesSitesItMakesEquivalent)
{
    // The full conventional cell in P 1, then its space group.
    auto d = RockSalt();
    d->MakeP1();
    d->SetSymmetry(Symmetry::FromName("F m -3 m"));
    ASSERT_EQ(d->Atoms().size(), 8u);
    int parents = 0;
    for (const Atom& a : d->Atoms())
        parents += a.IsSymmetryParent();
    EXPECT_EQ(parents, 2);
    EXPECT_THROW(Document().SetSymmetry(Symmetry::FromName("P -1")), ModelError);
}

TEST(DocumentPrimitive, FaceCentredCubicHasOneAtomOnItsPrimitiveCell)
{
    auto d = Copper();
    ASSERT_EQ(d->Atoms().size(), 4u);
    const double conventionalVolume = d->Lattice3()->Volume();
    EXPECT_FALSE(d->NeedsPrimitiveConversion()); // the engine is told "F m -3 m"
    ASSERT_TRUE(d->ConvertToPrimitive());
    ASSERT_EQ(d->Atoms().size(), 1u);
    const CellParameters& p = d->Lattice3()->Parameters();
    EXPECT_NEAR(p.a, 3.615 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(p.b, p.a, 1e-9);
    EXPECT_NEAR(p.c, p.a, 1e-9);
    EXPECT_NEAR(Degrees(p.alpha), 60.0, 1e-9);
    EXPECT_NEAR(Degrees(p.beta), 60.0, 1e-9);
    EXPECT_NEAR(Degrees(p.gamma), 60.0, 1e-9);
    EXPECT_NEAR(d->Lattice3()->Volume(), conventionalVolume / 4, 1e-9);
    EXPECT_EQ(d->GetSymmetry().Order(), 48u);
    EXPECT_FALSE(d->GetSymmetry().IsCentred());
    EXPECT_FALSE(d->ConvertToPrimitive()); // already primitive
}

TEST(DocumentPrimitive, RockSaltKeepsBothSitesAndTheirDistance)
{
    auto d = RockSalt();
    const double naCl = 5.6402 / 2;
    ASSERT_TRUE(d->ConvertToPrimitive());
    ASSERT_EQ(d->Atoms().size(), 2u);
    EXPECT_EQ(d->Atoms()[0].element, "Na");
    EXPECT_EQ(d->Atoms()[1].element, "Cl");
    // Shortest Na-Cl distance through the periodic images.
    const Vec3 na = d->Cartesian(d->Atoms()[0].handle);
    double shortest = 1e9;
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k) {
                const Vec3 cl = d->Lattice3()->ToCartesian(d->Atoms()[1].position + Vec3{double(i), double(j), double(k)});
                shortest = std::min(shortest, Length(cl - na));
            }
    EXPECT_NEAR(shortest, naCl, 1e-9);
}

TEST(DocumentPrimitive, CentredGroupThatCannotBeNamedNeedsConversion)
{
    // F m -3 m with its origin shifted by (1/8, 0, 0): a setting without a
    // table entry, so the engine gets operators and wants a primitive cell.
    const Symmetry standard = Symmetry::FromName("F m -3 m");
    std::vector<std::string> shifted;
    for (const SymmetryOperator& op : standard.Operators()) {
        SymmetryOperator s = op;
        // t' = t + (I - R) o with o = (1/8, 0, 0)
        for (int i = 0; i < 3; ++i)
            s.translation[i] += ((i == 0 ? 1.0 : 0.0) - op.rotation[i][0]) * 0.125;
        shifted.push_back(s.Triplet());
    }
    auto d = std::make_shared<Document>();
    d->SetCell(Cubic(3.615));
    d->SetSymmetry(Symmetry::FromOperators(shifted));
    d->AddAtomAt("Cu", {0.125, 0, 0});
    EXPECT_EQ(d->Atoms().size(), 4u);
    EXPECT_FALSE(d->GetSymmetry().IsTabulated());
    EXPECT_EQ(d->GetSymmetry().Centring(), 'F');
    EXPECT_TRUE(d->NeedsPrimitiveConversion());
    ASSERT_TRUE(d->ConvertToPrimitive());
    EXPECT_EQ(d->Atoms().size(), 1u);
    EXPECT_FALSE(d->NeedsPrimitiveConversion());
}

TEST(DocumentLattice, CellChangesKeepFractionalPositions)
{
    auto d = RockSalt();
    const Vec3 f = d->Fractional(d->Atoms()[4].handle);
    d->SetCell(Cubic(6.0));
    EXPECT_TRUE(Near(d->Fractional(d->Atoms()[4].handle), f));
    EXPECT_NEAR(d->Cartesian(d->Atoms()[4].handle)[0], 3.0, 1e-12);
    EXPECT_THROW(d->SetCell({1, 1, 1, 0, 0, 0}), LatticeError);
    EXPECT_NEAR(d->Lattice3()->Parameters().a, 6.0, 1e-12) << "a refused cell changes nothing";
}

TEST(DocumentLattice, PeriodicityChangesKeepCartesianPositions)
{
    auto d = std::make_shared<Document>();
    const Handle h = d->AddAtom("O", {1.0, 2.0, 3.0});
    EXPECT_EQ(d->GetPeriodicity(), Periodicity::None);
    d->SetCell(Cubic(10.0));
    EXPECT_TRUE(Near(d->Fractional(h), {0.1, 0.2, 0.3}));
    d->SetSurfaceCell({5.0, 4.0, Radians(90)});
    EXPECT_EQ(d->GetPeriodicity(), Periodicity::Surface2D);
    EXPECT_TRUE(Near(d->Fractional(h), {0.2, 0.5, 3.0})); // z stays Cartesian
    d->RemoveLattice();
    EXPECT_TRUE(Near(d->Cartesian(h), {1.0, 2.0, 3.0}));

    // Leaving 3-D periodicity expands the symmetry first.
    auto salt = RockSalt();
    salt->RemoveLattice();
    EXPECT_TRUE(salt->IsP1());
    EXPECT_EQ(salt->Atoms().size(), 8u);
    for (const Atom& a : salt->Atoms())
        EXPECT_TRUE(a.IsSymmetryParent());
}

TEST(DocumentAtoms, RemovingAnAtomRemovesItsOrbitAndReferences)
{
    auto d = RockSalt();
    const Handle na = d->Atoms()[0].handle, naImage = d->Atoms()[1].handle, cl = d->Atoms()[4].handle;
    d->AddBond(naImage, cl);
    d->AddPiSystem({na, cl});
    d->CreateSet("SurfaceAtoms");
    d->AddToSet("SurfaceAtoms", na);
    d->AddToSet("SurfaceAtoms", cl);
    d->RemoveAtom(naImage);
    EXPECT_EQ(d->Atoms().size(), 4u);
    EXPECT_EQ(d->FindAtom(na), nullptr);
    EXPECT_TRUE(d->Bonds().empty());
    ASSERT_EQ(d->PiSystems().size(), 1u);
    EXPECT_EQ(d->PiSystems()[0].atoms, std::vector<Handle>{cl});
    EXPECT_EQ(d->SetAtoms("SurfaceAtoms"), std::vector<Handle>{cl});
    EXPECT_THROW(d->GetAtom(na), ModelError);
}

TEST(DocumentAtoms, BondsAndAttachedAtoms)
{
    Document d;
    const Handle c = d.AddAtom("C", {0, 0, 0});
    const Handle h1 = d.AddAtom("H", {1, 0, 0});
    const Handle h2 = d.AddAtom("H", {0, 1, 0});
    d.AddBond(c, h1);
    d.AddBond(h2, c, 2);
    EXPECT_EQ(d.AttachedAtoms(c), (std::vector<Handle>{h1, h2}));
    EXPECT_EQ(d.AttachedAtoms(h2), std::vector<Handle>{c});
    EXPECT_THROW(d.AddBond(c, h1), ModelError);
    EXPECT_THROW(d.AddBond(c, c), ModelError);
    EXPECT_THROW(d.SetFormalCharge(c, {1, 0}), ModelError);
    EXPECT_THROW(d.SetFixedMask(c, 8), ModelError);
    EXPECT_THROW(d.AddAtom("X", {std::nan(""), 0, 0}), ModelError);
}

TEST(DocumentSets, NamedSetOperations)
{
    auto d = RockSalt();
    const auto& atoms = d->Atoms();
    const Handle na = atoms[0].handle, cl = atoms[4].handle, clImage = atoms[6].handle;

    EXPECT_FALSE(d->HasSet("AttachmentLayer"));
    EXPECT_TRUE(d->SetIsEmpty("AttachmentLayer"));
    EXPECT_THROW(d->AddToSet("AttachmentLayer", na), ModelError);
    EXPECT_TRUE(d->CreateSet("AttachmentLayer", true));
    EXPECT_FALSE(d->CreateSet("AttachmentLayer", false)) << "an existing set stays";
    EXPECT_TRUE(d->Sets().at("AttachmentLayer").visible);
    EXPECT_TRUE(d->SetIsEmpty("AttachmentLayer"));

    d->AddToSet("AttachmentLayer", clImage);
    d->AddToSet("AttachmentLayer", na);
    d->AddToSet("AttachmentLayer", na); // twice: once in the set
    EXPECT_EQ(d->SetAtoms("AttachmentLayer"), (std::vector<Handle>{na, clImage})) << "document order";
    EXPECT_TRUE(d->SetContains("AttachmentLayer", na));
    EXPECT_FALSE(d->SetContains("AttachmentLayer", cl));

    d->SetSelected(cl, true);
    d->SelectSet("AttachmentLayer");
    for (const Atom& a : atoms)
        EXPECT_EQ(a.selected, a.handle == na || a.handle == clImage);

    d->RemoveFromSet("AttachmentLayer", cl); // not a member: nothing happens
    d->RemoveFromSet("AttachmentLayer", na);
    EXPECT_EQ(d->SetAtoms("AttachmentLayer"), std::vector<Handle>{clImage});
    EXPECT_TRUE(d->DeleteSet("AttachmentLayer"));
    EXPECT_FALSE(d->DeleteSet("AttachmentLayer"));
    EXPECT_THROW(d->SelectSet("AttachmentLayer"), ModelError);
}

TEST(DocumentCopy, CopyModelKeepsIdentity)
{
    auto source = RockSalt();
    source->CreateSet("SurfaceAtoms");
    source->AddToSet("SurfaceAtoms", source->Atoms()[0].handle);
    Document target;
    target.SetName("Fit");
    const std::string id = target.Id();
    target.CopyModelFrom(*source);
    EXPECT_EQ(target.Name(), "Fit");
    EXPECT_EQ(target.Id(), id);
    EXPECT_NE(target.Id(), source->Id());
    EXPECT_EQ(target.Atoms().size(), 8u);
    EXPECT_EQ(target.GetSymmetry().Number(), 225);
    EXPECT_FALSE(target.SetIsEmpty("SurfaceAtoms"));
    // The copy is independent.
    target.ConvertToPrimitive();
    EXPECT_EQ(source->Atoms().size(), 8u);
}

TEST(DocumentSymmetry, SitesMergeExactlyWhenWithinTheToleranceThroughAnyCellEdge)
{
    // Many parents on a skewed cell, a third of them placed next to an
    // earlier one (some across a cell edge) at distances around the 0.01
    // Angstrom site tolerance: the document keeps exactly the parents that a
    // comparison with every earlier parent keeps.
    const CellParameters cell{4.1, 5.3, 3.7, Radians(71), Radians(98), Radians(113)};
    const Lattice3D lattice(cell);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Atom> parents;
    for (int i = 0; i < 600; ++i) {
        Atom a;
        a.element = i % 5 == 0 ? "O" : "C";
        a.id = i + 1;
        if (i % 3 == 2) {
            const Atom& near = parents[static_cast<std::size_t>(random()) % parents.size()];
            Vec3 step{unit(random) - 0.5, unit(random) - 0.5, unit(random) - 0.5};
            step = (0.02 * unit(random) / Length(step)) * step; // Cartesian, up to 0.02 Angstrom
            a.element = near.element;
            a.position = near.position + lattice.ToFractional(step);
            for (double& x : a.position)
                x += static_cast<double>(static_cast<int>(random() % 3)) - 1.0; // another cell
        } else {
            a.position = {unit(random), unit(random), i % 4 == 0 ? 0.999999 : unit(random)};
        }
        parents.push_back(a);
    }
    std::vector<std::int32_t> kept;
    for (const Atom& p : parents) {
        bool merged = false;
        for (std::int32_t id : kept) {
            const Atom& q = parents[static_cast<std::size_t>(id - 1)];
            Vec3 d = p.position - q.position;
            for (double& x : d)
                x -= std::round(x);
            merged = merged || (q.element == p.element && Length(lattice.ToCartesian(d)) < 0.01);
        }
        if (!merged)
            kept.push_back(p.id);
    }
    ASSERT_GT(kept.size(), 420u);
    ASSERT_LT(kept.size(), 590u);

    auto d = std::make_shared<Document>();
    d->SetCell(cell);
    for (const Atom& p : parents)
        d->RestoreParent(p);
    d->SetSymmetry(Symmetry());
    std::vector<std::int32_t> ids;
    for (const Atom& a : d->Atoms())
        ids.push_back(a.id);
    EXPECT_EQ(ids, kept);
}

TEST(DocumentSymmetry, StoredImagesAreCheckedAndCompletedInOrder)
{
    // Restored as a file may give them, images after all parents: a parent
    // with one image stored twice (the copy is dropped) and one missing, and
    // one made by an operator that gives the parent's own site (dropped).
    // Every image lands behind its parent; new images take IDs above the
    // highest one held.
    auto d = std::make_shared<Document>();
    d->SetCell(Cubic(4.0));
    d->SetSymmetry(Symmetry::FromName("P 21/c"));
    Atom general;
    general.element = "Si";
    general.position = {0.1, 0.2, 0.3};
    general.id = 40;
    Atom centre;
    centre.element = "O";
    centre.position = {0, 0, 0};
    centre.id = 7;
    const Handle g = d->RestoreParent(general);
    const Handle c = d->RestoreParent(centre);
    const Handle first = d->RestoreImage(g, 1);
    const Handle own = d->RestoreImage(c, 2);
    const Handle twice = d->RestoreImage(g, 1);
    d->RestoreImage(c, 1);
    d->RefreshImages();

    ASSERT_EQ(d->Atoms().size(), 6u);
    EXPECT_EQ(d->Atoms()[0].handle, g);
    EXPECT_EQ(d->Atoms()[1].handle, first);
    EXPECT_FALSE(d->FindAtom(twice));
    EXPECT_EQ(d->Atoms()[4].handle, c);
    EXPECT_FALSE(d->FindAtom(own));
    EXPECT_EQ(d->Multiplicity(g), 4);
    EXPECT_EQ(d->Multiplicity(c), 2);
    std::vector<std::int32_t> ids;
    for (const Atom& a : d->Atoms())
        ids.push_back(a.id);
    EXPECT_EQ(ids, (std::vector<std::int32_t>{40, 40, 41, 42, 7, 7}));
}

// An orbit-wide change reaches its own orbit, whichever member names it, and
// no other: the neighbours before and after it keep theirs.
TEST(DocumentSymmetry, OrbitWideChangesStayInTheirOrbit)
{
    auto d = std::make_shared<Document>();
    d->SetCell({5.1, 6.2, 7.3, Radians(90), Radians(101.5), Radians(90)});
    d->SetSymmetry(Symmetry::FromName("P 21/c"));
    const Handle first = d->AddAtomAt("Si", {0.1, 0.2, 0.3});
    const Handle middle = d->AddAtomAt("O", {0.3, 0.1, 0.2});
    const Handle last = d->AddAtomAt("Na", {0.2, 0.3, 0.1});
    const std::size_t at = d->IndexOf(middle);
    const Handle lastImage = d->Atoms()[at + d->Multiplicity(middle) - 1].handle;
    d->SetForcefieldType(lastImage, "O_t");
    d->SetCharge(lastImage, -1.5);
    for (const Atom& a : d->Atoms()) {
        const bool inOrbit = a.parent == middle;
        EXPECT_EQ(a.forcefieldType, inOrbit ? "O_t" : "") << a.element;
        EXPECT_DOUBLE_EQ(a.charge, inOrbit ? -1.5 : 0.0) << a.element;
    }
    EXPECT_EQ(d->Multiplicity(first) + d->Multiplicity(middle) + d->Multiplicity(last),
              static_cast<std::int32_t>(d->Atoms().size()));
}
