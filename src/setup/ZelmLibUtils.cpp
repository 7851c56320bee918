#include "setup/ZelmLibUtils.h"
#include "com/regularfile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

#include <boost/make_shared.hpp>

#include "qorqm/MessageText.h"
#include "qorqm/ParseUtilities.h"
#include "qorvira/ZelmParseUtilities.h"
#include "common/ParseField.h"

namespace {

const char* const kContinuation = "&";

// Whether the token begins with a number, as the values of a line are read
// (GetFieldAsDouble: "12abc" reads as 12). Told without a stream, since
// every word of every interaction line is asked.
bool ReadsAsNumber(const std::string& token)
{
    const char* first = token.data();
    const char* const last = first + token.size();
    if (first != last && (*first == '+' || *first == '-')) {
        ++first;
    }
    if (first == last || !(std::isdigit(static_cast<unsigned char>(*first)) || *first == '.')) {
        return false;
    }
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(first, last, value);
    return read.ec == std::errc();
}

// Whether the word after an atom type's species names its half: "core", or
// any word holding "shel", in any case.
bool IsQualifier(std::string word)
{
    ZelmParseUtilities::MakeStringLowerCase(word);
    return word == "core" || word.find("shel") != std::string::npos;
}

// Whether the word is a number as a library's values are read: decimal,
// the whole word, finite (the same reading as the species' charges).
bool IsDecimal(const std::string& token)
{
    double value = 0.0;
    return ZelmParseUtilities::ReadDecimal(token, value);
}

// The first word among the values that stands for a number that is not
// finite ("nan", "-inf", "infinity", "1e999"), as the C library reads it;
// empty when there is none.
std::string NotANumberWord(const TokenList& tokens, std::size_t firstValue)
{
    for (std::size_t i = firstValue; i < tokens.size(); ++i) {
        const std::string& word = tokens[i];
        char* end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        if (end != word.c_str() && end == word.c_str() + word.size() && !std::isfinite(value)) {
            return word;
        }
    }
    return std::string();
}

bool IsFitFlag(const std::string& token)
{
    return token == "0" || token == "1";
}

// The whole library text; the file is read once, within the bound of a
// library.
std::string LibraryText(const std::string& path, const char* failureMessage)
{
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Library)) {
        throw KelvResult(E_UNEXPECTED, RegularFile::Failure(failureMessage, path, why));
    }
    return text;
}

// A stream over a text held elsewhere, read in place (no copy of it).
class CTextBuffer : public std::streambuf {
public:
    explicit CTextBuffer(const std::string& text)
    {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode) override
    {
        char* const from = way == std::ios_base::beg ? eback() : way == std::ios_base::end ? egptr() : gptr();
        if (offset < eback() - from || offset > egptr() - from) {
            return pos_type(off_type(-1));
        }
        setg(eback(), from + offset, egptr());
        return pos_type(gptr() - eback());
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override
    {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }
};

class CTextStream : public std::istream {
public:
    explicit CTextStream(const std::string& text) : std::istream(nullptr), m_buffer(text) { rdbuf(&m_buffer); }

private:
    CTextBuffer m_buffer;
};

void CheckStream(const std::istream& stream)
{
    if (stream.bad()) {
        throw KelvResult(E_UNEXPECTED, "Problem reading file");
    }
}

// How many lines of `text` the stream over it has taken (a last line without
// a line break counts).
int LinesTaken(const std::string& text, std::istream& stream)
{
    const std::streampos at = stream.tellg();
    const std::size_t end = at == std::streampos(-1) ? text.size() : static_cast<std::size_t>(at);
    int count = static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
    if (end > 0 && text[end - 1] != '\n') {
        ++count;
    }
    return count;
}

// The lines from `from` to `to` (lines that the species reader passed on,
// in file order) with their numbers among the first `linesTaken` lines of
// `text`.
std::list<std::pair<std::string, int>> NumberedLines(const std::string& text, int linesTaken,
                                                     std::list<std::string>::const_iterator from,
                                                     std::list<std::string>::const_iterator to)
{
    std::list<std::pair<std::string, int>> lines;
    CTextStream stream(text);
    std::string line;
    for (int number = 1; from != to && number <= linesTaken && std::getline(stream, line); ++number) {
        ZelmParseUtilities::AsLibraryLine(line);
        if (line == *from) {
            lines.emplace_back(line, number);
            ++from;
        }
    }
    for (; from != to; ++from) {
        lines.emplace_back(*from, linesTaken);
    }
    return lines;
}

// The message of the exception in flight (called from a catch block);
// exhausted memory is passed on.
std::string CurrentFailure(const char* otherwise)
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const KelvResult& error) {
        return error.GetMessage().empty() ? std::string(otherwise) : error.GetMessage();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return otherwise;
    }
}

// After the values of an interaction line come its fit flags, each "0" or
// "1". Every word before them must be a number, and there may not be more
// numbers than parameters that take one: a line such as "... 1 x 0" or
// "... 1 2 0" holds a fit flag that is neither, which the form would
// otherwise pass over or read as a value.
void CheckValueWords(const TokenList& tokens, std::size_t firstValue, const std::vector<CParameter>& parameters)
{
    std::size_t flags = tokens.size();
    while (flags > firstValue && flags > 1 && IsFitFlag(tokens[flags - 1])) {
        --flags;
    }
    for (std::size_t i = firstValue; i < flags; ++i) {
        if (!ReadsAsNumber(tokens[i])) {
            throw KelvResult(E_UNEXPECTED, "The word \"" + MessageText::Excerpt(tokens[i]) + "\" is neither a value nor a fit flag (0 or 1)");
        }
        if (!IsDecimal(tokens[i])) {
            throw KelvResult(E_UNEXPECTED, "The value \"" + MessageText::Excerpt(tokens[i]) +
                                               "\" is no decimal number that a double holds");
        }
    }
    const std::size_t takers = static_cast<std::size_t>(std::count_if(
        parameters.begin(), parameters.end(), [](const CParameter& parameter) { return !parameter.IsHidden(); }));
    const std::size_t values = flags > firstValue ? flags - firstValue : 0;
    if (values > takers) {
        std::ostringstream message;
        message << "The line holds " << values << " values for " << takers
                << " parameters (fit flags are 0 or 1)";
        throw KelvResult(E_UNEXPECTED, message.str());
    }
}

// Data lines: the lines after an interaction line that forms of some kinds
// read as part of the interaction.
enum class DataLine
{
    None,    // not a data line: the interaction is complete
    Data,    // a data line, handed to the form
    Last,    // a data line, handed to the form, after which no more follow
    Broken,  // meant as a data line but unreadable: the interaction fails
};
using DataLineTest = DataLine (*)(const TokenList& tokens);

// Spline points: exactly two numbers.
DataLine SplinePoint(const TokenList& tokens)
{
    if (tokens.size() != 2) {
        return DataLine::None;
    }
    return IsDecimal(tokens[0]) && IsDecimal(tokens[1]) ? DataLine::Data : DataLine::Broken;
}

// Ryckaert coefficients: one line of numbers only.
DataLine RyckaertCoefficients(const TokenList& tokens)
{
    if (tokens.empty()) {
        return DataLine::None;
    }
    for (const std::string& token : tokens) {
        if (!ReadsAsNumber(token)) {
            return DataLine::None;
        }
    }
    return std::all_of(tokens.begin(), tokens.end(), IsDecimal) ? DataLine::Last : DataLine::Broken;
}

// The forms that claim data lines: the form's keyword and the test of its
// data lines. Each data line is handed to the form's ParseInteractionLine
// with the position at the line's first token (the interaction line itself
// comes with the position after its atom types), so the form tells the two
// apart. A form with data lines of another shape adds a row here.
// `gives`: the leading part of the names of the parameters the data lines
// give when the interaction line gives them itself instead, the data lines
// are not read (null: the data lines are always read).
struct DataLineForm
{
    const char* keyword;
    DataLineTest test;
    const char* gives;
};
const DataLineForm kDataLineForms[] = {
    {"splin", &SplinePoint, nullptr},
    {"ryck", &RyckaertCoefficients, "coefficient"},
};

const DataLineForm* DataLinesOf(const std::string& keyword)
{
    for (const DataLineForm& form : kDataLineForms) {
        if (keyword == form.keyword) {
            return &form;
        }
    }
    return nullptr;
}

std::string UnknownFormReason(const std::string& keyword)
{
    return "\"" + MessageText::Excerpt(keyword) +
           "\" is no form keyword this reader knows: the lines of its form are kept as they stand";
}

std::string FollowsUnknownForm(int lineNumber)
{
    return "It follows the form keyword on line " + std::to_string(lineNumber) + ", which this reader does not know";
}

std::string FollowsUnreadForm(int formLineNumber)
{
    return "It follows the form line on line " + std::to_string(formLineNumber) + ", which cannot be read";
}

}  // namespace

// Lines of the library with their numbers in the file.
class CZelmLibUtils::LineSource
{
public:
    // `linesTaken`: how many lines of the file were read before; `first`:
    // lines (with their numbers) served before those of the stream.
    LineSource(std::istream& stream, int linesTaken, std::list<SourceLine> first = {})
        : m_stream(stream), m_number(linesTaken), m_first(std::move(first))
    {
    }

    int LastNumber() const { return m_number; }

    // Serves the line again as the next one.
    void PushBack(const SourceLine& line) { m_first.push_front(line); }

    // The next line that is not blank; false at the end of input.
    bool NextNonEmpty(SourceLine& line)
    {
        while (NextRaw(line)) {
            if (!ZelmParseUtilities::IsBlankLine(line.text)) {
                return true;
            }
        }
        return false;
    }

    // The next raw line; false at the end of input.
    bool NextRaw(SourceLine& line)
    {
        if (!m_first.empty()) {
            line = m_first.front();
            m_first.pop_front();
            return true;
        }
        if (!std::getline(m_stream, line.text)) {
            CheckStream(m_stream);
            line = SourceLine();
            return false;
        }
        // Read as it is written back: every carriage return that ends the
        // line is part of its line end, and a line is cut to the engine's
        // line length.
        ZelmParseUtilities::AsLibraryLine(line.text);
        line.number = ++m_number;
        return true;
    }

private:
    std::istream& m_stream;
    int m_number;
    std::list<SourceLine> m_first;
};

// One functional-form line: what it gives every interaction that follows
// it, and its block as read so far.
struct CZelmLibUtils::FormContext
{
    boost::shared_ptr<CFunctionalForm> form;
    std::string keyword;
    int numberOfAtoms = 0;
    bool multiLine = false;
    DataLineTest dataLines = nullptr;
    const char* dataLinesGive = nullptr;
    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;

    FormBlock block;
    long firstInteraction = NoInteraction;
    long lastInteraction = NoInteraction;
};

// The lines of one interaction as they are read.
struct CZelmLibUtils::InteractionLines
{
    std::vector<SourceLine> lines;  // in file order
    TokenList tokens;               // of every line, joined
    bool hasNext = false;           // a line to examine next was read
    SourceLine next;
    bool hasEnding = false;         // a blank or comment line cut the joining short
    SourceLine ending;
    bool open = false;              // the joining would go on over a continuation line
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

CZelmLibUtils::CZelmLibUtils(const CServerDescription& serverDescription, const std::string& text, FromText)
    : m_speciesReader(m_otherLines, false, std::string())
{
    ReadLibraryText(text, serverDescription);
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
    const std::string text = LibraryText(path, "Unable to read ZELM library file.");
    FindCutLines(text, false);
    CTextStream stream(text);
    m_description.clear();
    m_speciesReader.Read(stream, m_otherLines);
    CheckStream(stream);
    KeepUnreadSpecies();
}

void CZelmLibUtils::FindCutLines(const std::string& text, bool warn)
{
    m_cutDataLines.clear();
    const std::size_t limit = ZelmParseUtilities::ZelmLineLength();
    int number = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string::npos ? text.size() : newline;
        ++number;
        // Only a line longer than the engine's line length is looked at
        // closely (the carriage returns that end it are its line end).
        if (end - start > limit) {
            std::string_view line(text.data() + start, end - start);
            while (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            const std::string_view cut = ZelmParseUtilities::CutWord(line);
            if (!cut.empty()) {
                // The line as it is read: its first columns, cut (one more
                // tells a cut at a word's end from one inside it).
                std::string head(line.substr(0, limit + 1));
                const SourceLine source{ZelmParseUtilities::AsLibraryLine(head), number};
                const std::string word(cut.substr(0, MessageText::ExcerptLength + 1));
                const std::string reason = "The line is longer than the " + std::to_string(limit) +
                                           " columns the engine reads: it is cut before the word \"" +
                                           MessageText::Excerpt(word, MessageText::ExcerptLength, cut.size()) + "\"";
                if (!ZelmParseUtilities::IsCommentLine(source.text)) {
                    m_cutDataLines.push_back(Warning{number, source.text, reason, std::string()});
                }
                if (warn) {
                    Warn(source, reason);
                }
            }
        }
        start = end + 1;
    }
}

void CZelmLibUtils::RefuseCutDataLines(const std::string& libraryPath) const
{
    if (m_cutDataLines.empty()) {
        return;
    }
    std::string message = "The forcefield library \"" + MessageText::Excerpt(libraryPath) +
                          "\" has lines longer than the " + std::to_string(ZelmParseUtilities::ZelmLineLength()) +
                          " columns the engine reads, which it would read cut:";
    for (const Warning& cut : m_cutDataLines) {
        message += "\n  line " + std::to_string(cut.lineNumber) + ": " + MessageText::Excerpt(cut.line) + "\n    " +
                   cut.reason;
    }
    message += "\nMend these lines of the library first (break them, or shorten their words).";
    throw KelvResult(E_UNEXPECTED, message);
}

void CZelmLibUtils::KeepUnreadSpecies()
{
    m_keptSpeciesLines.clear();
    for (const CZelmSpeciesReader::KeptLine& kept : m_speciesReader.GetKeptLines()) {
        m_keptSpeciesLines.push_back(kept.line);
        Warn(SourceLine{kept.line, kept.lineNumber}, kept.reason);
    }
}

void CZelmLibUtils::ReadLibrary(const std::string& path, const CServerDescription& serverDescription)
{
    ReadLibraryText(LibraryText(path, "Unable to open ZELM library file."), serverDescription);
}

void CZelmLibUtils::ReadLibraryText(const std::string& text, const CServerDescription& serverDescription)
{
    m_description.clear();

    // Read from memory, so that the lines the species reader took can be
    // counted for the line numbers of the warnings.
    CTextStream stream(text);
    SourceLine firstLine;
    std::list<std::string> before;
    firstLine.text = m_speciesReader.Read(stream, before);
    CheckStream(stream);
    KeepUnreadSpecies();
    const int taken = LinesTaken(text, stream);
    stream.clear(stream.rdstate() & ~std::ios::failbit);
    firstLine.number = taken;

    // Form lines before the species section (or in a library without one)
    // start blocks like those after it: the library is read as it will be
    // written back (species first, then the blocks), so that it reads back
    // the same. The lines before the first of them stay other lines.
    const auto firstForm = std::find_if(before.begin(), before.end(), [&](const std::string& line) {
        return IsFunctionalFormLine(line, serverDescription);
    });
    std::list<SourceLine> early;
    for (const auto& numbered : NumberedLines(text, taken, firstForm, before.end())) {
        early.push_back(SourceLine{numbered.first, numbered.second});
    }
    m_otherLines.splice(m_otherLines.end(), before, before.begin(), firstForm);
    if (!early.empty()) {
        if (!ZelmParseUtilities::IsBlankLine(firstLine.text)) {
            early.push_back(firstLine);
        }
        firstLine = early.front();
        early.pop_front();
    }
    LineSource source(stream, taken, std::move(early));
    ParseLibraryBody(firstLine, source, serverDescription);

    // The lines the engine would read cut, among the others in file order.
    FindCutLines(text, true);
    std::stable_sort(m_warnings.begin(), m_warnings.end(),
                     [](const Warning& a, const Warning& b) { return a.lineNumber < b.lineNumber; });
}

void CZelmLibUtils::ParseLibraryBody(const SourceLine& firstLine, LineSource& source,
                                     const CServerDescription& serverDescription)
{
    SourceLine formLine;
    bool haveForm;
    if (!ZelmParseUtilities::IsBlankLine(firstLine.text) &&
        IsFunctionalFormLine(firstLine.text, serverDescription)) {
        formLine = firstLine;
        haveForm = true;
    } else {
        haveForm = KeepLinesBeforeForms(firstLine, source, serverDescription, formLine);
    }
    while (haveForm) {
        haveForm = ParseFormBlock(formLine, source, serverDescription);
    }
}

bool CZelmLibUtils::KeepLinesBeforeForms(const SourceLine& firstLine, LineSource& source,
                                         const CServerDescription& serverDescription, SourceLine& formLine)
{
    // Kept among the other lines, in their place after the species. Each
    // but a comment is told: the first that begins with a word that is no
    // species opens the block of a form this reader does not know, and the
    // lines after it up to the next form line are that form's.
    std::string follows;
    SourceLine line = firstLine;
    bool haveLine = !ZelmParseUtilities::IsBlankLine(line.text);
    for (;;) {
        if (haveLine) {
            if (IsFunctionalFormLine(line.text, serverDescription)) {
                formLine = line;
                return true;
            }
            m_otherLines.push_back(line.text);
            TokenList tokens;
            Tokenize(line.text, tokens);
            if (ZelmParseUtilities::IsCommentLine(line.text)) {
                // a comment stays as it is
            } else if (!follows.empty()) {
                Warn(line, follows);
            } else if (!tokens.empty() && !m_speciesReader.HasSpecies(tokens.front()) &&
                       std::isalpha(static_cast<unsigned char>(tokens.front().front()))) {
                ++m_keptForms;
                Warn(line, UnknownFormReason(tokens.front()));
                follows = FollowsUnknownForm(line.number);
            } else {
                Warn(line, "No form line comes before it: it is kept as it stands");
            }
        }
        haveLine = source.NextNonEmpty(line);
        if (!haveLine) {
            return false;
        }
    }
}

bool CZelmLibUtils::ParseFormBlock(SourceLine& formLine, LineSource& source,
                                   const CServerDescription& serverDescription)
{
    FormContext context;
    std::string error;
    if (!ReadFormLine(formLine, serverDescription, context, error)) {
        return KeepUnreadForm(formLine, error, formLine.number, source, serverDescription, formLine);
    }
    SourceLine line;
    bool haveLine = source.NextNonEmpty(line);

    // The polynomial's order stands alone on the next line. Without a valid
    // one the form is not read: its line and the lines after it are kept.
    if (context.keyword == "poly") {
        if (!haveLine || !ReadPolynomialOrder(line, context)) {
            return KeepPolynomialWithoutOrder(formLine, haveLine ? &line : nullptr, source, serverDescription);
        }
        haveLine = source.NextNonEmpty(line);
    }
    if (!haveLine) {
        FinishBlock(context);
        return false;
    }
    return ReadBlockLines(line, context, source, serverDescription, formLine);
}

bool CZelmLibUtils::ReadFormLine(const SourceLine& formLine, const CServerDescription& serverDescription,
                                 FormContext& context, std::string& error) const
{
    std::string lower = formLine.text;
    ZelmParseUtilities::MakeStringLowerCase(lower);
    TokenList tokens;
    Tokenize(lower, tokens);
    try {
        const std::string& word = tokens.at(0);
        const std::string& typeName = serverDescription.GetTypeOfFunctionalForm(word);
        boost::shared_ptr<CInteractionType> type = serverDescription.GetInteractionType(typeName);
        context.form = type->GetFunctionalForm(serverDescription.GetFunctionalFormFullName(word));
        context.numberOfAtoms = type->GetNumberOfAtoms();
        context.form->ParseFunctionalFormLine(tokens, context.booleans, context.integers, context.doubles,
                                              context.parameters);
    } catch (...) {
        error = CurrentFailure("The form line cannot be read");
        return false;
    }
    context.keyword = context.form->GetKeyword();
    const bool glue = !context.booleans.empty() && std::find(tokens.begin(), tokens.end(), "glue") != tokens.end();
    context.multiLine = context.keyword == "srgl" || glue;
    const DataLineForm* dataLines = DataLinesOf(context.keyword);
    context.dataLines = dataLines ? dataLines->test : nullptr;
    context.dataLinesGive = dataLines ? dataLines->gives : nullptr;
    return true;
}

bool CZelmLibUtils::ReadPolynomialOrder(const SourceLine& line, FormContext& context) const
{
    TokenList tokens;
    Tokenize(line.text, tokens);
    int order = 0;
    if (!IsSingleIntegerLine(tokens, order)) {
        return false;
    }
    try {
        context.form->SetIntegerOption(0, order, context.integers, context.booleans, context.parameters);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        return false;  // an order the form refuses
    }
    return true;
}

bool CZelmLibUtils::KeepUnreadForm(SourceLine unread, const std::string& reason, int formLineNumber,
                                   LineSource& source, const CServerDescription& serverDescription,
                                   SourceLine& formLine)
{
    m_otherLines.push_back(unread.text);
    Warn(unread, reason);
    return ReadUntilFunctionalFormLine(source, serverDescription, formLine, FollowsUnreadForm(formLineNumber));
}

bool CZelmLibUtils::KeepPolynomialWithoutOrder(SourceLine& formLine, const SourceLine* next, LineSource& source,
                                               const CServerDescription& serverDescription)
{
    const std::string reason = "No valid polynomial order follows the form line";
    const int formNumber = formLine.number;
    m_otherLines.push_back(formLine.text);
    Warn(formLine, reason);
    if (!next) {
        return false;
    }
    if (IsFunctionalFormLine(next->text, serverDescription)) {
        formLine = *next;
        return true;
    }
    return KeepUnreadForm(*next, reason, formNumber, source, serverDescription, formLine);
}

bool CZelmLibUtils::ReadBlockLines(SourceLine line, FormContext& context, LineSource& source,
                                   const CServerDescription& serverDescription, SourceLine& formLine)
{
    for (;;) {
        if (ZelmParseUtilities::IsCommentLine(line.text)) {
            KeepInBlock(context, line, std::string());
        } else {
            // A line that begins with a species is an interaction, even when
            // its first word would also name a form.
            TokenList tokens;
            Tokenize(line.text, tokens);
            const bool startsWithSpecies = !tokens.empty() && m_speciesReader.HasSpecies(tokens.front());
            if (!startsWithSpecies && IsFunctionalFormLine(line.text, serverDescription)) {
                FinishBlock(context);
                formLine = line;
                return true;
            }
            if (!startsWithSpecies && IsUnknownFormLine(tokens, context.numberOfAtoms, context.multiLine)) {
                return KeepUnknownForm(line, tokens.front(), context, source, serverDescription, formLine);
            }
            SourceLine next;
            if (ReadInteraction(line, context, source, next)) {
                line = next;
                continue;
            }
        }
        if (!source.NextNonEmpty(line)) {
            FinishBlock(context);
            return false;
        }
    }
}

bool CZelmLibUtils::IsUnknownFormLine(const TokenList& tokens, int numberOfAtoms, bool multiLine) const
{
    // A keyword begins with a letter. An interaction whose first species is
    // unknown goes on with a qualifier, or with the other atom types of its
    // form (known species, each with or without its qualifier) and a value;
    // a word followed by anything else ("tersoff Si", "sw3 12.0") opens a
    // form, and so does a keyword followed only by a qualifier ("tersoff
    // core", shaped as the species section tells a keyword), which gives no
    // value, unless the interaction may go on over the lines after it.
    if (tokens.empty() || !std::isalpha(static_cast<unsigned char>(tokens.front().front()))) {
        return false;
    }
    if (tokens.size() < 2) {
        return true;
    }
    if (IsQualifier(tokens[1])) {
        return tokens.size() == 2 && !multiLine && CZelmSpeciesReader::IsKeywordShaped(tokens.front());
    }
    std::size_t position = 1;
    for (int atom = 1; atom < numberOfAtoms; ++atom) {
        if (position >= tokens.size() || !m_speciesReader.HasSpecies(tokens[position])) {
            return true;
        }
        ++position;
        if (position < tokens.size() && IsQualifier(tokens[position])) {
            ++position;
        }
    }
    return position == 1 || position >= tokens.size() || !ReadsAsNumber(tokens[position]);
}

bool CZelmLibUtils::KeepUnknownForm(const SourceLine& line, const std::string& keyword, FormContext& context,
                                    LineSource& source, const CServerDescription& serverDescription,
                                    SourceLine& formLine)
{
    ++m_keptForms;
    KeepInBlock(context, line, UnknownFormReason(keyword), true);
    const std::string follows = FollowsUnknownForm(line.number);
    // Blank lines stay when a line of the form follows them.
    std::vector<SourceLine> blanks;
    SourceLine next;
    while (source.NextRaw(next)) {
        if (ZelmParseUtilities::IsBlankLine(next.text)) {
            blanks.push_back(next);
            continue;
        }
        if (IsFunctionalFormLine(next.text, serverDescription)) {
            FinishBlock(context);
            formLine = next;
            return true;
        }
        for (const SourceLine& blank : blanks) {
            KeepInBlock(context, blank, std::string(), true);
        }
        blanks.clear();
        KeepInBlock(context, next, ZelmParseUtilities::IsCommentLine(next.text) ? std::string() : follows, true);
    }
    FinishBlock(context);
    return false;
}

bool CZelmLibUtils::ReadInteraction(const SourceLine& line, FormContext& context, LineSource& source,
                                    SourceLine& next)
{
    InteractionLines lines;
    std::list<std::string> atomTypes;
    std::size_t firstValue = 0;
    std::string error = CollectInteractionLines(line, context, source, lines, atomTypes, firstValue);

    std::vector<CParameter> parameters = context.parameters;
    if (error.empty()) {
        error = ReadValues(context, lines.tokens, firstValue, parameters);
    }
    if (context.dataLines && !lines.hasNext && !lines.hasEnding &&
        !(error.empty() && LineGivesDataLineValues(context, lines.tokens, firstValue))) {
        ReadDataLines(context, source, lines, parameters, error);
    }
    if (error.empty()) {
        error = StoreInteraction(context, atomTypes, parameters);
    }
    if (!error.empty()) {
        const std::size_t warned = m_warnings.size();
        for (const SourceLine& kept : lines.lines) {
            KeepInBlock(context, kept, error);
        }
        context.block.keptLines.back().open = lines.open;
        const std::string notANumber = NotANumberWord(lines.tokens, firstValue);
        for (std::size_t i = warned; i < m_warnings.size(); ++i) {
            m_warnings[i].notANumber = notANumber;
        }
    }
    // A comment that cut the joining short stays in its place; so does a
    // blank line that cut short an interaction that was kept as text, since
    // the lines after it would otherwise join it when the file is read again.
    if (lines.hasEnding && (!error.empty() || ZelmParseUtilities::IsCommentLine(lines.ending.text))) {
        KeepInBlock(context, lines.ending, std::string());
    }
    if (lines.hasNext) {
        next = lines.next;
    }
    return lines.hasNext;
}

std::string CZelmLibUtils::CollectInteractionLines(const SourceLine& line, const FormContext& context,
                                                   LineSource& source, InteractionLines& lines,
                                                   std::list<std::string>& atomTypes, std::size_t& firstValue) const
{
    lines.lines.push_back(line);
    Tokenize(line.text, lines.tokens);
    std::string error;
    try {
        firstValue = ReadAtomTypes(lines.tokens, context.numberOfAtoms, atomTypes);
    } catch (...) {
        error = CurrentFailure("The atom types cannot be read");
    }
    if (context.multiLine) {
        // An interaction whose atom types failed still has its continuation
        // lines taken, so that they stay with it.
        JoinContinuationLines(context, firstValue, error.empty(), source, lines);
        TokenList& tokens = lines.tokens;
        tokens.erase(std::remove(tokens.begin() + static_cast<std::ptrdiff_t>(firstValue), tokens.end(),
                                 kContinuation),
                     tokens.end());
    }
    return error;
}

bool CZelmLibUtils::LineGivesDataLineValues(const FormContext& context, const TokenList& tokens,
                                            std::size_t firstValue) const
{
    if (!context.dataLinesGive) {
        return false;
    }
    // The interaction line read once more over values that no number equals.
    const std::string prefix = context.dataLinesGive;
    std::vector<CParameter> probe = context.parameters;
    for (CParameter& parameter : probe) {
        if (parameter.GetName().compare(0, prefix.size(), prefix) == 0) {
            parameter.SetValue(std::numeric_limits<double>::quiet_NaN());
        }
    }
    if (!ReadValues(context, tokens, firstValue, probe).empty()) {
        return false;
    }
    return std::any_of(probe.begin(), probe.end(), [&](const CParameter& parameter) {
        return parameter.GetName().compare(0, prefix.size(), prefix) == 0 && !std::isnan(parameter.GetValue());
    });
}

bool CZelmLibUtils::FollowedByContinuation(LineSource& source)
{
    SourceLine line;
    if (!source.NextNonEmpty(line)) {
        return false;
    }
    source.PushBack(line);
    return IsContinuationLine(line.text);
}

void CZelmLibUtils::JoinContinuationLines(const FormContext& context, std::size_t firstValue, bool atomTypesRead,
                                          LineSource& source, InteractionLines& lines) const
{
    // How many values the interaction needs.
    const std::size_t needed = static_cast<std::size_t>(
        std::count_if(context.parameters.begin(), context.parameters.end(),
                      [](const CParameter& parameter) { return !parameter.IsHidden() && !parameter.IsOptional(); }));
    TokenList& tokens = lines.tokens;
    auto valueCount = [&]() {
        std::size_t count = 0;
        for (std::size_t i = firstValue; i < tokens.size(); ++i) {
            if (tokens[i] != kContinuation) {
                ++count;
            }
        }
        return count;
    };
    bool continued = !tokens.empty() && tokens.back() == kContinuation;
    SourceLine raw;
    while (!atomTypesRead || continued || valueCount() < needed) {
        if (!source.NextRaw(raw)) {
            break;
        }
        TokenList rawTokens;
        Tokenize(raw.text, rawTokens);
        if (rawTokens.empty() && !FollowedByContinuation(source)) {
            // A blank line before a line that would not be joined anyway (or
            // before the end of the file) ends nothing and is dropped: the
            // lines around it may stand elsewhere when the file is written.
            break;
        }
        if (rawTokens.empty() || ZelmParseUtilities::IsCommentLine(raw.text)) {
            lines.ending = raw;
            lines.hasEnding = true;
            break;
        }
        if (rawTokens.front() != kContinuation && !ReadsAsNumber(rawTokens.front())) {
            lines.next = raw;
            lines.hasNext = true;
            break;
        }
        lines.lines.push_back(raw);
        tokens.insert(tokens.end(), rawTokens.begin(), rawTokens.end());
        continued = rawTokens.back() == kContinuation;
    }
    lines.open = !atomTypesRead || continued || valueCount() < needed;
}

std::string CZelmLibUtils::ReadValues(const FormContext& context, const TokenList& tokens, std::size_t firstValue,
                                      std::vector<CParameter>& parameters) const
{
    try {
        context.form->ParseInteractionLine(tokens, tokens.begin() + static_cast<std::ptrdiff_t>(firstValue),
                                           context.booleans, parameters);
        CheckValueWords(tokens, firstValue, parameters);
    } catch (...) {
        return CurrentFailure("The values cannot be read");
    }
    return std::string();
}

void CZelmLibUtils::ReadDataLines(const FormContext& context, LineSource& source, InteractionLines& lines,
                                  std::vector<CParameter>& parameters, std::string& error) const
{
    SourceLine line;
    while (source.NextNonEmpty(line)) {
        TokenList tokens;
        Tokenize(line.text, tokens);
        const DataLine kind = context.dataLines(tokens);
        if (kind == DataLine::None) {
            lines.next = line;
            lines.hasNext = true;
            return;
        }
        lines.lines.push_back(line);
        if (!error.empty()) {
            // The interaction has failed: its data lines stay with it.
        } else if (kind == DataLine::Broken) {
            error = "The data line \"" + MessageText::Excerpt(line.text) + "\" cannot be read";
        } else {
            try {
                context.form->ParseInteractionLine(tokens, tokens.begin(), context.booleans, parameters);
            } catch (...) {
                error = CurrentFailure("A data line cannot be read");
            }
        }
        if (kind == DataLine::Last) {
            return;
        }
    }
}

std::string CZelmLibUtils::StoreInteraction(FormContext& context, const std::list<std::string>& atomTypes,
                                            const std::vector<CParameter>& parameters)
{
    InteractionEntry entry;
    entry.atomTypes.assign(atomTypes.begin(), atomTypes.end());
    try {
        entry.interaction = boost::make_shared<CInteraction>(context.form, parameters, context.booleans,
                                                             context.integers, context.doubles);
    } catch (...) {
        return CurrentFailure("The interaction cannot be made");
    }
    m_interactions.push_back(std::move(entry));
    const long index = static_cast<long>(m_interactions.size()) - 1;
    if (context.firstInteraction == NoInteraction) {
        context.firstInteraction = index;
    }
    context.lastInteraction = index;
    return std::string();
}

void CZelmLibUtils::KeepInBlock(FormContext& context, const SourceLine& line, const std::string& reason,
                                bool unknownForm)
{
    KeptLine kept;
    kept.text = line.text;
    kept.after = context.lastInteraction;
    kept.unknownForm = unknownForm;
    context.block.keptLines.push_back(kept);
    if (!reason.empty()) {
        Warn(line, reason);
    }
}

void CZelmLibUtils::FinishBlock(FormContext& context)
{
    if (context.block.keptLines.empty() && context.firstInteraction != NoInteraction) {
        return;
    }
    for (KeptLine& kept : context.block.keptLines) {
        if (kept.after == NoInteraction) {
            kept.before = context.firstInteraction;
        }
    }
    context.block.formLine = context.form->WriteFunctionalFormLine(context.booleans, context.integers,
                                                                   context.doubles);
    m_formBlocks.push_back(std::move(context.block));
}

void CZelmLibUtils::Warn(const SourceLine& line, const std::string& reason)
{
    Warning warning;
    warning.lineNumber = line.number;
    warning.line = line.text;
    warning.reason = reason;
    m_warnings.push_back(warning);
}

bool CZelmLibUtils::IsFunctionalFormLine(const std::string& line,
                                         const CServerDescription& serverDescription) const
{
    TokenList tokens;
    Tokenize(line, tokens);
    if (tokens.empty()) {
        return false;
    }
    // A line that begins with a species is an interaction wherever it
    // stands, even when its first word would also name a form.
    if (m_speciesReader.HasSpecies(tokens.front())) {
        return false;
    }
    std::string keyword = tokens.front();
    ZelmParseUtilities::MakeStringLowerCase(keyword);
    return serverDescription.HasFunctionalForm(keyword);
}

bool CZelmLibUtils::ReadUntilFunctionalFormLine(LineSource& source,
                                                const CServerDescription& serverDescription,
                                                SourceLine& formLine, const std::string& reason)
{
    SourceLine line;
    while (source.NextNonEmpty(line)) {
        if (IsFunctionalFormLine(line.text, serverDescription)) {
            formLine = line;
            return true;
        }
        m_otherLines.push_back(line.text);
        if (!reason.empty() && !ZelmParseUtilities::IsCommentLine(line.text)) {
            Warn(line, reason);
        }
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
            throw KelvResult(E_UNEXPECTED, "Library contains undefined atom type: " + MessageText::Excerpt(name));
        }
        std::string qualifier;
        if (position + 1 < tokens.size()) {
            if (IsQualifier(tokens[position + 1])) {
                qualifier = tokens[position + 1];
                ZelmParseUtilities::MakeStringLowerCase(qualifier);
                ++position;
            } else {
                qualifier = "core";
            }
        }
        ++position;
        std::string atomTypeName;
        if (!m_speciesReader.IsMatchingAtomtype(species, qualifier, atomTypeName)) {
            throw KelvResult(E_UNEXPECTED, "Library contains undefined atom type: " + MessageText::Excerpt(atomTypeName));
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
    try {
        value = GetFieldAsInteger(tokens.front(), 0);
    } catch (const KelvResult&) {
        return false;  // no number, or out of range
    }
    return true;
}

bool CZelmLibUtils::IsContinuationLine(const std::string& line)
{
    TokenList tokens;
    Tokenize(line, tokens);
    return !tokens.empty() && !ZelmParseUtilities::IsCommentLine(line) &&
           (tokens.front() == kContinuation || ReadsAsNumber(tokens.front()));
}

void CZelmLibUtils::Tokenize(const std::string& line, TokenList& tokens)
{
    ParseUtilities::Tokenize(line, tokens, " \t");
}
