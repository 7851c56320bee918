// Cells too small or nearly flat and blocks without atom sites are refused by
// name; partly occupied sites keep their occupancy through the document.
#include "host/model/CifImport.h"
#include "host/model/QsdFile.h"

#include <gtest/gtest.h>

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
