// A 3D atomistic structure document: identity, lattice (3-D, 2-D or none),
// space-group symmetry, atoms, bonds, pi-systems, named atom sets and the
// surface description of a slab.
//
// Atoms are kept in a stable order in which every symmetry parent is
// followed directly by its symmetry images. Images are derived from their
// parent by the symmetry operators and follow it whenever it moves; the
// properties that belong to the whole orbit (element, forcefield type,
// charges, fixed axes) are shared by a parent and its images, while "ID" and
// the selection belong to each atom.
#pragma once

#include "host/model/Lattice.h"
#include "host/model/Symmetry.h"
#include "qorqm/TrjFile.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace HostModel {

class ModelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Stable identity of an object inside one document; never reused. The model
// object (the document's contents as a whole) has handle 0.
using Handle = std::uint64_t;
inline constexpr Handle ModelHandle = 0;

enum class Periodicity { None, Surface2D, Bulk3D };

// Fractional coordinates further from the cell than this many cell lengths
// are refused: the symmetry operators' translations would be lost in rounding.
inline constexpr double MaxFractionalCoordinate = 1.0e6;

struct Fraction {
    std::int32_t numerator = 0;
    std::int32_t denominator = 1;
    bool operator==(const Fraction& o) const { return numerator == o.numerator && denominator == o.denominator; }
};

// Fixed-axis bits of an atom's Cartesian position.
enum FixedAxis : std::int32_t { FixedX = 1, FixedY = 2, FixedZ = 4, FixedAll = 7 };

struct Atom {
    Handle handle = 0;
    std::string element;         // "ElementSymbol"
    std::string forcefieldType;  // "ForcefieldType"; empty when untyped
    double charge = 0.0;         // "Charge"
    Fraction formalCharge;       // "FormalCharge"
    std::int32_t id = 0;         // "ID"
    // Fractional (3-D), (fu, fv, z) with z Cartesian (2-D) or Cartesian (none).
    Vec3 position{};
    bool selected = false;       // "IsSelected"
    std::int32_t fixedMask = 0;  // FixedAxis bits
    double occupancy = 1.0;      // "Occupancy": the share of the site this atom holds (0, 1]
    Handle parent = 0;           // symmetry parent (own handle for a parent)
    std::size_t operatorIndex = 0; // operator that maps the parent onto this image

    bool IsSymmetryParent() const { return parent == handle; }
};

struct Bond {
    Handle handle = 0;
    Handle atom1 = 0;
    Handle atom2 = 0;
    std::int32_t order = 1;
};

struct PiSystem {
    Handle handle = 0;
    std::vector<Handle> atoms;
};

// What the host knows of a slab cut from a bulk crystal. A document without
// a description has an empty plane text.
struct SurfaceDescription {
    std::string plane;           // e.g. "(1 0 4)"; empty: no description
    std::int32_t h = 0, k = 0, l = 0;
    double topOffset = 0.0;      // position of the cut, in d-spacings
    double relativeDepth = 0.0;  // slab thickness in d-spacings
    double absoluteDepth = 0.0;  // slab thickness in Angstrom
    double dSpacing = 0.0;       // interplanar spacing in Angstrom
    bool IsPresent() const { return !plane.empty(); }
};

struct NamedSet {
    std::vector<Handle> atoms; // in the order of addition, each once
    bool visible = true;
    std::uint64_t serial = 0;  // creation order among the document's sets
};

class Document {
public:
    Document();

    // Identity -----------------------------------------------------------
    const std::string& Name() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    // Path of the file the document was last saved to or loaded from; empty
    // for a document that was never saved.
    const std::string& Url() const { return m_url; }
    void SetUrl(const std::string& url) { m_url = url; }
    // A "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" identity made at creation.
    const std::string& Id() const { return m_id; }
    void SetId(const std::string& id) { m_id = id; }
    // Document properties such as "_ParentDocID".
    const std::map<std::string, std::string>& Properties() const { return m_properties; }
    std::optional<std::string> Property(const std::string& name) const;
    void SetProperty(const std::string& name, const std::string& value) { m_properties[name] = value; }

    // Lattice ------------------------------------------------------------
    Periodicity GetPeriodicity() const;
    const Lattice3D* Lattice3() const { return m_lattice3 ? &*m_lattice3 : nullptr; }
    const Lattice2D* Lattice2() const { return m_lattice2 ? &*m_lattice2 : nullptr; }
    // Makes the document 3-D periodic with this cell. A 3-D document keeps
    // its atoms' fractional positions (they follow the cell); any other
    // keeps their Cartesian positions. Throws LatticeError for a bad cell.
    void SetCell(const CellParameters& parameters);
    // Makes the document 2-D periodic (a slab). A 3-D document is first
    // expanded to P 1. A 2-D document keeps (fu, fv, z).
    void SetSurfaceCell(const SurfaceCellParameters& parameters);
    // Makes the document non-periodic, keeping Cartesian positions (P 1 first).
    void RemoveLattice();

    // Symmetry (3-D documents only; others are always P 1) -----------------
    const Symmetry& GetSymmetry() const { return m_symmetry; }
    // Replaces the symmetry; every atom becomes a parent or an image under
    // it: each current parent keeps its place and its images are generated
    // anew. Throws ModelError for a document that is not 3-D periodic.
    void SetSymmetry(const Symmetry& symmetry);
    bool IsP1() const { return m_symmetry.IsP1(); }
    // Turns every image into a parent of its own and sets P 1.
    void MakeP1();
    // True for a 3-D document on a centred conventional cell whose group the
    // engine cannot be told by name or number.
    bool NeedsPrimitiveConversion() const;
    // Moves a centred 3-D document onto its primitive cell, keeping its
    // symmetry; false (nothing changed) when the cell is already primitive.
    bool ConvertToPrimitive();

    // Atoms --------------------------------------------------------------
    const std::vector<Atom>& Atoms() const { return m_atoms; }
    const Atom* FindAtom(Handle handle) const;
    const Atom& GetAtom(Handle handle) const; // throws ModelError
    std::size_t IndexOf(Handle handle) const;  // throws ModelError
    // Changes whenever atoms are added, removed or reordered or a symmetry
    // parent changes, so that what was counted over the atom list (the
    // parents' numbers) can tell that it must be counted anew.
    std::uint64_t AtomListRevision() const { return m_atomListRevision; }
    // Adds a symmetry parent (its images follow it) at a Cartesian position;
    // the new atom gets the next free "ID".
    Handle AddAtom(const std::string& element, const Vec3& cartesian);
    // The same with a position in the document's own frame (fractional for
    // 3-D, (fu, fv, z) for 2-D, Cartesian otherwise).
    Handle AddAtomAt(const std::string& element, const Vec3& position);
    // Removes an atom with its whole symmetry orbit, its bonds, its set
    // memberships; pi-systems lose the atom (and vanish when empty).
    void RemoveAtom(Handle handle);

    Vec3 Cartesian(Handle handle) const;
    // Fractional position for 3-D, (fu, fv, z) for 2-D, Cartesian otherwise.
    Vec3 Fractional(Handle handle) const;
    // Moves an atom. Moving an image moves its parent so that the image
    // lands where asked; the other images follow.
    void SetCartesian(Handle handle, const Vec3& cartesian);
    void SetFractional(Handle handle, const Vec3& position);

    // Orbit-wide properties (applied to the parent and all its images).
    void SetElement(Handle handle, const std::string& element);
    void SetForcefieldType(Handle handle, const std::string& type);
    void SetCharge(Handle handle, double charge);
    // Throws ModelError unless 0 < occupancy <= 1.
    void SetOccupancy(Handle handle, double occupancy);
    void SetFormalCharge(Handle handle, const Fraction& charge); // denominator 0: ModelError
    void SetFixedMask(Handle handle, std::int32_t mask);
    // Per-atom properties.
    void SetId(Handle handle, std::int32_t id);
    void SetSelected(Handle handle, bool selected);
    void ClearSelection();

    Handle SymmetryParent(Handle handle) const;
    // Number of atoms in the orbit of the atom's parent, the parent included.
    std::int32_t Multiplicity(Handle handle) const;
    // Atoms bonded to this one, in bond order.
    std::vector<Handle> AttachedAtoms(Handle handle) const;

    // Bonds and pi-systems ------------------------------------------------
    const std::vector<Bond>& Bonds() const { return m_bonds; }
    Handle AddBond(Handle atom1, Handle atom2, std::int32_t order = 1);
    const std::vector<PiSystem>& PiSystems() const { return m_piSystems; }
    Handle AddPiSystem(const std::vector<Handle>& atoms);

    // Named atom sets -----------------------------------------------------
    const std::map<std::string, NamedSet>& Sets() const { return m_sets; }
    bool HasSet(const std::string& name) const;
    // Set names in creation order.
    std::vector<std::string> SetNames() const;
    // Creates an empty set; false (set unchanged) when it exists already.
    bool CreateSet(const std::string& name, bool visible = true);
    bool DeleteSet(const std::string& name);
    // True for a missing set too.
    bool SetIsEmpty(const std::string& name) const;
    bool SetContains(const std::string& name, Handle atom) const;
    // Adding a member twice or removing a non-member changes nothing.
    // A missing set: ModelError.
    void AddToSet(const std::string& name, Handle atom);
    // Adds several atoms at once (each at most once), in the given order.
    void AddToSet(const std::string& name, const std::vector<Handle>& atoms);
    void RemoveFromSet(const std::string& name, Handle atom);
    // Set members in document order (missing set: none).
    std::vector<Handle> SetAtoms(const std::string& name) const;
    // The selection becomes exactly the set's atoms. A missing set: ModelError.
    void SelectSet(const std::string& name);

    // Surface description -------------------------------------------------
    const SurfaceDescription& Surface() const { return m_surface; }
    void SetSurface(const SurfaceDescription& surface) { m_surface = surface; }

    // Trajectory: the frames of a ".qtd" document's ".trj" file; null for a
    // document without one.
    const std::shared_ptr<const TrjContents>& Trajectory() const { return m_trajectory; }
    void SetTrajectory(std::shared_ptr<const TrjContents> frames) { m_trajectory = std::move(frames); }

    // Replaces this document's model (lattice, symmetry, atoms, bonds,
    // pi-systems, sets, surface) by a copy of another's; identity stays.
    void CopyModelFrom(const Document& other);

    // Object kinds by handle: used by scopes.
    enum class Kind { None, Model, Atom, Bond, PiSystem };
    Kind KindOf(Handle handle) const;
    // Rank in document order: the model, then atoms, bonds and pi-systems,
    // each in their stored order; -1 for an unknown handle.
    std::size_t DocumentOrder(Handle handle) const;

    // Restoring from a file, in three steps: parents (as given, without
    // images), then the stored images of each parent (made by operator
    // `operatorIndex`, position derived), then RefreshImages, which places
    // every image behind its parent (in the order restored), drops stored
    // images that the operators do not give and adds missing ones.
    // Throws ModelError for an image whose parent is not a parent or whose
    // operator does not exist, and for a parent whose periodic coordinates
    // exceed MaxFractionalCoordinate.
    Handle RestoreParent(Atom atom);
    Handle RestoreImage(Handle parent, std::size_t operatorIndex);
    void RefreshImages();

private:
    Atom& MutableAtom(Handle handle);
    Atom& MutableParent(Handle handle);
    void Reindex();
    // Moves every image behind its parent's orbit, keeping the order of
    // parents and of each parent's images.
    void GroupOrbits();
    // Indexes the atoms stored at [first, end) under their handles.
    void IndexAtoms(std::size_t first, std::size_t end);
    // One past the last image that follows the parent stored at this index.
    std::size_t OrbitEnd(std::size_t parentIndex) const;
    // The images of a parent under the operators, one per distinct site:
    // an atom of `old` made by the same operator is kept (and taken out of
    // `old`), others are new atoms with IDs from `nextId` on.
    std::vector<Atom> MakeImages(const Atom& parent, std::vector<Atom>& old, std::int32_t& nextId);
    // Drops every reference of bonds, pi-systems and sets to these atoms.
    void PurgeReferences(const std::set<Handle>& removed);
    // Regenerates the images of one parent (keeping existing image atoms in
    // place where their operator still gives a distinct position).
    void RegenerateImages(Handle parent);
    void RegenerateAllImages();
    template <class F> void ForOrbit(Handle handle, F&& f);
    std::int32_t NextAtomId() const;
    void ToCartesianPositions(std::vector<Vec3>& out) const;
    bool SamePosition(const Vec3& a, const Vec3& b) const;

    std::string m_name;
    std::string m_url;
    std::string m_id;
    std::map<std::string, std::string> m_properties;

    std::optional<Lattice3D> m_lattice3;
    std::optional<Lattice2D> m_lattice2;
    Symmetry m_symmetry;

    std::vector<Atom> m_atoms;
    std::unordered_map<Handle, std::size_t> m_atomIndex;
    std::unordered_map<Handle, std::size_t> m_bondIndex;
    std::set<std::pair<Handle, Handle>> m_bondPairs; // bonded atoms, lower handle first
    std::unordered_map<Handle, std::size_t> m_piIndex;
    std::vector<Bond> m_bonds;
    std::vector<PiSystem> m_piSystems;
    std::map<std::string, NamedSet> m_sets;
    SurfaceDescription m_surface;
    std::shared_ptr<const TrjContents> m_trajectory;
    Handle m_nextHandle = 1;
    std::uint64_t m_atomListRevision = 0;
    std::uint64_t m_nextSetSerial = 1;
};

// A fresh "{...}" identity text.
std::string NewDocumentId();

} // namespace HostModel
