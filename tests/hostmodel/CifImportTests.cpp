#include "host/model/CifImport.h"
#include "host/model/Scope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace HostModel;

namespace {

std::string Fixture(const char* name) { return std::string(QZ_TEST_DATA) + "/hostmodel/" + name; }

int CountElement(const Document& d, const std::string& element)
{
    int n = 0;
    for (const Atom& a : d.Atoms())
        n += a.element == element;
    return n;
}

} // namespace

TEST(CifImport, RockSaltHasItsCellGroupAndEightAtoms)
{
    auto d = ImportCif(Fixture("rocksalt.cif"));
    EXPECT_EQ(d->Name(), "NaCl");
    ASSERT_EQ(d->GetPeriodicity(), Periodicity::Bulk3D);
    const CellParameters& p = d->Lattice3()->Parameters();
    EXPECT_DOUBLE_EQ(p.a, 5.6402);
    EXPECT_DOUBLE_EQ(p.c, 5.6402);
    EXPECT_NEAR(Degrees(p.beta), 90.0, 1e-12);
    EXPECT_EQ(d->GetSymmetry().Number(), 225);
    EXPECT_EQ(d->GetSymmetry().LongName(), "F m -3 m");
    ASSERT_EQ(d->Atoms().size(), 8u);
    EXPECT_EQ(CountElement(*d, "Na"), 4);
    EXPECT_EQ(CountElement(*d, "Cl"), 4);
    EXPECT_EQ(d->Atoms()[0].formalCharge, (Fraction{1, 1}));
    EXPECT_EQ(d->Atoms()[4].formalCharge, (Fraction{-1, 1}));
    EXPECT_EQ(ProcessScope(ProcessScope(Scope::Contents(d), ProcessorSymmetryParent), ProcessorAtom).Count(), 2u);
}

TEST(CifImport, RutileFromItsOperatorList)
{
    auto d = ImportCif(Fixture("rutile.cif"));
    const CellParameters& p = d->Lattice3()->Parameters();
    EXPECT_DOUBLE_EQ(p.a, 4.5937); // the uncertainty in brackets is dropped
    EXPECT_DOUBLE_EQ(p.c, 2.9587);
    EXPECT_EQ(d->GetSymmetry().Number(), 136);
    EXPECT_EQ(d->GetSymmetry().LatticeRepresentation(), RepresentationTetragonal);
    EXPECT_FALSE(d->GetSymmetry().HasNonStandardSetting());
    ASSERT_EQ(d->Atoms().size(), 6u);
    EXPECT_EQ(CountElement(*d, "Ti"), 2);
    EXPECT_EQ(CountElement(*d, "O"), 4);
    EXPECT_EQ(d->Multiplicity(d->Atoms()[0].handle), 2);
    EXPECT_EQ(d->Multiplicity(d->Atoms()[2].handle), 4);
    // The Ti-O distance of the octahedron's equatorial bond: x * a * sqrt(2).
    const Vec3 ti = d->Cartesian(d->Atoms()[0].handle);
    const Vec3 o = d->Cartesian(d->Atoms()[2].handle);
    EXPECT_NEAR(Length(o - ti), 0.3048 * 4.5937 * std::sqrt(2.0), 1e-9);
}

TEST(CifImport, CorundumOnHexagonalAxesAndItsPrimitiveCell)
{
    const std::string text = R"(data_corundum
_cell_length_a 4.7602
_cell_length_b 4.7602
_cell_length_c 12.9933
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 120
_symmetry_space_group_name_H-M 'R -3 c'
loop_
_atom_site_label
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
Al1 0.0 0.0 0.35216
O1 0.30624 0.0 0.25
)";
    auto d = ImportCifText(text);
    EXPECT_EQ(d->GetSymmetry().Number(), 167);
    EXPECT_EQ(d->GetSymmetry().Qualifier(), "Hexagonal axes");
    EXPECT_EQ(d->Atoms().size(), 30u);
    EXPECT_EQ(CountElement(*d, "Al"), 12);
    ASSERT_TRUE(d->ConvertToPrimitive());
    EXPECT_EQ(d->Atoms().size(), 10u);
    EXPECT_EQ(d->GetSymmetry().Qualifier(), "Rhombohedral axes");
}

TEST(CifImport, MissingGroupMeansP1AndNumberAlone)
{
    const std::string base = R"(data_x
_cell_length_a 4
_cell_length_b 5
_cell_length_c 6
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
)";
    const std::string sites = "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                              "C1 0.1 0.2 0.3\n";
    EXPECT_EQ(ImportCifText(base + sites)->Atoms().size(), 1u);
    auto byNumber = ImportCifText(base + "_symmetry_Int_Tables_number 62\n" + sites);
    EXPECT_EQ(byNumber->GetSymmetry().LongName(), "P n m a");
    EXPECT_EQ(byNumber->Atoms().size(), 8u);
}

TEST(CifImport, UnusableFilesAreRefusedWithAReason)
{
    const std::string cell = "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n"
                             "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n";
    const std::string loopHead = "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
    const std::string cases[] = {
        "",                                                        // nothing
        "data_x\n_chemical_name_common 'no cell'\n",               // no cell
        "data_x\n" + cell + loopHead + "C1 0.1 ? 0.3\n",           // unknown coordinate
        "data_x\n" + cell + loopHead + "Qq1 0.1 0.2 0.3\n",        // unknown element
        "data_x\n" + cell + "_symmetry_space_group_name_H-M 'Z 9'\n" + loopHead + "C1 0 0 0\n",
        "data_x\n" + cell + loopHead + "C1 0.1 0.2",               // truncated row
        "data_x\n_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n_cell_angle_alpha 10\n"
        "_cell_angle_beta 10\n_cell_angle_gamma 170\n",            // impossible cell
        "data_x\n" + cell + "loop_\n_symmetry_equiv_pos_as_xyz\n'x,y,z'\n'x+1/3,y,z'\n",
        // Space-group numbers outside the tables, the first beyond an int.
        "data_x\n" + cell + "_symmetry_Int_Tables_number 99999999999\n" + loopHead + "C1 0 0 0\n",
        "data_x\n" + cell + "_space_group_IT_number -2147483649\n" + loopHead + "C1 0 0 0\n",
        "data_x\n" + cell + "_space_group_IT_number 0\n" + loopHead + "C1 0 0 0\n",
        "data_x\n" + cell + "_space_group_IT_number 231\n" + loopHead + "C1 0 0 0\n",
        "data_x\n" + cell + "_space_group_IT_number 62x\n" + loopHead + "C1 0 0 0\n",
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        EXPECT_THROW(ImportCifText(text), FileError);
    }
    EXPECT_THROW(ImportCif(Fixture("no-such-file.cif")), FileError);
}

TEST(CifImport, IncompleteOrImpossibleCellsAndFarSitesAreRefusedByName)
{
    // Each case once led to a document: a 1 Angstrom cube for a lost cell,
    // extra images and infinite positions for a far site.
    const std::string lengths = "_cell_length_a 4\n_cell_length_b 5\n_cell_length_c 6\n";
    const std::string angles = "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n";
    const std::string sites = "_symmetry_space_group_name_H-M 'F m -3 m'\nloop_\n_atom_site_label\n"
                              "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\nC9 0.1 0.2 0.3\n";
    auto without = [](std::string text, const std::string& line) { return text.erase(text.find(line), line.size()); };
    auto replaced = [](std::string text, const std::string& line, const std::string& by) {
        return text.replace(text.find(line), line.size(), by);
    };
    const struct {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"no angles", "data_x\n" + lengths + sites, "cell angle alpha ('_cell_angle_alpha') is missing"},
        {"no b", "data_x\n" + without(lengths, "_cell_length_b 5\n") + angles + sites,
         "cell length b ('_cell_length_b') is missing"},
        {"b unknown", "data_x\n" + replaced(lengths, "b 5", "b ?") + angles + sites, "'_cell_length_b') is missing"},
        {"b no number", "data_x\n" + replaced(lengths, "b 5", "b five") + angles + sites,
         "'_cell_length_b') is not a number: 'five'"},
        {"a negative", "data_x\n" + replaced(lengths, "a 4", "a -4") + angles + sites,
         "'_cell_length_a') must be a length of at least 0.1 Angstrom, not -4"},
        {"gamma 0", "data_x\n" + lengths + replaced(angles, "gamma 90", "gamma 0") + sites,
         "cell angle gamma ('_cell_angle_gamma') must lie strictly between 0 and 180 degrees, not 0"},
        {"beta 180", "data_x\n" + lengths + replaced(angles, "beta 90", "beta 180") + sites,
         "'_cell_angle_beta') must lie strictly"},
        {"flat cell",
         "data_x\n" + lengths + "_cell_angle_alpha 10\n_cell_angle_beta 10\n_cell_angle_gamma 170\n" + sites,
         "alpha 10, beta 10 and gamma 170 degrees close no cell"},
        {"huge coordinate", "data_x\n" + lengths + angles + replaced(sites, "C9 0.1", "C9 1e308"),
         "atom site 'C9' lies too far from the cell"},
        {"far coordinate", "data_x\n" + lengths + angles + replaced(sites, "0.3\n", "-2e6\n"),
         "atom site 'C9' lies too far from the cell"},
        {"sites without labels",
         "data_x\n" + lengths + angles + replaced(sites, "_atom_site_label\n", "_atom_site_name\n"),
         "The atom sites have no labels ('_atom_site_label')"},
        {"broken syntax", "data_x\n" + lengths + angles + sites + "D1 0.1 0.2\n",
         "Line 9, column 1: Wrong number of values in the loop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            ImportCifText(c.text);
            ADD_FAILURE() << "imported";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    // A site some cells away is taken where its wrapped copy is (in a cube,
    // which the group's operators keep).
    const std::string cube = "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n";
    auto far = ImportCifText("data_x\n" + cube + angles + replaced(sites, "C9 0.1 0.2 0.3", "C9 1000 -3 2"));
    EXPECT_EQ(far->Atoms().size(), 4u);
}

TEST(CifImport, OperatorsThatDoNotKeepTheCellAreRefusedByName)
{
    // An operator of whole numbers with determinant +-1 closes into a group
    // and still puts images at wrong places when it does not keep the
    // cell's lengths and angles.
    const char* const sixfold[] = {"x,y,z", "-y,x-y,z", "-x+y,-x,z", "-x,-y,z", "y,-x+y,z", "x-y,x,z"};
    const struct {
        const char* name;
        const char* cell;  // a b c alpha beta gamma
        std::vector<std::string> operators;  // or a group name
        const char* refused;  // the operator named, or null: imported
    } rows[] = {
        {"cube, no rotation of a cube", "5.6402 5.6402 5.6402 90 90 90", {"x,y,z", "-x-y-z,x,y"}, "'-x-y-z,x,y'"},
        {"cube, threefold and inversion", "5.6402 5.6402 5.6402 90 90 90", {"x,y,z", "z,x,y", "-x,-y,-z"}, nullptr},
        {"cube printed a little off", "5.6402 5.6403 5.6402 90 90 90.01", {"x,y,z", "z,x,y", "y,x,z"}, nullptr},
        {"square prism, threefold", "4 4 6 90 90 90", {"x,y,z", "z,x,y"}, "'z,x,y'"},
        {"hexagonal, sixfold", "4.9134 4.9134 5.4052 90 90 120", {sixfold, sixfold + 6}, nullptr},
        {"hexagonal, mirror", "4.9134 4.9134 5.4052 90 90 120", {"x,y,z", "y,x,z"}, nullptr},
        {"hexagonal, fourfold", "4.9134 4.9134 5.4052 90 90 120", {"x,y,z", "-y,x,z"}, "'-y,x,z'"},
        {"square, sixfold", "4.9134 4.9134 5.4052 90 90 90", {sixfold, sixfold + 6}, "'-y,x-y,z'"},
        {"monoclinic, twofold along b", "5 6 7 90 100 90", {"x,y,z", "-x,y,-z", "-x,-y,-z"}, nullptr},
        {"monoclinic, twofold along c", "5 6 7 90 100 90", {"x,y,z", "-x,-y,z"}, "'-x,-y,z'"},
        {"monoclinic, a and c swapped", "5 6 5 90 100 90", {"x,y,z", "z,y,x"}, nullptr},
        {"monoclinic, a and b swapped", "5 6 7 90 100 90", {"x,y,z", "y,x,z"}, "'y,x,z'"},
        {"cubic group by name in a square prism", "4 4 6 90 90 90", {"F m -3 m"}, "does not keep"},
        {"hexagonal group by name in its cell", "4.9134 4.9134 5.4052 90 90 120", {"P 6/m m m"}, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::istringstream cell(row.cell);
        std::string text = "data_x\n";
        for (const char* item : {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"}) {
            std::string value;
            cell >> value;
            text += std::string("_cell_") + item + " " + value + "\n";
        }
        if (row.operators.size() == 1) {
            text += "_symmetry_space_group_name_H-M '" + row.operators[0] + "'\n";
        } else {
            text += "loop_\n_space_group_symop_operation_xyz\n";
            for (const std::string& op : row.operators)
                text += "'" + op + "'\n";
        }
        text += "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                "Na1 0.1 0.2 0.3\n";
        if (!row.refused) {
            EXPECT_NO_THROW(ImportCifText(text));
            continue;
        }
        try {
            ImportCifText(text);
            ADD_FAILURE() << "imported";
        } catch (const FileError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(row.refused), std::string::npos) << message;
            EXPECT_NE(message.find("does not keep the lengths and angles of the cell"), std::string::npos) << message;
        }
    }
}

TEST(CifImport, EveryAtomGetsItsOwnId)
{
    // Parents are placed before their images are made: an image must never
    // take the ID of a parent placed after it.
    for (const char* file : {"rocksalt.cif", "rutile.cif"}) {
        auto d = ImportCif(Fixture(file));
        std::set<std::int32_t> ids;
        for (const Atom& a : d->Atoms()) {
            EXPECT_GT(a.id, 0) << file;
            EXPECT_TRUE(ids.insert(a.id).second) << file << ": ID " << a.id << " is used twice";
        }
    }
}
