#include "setup/ZelmLibUtils.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>

#include <boost/make_shared.hpp>

#include "qorqm/ParseUtilities.h"
#include "qorvira/ZelmParseUtilities.h"
#include "readers/FieldParsing.h"
#include "setup/ParseField.h"

namespace {

const char* const kContinuation = "&";

bool IsDigits(const std::string& text, std::size_t from)
{
    if (from >= text.size()) {
        return false;
    }
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool ReadsAsNumber(const std::string& token)
{
    try {
        GetFieldAsDouble(token, 0);
        return true;
    } catch (const KelvResult&) {
        return false;
    }
}

// Lines of the library, with the end of input told apart from a stream that
// failed.
std::ifstream OpenLibrary(const std::string& path, const char* failureMessage)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw KelvResult(E_UNEXPECTED, failureMessage);
    }
    std::ifstream stream(path);
    if (!stream) {
        throw KelvResult(E_UNEXPECTED, failureMessage);
    }
    return stream;
}

void CheckStream(const std::istream& stream)
{
    if (stream.bad()) {
        throw KelvResult(E_UNEXPECTED, "Problem reading file");
    }
}

}  // namespace

class CZelmLibUtils::LineSource
{
public:
    explicit LineSource(std::istream& stream) : m_stream(stream) {}

    // The next line that is not blank; false at the end of input.
    bool NextNonEmpty(std::string& line)
    {
        bool found = ZelmParseUtilities::GetNonEmptyLine(m_stream, line);
        CheckStream(m_stream);
        return found;
    }

    // The next raw line; false at the end of input.
    bool NextRaw(std::string& line)
    {
        if (!std::getline(m_stream, line)) {
            CheckStream(m_stream);
            line.clear();
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }

private:
    std::istream& m_stream;
};

// What one functional-form line gives every interaction that follows it.
struct CZelmLibUtils::FormContext
{
    boost::shared_ptr<CFunctionalForm> form;
    std::string keyword;
    int numberOfAtoms = 0;
    bool multiLine = false;
    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;
};

CZelmLibUtils::CZelmLibUtils(bool isStandardLibrary, const std::string& libraryPath)
    : m_speciesReader(m_otherLines, isStandardLibrary, libraryPath)
{
    ReadSpecies(libraryPath);
}

CZelmLibUtils::CZelmLibUtils(bool isStandardLibrary, const std::string& libraryPath,
                             const CServerDescription& serverDescription)
    : m_speciesReader(m_otherLines, isStandardLibrary, libraryPath)
{
    ReadLibrary(libraryPath, serverDescription);
}

CZelmLibUtils::~CZelmLibUtils() = default;

// ---------------------------------------------------------------------------
// Species queries

bool CZelmLibUtils::HasShell() const
{
    return m_speciesReader.HasShell();
}

bool CZelmLibUtils::HasCharges() const
{
    return m_speciesReader.HasCharges();
}

const std::map<std::string, CSpecies>& CZelmLibUtils::GetAllSpecies() const
{
    return m_speciesReader.GetAllSpecies();
}

CSpecies CZelmLibUtils::Get(const KelvComPtr<ISDObject>& atom) const
{
    return m_speciesReader.Get(atom);
}

bool CZelmLibUtils::HasSpecies(const KelvComPtr<ISDObject>& atom) const
{
    return m_speciesReader.HasSpecies(atom);
}

double CZelmLibUtils::GetCoreCharge(const KelvComPtr<ISDObject>& atom) const
{
    return Get(atom).GetCoreCharge();
}

double CZelmLibUtils::GetShellCharge(const KelvComPtr<ISDObject>& atom) const
{
    return Get(atom).GetShellCharge();
}

std::string CZelmLibUtils::GetAlternativeName(const KelvComPtr<ISDObject>& atom) const
{
    return Get(atom).GetAlternativeName();
}

// ---------------------------------------------------------------------------
// Reading

void CZelmLibUtils::ReadSpecies(const std::string& path)
{
    std::ifstream stream = OpenLibrary(path, "Unable to read ZELM library file.");
    m_description.clear();
    m_speciesReader.Read(stream, m_otherLines);
    CheckStream(stream);
}

void CZelmLibUtils::ReadLibrary(const std::string& path, const CServerDescription& serverDescription)
{
    std::ifstream stream = OpenLibrary(path, "Unable to open ZELM library file.");
    m_description.clear();
    const std::string firstLine = m_speciesReader.Read(stream, m_otherLines);
    CheckStream(stream);
    ParseLibraryBody(firstLine, stream, serverDescription);
}

void CZelmLibUtils::ParseLibraryBody(const std::string& firstLine, std::istream& stream,
                                     const CServerDescription& serverDescription)
{
    LineSource source(stream);
    std::string formLine;
    bool haveForm;
    if (!ZelmParseUtilities::IsBlankLine(firstLine) &&
        IsFunctionalFormLine(firstLine, serverDescription)) {
        formLine = firstLine;
        haveForm = true;
    } else {
        if (!ZelmParseUtilities::IsBlankLine(firstLine)) {
            m_otherLines.push_back(firstLine);
        }
        haveForm = ReadUntilFunctionalFormLine(source, serverDescription, formLine);
    }
    while (haveForm) {
        haveForm = ParseFormBlock(formLine, source, serverDescription);
    }
}

bool CZelmLibUtils::ParseFormBlock(std::string& formLine, LineSource& source,
                                   const CServerDescription& serverDescription)
{
    std::string lower = formLine;
    ZelmParseUtilities::MakeStringLowerCase(lower);
    TokenList tokens;
    Tokenize(lower, tokens);

    // The form and the options of its line; a line that its form cannot read
    // is kept as it stands.
    FormContext context;
    try {
        const std::string& word = tokens.at(0);
        const std::string& typeName = serverDescription.GetTypeOfFunctionalForm(word);
        boost::shared_ptr<CInteractionType> type = serverDescription.GetInteractionType(typeName);
        context.form = type->GetFunctionalForm(serverDescription.GetFunctionalFormFullName(word));
        context.numberOfAtoms = type->GetNumberOfAtoms();
        context.form->ParseFunctionalFormLine(tokens, context.booleans, context.integers,
                                              context.doubles, context.parameters);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        m_otherLines.push_back(formLine);
        return ReadUntilFunctionalFormLine(source, serverDescription, formLine);
    }
    context.keyword = context.form->GetKeyword();

    std::string line;
    if (!source.NextNonEmpty(line)) {
        return false;
    }

    // The polynomial's order stands alone on the next line. Without a valid
    // one the form is not read: its line and the line after it are kept.
    if (context.keyword == "poly") {
        TokenList orderTokens;
        Tokenize(line, orderTokens);
        int order = 0;
        bool ordered = IsSingleIntegerLine(orderTokens, order);
        if (ordered) {
            try {
                context.form->SetIntegerOption(0, order, context.integers, context.booleans,
                                               context.parameters);
            } catch (const std::bad_alloc&) {
                throw;
            } catch (...) {
                ordered = false;
            }
        }
        if (!ordered) {
            m_otherLines.push_back(formLine);
            if (IsFunctionalFormLine(line, serverDescription)) {
                formLine = line;
                return true;
            }
            m_otherLines.push_back(line);
            return ReadUntilFunctionalFormLine(source, serverDescription, formLine);
        }
        if (!source.NextNonEmpty(line)) {
            return false;
        }
    }

    const bool glue = !context.booleans.empty() &&
                      std::find(tokens.begin(), tokens.end(), "glue") != tokens.end();
    context.multiLine = context.keyword == "srgl" || glue;

    // The interaction lines.
    for (;;) {
        if (ZelmParseUtilities::IsCommentLine(line)) {
            m_otherLines.push_back(line);
            if (!source.NextNonEmpty(line)) {
                return false;
            }
            continue;
        }
        TokenList lineTokens;
        Tokenize(line, lineTokens);
        if (lineTokens.empty() || !m_speciesReader.HasSpecies(lineTokens.front())) {
            if (IsFunctionalFormLine(line, serverDescription)) {
                formLine = line;
                return true;
            }
            m_otherLines.push_back(line);
            return ReadUntilFunctionalFormLine(source, serverDescription, formLine);
        }
        std::string pending;
        if (ReadInteraction(line, context, source, pending)) {
            line = pending;
            continue;
        }
        if (!source.NextNonEmpty(line)) {
            return false;
        }
    }
}

bool CZelmLibUtils::ReadInteraction(const std::string& line, const FormContext& context,
                                    LineSource& source, std::string& pending)
{
    bool hasPending = false;
    try {
        TokenList tokens;
        Tokenize(line, tokens);
        std::vector<CParameter> parameters = context.parameters;
        std::list<std::string> atomTypes;

        std::size_t position = 0;
        bool atomTypesRead = false;
        KelvResult atomTypeError;
        try {
            position = ReadAtomTypes(tokens, context.numberOfAtoms, atomTypes);
            atomTypesRead = true;
        } catch (const KelvResult& error) {
            if (!context.multiLine) {
                throw;
            }
            atomTypeError = error;
        }

        if (context.multiLine) {
            // How many values the interaction needs; an interaction whose
            // atom types failed still has its continuation lines consumed.
            std::size_t needed = 0;
            for (const CParameter& parameter : parameters) {
                if (!parameter.IsHidden() && !parameter.IsOptional()) {
                    ++needed;
                }
            }
            auto valueCount = [&]() -> std::size_t {
                std::size_t count = 0;
                for (std::size_t i = position; i < tokens.size(); ++i) {
                    if (tokens[i] != kContinuation) {
                        ++count;
                    }
                }
                return count;
            };
            bool continued = !tokens.empty() && tokens.back() == kContinuation;
            std::string raw;
            while (!atomTypesRead || continued || valueCount() < needed) {
                if (!source.NextRaw(raw)) {
                    break;
                }
                TokenList rawTokens;
                Tokenize(raw, rawTokens);
                if (rawTokens.empty()) {
                    break;
                }
                if (ZelmParseUtilities::IsCommentLine(raw)) {
                    m_otherLines.push_back(raw);
                    break;
                }
                if (rawTokens.front() != kContinuation && !ReadsAsNumber(rawTokens.front())) {
                    pending = raw;
                    hasPending = true;
                    break;
                }
                tokens.insert(tokens.end(), rawTokens.begin(), rawTokens.end());
                continued = rawTokens.back() == kContinuation;
            }
            if (!atomTypesRead) {
                throw atomTypeError;
            }
            tokens.erase(std::remove(tokens.begin() + static_cast<std::ptrdiff_t>(position),
                                     tokens.end(), kContinuation),
                         tokens.end());
        }

        context.form->ParseInteractionLine(tokens, tokens.begin() + static_cast<std::ptrdiff_t>(position),
                                           context.booleans, parameters);

        // Data lines, handed to the form from their first word: spline data
        // is every following line of exactly two numbers; the Ryckaert
        // coefficients are one following line of numbers only.
        const bool spline = context.keyword == "splin";
        const bool ryckaert = context.keyword == "ryck";
        if ((spline || ryckaert) && !hasPending) {
            std::string next;
            while (source.NextNonEmpty(next)) {
                TokenList dataTokens;
                Tokenize(next, dataTokens);
                const bool data = spline ? IsTwoNumberLine(dataTokens)
                                         : !dataTokens.empty() &&
                                               std::all_of(dataTokens.begin(), dataTokens.end(), ReadsAsNumber);
                if (!data) {
                    pending = next;
                    hasPending = true;
                    break;
                }
                context.form->ParseInteractionLine(dataTokens, dataTokens.begin(), context.booleans,
                                                   parameters);
                if (ryckaert) {
                    break;
                }
            }
        }

        InteractionEntry entry;
        entry.atomTypes = atomTypes;
        entry.interaction = boost::make_shared<CInteraction>(context.form, parameters, context.booleans,
                                                             context.integers, context.doubles);
        m_interactions.push_back(entry);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const KelvResult&) {
        // The interaction is dropped; reading goes on.
    } catch (const std::exception&) {
        // The interaction is dropped; reading goes on.
    }
    return hasPending;
}

bool CZelmLibUtils::IsFunctionalFormLine(const std::string& line,
                                         const CServerDescription& serverDescription) const
{
    TokenList tokens;
    Tokenize(line, tokens);
    if (tokens.empty()) {
        return false;
    }
    std::string keyword = tokens.front();
    ZelmParseUtilities::MakeStringLowerCase(keyword);
    return serverDescription.HasFunctionalForm(keyword);
}

bool CZelmLibUtils::ReadUntilFunctionalFormLine(LineSource& source,
                                                const CServerDescription& serverDescription,
                                                std::string& formLine)
{
    std::string line;
    while (source.NextNonEmpty(line)) {
        if (IsFunctionalFormLine(line, serverDescription)) {
            formLine = line;
            return true;
        }
        m_otherLines.push_back(line);
    }
    return false;
}

std::size_t CZelmLibUtils::ReadAtomTypes(const TokenList& tokens, int numberOfAtoms,
                                         std::list<std::string>& atomTypes) const
{
    std::size_t position = 0;
    for (int atom = 0; atom < numberOfAtoms; ++atom) {
        if (position >= tokens.size()) {
            throw KelvResult(E_UNEXPECTED, "Interaction specified insufficient atomtypes");
        }
        const std::string& name = tokens[position];
        CSpecies species;
        if (!m_speciesReader.Get(name, species)) {
            throw KelvResult(E_UNEXPECTED, "Library contains undefined atom type: " + name);
        }
        std::string qualifier;
        if (position + 1 < tokens.size()) {
            std::string next = tokens[position + 1];
            ZelmParseUtilities::MakeStringLowerCase(next);
            if (next == "core" || next.find("shel") != std::string::npos) {
                qualifier = next;
                ++position;
            } else {
                qualifier = "core";
            }
        }
        ++position;
        std::string atomTypeName;
        if (!m_speciesReader.IsMatchingAtomtype(species, qualifier, atomTypeName)) {
            throw KelvResult(E_UNEXPECTED, "Library contains undefined atom type: " + atomTypeName);
        }
        atomTypes.push_back(atomTypeName);
    }
    if (atomTypes.size() != static_cast<std::size_t>(numberOfAtoms < 0 ? 0 : numberOfAtoms)) {
        throw KelvResult(E_UNEXPECTED, "Interaction specified insufficient atomtypes");
    }
    return position;
}

// ---------------------------------------------------------------------------
// Field helpers

int CZelmLibUtils::GetFieldAsInteger(const std::string& text, int index)
{
    return ParseField<int>(text, index);
}

bool CZelmLibUtils::IsSingleIntegerLine(const TokenList& tokens, int& value)
{
    if (tokens.size() != 1) {
        return false;
    }
    const std::string& token = tokens.front();
    const std::size_t digitsFrom = (token[0] == '+' || token[0] == '-') ? 1 : 0;
    if (!IsDigits(token, digitsFrom)) {
        return false;
    }
    try {
        value = GetFieldAsInteger(token, 0);
    } catch (const KelvResult&) {
        return false;  // out of range
    }
    return true;
}

bool CZelmLibUtils::IsTwoNumberLine(const TokenList& tokens)
{
    return tokens.size() == 2 && ReadsAsNumber(tokens[0]) && ReadsAsNumber(tokens[1]);
}

void CZelmLibUtils::Tokenize(const std::string& line, TokenList& tokens)
{
    ParseUtilities::Tokenize(line, tokens, " \t");
}
