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
//     ["poly" only: the order, an integer alone on its line]
//     interaction lines                  atom types, values, fit flags
//
// Interaction lines: each begins with the atom types of the interaction
// (a species name, optionally followed by "core" or a word holding "shel";
// no qualifier means core). Forms that write an interaction over several
// lines ("srgl", and every form whose line holds the option "glue") have
// their following lines joined until the interaction holds a value for
// every parameter that needs one and the last line joined does not end
// with the continuation word "&" ("&" words are dropped). Joining stops
// early at a blank line or a comment line (both consumed) and before a line
// that does not begin with a number, which is examined next. A "splin"
// interaction takes every following line of exactly two numbers as data, a
// "ryck" interaction one following line of numbers only (its coefficients).
// The interactions of a form end at a line that is neither a comment nor
// begins with a known species; that line is examined as a form line or
// kept among the other lines.
//
// What the reader does not turn into species or interactions is kept, in
// file order, among the other lines (written back by the forcefield), with
// these exceptions: blank lines, and the lines of interactions that fail to
// read (unknown or missing atom types, values that cannot be read, too few
// values), which are dropped. Kept are in particular comment lines, form
// lines that their form cannot read, a "poly" form line that is not
// followed by a valid order line (with the line that follows it), and
// every line up to the next form line after either.
#pragma once

#include <istream>
#include <list>
#include <map>
#include <string>
#include <vector>

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
    struct InteractionEntry
    {
        std::list<std::string> atomTypes;
        boost::shared_ptr<CInteraction> interaction;
    };
    using InteractionList = std::list<InteractionEntry>;

    // Reads the species section only. A file that cannot be opened throws
    // KelvResult E_UNEXPECTED "Unable to read ZELM library file.".
    CZelmLibUtils(bool isStandardLibrary, const std::string& libraryPath);
    // Reads the whole library with the forms of the server description. A
    // file that cannot be opened throws KelvResult E_UNEXPECTED "Unable to
    // open ZELM library file."; a stream that fails while reading throws
    // "Problem reading file".
    CZelmLibUtils(bool isStandardLibrary, const std::string& libraryPath,
                  const CServerDescription& serverDescription);
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

private:
    class LineSource;
    struct FormContext;

    void ReadSpecies(const std::string& path);
    void ReadLibrary(const std::string& path, const CServerDescription& serverDescription);
    void ParseLibraryBody(const std::string& firstLine, std::istream& stream,
                          const CServerDescription& serverDescription);
    // Reads one form line with its interactions; returns whether a further
    // form line was found (it is then in `formLine`).
    bool ParseFormBlock(std::string& formLine, LineSource& source,
                        const CServerDescription& serverDescription);
    // Reads one interaction starting at `line`; returns whether a line to
    // examine next was left over by joining (then in `pending`).
    bool ReadInteraction(const std::string& line, const FormContext& context, LineSource& source,
                         std::string& pending);
    bool IsFunctionalFormLine(const std::string& line,
                              const CServerDescription& serverDescription) const;
    // Appends every line up to the next form line to the other lines; false
    // at the end of input, else the form line is in `formLine`.
    bool ReadUntilFunctionalFormLine(LineSource& source, const CServerDescription& serverDescription,
                                     std::string& formLine);
    // Reads the atom types of an interaction from the start of `tokens` and
    // returns the position after them.
    std::size_t ReadAtomTypes(const TokenList& tokens, int numberOfAtoms,
                              std::list<std::string>& atomTypes) const;

    static int GetFieldAsInteger(const std::string& text, int index);
    // True for one token that is an integer (sign and digits only); the
    // integer is then in `value`.
    static bool IsSingleIntegerLine(const TokenList& tokens, int& value);
    static bool IsTwoNumberLine(const TokenList& tokens);
    static void Tokenize(const std::string& line, TokenList& tokens);

    std::list<std::string> m_otherLines;
    std::string m_description;
    CZelmSpeciesReader m_speciesReader;
    InteractionList m_interactions;
};
