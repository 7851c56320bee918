#include "host/model/Symmetry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace HostModel;

TEST(Symmetry, NamedGroupsDescribeThemselves)
{
    struct Case {
        const char* name;
        int number;
        std::size_t order;
        char centring;
        int representation;
        const char* qualifier;
        bool nonStandard;
    };
    const Case cases[] = {
        {"P 1", 1, 1, 'P', RepresentationTriclinic, "", false},
        {"F m -3 m", 225, 192, 'F', RepresentationCubic, "", false},
        {"P 21/c", 14, 4, 'P', RepresentationMonoclinicB, "Unique axis b", false},
        {"P 1 1 21/a", 14, 4, 'P', RepresentationMonoclinicC, "Unique axis c", true},
        {"P 21/b 1 1", 14, 4, 'P', RepresentationMonoclinicA, "Unique axis a", true},
        {"P n m a", 62, 8, 'P', RepresentationOrthorhombic, "", false},
        {"P b n m", 62, 8, 'P', RepresentationOrthorhombic, "", false},
        {"P 42/m n m", 136, 16, 'P', RepresentationTetragonal, "", false},
        {"R -3 m:H", 166, 36, 'R', RepresentationTrigonal, "Hexagonal axes", false},
        {"R -3 m:R", 166, 12, 'P', RepresentationTrigonal, "Rhombohedral axes", true},
        {"F d -3 m:1", 227, 192, 'F', RepresentationCubic, "Origin 1", false},
        {"F d -3 m:2", 227, 192, 'F', RepresentationCubic, "Origin 2", false},
        {"P 63/m m c", 194, 24, 'P', RepresentationHexagonal, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Symmetry s = Symmetry::FromName(c.name);
        EXPECT_EQ(s.Number(), c.number);
        EXPECT_EQ(s.Order(), c.order);
        EXPECT_EQ(s.Centring(), c.centring);
        EXPECT_EQ(s.LatticeRepresentation(), c.representation);
        EXPECT_EQ(s.Qualifier(), c.qualifier);
        EXPECT_EQ(s.HasNonStandardSetting(), c.nonStandard);
        EXPECT_TRUE(s.IsTabulated());
        EXPECT_TRUE(s.Operators().front().IsIdentity());
    }
    EXPECT_EQ(Symmetry::FromName("P 21/c").LongName(), "P 1 21/c 1");
    EXPECT_EQ(Symmetry::FromNumber(62).LongName(), "P n m a");
    EXPECT_EQ(Symmetry::FromHall("-P 2ybc").Number(), 14);
}

TEST(Symmetry, GeneratorsCompleteToTheGroup)
{
    // Inversion and the 2-fold screw axis generate P 1 21/c 1.
    const Symmetry s = Symmetry::FromOperators({"x,y,z", "-x,-y,-z", "-x,y+1/2,-z+1/2"});
    EXPECT_EQ(s.Order(), 4u);
    EXPECT_EQ(s.Number(), 14);
    EXPECT_EQ(s.LongName(), "P 1 21/c 1");
    // A centring vector among the operators is recognised.
    const Symmetry c = Symmetry::FromOperators({"x,y,z", "x+1/2,y+1/2,z"});
    EXPECT_EQ(c.Centring(), 'C');
    EXPECT_EQ(c.Order(), 2u);
}

TEST(Symmetry, RejectsOperatorsThatFormNoGroup)
{
    const std::vector<std::vector<std::string>> bad = {
        {"x,y,z", "x,y"},               // malformed triplet
        {"x,y,z", "q,y,z"},             // unknown symbol
        {"-x,-y,-z"},                   // no identity
        {"x,y,z", "x+1/3,y,z"},         // translation that does not close
        {"x,y,z", "-y,x+x,z"},          // no rotation (its powers grow without end)
        {"x,y,z", "x,y,0"},             // singular
        {},                             // nothing at all
    };
    for (const auto& triplets : bad)
        EXPECT_THROW(Symmetry::FromOperators(triplets), SymmetryError);
    EXPECT_THROW(Symmetry::FromName("Q 9 9"), SymmetryError);
    EXPECT_THROW(Symmetry::FromNumber(231), SymmetryError);
}

// An operator or Hall symbol read from a file is quoted as a short escaped
// excerpt, however long it is and whatever it holds.
TEST(Symmetry, RefusalsQuoteTheFileAsAShortEscapedExcerpt)
{
    const std::string huge = "x,y,\x1b[2J" + std::string(1 << 20, 'z');
    const auto message = [](const auto& call) {
        try {
            call();
        } catch (const SymmetryError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    for (const std::string& text : {message([&] { Symmetry::FromOperators({"x,y,z", huge}); }),
                                    message([&] { Symmetry::FromHall(huge); })}) {
        EXPECT_LT(text.size(), 1000u) << text.substr(0, 300);
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
        EXPECT_NE(text.find("more characters)"), std::string::npos) << text.substr(0, 300);
    }
}

TEST(Symmetry, TripletsReadBackToTheSameOperators)
{
    const Symmetry s = Symmetry::FromName("R -3 c:H");
    const Symmetry again = Symmetry::FromOperators(s.Triplets());
    ASSERT_EQ(again.Order(), s.Order());
    EXPECT_EQ(again.Number(), 167);
    for (std::size_t i = 0; i < s.Order(); ++i) {
        const Vec3 p = {0.1, 0.2, 0.3};
        const Vec3 a = s.Operators()[i].Apply(p), b = again.Operators()[i].Apply(p);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(a[k], b[k], 1e-12) << s.Operators()[i].Triplet();
    }
    EXPECT_EQ(Symmetry().Triplets(), std::vector<std::string>{"x,y,z"});
}

TEST(Symmetry, FaceCentredGroupOnItsPrimitiveCell)
{
    Mat3 basis;
    const Symmetry p = Symmetry::FromName("F m -3 m").ToPrimitive(basis);
    EXPECT_EQ(p.Order(), 48u);
    EXPECT_EQ(p.Centring(), 'P');
    EXPECT_NEAR(Determinant(basis), 0.25, 1e-12);
    // No table entry for this setting: the group keeps its identity and the
    // engine must be given the operators.
    EXPECT_FALSE(p.IsTabulated());
    EXPECT_EQ(p.Number(), 225);
    EXPECT_EQ(p.LongName(), "F m -3 m");
    EXPECT_EQ(p.Qualifier(), "Primitive cell");
    EXPECT_TRUE(p.HasNonStandardSetting());
    // Every primitive operator maps integer lattice points onto integers.
    for (const SymmetryOperator& op : p.Operators())
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(op.rotation[i][j], std::round(op.rotation[i][j]), 1e-9);
}

TEST(Symmetry, RhombohedralGroupOnItsPrimitiveCellIsTabulated)
{
    Mat3 basis;
    const Symmetry p = Symmetry::FromName("R -3 m:H").ToPrimitive(basis);
    EXPECT_EQ(p.Order(), 12u);
    EXPECT_TRUE(p.IsTabulated());
    EXPECT_EQ(p.Qualifier(), "Rhombohedral axes");
    Mat3 identity;
    const Symmetry same = Symmetry::FromName("P n m a").ToPrimitive(identity);
    EXPECT_EQ(same.Order(), 8u);
    EXPECT_DOUBLE_EQ(Determinant(identity), 1.0);
}

// Operators that do not close are refused before the group arithmetic
// combines them: their products grow without bound.
TEST(Symmetry, OperatorsThatDoNotCloseAreRefusedBeforeTheyAreCombined)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        // Each a rotation of the lattice; their product is not.
        {{"x,y,z", "-x-y,-x,z", "y,x,z"}, "is not a rotation of the lattice"},
        {{"x,y,z", "y,x,z", "-x-y,-x,z"}, "is not a rotation of the lattice"},
        // Translations of 1/24 along two axes give 576 operations.
        {{"x,y,z", "x+1/24,y,z", "x,y+1/24,z"}, "within 192 operations"},
    };
    for (const auto& [triplets, reason] : cases) {
        try {
            Symmetry::FromOperators(triplets);
            ADD_FAILURE() << "accepted " << triplets[1];
        } catch (const SymmetryError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    // The largest groups still close: all 192 operations of F m -3 m.
    const Symmetry f = Symmetry::FromOperators(Symmetry::FromName("F m -3 m").Triplets());
    EXPECT_EQ(f.Order(), 192u);
    EXPECT_EQ(f.Number(), 225);
}
