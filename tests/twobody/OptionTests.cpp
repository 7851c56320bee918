// Option handling of the core-shell and two-body forms: exclusive groups,
// lone options, energy units and the options that change the parameters.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "forcefield/CoreShellInteractionType.h"
#include "forcefield/TwoBodyForms.h"
#include "forcefield/TwoBodyInteractionType.h"
#include "kelv/kelv.h"
#include "qorff/Interaction.h"

namespace {

#define AA "\xC5"

const double kKJ = 0.010364348;
const double kKcal = 0.043393453;

const CZelmTwoBodyInteractionType& TwoBody()
{
    static const CZelmTwoBodyInteractionType type;
    return type;
}

const CZelmCoreShellInteractionType& CoreShell()
{
    static const CZelmCoreShellInteractionType type;
    return type;
}

CInteraction New(const std::string& form)
{
    if (TwoBody().HasFunctionalForm(form))
        return CInteraction(TwoBody().GetFunctionalForm(form));
    return CInteraction(CoreShell().GetFunctionalForm(form));
}

int Index(const CInteraction& interaction, const std::string& option)
{
    return interaction.GetFunctionalForm()->IndexOfBooleanOption(option);
}

bool Set(CInteraction& interaction, const std::string& option, bool value)
{
    const int index = Index(interaction, option);
    EXPECT_NE(index, CFunctionalForm::NotFound) << option;
    return interaction.GetFunctionalForm()->SetBooleanOption(index, value, interaction.GetIntegerOptions(),
                                                             interaction.GetBooleanOptions(),
                                                             interaction.GetParameters());
}

bool SetOrder(CInteraction& interaction, int order)
{
    return interaction.GetFunctionalForm()->SetIntegerOption(0, order, interaction.GetIntegerOptions(),
                                                             interaction.GetBooleanOptions(),
                                                             interaction.GetParameters());
}

std::set<std::string> On(const CInteraction& interaction)
{
    std::set<std::string> on;
    for (const CBooleanOption& option : interaction.GetBooleanOptions()) {
        if (option.GetValue())
            on.insert(option.GetName());
    }
    return on;
}

std::vector<std::string> Names(const CInteraction& interaction)
{
    std::vector<std::string> names;
    for (const CParameter& parameter : interaction.GetParameters())
        names.push_back(parameter.GetName());
    return names;
}

// Gives every parameter a distinct value, so that any change shows.
void Fill(CInteraction& interaction)
{
    double value = 1.5;
    for (CParameter& parameter : interaction.GetParameters()) {
        parameter.SetValue(value);
        value += 1.25;
    }
}

CParameter& Parameter(CInteraction& interaction, const std::string& name)
{
    for (CParameter& parameter : interaction.GetParameters()) {
        if (parameter.GetName() == name)
            return parameter;
    }
    throw std::runtime_error("no parameter " + name);
}

}  // namespace

TEST(TwoBodyOptions, GroupsAndLoneOptions)
{
    struct Case {
        const char* form;
        std::set<std::string> before;
        const char* option;
        bool value;
        std::set<std::string> after;
    };
    const std::vector<Case> cases = {
        {"buck", {}, "intra", true, {"intra"}},
        {"buck", {"intra"}, "inter", true, {"inter"}},
        {"buck", {"intra"}, "intra", false, {}},
        {"buck", {"inter"}, "intra", false, {"inter"}},  // already off: the group is not touched
        {"buck", {"intra", "bond"}, "x13", true, {"intra", "x13"}},
        {"buck", {"x13", "mol"}, "x13", true, {"x13", "mol"}},  // already on: nothing is cleared
        {"buck", {"ener"}, "grad", true, {"grad"}},
        {"buck", {"bond", "ener", "intra"}, "mol", true, {"mol", "ener", "intra"}},
        {"tsun", {"inter", "x12"}, "bond", true, {"inter", "bond"}},
        {"tsun", {"form2", "mol"}, "form2", false, {"mol"}},
        {"eam_p", {"kjmol"}, "au", true, {"au"}},
        {"eam_p", {"au"}, "kcal", true, {"kcal"}},
        {"qerfc", {"au", "ener"}, "pm", true, {"pm", "ener"}},
        {"qerfc", {"nm"}, "grad", true, {"nm", "grad"}},
        {"lenn", {"zero"}, "esff", true, {"zero", "esff"}},
        {"lenn", {"combine", "all"}, "geometric", true, {"geometric", "all"}},
        {"lenn", {"all", "x12"}, "all", false, {"x12"}},
        {"lenn", {"ener"}, "grad", true, {"grad"}},
        {"mors", {"etaper", "bond"}, "o14", true, {"etaper", "o14"}},
        {"mors", {"x12"}, "ener", true, {"x12", "ener"}},
        {"squa", {"grad", "intra"}, "inter", true, {"grad", "inter"}},
        {"squa", {"x12"}, "grad", true, {"x12", "grad"}},
        {"coul", {"bond", "inter"}, "x12", true, {"x12", "inter"}},
        {"sw2j", {"o14"}, "bond", true, {"bond"}},
        {"gener", {"ener", "intra"}, "grad", true, {"grad", "intra"}},
        {"harm", {"ener", "bond"}, "grad", true, {"grad", "bond"}},
        {"srgl", {"intra"}, "mol", true, {"intra", "mol"}},
        {"damp", {"x12"}, "o14", true, {"o14"}},
        {"igau", {"bond"}, "x13", true, {"x13"}},
        {"cove", {"ener"}, "grad", true, {"grad"}},
        {"ljbuf", {"inter"}, "intra", true, {"intra"}},
        {"poly", {"x13"}, "bond", true, {"bond"}},
        {"boch", {}, "staper", true, {"staper"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.form) + " " + c.option + (c.value ? " on" : " off"));
        CInteraction interaction = New(c.form);
        for (const std::string& name : c.before)
            interaction.GetBooleanOptions()[static_cast<std::size_t>(Index(interaction, name))].SetValue(true);
        Fill(interaction);
        const std::vector<CParameter> parameters = interaction.GetParameters();

        EXPECT_TRUE(Set(interaction, c.option, c.value));
        EXPECT_EQ(On(interaction), c.after);
        ASSERT_EQ(interaction.GetParameters().size(), parameters.size());
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            EXPECT_EQ(interaction.GetParameters()[i].GetValue(), parameters[i].GetValue());
            EXPECT_EQ(interaction.GetParameters()[i].GetUnit(), parameters[i].GetUnit());
        }
    }
}

TEST(TwoBodyOptions, PositionsOutsideTheOptionsAreRefused)
{
    std::vector<FunctionalFormPtr> forms = TwoBody().GetFunctionalForms();
    forms.insert(forms.end(), CoreShell().GetFunctionalForms().begin(), CoreShell().GetFunctionalForms().end());
    for (const FunctionalFormPtr& form : forms) {
        SCOPED_TRACE(form->GetKeyword());
        CInteraction interaction(form);
        const int booleans = static_cast<int>(interaction.GetBooleanOptions().size());
        const int integers = static_cast<int>(interaction.GetIntegerOptions().size());
        const int doubles = static_cast<int>(interaction.GetDoubleOptions().size());
        for (int index : {-1, booleans, booleans + 3}) {
            EXPECT_FALSE(form->SetBooleanOption(index, true, interaction.GetIntegerOptions(),
                                                interaction.GetBooleanOptions(), interaction.GetParameters()));
        }
        for (int index : {-1, integers}) {
            EXPECT_FALSE(form->SetIntegerOption(index, 3, interaction.GetIntegerOptions(),
                                                interaction.GetBooleanOptions(), interaction.GetParameters()));
        }
        for (int index : {-1, doubles}) {
            EXPECT_FALSE(form->SetDoubleOption(index, 0.5, interaction.GetIntegerOptions(),
                                               interaction.GetBooleanOptions(), interaction.GetDoubleOptions(),
                                               interaction.GetParameters()));
        }
        EXPECT_TRUE(On(interaction).empty());
        EXPECT_EQ(interaction.GetParameters().size(), CInteraction(form).GetParameters().size());
        if (doubles > 0) {
            EXPECT_TRUE(form->SetDoubleOption(0, 0.5, interaction.GetIntegerOptions(), interaction.GetBooleanOptions(),
                                              interaction.GetDoubleOptions(), interaction.GetParameters()));
            EXPECT_EQ(interaction.GetDoubleOptionValue(0), 0.5);
        }
    }
}

TEST(TwoBodyOptions, EnergyUnitsConvertEnergiesOnly)
{
    struct Case {
        const char* form;
        std::set<std::string> converted;
    };
    const std::vector<Case> cases = {
        {"srgl", {"a14", "a13", "a12", "a11", "a10", "a26", "a25", "a24", "a23", "a22", "a21", "a20"}},
        {"lenn", {"A", "B"}},
        {"botw", {"A", "B"}},
        {"buck", {"A", "C"}},
        {"eam_p", {}},
        {"buck4", {"A", "C"}},
        {"igau", {"A"}},
        {"ryd", {"A"}},
        {"cove", {"D"}},
        {"mors", {"De"}},
        {"ferm", {"a"}},
        {"ljbuf", {"A", "B"}},
        {"qtap", {"C"}},
        {"sw2", {"A"}},
        {"sw2j", {"A"}},
        {"harm", {"k2"}},
        {"squa", {"k2"}},
        {"poly", {"coefficient0", "coefficient1", "coefficient2", "coefficient3", "coefficient4", "coefficient5"}},
        {"gener", {"A", "C"}},
        {"damp", {"C6", "C8", "C10"}},
        {"bsm", {"K"}},
        {"spri", {"k2", "k4"}},
        {"cosh", {"k2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        CInteraction interaction = New(c.form);
        Fill(interaction);
        const std::vector<CParameter> eV = interaction.GetParameters();

        auto check = [&](double factor, const std::string& label) {
            for (std::size_t i = 0; i < eV.size(); ++i) {
                const CParameter& now = interaction.GetParameters()[i];
                SCOPED_TRACE(now.GetName() + " in " + label);
                if (c.converted.count(now.GetName())) {
                    EXPECT_NEAR(now.GetValue(), eV[i].GetValue() * factor, 1e-9 * eV[i].GetValue() * factor);
                    std::string unit = eV[i].GetUnit();
                    unit.replace(0, 2, label);
                    EXPECT_EQ(now.GetUnit(), unit);
                } else {
                    EXPECT_EQ(now.GetValue(), eV[i].GetValue());
                    EXPECT_EQ(now.GetUnit(), eV[i].GetUnit());
                }
            }
        };
        EXPECT_TRUE(Set(interaction, "kjmol", true));
        EXPECT_EQ(On(interaction), std::set<std::string>{"kjmol"});
        check(1.0 / kKJ, "kJ/mol");
        EXPECT_TRUE(Set(interaction, "kcal", true));
        EXPECT_EQ(On(interaction), std::set<std::string>{"kcal"});
        check(1.0 / kKcal, "kcal");
        EXPECT_TRUE(Set(interaction, "kcal", false));
        EXPECT_TRUE(On(interaction).empty());
        check(1.0, "eV");
    }
}

TEST(TwoBodyOptions, BuckinghamAndSpringUnitsStepByStep)
{
    CInteraction buck = New("buck");
    Parameter(buck, "A").SetValue(1.0);
    Parameter(buck, "rho").SetValue(0.3);
    Parameter(buck, "C").SetValue(10.0);

    Set(buck, "kjmol", true);
    EXPECT_NEAR(Parameter(buck, "A").GetValue(), 96.485, 1e-3);
    EXPECT_EQ(Parameter(buck, "A").GetUnit(), "kJ/mol");
    EXPECT_EQ(Parameter(buck, "C").GetUnit(), "kJ/mol*" AA "^6");
    EXPECT_EQ(Parameter(buck, "rho").GetValue(), 0.3);

    // Setting the option it already holds converts nothing again.
    Set(buck, "kjmol", true);
    EXPECT_NEAR(Parameter(buck, "A").GetValue(), 96.485, 1e-3);

    Set(buck, "kcal", true);
    EXPECT_NEAR(Parameter(buck, "A").GetValue(), 1.0 / kKcal, 1e-6);
    EXPECT_EQ(Parameter(buck, "A").GetUnit(), "kcal");
    Set(buck, "kcal", false);
    EXPECT_NEAR(Parameter(buck, "A").GetValue(), 1.0, 1e-12);
    EXPECT_EQ(Parameter(buck, "A").GetUnit(), "eV");
    EXPECT_EQ(Parameter(buck, "C").GetUnit(), "eV*" AA "^6");
    EXPECT_EQ(Parameter(buck, "rho").GetValue(), 0.3);

    CInteraction spring = New("spri");
    Parameter(spring, "k2").SetValue(2.0);
    Parameter(spring, "k4").SetValue(4.0);
    Set(spring, "kcal", true);
    EXPECT_NEAR(Parameter(spring, "k2").GetValue(), 2.0 / kKcal, 1e-9);
    EXPECT_NEAR(Parameter(spring, "k4").GetValue(), 4.0 / kKcal, 1e-9);
    EXPECT_EQ(Parameter(spring, "k2").GetUnit(), "kcal/" AA "^2");
    EXPECT_EQ(Parameter(spring, "k4").GetUnit(), "kcal/" AA "^4 ");
    Set(spring, "kjmol", true);
    EXPECT_NEAR(Parameter(spring, "k2").GetValue(), 2.0 / kKJ, 1e-6);
    EXPECT_EQ(Parameter(spring, "k4").GetUnit(), "kJ/mol/" AA "^4 ");
    Set(spring, "kjmol", false);
    EXPECT_NEAR(Parameter(spring, "k4").GetValue(), 4.0, 1e-12);
    EXPECT_EQ(Parameter(spring, "k4").GetUnit(), "eV/" AA "^4 ");
}

TEST(TwoBodyParameterSets, LennardJonesEpsilon)
{
    CInteraction lenn = New("lenn");
    Parameter(lenn, "A").SetValue(100.0);
    Parameter(lenn, "rmin").SetValue(0.5);
    Set(lenn, "kjmol", true);
    Parameter(lenn, "A").SetIsToBeFitted(true);

    EXPECT_TRUE(Set(lenn, "epsilon", true));
    EXPECT_EQ(Names(lenn), (std::vector<std::string>{"epsilon", "sigma", "rmin", "rmax"}));
    EXPECT_EQ(On(lenn), std::set<std::string>{"epsilon"});
    EXPECT_EQ(Parameter(lenn, "epsilon").GetValue(), 0.0);
    EXPECT_EQ(Parameter(lenn, "epsilon").GetUnit(), "eV");
    EXPECT_FALSE(Parameter(lenn, "epsilon").IsToBeFitted());
    EXPECT_EQ(Parameter(lenn, "sigma").GetUnit(), AA);
    EXPECT_EQ(Parameter(lenn, "rmin").GetValue(), 0.5);

    // In the epsilon shape only epsilon is an energy.
    Parameter(lenn, "epsilon").SetValue(0.01);
    Parameter(lenn, "sigma").SetValue(3.4);
    Set(lenn, "kcal", true);
    EXPECT_NEAR(Parameter(lenn, "epsilon").GetValue(), 0.01 / kKcal, 1e-12);
    EXPECT_EQ(Parameter(lenn, "epsilon").GetUnit(), "kcal");
    EXPECT_EQ(Parameter(lenn, "sigma").GetValue(), 3.4);
    EXPECT_EQ(Parameter(lenn, "rmin").GetValue(), 0.5);

    EXPECT_TRUE(Set(lenn, "epsilon", false));
    EXPECT_EQ(Names(lenn), (std::vector<std::string>{"A", "B", "rmin", "rmax"}));
    EXPECT_EQ(Parameter(lenn, "A").GetValue(), 0.0);
    EXPECT_EQ(Parameter(lenn, "A").GetUnit(), "eV*" AA "^m");
    EXPECT_TRUE(On(lenn).empty());
}

TEST(TwoBodyParameterSets, HarmonicCubicAndQuarticTerms)
{
    CInteraction harm = New("harm");
    EXPECT_TRUE(Set(harm, "k4", true));
    EXPECT_EQ(Names(harm), (std::vector<std::string>{"k2", "k4", "r0", "coul", "rmin", "rmax"}));
    EXPECT_TRUE(Set(harm, "k3", true));
    EXPECT_EQ(Names(harm), (std::vector<std::string>{"k2", "k3", "k4", "r0", "coul", "rmin", "rmax"}));
    EXPECT_TRUE(Set(harm, "k3", true));  // already on
    EXPECT_EQ(harm.GetParameters().size(), 7u);
    Parameter(harm, "k4").SetValue(7.0);
    EXPECT_TRUE(Set(harm, "k3", false));
    EXPECT_EQ(Names(harm), (std::vector<std::string>{"k2", "k4", "r0", "coul", "rmin", "rmax"}));
    EXPECT_EQ(Parameter(harm, "k4").GetValue(), 7.0);
    EXPECT_TRUE(Set(harm, "k4", false));
    EXPECT_EQ(Names(harm), (std::vector<std::string>{"k2", "r0", "coul", "rmin", "rmax"}));

    // Terms added in kJ/mol carry that unit and follow later unit changes.
    Parameter(harm, "k2").SetValue(10.0);
    Parameter(harm, "r0").SetValue(1.2);
    Set(harm, "kjmol", true);
    Set(harm, "k3", true);
    EXPECT_EQ(Parameter(harm, "k3").GetUnit(), "kJ/mol/" AA "^3");
    Parameter(harm, "k3").SetValue(5.0);
    Set(harm, "k4", true);
    EXPECT_EQ(Parameter(harm, "k4").GetUnit(), "kJ/mol/" AA "^4");
    Parameter(harm, "k4").SetValue(6.0);
    Set(harm, "kjmol", false);
    EXPECT_NEAR(Parameter(harm, "k2").GetValue(), 10.0, 1e-12);
    EXPECT_NEAR(Parameter(harm, "k3").GetValue(), 5.0 * kKJ, 1e-15);
    EXPECT_NEAR(Parameter(harm, "k4").GetValue(), 6.0 * kKJ, 1e-15);
    EXPECT_EQ(Parameter(harm, "k3").GetUnit(), "eV/" AA "^3");
    EXPECT_EQ(Parameter(harm, "r0").GetValue(), 1.2);
}

TEST(TwoBodyParameterSets, BondOrderTwoBodyCombine)
{
    CInteraction botw = New("botw");
    Fill(botw);
    Set(botw, "kjmol", true);
    EXPECT_TRUE(Set(botw, "combine", true));
    EXPECT_EQ(Names(botw), (std::vector<std::string>{"chiR", "chiA"}));
    EXPECT_EQ(On(botw), std::set<std::string>{"combine"});
    for (const CParameter& chi : botw.GetParameters()) {
        EXPECT_EQ(chi.GetValue(), 1.0);
        EXPECT_EQ(chi.GetUnit(), "");
        EXPECT_TRUE(chi.IsFittable());
        EXPECT_FALSE(chi.IsOptional());
    }
    // chiR and chiA are no energies.
    Parameter(botw, "chiR").SetValue(2.5);
    Set(botw, "kjmol", true);
    EXPECT_EQ(Parameter(botw, "chiR").GetValue(), 2.5);
    EXPECT_EQ(On(botw), (std::set<std::string>{"combine", "kjmol"}));

    EXPECT_TRUE(Set(botw, "combine", false));
    EXPECT_EQ(Names(botw), (std::vector<std::string>{"A", "B", "za", "zb", "rtaper", "rmax"}));
    EXPECT_EQ(Parameter(botw, "A").GetValue(), 1.0);
    EXPECT_EQ(Parameter(botw, "rmax").GetValue(), 10.0);
    EXPECT_TRUE(On(botw).empty());
}

TEST(CoreShellParameterSets, BondOrderTheta)
{
    for (const char* form : {"bore", "boat"}) {
        SCOPED_TRACE(form);
        CInteraction bo = New(form);
        Fill(bo);
        EXPECT_TRUE(Set(bo, "theta", true));
        EXPECT_EQ(Names(bo), (std::vector<std::string>{"alpha", "m", "n", "lambda", "c", "d", "h"}));
        for (const char* name : {"c", "d", "h"}) {
            EXPECT_EQ(Parameter(bo, name).GetValue(), 0.0);
            EXPECT_EQ(Parameter(bo, name).GetUnit(), "");
            EXPECT_TRUE(Parameter(bo, name).IsFittable());
        }
        EXPECT_EQ(Parameter(bo, "lambda").GetValue(), 1.5 + 3 * 1.25);
        EXPECT_TRUE(Set(bo, "theta", true));
        EXPECT_EQ(bo.GetParameters().size(), 7u);
        EXPECT_TRUE(Set(bo, "theta", false));
        EXPECT_EQ(Names(bo), (std::vector<std::string>{"alpha", "m", "n", "lambda"}));
    }
}

TEST(CoreShellParameterSets, BreathingShellShapes)
{
    CInteraction bsm = New("bsm");
    Parameter(bsm, "r0").SetValue(1.1);
    Parameter(bsm, "K").SetValue(3.0);
    Set(bsm, "kjmol", true);
    EXPECT_EQ(bsm.GetParameter(0).GetUnit(), "kJ/mol/" AA "^2");

    EXPECT_TRUE(Set(bsm, "exponential", true));
    EXPECT_EQ(Names(bsm), (std::vector<std::string>{"K", "rho", "r0"}));
    EXPECT_EQ(bsm.GetParameter(0).GetUnit(), "eV");
    EXPECT_EQ(bsm.GetParameter(0).GetValue(), 0.0);
    EXPECT_EQ(bsm.GetParameter(1).GetUnit(), "1/" AA);
    EXPECT_EQ(Parameter(bsm, "r0").GetValue(), 1.1);
    EXPECT_EQ(On(bsm), std::set<std::string>{"exponential"});

    EXPECT_TRUE(Set(bsm, "single_exponential", true));
    EXPECT_EQ(Names(bsm), (std::vector<std::string>{"K", "rho", "r0"}));
    EXPECT_EQ(On(bsm), (std::set<std::string>{"exponential", "single_exponential"}));

    bsm.GetParameter(0).SetValue(2.0);
    bsm.GetParameter(1).SetValue(0.4);
    Set(bsm, "kcal", true);
    EXPECT_NEAR(bsm.GetParameter(0).GetValue(), 2.0 / kKcal, 1e-9);
    EXPECT_EQ(bsm.GetParameter(1).GetValue(), 0.4);

    EXPECT_TRUE(Set(bsm, "exponential", false));
    EXPECT_EQ(bsm.GetParameters().size(), 3u);
    EXPECT_TRUE(Set(bsm, "single_exponential", false));
    EXPECT_EQ(Names(bsm), (std::vector<std::string>{"K", "r0"}));
    EXPECT_EQ(bsm.GetParameter(0).GetUnit(), "eV/" AA "^2");
    EXPECT_EQ(Parameter(bsm, "r0").GetValue(), 1.1);
    EXPECT_TRUE(On(bsm).empty());
}

TEST(CoreShellOptions, CoshSpringKeepsItsLength)
{
    CInteraction cosh = New("cosh");
    Parameter(cosh, "k2").SetValue(1.0);
    Parameter(cosh, "d").SetValue(0.2);
    Set(cosh, "kcal", true);
    EXPECT_NEAR(Parameter(cosh, "k2").GetValue(), 1.0 / kKcal, 1e-9);
    EXPECT_EQ(Parameter(cosh, "d").GetValue(), 0.2);
    EXPECT_EQ(Parameter(cosh, "d").GetUnit(), AA);
}

TEST(TwoBodyParameterSets, PolynomialHarmonicAndOrder)
{
    CInteraction poly = New("poly");
    EXPECT_TRUE(Set(poly, "harmonic", true));
    EXPECT_EQ(Names(poly), (std::vector<std::string>{"coefficient0", "coefficient1", "coefficient2", "coefficient3",
                                                      "coefficient4", "coefficient5", "r0", "rmin", "rmax"}));
    Fill(poly);
    Set(poly, "kjmol", true);
    EXPECT_EQ(Parameter(poly, "r0").GetValue(), 1.5 + 6 * 1.25);  // a length keeps its value
    EXPECT_EQ(Parameter(poly, "rmax").GetUnit(), AA);

    EXPECT_TRUE(SetOrder(poly, 3));
    EXPECT_EQ(Names(poly), (std::vector<std::string>{"coefficient0", "coefficient1", "coefficient2", "coefficient3",
                                                      "r0", "rmin", "rmax"}));
    for (const CParameter& parameter : poly.GetParameters())
        EXPECT_EQ(parameter.GetValue(), parameter.GetDefaultValue()) << parameter.GetName();
    EXPECT_EQ(poly.GetIntegerOptionValue(0), 3);
    // The energy unit stays, and the rebuilt coefficients say so.
    EXPECT_EQ(On(poly), (std::set<std::string>{"harmonic", "kjmol"}));
    EXPECT_EQ(Parameter(poly, "coefficient2").GetUnit(), "kJ/mol");
    EXPECT_EQ(Parameter(poly, "r0").GetUnit(), AA);

    EXPECT_TRUE(Set(poly, "harmonic", false));
    EXPECT_EQ(Names(poly), (std::vector<std::string>{"coefficient0", "coefficient1", "coefficient2", "coefficient3",
                                                      "rmin", "rmax"}));
    Parameter(poly, "coefficient1").SetValue(4.0);
    Set(poly, "kjmol", false);
    EXPECT_NEAR(Parameter(poly, "coefficient1").GetValue(), 4.0 * kKJ, 1e-15);
    EXPECT_EQ(Parameter(poly, "coefficient1").GetUnit(), "eV");

    EXPECT_TRUE(SetOrder(poly, 1));
    EXPECT_EQ(Names(poly), (std::vector<std::string>{"coefficient0", "coefficient1", "rmin", "rmax"}));
}

TEST(TwoBodyParameterSets, PolynomialOrderOutsideOneToFiveChangesNothing)
{
    for (int order : {0, 6, -1, 100}) {
        SCOPED_TRACE(order);
        CInteraction poly = New("poly");
        Set(poly, "kcal", true);
        Fill(poly);
        const std::vector<std::string> names = Names(poly);
        try {
            SetOrder(poly, order);
            ADD_FAILURE() << "no error";
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
            EXPECT_EQ(error.GetMessage(), "Value is invalid. Permitted range is 1 to 5.");
        }
        EXPECT_EQ(Names(poly), names);
        EXPECT_EQ(poly.GetIntegerOptionValue(0), 5);
        EXPECT_EQ(poly.GetParameter(0).GetValue(), 1.5);
        EXPECT_EQ(On(poly), std::set<std::string>{"kcal"});
    }
    CNorderDescription description;
    EXPECT_TRUE(description.Validate(1));
    EXPECT_TRUE(description.Validate(5));
    EXPECT_THROW(description.Validate(0), KelvResult);
    EXPECT_THROW(description.Validate(6), KelvResult);
    EXPECT_EQ(description.GetName(), "norder");
    EXPECT_EQ(description.GetDefaultValue(), 5);
}

TEST(TwoBodyOptions, EditingThroughTheInteractionUsesTheForm)
{
    // The editor's road: the interaction's own setters.
    CInteraction buck = New("buck");
    buck.GetParameter(0).SetValue(2.0);
    buck.SetBooleanOptionValue(static_cast<unsigned>(Index(buck, "kcal")), true);
    EXPECT_NEAR(buck.GetParameter(0).GetValue(), 2.0 / kKcal, 1e-9);
    CInteraction poly = New("poly");
    EXPECT_THROW(poly.SetIntegerOptionValue(0, 9), KelvResult);
    EXPECT_EQ(poly.GetParameters().size(), 8u);
    poly.SetIntegerOptionValue(0, 2);
    EXPECT_EQ(poly.GetParameters().size(), 5u);
}
