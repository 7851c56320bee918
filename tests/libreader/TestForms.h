// Test forms for the library reader: a server description with a small
// pair type ("buck", "srgl", "poly", "splin") and a one-atom type ("eamg"),
// so that the reading rules are tested apart from the engine's real forms,
// and a compact description of what was read.
#pragma once

#include <list>
#include <sstream>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "qorff/FunctionalForm.h"
#include "qorff/InteractionType.h"
#include "qorff/ServerDescription.h"
#include "readers/FieldParsing.h"
#include "setup/ZelmLibUtils.h"

namespace testforms {

inline ParameterDescriptionPtr Param(const std::string& name, double value, bool fittable, bool optional)
{
    return boost::make_shared<CParameterDescription>(name, "eV", value, fittable, optional);
}

inline BooleanOptionDescriptionPtr Flag(const std::string& name)
{
    return boost::make_shared<CBooleanOptionDescription>(name, false);
}

// A spline form: the interaction line gives "rmax"; each data line of two
// numbers appends a point (two parameters).
class TestSplineForm : public CFunctionalForm
{
public:
    TestSplineForm()
        : CFunctionalForm("Spline (test)", "splin", {Param("rmax", 10.0, false, false)}, {}, {}, {}),
          m_point(Param("point", 0.0, false, false))
    {
    }

    void ParseInteractionLine(const TokenList& tokens, TokenIterator position,
                              const std::vector<CBooleanOption>& booleans,
                              std::vector<CParameter>& parameters) const override
    {
        if (position != tokens.begin()) {
            CFunctionalForm::ParseInteractionLine(tokens, position, booleans, parameters);
            return;
        }
        for (const std::string& token : tokens) {
            CParameter point(m_point);
            point.SetValue(GetFieldAsDouble(token, 0));
            parameters.push_back(point);
        }
    }

private:
    ParameterDescriptionPtr m_point;
};

// A polynomial form that, as the engine's, writes its order on a line of
// its own after the form line.
class TestPolyForm : public CFunctionalForm
{
public:
    TestPolyForm()
        : CFunctionalForm("Polynomial (test)", "poly",
                          ParameterDescriptionList{Param("c0", 0.0, true, false), Param("c1", 0.0, true, false),
                                                   Param("rmax", 10.0, false, false)},
                          BooleanOptionDescriptionList{Flag("harmonic")},
                          IntegerOptionDescriptionList{boost::make_shared<CIntegerOptionDescription>(
                              "norder", 5, boost::make_shared<const CMinimumValidator<int>>(1))},
                          DoubleOptionDescriptionList{})
    {
    }

    std::string WriteFunctionalFormLine(const std::vector<CBooleanOption>& booleans,
                                        const std::vector<CIntegerOption>& integers,
                                        const std::vector<CDoubleOption>& doubles) const override
    {
        return Trimmed(GetKeyword() + " " + WriteBooleanOptions(booleans) + WriteDoubleOptions(doubles)) +
               "\n" + Trimmed(WriteIntegerOptions(integers)) + "\n";
    }

private:
    static std::string Trimmed(std::string text)
    {
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        return text;
    }
};

inline boost::shared_ptr<CServerDescription> MakeTestServer()
{
    auto server = boost::make_shared<CServerDescription>("Test", false);

    auto pair = boost::make_shared<CInteractionType>("Pair", 2);
    pair->AddFunctionalForm(boost::make_shared<CFunctionalForm>(
        "Buckingham (test)", "buck",
        ParameterDescriptionList{Param("A", 0.0, true, false), Param("rho", 0.0, true, false),
                                 Param("C", 0.0, true, false), Param("rmin", 0.0, false, true),
                                 Param("rmax", 10.0, false, false)},
        BooleanOptionDescriptionList{Flag("intra"), Flag("inter"), Flag("bond")},
        IntegerOptionDescriptionList{},
        DoubleOptionDescriptionList{boost::make_shared<CDoubleOptionDescription>("scale14", 1.0)}));

    ParameterDescriptionList glueParameters{Param("d", 4.0, false, false), Param("rmin", 0.0, false, true),
                                            Param("rmax", 10.0, false, false)};
    for (const char* name : {"a14", "a13", "a12", "a11", "a10", "a26", "a25", "a24", "a23", "a22",
                             "a21", "a20"}) {
        glueParameters.push_back(Param(name, 1.0, false, false));
    }
    pair->AddFunctionalForm(boost::make_shared<CFunctionalForm>(
        "Short-range glue (test)", "srgl", glueParameters, BooleanOptionDescriptionList{Flag("bond")},
        IntegerOptionDescriptionList{}, DoubleOptionDescriptionList{}));

    pair->AddFunctionalForm(boost::make_shared<TestPolyForm>());
    pair->AddFunctionalForm(boost::make_shared<TestSplineForm>());
    server->AddInteractionType(pair);

    auto single = boost::make_shared<CInteractionType>("Single", 1);
    ParameterDescriptionList sixValues;
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
        sixValues.push_back(Param(name, 0.0, false, false));
    }
    single->AddFunctionalForm(boost::make_shared<CFunctionalForm>(
        "Embedding (test)", "eamg", sixValues, BooleanOptionDescriptionList{Flag("power"), Flag("glue")},
        IntegerOptionDescriptionList{}, DoubleOptionDescriptionList{}));
    server->AddInteractionType(single);
    return server;
}

// "keyword [atom types] values" with "*" after each value to be fitted and
// the options that are on or not at their defaults.
inline std::string Describe(const CZelmLibUtils::InteractionEntry& entry)
{
    std::ostringstream text;
    const CInteraction& interaction = *entry.interaction;
    text << interaction.GetFunctionalFormKeyword() << " [";
    bool first = true;
    for (const std::string& atomType : entry.atomTypes) {
        text << (first ? "" : ",") << atomType;
        first = false;
    }
    text << "]";
    for (const CParameter& parameter : interaction.GetParameters()) {
        text << " " << parameter.GetValue() << (parameter.IsToBeFitted() ? "*" : "");
    }
    for (const CBooleanOption& option : interaction.GetBooleanOptions()) {
        if (option.GetValue()) {
            text << " {" << option.GetName() << "}";
        }
    }
    for (const CIntegerOption& option : interaction.GetIntegerOptions()) {
        text << " {" << option.GetName() << "=" << option.GetValue() << "}";
    }
    for (const CDoubleOption& option : interaction.GetDoubleOptions()) {
        if (option.GetValue() != option.GetDefaultValue()) {
            text << " {" << option.GetName() << "=" << option.GetValue() << "}";
        }
    }
    return text.str();
}

inline std::vector<std::string> Describe(const CZelmLibUtils& library)
{
    std::vector<std::string> result;
    for (const auto& entry : library.GetInteractions()) {
        result.push_back(Describe(entry));
    }
    return result;
}

inline std::vector<std::string> Lines(const std::list<std::string>& lines)
{
    return std::vector<std::string>(lines.begin(), lines.end());
}

}  // namespace testforms
