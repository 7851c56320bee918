// Small forms for the tests, so that the forcefield frame, the library
// files and the library reader are tested apart from the engine's own forms:
// - interaction types registered beside the engine's (keywords starting with
//   "x", RegisterTestTypes);
// - a server description of its own with a pair type ("buck", "srgl",
//   "poly", "splin") and a one-atom type ("eamg") (MakeTestServer), and a
//   compact description of what a library read gave (Describe).
#pragma once

#include <list>
#include <sstream>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "forcefield/ZelmFunctionalForm.h"
#include "qorff/AtomTypeOrderingComparator.h"
#include "qorff/FunctionalForm.h"
#include "qorff/InteractionType.h"
#include "qorff/ServerDescription.h"
#include "common/FieldParsing.h"
#include "setup/ZelmLibUtils.h"

namespace testforms {

inline ParameterDescriptionPtr Parameter(const std::string& name, const std::string& unit, double defaultValue,
                                         bool fittable, bool optional, bool hidden = false)
{
    return boost::make_shared<CParameterDescription>(name, unit, defaultValue, fittable, optional, hidden);
}

inline BooleanOptionDescriptionPtr Boolean(const std::string& name)
{
    return boost::make_shared<CBooleanOptionDescription>(name, false);
}

// A two-atom type that orders its atom types like the engine's pair type:
// the smaller of (a, b) and (b, a) under the host comparator.
class CPairTestType : public CInteractionType {
public:
    CPairTestType() : CInteractionType("Test pair", 2)
    {
        const ParameterDescriptionPtr rmin = Parameter("rmin", "\xC5", 0.0, false, true);
        const ParameterDescriptionPtr rmax = Parameter("rmax", "\xC5", 10.0, false, false);
        const BooleanOptionDescriptionList unitOptions{Boolean("intra"), Boolean("inter"), Boolean("kjmol"),
                                                       Boolean("kcal")};
        const DoubleOptionDescriptionList scale{boost::make_shared<CDoubleOptionDescription>("scale14", 1.0)};
        const ParameterDescriptionList buck{Parameter("A", "eV", 0.0, true, false),
                                            Parameter("rho", "\xC5", 0.0, true, false),
                                            Parameter("C", "eV*\xC5^6", 0.0, true, false), rmin, rmax};
        Add(new CZelmFunctionalForm("Test Buckingham (xbuc)", "xbuc", buck, unitOptions, {}, scale));
        Add(new CZelmFunctionalForm("Test four-range Buckingham (xbuc4)", "xbuc4", buck, unitOptions, {}, scale));
        const ParameterDescriptionList sw2{Parameter("A", "eV", 0.0, true, false),
                                           Parameter("rho", "\xC5", 0.0, true, false),
                                           Parameter("B", "\xC5^4", 0.0, true, false), rmin, rmax};
        Add(new CZelmFunctionalForm("Test Stillinger-Weber (xsw2)", "xsw2", sw2, unitOptions, {}, scale));
        ParameterDescriptionList sw2j = sw2;
        sw2j.insert(sw2j.begin() + 3, Parameter("Q", "a.u.", 0.0, true, false));
        Add(new CZelmFunctionalForm("Test Jiang-Brown variant (xsw2jb)", "xsw2j", sw2j, unitOptions, {},
                                    scale));
        const IntegerOptionDescriptionList mn{boost::make_shared<CIntegerOptionDescription>("m", 12),
                                              boost::make_shared<CIntegerOptionDescription>("n", 6)};
        Add(new CZelmFunctionalForm("Test Lennard-Jones (xlen)", "xlen",
                                    {Parameter("A", "eV*\xC5^m", 0.0, true, false),
                                     Parameter("B", "eV*\xC5^n", 0.0, true, false), rmin, rmax},
                                    unitOptions, mn, scale));
        // The host's own form, as the engine's bond-order charge uses it.
        Add(new CFunctionalForm("Test bond-order charge (xbocharge)", "xboc",
                                {Parameter("deltaQ", "a.u.", 0.0, false, false), rmin, rmax},
                                {Boolean("staper")}, {}, {}));
    }

    std::list<unsigned> GetCanonicalOrdering(const std::list<unsigned>& ids) const override
    {
        std::list<unsigned> reversed(ids.rbegin(), ids.rend());
        return CAtomTypeOrderingComparator()(reversed, ids) ? reversed : ids;
    }

private:
    void Add(CFunctionalForm* form) { AddFunctionalForm(boost::shared_ptr<CFunctionalForm>(form)); }
};

// A one-atom type with a spring-like form and a form that has a hidden
// parameter.
class CCoreTestType : public CInteractionType {
public:
    CCoreTestType() : CInteractionType("Test core", 1)
    {
        AddFunctionalForm(boost::shared_ptr<CFunctionalForm>(new CZelmFunctionalForm(
            "Test spring (xspr)", "xspr",
            {Parameter("k2", "eV/\xC5^2", 0.0, true, false), Parameter("k4", "eV/\xC5^4 ", 0.0, true, true)},
            {Boolean("kjmol"), Boolean("kcal")}, {}, {})));
        AddFunctionalForm(boost::shared_ptr<CFunctionalForm>(new CFunctionalForm(
            "Hidden test (hidt)", "hidt",
            {Parameter("a", "eV", 1.0, true, false), Parameter("h", "eV", 2.0, true, false, true),
             Parameter("c", "eV", 3.0, true, false)},
            {}, {}, {})));
    }
};

inline void RegisterTestTypes(CServerDescription& serverDescription)
{
    serverDescription.AddInteractionType(boost::make_shared<CCoreTestType>());
    serverDescription.AddInteractionType(boost::make_shared<CPairTestType>());
}


// A spline form: the interaction line gives "rmax"; each data line of two
// numbers appends a point (two parameters).
class TestSplineForm : public CFunctionalForm
{
public:
    TestSplineForm()
        : CFunctionalForm("Spline (test)", "splin", {Parameter("rmax", "eV", 10.0, false, false)}, {}, {}, {}),
          m_point(Parameter("point", "eV", 0.0, false, false))
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
                          ParameterDescriptionList{Parameter("c0", "eV", 0.0, true, false),
                                                   Parameter("c1", "eV", 0.0, true, false),
                                                   Parameter("rmax", "eV", 10.0, false, false)},
                          BooleanOptionDescriptionList{Boolean("harmonic")},
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
        ParameterDescriptionList{Parameter("A", "eV", 0.0, true, false), Parameter("rho", "eV", 0.0, true, false),
                                 Parameter("C", "eV", 0.0, true, false), Parameter("rmin", "eV", 0.0, false, true),
                                 Parameter("rmax", "eV", 10.0, false, false)},
        BooleanOptionDescriptionList{Boolean("intra"), Boolean("inter"), Boolean("bond")},
        IntegerOptionDescriptionList{},
        DoubleOptionDescriptionList{boost::make_shared<CDoubleOptionDescription>("scale14", 1.0)}));

    ParameterDescriptionList glueParameters{Parameter("d", "eV", 4.0, false, false),
                                            Parameter("rmin", "eV", 0.0, false, true),
                                            Parameter("rmax", "eV", 10.0, false, false)};
    for (const char* name : {"a14", "a13", "a12", "a11", "a10", "a26", "a25", "a24", "a23", "a22",
                             "a21", "a20"}) {
        glueParameters.push_back(Parameter(name, "eV", 1.0, false, false));
    }
    pair->AddFunctionalForm(boost::make_shared<CFunctionalForm>(
        "Short-range glue (test)", "srgl", glueParameters, BooleanOptionDescriptionList{Boolean("bond")},
        IntegerOptionDescriptionList{}, DoubleOptionDescriptionList{}));

    pair->AddFunctionalForm(boost::make_shared<TestPolyForm>());
    pair->AddFunctionalForm(boost::make_shared<TestSplineForm>());
    server->AddInteractionType(pair);

    auto single = boost::make_shared<CInteractionType>("Single", 1);
    ParameterDescriptionList sixValues;
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
        sixValues.push_back(Parameter(name, "eV", 0.0, false, false));
    }
    single->AddFunctionalForm(boost::make_shared<CFunctionalForm>(
        "Embedding (test)", "eamg", sixValues, BooleanOptionDescriptionList{Boolean("power"), Boolean("glue")},
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
