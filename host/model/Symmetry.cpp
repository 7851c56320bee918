#include "host/model/Symmetry.h"

#include "qorqm/MessageText.h"

#include <gemmi/symmetry.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <sstream>

namespace HostModel {

namespace {

constexpr int Den = gemmi::Op::DEN;

SymmetryOperator FromGemmi(const gemmi::Op& op)
{
    SymmetryOperator r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            r.rotation[i][j] = static_cast<double>(op.rot[i][j]) / Den;
        r.translation[i] = static_cast<double>(op.tran[i]) / Den;
    }
    return r;
}

// Rounds a double operator to the 1/24 grid of the tables; false when a
// rotation element is not an integer or a translation is off the grid.
bool ToGemmi(const SymmetryOperator& op, gemmi::Op& out)
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double v = op.rotation[i][j];
            const double r = std::round(v);
            if (std::fabs(v - r) > 1e-6)
                return false;
            out.rot[i][j] = static_cast<int>(r) * Den;
        }
        const double t = op.translation[i] * Den;
        const double rt = std::round(t);
        if (std::fabs(t - rt) > 1e-4)
            return false;
        out.tran[i] = static_cast<int>(rt);
    }
    out.wrap();
    return true;
}

gemmi::GroupOps GroupFromOperators(const std::vector<SymmetryOperator>& operators)
{
    std::vector<gemmi::Op> ops;
    ops.reserve(operators.size());
    for (const SymmetryOperator& o : operators) {
        gemmi::Op g;
        if (!ToGemmi(o, g))
            throw SymmetryError("A symmetry operator is not crystallographic: " + o.Triplet());
        ops.push_back(g);
    }
    return gemmi::split_centering_vectors(ops);
}

// Operators of a group, identity first, in the tables' order.
std::vector<SymmetryOperator> OperatorsOf(const gemmi::GroupOps& group)
{
    std::vector<SymmetryOperator> r;
    r.reserve(static_cast<std::size_t>(group.order()));
    for (gemmi::Op op : group)
        r.push_back(FromGemmi(op));
    auto identity = std::find_if(r.begin(), r.end(), [](const SymmetryOperator& o) { return o.IsIdentity(); });
    if (identity != r.end() && identity != r.begin())
        std::rotate(r.begin(), identity, identity + 1);
    return r;
}

CrystalSystem SystemOf(gemmi::CrystalSystem system)
{
    switch (system) {
    case gemmi::CrystalSystem::Triclinic: return CrystalSystem::Triclinic;
    case gemmi::CrystalSystem::Monoclinic: return CrystalSystem::Monoclinic;
    case gemmi::CrystalSystem::Orthorhombic: return CrystalSystem::Orthorhombic;
    case gemmi::CrystalSystem::Tetragonal: return CrystalSystem::Tetragonal;
    case gemmi::CrystalSystem::Trigonal: return CrystalSystem::Trigonal;
    case gemmi::CrystalSystem::Hexagonal: return CrystalSystem::Hexagonal;
    case gemmi::CrystalSystem::Cubic: return CrystalSystem::Cubic;
    }
    return CrystalSystem::Triclinic;
}

int RepresentationOf(CrystalSystem system, char uniqueAxis)
{
    switch (system) {
    case CrystalSystem::Triclinic: return RepresentationTriclinic;
    case CrystalSystem::Monoclinic:
        return uniqueAxis == 'a' ? RepresentationMonoclinicA
               : uniqueAxis == 'c' ? RepresentationMonoclinicC
                                   : RepresentationMonoclinicB;
    case CrystalSystem::Orthorhombic: return RepresentationOrthorhombic;
    case CrystalSystem::Tetragonal: return RepresentationTetragonal;
    case CrystalSystem::Trigonal: return RepresentationTrigonal;
    case CrystalSystem::Hexagonal: return RepresentationHexagonal;
    case CrystalSystem::Cubic: return RepresentationCubic;
    }
    return RepresentationTriclinic;
}

std::string FormatFraction(double value)
{
    // Translations of crystallographic operators are multiples of 1/24.
    const int n = static_cast<int>(std::lround(value * Den));
    if (n == 0)
        return "";
    int num = std::abs(n), den = Den;
    const int g = std::gcd(num, den);
    num /= g;
    den /= g;
    std::string text = n < 0 ? "-" : "+";
    text += std::to_string(num);
    if (den != 1)
        text += "/" + std::to_string(den);
    return text;
}

gemmi::Op ParseTriplet(const std::string& triplet)
{
    try {
        return gemmi::parse_triplet(triplet);
    } catch (const std::exception& e) {
        throw SymmetryError("Malformed symmetry operator '" + MessageText::Excerpt(triplet) + "': " +
                            MessageText::Excerpt(e.what()));
    }
}

// How far R^T G R may stray from G, relative to the lengths the entry
// couples (sqrt(G_ii G_jj)): a cell printed to three decimals of an Angstrom
// or a tenth of a degree off its system still passes; an operator that does
// not belong to the lattice changes an entry by a whole cell length.
constexpr double MetricTolerance = 1e-3;

// The most operations a space group has: 48 point operations, each with the
// four translations of a face-centred lattice.
constexpr std::size_t MaxOperations = 192;

// A rotation with entries -1, 0, 1 and determinant +-1.
bool IsLatticeRotation(const gemmi::Op& op)
{
    for (const auto& row : op.rot)
        for (int entry : row)
            if (entry != 0 && entry != Den && entry != -Den)
                return false;
    const int cube = Den * Den * Den;
    return op.det_rot() == cube || op.det_rot() == -cube;
}

// The operators with every product of two of them, translations wrapped into
// the cell. Operators that do not close into a group within the largest space
// group are refused here, before the group arithmetic combines them: there,
// the entries of repeated products of such operators grow without bound.
// (The group itself is still made from the operators as given.)
std::vector<gemmi::Op> CloseUnderProducts(const std::vector<gemmi::Op>& given)
{
    std::vector<gemmi::Op> list;
    std::set<gemmi::Op> seen;
    auto add = [&](const gemmi::Op& op) {
        if (seen.insert(op).second) {
            list.push_back(op);
            if (list.size() > MaxOperations)
                throw SymmetryError("The symmetry operators do not close into a space group within " +
                                    std::to_string(MaxOperations) + " operations.");
        }
    };
    for (const gemmi::Op& op : given)
        add(op);
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (std::size_t j = 0; j <= i; ++j) {
            for (const auto& [a, b] : {std::make_pair(list[i], list[j]), std::make_pair(list[j], list[i])}) {
                const gemmi::Op product = (a * b).wrap();
                if (!IsLatticeRotation(product))
                    throw SymmetryError("The symmetry operators do not close into a space group: the product of '" +
                                        a.triplet() + "' and '" + b.triplet() + "' is not a rotation of the lattice.");
                add(product);
            }
        }
    }
    return list;
}

// True when every product of two operators is again an operator.
bool IsClosed(const gemmi::GroupOps& group)
{
    std::set<gemmi::Op> all;
    std::vector<gemmi::Op> list;
    for (gemmi::Op op : group) {
        all.insert(op);
        list.push_back(op);
    }
    if (all.size() != list.size())
        return false;
    for (const gemmi::Op& a : list)
        for (const gemmi::Op& b : list)
            if (!all.count((a * b).wrap()))
                return false;
    return true;
}

Symmetry Build(const gemmi::GroupOps& group)
{
    return Symmetry::Restore([&] {
        std::vector<std::string> t;
        for (gemmi::Op op : group)
            t.push_back(op.triplet());
        return t;
    }(), -1, "", "", -1);
}

} // namespace

bool SymmetryOperator::IsIdentity(double tolerance) const
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            if (std::fabs(rotation[i][j] - (i == j ? 1.0 : 0.0)) > tolerance)
                return false;
        double t = translation[i] - std::round(translation[i]);
        if (std::fabs(t) > tolerance)
            return false;
    }
    return true;
}

std::string SymmetryOperator::Triplet() const
{
    static const char axes[3] = {'x', 'y', 'z'};
    std::string text;
    for (int i = 0; i < 3; ++i) {
        std::string row;
        for (int j = 0; j < 3; ++j) {
            const double v = rotation[i][j];
            if (std::fabs(v) < 1e-9)
                continue;
            if (v < 0)
                row += "-";
            else if (!row.empty())
                row += "+";
            if (std::fabs(std::fabs(v) - 1.0) > 1e-9) {
                std::ostringstream s;
                s << std::fabs(v) << "*";
                row += s.str();
            }
            row += axes[j];
        }
        std::string t = FormatFraction(translation[i]);
        if (row.empty()) {
            row = t.empty() ? "0" : (t[0] == '+' ? t.substr(1) : t);
        } else {
            row += t;
        }
        if (i)
            text += ",";
        text += row;
    }
    return text;
}

Symmetry::Symmetry()
{
    m_operators.push_back(FromGemmi(gemmi::Op::identity()));
}

Symmetry Symmetry::Restore(const std::vector<std::string>& triplets, int number, const std::string& longName,
                           const std::string& qualifier, int representation)
{
    if (triplets.empty())
        throw SymmetryError("A symmetry needs at least the identity operator.");
    std::vector<gemmi::Op> ops;
    ops.reserve(triplets.size());
    for (const std::string& t : triplets) {
        ops.push_back(ParseTriplet(t).wrap());
        // A crystallographic rotation has entries -1, 0, 1 and determinant
        // +-1; anything else (as "x+x") cannot close into a group, and
        // combining such operators overflows.
        if (!IsLatticeRotation(ops.back()))
            throw SymmetryError("The symmetry operator '" + MessageText::Excerpt(t) + "' is not a rotation of the lattice.");
    }
    CloseUnderProducts(ops);
    gemmi::GroupOps group;
    try {
        group = gemmi::split_centering_vectors(ops);
        const gemmi::Op::Tran zero = {0, 0, 0};
        if (std::find(group.cen_ops.begin(), group.cen_ops.end(), zero) == group.cen_ops.end())
            throw SymmetryError("The symmetry operators contain no identity.");
        // Identity translation first, as the group iteration expects.
        std::stable_partition(group.cen_ops.begin(), group.cen_ops.end(),
                              [&](const gemmi::Op::Tran& t) { return t == zero; });
        group.cen_ops.erase(std::unique(group.cen_ops.begin(), group.cen_ops.end()), group.cen_ops.end());
        group.add_missing_elements();
    } catch (const SymmetryError&) {
        throw;
    } catch (const std::exception& e) {
        throw SymmetryError("The symmetry operators do not form a space group: " + MessageText::Excerpt(e.what()));
    }
    if (group.order() > 192 || !IsClosed(group))
        throw SymmetryError("The symmetry operators do not form a space group.");

    Symmetry s;
    s.m_operators = OperatorsOf(group);
    s.Describe();
    // A stored identity wins over the lookup for groups without a table
    // entry (for instance a centred group moved to its primitive cell).
    if (!s.m_tabulated) {
        if (number >= 0)
            s.m_number = number;
        s.m_longName = longName;
        s.m_qualifier = qualifier;
        if (representation >= 0)
            s.m_representation = representation;
    } else if (representation >= 0) {
        s.m_representation = representation;
    }
    return s;
}

void Symmetry::Describe()
{
    const gemmi::GroupOps group = GroupFromOperators(m_operators);
    const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_ops(group);
    if (!sg) {
        m_tabulated = false;
        m_referenceSetting = false;
        m_number = 0;
        m_longName.clear();
        m_qualifier.clear();
        m_hall.clear();
        const char c = group.find_centering();
        m_centring = (c == 'A' || c == 'B' || c == 'C' || c == 'I' || c == 'F' || c == 'R') ? c : 'P';
        m_system = CrystalSystem::Triclinic;
        m_representation = RepresentationTriclinic;
        return;
    }
    m_tabulated = true;
    m_number = sg->number;
    m_longName = sg->hm;
    m_hall = sg->hall;
    m_centring = sg->centring_type();
    m_system = SystemOf(sg->crystal_system());
    const std::string q = sg->qualifier;
    char axis = 'b';
    for (char ch : q)
        if (ch == 'a' || ch == 'b' || ch == 'c') {
            axis = ch;
            break;
        }
    m_representation = RepresentationOf(m_system, axis);
    m_referenceSetting = sg->is_reference_setting() || sg->ext == '1' || sg->ext == '2';
    if (sg->ext == '1' || sg->ext == '2')
        m_qualifier = std::string("Origin ") + sg->ext;
    else if (sg->ext == 'H')
        m_qualifier = "Hexagonal axes";
    else if (sg->ext == 'R')
        m_qualifier = "Rhombohedral axes";
    else if (m_system == CrystalSystem::Monoclinic)
        m_qualifier = std::string("Unique axis ") + axis;
    else
        m_qualifier.clear();
}

bool Symmetry::HasNonStandardSetting() const
{
    if (!m_tabulated)
        return true;
    if (m_representation == RepresentationMonoclinicA || m_representation == RepresentationMonoclinicC)
        return true;
    if (m_representation >= RepresentationTetragonal)
        return !m_referenceSetting;
    return false;
}

Symmetry Symmetry::FromName(const std::string& name)
{
    const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(name);
    if (!sg)
        throw SymmetryError("Unknown space group '" + MessageText::Excerpt(name) + "'.");
    return Build(sg->operations());
}

Symmetry Symmetry::FromNumber(int number)
{
    try {
        return Build(gemmi::get_spacegroup_reference_setting(number).operations());
    } catch (const std::invalid_argument&) {
        throw SymmetryError("Unknown space-group number " + std::to_string(number) + ".");
    }
}

Symmetry Symmetry::FromHall(const std::string& hall)
{
    try {
        return Build(gemmi::symops_from_hall(hall.c_str()));
    } catch (const std::exception& e) {
        throw SymmetryError("Malformed Hall symbol '" + MessageText::Excerpt(hall) + "': " + MessageText::Excerpt(e.what()));
    }
}

void RequireOperatorsKeepCell(const std::vector<std::string>& triplets, const Mat3& cellVectors)
{
    Mat3 metric{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            metric[i][j] = Dot(cellVectors[i], cellVectors[j]);
    for (const std::string& triplet : triplets) {
        const Mat3 r = FromGemmi(ParseTriplet(triplet)).rotation;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                double kept = 0.0;  // (R^T G R)_ij
                for (int k = 0; k < 3; ++k)
                    for (int l = 0; l < 3; ++l)
                        kept += r[k][i] * metric[k][l] * r[l][j];
                if (!(std::fabs(kept - metric[i][j]) <= MetricTolerance * std::sqrt(metric[i][i] * metric[j][j])))
                    throw SymmetryError("The symmetry operator '" + MessageText::Excerpt(triplet) +
                                        "' does not keep the lengths and angles of the cell.");
            }
        }
    }
}

Symmetry Symmetry::FromOperators(const std::vector<std::string>& triplets)
{
    return Restore(triplets, -1, "", "", -1);
}

std::vector<std::string> Symmetry::Triplets() const
{
    std::vector<std::string> r;
    r.reserve(m_operators.size());
    for (const SymmetryOperator& o : m_operators)
        r.push_back(o.Triplet());
    return r;
}

Symmetry Symmetry::ToPrimitive(Mat3& basis) const
{
    basis = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    if (!IsCentred())
        return *this;
    const gemmi::Op::Rot c = gemmi::centred_to_primitive(m_centring);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            basis[i][j] = static_cast<double>(c[i][j]) / Den;
    Mat3 inverse;
    Invert(basis, inverse);

    std::vector<SymmetryOperator> primitive;
    for (const SymmetryOperator& op : m_operators) {
        SymmetryOperator p;
        p.rotation = Multiply(inverse, Multiply(op.rotation, basis));
        p.translation = WrapFractional(Multiply(inverse, op.translation), 1e-6);
        const bool seen = std::any_of(primitive.begin(), primitive.end(), [&](const SymmetryOperator& q) {
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    if (std::fabs(q.rotation[i][j] - p.rotation[i][j]) > 1e-6)
                        return false;
            return PeriodicFractionalDistance(q.translation, p.translation) < 1e-6;
        });
        if (!seen)
            primitive.push_back(p);
    }
    std::vector<std::string> triplets;
    for (const SymmetryOperator& p : primitive)
        triplets.push_back(p.Triplet());
    Symmetry result = Restore(triplets, m_number, m_longName, "Primitive cell", m_representation);
    if (!result.m_tabulated)
        result.m_system = m_system;
    return result;
}

} // namespace HostModel
