#include "host/model/QsdFile.h"

#include "com/regularfile.h"
#include "host/model/TextEncoding.h"
#include "qorqm/ReplaceFile.h"

#include "qorqm/MessageText.h"

#include <gemmi/elem.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <unordered_map>
#include <utility>

namespace HostModel {

namespace {

using json = nlohmann::json;

constexpr const char* FormatName = "QorZelm structure document";
constexpr int FormatVersion = 1;

json Vector(const Vec3& v) { return json::array({v[0], v[1], v[2]}); }

Vec3 ReadVector(const json& j, const char* what)
{
    if (!j.is_array() || j.size() != 3)
        throw FileError(std::string(what) + " must be a list of three numbers.");
    Vec3 v{};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!j[i].is_number())
            throw FileError(std::string(what) + " must be a list of three numbers.");
        v[i] = j[i].get<double>();
    }
    return v;
}

// "Atom 3" or "Atom 3 (Na)": the atom's place in the file's list, from 1.
std::string AtomName(std::size_t index, const json& entry)
{
    std::string name = "Atom " + std::to_string(index + 1);
    const auto element = entry.find("element");
    if (element != entry.end() && element->is_string())
        name += " (" + MessageText::Excerpt(element->get<std::string>()) + ")";
    return name;
}

// An element symbol as the document holds it: in any letter case ("na" is
// kept as "Na"); any other text ("Na1", "Nab") is refused.
std::string StandardSymbol(const std::string& text, const std::string& atom)
{
    const bool letters = !text.empty() && text.size() <= 2 &&
                         std::all_of(text.begin(), text.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; });
    const gemmi::Element element(letters ? text : std::string());
    if (element == gemmi::El::X)
        throw FileError(atom + ": \"" + MessageText::Excerpt(text) + "\" is not an element symbol.");
    return element.name();
}

// A whole number the document gives, or nothing when it is not one or lies
// outside [low, high]: a number beyond the target's range is never converted.
std::optional<std::int64_t> WholeIn(const json& j, std::int64_t low, std::int64_t high)
{
    if (j.is_number_unsigned()) {
        const std::uint64_t value = j.get<std::uint64_t>();
        if (high < 0 || value > static_cast<std::uint64_t>(high) || static_cast<std::int64_t>(value) < low)
            return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    if (!j.is_number_integer())
        return std::nullopt;
    const std::int64_t value = j.get<std::int64_t>();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

constexpr std::int64_t Int32Low = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t Int32High = std::numeric_limits<std::int32_t>::max();

// A 32-bit whole number of the document, refused by what it is for.
std::int32_t ReadWhole(const json& j, const std::string& what, std::int64_t low = Int32Low, std::int64_t high = Int32High)
{
    const std::optional<std::int64_t> value = WholeIn(j, low, high);
    if (!value)
        throw FileError(what + " " + MessageText::Excerpt(j.dump()) + " is not a whole number from " +
                        std::to_string(low) + " to " + std::to_string(high) + ".");
    return static_cast<std::int32_t>(*value);
}

// The same for an optional member, with its value when the member is absent.
std::int32_t ReadWholeOr(const json& object, const char* key, std::int32_t absent, const std::string& what)
{
    const auto found = object.find(key);
    return found == object.end() ? absent : ReadWhole(*found, what);
}

// An atom's place in the document's list of atoms (counted from 0) as a
// bond, a set, a pi-system or an image gives it: refused, with what refers to
// it (`what()`, asked only then), unless it is one of the `count` atoms it
// may name.
template <class Name>
std::size_t ReadIndex(const json& j, std::size_t count, const Name& what)
{
    const std::optional<std::int64_t> index =
        count == 0 ? std::nullopt : WholeIn(j, 0, static_cast<std::int64_t>(std::min<std::size_t>(count - 1, Int32High)));
    if (!index)
        throw FileError(what() + " refers to an atom that does not exist: " + MessageText::Excerpt(j.dump()) +
                        (count == 0 ? std::string(" (there is no atom it may name)")
                                    : " (the atoms it may name are 0 to " + std::to_string(count - 1) + ")") +
                        ".");
    return static_cast<std::size_t>(*index);
}

} // namespace

std::string QsdText(const Document& d)
{
    json j;
    j["format"] = FormatName;
    j["version"] = FormatVersion;
    j["name"] = Latin1ToUtf8(d.Name());
    j["id"] = Latin1ToUtf8(d.Id());
    j["properties"] = json::object();
    for (const auto& [key, value] : d.Properties())
        j["properties"][Latin1ToUtf8(key)] = Latin1ToUtf8(value);

    switch (d.GetPeriodicity()) {
    case Periodicity::Bulk3D: {
        const CellParameters& p = d.Lattice3()->Parameters();
        j["periodicity"] = "3D";
        j["cell"] = {{"a", p.a}, {"b", p.b}, {"c", p.c},
                     {"alpha", Degrees(p.alpha)}, {"beta", Degrees(p.beta)}, {"gamma", Degrees(p.gamma)}};
        const Symmetry& s = d.GetSymmetry();
        j["symmetry"] = {{"number", s.Number()}, {"name", s.LongName()}, {"qualifier", s.Qualifier()},
                         {"representation", s.LatticeRepresentation()}, {"operators", s.Triplets()}};
        break;
    }
    case Periodicity::Surface2D: {
        const SurfaceCellParameters& p = d.Lattice2()->Parameters();
        j["periodicity"] = "2D";
        j["surfaceCell"] = {{"u", p.u}, {"v", p.v}, {"theta", Degrees(p.theta)}};
        break;
    }
    case Periodicity::None:
        j["periodicity"] = "none";
        break;
    }

    // The atoms are written one by one, each through a small tree of its
    // own, in the layout a tree of the whole document gives them (two
    // blanks an indent, the list at the second level): a tree of every atom
    // would hold about 1 KB an atom.
    std::unordered_map<Handle, std::size_t> index;
    index.reserve(d.Atoms().size());
    std::string atomsText;
    if (!d.Atoms().empty()) {
        atomsText = "[\n";
        nlohmann::detail::serializer<json> writer(nlohmann::detail::output_adapter<char, std::string>(atomsText), ' ');
        for (const Atom& a : d.Atoms()) {
            if (!index.empty())
                atomsText += ",\n";
            const std::size_t place = index.size();
            index[a.handle] = place;
            json e;
            if (a.IsSymmetryParent()) {
                e["element"] = a.element;
                e["position"] = Vector(a.position);
                e["forcefieldType"] = Latin1ToUtf8(a.forcefieldType);
                e["charge"] = a.charge;
                e["formalCharge"] = {a.formalCharge.numerator, a.formalCharge.denominator};
                e["fixed"] = a.fixedMask;
                if (a.occupancy != 1.0)
                    e["occupancy"] = a.occupancy;
            } else {
                e["imageOf"] = index.at(a.parent);
                e["operator"] = a.operatorIndex;
            }
            e["id"] = a.id;
            e["selected"] = a.selected;
            atomsText += "    ";
            writer.dump(e, true, false, 2, 4);
        }
        atomsText += "\n  ]";
    }
    j["atoms"] = json::array();

    json bonds = json::array();
    for (const Bond& b : d.Bonds())
        bonds.push_back({{"atoms", {index.at(b.atom1), index.at(b.atom2)}}, {"order", b.order}});
    j["bonds"] = std::move(bonds);

    json pis = json::array();
    for (const PiSystem& p : d.PiSystems()) {
        json members = json::array();
        for (Handle h : p.atoms)
            members.push_back(index.at(h));
        pis.push_back(std::move(members));
    }
    j["piSystems"] = std::move(pis);

    json sets = json::array();
    for (const std::string& name : d.SetNames()) {
        const NamedSet& set = d.Sets().at(name);
        json members = json::array();
        for (Handle h : set.atoms)
            members.push_back(index.at(h));
        sets.push_back({{"name", Latin1ToUtf8(name)}, {"visible", set.visible}, {"atoms", std::move(members)}});
    }
    j["sets"] = std::move(sets);

    const SurfaceDescription& s = d.Surface();
    if (s.IsPresent())
        j["surface"] = {{"plane", Latin1ToUtf8(s.plane)},           {"h", s.h},
                        {"k", s.k},                   {"l", s.l},
                        {"topOffset", s.topOffset},   {"relativeDepth", s.relativeDepth},
                        {"absoluteDepth", s.absoluteDepth}, {"dSpacing", s.dSpacing}};
    std::string text = j.dump(2);
    if (atomsText.empty())
        return text + "\n";
    // "atoms" is the first name of the document's object.
    const std::string placeholder = "{\n  \"atoms\": []";
    if (text.compare(0, placeholder.size(), placeholder) != 0)
        throw FileError("The structure document could not be laid out.");
    std::string whole;
    whole.reserve(text.size() + atomsText.size());
    whole.append(text, 0, placeholder.size() - 2);
    whole += atomsText;
    std::string().swap(atomsText);
    whole.append(text, placeholder.size(), std::string::npos);
    whole += "\n";
    return whole;
}

namespace {

json ParseQsd(const std::string& text)
{
    try {
        return json::parse(text);
    } catch (const json::exception& e) {
        throw FileError("The structure document is not valid JSON: " + MessageText::Excerpt(e.what()));
    }
}

std::shared_ptr<Document> DocumentFromQsdTree(const json& j)
{
    try {
        if (!j.is_object() || j.value("format", std::string()) != FormatName)
            throw FileError("The file is not a structure document.");
        const auto version = j.find("version");
        if (version == j.end() || WholeIn(*version, FormatVersion, FormatVersion) != std::optional<std::int64_t>(FormatVersion))
            throw FileError("The structure document has a version this host does not read.");

        auto d = std::make_shared<Document>();
        d->SetName(Utf8ToLatin1(j.value("name", std::string())));
        if (j.contains("id"))
            d->SetId(Utf8ToLatin1(j.at("id").get<std::string>()));
        if (j.contains("properties"))
            for (const auto& [key, value] : j.at("properties").items())
                d->SetProperty(Utf8ToLatin1(key), Utf8ToLatin1(value.get<std::string>()));

        const std::string periodicity = j.value("periodicity", std::string("none"));
        if (periodicity == "3D") {
            const json& c = j.at("cell");
            CellParameters p;
            p.a = c.at("a").get<double>();
            p.b = c.at("b").get<double>();
            p.c = c.at("c").get<double>();
            p.alpha = Radians(c.at("alpha").get<double>());
            p.beta = Radians(c.at("beta").get<double>());
            p.gamma = Radians(c.at("gamma").get<double>());
            d->SetCell(p);
            if (j.contains("symmetry")) {
                const json& s = j.at("symmetry");
                d->SetSymmetry(Symmetry::Restore(s.at("operators").get<std::vector<std::string>>(),
                                                 ReadWholeOr(s, "number", 0, "The space group number"),
                                                 s.value("name", std::string()), s.value("qualifier", std::string()),
                                                 ReadWholeOr(s, "representation", -1, "The symmetry representation")));
            }
        } else if (periodicity == "2D") {
            const json& c = j.at("surfaceCell");
            SurfaceCellParameters p;
            p.u = c.at("u").get<double>();
            p.v = c.at("v").get<double>();
            p.theta = Radians(c.at("theta").get<double>());
            d->SetSurfaceCell(p);
        } else if (periodicity != "none") {
            throw FileError("Unknown periodicity '" + MessageText::Excerpt(periodicity) + "'.");
        }

        // The lists are looked at where they stand: json::value would copy them.
        const json none = json::array();
        auto list = [&](const char* key) -> const json& {
            const auto found = j.find(key);
            return found == j.end() ? none : *found;
        };
        const json& atoms = list("atoms");
        if (!atoms.is_array())
            throw FileError("The atoms must be a list.");
        std::vector<Handle> handles;
        std::vector<std::pair<Handle, const json*>> perAtom;
        for (const json& e : atoms) {
            Handle h;
            if (e.contains("imageOf")) {
                const std::size_t parent = ReadIndex(e.at("imageOf"), handles.size(), [&] {
                    return "The symmetry image " + AtomName(handles.size(), e);
                });
                h = d->RestoreImage(handles[parent],
                                    static_cast<std::size_t>(ReadWhole(e.at("operator"), "A symmetry image's operator", 0)));
            } else {
                Atom a;
                a.element = StandardSymbol(e.at("element").get<std::string>(), AtomName(handles.size(), e));
                a.position = ReadVector(e.at("position"), "An atom position");
                a.forcefieldType = Utf8ToLatin1(e.value("forcefieldType", std::string()));
                a.charge = e.value("charge", 0.0);
                if (e.contains("formalCharge")) {
                    const json& f = e.at("formalCharge");
                    if (!f.is_array() || f.size() != 2)
                        throw FileError("A formal charge must be a numerator and a denominator.");
                    const std::string where = AtomName(handles.size(), e) + ": the formal charge's";
                    a.formalCharge = {ReadWhole(f[0], where + " numerator"), ReadWhole(f[1], where + " denominator")};
                }
                a.fixedMask = ReadWholeOr(e, "fixed", 0, AtomName(handles.size(), e) + ": the fixing flags");
                a.occupancy = e.value("occupancy", 1.0);
                if (!(a.occupancy > 0.0 && a.occupancy <= 1.0))
                    throw FileError(AtomName(handles.size(), e) + ": the occupancy " + e.at("occupancy").dump() +
                                    " does not lie above 0 and not above 1.");
                h = d->RestoreParent(a);
            }
            handles.push_back(h);
            perAtom.emplace_back(h, &e);
        }
        d->RefreshImages();
        std::map<std::int64_t, std::size_t> ids; // id -> atom index
        std::vector<Handle> withoutId;
        for (std::size_t i = 0; i < perAtom.size(); ++i) {
            const auto& [h, e] = perAtom[i];
            if (!d->FindAtom(h))
                continue; // an image the operators do not give
            if (e->contains("id")) {
                const json& id = e->at("id");
                const std::int32_t value = ReadWhole(id, AtomName(i, *e) + ": the id", 1);
                const auto [taken, fresh] = ids.emplace(value, i);
                if (!fresh)
                    throw FileError(AtomName(i, *e) + ": the id " + id.dump() + " is the id of atom " +
                                    std::to_string(taken->second + 1) + " too.");
                d->SetId(h, value);
            } else if (d->FindAtom(h)->id < 1) {
                withoutId.push_back(h);
            }
            d->SetSelected(h, e->value("selected", false));
        }
        // An atom the file gives no id gets the next free one, so that the
        // document saves as a file that loads again.
        if (!withoutId.empty()) {
            std::int64_t next = 1;
            for (const Atom& a : d->Atoms())
                next = std::max<std::int64_t>(next, std::int64_t{a.id} + 1);
            for (Handle h : withoutId) {
                if (next > std::numeric_limits<std::int32_t>::max())
                    throw FileError("The structure document has more atoms than ids.");
                d->SetId(h, static_cast<std::int32_t>(next++));
            }
        }

        std::size_t bondNumber = 0;
        for (const json& b : list("bonds")) {
            const json& pair = b.at("atoms");
            if (!pair.is_array() || pair.size() != 2)
                throw FileError("A bond must name two atoms.");
            ++bondNumber;
            const auto bond = [&] { return "Bond " + std::to_string(bondNumber); };
            const Handle a1 = handles[ReadIndex(pair[0], handles.size(), bond)];
            const Handle a2 = handles[ReadIndex(pair[1], handles.size(), bond)];
            if (d->FindAtom(a1) && d->FindAtom(a2))
                d->AddBond(a1, a2, ReadWholeOr(b, "order", 1, "A bond order"));
        }
        std::size_t piNumber = 0;
        for (const json& p : list("piSystems")) {
            std::vector<Handle> members;
            ++piNumber;
            const auto pi = [&] { return "Pi-system " + std::to_string(piNumber); };
            for (const json& i : p) {
                const Handle h = handles[ReadIndex(i, handles.size(), pi)];
                if (d->FindAtom(h))
                    members.push_back(h);
            }
            if (!members.empty())
                d->AddPiSystem(members);
        }
        for (const json& set : list("sets")) {
            const std::string name = Utf8ToLatin1(set.at("name").get<std::string>());
            if (!d->CreateSet(name, set.value("visible", true)))
                throw FileError("The atom set '" + MessageText::Excerpt(name) + "' is listed twice.");
            std::vector<Handle> members;
            const auto setName = [&] { return "The atom set '" + MessageText::Excerpt(name) + "'"; };
            for (const json& i : set.value("atoms", json::array())) {
                const Handle h = handles[ReadIndex(i, handles.size(), setName)];
                if (d->FindAtom(h))
                    members.push_back(h);
            }
            d->AddToSet(name, members);
        }
        if (j.contains("surface")) {
            const json& s = j.at("surface");
            SurfaceDescription surface;
            surface.plane = Utf8ToLatin1(s.at("plane").get<std::string>());
            surface.h = ReadWholeOr(s, "h", 0, "The surface's Miller index h");
            surface.k = ReadWholeOr(s, "k", 0, "The surface's Miller index k");
            surface.l = ReadWholeOr(s, "l", 0, "The surface's Miller index l");
            surface.topOffset = s.value("topOffset", 0.0);
            surface.relativeDepth = s.value("relativeDepth", 0.0);
            surface.absoluteDepth = s.value("absoluteDepth", 0.0);
            surface.dSpacing = s.value("dSpacing", 0.0);
            d->SetSurface(surface);
        }
        return d;
    } catch (const FileError&) {
        throw;
    } catch (const json::exception& e) {
        throw FileError("The structure document is malformed: " + MessageText::Excerpt(e.what()));
    } catch (const std::exception& e) {
        throw FileError("The structure document is inconsistent: " + MessageText::Excerpt(e.what()));
    }
}

} // namespace

std::shared_ptr<Document> DocumentFromQsdText(const std::string& text)
{
    return DocumentFromQsdTree(ParseQsd(text));
}

void SaveQsd(const Document& document, const std::string& path)
{
    // Written beside and renamed into place: a write that fails or stops
    // half-way leaves the previous file whole.
    std::string why;
    if (!ReplaceFileContents(path, QsdText(document), &why))
        throw FileError("Unable to write the structure document '" + path + "': " + why + ".");
}

std::shared_ptr<Document> LoadQsd(const std::string& path)
{
    // Read straight into one string (a string stream would hold the text twice).
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Document))
        throw FileError("The structure document \"" + path + "\" " +
                        (why == RegularFile::NotThere ? std::string("cannot be opened") : why) + ".");
    std::shared_ptr<Document> d;
    try {
        const json tree = ParseQsd(text);
        std::string().swap(text); // the tree holds it all from here on
        d = DocumentFromQsdTree(tree);
    } catch (const FileError& e) {
        throw FileError("The structure document \"" + path + "\" cannot be read: " + e.what());
    }
    d->SetUrl(path);
    return d;
}

} // namespace HostModel
