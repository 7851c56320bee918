#include "host/model/CifImport.h"

#include <gemmi/cif.hpp>
#include <gemmi/smcif.hpp>

#include "qorqm/MessageText.h"

#include <cmath>
#include <iomanip>
#include <fstream>
#include <sstream>
#include <string>

namespace HostModel {

namespace {

constexpr double MinimumCellLength = 0.1;      // Angstrom
constexpr double MinimumRelativeVolume = 1e-6; // of a * b * c
constexpr double SharedPositionDistance = 0.01; // Angstrom

const std::string* FirstValue(gemmi::cif::Block& block, std::initializer_list<const char*> tags)
{
    for (const char* tag : tags)
        if (const std::string* v = block.find_value(tag))
            if (!gemmi::cif::is_null(*v))
                return v;
    return nullptr;
}

Symmetry ReadSymmetry(gemmi::cif::Block& block, const CellParameters& cell)
{
    for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
        gemmi::cif::Column column = block.find_values(tag);
        if (column && column.length() > 0) {
            std::vector<std::string> triplets;
            for (const std::string& v : column)
                triplets.push_back(gemmi::cif::as_string(v));
            return Symmetry::FromOperators(triplets);
        }
    }
    if (const std::string* hall = FirstValue(block, {"_space_group_name_Hall", "_symmetry_space_group_name_Hall"}))
        return Symmetry::FromHall(gemmi::cif::as_string(*hall));
    if (const std::string* hm = FirstValue(block, {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M"})) {
        const std::string name = gemmi::cif::as_string(*hm);
        const gemmi::SpaceGroup* sg =
            gemmi::find_spacegroup_by_name(name, Degrees(cell.alpha), Degrees(cell.gamma));
        if (!sg)
            throw SymmetryError("Unknown space group '" + MessageText::Excerpt(name) + "'.");
        return Symmetry::FromOperators([&] {
            std::vector<std::string> t;
            for (gemmi::Op op : sg->operations())
                t.push_back(op.triplet());
            return t;
        }());
    }
    if (const std::string* number = FirstValue(block, {"_space_group_IT_number", "_symmetry_Int_Tables_number"}))
        return Symmetry::FromNumber(gemmi::cif::as_int(*number));
    return Symmetry();
}

// A cell length or angle as the block gives it.
double CellItem(gemmi::cif::Block& block, const char* tag, const std::string& item, bool angle)
{
    const std::string* value = block.find_value(tag);
    const std::string where = "The cell " + item + " ('" + tag + "')";
    if (!value || gemmi::cif::is_null(*value))
        throw FileError(where + " is missing.");
    const std::string text = gemmi::cif::as_string(*value);
    const double number = gemmi::cif::as_number(*value);
    if (std::isnan(number))
        throw FileError(where + " is not a number: '" + MessageText::Excerpt(text) + "'.");
    if (angle && !(number > 0.0 && number < 180.0))
        throw FileError(where + " must lie strictly between 0 and 180 degrees, not " + MessageText::Excerpt(text) + ".");
    if (!angle && !(number >= MinimumCellLength && std::isfinite(number)))
        throw FileError(where + " must be a length of at least 0.1 Angstrom, not " + MessageText::Excerpt(text) + ".");
    return number;
}

CellParameters ReadCell(gemmi::cif::Block& block)
{
    CellParameters cell;
    cell.a = CellItem(block, "_cell_length_a", "length a", false);
    cell.b = CellItem(block, "_cell_length_b", "length b", false);
    cell.c = CellItem(block, "_cell_length_c", "length c", false);
    const double alpha = CellItem(block, "_cell_angle_alpha", "angle alpha", true);
    const double beta = CellItem(block, "_cell_angle_beta", "angle beta", true);
    const double gamma = CellItem(block, "_cell_angle_gamma", "angle gamma", true);
    cell.alpha = Radians(alpha);
    cell.beta = Radians(beta);
    cell.gamma = Radians(gamma);
    if (!Lattice3D::IsValid(cell)) {
        std::ostringstream text;
        text << "The cell angles alpha " << alpha << ", beta " << beta << " and gamma " << gamma
             << " degrees close no cell.";
        throw FileError(text.str());
    }
    // The volume of the cell over the product of its lengths.
    const double ca = std::cos(cell.alpha), cb = std::cos(cell.beta), cg = std::cos(cell.gamma);
    const double flatness = 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg;
    if (!(flatness > 0.0) || std::sqrt(flatness) < MinimumRelativeVolume) {
        std::ostringstream text;
        text << "The cell angles alpha, beta and gamma ('_cell_angle_alpha', '_cell_angle_beta', "
                "'_cell_angle_gamma': "
             << std::setprecision(12) << alpha << ", " << beta << ", " << gamma
             << " degrees) give a nearly flat cell: its volume is below 1e-6 of the product of its lengths.";
        throw FileError(text.str());
    }
    return cell;
}

bool HasCell(gemmi::cif::Block& block)
{
    for (const char* tag : {"_cell_length_a", "_cell_length_b", "_cell_length_c", "_cell_angle_alpha",
                            "_cell_angle_beta", "_cell_angle_gamma"})
        if (block.find_value(tag))
            return true;
    return false;
}

// The site's position, refused when it is unknown or so far from the cell
// that its images could not be placed exactly.
Vec3 SitePosition(const gemmi::SmallStructure::Site& site, const Lattice3D& lattice)
{
    const Vec3 f = {site.fract.x, site.fract.y, site.fract.z};
    if (!std::isfinite(f[0]) || !std::isfinite(f[1]) || !std::isfinite(f[2]))
        throw FileError("The atom site '" + MessageText::Excerpt(site.label) + "' has no fractional coordinates.");
    const Vec3 cartesian = lattice.ToCartesian(f);
    bool usable = true;
    for (std::size_t i = 0; i < 3; ++i)
        usable = usable && std::fabs(f[i]) <= MaxFractionalCoordinate && std::isfinite(cartesian[i]);
    if (!usable) {
        std::ostringstream text;
        text << "The atom site '" << MessageText::Excerpt(site.label) << "' lies too far from the cell for its symmetry images to be placed"
             << " (fractional coordinates " << f[0] << " " << f[1] << " " << f[2] << ").";
        throw FileError(text.str());
    }
    return f;
}

// The site's occupancy ('_atom_site_occupancy'); 1 when not given. A value a
// rounding above 1 is taken as 1.
double SiteOccupancy(const gemmi::SmallStructure::Site& site)
{
    double occupancy = site.occ;
    if (!std::isfinite(occupancy))
        return 1.0;
    if (occupancy > 1.0 && occupancy <= 1.001)
        occupancy = 1.0;
    if (!(occupancy > 0.0 && occupancy <= 1.0)) {
        std::ostringstream text;
        text << "The atom site '" << MessageText::Excerpt(site.label) << "' has the occupancy " << occupancy
             << " ('_atom_site_occupancy'); an occupancy lies above 0 and not above 1.";
        throw FileError(text.str());
    }
    return occupancy;
}

std::shared_ptr<Document> FromCifDocument(gemmi::cif::Document& cif)
{
    for (gemmi::cif::Block& block : cif.blocks) {
        if (!HasCell(block))
            continue;
        const CellParameters cell = ReadCell(block);
        const Lattice3D lattice(cell);
        const gemmi::SmallStructure st = gemmi::make_small_structure_from_block(block);
        const gemmi::cif::Column x = block.find_values("_atom_site_fract_x");
        if (st.sites.empty() && x && x.length() > 0)
            throw FileError("The atom sites have no labels ('_atom_site_label').");
        if (st.sites.empty())
            throw FileError("The data block '" + MessageText::Excerpt(block.name) +
                            "' has a cell but no atom sites ('_atom_site_label', '_atom_site_fract_x').");

        auto document = std::make_shared<Document>();
        document->SetName(block.name);
        document->SetCell(cell);
        for (const gemmi::SmallStructure::Site& site : st.sites) {
            const Vec3 f = SitePosition(site, lattice);
            if (site.element == gemmi::El::X)
                throw FileError("The atom site '" + MessageText::Excerpt(site.label) + "' names no known element.");
            Atom atom;
            atom.element = site.element.name();
            atom.position = f;
            atom.occupancy = SiteOccupancy(site);
            atom.formalCharge = {site.charge, 1};
            atom.id = static_cast<std::int32_t>(document->Atoms().size() + 1);
            document->RestoreParent(atom);
        }
        document->SetSymmetry(ReadSymmetry(block, cell));
        return document;
    }
    throw FileError("The CIF file holds no data block with a unit cell.");
}

std::shared_ptr<Document> FromCifText(const std::string& text)
{
    gemmi::cif::Document cif;
    try {
        cif = gemmi::cif::read_memory(text.data(), text.size(), "cif");
    } catch (const tao::pegtl::parse_error& e) {
        std::string where;
        if (!e.positions().empty())
            where = "Line " + std::to_string(e.positions().front().line) + ", column " +
                    std::to_string(e.positions().front().column) + ": ";
        throw FileError(where + MessageText::Excerpt(std::string(e.message())) + ".");
    } catch (const std::exception& e) {
        throw FileError("The CIF text cannot be read: " + MessageText::Excerpt(e.what()));
    }
    try {
        return FromCifDocument(cif);
    } catch (const FileError&) {
        throw;
    } catch (const std::exception& e) {
        throw FileError(MessageText::Excerpt(e.what()));
    }
}

} // namespace

std::shared_ptr<Document> ImportCif(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw FileError("The file cannot be opened.");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw FileError("The file cannot be read.");
    return FromCifText(text.str());
}

std::shared_ptr<Document> ImportCifText(const std::string& text) { return FromCifText(text); }

std::size_t CountSharedSites(const Document& document)
{
    const Lattice3D* lattice = document.Lattice3();
    if (!lattice)
        return 0;
    const std::vector<Atom>& atoms = document.Atoms();
    std::size_t shared = 0;
    for (const Atom& site : atoms) {
        if (!site.IsSymmetryParent())
            continue;
        for (const Atom& other : atoms) {
            if (other.parent == site.handle)
                continue;
            Vec3 d{};
            for (std::size_t i = 0; i < 3; ++i)
                d[i] = site.position[i] - other.position[i] - std::round(site.position[i] - other.position[i]);
            const Vec3 c = lattice->ToCartesian(d);
            if (std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) < SharedPositionDistance) {
                ++shared;
                break;
            }
        }
    }
    return shared;
}

} // namespace HostModel
