// Option changes of the three-body, four-body and many-body forms: exclusive
// groups, energy units, and the options that change the parameter list.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kelv/kelv.h"
#include "manyatom/Support.h"

using manyatom::Lists;
using manyatom::New;

namespace {

const std::vector<std::string> kAllForms = {
    "equa", "hydro", "lin3", "axil", "bcro", "bacr", "bcos", "murr", "expo", "sw3", "sw3j", "urey", "thre",
    "uff3", "inve", "tors", "tort", "tore", "torh", "tora", "outo", "ryck", "uff4", "eam_f", "eam_d"};

// Applies "+name" (on) and "-name" (off) steps in order.
void Apply(Lists& lists, const std::string& steps)
{
    std::istringstream words(steps);
    std::string step;
    while (words >> step)
        ASSERT_TRUE(lists.Set(step.substr(1), step[0] == '+')) << step;
}

// Everything an option change may touch, as text.
std::string State(const Lists& lists)
{
    std::ostringstream text;
    text.precision(17);
    for (const CParameter& parameter : lists.parameters)
        text << parameter.GetName() << "=" << parameter.GetValue() << parameter.GetUnit() << " ";
    text << "| " << lists.OnOptions() << " |";
    for (const CIntegerOption& option : lists.integers)
        text << " " << option.GetName() << "=" << option.GetValue();
    return text.str();
}

// The parameters of State from the one named `from` on.
std::string ValuesFrom(const Lists& lists, const std::string& from)
{
    const std::string state = State(lists);
    const std::size_t start = state.find(from + "=");
    return state.substr(start, state.find('|') - start);
}

}  // namespace

TEST(ManyAtomOptions, ExclusiveGroupsAndLoneOptions)
{
    struct Case {
        const char* form;
        const char* steps;
        const char* on;  // options on afterwards, in list order
    };
    const std::vector<Case> cases = {
        {"equa", "+intra +bond +inter", "inter bond"},
        {"bacr", "+inter +bond +intra", "intra bond"},
        {"hydro", "+taper +intra +inter", "inter taper"},
        {"sw3", "+modified +intra +bond +inter", "modified inter bond"},
        {"sw3", "+intra -intra", ""},
        {"thre", "+exponential +vessal +k3 +bond +mol +intra", "vessal k3 intra mol"},
        {"thre", "+cosine +inter +bond", "cosine inter bond"},
        {"inve", "+squared +intra +bond +mol", "squared mol"},
        {"tors", "+intra +bond +dreiding +inter", "inter bond dreiding"},
        {"tort", "+intra +dreiding +bond", "bond dreiding"},
        {"tore", "+inter +bond", "bond"},
        {"torh", "+intra +dreiding +inter", "inter dreiding"},
        {"uff4", "+bond +intra", "intra"},
        {"tora", "+intra +dreiding +bond", "bond dreiding"},
        {"outo", "+bond +inter +intra", "intra bond"},
        {"outo", "+inter -intra", "bond"},  // no unchanged-value test: clears "inter"
        {"eam_f", "+power +johnson", "johnson"},
        {"eam_d", "+exponential +glue", "glue"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.form) + ": " + c.steps);
        Lists lists = New(c.form);
        if (std::string(c.form) == "outo" && std::string(c.steps) == "+inter -intra")
            Apply(lists, "+bond");
        Apply(lists, c.steps);
        EXPECT_EQ(lists.OnOptions(), c.on);
    }
}

TEST(ManyAtomOptions, SettingAHeldValueChangesNothing)
{
    for (const std::string& keyword : kAllForms) {
        Lists lists = New(keyword);
        for (std::size_t i = 0; i < lists.parameters.size(); ++i)
            lists.parameters[i].SetValue(1.5 + static_cast<double>(i));
        for (std::size_t i = 0; i < lists.booleans.size(); ++i) {
            SCOPED_TRACE(keyword + " " + lists.booleans[i].GetName());
            const std::string before = State(lists);
            EXPECT_TRUE(lists.SetAt(static_cast<int>(i), lists.booleans[i].GetValue()));
            EXPECT_EQ(State(lists), before);
        }
    }
}

TEST(ManyAtomOptions, AnIndexBeyondTheOptionsIsRefused)
{
    for (const std::string& keyword : kAllForms) {
        SCOPED_TRACE(keyword);
        Lists lists = New(keyword);
        const std::string before = State(lists);
        EXPECT_FALSE(lists.SetAt(static_cast<int>(lists.booleans.size()), true));
        EXPECT_FALSE(lists.SetAt(-1, true));
        EXPECT_FALSE(lists.SetInteger(static_cast<int>(lists.integers.size()), 1));
        EXPECT_EQ(State(lists), before);
    }
}

TEST(ManyAtomOptions, KeywordMolNamesTheFormsOwnMolElseBond)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {"equa", 2}, {"sw3", 3}, {"uff3", 2}, {"tors", 2}, {"tort", 2}, {"torh", 2}, {"outo", 2}, {"uff4", 2},
        {"thre", 8}, {"inve", 4},                            // their own "mol"
        {"bacr", -1}, {"hydro", -1}, {"tora", -1}, {"ryck", -1}, {"eam_f", -1}};
    for (const auto& c : cases) {
        const Lists lists = New(c.first);
        EXPECT_EQ(lists.form->IndexOfBooleanOption("mol"), c.second) << c.first;
        EXPECT_EQ(lists.form->IndexOfBooleanOption("MOL"), -1) << c.first;
    }
    EXPECT_EQ(New("thre").form->IndexOfBooleanOption("bond"), 7);
}

TEST(ManyAtomOptions, EnergyUnitsConvertTheEnergyParameters)
{
    struct Case {
        const char* form;
        const char* setup;
        const char* unit;       // option switched on
        const char* converted;  // parameter names
        const char* firstUnit;  // unit text of the first converted one
    };
    const std::vector<Case> cases = {
        {"equa", "", "kjmol", "K", "kJ/mol"},
        {"murr", "", "kcal", "K", "kcal"},
        {"sw3", "", "kcal", "K", "kcal"},
        {"bcro", "", "kcal", "K", "kcal/" AA "^2"},
        {"bacr", "", "kcal", "K1 K2", "kcal/" AA "/rad"},
        {"hydro", "", "kcal", "A B", "kcal*" AA "^m"},
        {"hydro", "+taper", "kjmol", "A B", "kJ/mol*" AA "^m"},
        {"thre", "", "kcal", "k", "kcal/rad^2"},
        {"thre", "+k3", "kcal", "k k3", "kcal/rad^2"},
        {"thre", "+k4 +k3", "kjmol", "k k3 k4", "kJ/mol/rad^2"},
        {"inve", "", "kcal", "k", "kcal"},
        {"tors", "", "kcal", "k", "kcal"},
        {"tors", "+esff", "kcal", "k1 k2", "kcal"},
        {"tort", "+esff", "kjmol", "k1 k2", "kJ/mol"},
        {"tore", "", "kjmol", "k", "kJ/mol"},
        {"torh", "", "kcal", "K", "kcal/rad^2"},
        {"tora", "", "kcal", "K", "kcal/rad^2"},
        {"outo", "", "kcal", "k k4", "kcal/" AA "^2"},
        {"uff4", "", "kjmol", "K", "kJ/mol"},
        {"eam_d", "", "kcal", "C", "kcal/" AA "^n"},
        {"eam_d", "+exponential", "kjmol", "A", "kJ/mol/" AA "^n"},
        {"eam_d", "+glue", "kcal",
         "b1_3 b1_2 b1_1 b1_0 b2_3 b2_2 b2_1 b2_0 b3_3 b3_2 b3_1 b3_0", "kcal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.form) + " " + c.setup + " " + c.unit);
        Lists lists = New(c.form);
        Apply(lists, c.setup);
        for (CParameter& parameter : lists.parameters)
            parameter.SetValue(2.0);
        ASSERT_TRUE(lists.Set(c.unit, true));
        std::string converted;
        const CParameter* first = nullptr;
        for (const CParameter& parameter : lists.parameters) {
            if (parameter.GetValue() == 2.0)
                continue;
            converted += (converted.empty() ? "" : " ") + parameter.GetName();
            if (!first)
                first = &parameter;
            const double inEV = std::string(c.unit) == "kcal" ? 0.043393453 : 0.010364348;
            EXPECT_DOUBLE_EQ(parameter.GetValue(), 2.0 / inEV) << parameter.GetName();
        }
        EXPECT_EQ(converted, c.converted);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->GetUnit(), c.firstUnit);
    }
}

TEST(ManyAtomOptions, OutOfPlaneUnitSwitchedOffReturnsToEV)
{
    Lists outo = New("outo");
    outo.P("k").SetValue(4.0);
    ASSERT_TRUE(outo.Set("kcal", true));
    ASSERT_TRUE(outo.Set("kjmol", false));  // "kjmol" was already off
    EXPECT_EQ(outo.OnOptions(), "");
    EXPECT_DOUBLE_EQ(outo.P("k").GetValue(), 4.0);
    EXPECT_EQ(outo.P("k").GetUnit(), "eV/" AA "^2");
    EXPECT_EQ(outo.P("k4").GetUnit(), "eV/" AA "^4");
}

TEST(ManyAtomOptions, ThreeBodyConstantsComeAndGo)
{
    Lists thre = New("thre");
    const std::string cutoffs = "rmin(1-2) rmax(1-2) rmin(1-3) rmax(1-3) rmin(2-3) rmax(2-3)";
    EXPECT_EQ(thre.Names(), "k theta0 " + cutoffs);
    thre.P("k").SetValue(3.0);
    Apply(thre, "+k4");
    EXPECT_EQ(thre.Names(), "k k4 theta0 " + cutoffs);
    thre.P("k4").SetValue(-4.0);
    Apply(thre, "+k3");
    EXPECT_EQ(thre.Names(), "k k3 k4 theta0 " + cutoffs);
    EXPECT_EQ(thre.P("k3").GetValue(), 0.0);
    EXPECT_EQ(thre.P("k4").GetValue(), -4.0);
    Apply(thre, "-k3");
    EXPECT_EQ(thre.Names(), "k k4 theta0 " + cutoffs);
    Apply(thre, "-k4");
    EXPECT_EQ(thre.Names(), "k theta0 " + cutoffs);
    EXPECT_EQ(thre.P("k").GetValue(), 3.0);

    // A constant added while an energy unit is set is labelled in it.
    Apply(thre, "+kjmol +k3 +k4");
    EXPECT_EQ(thre.P("k3").GetUnit(), "kJ/mol/rad^3");
    EXPECT_EQ(thre.P("k4").GetUnit(), "kJ/mol/rad^4");
    Apply(thre, "+kcal");
    EXPECT_EQ(thre.P("k4").GetUnit(), "kcal/rad^4");
}

TEST(ManyAtomOptions, HydrogenBondTaperKeepsValuesAndUnits)
{
    Lists hydro = New("hydro");
    const std::string cutoffs = "rmin(1-2) rmax(1-2) rmin(1-3) rmax(1-3) rmin(2-3) rmax(2-3)";
    EXPECT_EQ(hydro.Names(), "A B " + cutoffs);
    EXPECT_EQ(State(hydro).substr(State(hydro).find('|')), "|  | m=12 n=10 p=4");
    hydro.P("A").SetValue(5.0);
    hydro.P("rmax(2-3)").SetValue(3.5);
    Apply(hydro, "+kjmol");
    const double a = hydro.P("A").GetValue();
    Apply(hydro, "+taper");
    EXPECT_EQ(hydro.Names(), "A B theta_min theta_max " + cutoffs);
    EXPECT_EQ(hydro.P("theta_min").GetValue(), 0.0);
    EXPECT_EQ(hydro.P("theta_max").GetValue(), 180.0);
    EXPECT_EQ(hydro.P("A").GetValue(), a);
    EXPECT_EQ(hydro.P("A").GetUnit(), "kJ/mol*" AA "^m");
    Apply(hydro, "+intra -taper");
    EXPECT_EQ(hydro.Names(), "A B " + cutoffs);
    EXPECT_EQ(hydro.P("A").GetValue(), a);
    EXPECT_EQ(hydro.P("B").GetUnit(), "kJ/mol*" AA "^n");
    EXPECT_EQ(hydro.P("rmax(2-3)").GetValue(), 3.5);

    // The integer options change alone.
    EXPECT_TRUE(hydro.SetInteger(2, 6));
    EXPECT_EQ(hydro.integers[2].GetValue(), 6);
    EXPECT_EQ(hydro.P("A").GetValue(), a);
}

TEST(ManyAtomOptions, TorsionEsffSwitches)
{
    Lists tors = New("tors");
    tors.P("k").SetValue(2.0);
    Apply(tors, "+kcal +esff");
    EXPECT_EQ(tors.Names(), "k1 k2 n phi0 rmax12 rmax23 rmax34 rmax41");
    for (const CParameter& parameter : tors.parameters)
        EXPECT_EQ(parameter.GetValue(), 0.0) << parameter.GetName();
    EXPECT_EQ(tors.OnOptions(), "esff");
    EXPECT_EQ(tors.P("k1").GetUnit(), "eV");
    EXPECT_TRUE(tors.P("k2").IsFittable());
    EXPECT_FALSE(tors.P("phi0").IsOptional());
    Apply(tors, "-esff");
    EXPECT_EQ(tors.Names(), "k n phi0 rmax12 rmax23 rmax34 rmax41");
    for (const CParameter& parameter : tors.parameters)
        EXPECT_EQ(parameter.GetValue(), 0.0) << parameter.GetName();

    for (const char* keyword : {"tort", "tore"}) {
        SCOPED_TRACE(keyword);
        Lists four = New(keyword);
        for (std::size_t i = 0; i < four.parameters.size(); ++i)
            four.parameters[i].SetValue(1.0 + static_cast<double>(i));
        const std::string keptAfterPhi0 = ValuesFrom(four, four.parameters[3].GetName());
        Apply(four, "+kjmol +esff");
        EXPECT_EQ(four.OnOptions(), "esff");
        EXPECT_EQ(four.parameters.size(), std::string(keyword) == "tort" ? 8u : 10u);
        EXPECT_EQ(four.parameters[0].GetName(), "k1");
        EXPECT_EQ(four.parameters[1].GetName(), "k2");
        EXPECT_EQ(ValuesFrom(four, "nphase"), "nphase=2 " + keptAfterPhi0);
        Apply(four, "-esff");
        EXPECT_EQ(four.parameters[0].GetName(), "k");
        EXPECT_EQ(four.parameters[0].GetValue(), 0.0);
        EXPECT_EQ(four.parameters[2].GetName(), "phi0");
        EXPECT_EQ(four.parameters[2].GetValue(), 0.0);
        EXPECT_EQ(ValuesFrom(four, "nphase"), "nphase=2 phi0=0degrees " + keptAfterPhi0);
    }
}

TEST(ManyAtomOptions, RyckaertOrderSetsTheCoefficients)
{
    Lists ryck = New("ryck");
    const std::string leading = "k0 rmax(1-2) rmax(2-3) rmax(3-4) rmax(4-1)";
    EXPECT_EQ(ryck.Names(), leading + " coefficient0 coefficient1 coefficient2 coefficient3 coefficient4 coefficient5");
    ryck.P("coefficient3").SetValue(7.0);
    ryck.P("coefficient5").SetValue(9.0);
    EXPECT_TRUE(ryck.SetInteger(0, 3));
    EXPECT_EQ(ryck.Names(), leading + " coefficient0 coefficient1 coefficient2 coefficient3");
    for (int refused : {0, 6}) {
        const std::string before = State(ryck);
        EXPECT_THROW(ryck.SetInteger(0, refused), KelvResult) << refused;
        EXPECT_EQ(State(ryck), before);
    }
    EXPECT_TRUE(ryck.SetInteger(0, 3));
    EXPECT_TRUE(ryck.SetInteger(0, 5));
    EXPECT_EQ(ryck.parameters.size(), 11u);
    EXPECT_EQ(ryck.P("coefficient3").GetValue(), 7.0);
    EXPECT_EQ(ryck.P("coefficient5").GetValue(), 0.0);
    EXPECT_EQ(ryck.integers[0].GetValue(), 5);
}

TEST(ManyAtomOptions, EmbeddedAtomVariantsRebuildTheList)
{
    Lists functional = New("eam_f");
    EXPECT_EQ(State(functional), "A=1eV | square_root |");
    Apply(functional, "+power");
    functional.P("A").SetValue(3.0);
    EXPECT_TRUE(functional.SetInteger(0, 4));
    EXPECT_EQ(State(functional), "A=3eV | power | n=4");
    Apply(functional, "+johnson");
    EXPECT_EQ(functional.Names(), "F0 F1 rho0 alpha beta gamma");
    EXPECT_TRUE(functional.integers.empty());
    Apply(functional, "+banerjea_smith");
    EXPECT_EQ(State(functional), "F0=1eV F1=1eV rho0=1 | banerjea_smith | n=1");
    Apply(functional, "-banerjea_smith");
    EXPECT_EQ(State(functional), "A=1eV | square_root |");
    Apply(functional, "+glue");
    EXPECT_EQ(functional.parameters.size(), 16u);
    Apply(functional, "+foiles");
    EXPECT_EQ(functional.Names(), "F0 F1 F2 F3");

    Lists density = New("eam_d");
    EXPECT_EQ(State(density), "C=0eV/" AA "^n | power | n=1");
    Apply(density, "+gaussian");
    EXPECT_EQ(State(density), "A=0eV/" AA "^n B=01/" AA "^2 r0=0" AA " | gaussian | n=1");
    Apply(density, "+voter +kcal");
    density.P("A").SetValue(2.0);
    // Switching the selected variant off selects it again, fresh and in eV.
    Apply(density, "-voter");
    EXPECT_EQ(State(density), "A=0eV/" AA "^n beta=01/" AA " | voter | n=1");
    Apply(density, "+glue");
    EXPECT_EQ(density.Names(), "r1 r2 rm b1_3 b1_2 b1_1 b1_0 b2_3 b2_2 b2_1 b2_0 b3_3 b3_2 b3_1 b3_0");
    EXPECT_EQ(density.integers.size(), 1u);
}
