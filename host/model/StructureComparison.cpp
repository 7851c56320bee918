#include "host/model/StructureComparison.h"

#include "host/model/QsdFile.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace HostModel {

namespace {

using json = nlohmann::json;

bool Near(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance; }

bool SameCell(const Document& before, const Document& after)
{
    if (before.GetPeriodicity() != after.GetPeriodicity())
        return false;
    if (const Lattice3D* first = before.Lattice3()) {
        const CellParameters& p = first->Parameters();
        const CellParameters& q = after.Lattice3()->Parameters();
        return Near(p.a, q.a, SameLengthTolerance) && Near(p.b, q.b, SameLengthTolerance) &&
               Near(p.c, q.c, SameLengthTolerance) && Near(p.alpha, q.alpha, SameAngleTolerance) &&
               Near(p.beta, q.beta, SameAngleTolerance) && Near(p.gamma, q.gamma, SameAngleTolerance);
    }
    if (const Lattice2D* first = before.Lattice2()) {
        const SurfaceCellParameters& p = first->Parameters();
        const SurfaceCellParameters& q = after.Lattice2()->Parameters();
        return Near(p.u, q.u, SameLengthTolerance) && Near(p.v, q.v, SameLengthTolerance) &&
               Near(p.theta, q.theta, SameAngleTolerance);
    }
    return true;
}

bool SamePlaces(const Document& before, const Document& after)
{
    const std::vector<Atom>& first = before.Atoms();
    const std::vector<Atom>& second = after.Atoms();
    if (first.size() != second.size())
        return false;
    for (std::size_t i = 0; i < first.size(); ++i) {
        const Vec3 p = before.Cartesian(first[i].handle);
        const Vec3 q = after.Cartesian(second[i].handle);
        for (int axis = 0; axis < 3; ++axis)
            if (!Near(p[axis], q[axis], SameLengthTolerance))
                return false;
    }
    return true;
}

// The document's structure as its file lays it out, without what names the
// document and without the cell and the positions, which are compared
// within their tolerances.
json StructureTree(const Document& document)
{
    Document structure;
    structure.SetId(std::string());
    structure.CopyModelFrom(document);
    json tree = json::parse(QsdText(structure));
    tree.erase("cell");
    tree.erase("surfaceCell");
    for (json& atom : tree["atoms"])
        atom.erase("position");
    return tree;
}

} // namespace

bool SameStructure(const Document& before, const Document& after)
{
    return SameCell(before, after) && SamePlaces(before, after) && StructureTree(before) == StructureTree(after);
}

} // namespace HostModel
