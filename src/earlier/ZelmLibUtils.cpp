#include "earlier/ZelmLibUtils.h"
#include "com/regularfile.h"

#include "hostapi/hostapi.h"
#include "qorqm/DMUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmSpeciesReader.h"

#include <fstream>
#include <locale>
#include <sstream>

namespace ZelmEarlier {

namespace {

constexpr int32_t kCore = 2;
constexpr int32_t kShell = 4;

// The charge written after a "core" or "shel" word: a number after optional
// white space, 0.0 where none stands.
double ChargeAfter(const std::string& line, std::size_t position)
{
    std::istringstream text(line.substr(position));
    text.imbue(std::locale::classic());
    double charge = 0.0;
    if (!(text >> charge))
        return 0.0;
    return charge;
}

// The first token, tokens being separated by blanks only.
std::string TypeName(const std::string& line)
{
    const std::size_t begin = line.find_first_not_of(' ');
    if (begin == std::string::npos)
        return std::string();
    const std::size_t end = line.find(' ', begin);
    return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The element of a type name: its first two characters, or the first alone
// when the second is '_'.
std::string ElementKey(const std::string& typeName)
{
    if (typeName.size() >= 2 && typeName[1] == '_')
        return typeName.substr(0, 1);
    return typeName.substr(0, 2);
}

std::string Text(const KelvComPtr<ISDObject>& atom, const OLECHAR* name)
{
    return DMUtilities::BasicUtilities::GetValue(atom, name).String();
}

} // namespace

CZelmLibUtils::CZelmLibUtils(const std::string& /*elementDataFile*/, const std::string& libraryPath)
{
    ReadLibrary(libraryPath);
}

CZelmLibUtils::~CZelmLibUtils()
{
    m_types.clear();
    m_elements.clear();
}

void CZelmLibUtils::ReadLibrary(const std::string& path)
{
    RegularFile::InputFile file(PathUtilities::ToNative(path), RegularFile::Bound::Library);
    if (!file.IsOpen())
        throw KelvResult(E_UNEXPECTED, file.Failure("Unable to open ZELM library file."));
    bool inSpecies = false;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line[0] == '#')
            continue;
        if (line.find("species") != std::string::npos) {
            inSpecies = true;
            continue;
        }
        const std::size_t core = line.find("core");
        const std::size_t shell = line.find("shel");
        if (core == std::string::npos && shell == std::string::npos) {
            if (inSpecies)
                break;
            continue;
        }
        const std::string typeName = TypeName(line);
        const int32_t kind = core != std::string::npos ? kCore : kShell;
        const double charge = ChargeAfter(line, (core != std::string::npos ? core : shell) + 4);
        AddSpecies(m_elements, ElementKey(typeName), typeName, kind, charge);
        AddSpecies(m_types, typeName, typeName, kind, charge);
    }
}

void CZelmLibUtils::AddSpecies(Table& table, const std::string& key, const std::string& typeName, int32_t kind,
                               double charge)
{
    CZelmSpeciesReader::CombineSpecies(table, key, typeName, kind, charge);
}

const CSpeciesEntry* CZelmLibUtils::Find(const Table& table, const std::string& key) const
{
    const auto found = table.find(key);
    return found == table.end() ? nullptr : &found->second;
}

const CSpeciesEntry* CZelmLibUtils::FindSpeciesForAtom(const KelvComPtr<ISDObject>& atom) const
{
    // 1. The atom's forcefield type.
    if (const CSpeciesEntry* entry = Find(m_types, Text(atom, u"ForcefieldType")))
        return entry;

    // 2. The element with its formal charge, truncated toward zero. A charge
    // without denominator names no species; 64 bits keep every quotient.
    const std::string element = Text(atom, u"ElementSymbol");
    const KelvVariant formal = DMUtilities::BasicUtilities::GetValue(atom, u"FormalCharge");
    const KelvComPtr<IUnknown> fractionObject = formal.ExtractUnknown();
    Kelv::CheckNullDereference(fractionObject.get());
    const auto fraction = fractionObject.QueryInterface<ISDFraction>();
    LONG numerator = 0;
    LONG denominator = 0;
    KelvResult::Check(fraction->GetNumeratorDenominator(&numerator, &denominator));
    if (denominator != 0) {
        const int64_t q = static_cast<int64_t>(numerator) / static_cast<int64_t>(denominator);
        const int64_t magnitude = q < 0 ? -q : q;
        const std::string name = element + "_" + std::to_string(magnitude) + (q >= 0 ? "+" : "-");
        if (const CSpeciesEntry* entry = Find(m_types, name))
            return entry;
    }

    // 3. Hydroxyl or oxide oxygen, hydroxyl hydrogen.
    if (element == "O" || element == "H") {
        const std::set<std::string> attached = GetAttachedElements(atom);
        std::string name;
        if (element == "O")
            name = attached.count("H") ? "O_OH" : "O_O2-";
        else
            name = attached.count("O") ? "H_OH" : "H";
        if (const CSpeciesEntry* entry = Find(m_types, name))
            return entry;
    }

    // 4. The element.
    return Find(m_elements, element);
}

std::set<std::string> CZelmLibUtils::GetAttachedElements(const KelvComPtr<ISDObject>& atom) const
{
    std::set<std::string> elements;
    const KelvVariant value = DMUtilities::BasicUtilities::GetValue(atom, u"AttachedAtoms");
    const KelvComPtr<IUnknown> object = value.ExtractUnknown();
    Kelv::CheckNullDereference(object.get());
    const auto attached = object.QueryInterface<ISDVariantDataDimension>();
    LONG count = 0;
    KelvResult::Check(attached->get_Count(&count));
    for (LONG i = 1; i <= count; ++i) {
        KelvVariant item;
        KelvResult::Check(attached->Item(i, item.Receive()));
        const KelvComPtr<IUnknown> other = item.ExtractUnknown();
        Kelv::CheckNullDereference(other.get());
        elements.insert(Text(other.QueryInterface<ISDObject>(), u"ElementSymbol"));
    }
    return elements;
}

int32_t CZelmLibUtils::GetSpeciesKind(const KelvComPtr<ISDObject>& atom) const
{
    const CSpeciesEntry* entry = FindSpeciesForAtom(atom);
    return entry ? entry->kind : 0;
}

double CZelmLibUtils::GetCoreCharge(const KelvComPtr<ISDObject>& atom) const
{
    const CSpeciesEntry* entry = FindSpeciesForAtom(atom);
    return entry ? entry->coreCharge : 0.0;
}

double CZelmLibUtils::GetShellCharge(const KelvComPtr<ISDObject>& atom) const
{
    const CSpeciesEntry* entry = FindSpeciesForAtom(atom);
    return entry ? entry->shellCharge : 0.0;
}

std::string CZelmLibUtils::GetSpeciesName(const KelvComPtr<ISDObject>& atom) const
{
    const CSpeciesEntry* entry = FindSpeciesForAtom(atom);
    return entry ? entry->typeName : Text(atom, u"ElementSymbol");
}

} // namespace ZelmEarlier
