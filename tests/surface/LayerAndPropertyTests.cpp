// Layer selection and the slab's figures: depth, dipole moment, region-1
// charge and the proceed answers.
#include "SurfaceFixture.h"

#include <climits>
#include <cmath>
#include <limits>

using namespace SurfaceTest;

namespace {

class SurfaceLayers : public Fixture {
protected:
    // d = 4 / 2 = 2: layer 1 is (-2, 0], layer 2 (-4, -2], layer 3 (-6, -4].
    std::shared_ptr<HostModel::Document> Slab(double relative = 2, double absolute = 4,
                                              const std::string& plane = "(0 0 1)")
    {
        return MakeSlab({{"Na", 0, 1}, {"Cl", -1, -1}, {"Na", -2, 1}, {"Cl", -3.9, -1}, {"Na", -4, 1}}, relative,
                        absolute, plane);
    }
};

TEST_F(SurfaceLayers, LayersCountDownFromTheTopAndABoundaryAtomGoesBelow)
{
    ASSERT_TRUE(calculator);
    struct Case {
        LONG from, to;
        std::set<std::size_t> expected;
    };
    const Case cases[] = {
        {1, 1, {1, 2}},          {1, 2, {1, 2, 3, 4}}, {0, 1, {1, 2}}, {2, 1, {}},
        {2, 2, {3, 4}},          {3, 3, {5}},
        // Layer numbers at the ends of their range neither overflow nor wrap.
        {INT_MIN, INT_MAX, {1, 2, 3, 4, 5}}, {INT_MAX, INT_MAX, {}},
    };
    for (const Case& c : cases) {
        std::shared_ptr<HostModel::Document> slab = Slab();
        Select(*slab, {5});
        KelvComPtr<ISBScope> scope = ScopeOf(slab);
        EXPECT_EQ(calculator->SelectLayer(scope.get(), c.from, c.to), S_OK);
        EXPECT_EQ(Selected(*slab), c.expected) << c.from << ".." << c.to;
    }
    const std::vector<QzHost::OperationRecord> records = Host().Operations().Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().name, "Select surface layer");
    EXPECT_EQ(records.back().kind, 3);
}

TEST_F(SurfaceLayers, DepthsThatGiveNoLayersLeaveTheSelection)
{
    ASSERT_TRUE(calculator);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        double relative, absolute;
        std::string plane;
        bool canSelect;
    };
    const Case cases[] = {
        {"relative depth below one layer", 0.5, 4, "(0 0 1)", false},
        {"absolute depth zero", 2, 0, "(0 0 1)", true},
        {"no surface description", 2, 4, "", false},
        {"absolute depth not a number", 2, nan, "(0 0 1)", true},
        {"relative depth not a number", nan, 4, "(0 0 1)", false},
    };
    for (const Case& c : cases) {
        std::shared_ptr<HostModel::Document> slab = Slab(c.relative, c.absolute, c.plane);
        Select(*slab, {5});
        KelvComPtr<ISBScope> scope = ScopeOf(slab);
        VARIANT_BOOL can = 7;
        EXPECT_EQ(calculator->CanSelectLayer(scope.get(), &can), S_OK) << c.what;
        EXPECT_EQ(can, c.canSelect ? VARIANT_TRUE : VARIANT_FALSE) << c.what;
        EXPECT_EQ(calculator->SelectLayer(scope.get(), 1, 1), S_OK) << c.what;
        EXPECT_EQ(Selected(*slab), (std::set<std::size_t>{5})) << c.what;
    }
    // A 3-D document has no layers.
    std::shared_ptr<HostModel::Document> bulk = Slab();
    bulk->SetCell({4, 4, 4, HostModel::Radians(90), HostModel::Radians(90), HostModel::Radians(90)});
    Select(*bulk, {5});
    VARIANT_BOOL can = VARIANT_TRUE;
    KelvComPtr<ISBScope> scope = ScopeOf(bulk);
    EXPECT_EQ(calculator->CanSelectLayer(scope.get(), &can), S_OK);
    EXPECT_EQ(can, VARIANT_FALSE);
    EXPECT_EQ(calculator->SelectLayer(scope.get(), 1, 1), S_OK);
    EXPECT_EQ(Selected(*bulk), (std::set<std::size_t>{5}));
}

class SurfaceProperties : public Fixture {
protected:
    double Dipole(const std::shared_ptr<HostModel::Document>& document)
    {
        double dipole = 99;
        EXPECT_EQ(calculator->CalculateDipoleMoment(ScopeOf(document).get(), &dipole), S_OK)
            << QzTest::LastErrorText();
        return dipole;
    }
    double Region1(const std::shared_ptr<HostModel::Document>& document)
    {
        double charge = 99;
        EXPECT_EQ(calculator->CalculateRegion1Charge(ScopeOf(document).get(), &charge), S_OK)
            << QzTest::LastErrorText();
        return charge;
    }
    void UseLibraryCharges(const std::string& library)
    {
        EngineState()->SetValueFromText("ChargeOption", "Library");
        EngineState()->SetValueFromText("library", library);
    }
};

TEST_F(SurfaceProperties, DipoleMomentFromCurrentOrLibraryCharges)
{
    ASSERT_TRUE(calculator);
    EXPECT_NEAR(Dipole(MakeSlab({{"Na", -2, 1}, {"Cl", 0, -1}})), -0.416388, 1e-12);
    EXPECT_EQ(Dipole(MakeSlab({{"Na", 0, 3}, {"Cl", 0, -1}, {"Cl", 0, -1}})), 0.0);

    // Library charges: a core-only species once, a core-shell one as core plus shell.
    const std::string text = "species\nNa core 0.8\nCl core 1.2\nCl shel -2.2\n\n";
    UseLibraryCharges(Folder().Write("project/charges.lib", text));
    EXPECT_NEAR(Dipole(MakeSlab({{"Na", -2, 5}, {"Cl", -1, 5}})), (-2 * 0.8 + -1 * -1.0) * 0.208194, 1e-12);

    UseLibraryCharges(Folder().File("project/missing.lib"));
    double dipole = 99;
    EXPECT_EQ(calculator->CalculateDipoleMoment(ScopeOf(MakeSlab({{"Na", -2, 1}})).get(), &dipole), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "Unable to read ZELM library file.");
    EXPECT_EQ(dipole, 0.0);

    // The project's state chose the library: one outside the project is
    // refused by name, not read.
    const std::string outside = Folder().Write("charges.lib", text);
    UseLibraryCharges(outside);
    EXPECT_EQ(calculator->CalculateDipoleMoment(ScopeOf(MakeSlab({{"Na", -2, 1}})).get(), &dipole), E_ACCESSDENIED);
    EXPECT_EQ(QzTest::LastErrorText(), outside + " is not in the current project");
}

TEST_F(SurfaceProperties, Region1ChargeAndProceedAnswersReadTheSets)
{
    ASSERT_TRUE(calculator);
    std::shared_ptr<HostModel::Document> slab = MakeSlab({{"Na", 0, 1.5}, {"Cl", 0, -1}, {"Na", -2, 0.25}});
    KelvComPtr<ISBScope> scope = ScopeOf(slab);
    VARIANT_BOOL surface = VARIANT_TRUE;
    VARIANT_BOOL attachment = VARIANT_TRUE;
    EXPECT_EQ(Region1(slab), 0.0);
    EXPECT_EQ(calculator->SurfaceEnergyCalculationCanProceed(scope.get(), &surface), S_OK);
    EXPECT_EQ(surface, VARIANT_FALSE);

    slab->CreateSet("SurfaceAtoms");
    EXPECT_EQ(Region1(slab), 0.0);
    slab->AddToSet("SurfaceAtoms", slab->Atoms()[0].handle);
    slab->AddToSet("SurfaceAtoms", slab->Atoms()[2].handle);
    slab->CreateSet("AttachmentLayer");
    slab->AddToSet("AttachmentLayer", slab->Atoms()[1].handle);
    EXPECT_DOUBLE_EQ(Region1(slab), 1.75); // the attachment layer is not counted

    // Neither answer asks "CalculateAttachmentEnergy" (off by default).
    EXPECT_EQ(calculator->SurfaceEnergyCalculationCanProceed(scope.get(), &surface), S_OK);
    EXPECT_EQ(calculator->AttachmentEnergyCalculationCanProceed(scope.get(), &attachment), S_OK);
    EXPECT_EQ(surface, VARIANT_TRUE);
    EXPECT_EQ(attachment, VARIANT_TRUE);
}

TEST_F(SurfaceProperties, DepthAndNullOutputs)
{
    ASSERT_TRUE(calculator);
    double relative = 7;
    double absolute = 9;
    KelvComPtr<ISBScope> described = ScopeOf(MakeSlab({{"Na", 0, 1}}, 4, 11.28));
    EXPECT_EQ(calculator->GetSurfaceDepth(described.get(), &relative, &absolute), S_OK);
    EXPECT_EQ(relative, 4);
    EXPECT_EQ(absolute, 11.28);
    relative = 7;
    absolute = 9;
    KelvComPtr<ISBScope> plain = ScopeOf(MakeSlab({{"Na", 0, 1}}, 4, 11.28, ""));
    EXPECT_EQ(calculator->GetSurfaceDepth(plain.get(), &relative, &absolute), S_OK);
    EXPECT_EQ(relative, 7); // no description: the caller's values stay
    EXPECT_EQ(absolute, 9);

    EXPECT_EQ(calculator->GetSurfaceDepth(plain.get(), nullptr, &absolute), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    EXPECT_EQ(calculator->GetSurfaceDepth(plain.get(), &relative, nullptr), E_POINTER);
    EXPECT_EQ(calculator->GetSurfaceDepth(nullptr, &relative, &absolute), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "Scope is null.\n");
    EXPECT_EQ(calculator->CalculateDipoleMoment(plain.get(), nullptr), E_POINTER);
    EXPECT_EQ(calculator->CalculateRegion1Charge(plain.get(), nullptr), E_POINTER);
    EXPECT_EQ(calculator->SurfaceEnergyCalculationCanProceed(plain.get(), nullptr), E_POINTER);
}

} // namespace
