// Helpers of the three-, four- and many-body suites: a server description,
// interactions of a form by keyword, and option switches by name.
#pragma once

#include <string>
#include <vector>

#include "forcefield/ZelmServerDescription.h"
#include "qorff/FunctionalForm.h"
#include "qorff/InteractionType.h"

namespace manyatom {

#define AA "\xC5"

// The lists of one new interaction of a form.
struct Lists {
    FunctionalFormPtr form;
    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;

    bool Set(const std::string& option, bool value)
    {
        return form->SetBooleanOption(Index(option), value, integers, booleans, parameters);
    }
    bool SetAt(int index, bool value) { return form->SetBooleanOption(index, value, integers, booleans, parameters); }
    bool SetInteger(int index, int value)
    {
        return form->SetIntegerOption(index, value, integers, booleans, parameters);
    }
    int Index(const std::string& option) const
    {
        // Exact names, whatever the form's keyword lookup makes of "mol".
        const BooleanOptionDescriptionList& list = form->GetBooleanOptionDescriptions();
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i]->GetName() == option)
                return static_cast<int>(i);
        }
        return -1;
    }
    bool On(const std::string& option) const { return booleans.at(static_cast<std::size_t>(Index(option))).GetValue(); }
    // The options that are on, separated by blanks.
    std::string OnOptions() const
    {
        std::string text;
        for (const CBooleanOption& option : booleans)
            text += option.GetValue() ? (text.empty() ? "" : " ") + option.GetName() : "";
        return text;
    }
    // Parameter names separated by blanks.
    std::string Names() const
    {
        std::string text;
        for (const CParameter& parameter : parameters)
            text += (text.empty() ? "" : " ") + parameter.GetName();
        return text;
    }
    const CParameter& P(const std::string& name) const
    {
        for (const CParameter& parameter : parameters) {
            if (parameter.GetName() == name)
                return parameter;
        }
        throw std::runtime_error("no parameter " + name);
    }
    CParameter& P(const std::string& name)
    {
        return const_cast<CParameter&>(static_cast<const Lists*>(this)->P(name));
    }
};

inline const CZelmServerDescription& Server()
{
    static const CZelmServerDescription server;
    return server;
}

inline Lists New(const std::string& keyword)
{
    Lists lists;
    const CZelmServerDescription& server = Server();
    lists.form = server.GetInteractionType(server.GetTypeOfFunctionalForm(keyword))->GetFunctionalForm(
        server.GetFunctionalFormFullName(keyword));
    lists.form->Init(lists.booleans);
    lists.form->Init(lists.integers);
    lists.form->Init(lists.doubles);
    lists.form->Init(lists.parameters);
    return lists;
}

}  // namespace manyatom
