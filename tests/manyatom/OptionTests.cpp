// Option changes of the three-body, four-body and many-body forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kelv/kelv.h"
#include "manyatom/Support.h"

using manyatom::Lists;

namespace {

const char* const kAllForms[] = {"equa", "hydro", "lin3", "axil", "bcro", "bacr", "bcos", "murr", "expo",
                                 "sw3",  "sw3j",  "urey", "thre", "uff3", "inve", "tors", "tort", "tore",
                                 "torh", "tora",  "outo", "ryck", "uff4", "eam_f", "eam_d"};

const std::string kCut3 = "rmin(1-2) rmax(1-2) rmin(1-3) rmax(1-3) rmin(2-3) rmax(2-3)";

}  // namespace

TEST(ManyAtomOptions, GroupsLoneOptionsHeldValuesAndIndexes)
{
    // Steps, then the options on afterwards in list order.
    const std::vector<std::vector<const char*>> cases = {
        {"equa", "+intra +bond +inter", "inter bond"},
        {"bacr", "+inter +bond +intra", "intra bond"},
        {"hydro", "+taper +intra +inter", "inter taper"},
        {"sw3", "+modified +intra +bond +inter", "modified inter bond"},
        {"sw3", "+intra -intra", ""},
        {"thre", "+exponential +vessal +k3 +bond +mol +intra", "vessal k3 intra mol"},
        {"inve", "+squared +intra +bond +mol", "squared mol"},
        {"tors", "+intra +bond +dreiding +inter", "inter bond dreiding"},
        {"tort", "+intra +dreiding +bond", "bond dreiding"},
        {"uff4", "+bond +dreiding +intra", "intra dreiding"},
        {"tora", "+intra +dreiding +bond", "bond dreiding"},
        {"outo", "+bond +inter +intra", "intra bond"},
        {"outo", "+inter -intra", ""},  // no held-value test: switching "intra" off clears "inter"
        {"eam_f", "+power +johnson", "johnson"},
        {"eam_d", "+exponential +glue", "glue"}};
    for (const auto& c : cases) {
        Lists lists(c[0]);
        lists.Apply(c[1]);
        EXPECT_EQ(lists.OnOptions(), c[2]) << c[0] << ": " << c[1];
    }

    for (const char* keyword : kAllForms) {
        SCOPED_TRACE(keyword);
        Lists lists(keyword);
        for (std::size_t i = 0; i < lists.parameters.size(); ++i)
            lists.parameters[i].SetValue(1.5 + static_cast<double>(i));
        const std::string before = lists.State();
        for (std::size_t i = 0; i < lists.booleans.size(); ++i)
            EXPECT_TRUE(lists.SetAt(static_cast<int>(i), lists.booleans[i].GetValue()));
        EXPECT_FALSE(lists.SetAt(static_cast<int>(lists.booleans.size()), true));
        EXPECT_FALSE(lists.SetInteger(static_cast<int>(lists.integers.size()), 1));
        EXPECT_EQ(lists.State(), before);
    }
}

TEST(ManyAtomOptions, EnergyUnitsConvertTheEnergyParameters)
{
    // Form, options set first, unit switched on, converted parameters, unit
    // text of the first one.
    const std::vector<std::vector<const char*>> cases = {
        {"equa", "", "kjmol", "K", "kJ/mol"},
        {"bcro", "", "kcal", "K", "kcal/" AA "^2"},
        {"bacr", "", "kcal", "K1 K2", "kcal/" AA "/rad"},
        {"hydro", "+taper", "kjmol", "A B", "kJ/mol*" AA "^m"},
        {"sw3", "+modified", "kcal", "K", "kcal"},
        {"thre", "", "kcal", "k", "kcal/rad^2"},
        {"thre", "+k4 +k3", "kjmol", "k k3 k4", "kJ/mol/rad^2"},
        {"inve", "", "kcal", "k", "kcal"},
        {"tors", "", "kcal", "k", "kcal"},
        {"tors", "+esff", "kcal", "k1 k2", "kcal"},
        {"tort", "+esff", "kjmol", "k1 k2", "kJ/mol"},
        {"torh", "", "kcal", "K", "kcal/rad^2"},
        {"outo", "", "kcal", "k k4", "kcal/" AA "^2"},
        {"eam_d", "", "kcal", "C", "kcal/" AA "^n"},
        {"eam_d", "+exponential", "kjmol", "A", "kJ/mol/" AA "^n"},
        {"eam_d", "+glue", "kcal", "b1_3 b1_2 b1_1 b1_0 b2_3 b2_2 b2_1 b2_0 b3_3 b3_2 b3_1 b3_0", "kcal"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c[0]) + " " + c[1] + " " + c[2]);
        Lists lists(c[0]);
        lists.Apply(c[1]);
        for (CParameter& parameter : lists.parameters)
            parameter.SetValue(2.0);
        lists.Apply(std::string("+") + c[2]);
        const double inEV = std::string(c[2]) == "kcal" ? 0.043393453 : 0.010364348;
        std::string converted, unit;
        for (const CParameter& parameter : lists.parameters) {
            if (parameter.GetValue() == 2.0)
                continue;
            EXPECT_DOUBLE_EQ(parameter.GetValue(), 2.0 / inEV) << parameter.GetName();
            unit = converted.empty() ? parameter.GetUnit() : unit;
            converted += (converted.empty() ? "" : " ") + parameter.GetName();
        }
        EXPECT_EQ(converted, c[3]);
        EXPECT_EQ(unit, c[4]);
    }

    // "outo": "kjmol" set off while "kcal" is on clears both and returns to eV.
    Lists outo("outo");
    outo.P("k").SetValue(4.0);
    outo.Apply("+kcal -kjmol");
    EXPECT_EQ(outo.State(), "k=4eV/" AA "^2 k4=0eV/" AA "^4 rmax(1-2)=10" AA " rmax(1-3)=10" AA " rmax(1-4)=10" AA
                            " |  |");
}

TEST(ManyAtomOptions, OptionsThatChangeTheParameterList)
{
    // "thre": "k3" and "k4" after "k", labelled in the current unit.
    Lists thre("thre");
    thre.P("k").SetValue(3.0);
    thre.Apply("+k4");
    thre.P("k4").SetValue(-4.0);
    thre.Apply("+k3");
    EXPECT_EQ(thre.Names(), "k k3 k4 theta0 " + kCut3);
    EXPECT_EQ(thre.P("k4").GetValue(), -4.0);
    thre.Apply("-k3");
    EXPECT_EQ(thre.Names(), "k k4 theta0 " + kCut3);
    thre.Apply("-k4 +kjmol +k3");
    EXPECT_EQ(thre.Names(), "k k3 theta0 " + kCut3);
    EXPECT_EQ(thre.P("k3").GetUnit(), "kJ/mol/rad^3");

    // "hydro": "taper" adds the angle range; the others keep values and units.
    Lists hydro("hydro");
    EXPECT_EQ(hydro.State().substr(hydro.State().find('|')), "|  | m=12 n=10 p=4");
    hydro.P("A").SetValue(5.0);
    hydro.P("rmax(2-3)").SetValue(3.5);
    hydro.Apply("+kjmol +taper");
    const std::string tapered = hydro.State();
    EXPECT_EQ(hydro.Names(), "A B theta_min theta_max " + kCut3);
    EXPECT_EQ(tapered.substr(tapered.find("theta_min"), 35), "theta_min=0degrees theta_max=180deg");
    EXPECT_EQ(hydro.P("A").GetUnit(), "kJ/mol*" AA "^m");
    hydro.Apply("+intra -taper");
    EXPECT_TRUE(hydro.SetInteger(2, 6));
    std::string kept = tapered;  // without the angle range, every value and unit as it was
    kept.erase(kept.find("theta_min"), kept.find("rmin(1-2)") - kept.find("theta_min"));
    kept.replace(kept.find('|'), std::string::npos, "| intra kjmol | m=12 n=10 p=6");
    EXPECT_EQ(hydro.State(), kept);

    // "tors": "esff" rebuilds every parameter at zero, in eV.
    Lists tors("tors");
    tors.P("k").SetValue(2.0);
    tors.Apply("+kcal +esff");
    EXPECT_EQ(tors.State(), "k1=0eV k2=0eV n=0 phi0=0degrees rmax12=0" AA " rmax23=0" AA " rmax34=0" AA
                            " rmax41=0" AA " | esff |");
    tors.Apply("-esff");
    EXPECT_EQ(tors.State(), "k=0eV n=0 phi0=0degrees rmax12=0" AA " rmax23=0" AA " rmax34=0" AA " rmax41=0" AA " |  |");

    // "tort", "tore": "k1"/"k2" take the places of "k" and "phi0"; the rest stays.
    for (const char* keyword : {"tort", "tore"}) {
        Lists four(keyword);
        for (std::size_t i = 0; i < four.parameters.size(); ++i)
            four.parameters[i].SetValue(1.0 + static_cast<double>(i));
        const std::string before = four.State();
        const std::size_t from = before.find(' ', before.find("phi0"));
        const std::string rest = before.substr(from, before.find('|') - from);
        four.Apply("+kjmol +esff");
        EXPECT_EQ(four.State(), "k1=0eV k2=0eV nphase=2" + rest + "| esff |") << keyword;
        four.Apply("-esff");
        EXPECT_EQ(four.State(), "k=0eV nphase=2 phi0=0degrees" + rest + "|  |") << keyword;
    }

    // "ryck": the order sets the number of coefficients; 0 and 6 are refused.
    Lists ryck("ryck");
    ryck.P("coefficient3").SetValue(7.0);
    ryck.P("coefficient5").SetValue(9.0);
    EXPECT_TRUE(ryck.SetInteger(0, 3));
    EXPECT_EQ(ryck.Names(), "k0 rmax(1-2) rmax(2-3) rmax(3-4) rmax(4-1) coefficient0 coefficient1 coefficient2 "
                            "coefficient3");
    const std::string three = ryck.State();
    EXPECT_THROW(ryck.SetInteger(0, 0), KelvResult);
    EXPECT_THROW(ryck.SetInteger(0, 6), KelvResult);
    EXPECT_TRUE(ryck.SetInteger(0, 3));
    EXPECT_EQ(ryck.State(), three);
    EXPECT_TRUE(ryck.SetInteger(0, 5));
    EXPECT_EQ(ryck.State(), three.substr(0, three.find('|')) + "coefficient4=0eV coefficient5=0eV |  | norder=5");
    EXPECT_EQ(ryck.P("coefficient3").GetValue(), 7.0);

    // "eam_f" and "eam_d": a variant brings its own parameters at defaults.
    Lists functional("eam_f");
    EXPECT_EQ(functional.State(), "A=1eV | square_root |");
    functional.Apply("+power");
    functional.P("A").SetValue(3.0);
    EXPECT_TRUE(functional.SetInteger(0, 4));
    EXPECT_EQ(functional.State(), "A=3eV | power | n=4");
    functional.Apply("+johnson");
    EXPECT_EQ(functional.State(), "F0=1eV F1=1eV rho0=1 alpha=1 beta=1 gamma=1 | johnson |");
    functional.Apply("+banerjea_smith");
    EXPECT_EQ(functional.State(), "F0=1eV F1=1eV rho0=1 | banerjea_smith | n=1");
    functional.Apply("-banerjea_smith");
    EXPECT_EQ(functional.State(), "A=1eV | square_root |");
    functional.Apply("+foiles");
    EXPECT_EQ(functional.Names(), "F0 F1 F2 F3");
    functional.Apply("+glue");
    EXPECT_EQ(functional.Names(), "rho1 rho2 c1_4 c1_3 c1_2 c1_1 c1_0 c2_4 c2_3 c2_2 c2_1 c2_0 c3_3 c3_2 c3_1 c3_0");

    Lists density("eam_d");
    EXPECT_EQ(density.State(), "C=0eV/" AA "^n | power | n=1");
    density.Apply("+gaussian");
    EXPECT_EQ(density.State(), "A=0eV/" AA "^n B=01/" AA "^2 r0=0" AA " | gaussian | n=1");
    density.Apply("+voter +kcal");
    density.P("A").SetValue(2.0);
    density.Apply("-voter");  // selected again, fresh and in eV
    EXPECT_EQ(density.State(), "A=0eV/" AA "^n beta=01/" AA " | voter | n=1");
    density.Apply("+glue");
    EXPECT_EQ(density.Names(), "r1 r2 rm b1_3 b1_2 b1_1 b1_0 b2_3 b2_2 b2_1 b2_0 b3_3 b3_2 b3_1 b3_0");
}
