// Reader of an engine forcefield library (".lib"): its species, its
// interactions and the lines it holds besides them.
//
// The library is read completely by the constructor; a reader either holds
// the whole content of the file or was never made (every failure leaves the
// constructor as KelvResult).
//
// Layout read:
//   [lines before the species section]   kept among the other lines
//   species section                      read by CZelmSpeciesReader
//   then, repeated:
//     [other lines]                      kept among the other lines
//     functional-form line               a keyword the server description knows
//     ["poly" only: the order, a number alone on its line]
//     the form's block: interaction lines (atom types, values, fit flags),
//     comments and lines that cannot be read, up to the next form line
//
// Interaction lines: each begins with the atom types of the interaction
// (a species name, optionally followed by "core" or a word holding "shel";
// no qualifier means core). Forms that write an interaction over several
// lines ("srgl", and every form whose line holds the option "glue") have
// their following lines joined until the interaction holds a value for
// every parameter that needs one and the last line joined does not end
// with the continuation word "&" ("&" words are dropped). Joining stops
// early at a blank line or a comment line (both consumed) and before a line
// that does not begin with a number, which is examined next. Forms with data
// lines of their own ("splin": every following line of exactly two numbers;
// "ryck": one following line of numbers only, its coefficients) take them
// after the interaction line.
//
// Nothing of the file is lost. A line of a block that is not read as (part
// of) an interaction stays with its block (GetFormBlocks) and is written
// back under the block's form line, in its place among the block's
// interactions: comments, and interaction lines that cannot be read (an
// unknown or missing atom type, too few values, a word that is neither a
// value nor a fit flag 0 or 1, more values than the form has parameters,
// data that cannot be read). The lines after such a line are still read as
// interactions of the block. A form line that its form cannot read (and a
// "poly" form line without a valid order line) is kept among the other lines
// with every line up to the next form line. Blank lines are dropped, except
// one that cut an interaction short.
//
// A line of a block that begins with a word that is neither a species nor a
// form keyword this reader knows, and that does not go on with the atom
// types of an interaction ("core", "shel" or a species), is taken for the
// form line of a form this reader does not know ("tersoff"): it and every
// line after it up to the next form line (blank lines between them
// included) stay in the block as they stand, each with a warning, and none
// of them is read as an interaction of the form before it.
//
// The lines between the species section and the first form line stay
// among the other lines, each but a comment with a warning: the first that
// begins with a word that is neither a species nor a form keyword opens the
// block of a form this reader does not know (the lines after it up to the
// next form line are that form's), as inside a block. GetKeptFormCount
// counts such blocks wherever they stand.
//
// Numbers (values, data lines) are decimal, the whole word
// (ZelmParseUtilities::ReadDecimal, as the species' charges): "0x10" or
// "nan" keeps its line as text.
//
// A line longer than the engine's line length is read cut to it as the
// engine reads it; when a word is lost it gives a warning naming the word,
// and a data line so cut is one of GetCutDataLines.
//
// Species lines whose charge is not a number leave their species out (see
// CZelmSpeciesReader); they are kept as written (GetKeptSpeciesLines) and
// written back in the species section.
//
// Every line kept instead of read, comments aside, gives a warning
// (GetWarnings): its line number, the line and the reason.
#pragma once

#include <istream>
#include <list>
#include <map>
#include <string>
#include <vector>

#include <boost/container/small_vector.hpp>
#include <boost/shared_ptr.hpp>

#include "com/com.h"
#include "kelv/kelv.h"
#include "qorff/FunctionalForm.h"
#include "qorff/Interaction.h"
#include "qorff/ServerDescription.h"
#include "qorvira/Species.h"
#include "qorvira/ZelmSpeciesReader.h"

struct ISDObject;

class CZelmLibUtils
{
public:
    // One interaction read from the library with the names of its atom types
    // ("Na core", "O shel"), in the order of the line.
    //
    // The entries stand in one array and hold up to four names in place
    // (and a name of up to 15 characters its text): a reader that made heap
    // blocks of its own for each interaction, between those of the
    // interactions, would leave a hole beside every interaction it handed
    // over once it is gone (CZelmForcefield takes them), and what is done
    // with the forcefield afterwards would have its allocations scattered
    // into those holes (writing a library of 33,000 interactions took half
    // as long again).
    struct InteractionEntry
    {
        boost::container::small_vector<std::string, 4> atomTypes;
        boost::shared_ptr<CInteraction> interaction;
    };
    using InteractionList = std::vector<InteractionEntry>;

    // A line kept as text instead of read: its number in the file (from 1),
    // the line as it stands and why it was not read.
    struct Warning
    {
        int lineNumber = 0;
        std::string line;
        std::string reason;
        // The word of an interaction line kept as text that stands for a
        // value but is no finite number ("nan", "inf", "1e999"); empty for
        // other lines.
        std::string notANumber;
    };

    // A line of a form block kept as text. Its place: right after the
    // block's interaction `after`, or, when no interaction of the block comes
    // before it, right before the block's interaction `before` (both are
    // positions in GetInteractions(); NoInteraction when there is none).
    static constexpr long NoInteraction = -1;
    struct KeptLine
    {
        std::string text;
        long after = NoInteraction;
        long before = NoInteraction;
        // The last line of an interaction of a multi-line form that was kept
        // as text and would have taken a following line that begins with a
        // number (or "&") as its continuation: such a line may not follow it
        // directly when the library is written.
        bool open = false;
        // A line of the block of a form keyword this reader does not know,
        // which runs from that keyword up to the next form line: a line of
        // this block's form may not follow it directly when the library is
        // written (it would be read as a line of the unknown form).
        bool unknownForm = false;
    };
    // A form block that keeps lines, or that has no interaction at all (its
    // form line alone is kept). `formLine` is the form line as the form
    // writes it, with its line break.
    struct FormBlock
    {
        std::string formLine;
        std::list<KeptLine> keptLines;
    };

    // Reads the species section only. A file that cannot be opened throws
    // KelvResult E_UNEXPECTED "Unable to read ZELM library file.".
    CZelmLibUtils(bool isStandardLibrary, const std::string& libraryPath);
    // Reads the whole library with the forms of the server description. A
    // file that cannot be opened throws KelvResult E_UNEXPECTED "Unable to
    // open ZELM library file."; a stream that fails while reading throws
    // "Problem reading file".
    CZelmLibUtils(bool isStandardLibrary, const std::string& libraryPath,
                  const CServerDescription& serverDescription);
    // Reads a whole library from its text, as the constructor above reads
    // the text of a file (a converted dump that is not written yet).
    struct FromText {};
    CZelmLibUtils(const CServerDescription& serverDescription, const std::string& text, FromText);
    virtual ~CZelmLibUtils();

    CZelmLibUtils(const CZelmLibUtils&) = delete;
    CZelmLibUtils& operator=(const CZelmLibUtils&) = delete;

    // Species queries (see CZelmSpeciesReader).
    bool HasShell() const;
    bool HasCharges() const;
    const std::map<std::string, CSpecies>& GetAllSpecies() const;
    CSpecies Get(const KelvComPtr<ISDObject>& atom) const;
    bool HasSpecies(const KelvComPtr<ISDObject>& atom) const;
    double GetCoreCharge(const KelvComPtr<ISDObject>& atom) const;
    double GetShellCharge(const KelvComPtr<ISDObject>& atom) const;
    std::string GetAlternativeName(const KelvComPtr<ISDObject>& atom) const;

    // Library content. The description is always empty: libraries carry none.
    std::string& GetDescription() { return m_description; }
    InteractionList& GetInteractions() { return m_interactions; }
    std::list<std::string>& GetOtherLines() { return m_otherLines; }
    const std::string& GetDescription() const { return m_description; }
    const InteractionList& GetInteractions() const { return m_interactions; }
    const std::list<std::string>& GetOtherLines() const { return m_otherLines; }
    // In file order.
    const std::list<FormBlock>& GetFormBlocks() const { return m_formBlocks; }
    // In file order.
    const std::vector<Warning>& GetWarnings() const { return m_warnings; }
    // The species lines left out, as written, in file order.
    const std::list<std::string>& GetKeptSpeciesLines() const { return m_keptSpeciesLines; }

    // The library's cut data lines: every line but a comment that is longer
    // than the engine's line length (ZelmParseUtilities::ZelmLineLength) with
    // a word beyond it, each with the word that is cut, in file order. The
    // engine would read such a line cut (a charge or a value lost, an option
    // dropped). Both readings find them; the whole reading also gives each
    // long line, comments included, a warning.
    const std::vector<Warning>& GetCutDataLines() const { return m_cutDataLines; }
    // Throws KelvResult E_UNEXPECTED naming the library and each of its cut
    // data lines; nothing when it has none. Every command that hands the
    // library to the engine (deck, check, export, run) refuses it so.
    void RefuseCutDataLines(const std::string& libraryPath) const;

    // How many blocks of forms this reader does not know were kept as text,
    // wherever they stand (each opened by its keyword line).
    int GetKeptFormCount() const { return m_keptForms; }

    // Whether an interaction of a multi-line form that still lacks values
    // takes the line as its continuation (its first word is "&" or begins
    // with a number).
    static bool IsContinuationLine(const std::string& line);

private:
    struct SourceLine
    {
        std::string text;
        int number = 0;
    };
    class LineSource;
    // Whether the next line that is not blank would join an interaction
    // written over several lines (it stays unread).
    static bool FollowedByContinuation(LineSource& source);
    struct FormContext;
    struct InteractionLines;

    void ReadSpecies(const std::string& path);
    // Takes the species lines the species reader left out, with warnings.
    void KeepUnreadSpecies();
    void ReadLibrary(const std::string& path, const CServerDescription& serverDescription);
    void ReadLibraryText(const std::string& text, const CServerDescription& serverDescription);
    // Finds the cut data lines of the text; with `warn`, every long line is
    // also a warning.
    void FindCutLines(const std::string& text, bool warn);
    void ParseLibraryBody(const SourceLine& firstLine, LineSource& source,
                          const CServerDescription& serverDescription);

    // One form line with its block. Each returns whether a further form line
    // was found (it is then in `formLine`).
    // The lines after the species up to the first form line (`firstLine`
    // the first of them), kept among the other lines with warnings; returns
    // whether a form line was found (then in `formLine`).
    bool KeepLinesBeforeForms(const SourceLine& firstLine, LineSource& source,
                              const CServerDescription& serverDescription, SourceLine& formLine);
    bool ParseFormBlock(SourceLine& formLine, LineSource& source,
                        const CServerDescription& serverDescription);
    // The form and options of the form line; false with the reason in `error`.
    bool ReadFormLine(const SourceLine& formLine, const CServerDescription& serverDescription,
                      FormContext& context, std::string& error) const;
    // The "poly" order line; false when it holds no order the form takes.
    bool ReadPolynomialOrder(const SourceLine& line, FormContext& context) const;
    // Keeps a "poly" form line without a valid order, with the line after
    // it (`next`, null at the end of input) unless that is a form line.
    bool KeepPolynomialWithoutOrder(SourceLine& formLine, const SourceLine* next, LineSource& source,
                                    const CServerDescription& serverDescription);
    // Keeps a form line that cannot be read, with the reason, and every
    // line after it up to the next form line.
    // `formLineNumber` is the number of the form line that was not read.
    bool KeepUnreadForm(SourceLine unread, const std::string& reason, int formLineNumber, LineSource& source,
                        const CServerDescription& serverDescription, SourceLine& formLine);
    // Whether a line of a block that is neither an interaction of a species
    // nor a form line is the form line of a form this reader does not know
    // (`multiLine`: the block's interactions may go on over further lines).
    bool IsUnknownFormLine(const TokenList& tokens, int numberOfAtoms, bool multiLine) const;
    // Keeps the block of an unknown form that begins at `line`.
    bool KeepUnknownForm(const SourceLine& line, const std::string& keyword, FormContext& context,
                         LineSource& source, const CServerDescription& serverDescription, SourceLine& formLine);
    bool ReadBlockLines(SourceLine line, FormContext& context, LineSource& source,
                        const CServerDescription& serverDescription, SourceLine& formLine);
    // Reads the interaction that starts at `line` and keeps its lines when it
    // cannot be read; returns whether a line to examine next was left over
    // (then in `next`).
    bool ReadInteraction(const SourceLine& line, FormContext& context, LineSource& source, SourceLine& next);
    // The interaction's first line, its atom types and, for multi-line
    // forms, its continuation lines; "" or the reason it cannot be read.
    std::string CollectInteractionLines(const SourceLine& line, const FormContext& context, LineSource& source,
                                        InteractionLines& lines, std::list<std::string>& atomTypes,
                                        std::size_t& firstValue) const;
    // The lines of a multi-line interaction after its first.
    void JoinContinuationLines(const FormContext& context, std::size_t firstValue, bool atomTypesRead,
                               LineSource& source, InteractionLines& lines) const;
    // The values and fit flags of the joined tokens; "" or the reason.
    // Whether the interaction line gives the values its form's data lines
    // would give (then no data line follows it).
    bool LineGivesDataLineValues(const FormContext& context, const TokenList& tokens, std::size_t firstValue) const;
    std::string ReadValues(const FormContext& context, const TokenList& tokens, std::size_t firstValue,
                           std::vector<CParameter>& parameters) const;
    // The data lines of forms that have them; `error` gets the reason when
    // one cannot be read, and once set the data lines are only collected.
    void ReadDataLines(const FormContext& context, LineSource& source, InteractionLines& lines,
                       std::vector<CParameter>& parameters, std::string& error) const;
    // "" or the reason the interaction cannot be made.
    std::string StoreInteraction(FormContext& context, const std::list<std::string>& atomTypes,
                                 const std::vector<CParameter>& parameters);
    void KeepInBlock(FormContext& context, const SourceLine& line, const std::string& reason,
                     bool unknownForm = false);
    void FinishBlock(FormContext& context);
    void Warn(const SourceLine& line, const std::string& reason);

    bool IsFunctionalFormLine(const std::string& line,
                              const CServerDescription& serverDescription) const;
    // Appends every line up to the next form line to the other lines (with a
    // warning giving `reason` for each that is no comment, when a reason is
    // given); false at the end of input, else the form line is in `formLine`.
    bool ReadUntilFunctionalFormLine(LineSource& source, const CServerDescription& serverDescription,
                                     SourceLine& formLine, const std::string& reason = std::string());
    // Reads the atom types of an interaction from the start of `tokens` and
    // returns the position after them.
    std::size_t ReadAtomTypes(const TokenList& tokens, int numberOfAtoms,
                              std::list<std::string>& atomTypes) const;

    static int GetFieldAsInteger(const std::string& text, int index);
    // True for one token that reads as an integer field (as "3", "+3" or
    // "3.0"); the integer is then in `value`.
    static bool IsSingleIntegerLine(const TokenList& tokens, int& value);
    static void Tokenize(const std::string& line, TokenList& tokens);

    std::list<std::string> m_otherLines;
    std::string m_description;
    CZelmSpeciesReader m_speciesReader;
    InteractionList m_interactions;
    std::list<FormBlock> m_formBlocks;
    std::vector<Warning> m_warnings;
    std::list<std::string> m_keptSpeciesLines;
    std::vector<Warning> m_cutDataLines;
    int m_keptForms = 0;
};
