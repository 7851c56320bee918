#include "host/model/CifImport.h"

#include <gemmi/cif.hpp>
#include <gemmi/smcif.hpp>

#include <cmath>

namespace HostModel {

namespace {

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
            throw SymmetryError("Unknown space group '" + name + "'.");
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

std::shared_ptr<Document> FromCifDocument(gemmi::cif::Document& cif)
{
    for (gemmi::cif::Block& block : cif.blocks) {
        if (!block.find_value("_cell_length_a"))
            continue;
        const gemmi::SmallStructure st = gemmi::make_small_structure_from_block(block);
        CellParameters cell;
        cell.a = st.cell.a;
        cell.b = st.cell.b;
        cell.c = st.cell.c;
        cell.alpha = Radians(st.cell.alpha);
        cell.beta = Radians(st.cell.beta);
        cell.gamma = Radians(st.cell.gamma);

        auto document = std::make_shared<Document>();
        document->SetName(block.name);
        document->SetCell(cell);
        for (const gemmi::SmallStructure::Site& site : st.sites) {
            const Vec3 f = {site.fract.x, site.fract.y, site.fract.z};
            if (!std::isfinite(f[0]) || !std::isfinite(f[1]) || !std::isfinite(f[2]))
                throw FileError("The atom site '" + site.label + "' has no fractional coordinates.");
            if (site.element == gemmi::El::X)
                throw FileError("The atom site '" + site.label + "' names no known element.");
            Atom atom;
            atom.element = site.element.name();
            atom.position = f;
            atom.formalCharge = {site.charge, 1};
            atom.id = static_cast<std::int32_t>(document->Atoms().size() + 1);
            document->RestoreParent(atom);
        }
        document->SetSymmetry(ReadSymmetry(block, cell));
        return document;
    }
    throw FileError("The CIF file holds no data block with a unit cell.");
}

template <class Read> std::shared_ptr<Document> Import(Read&& read, const std::string& where)
{
    try {
        gemmi::cif::Document cif = read();
        return FromCifDocument(cif);
    } catch (const FileError& e) {
        throw FileError(where + e.what());
    } catch (const std::exception& e) {
        throw FileError(where + "The CIF file cannot be read: " + e.what());
    }
}

} // namespace

std::shared_ptr<Document> ImportCif(const std::string& path)
{
    auto document = Import([&] { return gemmi::cif::read_file(path); }, "'" + path + "': ");
    return document;
}

std::shared_ptr<Document> ImportCifText(const std::string& text)
{
    return Import([&] { return gemmi::cif::read_string(text); }, "");
}

} // namespace HostModel
