#include "qorff/FunctionalForm.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <sstream>

#include "kelv/kelv.h"
#include "qorff/NumberFormat.h"

namespace {

bool IsFitFlag(const std::string& token)
{
    return token == "0" || token == "1";
}

std::string JoinTokens(const TokenList& tokens)
{
    std::string text;
    for (const std::string& token : tokens) {
        if (!text.empty())
            text += ' ';
        text += token;
    }
    return text;
}

// A number as an integer option takes it: optional sign and digits only.
bool IsIntegerText(const std::string& token)
{
    std::size_t start = (token[0] == '+' || token[0] == '-') ? 1 : 0;
    if (start == token.size())
        return false;
    return std::all_of(token.begin() + static_cast<std::ptrdiff_t>(start), token.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// The whole token as a number, or false.
bool ReadWholeNumber(const std::string& token, double& value)
{
    std::istringstream stream(token);
    stream >> value;
    if (stream.fail())
        return false;
    stream.peek();
    return stream.eof();
}

}  // namespace

CFunctionalForm::CFunctionalForm(const std::string& displayName, const std::string& keyword,
                                 const ParameterDescriptionList& parameters,
                                 const BooleanOptionDescriptionList& booleanOptions,
                                 const IntegerOptionDescriptionList& integerOptions,
                                 const DoubleOptionDescriptionList& doubleOptions)
    : CObjectWithName(displayName),
      m_keyword(keyword),
      m_parameters(parameters),
      m_booleans(booleanOptions),
      m_integers(integerOptions),
      m_doubles(doubleOptions)
{
}

CFunctionalForm::~CFunctionalForm() = default;

void CFunctionalForm::ParseFunctionalFormLine(const TokenList& tokens, std::vector<CBooleanOption>& booleans,
                                              std::vector<CIntegerOption>& integers,
                                              std::vector<CDoubleOption>& doubles,
                                              std::vector<CParameter>& parameters) const
{
    Init(booleans);
    Init(integers);
    Init(doubles);
    Init(parameters);

    // Sort the words first: option names, and numbers in line order.
    std::vector<int> switchedOn;
    std::vector<std::string> numbers;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        const int index = IndexOfBooleanOption(token);
        if (index != NotFound) {
            switchedOn.push_back(index);
            continue;
        }
        double ignored = 0.0;
        if (!ReadWholeNumber(token, ignored))
            throw KelvResult(E_UNEXPECTED, "Unknown option \"" + token + "\" for the functional form \"" +
                                               m_keyword + "\" in the line \"" + JoinTokens(tokens) + "\"");
        numbers.push_back(token);
    }

    // Boolean options in the order of the form's options, so that options
    // that rebuild the parameters act before the options that work on them.
    std::sort(switchedOn.begin(), switchedOn.end());
    switchedOn.erase(std::unique(switchedOn.begin(), switchedOn.end()), switchedOn.end());
    for (int index : switchedOn)
        SetBooleanOption(index, true, integers, booleans, parameters);

    // Numbers, against the option lists as the boolean options left them.
    std::size_t nextInteger = 0;
    std::size_t nextDouble = 0;
    for (const std::string& token : numbers) {
        if (IsIntegerText(token) && nextInteger < integers.size()) {
            std::istringstream stream(token);
            long long value = 0;
            stream >> value;
            if (stream.fail() || value < INT32_MIN || value > INT32_MAX)
                throw KelvResult(E_UNEXPECTED, "Found invalid field in the string " + token);
            SetIntegerOption(static_cast<int>(nextInteger++), static_cast<int>(value), integers, booleans,
                             parameters);
        } else if (nextDouble < doubles.size()) {
            SetDoubleOption(static_cast<int>(nextDouble++), ReadNumber(token), integers, booleans, doubles,
                            parameters);
        } else {
            throw KelvResult(E_UNEXPECTED, "Too many values for the functional form \"" + m_keyword +
                                               "\" in the line \"" + JoinTokens(tokens) + "\"");
        }
    }
}

void CFunctionalForm::ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                                           const std::vector<CBooleanOption>&,
                                           std::vector<CParameter>& parameters) const
{
    const TokenIterator flags = FindTrailingFitFlags(tokens);
    ReadValues(parameters, position, flags, tokens, &CFunctionalForm::ReadNumber);
    ApplyFitFlags(std::max(flags, position), tokens, parameters);
}

std::string CFunctionalForm::WriteFunctionalFormLine(const std::vector<CBooleanOption>& booleans,
                                                     const std::vector<CIntegerOption>& integers,
                                                     const std::vector<CDoubleOption>& doubles) const
{
    std::string line = m_keyword + " " + WriteBooleanOptions(booleans) + WriteIntegerOptions(integers) +
                       WriteDoubleOptions(doubles);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line + "\n";
}

std::string CFunctionalForm::WriteInteractionLine(const std::vector<CParameter>& parameters,
                                                  const std::vector<CBooleanOption>&,
                                                  const std::vector<CIntegerOption>&) const
{
    std::string line;
    for (const CParameter& parameter : parameters) {
        if (parameter.IsHidden())
            continue;
        if (!line.empty())
            line += ' ';
        line += FormatValue(parameter.GetValue());
    }
    for (const CParameter& parameter : parameters) {
        if (!parameter.IsHidden() && !parameter.IsFittable())
            continue;
        if (!line.empty())
            line += ' ';
        line += parameter.IsToBeFitted() ? "1" : "0";
    }
    return line + "\n";
}

bool CFunctionalForm::SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                                       std::vector<CBooleanOption>&, std::vector<CParameter>&) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= integers.size())
        return false;
    integers[static_cast<std::size_t>(index)].SetValue(value);
    return true;
}

bool CFunctionalForm::SetBooleanOption(int index, bool value, std::vector<CIntegerOption>&,
                                       std::vector<CBooleanOption>& booleans, std::vector<CParameter>&) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= booleans.size())
        return false;
    booleans[static_cast<std::size_t>(index)].SetValue(value);
    return true;
}

bool CFunctionalForm::SetDoubleOption(int index, double value, std::vector<CIntegerOption>&,
                                      std::vector<CBooleanOption>&, std::vector<CDoubleOption>& doubles,
                                      std::vector<CParameter>&) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= doubles.size())
        return false;
    doubles[static_cast<std::size_t>(index)].SetValue(value);
    return true;
}

void CFunctionalForm::Init(std::vector<CParameter>& parameters) const
{
    std::vector<CParameter> made;
    made.reserve(m_parameters.size());
    for (const ParameterDescriptionPtr& description : m_parameters)
        made.emplace_back(description);
    parameters.swap(made);
}

void CFunctionalForm::Init(std::vector<CDoubleOption>& doubles) const
{
    std::vector<CDoubleOption> made;
    made.reserve(m_doubles.size());
    for (const DoubleOptionDescriptionPtr& description : m_doubles)
        made.emplace_back(description, true);
    doubles.swap(made);
}

void CFunctionalForm::Init(std::vector<CIntegerOption>& integers) const
{
    std::vector<CIntegerOption> made;
    made.reserve(m_integers.size());
    for (const IntegerOptionDescriptionPtr& description : m_integers)
        made.emplace_back(description, true);
    integers.swap(made);
}

void CFunctionalForm::Init(std::vector<CBooleanOption>& booleans) const
{
    std::vector<CBooleanOption> made;
    made.reserve(m_booleans.size());
    for (const BooleanOptionDescriptionPtr& description : m_booleans)
        made.emplace_back(description, true);
    booleans.swap(made);
}

int CFunctionalForm::IndexOfBooleanOption(const std::string& keyword) const
{
    for (std::size_t i = 0; i < m_booleans.size(); ++i) {
        if (m_booleans[i]->GetName() == keyword)
            return static_cast<int>(i);
    }
    return NotFound;
}

std::string CFunctionalForm::WriteBooleanOptions(const std::vector<CBooleanOption>& booleans) const
{
    std::string text;
    for (const CBooleanOption& option : booleans) {
        if (option.GetValue())
            text += option.GetName() + " ";
    }
    return text;
}

std::string CFunctionalForm::WriteIntegerOptions(const std::vector<CIntegerOption>& integers) const
{
    std::string text;
    for (const CIntegerOption& option : integers)
        text += std::to_string(option.GetValue()) + " ";
    return text;
}

std::string CFunctionalForm::WriteDoubleOptions(const std::vector<CDoubleOption>& doubles) const
{
    std::size_t count = doubles.size();
    while (count > 0 && doubles[count - 1].GetValue() == doubles[count - 1].GetDefaultValue())
        --count;
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += FormatValue(doubles[i].GetValue()) + " ";
    return text;
}

std::string CFunctionalForm::FormatValue(double value)
{
    return QorForcefield::FormatWithDecimalPoint(value);
}

TokenIterator CFunctionalForm::FindTrailingFitFlags(const TokenList& tokens)
{
    TokenIterator flags = tokens.end();
    while (flags != tokens.begin() && std::prev(flags) != tokens.begin() && IsFitFlag(*std::prev(flags)))
        --flags;
    return flags;
}

void CFunctionalForm::ReadValues(std::vector<CParameter>& parameters, TokenIterator first, TokenIterator flags,
                                 const TokenList& tokens, NumberReader read)
{
    const std::ptrdiff_t available = std::max<std::ptrdiff_t>(0, flags - first);
    std::ptrdiff_t required = 0;
    for (const CParameter& parameter : parameters) {
        if (!parameter.IsHidden() && !parameter.IsOptional())
            ++required;
    }
    if (available < required) {
        std::ostringstream message;
        message << "Too few parameter values in the interaction line \"" << JoinTokens(tokens) << "\": "
                << required << " required, " << available << " found";
        throw KelvResult(E_UNEXPECTED, message.str());
    }

    // Convert first, so that a bad token leaves every parameter as it was.
    std::ptrdiff_t optionalLeft = available - required;
    std::vector<double> values(parameters.size(), 0.0);
    std::vector<bool> fromLine(parameters.size(), false);
    TokenIterator position = first;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const CParameter& parameter = parameters[i];
        if (parameter.IsHidden())
            continue;
        if (parameter.IsOptional()) {
            if (optionalLeft <= 0)
                continue;
            --optionalLeft;
        }
        values[i] = read(*position++);
        fromLine[i] = true;
    }
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        CParameter& parameter = parameters[i];
        if (parameter.IsHidden())
            continue;
        if (fromLine[i]) {
            parameter.SetValue(values[i]);
            if (parameter.IsOptional())
                parameter.SetDefaultValue(values[i]);
        } else {
            parameter.SetToDefaultValue();
        }
    }
}

void CFunctionalForm::ApplyFitFlags(TokenIterator flags, const TokenList& tokens, std::vector<CParameter>& parameters)
{
    TokenIterator flag = flags;
    for (CParameter& parameter : parameters) {
        if (flag == tokens.end())
            break;
        if (parameter.IsHidden()) {
            ++flag;
        } else if (parameter.IsFittable()) {
            parameter.SetIsToBeFitted(*flag == "1");
            ++flag;
        }
    }
}

double CFunctionalForm::ReadNumber(const std::string& token)
{
    std::istringstream stream(token);
    double value = 0.0;
    stream >> value;
    if (stream.fail() || stream.bad())
        throw KelvResult(E_UNEXPECTED, "Found invalid field in the string " + token);
    return value;
}
