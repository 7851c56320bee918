// The lists of one interaction of a three-, four- or many-body form, with
// option switches and parameters by name.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "forcefield/ZelmServerDescription.h"

#define AA "\xC5"

namespace manyatom {

inline const CZelmServerDescription& Server()
{
    static const CZelmServerDescription server;
    return server;
}

struct Lists {
    FunctionalFormPtr form;
    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;

    // A new interaction of the form that the word names.
    explicit Lists(const std::string& word)
        : form(Server().GetInteractionType(Server().GetTypeOfFunctionalForm(word))
                   ->GetFunctionalForm(Server().GetFunctionalFormFullName(word)))
    {
        form->Init(booleans);
        form->Init(integers);
        form->Init(doubles);
        form->Init(parameters);
    }
    // The option of exactly that name, whatever the keyword lookup makes of it.
    int Index(const std::string& name) const
    {
        for (std::size_t i = 0; i < booleans.size(); ++i) {
            if (booleans[i].GetName() == name)
                return static_cast<int>(i);
        }
        return -1;
    }
    bool SetAt(int index, bool value) { return form->SetBooleanOption(index, value, integers, booleans, parameters); }
    bool SetInteger(int index, int value)
    {
        return form->SetIntegerOption(index, value, integers, booleans, parameters);
    }
    // "+name" switches on, "-name" off, in order.
    void Apply(const std::string& steps)
    {
        std::istringstream words(steps);
        for (std::string step; words >> step;) {
            if (!SetAt(Index(step.substr(1)), step[0] == '+'))
                throw std::runtime_error("refused " + step);
        }
    }
    bool On(const std::string& name) const { return booleans.at(static_cast<std::size_t>(Index(name))).GetValue(); }
    std::string OnOptions() const
    {
        std::string text;
        for (const CBooleanOption& option : booleans)
            text += option.GetValue() ? (text.empty() ? "" : " ") + option.GetName() : "";
        return text;
    }
    std::string Names() const
    {
        std::string text;
        for (const CParameter& parameter : parameters)
            text += (text.empty() ? "" : " ") + parameter.GetName();
        return text;
    }
    // "name=value unit" of every parameter ("*" when to be fitted), then
    // "| options on |" and the integer options.
    std::string State() const
    {
        std::ostringstream text;
        text.precision(12);
        for (const CParameter& parameter : parameters)
            text << parameter.GetName() << "=" << parameter.GetValue() << parameter.GetUnit()
                 << (parameter.IsToBeFitted() ? "*" : "") << " ";
        text << "| " << OnOptions() << " |";
        for (const CIntegerOption& option : integers)
            text << " " << option.GetName() << "=" << option.GetValue();
        return text.str();
    }
    CParameter& P(const std::string& name)
    {
        for (CParameter& parameter : parameters) {
            if (parameter.GetName() == name)
                return parameter;
        }
        throw std::runtime_error("no parameter " + name);
    }
};

}  // namespace manyatom
