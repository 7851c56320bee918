#include "host/model/Document.h"
#include "host/model/PeriodicBins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace HostModel {

namespace {

// Two positions closer than this (Angstrom) are one site.
constexpr double SiteTolerance = 0.01;

// The IDs held by a document's atoms, as counts, so that the next free ID
// stays known while images come and go.
class IdTally {
public:
    explicit IdTally(const std::vector<Atom>& atoms)
    {
        for (const Atom& a : atoms)
            Add(a.id);
    }
    void Add(std::int32_t id) { ++m_counts[id]; }
    void Remove(std::int32_t id)
    {
        auto it = m_counts.find(id);
        if (it != m_counts.end() && --it->second == 0)
            m_counts.erase(it);
    }
    // One more than the highest ID held, and at least 1.
    std::int32_t Next() const
    {
        return m_counts.empty() ? 1 : std::max<std::int32_t>(0, m_counts.rbegin()->first) + 1;
    }

private:
    std::map<std::int32_t, std::size_t> m_counts;
};

// Fractional positions of a cell binned so that two positions within the
// site tolerance of each other (through any lattice translation) always lie
// in the same or in neighbouring bins.
class SiteGrid {
public:
    explicit SiteGrid(const Lattice3D& lattice) : m_bins(lattice, SiteTolerance) {}

    void Add(const Vec3& fractional, std::size_t index) { m_cells[m_bins.KeyOf(fractional)].push_back(index); }

    // Calls f(index) for every position added in the bins around this one
    // until f returns true; true when it did.
    template <class F> bool AnyNear(const Vec3& fractional, F&& f) const
    {
        return m_bins.AnyAround(fractional, [&](std::uint64_t key) {
            const auto it = m_cells.find(key);
            if (it == m_cells.end())
                return false;
            for (std::size_t index : it->second)
                if (f(index))
                    return true;
            return false;
        });
    }

private:
    PeriodicBins m_bins;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_cells;
};

} // namespace

std::string NewDocumentId()
{
    static std::mt19937_64 generator{std::random_device{}()};
    const std::uint64_t hi = generator(), lo = generator();
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(hi >> 32),
                  static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFFF),
                  static_cast<unsigned>(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
    return text;
}

Document::Document() : m_id(NewDocumentId()) {}

std::optional<std::string> Document::Property(const std::string& name) const
{
    auto it = m_properties.find(name);
    if (it == m_properties.end())
        return std::nullopt;
    return it->second;
}

// ---------------------------------------------------------------------------
// Lattice

Periodicity Document::GetPeriodicity() const
{
    if (m_lattice3)
        return Periodicity::Bulk3D;
    if (m_lattice2)
        return Periodicity::Surface2D;
    return Periodicity::None;
}

void Document::ToCartesianPositions(std::vector<Vec3>& out) const
{
    out.clear();
    for (const Atom& a : m_atoms)
        out.push_back(Cartesian(a.handle));
}

void Document::SetCell(const CellParameters& parameters)
{
    Lattice3D lattice(parameters); // validates before anything changes
    if (!m_lattice3) {
        std::vector<Vec3> cartesian;
        ToCartesianPositions(cartesian);
        for (std::size_t i = 0; i < m_atoms.size(); ++i)
            m_atoms[i].position = lattice.ToFractional(cartesian[i]);
    }
    m_lattice2.reset();
    m_lattice3 = lattice;
}

void Document::SetSurfaceCell(const SurfaceCellParameters& parameters)
{
    Lattice2D lattice(parameters);
    if (!m_lattice2) {
        MakeP1();
        std::vector<Vec3> cartesian;
        ToCartesianPositions(cartesian);
        for (std::size_t i = 0; i < m_atoms.size(); ++i)
            m_atoms[i].position = lattice.ToFractional(cartesian[i]);
    }
    m_lattice3.reset();
    m_lattice2 = lattice;
}

void Document::RemoveLattice()
{
    MakeP1();
    std::vector<Vec3> cartesian;
    ToCartesianPositions(cartesian);
    for (std::size_t i = 0; i < m_atoms.size(); ++i)
        m_atoms[i].position = cartesian[i];
    m_lattice3.reset();
    m_lattice2.reset();
}

// ---------------------------------------------------------------------------
// Symmetry

bool Document::SamePosition(const Vec3& a, const Vec3& b) const
{
    Vec3 d = a - b;
    for (double& x : d)
        x -= std::round(x);
    return Length(m_lattice3->ToCartesian(d)) < SiteTolerance;
}

void Document::SetSymmetry(const Symmetry& symmetry)
{
    if (!m_lattice3)
        throw ModelError("Only a 3D periodic document can carry space-group symmetry.");
    m_symmetry = symmetry;
    RegenerateAllImages();
}

void Document::MakeP1()
{
    ++m_atomListRevision;
    for (Atom& a : m_atoms) {
        a.parent = a.handle;
        a.operatorIndex = 0;
    }
    m_symmetry = Symmetry();
}

bool Document::NeedsPrimitiveConversion() const
{
    return m_lattice3 && m_symmetry.IsCentred() && m_symmetry.HasNonStandardSetting();
}

bool Document::ConvertToPrimitive()
{
    if (!m_lattice3 || !m_symmetry.IsCentred())
        return false;
    Mat3 basis;
    Symmetry primitive = m_symmetry.ToPrimitive(basis);
    if (Determinant(basis) <= 0.0)
        throw ModelError("The primitive cell of this centring is not right-handed.");
    const Mat3& conventional = m_lattice3->Vectors();
    Vec3 vectors[3];
    for (int j = 0; j < 3; ++j)
        vectors[j] = basis[0][j] * conventional[0] + basis[1][j] * conventional[1] + basis[2][j] * conventional[2];
    Lattice3D lattice = Lattice3D::FromVectors(vectors[0], vectors[1], vectors[2]);
    Mat3 inverse;
    Invert(basis, inverse);
    for (Atom& a : m_atoms)
        a.position = WrapFractional(Multiply(inverse, a.position));
    m_lattice3 = lattice;
    m_symmetry = primitive;
    RegenerateAllImages();
    return true;
}

void Document::PurgeReferences(const std::set<Handle>& removed)
{
    if (removed.empty())
        return;
    auto gone = [&](Handle h) { return removed.count(h) > 0; };
    m_bonds.erase(std::remove_if(m_bonds.begin(), m_bonds.end(),
                                 [&](const Bond& b) { return gone(b.atom1) || gone(b.atom2); }),
                  m_bonds.end());
    for (PiSystem& p : m_piSystems)
        p.atoms.erase(std::remove_if(p.atoms.begin(), p.atoms.end(), gone), p.atoms.end());
    m_piSystems.erase(std::remove_if(m_piSystems.begin(), m_piSystems.end(), [](const PiSystem& p) { return p.atoms.empty(); }),
                      m_piSystems.end());
    for (auto& entry : m_sets)
        entry.second.atoms.erase(std::remove_if(entry.second.atoms.begin(), entry.second.atoms.end(), gone),
                                 entry.second.atoms.end());
    Reindex();
}

void Document::RegenerateAllImages()
{
    // Drop every image and let each parent in turn claim its orbit; a parent
    // that sits on a site already taken by an earlier orbit of the same
    // element merges into it. Parents keep their IDs; new images take IDs
    // above those of all parents, so that an image never takes the ID of a
    // parent placed after it.
    std::vector<Atom> parents;
    std::set<Handle> removed;
    std::int32_t nextId = 1;
    for (const Atom& a : m_atoms) {
        if (a.IsSymmetryParent()) {
            parents.push_back(a);
            nextId = std::max(nextId, a.id + 1);
        } else {
            removed.insert(a.handle);
        }
    }
    std::optional<SiteGrid> grid;
    if (m_lattice3)
        grid.emplace(*m_lattice3);
    std::vector<Atom> atoms;
    atoms.reserve(m_atoms.size());
    std::vector<Atom> noImages;
    for (Atom p : parents) {
        p.operatorIndex = 0;
        const bool merged = grid && grid->AnyNear(p.position, [&](std::size_t i) {
            return atoms[i].element == p.element && SamePosition(atoms[i].position, p.position);
        });
        if (merged) {
            removed.insert(p.handle);
            continue;
        }
        std::vector<Atom> orbit{p};
        for (const Atom& image : MakeImages(p, noImages, nextId))
            orbit.push_back(image);
        for (const Atom& a : orbit) {
            if (grid)
                grid->Add(a.position, atoms.size());
            atoms.push_back(a);
        }
    }
    m_atoms.swap(atoms);
    Reindex();
    PurgeReferences(removed);
}

std::size_t Document::OrbitEnd(std::size_t parentIndex) const
{
    const Handle parent = m_atoms[parentIndex].handle;
    std::size_t end = parentIndex + 1;
    while (end < m_atoms.size() && m_atoms[end].parent == parent && !m_atoms[end].IsSymmetryParent())
        ++end;
    return end;
}

std::vector<Atom> Document::MakeImages(const Atom& parent, std::vector<Atom>& old, std::int32_t& nextId)
{
    std::vector<Atom> images;
    if (!m_lattice3 || m_symmetry.IsP1())
        return images;
    std::vector<Vec3> orbit{parent.position};
    const auto& ops = m_symmetry.Operators();
    for (std::size_t k = 1; k < ops.size(); ++k) {
        const Vec3 g = WrapFractional(ops[k].Apply(parent.position));
        bool seen = false;
        for (const Vec3& o : orbit)
            if (SamePosition(o, g)) {
                seen = true;
                break;
            }
        if (seen)
            continue;
        orbit.push_back(g);
        auto reuse = std::find_if(old.begin(), old.end(), [&](const Atom& a) { return a.operatorIndex == k; });
        Atom image;
        if (reuse != old.end()) {
            image = *reuse;
            old.erase(reuse);
        } else {
            image.handle = m_nextHandle++;
            image.id = nextId++;
            image.selected = false;
        }
        image.element = parent.element;
        image.forcefieldType = parent.forcefieldType;
        image.charge = parent.charge;
        image.formalCharge = parent.formalCharge;
        image.fixedMask = parent.fixedMask;
        image.occupancy = parent.occupancy;
        image.parent = parent.handle;
        image.operatorIndex = k;
        image.position = g;
        images.push_back(image);
    }
    return images;
}

void Document::RegenerateImages(Handle parentHandle)
{
    const std::size_t ip = IndexOf(parentHandle);
    const std::size_t end = OrbitEnd(ip);
    const Atom parent = m_atoms[ip];
    std::vector<Atom> old(m_atoms.begin() + static_cast<std::ptrdiff_t>(ip + 1),
                          m_atoms.begin() + static_cast<std::ptrdiff_t>(end));
    for (std::size_t i = ip + 1; i < end; ++i)
        m_atomIndex.erase(m_atoms[i].handle);
    std::int32_t nextId = NextAtomId();
    const std::vector<Atom> images = MakeImages(parent, old, nextId);
    std::set<Handle> dropped;
    for (const Atom& a : old)
        dropped.insert(a.handle);

    if (images.size() == end - ip - 1) {
        std::copy(images.begin(), images.end(), m_atoms.begin() + static_cast<std::ptrdiff_t>(ip + 1));
        IndexAtoms(ip + 1, end);
    } else {
        m_atoms.erase(m_atoms.begin() + static_cast<std::ptrdiff_t>(ip + 1),
                      m_atoms.begin() + static_cast<std::ptrdiff_t>(end));
        m_atoms.insert(m_atoms.begin() + static_cast<std::ptrdiff_t>(ip + 1), images.begin(), images.end());
        IndexAtoms(ip + 1, m_atoms.size());
    }
    PurgeReferences(dropped);
}

Handle Document::RestoreParent(Atom atom)
{
    for (double x : atom.position)
        if (!std::isfinite(x))
            throw ModelError("An atom position must be finite.");
    const std::size_t periodic = m_lattice3 ? 3 : m_lattice2 ? 2 : 0;
    for (std::size_t i = 0; i < periodic; ++i)
        if (std::fabs(atom.position[i]) > MaxFractionalCoordinate)
            throw ModelError("An atom lies too far from the cell for its position to be used.");
    if (atom.formalCharge.denominator == 0)
        throw ModelError("A formal charge cannot have the denominator 0.");
    if (atom.fixedMask < 0 || atom.fixedMask > FixedAll)
        throw ModelError("A fixed-axis mask combines the bits 1 (x), 2 (y) and 4 (z) only.");
    atom.handle = m_nextHandle++;
    atom.parent = atom.handle;
    atom.operatorIndex = 0;
    m_atoms.push_back(atom);
    IndexAtoms(m_atoms.size() - 1, m_atoms.size());
    return atom.handle;
}

void Document::GroupOrbits()
{
    bool grouped = true;
    Handle current = 0;
    for (const Atom& a : m_atoms) {
        if (a.IsSymmetryParent())
            current = a.handle;
        else if (a.parent != current)
            grouped = false;
    }
    if (grouped)
        return;
    std::unordered_map<Handle, std::vector<std::size_t>> images;
    for (std::size_t i = 0; i < m_atoms.size(); ++i)
        if (!m_atoms[i].IsSymmetryParent())
            images[m_atoms[i].parent].push_back(i);
    std::vector<Atom> atoms;
    atoms.reserve(m_atoms.size());
    for (const Atom& a : m_atoms) {
        if (!a.IsSymmetryParent())
            continue;
        atoms.push_back(a);
        auto it = images.find(a.handle);
        if (it == images.end())
            continue;
        for (std::size_t i : it->second)
            atoms.push_back(m_atoms[i]);
        images.erase(it);
    }
    for (const Atom& a : m_atoms) // images of no parent stay, last
        if (!a.IsSymmetryParent() && images.count(a.parent))
            atoms.push_back(a);
    m_atoms.swap(atoms);
    Reindex();
}

void Document::RefreshImages()
{
    // One pass over the orbits: each parent keeps its stored images where
    // its operators still give them and gains the missing ones; a new image
    // takes the ID after the highest one held at that moment.
    GroupOrbits();
    IdTally ids(m_atoms);
    std::vector<Atom> atoms;
    atoms.reserve(m_atoms.size());
    std::set<Handle> dropped;
    std::size_t i = 0;
    while (i < m_atoms.size()) {
        const Atom& parent = m_atoms[i];
        if (!parent.IsSymmetryParent()) {
            atoms.push_back(parent);
            ++i;
            continue;
        }
        const std::size_t end = OrbitEnd(i);
        std::vector<Atom> old(m_atoms.begin() + static_cast<std::ptrdiff_t>(i + 1),
                              m_atoms.begin() + static_cast<std::ptrdiff_t>(end));
        std::int32_t nextId = ids.Next();
        for (const Atom& a : old)
            ids.Remove(a.id);
        const std::vector<Atom> images = MakeImages(parent, old, nextId);
        for (const Atom& a : old)
            dropped.insert(a.handle);
        atoms.push_back(parent);
        for (const Atom& image : images) {
            ids.Add(image.id);
            atoms.push_back(image);
        }
        i = end;
    }
    m_atoms.swap(atoms);
    Reindex();
    PurgeReferences(dropped);
}

Handle Document::RestoreImage(Handle parentHandle, std::size_t operatorIndex)
{
    const Atom* parent = FindAtom(parentHandle);
    if (!parent || !parent->IsSymmetryParent())
        throw ModelError("A symmetry image refers to an atom that is not a symmetry parent.");
    if (!m_lattice3 || operatorIndex == 0 || operatorIndex >= m_symmetry.Order())
        throw ModelError("A symmetry image refers to a symmetry operator that does not exist.");
    // Stored last for now; RefreshImages moves it behind its parent.
    Atom image = *parent;
    image.handle = m_nextHandle++;
    image.parent = parentHandle;
    image.operatorIndex = operatorIndex;
    image.selected = false;
    image.position = WrapFractional(m_symmetry.Operators()[operatorIndex].Apply(parent->position));
    m_atoms.push_back(image);
    IndexAtoms(m_atoms.size() - 1, m_atoms.size());
    return image.handle;
}

// ---------------------------------------------------------------------------
// Atoms

void Document::Reindex()
{
    m_atomIndex.clear();
    m_atomIndex.reserve(m_atoms.size());
    IndexAtoms(0, m_atoms.size());
    m_bondIndex.clear();
    m_bondPairs.clear();
    for (std::size_t i = 0; i < m_bonds.size(); ++i) {
        m_bondIndex[m_bonds[i].handle] = i;
        m_bondPairs.insert(std::minmax(m_bonds[i].atom1, m_bonds[i].atom2));
    }
    m_piIndex.clear();
    for (std::size_t i = 0; i < m_piSystems.size(); ++i)
        m_piIndex[m_piSystems[i].handle] = i;
}

void Document::IndexAtoms(std::size_t first, std::size_t end)
{
    ++m_atomListRevision; // every change of the list indexes what it moved or added
    for (std::size_t i = first; i < end; ++i)
        m_atomIndex[m_atoms[i].handle] = i;
}

const Atom* Document::FindAtom(Handle handle) const
{
    auto it = m_atomIndex.find(handle);
    return it == m_atomIndex.end() ? nullptr : &m_atoms[it->second];
}

const Atom& Document::GetAtom(Handle handle) const
{
    const Atom* a = FindAtom(handle);
    if (!a)
        throw ModelError("The atom does not belong to this document (it may have been deleted).");
    return *a;
}

std::size_t Document::IndexOf(Handle handle) const
{
    auto it = m_atomIndex.find(handle);
    if (it == m_atomIndex.end())
        throw ModelError("The atom does not belong to this document (it may have been deleted).");
    return it->second;
}

Atom& Document::MutableAtom(Handle handle) { return m_atoms[IndexOf(handle)]; }

Atom& Document::MutableParent(Handle handle) { return MutableAtom(MutableAtom(handle).parent); }

std::int32_t Document::NextAtomId() const
{
    std::int32_t id = 0;
    for (const Atom& a : m_atoms)
        id = std::max(id, a.id);
    return id + 1;
}

Handle Document::AddAtom(const std::string& element, const Vec3& cartesian)
{
    Vec3 position = cartesian;
    if (m_lattice3)
        position = m_lattice3->ToFractional(cartesian);
    else if (m_lattice2)
        position = m_lattice2->ToFractional(cartesian);
    return AddAtomAt(element, position);
}

Handle Document::AddAtomAt(const std::string& element, const Vec3& position)
{
    for (double x : position)
        if (!std::isfinite(x))
            throw ModelError("An atom position must be finite.");
    Atom a;
    a.handle = m_nextHandle++;
    a.element = element;
    a.id = NextAtomId();
    a.position = position;
    a.parent = a.handle;
    m_atoms.push_back(a);
    IndexAtoms(m_atoms.size() - 1, m_atoms.size());
    RegenerateImages(a.handle);
    return a.handle;
}

void Document::RemoveAtom(Handle handle)
{
    const Handle parent = GetAtom(handle).parent;
    std::set<Handle> removed;
    for (const Atom& a : m_atoms)
        if (a.parent == parent)
            removed.insert(a.handle);
    m_atoms.erase(std::remove_if(m_atoms.begin(), m_atoms.end(), [&](const Atom& a) { return removed.count(a.handle) > 0; }),
                  m_atoms.end());
    Reindex();
    PurgeReferences(removed);
}

Vec3 Document::Cartesian(Handle handle) const
{
    const Atom& a = GetAtom(handle);
    if (m_lattice3)
        return m_lattice3->ToCartesian(a.position);
    if (m_lattice2)
        return m_lattice2->ToCartesian(a.position);
    return a.position;
}

Vec3 Document::Fractional(Handle handle) const { return GetAtom(handle).position; }

void Document::SetCartesian(Handle handle, const Vec3& cartesian)
{
    Vec3 position = cartesian;
    if (m_lattice3)
        position = m_lattice3->ToFractional(cartesian);
    else if (m_lattice2)
        position = m_lattice2->ToFractional(cartesian);
    SetFractional(handle, position);
}

void Document::SetFractional(Handle handle, const Vec3& position)
{
    for (double x : position)
        if (!std::isfinite(x))
            throw ModelError("An atom position must be finite.");
    const Atom& a = GetAtom(handle);
    Vec3 parentPosition = position;
    if (!a.IsSymmetryParent()) {
        // Parent = inverse of the image's operator applied to the new place.
        const SymmetryOperator& op = m_symmetry.Operators().at(a.operatorIndex);
        Mat3 inverse;
        Invert(op.rotation, inverse);
        parentPosition = Multiply(inverse, position - op.translation);
    }
    const Handle parent = a.parent;
    MutableAtom(parent).position = parentPosition;
    RegenerateImages(parent);
}

template <class F> void Document::ForOrbit(Handle handle, F&& f)
{
    // An orbit is its parent followed directly by its images, so that a
    // change of the whole orbit takes time in proportion to the orbit.
    const Handle parent = GetAtom(handle).parent;
    if (const auto found = m_atomIndex.find(parent); found != m_atomIndex.end()) {
        const std::size_t end = OrbitEnd(found->second);
        for (std::size_t i = found->second; i < end; ++i)
            f(m_atoms[i]);
        return;
    }
    for (Atom& a : m_atoms) // an image whose parent is gone
        if (a.parent == parent)
            f(a);
}

void Document::SetElement(Handle handle, const std::string& element)
{
    ForOrbit(handle, [&](Atom& a) { a.element = element; });
}

void Document::SetForcefieldType(Handle handle, const std::string& type)
{
    ForOrbit(handle, [&](Atom& a) { a.forcefieldType = type; });
}

void Document::SetCharge(Handle handle, double charge)
{
    ForOrbit(handle, [&](Atom& a) { a.charge = charge; });
}

void Document::SetOccupancy(Handle handle, double occupancy)
{
    if (!(occupancy > 0.0 && occupancy <= 1.0))
        throw ModelError("An occupancy must lie above 0 and not above 1.");
    ForOrbit(handle, [&](Atom& a) { a.occupancy = occupancy; });
}

void Document::SetFormalCharge(Handle handle, const Fraction& charge)
{
    if (charge.denominator == 0)
        throw ModelError("A formal charge cannot have the denominator 0.");
    ForOrbit(handle, [&](Atom& a) { a.formalCharge = charge; });
}

void Document::SetFixedMask(Handle handle, std::int32_t mask)
{
    if (mask < 0 || mask > FixedAll)
        throw ModelError("A fixed-axis mask combines the bits 1 (x), 2 (y) and 4 (z) only.");
    ForOrbit(handle, [&](Atom& a) { a.fixedMask = mask; });
}

void Document::SetId(Handle handle, std::int32_t id) { MutableAtom(handle).id = id; }

void Document::SetSelected(Handle handle, bool selected) { MutableAtom(handle).selected = selected; }

void Document::ClearSelection()
{
    for (Atom& a : m_atoms)
        a.selected = false;
}

Handle Document::SymmetryParent(Handle handle) const { return GetAtom(handle).parent; }

std::int32_t Document::Multiplicity(Handle handle) const
{
    // An orbit is its parent followed directly by its images.
    const std::size_t ip = IndexOf(GetAtom(handle).parent);
    return static_cast<std::int32_t>(OrbitEnd(ip) - ip);
}

std::vector<Handle> Document::AttachedAtoms(Handle handle) const
{
    GetAtom(handle);
    std::vector<Handle> r;
    for (const Bond& b : m_bonds) {
        if (b.atom1 == handle)
            r.push_back(b.atom2);
        else if (b.atom2 == handle)
            r.push_back(b.atom1);
    }
    return r;
}

// ---------------------------------------------------------------------------
// Bonds and pi-systems

Handle Document::AddBond(Handle atom1, Handle atom2, std::int32_t order)
{
    GetAtom(atom1);
    GetAtom(atom2);
    if (atom1 == atom2)
        throw ModelError("An atom cannot be bonded to itself.");
    if (m_bondPairs.count(std::minmax(atom1, atom2)))
        throw ModelError("The two atoms are bonded already.");
    Bond b;
    b.handle = m_nextHandle++;
    b.atom1 = atom1;
    b.atom2 = atom2;
    b.order = order;
    m_bonds.push_back(b);
    m_bondIndex[b.handle] = m_bonds.size() - 1;
    m_bondPairs.insert(std::minmax(atom1, atom2));
    return b.handle;
}

Handle Document::AddPiSystem(const std::vector<Handle>& atoms)
{
    if (atoms.empty())
        throw ModelError("A pi-system needs at least one atom.");
    for (Handle h : atoms)
        GetAtom(h);
    PiSystem p;
    p.handle = m_nextHandle++;
    p.atoms = atoms;
    m_piSystems.push_back(p);
    m_piIndex[p.handle] = m_piSystems.size() - 1;
    return p.handle;
}

// ---------------------------------------------------------------------------
// Named sets

bool Document::HasSet(const std::string& name) const { return m_sets.count(name) > 0; }

bool Document::CreateSet(const std::string& name, bool visible)
{
    if (name.empty())
        throw ModelError("An atom set needs a name.");
    if (HasSet(name))
        return false;
    NamedSet& set = m_sets[name];
    set.visible = visible;
    set.serial = m_nextSetSerial++;
    return true;
}

std::vector<std::string> Document::SetNames() const
{
    std::vector<std::pair<std::uint64_t, std::string>> ordered;
    for (const auto& [name, set] : m_sets)
        ordered.emplace_back(set.serial, name);
    std::sort(ordered.begin(), ordered.end());
    std::vector<std::string> names;
    for (const auto& entry : ordered)
        names.push_back(entry.second);
    return names;
}

bool Document::DeleteSet(const std::string& name) { return m_sets.erase(name) > 0; }

bool Document::SetIsEmpty(const std::string& name) const
{
    auto it = m_sets.find(name);
    return it == m_sets.end() || it->second.atoms.empty();
}

bool Document::SetContains(const std::string& name, Handle atom) const
{
    auto it = m_sets.find(name);
    if (it == m_sets.end())
        return false;
    return std::find(it->second.atoms.begin(), it->second.atoms.end(), atom) != it->second.atoms.end();
}

void Document::AddToSet(const std::string& name, Handle atom)
{
    auto it = m_sets.find(name);
    if (it == m_sets.end())
        throw ModelError("The document has no atom set named '" + name + "'.");
    GetAtom(atom);
    if (!SetContains(name, atom))
        it->second.atoms.push_back(atom);
}

void Document::AddToSet(const std::string& name, const std::vector<Handle>& atoms)
{
    auto it = m_sets.find(name);
    if (it == m_sets.end())
        throw ModelError("The document has no atom set named '" + name + "'.");
    for (Handle h : atoms)
        GetAtom(h);
    std::vector<Handle>& members = it->second.atoms;
    std::unordered_set<Handle> present(members.begin(), members.end());
    for (Handle h : atoms)
        if (present.insert(h).second)
            members.push_back(h);
}

void Document::RemoveFromSet(const std::string& name, Handle atom)
{
    auto it = m_sets.find(name);
    if (it == m_sets.end())
        throw ModelError("The document has no atom set named '" + name + "'.");
    auto& atoms = it->second.atoms;
    atoms.erase(std::remove(atoms.begin(), atoms.end(), atom), atoms.end());
}

std::vector<Handle> Document::SetAtoms(const std::string& name) const
{
    std::vector<Handle> r;
    auto it = m_sets.find(name);
    if (it == m_sets.end())
        return r;
    std::vector<std::pair<std::size_t, Handle>> ordered;
    for (Handle h : it->second.atoms)
        if (const Atom* a = FindAtom(h))
            ordered.emplace_back(IndexOf(a->handle), h);
    std::sort(ordered.begin(), ordered.end());
    for (const auto& [index, h] : ordered)
        r.push_back(h);
    return r;
}

void Document::SelectSet(const std::string& name)
{
    if (!HasSet(name))
        throw ModelError("The document has no atom set named '" + name + "'.");
    ClearSelection();
    for (Handle h : SetAtoms(name))
        MutableAtom(h).selected = true;
}

// ---------------------------------------------------------------------------

void Document::CopyModelFrom(const Document& other)
{
    m_lattice3 = other.m_lattice3;
    m_lattice2 = other.m_lattice2;
    m_symmetry = other.m_symmetry;
    m_atoms = other.m_atoms;
    m_bonds = other.m_bonds;
    m_piSystems = other.m_piSystems;
    m_sets = other.m_sets;
    m_surface = other.m_surface;
    m_nextHandle = other.m_nextHandle;
    m_nextSetSerial = other.m_nextSetSerial;
    Reindex();
}

Document::Kind Document::KindOf(Handle handle) const
{
    if (handle == ModelHandle)
        return Kind::Model;
    if (m_atomIndex.count(handle))
        return Kind::Atom;
    if (m_bondIndex.count(handle))
        return Kind::Bond;
    if (m_piIndex.count(handle))
        return Kind::PiSystem;
    return Kind::None;
}

std::size_t Document::DocumentOrder(Handle handle) const
{
    if (handle == ModelHandle)
        return 0;
    if (auto it = m_atomIndex.find(handle); it != m_atomIndex.end())
        return 1 + it->second;
    if (auto it = m_bondIndex.find(handle); it != m_bondIndex.end())
        return 1 + m_atoms.size() + it->second;
    if (auto it = m_piIndex.find(handle); it != m_piIndex.end())
        return 1 + m_atoms.size() + m_bonds.size() + it->second;
    return static_cast<std::size_t>(-1);
}

} // namespace HostModel
