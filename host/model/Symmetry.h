// Space-group symmetry of a 3-D periodic document: the full list of
// operators (identity first, centring translations included) and the
// identity of the group as the host shows it (number, long name, qualifier,
// lattice representation).
#pragma once

#include "host/model/Geometry.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace HostModel {

class SymmetryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// x' = rotation * x + translation, in fractional coordinates.
struct SymmetryOperator {
    Mat3 rotation{};
    Vec3 translation{};

    Vec3 Apply(const Vec3& fractional) const { return Multiply(rotation, fractional) + translation; }
    bool IsIdentity(double tolerance = 1e-9) const;
    // "x,y,z" form, e.g. "-y,x-y,z+1/3".
    std::string Triplet() const;
};

// Refuses, naming it, the first operator whose rotation R does not keep the
// distances and angles of the cell whose vectors are the rows of
// `cellVectors`: R^T G R must equal the metric G (G_ij = a_i . a_j) within a
// relative tolerance. Such an operator puts images where no symmetry of the
// cell would. Throws SymmetryError (also for a malformed triplet).
void RequireOperatorsKeepCell(const std::vector<std::string>& triplets, const Mat3& cellVectors);

enum class CrystalSystem { Triclinic, Monoclinic, Orthorhombic, Tetragonal, Trigonal, Hexagonal, Cubic };

// How the host describes the cell setting of a group. Monoclinic groups carry
// their unique axis (a 1, b 2, c 3); the other systems have one value each.
enum LatticeRepresentationValue : int {
    RepresentationTriclinic = 0,
    RepresentationMonoclinicA = 1,
    RepresentationMonoclinicB = 2,
    RepresentationMonoclinicC = 3,
    RepresentationOrthorhombic = 4,
    RepresentationTetragonal = 5,
    RepresentationTrigonal = 6,
    RepresentationHexagonal = 7,
    RepresentationCubic = 8
};

class Symmetry {
public:
    // P 1.
    Symmetry();

    // A group by Hermann-Mauguin symbol ("P 21/c", "F m -3 m", "R -3 m:R",
    // "P n m a", "F d -3 m:2"), or by space-group number (reference setting).
    // Throws SymmetryError for an unknown name.
    static Symmetry FromName(const std::string& name);
    static Symmetry FromNumber(int number);
    static Symmetry FromHall(const std::string& hall);
    // A group from operator triplets ("x,y,z", "-x+1/2,y,-z"...). Missing
    // products are completed; the group is looked up in the tables, and an
    // operator set found there takes its number and names. Throws
    // SymmetryError for a malformed triplet or operators that close no group.
    static Symmetry FromOperators(const std::vector<std::string>& triplets);

    // All operators, identity first.
    const std::vector<SymmetryOperator>& Operators() const { return m_operators; }
    std::vector<std::string> Triplets() const;
    std::size_t Order() const { return m_operators.size(); }
    bool IsP1() const { return m_operators.size() == 1; }

    // Space-group number (0 when unknown), long Hermann-Mauguin name (empty
    // when unknown), qualifier ("Origin 2", "Hexagonal axes", "Unique axis b",
    // "Primitive cell" or empty) and Hall symbol (empty when not tabulated).
    int Number() const { return m_number; }
    const std::string& LongName() const { return m_longName; }
    const std::string& Qualifier() const { return m_qualifier; }
    const std::string& Hall() const { return m_hall; }
    // Lattice centring letter: 'P', 'A', 'B', 'C', 'I', 'F' or 'R' (hexagonal
    // axes of a rhombohedral lattice).
    char Centring() const { return m_centring; }
    bool IsCentred() const { return m_centring != 'P'; }
    CrystalSystem System() const { return m_system; }
    int LatticeRepresentation() const { return m_representation; }
    // True when the operators are those of a tabulated setting.
    bool IsTabulated() const { return m_tabulated; }
    // True when the engine cannot be told this group by its name or number:
    // an operator set without a table entry, a monoclinic group with its
    // unique axis other than b, or a group written by number whose setting
    // is not the reference one (an origin choice counts as reference).
    bool HasNonStandardSetting() const;

    // The same symmetry on the primitive cell. `basis` receives the matrix C
    // whose columns give the primitive vectors in conventional fractional
    // units (x_conventional = C x_primitive). P 1 and other primitive groups
    // come back unchanged with C the identity.
    Symmetry ToPrimitive(Mat3& basis) const;

    // Restores a stored symmetry: operators plus the identity as saved.
    static Symmetry Restore(const std::vector<std::string>& triplets, int number, const std::string& longName,
                            const std::string& qualifier, int representation);

private:
    void Describe();

    std::vector<SymmetryOperator> m_operators;
    int m_number = 1;
    std::string m_longName = "P 1";
    std::string m_qualifier;
    std::string m_hall = "P 1";
    char m_centring = 'P';
    CrystalSystem m_system = CrystalSystem::Triclinic;
    int m_representation = RepresentationTriclinic;
    bool m_tabulated = true;
    bool m_referenceSetting = true;
};

} // namespace HostModel
