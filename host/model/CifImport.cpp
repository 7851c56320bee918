#include "host/model/CifImport.h"

#include "com/regularfile.h"
#include "host/model/PeriodicBins.h"

#include <gemmi/cif.hpp>
#include <gemmi/smcif.hpp>

#include "qorqm/MessageText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace HostModel {

namespace {

constexpr double MinimumCellLength = 0.1;      // Angstrom
constexpr double MaximumCellLength = 1.0e6;    // Angstrom
// The deck gives occupancies to six decimals: a smaller one would be 0 there.
constexpr double MinimumOccupancy = 1.0e-6;
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

// A space-group number as the block gives it, read without leaving the range
// of the tables (a longer run of digits would overflow an int).
int SpaceGroupNumber(const std::string& text)
{
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    const std::string word = begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
    long long value = 0;
    const auto [rest, fault] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || fault != std::errc() || rest != word.data() + word.size() || value < 1 || value > 230)
        throw SymmetryError("Unknown space-group number '" + MessageText::Excerpt(text) + "'.");
    return static_cast<int>(value);
}

// The symmetry the block names, by its operators or by a group name or
// number.
Symmetry ReadGivenSymmetry(gemmi::cif::Block& block, const CellParameters& cell, const Mat3& cellVectors)
{
    for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
        gemmi::cif::Column column = block.find_values(tag);
        if (column && column.length() > 0) {
            std::vector<std::string> triplets;
            for (const std::string& v : column)
                triplets.push_back(gemmi::cif::as_string(v));
            Symmetry symmetry = Symmetry::FromOperators(triplets);
            // The operators as the block writes them are named.
            RequireOperatorsKeepCell(triplets, cellVectors);
            return symmetry;
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
        return Symmetry::FromNumber(SpaceGroupNumber(gemmi::cif::as_string(*number)));
    return Symmetry();
}

// The block's symmetry, refused when one of its operators does not keep the
// cell's lengths and angles: the images it makes would stand at wrong places.
Symmetry ReadSymmetry(gemmi::cif::Block& block, const CellParameters& cell)
{
    const Mat3 vectors = Lattice3D(cell).Vectors();
    const Symmetry symmetry = ReadGivenSymmetry(block, cell, vectors);
    RequireOperatorsKeepCell(symmetry.Triplets(), vectors);
    return symmetry;
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
    if (!angle && !(number >= MinimumCellLength))
        throw FileError(where + " must be a length of at least 0.1 Angstrom, not " + MessageText::Excerpt(text) + ".");
    if (!angle && !(number <= MaximumCellLength))
        throw FileError(where + " must be a length of at most 1000000 Angstrom, not " + MessageText::Excerpt(text) +
                        ".");
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

// The occupancy texts of the atom sites ('_atom_site_occupancy'), one per
// site in the order of the loop; empty when the loop has none.
std::vector<std::string> OccupancyTexts(gemmi::cif::Block& block)
{
    std::vector<std::string> texts;
    gemmi::cif::Table table = block.find("_atom_site_", {"label", "?occupancy"});
    if (!table.ok() || !table.has_column(1))
        return texts;
    for (auto row : table)
        texts.push_back(row.has2(1) ? gemmi::cif::as_string(row[1]) : std::string());
    return texts;
}

// The site's occupancy as the file gives it; 1 when not given ('?', '.'). A
// value a rounding above 1 is taken as 1. A text that is not a number, and a
// number the deck could not carry (outside [0.000001, 1]), are refused.
double SiteOccupancy(const gemmi::SmallStructure::Site& site, const std::string& text)
{
    if (text.empty())
        return 1.0;
    double occupancy = gemmi::cif::as_number(text);
    if (!std::isfinite(occupancy))
        throw FileError("The atom site '" + MessageText::Excerpt(site.label) + "' has the occupancy '" +
                        MessageText::Excerpt(text) + "' ('_atom_site_occupancy'), which is not a number.");
    if (occupancy > 1.0 && occupancy <= 1.001)
        occupancy = 1.0;
    if (!(occupancy > 0.0 && occupancy <= 1.0)) {
        std::ostringstream message;
        message << "The atom site '" << MessageText::Excerpt(site.label) << "' has the occupancy "
                << MessageText::Excerpt(text) << " ('_atom_site_occupancy'); an occupancy lies above 0 and not above 1.";
        throw FileError(message.str());
    }
    if (occupancy < MinimumOccupancy)
        throw FileError("The atom site '" + MessageText::Excerpt(site.label) + "' has the occupancy " +
                        MessageText::Excerpt(text) +
                        " ('_atom_site_occupancy'), below 0.000001: the deck gives occupancies to six decimals.");
    return occupancy;
}

std::shared_ptr<Document> FromCifDocument(gemmi::cif::Document& cif, CifImportReport* report)
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

        const std::vector<std::string> occupancies = OccupancyTexts(block);
        if (!occupancies.empty() && occupancies.size() != st.sites.size())
            throw FileError("The atom sites and their occupancies ('_atom_site_occupancy') do not match.");
        auto document = std::make_shared<Document>();
        document->SetName(block.name);
        document->SetCell(cell);
        for (std::size_t i = 0; i < st.sites.size(); ++i) {
            const gemmi::SmallStructure::Site& site = st.sites[i];
            const Vec3 f = SitePosition(site, lattice);
            if (site.element == gemmi::El::X)
                throw FileError("The atom site '" + MessageText::Excerpt(site.label) + "' names no known element.");
            Atom atom;
            atom.element = site.element.name();
            atom.position = f;
            atom.occupancy = SiteOccupancy(site, occupancies.empty() ? std::string() : occupancies[i]);
            atom.formalCharge = {site.charge, 1};
            atom.id = static_cast<std::int32_t>(document->Atoms().size() + 1);
            document->RestoreParent(atom);
        }
        document->SetSymmetry(ReadSymmetry(block, cell));
        if (report) {
            const std::size_t parents = static_cast<std::size_t>(
                std::count_if(document->Atoms().begin(), document->Atoms().end(),
                              [](const Atom& atom) { return atom.IsSymmetryParent(); }));
            report->sites = st.sites.size();
            report->mergedSites = st.sites.size() - std::min(parents, st.sites.size());
        }
        return document;
    }
    throw FileError("The CIF file holds no data block with a unit cell.");
}

std::shared_ptr<Document> FromCifText(const std::string& text, CifImportReport* report)
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
        return FromCifDocument(cif, report);
    } catch (const FileError&) {
        throw;
    } catch (const std::exception& e) {
        throw FileError(MessageText::Excerpt(e.what()));
    }
}

} // namespace

std::shared_ptr<Document> ImportCif(const std::string& path, CifImportReport* report)
{
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Document))
        throw FileError("The file " + (why == RegularFile::NotThere ? std::string("cannot be opened") : why) + ".");
    return FromCifText(text, report);
}

std::shared_ptr<Document> ImportCifText(const std::string& text, CifImportReport* report)
{
    return FromCifText(text, report);
}

namespace {

// The atoms of a cell binned by their wrapped fractional position, so that
// two atoms within the shared-position distance of each other (through any
// lattice translation) lie in the same or in neighbouring bins. The atoms are
// held sorted by bin, each bin a run of that list.
class PositionBins {
public:
    PositionBins(const Lattice3D& lattice, const std::vector<Atom>& atoms) : m_bins(lattice, SharedPositionDistance)
    {
        m_sorted.reserve(atoms.size());
        for (std::size_t i = 0; i < atoms.size(); ++i)
            m_sorted.emplace_back(m_bins.KeyOf(atoms[i].position), i);
        std::sort(m_sorted.begin(), m_sorted.end());
        m_runs.reserve(atoms.size());
        for (std::size_t i = 0; i < m_sorted.size(); ++i)
            if (i == 0 || m_sorted[i].first != m_sorted[i - 1].first)
                m_runs.emplace(m_sorted[i].first, i);
    }

    // Calls f(index) for the atoms in this position's bin and the bins around
    // it until f returns true; true when it did.
    template <class F> bool AnyNear(const Vec3& fractional, F&& f) const
    {
        return m_bins.AnyAround(fractional, [&](std::uint64_t key) {
            const auto run = m_runs.find(key);
            if (run == m_runs.end())
                return false;
            for (std::size_t i = run->second; i < m_sorted.size() && m_sorted[i].first == key; ++i)
                if (f(m_sorted[i].second))
                    return true;
            return false;
        });
    }

private:
    PeriodicBins m_bins;
    std::vector<std::pair<std::uint64_t, std::size_t>> m_sorted;
    std::unordered_map<std::uint64_t, std::size_t> m_runs;
};

} // namespace

std::size_t CountSharedSites(const Document& document)
{
    const Lattice3D* lattice = document.Lattice3();
    if (!lattice)
        return 0;
    const std::vector<Atom>& atoms = document.Atoms();
    const PositionBins bins(*lattice, atoms);
    std::size_t shared = 0;
    for (const Atom& site : atoms) {
        if (!site.IsSymmetryParent())
            continue;
        const bool near = bins.AnyNear(site.position, [&](std::size_t index) {
            const Atom& other = atoms[index];
            if (other.parent == site.handle)
                return false;
            Vec3 d{};
            for (std::size_t i = 0; i < 3; ++i)
                d[i] = site.position[i] - other.position[i] - std::round(site.position[i] - other.position[i]);
            const Vec3 c = lattice->ToCartesian(d);
            return std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) < SharedPositionDistance;
        });
        if (near)
            ++shared;
    }
    return shared;
}

} // namespace HostModel
