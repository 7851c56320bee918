// The registries of the core-shell and two-body interaction types, checked
// against a second, separately written copy of the form tables.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <typeindex>
#include <vector>

#include "forcefield/CoreShellForms.h"
#include "forcefield/CoreShellInteractionType.h"
#include "forcefield/TwoBodyForms.h"
#include "forcefield/TwoBodyInteractionType.h"
#include "forcefield/ZelmServerDescription.h"
#include "kelv/kelv.h"
#include "qorff/Interaction.h"

namespace {

// One form as the tables give it. Parameters: "name|unit|default|flags"
// separated by ";", flags "-", "F", "O" or "FO"; options: names separated by
// blanks (booleans all default to false); integer and double options:
// "name=default" separated by blanks.
struct Expected {
    const char* keyword;
    const char* display;
    const char* formClass;
    const char* parameters;
    const char* booleans;
    const char* integers;
    const char* doubles;
};

#define AA "\xC5"
#define COMMON "intra inter bond x12 x13 mol o14"
#define RMIN "rmin|" AA "|0|O"
#define RMAX "rmax|" AA "|10|-"

const std::vector<Expected> kTwoBody = {
    {"srgl", "Short-range glue (srglue)", "CGlueFunctionalForm",
     "d|" AA "|4|-;" RMIN ";" RMAX ";a14|eV|1|-;a13|eV|1|-;a12|eV|1|-;a11|eV|1|-;a10|eV|1|-;a26|eV|1|-;"
     "a25|eV|1|-;a24|eV|1|-;a23|eV|1|-;a22|eV|1|-;a21|eV|1|-;a20|eV|1|-",
     COMMON " kjmol kcal", "", "scale14=1"},
    {"lenn", "Lennard-Jones (lenn)", "CLennardFunctionalForm",
     "A|eV*" AA "^m|0|F;B|eV*" AA "^n|0|F;" RMIN ";" RMAX ";epsilon|eV|0|F;sigma|" AA "|0|F",
     "epsilon zero esff combine geometric " COMMON " kjmol kcal ener grad all", "m=12 n=6", "scale14=1"},
    {"boch", "Bond-order charge (bocharge)", "CFunctionalForm", "deltaQ|a.u.|0|-;" RMIN ";" RMAX, "staper", "", ""},
    {"botw", "Bond order two-body (botw)", "CBoTwoBodyFunctionalForm",
     "A|eV|1|F;B|eV|1|F;za|1/" AA "|1|F;zb|1/" AA "|1|F;rtaper|" AA "|1|-;rmax|" AA "|10|-", "kjmol kcal combine",
     "", ""},
    {"buck", "Buckingham (buck)", "CBuckFunctionalForm",
     "A|eV|0|F;rho|" AA "|0|F;C|eV*" AA "^6|0|F;" RMIN ";" RMAX, COMMON " kjmol kcal ener grad", "", "scale14=1"},
    {"eam_p", "Embedded atom potential shift (eam_p)", "CEamPotentialShiftFunctionalForm",
     "g||1|F;beta|1/" AA "|1|F;" RMIN ";" RMAX, COMMON " kjmol kcal au ener grad", "", "scale14=1"},
    {"buck4", "Four-range Buckingham (buck4)", "CBuck4FunctionalForm",
     "A|eV|0|F;rho|" AA "|0|F;C|eV*" AA "^6|0|F;" RMIN ";cut1|" AA "|0|-;rminimum|" AA "|0|F;cut2|" AA "|0|-;" RMAX,
     COMMON " kjmol kcal", "", "scale14=1"},
    {"igau", "Inverted Gaussian (igauss)", "CEnerGradFunctionalForm",
     "A|eV|0|F;b|1/" AA "^2|0|F;r0|" AA "|0|F;" RMIN ";" RMAX, COMMON " kjmol kcal", "", "scale14=1"},
    {"ryd", "Rydberg (ryd)", "CEnerGradFunctionalForm", "A|eV|0|F;B||0|F;r0|" AA "|0|F;" RMIN ";" RMAX,
     COMMON " kjmol kcal", "", "scale14=1"},
    {"tsun", "Tsuneyuki (tsun)", "CTsuneyukiFunctionalForm",
     "Q1|a.u.|0|-;Q2|a.u.|0|-;zeta|1/" AA "|0|F;" RMIN ";" RMAX, "form2 " COMMON, "", ""},
    {"cove", "Covalent-exponential (covexp)", "CEnerGradFunctionalForm",
     "D|eV|0|F;a|1/" AA "|0|F;r0|" AA "|0|F;" RMIN ";" RMAX, COMMON " kjmol kcal ener grad", "", "scale14=1"},
    {"mors", "Morse (mors)", "CMorsFunctionalForm",
     "De|eV|0|F;a|1/" AA "|0|F;r0|" AA "|0|F;coul||0|O;rmin|" AA "|0|O;rmax|" AA "|10|-",
     "intra inter bond x12 x13 o14 kjmol kcal etaper ener grad", "", "scale14=1"},
    {"ferm", "Fermi-Dirac (ferm)", "CEnerGradFunctionalForm",
     "a|eV|0|F;b|" AA "^-1|0|F;r0|" AA "|0|F;" RMIN ";" RMAX, COMMON " kjmol kcal ener grad", "", "scale14=1"},
    {"ljbuf", "Buffered Lennard-Jones (ljbuffered)", "CLjBufferedFunctionalForm",
     "A|eV*" AA "^m|0|F;B|eV*" AA "^n|0|F;r0|" AA "|0|F;" RMIN ";" RMAX, COMMON " kjmol kcal", "m=12 n=6",
     "scale14=1"},
    {"qtap", "Coulomb taper (qtaper)", "CEnerGradFunctionalForm", "C|eV|0|F;" RMAX, COMMON " kjmol kcal", "",
     "scale14=1"},
    {"sw2", "Stillinger-Weber two-body (sw2)", "CEnerGradFunctionalForm",
     "A|eV|0|F;rho|" AA "|0|F;B|" AA "^4|0|F;" RMIN ";" RMAX, COMMON " kjmol kcal", "", "scale14=1"},
    {"qerfc", "Complementary error function Coulomb (qerfc)", "CQerfcFunctionalForm", "rho|" AA "|0|F;" RMAX,
     COMMON " au nm pm ener grad", "", ""},
    {"sw2j", "Jiang-Brown variant of Stillinger Weber (sw2jb)", "CLongFunctionalForm",
     "A|eV|0|F;rho|" AA "|0|F;B|" AA "^4|0|F;Q|a.u.|0|F;" RMIN ";" RMAX, "intra inter bond x12 x13 o14 kjmol kcal",
     "", "scale14=1"},
    {"harm", "Harmonic (harm)", "CHarmonicFunctionalForm",
     "k2|eV/" AA "^2|0|F;r0|" AA "|0|F;coul||0|O;" RMIN ";" RMAX ";k3|eV/" AA "^3|0|F;k4|eV/" AA "^4|0|F",
     "k3 k4 " COMMON " kjmol kcal ener grad", "", "scale14=1"},
    {"squa", "Squared harmonic (squa)", "CSQHarmonicFunctionalForm",
     "k2|eV/" AA "^4|0|F;r0|" AA "|0|F;coul||0|O;" RMIN ";" RMAX, COMMON " kjmol kcal grad", "", "scale14=1"},
    {"poly", "Polynomial (poly)", "CPolynomialFunctionalForm",
     "coefficient0|eV|0|F;coefficient1|eV|0|F;coefficient2|eV|0|F;coefficient3|eV|0|F;coefficient4|eV|0|F;"
     "coefficient5|eV|0|F;r0|" AA "|0|F;" RMIN ";" RMAX,
     "harmonic " COMMON " kjmol kcal", "norder=5", "scale14=1"},
    {"gener", "General (gener)", "CGeneralFunctionalForm",
     "A|eV*" AA "^m|0|F;rho|" AA "|0|F;C|eV*" AA "^n|0|F;" RMIN ";" RMAX, "ener grad " COMMON " kjmol kcal",
     "m=12 n=6", "scale14=1"},
    {"damp", "Damped dispersion (damp)", "CDampFunctionalForm",
     "C6|eV*" AA "^6|0|F;C8|eV*" AA "^8|0|F;C10|eV*" AA "^10|0|F;b6|1/" AA "|0|FO;b8|1/" AA "|0|FO;b10|1/" AA
     "|0|FO;" RMIN ";" RMAX,
     COMMON " kjmol kcal", "", "scale14=1"},
    {"coul", "Coulomb (coul)", "CCoulombFunctionalForm", "scale||1|FO;" RMIN ";" RMAX,
     "intra inter bond x12 x13 o14", "", "scale14=1"},
    {"many", "Manybody (many)", "CZelmFunctionalForm", RMIN ";" RMAX, "", "", ""},
};

const std::vector<Expected> kCoreShell = {
    {"bose", "Bond order self-energy (bose)", "CFunctionalForm", "Kq|eV|0|-;rho|a.u.|1|O;q0|a.u.|0|-", "", "", ""},
    {"bore", "Bond order repulsive (bore)", "CBoFunctionalForm", "alpha||0|F;m||0|-;n||0|F;lambda|1/" AA "|0|F",
     "theta", "", ""},
    {"boat", "Bond order attractive (boat)", "CBoFunctionalForm", "alpha||0|F;m||0|-;n||0|F;lambda|1/" AA "|0|F",
     "theta", "", ""},
    {"bsm", "Breathing shell model (bsm)", "CBsmFunctionalForm",
     "K|eV/" AA "^2|0|F;r0|" AA "|0|F;K|eV|0|F;rho|1/" AA "|0|F;r0|" AA "|0|F",
     "exponential single_exponential kjmol kcal", "", ""},
    {"spri", "Spring (spri)", "CSpringFunctionalForm", "k2|eV/" AA "^2|0|F;k4|eV/" AA "^4 |0|FO", "kjmol kcal", "",
     ""},
    {"cosh", "Cosh-spring (cosh)", "CSpringFunctionalForm", "k2|eV/" AA "^2|0|F;d|" AA "|0|F", "kjmol kcal", "", ""},
};

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

const std::map<std::string, std::type_index>& FormClasses()
{
    static const std::map<std::string, std::type_index> classes = {
        {"CFunctionalForm", typeid(CFunctionalForm)},
        {"CZelmFunctionalForm", typeid(CZelmFunctionalForm)},
        {"CGlueFunctionalForm", typeid(CGlueFunctionalForm)},
        {"CLennardFunctionalForm", typeid(CLennardFunctionalForm)},
        {"CBoTwoBodyFunctionalForm", typeid(CBoTwoBodyFunctionalForm)},
        {"CBuckFunctionalForm", typeid(CBuckFunctionalForm)},
        {"CEamPotentialShiftFunctionalForm", typeid(CEamPotentialShiftFunctionalForm)},
        {"CBuck4FunctionalForm", typeid(CBuck4FunctionalForm)},
        {"CEnerGradFunctionalForm", typeid(CEnerGradFunctionalForm)},
        {"CTsuneyukiFunctionalForm", typeid(CTsuneyukiFunctionalForm)},
        {"CMorsFunctionalForm", typeid(CMorsFunctionalForm)},
        {"CLjBufferedFunctionalForm", typeid(CLjBufferedFunctionalForm)},
        {"CQerfcFunctionalForm", typeid(CQerfcFunctionalForm)},
        {"CLongFunctionalForm", typeid(CLongFunctionalForm)},
        {"CHarmonicFunctionalForm", typeid(CHarmonicFunctionalForm)},
        {"CSQHarmonicFunctionalForm", typeid(CSQHarmonicFunctionalForm)},
        {"CPolynomialFunctionalForm", typeid(CPolynomialFunctionalForm)},
        {"CGeneralFunctionalForm", typeid(CGeneralFunctionalForm)},
        {"CDampFunctionalForm", typeid(CDampFunctionalForm)},
        {"CCoulombFunctionalForm", typeid(CCoulombFunctionalForm)},
        {"CBoFunctionalForm", typeid(CBoFunctionalForm)},
        {"CBsmFunctionalForm", typeid(CBsmFunctionalForm)},
        {"CSpringFunctionalForm", typeid(CSpringFunctionalForm)},
    };
    return classes;
}

void CheckForm(const CInteractionType& type, const Expected& expected)
{
    SCOPED_TRACE(expected.keyword);
    ASSERT_TRUE(type.HasFunctionalForm(expected.keyword));
    const FunctionalFormPtr form = type.GetFunctionalForm(expected.keyword);
    EXPECT_EQ(form->GetKeyword(), expected.keyword);
    EXPECT_EQ(form->GetDisplayName(), expected.display);
    EXPECT_EQ(type.GetFunctionalForm(expected.display), form);
    const CFunctionalForm& object = *form;
    EXPECT_EQ(std::type_index(typeid(object)), FormClasses().at(expected.formClass));

    const std::vector<std::string> parameters = Split(expected.parameters, ';');
    const ParameterDescriptionList& descriptions = form->GetParameterDescriptions();
    ASSERT_EQ(descriptions.size(), parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::vector<std::string> fields = Split(parameters[i], '|');
        ASSERT_EQ(fields.size(), 4u) << parameters[i];
        const CParameterDescription& description = *descriptions[i];
        SCOPED_TRACE(fields[0]);
        EXPECT_EQ(description.GetName(), fields[0]);
        EXPECT_EQ(description.GetUnit(), fields[1]);  // byte for byte
        EXPECT_EQ(description.GetDefaultValue(), std::stod(fields[2]));
        EXPECT_EQ(description.IsFittable(), fields[3].find('F') != std::string::npos);
        EXPECT_EQ(description.IsOptional(), fields[3].find('O') != std::string::npos);
        EXPECT_FALSE(description.IsHidden());
    }

    const std::vector<std::string> booleans = Split(expected.booleans, ' ');
    ASSERT_EQ(form->GetBooleanOptionDescriptions().size(), booleans.size());
    for (std::size_t i = 0; i < booleans.size(); ++i) {
        EXPECT_EQ(form->GetBooleanOptionDescriptions()[i]->GetName(), booleans[i]);
        EXPECT_FALSE(form->GetBooleanOptionDescriptions()[i]->GetDefaultValue());
        EXPECT_EQ(form->IndexOfBooleanOption(booleans[i]), static_cast<int>(i)) << booleans[i];
    }

    const std::vector<std::string> integers = Split(expected.integers, ' ');
    ASSERT_EQ(form->GetIntegerOptionDescriptions().size(), integers.size());
    for (std::size_t i = 0; i < integers.size(); ++i) {
        const std::vector<std::string> fields = Split(integers[i], '=');
        EXPECT_EQ(form->GetIntegerOptionDescriptions()[i]->GetName(), fields[0]);
        EXPECT_EQ(form->GetIntegerOptionDescriptions()[i]->GetDefaultValue(), std::stoi(fields[1]));
    }

    const std::vector<std::string> doubles = Split(expected.doubles, ' ');
    ASSERT_EQ(form->GetDoubleOptionDescriptions().size(), doubles.size());
    for (std::size_t i = 0; i < doubles.size(); ++i) {
        const std::vector<std::string> fields = Split(doubles[i], '=');
        EXPECT_EQ(form->GetDoubleOptionDescriptions()[i]->GetName(), fields[0]);
        EXPECT_EQ(form->GetDoubleOptionDescriptions()[i]->GetDefaultValue(), std::stod(fields[1]));
    }
}

void CheckType(const CInteractionType& type, const std::vector<Expected>& table)
{
    std::list<std::string> keywords;
    for (const Expected& row : table)
        keywords.push_back(row.keyword);
    EXPECT_EQ(type.GetFunctionalFormKeywords(), keywords);
    for (const Expected& row : table)
        CheckForm(type, row);
}

}  // namespace

TEST(TwoBodyRegistry, EveryFormMatchesTheTables)
{
    const CZelmTwoBodyInteractionType type;
    EXPECT_EQ(type.GetName(), "Two-body");
    EXPECT_EQ(type.GetNumberOfAtoms(), 2);
    CheckType(type, kTwoBody);
}

TEST(CoreShellRegistry, EveryFormMatchesTheTables)
{
    const CZelmCoreShellInteractionType type;
    EXPECT_EQ(type.GetName(), "Core-Shell");
    EXPECT_EQ(type.GetNumberOfAtoms(), 1);
    CheckType(type, kCoreShell);
}

TEST(TwoBodyRegistry, ServerDescriptionRegistersCoreShellThenTwoBody)
{
    const CZelmServerDescription server;
    const std::list<std::string> names = server.GetInteractionTypeNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names.front(), "Core-Shell");
    EXPECT_EQ(*std::next(names.begin()), "Two-body");
    EXPECT_EQ(server.GetTypeOfFunctionalForm("buck"), "Two-body");
    EXPECT_EQ(server.GetTypeOfFunctionalForm("spring"), "Core-Shell");
    EXPECT_EQ(server.GetFunctionalFormFullName("buckingham"), "Buckingham (buck)");
    EXPECT_EQ(server.GetFunctionalFormFullName("buck4"), "Four-range Buckingham (buck4)");
    EXPECT_EQ(server.GetFunctionalFormFullName("lennard"), "Lennard-Jones (lenn)");
    EXPECT_EQ(server.GetFunctionalFormFullName("ljbuffered"), "Buffered Lennard-Jones (ljbuffered)");
    EXPECT_EQ(server.GetFunctionalFormFullName("sw2jb"), "Jiang-Brown variant of Stillinger Weber (sw2jb)");
    EXPECT_EQ(server.GetFunctionalFormFullName("polynomial"), "Polynomial (poly)");
}

namespace {

struct Shared {
    const char* kind;  // "p" parameter, "b" boolean, "i" integer, "d" double
    const char* name;
    std::vector<const char*> forms;  // all of these hold one object
};

const void* Description(const CInteractionType& type, const std::string& kind, const std::string& form,
                        const std::string& name)
{
    const FunctionalFormPtr f = type.GetFunctionalForm(form);
    auto find = [&](const auto& list) -> const void* {
        for (const auto& description : list) {
            if (description->GetName() == name)
                return description.get();
        }
        ADD_FAILURE() << form << " has no " << kind << " " << name;
        return nullptr;
    };
    if (kind == "p")
        return find(f->GetParameterDescriptions());
    if (kind == "b")
        return find(f->GetBooleanOptionDescriptions());
    if (kind == "i")
        return find(f->GetIntegerOptionDescriptions());
    return find(f->GetDoubleOptionDescriptions());
}

}  // namespace

TEST(TwoBodyRegistry, DescriptionsAreSharedAsListed)
{
    const CZelmTwoBodyInteractionType type;
    // Each group is one object; different groups of one name are different
    // objects.
    const std::vector<Shared> groups = {
        {"p", "rmin", {"srgl", "lenn", "boch", "buck", "eam_p", "buck4", "igau", "ryd", "tsun", "cove", "ferm",
                       "ljbuf", "sw2", "sw2j", "harm", "squa", "poly", "gener", "damp", "coul", "many"}},
        {"p", "rmin", {"mors"}},
        {"p", "rmax", {"srgl", "lenn", "boch", "buck", "eam_p", "buck4", "igau", "ryd", "tsun", "cove", "ferm",
                       "ljbuf", "qtap", "sw2", "qerfc", "sw2j", "harm", "squa", "poly", "gener", "damp", "coul",
                       "many"}},
        {"p", "rmax", {"botw"}},
        {"p", "rmax", {"mors"}},
        {"p", "r0", {"igau", "ryd", "cove", "ferm", "ljbuf", "harm", "squa", "poly"}},
        {"p", "r0", {"mors"}},
        {"p", "coul", {"harm", "squa"}},
        {"p", "coul", {"mors"}},
        {"p", "rho", {"buck", "buck4", "sw2", "qerfc", "sw2j", "gener"}},
        {"b", "bond", {"buck4", "igau", "ryd", "tsun", "mors", "qerfc", "sw2j", "harm", "squa", "poly", "gener", "coul"}},
        {"b", "bond", {"buck", "cove", "ferm"}},
        {"b", "bond", {"ljbuf", "qtap", "sw2", "damp"}},
        {"b", "bond", {"srgl"}},
        {"b", "bond", {"lenn"}},
        {"b", "bond", {"eam_p"}},
        {"b", "combine", {"lenn"}},
        {"b", "combine", {"botw"}},
        {"b", "kjmol", {"srgl", "lenn", "botw", "buck", "eam_p", "harm", "poly", "damp"}},
        {"b", "au", {"eam_p", "qerfc"}},
        {"i", "m", {"lenn", "ljbuf"}},
        {"i", "m", {"gener"}},
        {"i", "n", {"lenn", "ljbuf"}},
        {"i", "n", {"gener"}},
        {"d", "scale14", {"srgl", "lenn", "buck", "eam_p", "buck4", "igau", "ryd", "cove", "mors", "ferm", "ljbuf",
                          "qtap", "sw2", "sw2j", "harm", "squa", "poly", "gener", "damp", "coul"}},
    };
    std::map<std::string, std::vector<const void*>> seen;
    for (const Shared& group : groups) {
        const void* first = Description(type, group.kind, group.forms.front(), group.name);
        for (const char* form : group.forms)
            EXPECT_EQ(Description(type, group.kind, form, group.name), first) << group.name << " of " << form;
        std::vector<const void*>& others = seen[std::string(group.kind) + group.name];
        for (const void* other : others)
            EXPECT_NE(other, first) << group.name << " of " << group.forms.front();
        others.push_back(first);
    }
    // "A" in eV and "A" in eV*Å^m are different objects, each shared.
    EXPECT_EQ(Description(type, "p", "buck", "A"), Description(type, "p", "sw2j", "A"));
    EXPECT_EQ(Description(type, "p", "lenn", "A"), Description(type, "p", "gener", "A"));
    EXPECT_NE(Description(type, "p", "buck", "A"), Description(type, "p", "lenn", "A"));
    EXPECT_EQ(Description(type, "p", "lenn", "B"), Description(type, "p", "ljbuf", "B"));
    EXPECT_EQ(Description(type, "p", "sw2", "B"), Description(type, "p", "sw2j", "B"));
    EXPECT_EQ(Description(type, "p", "buck", "C"), Description(type, "p", "buck4", "C"));
    EXPECT_NE(Description(type, "p", "buck", "C"), Description(type, "p", "gener", "C"));
}

TEST(CoreShellRegistry, BondOrderFormsShareTheirListsAndBsmKeepsTwoR0)
{
    const CZelmCoreShellInteractionType type;
    const FunctionalFormPtr bore = type.GetFunctionalForm("bore");
    const FunctionalFormPtr boat = type.GetFunctionalForm("boat");
    EXPECT_EQ(bore->GetParameterDescriptions(), boat->GetParameterDescriptions());
    EXPECT_EQ(bore->GetBooleanOptionDescriptions(), boat->GetBooleanOptionDescriptions());
    const ParameterDescriptionList& bsm = type.GetFunctionalForm("bsm")->GetParameterDescriptions();
    EXPECT_NE(bsm[1], bsm[4]);
    EXPECT_EQ(type.GetFunctionalForm("bsm")->GetBooleanOptionDescriptions()[2],
              type.GetFunctionalForm("cosh")->GetBooleanOptionDescriptions()[0]);
}

TEST(TwoBodyRegistry, NewInteractionsStartFromTheirShapes)
{
    const CZelmTwoBodyInteractionType twoBody;
    const CZelmCoreShellInteractionType coreShell;
    struct Case {
        const CInteractionType* type;
        const char* form;
        std::vector<std::string> parameters;
    };
    const std::vector<Case> cases = {
        {&twoBody, "lenn", {"A", "B", "rmin", "rmax"}},
        {&twoBody, "harm", {"k2", "r0", "coul", "rmin", "rmax"}},
        {&twoBody, "poly",
         {"coefficient0", "coefficient1", "coefficient2", "coefficient3", "coefficient4", "coefficient5", "rmin",
          "rmax"}},
        {&twoBody, "botw", {"A", "B", "za", "zb", "rtaper", "rmax"}},
        {&twoBody, "buck", {"A", "rho", "C", "rmin", "rmax"}},
        {&coreShell, "bsm", {"K", "r0"}},
        {&coreShell, "bore", {"alpha", "m", "n", "lambda"}},
    };
    for (const Case& c : cases) {
        const CInteraction interaction(c.type->GetFunctionalForm(c.form));
        std::vector<std::string> names;
        for (const CParameter& parameter : interaction.GetParameters())
            names.push_back(parameter.GetName());
        EXPECT_EQ(names, c.parameters) << c.form;
        for (const CBooleanOption& option : interaction.GetBooleanOptions())
            EXPECT_FALSE(option.GetValue()) << c.form << " " << option.GetName();
    }
    const CInteraction bsm(coreShell.GetFunctionalForm("bsm"));
    EXPECT_EQ(bsm.GetParameter(0).GetUnit(), "eV/" AA "^2");
    const CInteraction poly(twoBody.GetFunctionalForm("poly"));
    EXPECT_EQ(poly.GetIntegerOptionValue(0), 5);
    const CInteraction lenn(twoBody.GetFunctionalForm("lenn"));
    EXPECT_EQ(lenn.GetIntegerOptionValue(0), 12);
    EXPECT_EQ(lenn.GetIntegerOptionValue(1), 6);
}

TEST(TwoBodyRegistry, CanonicalOrderingPutsTheLowerIdentifierFirst)
{
    const CZelmTwoBodyInteractionType type;
    EXPECT_EQ(type.GetCanonicalOrdering({3, 1}), (std::list<unsigned>{1, 3}));
    EXPECT_EQ(type.GetCanonicalOrdering({1, 3}), (std::list<unsigned>{1, 3}));
    EXPECT_EQ(type.GetCanonicalOrdering({2, 2}), (std::list<unsigned>{2, 2}));
    EXPECT_EQ(type.GetCanonicalOrdering({7}), (std::list<unsigned>{7}));
}
