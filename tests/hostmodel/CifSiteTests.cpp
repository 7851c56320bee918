// Cells too small or nearly flat and blocks without atom sites are refused by
// name; partly occupied sites keep their occupancy through the document.
#include "host/model/CifImport.h"
#include "host/model/QsdFile.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>

using namespace HostModel;

TEST(CifSites, DegenerateCellsAndEmptyBlocksAreRefusedByName)
{
    const std::string sites = "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                              "C1 0.1 0.2 0.3\n";
    const std::string angles = "_cell_angle_alpha 90\n_cell_angle_beta 90\n";
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {"data_x\n_cell_length_a 1e-300\n_cell_length_b 4\n_cell_length_c 4\n" + angles + "_cell_angle_gamma 90\n" + sites,
         "'_cell_length_a') must be a length of at least 0.1 Angstrom, not 1e-300"},
        {"data_x\n_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 0.09\n" + angles + "_cell_angle_gamma 90\n" + sites,
         "'_cell_length_c') must be a length of at least 0.1 Angstrom"},
        {"data_x\n_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n" + angles + "_cell_angle_gamma 179.9999999\n" +
             sites,
         "179.9999999 degrees) give a nearly flat cell"},
        {"data_x\n_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n" + angles + "_cell_angle_gamma 90\n",
         "The data block 'x' has a cell but no atom sites ('_atom_site_label', '_atom_site_fract_x')."},
        {"data_x\n_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n" + angles + "_cell_angle_gamma 90\n" +
             "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
             "_atom_site_occupancy\nC1 0.1 0.2 0.3 1.5\n",
         "The atom site 'C1' has the occupancy 1.5 ('_atom_site_occupancy')"},
    };
    for (const auto& c : cases) {
        try {
            ImportCifText(c.text);
            ADD_FAILURE() << "accepted:\n" << c.text;
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
}

TEST(CifSites, PartialOccupanciesAreKeptAndSharedSitesCounted)
{
    auto d = ImportCif(std::string(QZ_TEST_DATA) + "/hostmodel/mixed-site.cif");
    ASSERT_EQ(d->Atoms().size(), 12u);
    int half = 0;
    for (const Atom& atom : d->Atoms())
        half += atom.occupancy == 0.5;
    EXPECT_EQ(half, 8);
    EXPECT_EQ(CountSharedSites(*d), 2u);

    auto back = DocumentFromQsdText(QsdText(*d));
    ASSERT_EQ(back->Atoms().size(), 12u);
    for (std::size_t i = 0; i < d->Atoms().size(); ++i)
        EXPECT_EQ(back->Atoms()[i].occupancy, d->Atoms()[i].occupancy) << i;
}

namespace {

// A P 1 block of the cell and sites ("label element x y z" each).
std::string P1Block(const std::string& cell, const std::vector<std::string>& sites)
{
    std::string text = "data_x\n" + cell + "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n"
                       "_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
    for (const std::string& site : sites)
        text += site + "\n";
    return text;
}

// The count by its definition: every parent against every atom of another
// orbit, through the nearest lattice translation.
std::size_t SharedSitesByComparingAll(const Document& d)
{
    std::size_t shared = 0;
    for (const Atom& site : d.Atoms()) {
        if (!site.IsSymmetryParent())
            continue;
        for (const Atom& other : d.Atoms()) {
            if (other.parent == site.handle)
                continue;
            Vec3 f{};
            for (std::size_t i = 0; i < 3; ++i)
                f[i] = site.position[i] - other.position[i] - std::round(site.position[i] - other.position[i]);
            const Vec3 c = d.Lattice3()->ToCartesian(f);
            if (std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) < 0.01) {
                ++shared;
                break;
            }
        }
    }
    return shared;
}

} // namespace

// Sites of different elements at one place, across the cell's faces and
// corners and in oblique cells, are counted as comparing every pair counts
// them; sites just beyond the distance are not.
TEST(CifSites, SharedSitesAreCountedAsComparingEveryPairCounts)
{
    const std::string cubic = "_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
                              "_cell_angle_beta 90\n_cell_angle_gamma 90\n";
    const std::string oblique = "_cell_length_a 4\n_cell_length_b 6\n_cell_length_c 9\n_cell_angle_alpha 61\n"
                                "_cell_angle_beta 118\n_cell_angle_gamma 73\n";
    const std::string long_ = "_cell_length_a 3000\n_cell_length_b 2\n_cell_length_c 3\n_cell_angle_alpha 90\n"
                              "_cell_angle_beta 90\n_cell_angle_gamma 120\n";
    const struct {
        const char* name;
        std::string text;
        std::size_t shared;
    } cases[] = {
        {"across a face", P1Block(cubic, {"Na1 Na 0.0001 0.5 0.5", "K1 K 0.9995 0.5 0.5", "Cl1 Cl 0.3 0.3 0.3"}), 2},
        {"across a corner", P1Block(cubic, {"Na1 Na 0.9999 0.9999 0.9999", "K1 K 0.0005 0.0003 -0.0002"}), 2},
        {"beyond the distance", P1Block(cubic, {"Na1 Na 0.0 0.5 0.5", "K1 K 0.0021 0.5 0.5"}), 0},
        {"a cell away", P1Block(cubic, {"Na1 Na 2.0003 0.5 0.5", "K1 K -1.0 0.5 0.5"}), 2},
        {"oblique cell, across faces", P1Block(oblique, {"Na1 Na 0.9999 0.0002 0.9997", "K1 K 0.0001 0.9999 0.0001",
                                                          "Cl1 Cl 0.5 0.5 0.5"}),
         2},
        {"one long axis", P1Block(long_, {"Na1 Na 0.999999 0.5 0.5", "K1 K 0.000001 0.5 0.5", "Cl1 Cl 0.5 0.5 0.5"}), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto d = ImportCifText(c.text);
        EXPECT_EQ(SharedSitesByComparingAll(*d), c.shared);
        EXPECT_EQ(CountSharedSites(*d), c.shared);
    }

    // Crowded random sites of several elements in an oblique cell, many of
    // them near the faces.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-0.0008, 0.0008);
    std::uniform_int_distribution<int> place(0, 5);
    const char* elements[] = {"Na", "K", "Cl", "O"};
    std::vector<std::string> sites;
    for (int i = 0; i < 400; ++i) {
        std::ostringstream site;
        site << elements[i % 4] << i << " " << elements[i % 4];
        for (int axis = 0; axis < 3; ++axis)
            site << " " << place(random) / 6.0 + unit(random);
        sites.push_back(site.str());
    }
    const auto d = ImportCifText(P1Block(oblique, sites));
    const std::size_t expected = SharedSitesByComparingAll(*d);
    EXPECT_GT(expected, 0u);
    EXPECT_EQ(CountSharedSites(*d), expected);
}

// Sites of one element at one place merge, and the import says how many.
TEST(CifSites, MergedSitesAreReported)
{
    const std::string cell = "_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
                             "_cell_angle_beta 90\n_cell_angle_gamma 90\n";
    std::vector<std::string> sites;
    for (int i = 0; i < 500; ++i)
        sites.push_back("Na" + std::to_string(i) + " Na 0.25 0.25 0.25");
    sites.push_back("Cl1 Cl 0.25 0.25 0.25");
    CifImportReport report;
    const auto d = ImportCifText(P1Block(cell, sites), &report);
    EXPECT_EQ(d->Atoms().size(), 2u);
    EXPECT_EQ(report.sites, 501u);
    EXPECT_EQ(report.mergedSites, 499u);

    CifImportReport none;
    ImportCif(std::string(QZ_TEST_DATA) + "/hostmodel/mixed-site.cif", &none);
    EXPECT_EQ(none.sites, 3u);
    EXPECT_EQ(none.mergedSites, 0u);
}

// An occupancy that is no number, or one the deck's six decimals would give
// as 0, and an absurd cell length are refused, naming the value.
TEST(CifSites, OccupanciesAndCellLengthsTheDeckCannotCarryAreRefused)
{
    const std::string cell = "_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
                             "_cell_angle_beta 90\n_cell_angle_gamma 90\n";
    auto withOccupancy = [&](const std::string& occupancy, const std::string& lengths) {
        return "data_x\n" + lengths + "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n"
               "_atom_site_fract_z\n_atom_site_occupancy\nC1 0.1 0.2 0.3 " + occupancy + "\n";
    };
    const std::string longNumber = "1" + std::string(400, '0');
    const struct {
        std::string occupancy;
        std::string lengths;
        std::string reason;
    } refused[] = {
        {"0,5", cell, "has the occupancy '0,5' ('_atom_site_occupancy'), which is not a number"},
        {"O.5", cell, "has the occupancy 'O.5'"},
        {"0.5x", cell, "has the occupancy '0.5x'"},
        {"nan", cell, "has the occupancy 'nan'"},
        {longNumber, cell, "has the occupancy '1000000000"},
        {"1e-9", cell, "has the occupancy 1e-9 ('_atom_site_occupancy'), below 0.000001"},
        {"0.5", "_cell_length_a 1e200\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
                "_cell_angle_beta 90\n_cell_angle_gamma 90\n",
         "The cell length a ('_cell_length_a') must be a length of at most 1000000 Angstrom, not 1e200"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.occupancy);
        try {
            ImportCifText(withOccupancy(c.occupancy, c.lengths));
            ADD_FAILURE() << "accepted";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
            EXPECT_LT(std::string(error.what()).size(), 400u) << "the value is not cut short";
        }
    }
    for (const char* occupancy : {"0.5(2)", "'0.5'", "?", "0.000001"}) {
        SCOPED_TRACE(occupancy);
        const auto d = ImportCifText(withOccupancy(occupancy, cell));
        EXPECT_EQ(d->Atoms().front().occupancy,
                  std::string(occupancy) == "?" ? 1.0 : std::string(occupancy) == "0.000001" ? 1e-6 : 0.5);
    }
}

// Two sites of one element closer than the merging distance merge in an
// oblique cell whichever axis the step between them crosses fastest (the
// step along a row of the cell's inverse), at any place in the cell.
TEST(CifSites, NearSitesMergeInAnObliqueCellAlongEveryAxis)
{
    const std::string oblique = "_cell_length_a 4\n_cell_length_b 6\n_cell_length_c 9\n_cell_angle_alpha 61\n"
                                "_cell_angle_beta 118\n_cell_angle_gamma 73\n";
    const auto cell = ImportCifText(P1Block(oblique, {"Na1 Na 0.5 0.5 0.5"}));
    const Lattice3D& lattice = *cell->Lattice3();
    std::array<Vec3, 3> columns{};
    for (std::size_t j = 0; j < 3; ++j) {
        Vec3 unit{};
        unit[j] = 1.0;
        columns[j] = lattice.ToFractional(unit);
    }
    std::vector<std::string> sites;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> anywhere(0.0, 1.0);
    const int pairs = 40;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        // The Cartesian direction along which fractional coordinate `axis`
        // changes fastest, 0.0095 Angstrom long.
        Vec3 row{columns[0][axis], columns[1][axis], columns[2][axis]};
        const double length = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
        for (double& x : row)
            x *= 0.0095 / length;
        const Vec3 step = lattice.ToFractional(row);
        for (int k = 0; k < pairs; ++k) {
            Vec3 at{};
            for (std::size_t i = 0; i < 3; ++i)
                at[i] = (i == axis ? anywhere(random) : (k + 0.5) / pairs);
            for (const Vec3& p : {at, Vec3{at[0] + step[0], at[1] + step[1], at[2] + step[2]}}) {
                std::ostringstream site;
                site << std::setprecision(17) << "Na" << sites.size() << " Na " << p[0] << " " << p[1] << " " << p[2];
                sites.push_back(site.str());
            }
        }
    }
    CifImportReport report;
    const auto d = ImportCifText(P1Block(oblique, sites), &report);
    EXPECT_EQ(report.sites, 6u * pairs);
    EXPECT_EQ(report.mergedSites, 3u * pairs);
    EXPECT_EQ(d->Atoms().size(), 3u * pairs);
}

// A site on an image of an earlier site merges into it; the merged count
// goes by the sites kept, not by the atoms their symmetry makes.
TEST(CifSites, MergedSitesAreCountedWhereSymmetryMakesImages)
{
    const std::string text = "data_x\n_cell_length_a 5.6\n_cell_length_b 5.6\n_cell_length_c 5.6\n"
                             "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                             "_space_group_name_H-M_alt 'F m -3 m'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
                             "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
                             "Na1 Na 0 0 0\nNa2 Na 0.5 0.5 0\nCl1 Cl 0.5 0.5 0.5\n";
    CifImportReport report;
    const auto d = ImportCifText(text, &report);
    EXPECT_EQ(d->Atoms().size(), 8u);
    EXPECT_EQ(report.sites, 3u);
    EXPECT_EQ(report.mergedSites, 1u);
}
