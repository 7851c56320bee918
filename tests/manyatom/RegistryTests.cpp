// The registries of the three-body, four-body and many-body interaction
// types, checked against a second, separately written copy of their tables.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <sstream>
#include <string>
#include <typeindex>
#include <vector>

#include "forcefield/FourBodyForms.h"
#include "forcefield/FourBodyInteractionType.h"
#include "forcefield/ManyBodyForms.h"
#include "forcefield/ManyBodyInteractionType.h"
#include "forcefield/ThreeBodyForms.h"
#include "forcefield/ThreeBodyInteractionType.h"
#include "kelv/kelv.h"
#include "manyatom/Support.h"


namespace {

// Parameters "name|unit|default|flags" separated by ";" (flags "-", "F",
// "O", "FO"); boolean options "name" (default false) or "name=true"
// separated by blanks; integer options "name=default".
struct Expected {
    const char* keyword;
    const char* display;
    std::type_index formClass;
    std::string parameters;
    const char* booleans;
    const char* integers;
};

#define CUT "rmin(1-2)|" AA "|0|O;rmax(1-2)|" AA "|10|-;rmin(1-3)|" AA "|0|O;rmax(1-3)|" AA "|10|-;" \
            "rmin(2-3)|" AA "|0|O;rmax(2-3)|" AA "|10|-"
#define STD3 "intra inter bond kjmol kcal"
#define R4 "rmax(1-2)|" AA "|10|-;rmax(2-3)|" AA "|10|-;rmax(3-4)|" AA "|10|-"
#define R4B "rmax(1-2)|" AA "|10|-;rmax(1-3)|" AA "|10|-;rmax(1-4)|" AA "|10|-"
#define R41 R4 ";rmax(4-1)|" AA "|10|-"
#define TORS "intra inter bond kjmol kcal esff dreiding"
#define TORH "intra inter bond kjmol kcal dreiding"

std::string Numbered(const std::string& format, int first, int last)
{
    std::string text;
    for (int i = first; i <= last; ++i) {
        std::string item = format;
        item.replace(item.find('#'), 1, std::to_string(i));
        text += ";" + item;
    }
    return text;
}

using G = CThreeBodyGenericFunctionalForm;

const std::vector<Expected> kThreeBody = {
    {"equa", "Equatorial (equa)", typeid(G), "K|eV|0|F;n||0|F;beta|1/" AA "|1|F;r0|" AA "|0|-;" CUT, STD3, ""},
    {"hydro", "Hydrogen-bond (hydro)", typeid(CHydrogenFunctionalForm),
     "A|eV*" AA "^m|0|F;B|eV*" AA "^n|0|F;theta_min|degrees|0|-;theta_max|degrees|180|-;" CUT,
     "intra inter kjmol kcal taper", "m=12 n=10 p=4"},
    {"lin3", "Linear three-body (lin3)", typeid(G), "K|eV|0|F;isign||1|-;n||0|-;" CUT, STD3, ""},
    {"axil", "Axilrod-Teller (axil)", typeid(G), "k|eV" AA "^9|0|F;" CUT, STD3, ""},
    {"bcro", "Bond-bond cross term (bcross)", typeid(G), "K|eV/" AA "^2|0|F;r1|" AA "|0|F;r2|" AA "|0|F;" CUT, STD3,
     ""},
    {"bacr", "Bond-angle cross term (bacross)", typeid(CBacrossFunctionalForm),
     "K1|eV/" AA "/rad|0|F;K2|eV/" AA "/rad|0|F;r1|" AA "|0|F;r2|" AA "|0|F;theta0|degrees|0|F;" CUT, STD3, ""},
    {"bcos", "Bond-bond cosine cross term (bcoscross)", typeid(G),
     "K|eV/" AA "^2|0|F;b||0|F;m||0|-;n||0|-;r1|" AA "|0|F;r2|" AA "|0|F;" CUT, STD3, ""},
    {"murr", "Murrell-Mottram (murr)", typeid(G),
     "K|eV|0|F;rho||0|F;r012|" AA "|0|F;r013|" AA "|0|F;r023|" AA "|0|F;" CUT + Numbered("c#||0|F", 0, 10), STD3, ""},
    {"expo", "Exponential (expo)", typeid(G),
     "K|eV|0|F;rho1|1/" AA "|0|F;rho2|1/" AA "|0|F;rho3|1/" AA "|0|F;" CUT, STD3, ""},
    {"sw3", "Stillinger-Weber three-body (sw3)", typeid(CSw3FunctionalForm),
     "K|eV|0|F;theta0|degrees|0|F;rho1|" AA "|0|F;rho2|" AA "|0|F;" CUT, "modified " STD3, ""},
    {"sw3j", "Jiang-Brown variant of Stillinger-Weber (sw3jb)", typeid(G),
     "K|eV|0|F;theta0|degrees|0|F;rho1|" AA "|0|F;rho2|" AA "|0|F;Q|a.u.|0|F;" CUT, STD3, ""},
    {"urey", "Urey-Bradley (urey)", typeid(G), "K|eV/" AA "^2|0|F;r0|" AA "|0|F;" CUT, STD3, ""},
    {"thre", "Three-body (thre)", typeid(CThreeBodyFunctionalForm),
     "k|eV/rad^2|0|F;theta0|degrees|0|F;" CUT ";k3|eV/rad^3|0|F;k4|eV/rad^4|0|F",
     "exponential vessal cosine k3 k4 intra inter bond mol kjmol kcal", ""},
    {"uff3", "Universal three-body (uff3)", typeid(G), "K|eV|0|F;theta0|degrees|0|-;" CUT, STD3, ""},
};

const std::vector<Expected> kFourBody = {
    {"inve", "Inversion (inve)", typeid(CInversionFunctionalForm), "k|eV|0|F;k0|degrees|0|O;" R4B,
     "squared intra inter bond mol kjmol kcal", ""},
    {"tors", "Torsion (tors)", typeid(CTorsFunctionalForm), "k|eV|0|F;n||0|-;phi0|degrees|0|O;" R41, TORS, ""},
    {"tort", "Tapered torsion (tort)", typeid(CFourFunctionalForm),
     "k|eV|0|F;nphase||0|-;phi0|degrees|0|O;rtaper|" AA "|0|-;" R41 ";k1|eV|0|F;k2|eV|0|F", TORS, ""},
    {"tore", "Exponential torsion (tore)", typeid(CFourFunctionalForm),
     "k|eV|0|F;nphase||0|-;phi0|degrees|0|O;rho12|" AA "|0|F;rho23|" AA "|0|F;rho34|" AA "|0|F;" R41
     ";k1|eV|0|F;k2|eV|0|F",
     TORS, ""},
    {"torh", "Harmonic torsion (torh)", typeid(CNoEsffFunctionalForm), "K|eV/rad^2|0|F;phi0|degrees|0|F;" R4, TORH,
     ""},
    {"tora", "Angle cross torsion (tora)", typeid(CToraFunctionalForm),
     "K|eV/rad^2|0|F;theta0|degrees|0|F;theta0'|degrees|0|F;" R4, "intra bond kjmol kcal dreiding", ""},
    {"outo", "Out of plane (outo)", typeid(COutOfPlaneFunctionalForm), "k|eV/" AA "^2|0|F;k4|eV/" AA "^4|0|FO;" R4B,
     "inter intra bond kjmol kcal", ""},
    {"ryck", "Ryckaert (ryck)", typeid(CRyckaertFunctionalForm),
     "k0|eV|0|F;" R41 + Numbered("coefficient#|eV|0|F", 0, 5), "", "norder=5"},
    {"uff4", "Universal four-body (uff4)", typeid(CNoEsffFunctionalForm), "K|eV|0|F;phi0|degrees|0|-;n||0|-;" R41,
     TORH, ""},
};

const std::vector<Expected> kManyBody = {
    {"eam_f", "Embedded atom method functional (eam_f)", typeid(CFunctionalFunctionalForm),
     "A|eV|1|F;F0|eV|1|F;F1|eV|1|F;rho0||1|F;alpha||1|F;beta||1|F;gamma||1|F;c1_4||1|-;c1_3||1|-;c1_2||1|-;"
     "c1_1||1|-;c1_0||1|-;c2_4||1|-;c2_3||1|-;c2_2||1|-;c2_1||1|-;c2_0||1|-;c3_3||1|-;c3_2||1|-;c3_1||1|-;"
     "c3_0||1|-;rho1||1|-;rho2||1|-;F2|eV|1|F;F3|eV|1|F",
     "square_root=true power banerjea_smith johnson glue foiles", "n=1"},
    {"eam_d", "Embedded atom method density (eam_d)", typeid(CDensityFunctionalForm),
     "A|eV/" AA "^n|0|F;B|1/" AA "|0|F;B|1/" AA "^2|0|F;C|eV/" AA "^n|0|F;r0|" AA "|0|F;beta|1/" AA "|0|F;"
     "r1|" AA "|3|-;r2|" AA "|5|-;rm|" AA "|10|-;b1_3|eV|1|-;b1_2|eV|1|-;b1_1|eV|1|-;b1_0|eV|1|-;b2_3|eV|1|-;"
     "b2_2|eV|1|-;b2_1|eV|1|-;b2_0|eV|1|-;b3_3|eV|1|-;b3_2|eV|1|-;b3_1|eV|1|-;b3_0|eV|1|-",
     "power=true exponential gaussian cubic quadratic quartic voter evoter glue kjmol kcal", "n=1"},
};

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        if (!part.empty() || separator == '|')
            parts.push_back(part);
    }
    return parts;
}

void CheckType(const CInteractionType& type, const char* name, int atoms, const std::vector<Expected>& table)
{
    EXPECT_EQ(type.GetName(), name);
    EXPECT_EQ(type.GetNumberOfAtoms(), atoms);
    std::list<std::string> keywords;
    for (const Expected& row : table)
        keywords.push_back(row.keyword);
    EXPECT_EQ(type.GetFunctionalFormKeywords(), keywords);
    for (const Expected& row : table) {
        SCOPED_TRACE(row.keyword);
        const FunctionalFormPtr form = type.GetFunctionalForm(row.keyword);
        ASSERT_TRUE(form);
        EXPECT_EQ(form->GetDisplayName(), row.display);
        EXPECT_EQ(std::type_index(typeid(*form)), row.formClass);
        // The descriptions as text in the table's notation.
        std::string parameters, booleans, integers;
        for (const ParameterDescriptionPtr& d : form->GetParameterDescriptions()) {
            std::ostringstream value;
            value << d->GetDefaultValue();
            const std::string flags = std::string(d->IsFittable() ? "F" : "") + (d->IsOptional() ? "O" : "");
            parameters += (parameters.empty() ? "" : ";") + d->GetName() + "|" + d->GetUnit() + "|" + value.str() +
                          "|" + (flags.empty() ? "-" : flags);
        }
        for (const BooleanOptionDescriptionPtr& d : form->GetBooleanOptionDescriptions())
            booleans += (booleans.empty() ? "" : " ") + d->GetName() + (d->GetDefaultValue() ? "=true" : "");
        for (const IntegerOptionDescriptionPtr& d : form->GetIntegerOptionDescriptions())
            integers += (integers.empty() ? "" : " ") + d->GetName() + "=" + std::to_string(d->GetDefaultValue());
        const std::vector<std::string> got = Split(parameters, ';'), want = Split(row.parameters, ';');
        ASSERT_EQ(got.size(), want.size()) << parameters;
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(got[i], want[i]);  // unit texts byte for byte
        EXPECT_EQ(booleans, row.booleans);
        EXPECT_EQ(integers, row.integers);
        EXPECT_TRUE(form->GetDoubleOptionDescriptions().empty());
    }
}

// Forms that hold one object for the description of that name ('p'
// parameter, 'b' boolean, 'i' integer option); groups of one name within a
// type are different objects.
struct SharedGroup {
    char kind;
    std::string name;
    std::string forms;
};

const void* Object(const CInteractionType& type, char kind, const std::string& keyword, const std::string& name)
{
    const FunctionalFormPtr form = type.GetFunctionalForm(keyword);
    auto find = [&](const auto& list) -> const void* {
        for (const auto& description : list) {
            if (description->GetName() == name)
                return description.get();
        }
        ADD_FAILURE() << keyword << " has no " << name;
        return nullptr;
    };
    if (kind == 'p')
        return find(form->GetParameterDescriptions());
    return kind == 'b' ? find(form->GetBooleanOptionDescriptions()) : find(form->GetIntegerOptionDescriptions());
}

void CheckSharing(const CInteractionType& type, const std::vector<SharedGroup>& groups)
{
    std::multimap<std::string, const void*> seen;
    for (const SharedGroup& group : groups) {
        SCOPED_TRACE(group.name + ": " + group.forms);
        const std::vector<std::string> forms = Split(group.forms, ' ');
        const void* object = Object(type, group.kind, forms.front(), group.name);
        for (const std::string& form : forms)
            EXPECT_EQ(Object(type, group.kind, form, group.name), object) << form;
        const auto others = seen.equal_range(group.name);
        for (auto other = others.first; other != others.second; ++other)
            EXPECT_NE(other->second, object);
        seen.emplace(group.name, object);
    }
}

}  // namespace

TEST(ManyAtomRegistry, EveryFormMatchesTheTables)
{
    CheckType(CZelmThreeBodyInteractionType(), "Three-body", 3, kThreeBody);
    CheckType(CZelmFourBodyInteractionType(), "Four-body", 4, kFourBody);
    CheckType(CZelmManyBodyInteractionType(), "Many-body", 1, kManyBody);
}

TEST(ManyAtomRegistry, DescriptionsAreSharedAsListed)
{
    const std::string all = "equa hydro lin3 axil bcro bacr bcos murr expo sw3 sw3j urey thre uff3";
    std::vector<SharedGroup> three = {
        {'p', "K", "equa lin3 murr expo sw3 sw3j uff3"}, {'p', "K", "bcro urey"}, {'p', "K", "bcos"},
        {'p', "theta0", "sw3 sw3j thre"}, {'p', "theta0", "bacr"}, {'p', "theta0", "uff3"},
        {'p', "r1", "bcro bacr bcos"}, {'p', "r2", "bcro bacr bcos"}, {'p', "rho1", "expo"}, {'p', "rho1", "sw3"},
        {'p', "rho1", "sw3j"}, {'b', "bond", "equa lin3 axil bcro bacr bcos murr expo sw3 sw3j urey thre uff3"}};
    for (const char* name : {"rmin(1-2)", "rmax(1-2)", "rmin(1-3)", "rmax(1-3)", "rmin(2-3)", "rmax(2-3)"})
        three.push_back({'p', name, all});
    for (const char* name : {"intra", "inter", "kjmol", "kcal"})
        three.push_back({'b', name, all});
    CheckSharing(CZelmThreeBodyInteractionType(), three);

    CheckSharing(CZelmFourBodyInteractionType(),
                 {{'p', "k", "inve tort tore"}, {'p', "k", "tors"}, {'p', "k", "outo"}, {'p', "phi0", "tors tort tore"},
                  {'p', "phi0", "torh"}, {'p', "phi0", "uff4"}, {'p', "n", "tors"}, {'p', "n", "uff4"},
                  {'p', "nphase", "tort tore"}, {'p', "k1", "tort tore"}, {'p', "k2", "tort tore"},
                  {'p', "rmax(1-2)", "inve tors tort tore torh tora outo ryck uff4"}, {'p', "rmax(1-4)", "inve outo"},
                  {'p', "rmax(4-1)", "tors tort tore ryck uff4"}, {'p', "K", "torh"}, {'p', "K", "tora"},
                  {'p', "K", "uff4"}, {'b', "intra", "inve tors tort tore torh tora outo uff4"},
                  {'b', "bond", "inve tors tort tore torh tora outo uff4"}, {'b', "esff", "tors tort tore"},
                  {'b', "dreiding", "tors tort tore torh tora uff4"}});
    CheckSharing(CZelmManyBodyInteractionType(), {{'i', "n", "eam_f eam_d"}});
}

TEST(ManyAtomRegistry, ServerDescriptionListsTheFiveTypesAndResolvesTheirWords)
{
    const CZelmServerDescription& server = manyatom::Server();
    EXPECT_EQ(server.GetInteractionTypeNames(),
              (std::list<std::string>{"Core-Shell", "Two-body", "Three-body", "Four-body", "Many-body"}));
    const std::vector<std::pair<const char*, const char*>> words = {
        {"sw3jb", "sw3j"},         {"sw3", "sw3"},           {"bcross", "bcro"},      {"bcoscross", "bcos"},
        {"three", "thre"},         {"torsion", "tors"},      {"tortaper", "tort"},    {"hydro", "hydro"},
        {"outofplane", "outo"},    {"ryckaert", "ryck"},     {"eam_functional", "eam_f"},
        {"eam_density", "eam_d"},  {"eam_potential_shift", "eam_p"}, {"urey-bradley", "urey"}};
    for (const auto& word : words) {
        std::string resolved;
        EXPECT_TRUE(server.ResolveFunctionalFormKeyword(word.first, resolved)) << word.first;
        EXPECT_EQ(resolved, word.second) << word.first;
    }
    EXPECT_EQ(server.GetTypeOfFunctionalForm("three"), "Three-body");
    EXPECT_EQ(server.GetTypeOfFunctionalForm("torsion"), "Four-body");
    EXPECT_EQ(server.GetTypeOfFunctionalForm("eam_functional"), "Many-body");
    EXPECT_EQ(server.GetFunctionalFormFullName("sw3jb"), "Jiang-Brown variant of Stillinger-Weber (sw3jb)");
    std::string untouched = "x";
    EXPECT_FALSE(server.ResolveFunctionalFormKeyword("eam", untouched));
    EXPECT_EQ(untouched, "x");
}

TEST(ManyAtomRegistry, ThreeAndFourBodyAtomTypesKeepTheirOrder)
{
    EXPECT_EQ(CZelmThreeBodyInteractionType().GetCanonicalOrdering({5, 2, 9}), (std::list<unsigned>{5, 2, 9}));
    EXPECT_EQ(CZelmFourBodyInteractionType().GetCanonicalOrdering({7, 2, 9, 2}), (std::list<unsigned>{7, 2, 9, 2}));
    EXPECT_EQ(CZelmThreeBodyInteractionType().GetCanonicalOrdering({7, 2, 9, 2}), (std::list<unsigned>{7, 2, 9, 2}));
}

TEST(ManyAtomRegistry, RyckaertOrderIsThePolynomialOrder)
{
    const FunctionalFormPtr ryck = CZelmFourBodyInteractionType().GetFunctionalForm("ryck");
    EXPECT_NE(dynamic_cast<const CNorderDescription*>(ryck->GetIntegerOptionDescriptions().at(0).get()), nullptr);
    for (int refused : {0, 6}) {
        try {
            ryck->GetIntegerOptionDescriptions()[0]->CheckValue(refused);
            ADD_FAILURE() << refused;
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetMessage(), "Value is invalid. Permitted range is 1 to 5.");
        }
    }
}
