#include "qorvira/ZelmSpeciesReader.h"

#include <set>

#include "hostapi/hostapi.h"
#include "qorvira/ZelmParseUtilities.h"
#include "qorqm/MessageText.h"

namespace {

constexpr int kCore = 2;
constexpr int kShell = 4;

bool IsWordSeparator(char c)
{
    return c == ' ' || c == '\t';
}

std::string FirstWord(const std::string& line)
{
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return std::string();
    }
    std::size_t end = line.find_first_of(" \t", start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The word that follows the word holding the keyword found at `position`
// ("" when none).
std::string WordAfter(const std::string& line, std::size_t position)
{
    std::size_t pos = position;
    while (pos < line.size() && !IsWordSeparator(line[pos])) {
        ++pos;
    }
    while (pos < line.size() && IsWordSeparator(line[pos])) {
        ++pos;
    }
    std::size_t end = pos;
    while (end < line.size() && !IsWordSeparator(line[end])) {
        ++end;
    }
    return line.substr(pos, end - pos);
}

bool HoldsKind(std::string word)
{
    ZelmParseUtilities::MakeStringLowerCase(word);
    return word.find("core") != std::string::npos || word.find("shel") != std::string::npos;
}

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t pos = 0;
    while ((pos = line.find_first_not_of(" \t", pos)) != std::string::npos) {
        const std::size_t end = line.find_first_of(" \t", pos);
        words.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end;
    }
    return words;
}

// Whether a line of the section that holds "core" or "shel" is no species
// line but the first line after the section: a keyword followed by atom
// types ("tersoff Na core": the kind is not the name's), a keyword followed
// only by a kind ("tersoff core": a word shaped as a keyword that names no
// species of a line before, with no charge after the kind), or an
// interaction line (its atom type is followed by another species, "Na core
// Cl core 1.0", or by another kind).
bool EndsSection(const std::string& line, const std::set<std::string>& names)
{
    const std::vector<std::string> words = Words(line);
    if (words.size() >= 2 && HoldsKind(words[1]) && (words.size() == 2 || words[2][0] == '#') &&
        !names.count(words[0]) && CZelmSpeciesReader::IsKeywordShaped(words[0])) {
        return true;
    }
    std::size_t kind = 0;
    for (std::size_t i = 1; i < words.size() && kind == 0; ++i) {
        if (HoldsKind(words[i])) {
            kind = i;
        }
    }
    // A kind that is not the first word's belongs to a species of a line
    // before ("tersoff Na core"), or follows a keyword; any other such line
    // ("Si c core") is no line a keyword begins.
    if (kind >= 2 && (names.count(words[kind - 1]) || CZelmSpeciesReader::IsKeywordShaped(words[0]))) {
        return true;
    }
    if (kind == 1 && kind + 1 < words.size()) {
        // A number after the kind is the line's charge, even where a species
        // of a line before bears that number as its name.
        const std::string& next = words[kind + 1];
        double charge = 0.0;
        if (ZelmParseUtilities::ReadDecimal(next, charge))
            return false;
        if (names.count(next) || (kind + 2 < words.size() && HoldsKind(words[kind + 2]))) {
            return true;
        }
    }
    return false;
}

enum class Charge { None, Number, NotANumber };

// The charge a species line gives in the word after its keyword: none (no
// word, a comment, or another keyword), a number, or a word that is not a
// (finite) number. Before the section (`strict` false) such a word counts
// as no charge, and so does a number too large for a double ("-2.8e902"):
// read, it would be an infinite charge that no library can hold.
Charge ReadCharge(const std::string& line, std::size_t position, bool strict, double& value,
                  std::string& word)
{
    value = 0.0;
    word = WordAfter(line, position);
    std::string lower = word;
    ZelmParseUtilities::MakeStringLowerCase(lower);
    if (word.empty() || word[0] == '#' || lower.find("core") != std::string::npos ||
        lower.find("shel") != std::string::npos) {
        return Charge::None;
    }
    // One reading of numbers for charges and parameters: decimal, the whole
    // word ("0x10" is no charge of 16).
    double read = 0.0;
    if (!ZelmParseUtilities::ReadDecimal(word, read)) {
        return strict ? Charge::NotANumber : Charge::None;
    }
    value = read;
    return Charge::Number;
}

// Reads one property of a data-model object; a failing host call throws.
KelvVariant ReadProperty(ISDObject* object, const char* name)
{
    KelvBSTR propertyName(name);
    LONG status = SDPropertyNoHint;
    KelvVariant value;
    KelvResult::Check(object->get_PropertyValue(propertyName.Get(), &status, value.Receive()));
    return value;
}

std::string ReadText(ISDObject* object, const char* name)
{
    KelvVariant value = ReadProperty(object, name);
    return value.IsEmpty() ? std::string() : value.String();
}

// The element symbols of the atoms attached to `atom`.
std::set<std::string> AttachedElements(ISDObject* atom)
{
    std::set<std::string> elements;
    KelvVariant attached = ReadProperty(atom, "AttachedAtoms");
    if (attached.IsEmpty()) {
        return elements;
    }
    KelvComPtr<ISDVariantDataDimension> collection =
        attached.ExtractUnknown().QueryInterface<ISDVariantDataDimension>();
    LONG count = 0;
    KelvResult::Check(collection->get_Count(&count));
    for (LONG i = 1; i <= count; ++i) {
        KelvVariant item;
        KelvResult::Check(collection->Item(i, item.Receive()));
        KelvComPtr<ISDObject> other = item.ExtractUnknown().QueryInterface<ISDObject>();
        elements.insert(ReadText(other.get(), "ElementSymbol"));
    }
    return elements;
}

}  // namespace

CZelmSpeciesReader::CZelmSpeciesReader(std::list<std::string>& /*otherLines*/,
                                       bool /*isStandardLibrary*/, const std::string& /*libraryPath*/)
{
}

CZelmSpeciesReader::~CZelmSpeciesReader() = default;

bool CZelmSpeciesReader::EndsSpeciesSection(const std::string& line, const std::set<std::string>& typeNames)
{
    return EndsSection(line, typeNames);
}

bool CZelmSpeciesReader::IsKeywordShaped(const std::string& word)
{
    if (word.size() < 3 || !(word[0] >= 'a' && word[0] <= 'z')) {
        return false;
    }
    for (const char c : word) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
            return false;
        }
    }
    return true;
}

std::string CZelmSpeciesReader::ElementKey(const std::string& typeName)
{
    if (typeName.size() >= 2 && typeName[1] == '_') {
        return typeName.substr(0, 1);
    }
    return typeName.substr(0, 2);
}

std::string CZelmSpeciesReader::Read(std::istream& stream, std::list<std::string>& otherLines)
{
    m_elementTable.clear();
    m_typeTable.clear();
    m_allSpecies.clear();
    m_keptLines.clear();
    m_hasCharges = false;

    std::vector<SpeciesLine> lines;
    std::set<std::string> names;  // the type names of the lines read
    bool inSection = false;
    std::string ending;
    std::string line;
    int number = 0;
    while (std::getline(stream, line)) {
        ++number;
        ZelmParseUtilities::AsLibraryLine(line);
        if (ZelmParseUtilities::IsBlankLine(line)) {
            if (inSection) {
                break;
            }
            continue;
        }
        if (ZelmParseUtilities::IsCommentLine(line)) {
            otherLines.push_back(line);
            continue;
        }
        std::string lower = line;
        ZelmParseUtilities::MakeStringLowerCase(lower);
        if (lower.find("species") != std::string::npos) {
            inSection = true;
            continue;
        }
        if (lower.find("core") == std::string::npos && lower.find("shel") == std::string::npos) {
            if (inSection) {
                ending = line;
                break;
            }
            otherLines.push_back(line);
            continue;
        }
        if (inSection && EndsSection(line, names)) {
            ending = line;
            break;
        }
        lines.push_back(ReadSpeciesLine(line, number, inSection));
        names.insert(lines.back().typeName);
    }

    // A type with a line whose charge is no number is left out whole: its
    // lines are kept as written.
    std::map<std::string, std::string> unreadable;  // type name -> the charge word
    for (const SpeciesLine& species : lines) {
        if (species.notANumber && !unreadable.count(species.typeName)) {
            unreadable[species.typeName] = species.chargeWord;
        }
    }
    for (const SpeciesLine& species : lines) {
        const auto bad = unreadable.find(species.typeName);
        if (bad != unreadable.end()) {
            KeptLine kept;
            kept.lineNumber = species.lineNumber;
            kept.line = species.text;
            kept.reason = species.notANumber
                              ? "The charge \"" + MessageText::Excerpt(species.chargeWord) + "\" of the species \"" + MessageText::Excerpt(species.typeName) +
                                    "\" is not a number: the species is left out"
                              : "The species \"" + MessageText::Excerpt(species.typeName) + "\" is left out: its charge \"" +
                                    MessageText::Excerpt(bad->second) + "\" is not a number";
            m_keptLines.push_back(kept);
            continue;
        }
        if (species.given) {
            m_hasCharges = true;
        }
        AddSpecies(m_elementTable, ElementKey(species.typeName), species.typeName, species.kind, species.value);
        AddSpecies(m_typeTable, species.typeName, species.typeName, species.kind, species.value);
    }
    for (const auto& [typeName, entry] : m_typeTable) {
        m_allSpecies.emplace(typeName, MakeSpecies(entry));
    }
    return ending;
}

CZelmSpeciesReader::SpeciesLine CZelmSpeciesReader::ReadSpeciesLine(const std::string& line, int number,
                                                                    bool inSection)
{
    std::string lower = line;
    ZelmParseUtilities::MakeStringLowerCase(lower);
    SpeciesLine species;
    species.text = line;
    species.lineNumber = number;
    species.typeName = FirstWord(line);

    // The keyword is looked for after the name first, so that a name that
    // holds "core" or "shel" reads the same once written back ("Score core 1").
    const std::size_t nameStart = line.find_first_not_of(" \t");
    std::size_t from = nameStart == std::string::npos ? 0 : nameStart + species.typeName.size();
    if (lower.find("core", from) == std::string::npos && lower.find("shel", from) == std::string::npos) {
        from = 0;
    }
    std::size_t core = lower.find("core", from);
    species.kind = kShell;
    std::size_t keyword = lower.find("shel", from);
    if (core != std::string::npos) {
        species.kind = kCore;
        keyword = core;
    }
    const Charge charge = ReadCharge(line, keyword, inSection, species.value, species.chargeWord);
    species.given = charge == Charge::Number;
    species.notANumber = charge == Charge::NotANumber;
    return species;
}

void CZelmSpeciesReader::AddSpecies(Table& table, const std::string& key,
                                    const std::string& typeName, int kind, double charge)
{
    CombineSpecies(table, key, typeName, kind, charge);
}

CSpecies CZelmSpeciesReader::MakeSpecies(const Entry& entry)
{
    // CSpecies gives a missing half no charge, so a core-only species has
    // shell charge 0.0 (the sum of both halves is the species' charge).
    return CSpecies(ElementKey(entry.typeName), entry.typeName, (entry.kind & kCore) != 0,
                    (entry.kind & kShell) != 0, entry.coreCharge, entry.shellCharge);
}

bool CZelmSpeciesReader::HasShell() const
{
    for (const auto& item : m_typeTable) {
        if (item.second.kind & kShell) {
            return true;
        }
    }
    return false;
}

bool CZelmSpeciesReader::HasCharges() const
{
    return m_hasCharges;
}

const std::vector<CZelmSpeciesReader::KeptLine>& CZelmSpeciesReader::GetKeptLines() const
{
    return m_keptLines;
}

const std::map<std::string, CSpecies>& CZelmSpeciesReader::GetAllSpecies() const
{
    return m_allSpecies;
}

bool CZelmSpeciesReader::Get(const std::string& name, CSpecies& species) const
{
    auto found = m_allSpecies.find(name);
    if (found == m_allSpecies.end()) {
        return false;
    }
    species = found->second;
    return true;
}

bool CZelmSpeciesReader::HasSpecies(const std::string& name) const
{
    return m_allSpecies.count(name) != 0;
}

bool CZelmSpeciesReader::IsMatchingAtomtype(const CSpecies& species, const std::string& qualifier,
                                            std::string& atomTypeName) const
{
    std::string lower = qualifier;
    ZelmParseUtilities::MakeStringLowerCase(lower);
    bool wantShell;
    if (lower.find("shel") != std::string::npos) {
        wantShell = true;
    } else if (lower.empty()) {
        wantShell = !species.IsCore() && species.IsShell();
    } else {
        wantShell = false;
    }
    atomTypeName = species.GetAlternativeName() + (wantShell ? " shel" : " core");
    return wantShell ? species.IsShell() : species.IsCore();
}

bool CZelmSpeciesReader::FindSpeciesForAtom(const KelvComPtr<ISDObject>& atom, CSpecies& species) const
{
    ISDObject* object = atom.operator->();

    // 1. The atom's forcefield type. An atom that carries none (the property
    // is unknown to it or empty) skips this rule.
    std::string forcefieldType;
    {
        KelvBSTR propertyName("ForcefieldType");
        LONG status = SDPropertyNoHint;
        KelvVariant value;
        if (SUCCEEDED(object->get_PropertyValue(propertyName.Get(), &status, value.Receive())) &&
            !value.IsEmpty()) {
            forcefieldType = value.String();
        }
    }
    if (!forcefieldType.empty() && Get(forcefieldType, species)) {
        return true;
    }

    // 2. The element with its formal charge, as in "Na_1+" or "O_2-".
    const std::string element = ReadText(object, "ElementSymbol");
    KelvVariant formalCharge = ReadProperty(object, "FormalCharge");
    if (!formalCharge.IsEmpty()) {
        KelvComPtr<ISDFraction> fraction = formalCharge.ExtractUnknown().QueryInterface<ISDFraction>();
        LONG numerator = 0;
        LONG denominator = 0;
        KelvResult::Check(fraction->GetNumeratorDenominator(&numerator, &denominator));
        if (denominator != 0) {
            // Truncated toward zero; computed in 64 bits so that no quotient
            // overflows.
            const long long q = static_cast<long long>(numerator) / denominator;
            const long long magnitude = q < 0 ? -q : q;
            const std::string name =
                element + "_" + std::to_string(magnitude) + (q >= 0 ? "+" : "-");
            if (Get(name, species)) {
                return true;
            }
        }
    }

    // 3. Hydroxyl oxygen and hydrogen.
    if (element == "O" || element == "H") {
        const std::set<std::string> attached = AttachedElements(object);
        std::string name;
        if (element == "O") {
            name = attached.count("H") ? "O_OH" : "O_O2-";
        } else {
            name = attached.count("O") ? "H_OH" : "H";
        }
        if (Get(name, species)) {
            return true;
        }
    }

    // 4. The element itself.
    auto found = m_elementTable.find(element);
    if (found != m_elementTable.end()) {
        species = MakeSpecies(found->second);
        return true;
    }
    species = CSpecies(element, element, true, false, 0.0, 0.0);
    return false;
}

CSpecies CZelmSpeciesReader::Get(const KelvComPtr<ISDObject>& atom) const
{
    CSpecies species;
    FindSpeciesForAtom(atom, species);
    return species;
}

bool CZelmSpeciesReader::HasSpecies(const KelvComPtr<ISDObject>& atom) const
{
    CSpecies species;
    return FindSpeciesForAtom(atom, species);
}
