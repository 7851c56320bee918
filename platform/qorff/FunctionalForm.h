// A functional form: the mathematical shape of an interaction with its
// parameter and option descriptions. A form object is shared by every
// interaction of its kind and never changes after construction; every
// operation works on the vectors of one interaction that the caller passes.
#pragma once

#include <string>
#include <vector>

#include "qorff/ObjectWithName.h"
#include "qorff/Option.h"
#include "qorff/OptionDescription.h"
#include "qorff/Parameter.h"
#include "qorff/ParameterDescription.h"

using ParameterDescriptionList = std::vector<ParameterDescriptionPtr>;
using BooleanOptionDescriptionList = std::vector<BooleanOptionDescriptionPtr>;
using IntegerOptionDescriptionList = std::vector<IntegerOptionDescriptionPtr>;
using DoubleOptionDescriptionList = std::vector<DoubleOptionDescriptionPtr>;
using TokenList = std::vector<std::string>;
using TokenIterator = TokenList::const_iterator;

// Text produced by the base writers (the library reader reads it back):
//
//  functional-form line:  keyword [boolean options that are on] [integer
//                         option values] [double option values] "\n"
//     Words are separated by one blank. Boolean options are written by name
//     in list order. Every integer option is written, as an integer, in
//     list order. Double options are written in list order up to the last
//     one that differs from its default, always with a decimal point.
//  interaction line:      values, then fit flags, then "\n"
//     The value of every parameter that is not hidden, in list order, always
//     with a decimal point and as many digits as reading it back needs;
//     then one flag "1"/"0" (its to-be-fitted state) for every parameter
//     that is hidden or fittable, in list order. Words are separated by one
//     blank. No flags are written when no parameter takes one.
//
// Reading a functional-form line (ParseFunctionalFormLine): the four Init
// operations first; then every word that names a boolean option switches it
// on, in the order of the form's options (not of the line), through the
// virtual SetBooleanOption; then the numbers: a number written without a
// decimal point or exponent goes to the next integer option while one is
// left, every other number to the next double option, each through the
// virtual setter. A word that is neither, or a number with no option left
// to take it, throws KelvResult (E_UNEXPECTED).
//
// Reading an interaction line (ParseInteractionLine): the trailing run of
// tokens that are exactly "0" or "1" are the fit flags (never the line's
// first token); the tokens from the given position up to them are the
// values. Hidden parameters take no value; optional parameters take values
// while more values than required remain (and the value becomes their
// default too), else their default; every other parameter takes the next
// value. Fewer values than the parameters that need one throws KelvResult
// (E_UNEXPECTED) naming the line, before any parameter changes. Flags are
// then handed out in parameter order: a hidden parameter passes one flag
// over, a fittable one takes one, others take none; surplus flags are
// ignored, parameters left without a flag keep their state.
class CFunctionalForm : public CObjectWithName {
public:
    // What IndexOfBooleanOption answers for a word that is no option.
    static constexpr int NotFound = -1;

    // The form keeps its own copies of the four lists (the shared pointers,
    // not the descriptions); the position of a description in its list is the
    // position of the parameter or option in every interaction of the form.
    CFunctionalForm(const std::string& displayName, const std::string& keyword,
                    const ParameterDescriptionList& parameters,
                    const BooleanOptionDescriptionList& booleanOptions,
                    const IntegerOptionDescriptionList& integerOptions,
                    const DoubleOptionDescriptionList& doubleOptions);
    ~CFunctionalForm() override;

    virtual void ParseFunctionalFormLine(const TokenList& tokens,
                                         std::vector<CBooleanOption>& booleans,
                                         std::vector<CIntegerOption>& integers,
                                         std::vector<CDoubleOption>& doubles,
                                         std::vector<CParameter>& parameters) const;
    virtual void ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                                      const std::vector<CBooleanOption>& booleans,
                                      std::vector<CParameter>& parameters) const;
    virtual std::string WriteFunctionalFormLine(const std::vector<CBooleanOption>& booleans,
                                                const std::vector<CIntegerOption>& integers,
                                                const std::vector<CDoubleOption>& doubles) const;
    virtual std::string WriteInteractionLine(const std::vector<CParameter>& parameters,
                                             const std::vector<CBooleanOption>& booleans,
                                             const std::vector<CIntegerOption>& integers) const;

    // Option setters: false (nothing changed) for an index that is negative
    // or not below the size of the interaction's list; else the option's own
    // setter takes the value (an integer option applies its validator and may
    // throw) and the answer is true.
    virtual bool SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                                  std::vector<CBooleanOption>& booleans,
                                  std::vector<CParameter>& parameters) const;
    virtual bool SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                                  std::vector<CBooleanOption>& booleans,
                                  std::vector<CParameter>& parameters) const;
    virtual bool SetDoubleOption(int index, double value, std::vector<CIntegerOption>& integers,
                                 std::vector<CBooleanOption>& booleans,
                                 std::vector<CDoubleOption>& doubles,
                                 std::vector<CParameter>& parameters) const;

    // Each Init replaces the list's content by one item per description of
    // the form, in description order, at its default value (options enabled).
    // A derived form that overrides one of them should add
    // "using CFunctionalForm::Init;" to keep the others visible.
    virtual void Init(std::vector<CParameter>& parameters) const;
    virtual void Init(std::vector<CDoubleOption>& doubles) const;
    virtual void Init(std::vector<CIntegerOption>& integers) const;
    virtual void Init(std::vector<CBooleanOption>& booleans) const;

    // Position of the boolean option description with that exact name, or
    // NotFound.
    virtual int IndexOfBooleanOption(const std::string& keyword) const;

    const std::string& GetDisplayName() const { return GetName(); }
    const std::string& GetKeyword() const { return m_keyword; }
    const ParameterDescriptionList& GetParameterDescriptions() const { return m_parameters; }
    const BooleanOptionDescriptionList& GetBooleanOptionDescriptions() const { return m_booleans; }
    const IntegerOptionDescriptionList& GetIntegerOptionDescriptions() const { return m_integers; }
    const DoubleOptionDescriptionList& GetDoubleOptionDescriptions() const { return m_doubles; }

protected:
    // The option words of a functional-form line, each followed by one
    // blank (see the layout above); the empty string when nothing is written.
    std::string WriteBooleanOptions(const std::vector<CBooleanOption>& booleans) const;
    std::string WriteIntegerOptions(const std::vector<CIntegerOption>& integers) const;
    std::string WriteDoubleOptions(const std::vector<CDoubleOption>& doubles) const;

    // The value text of the interaction lines: FormatWithDecimalPoint.
    static std::string FormatValue(double value);

    // The steps of interaction-line reading, shared by derived forms that
    // read with another number reader. A NumberReader converts one token and
    // throws KelvResult on a token that holds no number.
    using NumberReader = double (*)(const std::string& token);

    // The first trailing fit flag, or tokens.end().
    static TokenIterator FindTrailingFitFlags(const TokenList& tokens);
    // Values from `first` up to `flags` (a `flags` before `first` counts as
    // `first`: no values). Throws on too few values before changing anything.
    static void ReadValues(std::vector<CParameter>& parameters, TokenIterator first,
                           TokenIterator flags, const TokenList& tokens, NumberReader read);
    static void ApplyFitFlags(TokenIterator flags, const TokenList& tokens,
                              std::vector<CParameter>& parameters);
    // Reads the number at the start of the token (as a stream extraction
    // does); throws KelvResult (E_UNEXPECTED) "Found invalid field in the
    // string " followed by the token when there is none.
    static double ReadNumber(const std::string& token);

private:
    std::string m_keyword;
    ParameterDescriptionList m_parameters;
    BooleanOptionDescriptionList m_booleans;
    IntegerOptionDescriptionList m_integers;
    DoubleOptionDescriptionList m_doubles;
};

using FunctionalFormPtr = boost::shared_ptr<CFunctionalForm>;
