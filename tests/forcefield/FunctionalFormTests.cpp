// The base library's functional-form texts, option handling and parameter
// rules.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "common/TestForms.h"
#include "kelv/kelv.h"
#include "qorff/qorff.h"

using testforms::Boolean;
using testforms::Parameter;

namespace {

TokenList Split(const std::string& line)
{
    TokenList tokens;
    std::string token;
    for (char c : line + " ") {
        if (c == ' ' || c == '\n') {
            if (!token.empty())
                tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    return tokens;
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_UNEXPECTED, error.GetHRESULT());
        return error.GetMessage();
    }
    ADD_FAILURE() << "no KelvResult thrown";
    return std::string();
}

// A host form with fittable, fixed, optional and hidden parameters and
// options of all three kinds.
boost::shared_ptr<CFunctionalForm> MixedForm()
{
    return boost::make_shared<CFunctionalForm>(
        "Mixed test (mixt)", "mixt",
        ParameterDescriptionList{Parameter("A", "eV", 1.0, true, false), Parameter("B", "", 2.0, false, false),
                                 Parameter("H", "", 9.0, true, false, true), Parameter("C", "eV", 3.0, true, false),
                                 Parameter("rmin", "\xC5", 0.0, false, true)},
        BooleanOptionDescriptionList{Boolean("intra"), Boolean("kjmol")},
        IntegerOptionDescriptionList{boost::make_shared<CIntegerOptionDescription>("m", 12),
                                     boost::make_shared<CIntegerOptionDescription>("n", 6)},
        DoubleOptionDescriptionList{boost::make_shared<CDoubleOptionDescription>("scale14", 1.0),
                                    boost::make_shared<CDoubleOptionDescription>("cut", 0.0)});
}

}  // namespace

TEST(NumberFormat, ShortestTextsReadBackExactly)
{
    const struct {
        double value;
        const char* shortest;
        const char* withPoint;
    } cases[] = {
        {1.0, "1", "1.0"},          {0.0, "0", "0.0"},           {-0.0, "0", "0.0"},
        {0.1, "0.1", "0.1"},        {-2.5, "-2.5", "-2.5"},      {1e20, "1e+20", "1.0e+20"},
        {2.5e-8, "2.5e-08", "2.5e-08"}, {123456789.0, "123456789", "123456789.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shortest, QorForcefield::FormatShortest(c.value)) << c.value;
        EXPECT_EQ(c.withPoint, QorForcefield::FormatWithDecimalPoint(c.value)) << c.value;
    }
    for (double value : {0.1 + 0.2, 1.0 / 3.0, -1.2345678901234567e-300, 6.02214076e23, 0.36251}) {
        EXPECT_EQ(value, std::stod(QorForcefield::FormatShortest(value)));
        EXPECT_EQ(value, std::stod(QorForcefield::FormatWithDecimalPoint(value)));
    }
}

TEST(FunctionalFormLine, WritesOptionsThatDifferAndReadsThemBack)
{
    const boost::shared_ptr<CFunctionalForm> form = MixedForm();
    CInteraction interaction(form);
    EXPECT_EQ("mixt 12 6\n", interaction.WriteFunctionalFormLine());

    interaction.SetBooleanOptionValue(1, true);
    interaction.SetIntegerOptionValue(0, 9);
    interaction.SetDoubleOptionValue(0, 0.5);
    EXPECT_EQ("mixt kjmol 9 6 0.5\n", interaction.WriteFunctionalFormLine());
    interaction.SetDoubleOptionValue(1, 2.0);
    const std::string line = interaction.WriteFunctionalFormLine();
    EXPECT_EQ("mixt kjmol 9 6 0.5 2.0\n", line);

    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;
    form->ParseFunctionalFormLine(Split(line), booleans, integers, doubles, parameters);
    ASSERT_EQ(2u, booleans.size());
    EXPECT_FALSE(booleans[0].GetValue());
    EXPECT_TRUE(booleans[1].GetValue());
    EXPECT_EQ(9, integers[0].GetValue());
    EXPECT_EQ(6, integers[1].GetValue());
    EXPECT_EQ(0.5, doubles[0].GetValue());
    EXPECT_EQ(2.0, doubles[1].GetValue());
    EXPECT_EQ(5u, parameters.size());
}

TEST(FunctionalFormLine, NumbersGoToIntegerOptionsFirstAndDecimalsToDoubles)
{
    const boost::shared_ptr<CFunctionalForm> form = MixedForm();
    const struct {
        const char* line;
        int m, n;
        double scale, cut;
    } cases[] = {
        {"mixt", 12, 6, 1.0, 0.0},
        {"mixt 0.5", 12, 6, 0.5, 0.0},        // a decimal never fills an integer option
        {"mixt 9 0.5 7", 9, 7, 0.5, 0.0},     // integers in order, the decimal between them
        {"mixt 9 8 7", 9, 8, 7.0, 0.0},       // a third integer goes to the doubles
        {"mixt intra 1e-3", 12, 6, 1e-3, 0.0},
    };
    for (const auto& c : cases) {
        std::vector<CBooleanOption> booleans;
        std::vector<CIntegerOption> integers;
        std::vector<CDoubleOption> doubles;
        std::vector<CParameter> parameters;
        form->ParseFunctionalFormLine(Split(c.line), booleans, integers, doubles, parameters);
        EXPECT_EQ(c.m, integers[0].GetValue()) << c.line;
        EXPECT_EQ(c.n, integers[1].GetValue()) << c.line;
        EXPECT_EQ(c.scale, doubles[0].GetValue()) << c.line;
        EXPECT_EQ(c.cut, doubles[1].GetValue()) << c.line;
    }
}

TEST(FunctionalFormLine, RefusesWordsAndNumbersItCannotPlace)
{
    const boost::shared_ptr<CFunctionalForm> form = MixedForm();
    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;
    EXPECT_NE(std::string::npos, MessageOf([&] {
                                     form->ParseFunctionalFormLine(Split("mixt intra bogus"), booleans, integers,
                                                                   doubles, parameters);
                                 }).find("\"bogus\""));
    EXPECT_NE(std::string::npos, MessageOf([&] {
                                     form->ParseFunctionalFormLine(Split("mixt 1 2 3.0 4.0 5.0"), booleans,
                                                                   integers, doubles, parameters);
                                 }).find("Too many values"));
    // A number text with trailing letters is no number of a form line.
    EXPECT_NE(std::string::npos, MessageOf([&] {
                                     form->ParseFunctionalFormLine(Split("mixt 12abc"), booleans, integers, doubles,
                                                                   parameters);
                                 }).find("12abc"));
}

namespace {

// Records the order in which boolean options are switched.
class CRecordingForm : public CFunctionalForm {
public:
    CRecordingForm()
        : CFunctionalForm("Recording (reco)", "reco", {},
                          {Boolean("shape"), Boolean("other"), Boolean("kjmol")}, {}, {})
    {
    }
    bool SetBooleanOption(int index, bool value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override
    {
        order.push_back(index);
        return CFunctionalForm::SetBooleanOption(index, value, integers, booleans, parameters);
    }
    mutable std::vector<int> order;
};

}  // namespace

TEST(FunctionalFormLine, SwitchesOptionsInTheFormsOrderThroughTheVirtualSetter)
{
    CRecordingForm form;
    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;
    form.ParseFunctionalFormLine(Split("reco kjmol shape kjmol"), booleans, integers, doubles, parameters);
    EXPECT_EQ((std::vector<int>{0, 2}), form.order);
    EXPECT_TRUE(booleans[0].GetValue());
    EXPECT_FALSE(booleans[1].GetValue());
    EXPECT_TRUE(booleans[2].GetValue());
}

TEST(InteractionLine, HostFormWritesValuesThenFlagsAndReadsThemBack)
{
    const boost::shared_ptr<CFunctionalForm> form = MixedForm();
    CInteraction interaction(form);
    EXPECT_EQ("1.0 2.0 3.0 0.0 0 0 0\n", interaction.WriteInteractionLine());

    std::vector<CParameter>& parameters = interaction.GetParameters();
    parameters[0].SetValue(-0.125);
    parameters[0].SetIsToBeFitted(true);
    parameters[1].SetValue(1e-12);
    parameters[3].SetValue(1.0 / 3.0);
    parameters[4].SetValue(1.5);
    const std::string line = interaction.WriteInteractionLine();
    EXPECT_EQ("-0.125 1.0e-12 0.3333333333333333 1.5 1 0 0\n", line);

    CInteraction read(form);
    const TokenList tokens = Split("X core " + line);
    form->ParseInteractionLine(tokens, tokens.begin() + 2, read.GetBooleanOptions(), read.GetParameters());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        EXPECT_EQ(parameters[i].GetValue(), read.GetParameter(static_cast<unsigned>(i)).GetValue()) << i;
        EXPECT_EQ(parameters[i].IsToBeFitted(), read.GetParameter(static_cast<unsigned>(i)).IsToBeFitted()) << i;
    }
    EXPECT_EQ(line, read.WriteInteractionLine());
}

TEST(InteractionLine, FitFlagRules)
{
    // Parameters: A (fittable), B (fixed), C (fittable), D (fittable, optional).
    const ParameterDescriptionList descriptions{
        Parameter("A", "", 0.0, true, false), Parameter("B", "", 0.0, false, false),
        Parameter("C", "", 0.0, true, false), Parameter("D", "", 7.0, true, true)};
    const CZelmFunctionalForm form("Flag test (flag)", "flag", descriptions, {}, {}, {});
    const struct {
        const char* line;  // after the atom type "X"
        double a, b, c, d;
        bool fitA, fitC, fitD;
    } cases[] = {
        {"1.5 2.5 3.5 1 0", 1.5, 2.5, 3.5, 7.0, true, false, false},    // B takes no flag
        {"1.5 2.5 3.5 4.5 0 1 1", 1.5, 2.5, 3.5, 4.5, false, true, true},
        {"1.0 01 3.5", 1.0, 1.0, 3.5, 7.0, false, false, false},         // "1.0" and "01" are values
        {"1.5 2.5 3.5", 1.5, 2.5, 3.5, 7.0, false, false, false},        // no flags: states stay
        {"1 0 3.5 1", 1.0, 0.0, 3.5, 7.0, true, false, false},            // only the trailing run are flags
        {"1.5 2.5 3.5 1 1 1 1 1", 1.5, 2.5, 3.5, 7.0, true, true, true},  // surplus flags ignored
    };
    for (const auto& c : cases) {
        std::vector<CParameter> parameters;
        form.Init(parameters);
        const TokenList tokens = Split(std::string("X ") + c.line);
        form.ParseInteractionLine(tokens, tokens.begin() + 1, {}, parameters);
        EXPECT_EQ(c.a, parameters[0].GetValue()) << c.line;
        EXPECT_EQ(c.b, parameters[1].GetValue()) << c.line;
        EXPECT_EQ(c.c, parameters[2].GetValue()) << c.line;
        EXPECT_EQ(c.d, parameters[3].GetValue()) << c.line;
        EXPECT_EQ(c.fitA, parameters[0].IsToBeFitted()) << c.line;
        EXPECT_EQ(c.fitC, parameters[2].IsToBeFitted()) << c.line;
        EXPECT_EQ(c.fitD, parameters[3].IsToBeFitted()) << c.line;
    }
}

TEST(InteractionLine, HiddenParameterTakesNoValueButPassesOverAFlag)
{
    const boost::shared_ptr<CFunctionalForm> form = MixedForm();
    CInteraction interaction(form);
    const TokenList tokens = Split("X 4.0 5.0 6.0 1 1 0");
    form->ParseInteractionLine(tokens, tokens.begin() + 1, {}, interaction.GetParameters());
    const std::vector<CParameter>& p = interaction.GetParameters();
    EXPECT_EQ(4.0, p[0].GetValue());
    EXPECT_EQ(5.0, p[1].GetValue());
    EXPECT_EQ(9.0, p[2].GetValue());  // hidden: untouched
    EXPECT_EQ(6.0, p[3].GetValue());
    EXPECT_TRUE(p[0].IsToBeFitted());
    EXPECT_FALSE(p[2].IsToBeFitted());  // its flag "1" is passed over
    EXPECT_FALSE(p[3].IsToBeFitted());
}

TEST(InteractionLine, OptionalValuesFillInOrderAndBecomeDefaults)
{
    const ParameterDescriptionList descriptions{Parameter("A", "", 0.0, true, false),
                                                Parameter("o1", "", 5.0, false, true),
                                                Parameter("o2", "", 6.0, false, true)};
    const CZelmFunctionalForm form("Optional test (optt)", "optt", descriptions, {}, {}, {});
    std::vector<CParameter> parameters;
    form.Init(parameters);
    parameters[2].SetValue(99.0);
    const TokenList tokens = Split("X 1.5 2.5");
    form.ParseInteractionLine(tokens, tokens.begin() + 1, {}, parameters);
    EXPECT_EQ(1.5, parameters[0].GetValue());
    EXPECT_EQ(2.5, parameters[1].GetValue());
    EXPECT_EQ(2.5, parameters[1].GetDefaultValue());
    EXPECT_EQ(6.0, parameters[2].GetValue());  // reset to its default
}

TEST(InteractionLine, TooFewValuesIsAClearErrorAndChangesNothing)
{
    const boost::shared_ptr<CFunctionalForm> zelm = boost::make_shared<CZelmFunctionalForm>(
        "Three (thr)", "thr",
        ParameterDescriptionList{Parameter("A", "", 0.0, true, false), Parameter("B", "", 0.0, true, false),
                                 Parameter("C", "", 0.0, true, false)},
        BooleanOptionDescriptionList{}, IntegerOptionDescriptionList{}, DoubleOptionDescriptionList{});
    const boost::shared_ptr<CFunctionalForm> host = MixedForm();
    for (const boost::shared_ptr<CFunctionalForm>& form : {zelm, host}) {
        for (const char* line : {"X core", "X core 1.5 2.5", "X core 1 0", "X core 1.5 1 0"}) {
            std::vector<CParameter> parameters;
            form->Init(parameters);
            const std::vector<CParameter> before = parameters;
            const TokenList tokens = Split(line);
            const std::string message = MessageOf(
                [&] { form->ParseInteractionLine(tokens, tokens.begin() + 2, {}, parameters); });
            EXPECT_NE(std::string::npos, message.find("Too few parameter values")) << line;
            EXPECT_NE(std::string::npos, message.find(line)) << message;
            for (std::size_t i = 0; i < before.size(); ++i)
                EXPECT_EQ(before[i].GetValue(), parameters[i].GetValue()) << line;
        }
    }
    // The position may stand at the end of the line (atom names fill it).
    std::vector<CParameter> parameters;
    zelm->Init(parameters);
    const TokenList tokens = Split("X core");
    EXPECT_NE(std::string::npos,
              MessageOf([&] { zelm->ParseInteractionLine(tokens, tokens.end(), {}, parameters); }).find("0 found"));
}

TEST(InteractionLine, RequiredCountFollowsTheInteractionsOwnParameters)
{
    // The form describes four parameters, but an option of the interaction
    // has left only two of them: two values are enough.
    const ParameterDescriptionList descriptions{
        Parameter("A", "", 0.0, true, false), Parameter("B", "", 0.0, true, false),
        Parameter("C", "", 0.0, true, false), Parameter("D", "", 0.0, true, false)};
    const CZelmFunctionalForm form("Four (four)", "four", descriptions, {}, {}, {});
    std::vector<CParameter> parameters;
    form.Init(parameters);
    parameters.resize(2, parameters[0]);
    const TokenList tokens = Split("X 1.5 2.5 1 0");
    form.ParseInteractionLine(tokens, tokens.begin() + 1, {}, parameters);
    EXPECT_EQ(1.5, parameters[0].GetValue());
    EXPECT_EQ(2.5, parameters[1].GetValue());
    EXPECT_TRUE(parameters[0].IsToBeFitted());
    EXPECT_FALSE(parameters[1].IsToBeFitted());
}

TEST(InteractionLine, UnreadableValueNamesTheToken)
{
    const boost::shared_ptr<CFunctionalForm> form = MixedForm();
    std::vector<CParameter> parameters;
    form->Init(parameters);
    const TokenList tokens = Split("X 1.0 abc 3.0");
    EXPECT_EQ("Found invalid field in the string abc",
              MessageOf([&] { form->ParseInteractionLine(tokens, tokens.begin() + 1, {}, parameters); }));
}

TEST(Options, SettersRouteThroughTheFormAndCheckIndexEnabledAndValidator)
{
    CInteraction interaction(MixedForm());
    EXPECT_NE(std::string::npos, MessageOf([&] { interaction.SetBooleanOptionValue(2, true); }).find("index 2"));
    EXPECT_NE(std::string::npos, MessageOf([&] { interaction.GetParameter(5); }).find("out of range"));

    interaction.GetBooleanOptions()[0].SetEnabled(false);
    EXPECT_FALSE(interaction.GetBooleanOptionEnabled(0));
    EXPECT_NE(std::string::npos, MessageOf([&] { interaction.SetBooleanOptionValue(0, true); }).find("disabled"));
    EXPECT_FALSE(interaction.GetBooleanOptionValue(0));
    EXPECT_EQ("intra", interaction.GetBooleanOptionName(0));
    EXPECT_EQ("scale14", interaction.GetDoubleOptionName(0));
}

namespace {

// An integer description that is its own validator (1 to 5), as an order
// option is.
class COrderValidator : public virtual CMinimumValidator<int> {
public:
    bool Validate(int value) const override { return value >= 1 && value <= 5; }
};
class COrderDescription : public CIntegerOptionDescription, public COrderValidator {
public:
    COrderDescription() : CIntegerOptionDescription("norder", 5) {}
};

// Clears the parameters on every order change, as an order option does.
class COrderForm : public CFunctionalForm {
public:
    COrderForm()
        : CFunctionalForm("Order test (ordt)", "ordt", {Parameter("c0", "eV", 0.0, true, false)}, {},
                          {boost::make_shared<COrderDescription>()}, {})
    {
    }
    bool SetIntegerOption(int index, int value, std::vector<CIntegerOption>& integers,
                          std::vector<CBooleanOption>& booleans, std::vector<CParameter>& parameters) const override
    {
        parameters.clear();
        return CFunctionalForm::SetIntegerOption(index, value, integers, booleans, parameters);
    }
};

}  // namespace

TEST(Options, IntegerValidatorRefusesBeforeTheFormChangesAnything)
{
    CInteraction interaction(boost::make_shared<COrderForm>());
    ASSERT_EQ(1u, interaction.GetParameters().size());
    for (int bad : {0, 6, -1}) {
        EXPECT_NE(std::string::npos,
                  MessageOf([&] { interaction.SetIntegerOptionValue(0, bad); }).find("not permitted"));
        EXPECT_EQ(5, interaction.GetIntegerOptionValue(0));
        EXPECT_EQ(1u, interaction.GetParameters().size());
    }
    interaction.SetIntegerOptionValue(0, 3);
    EXPECT_EQ(3, interaction.GetIntegerOptionValue(0));
    EXPECT_TRUE(interaction.GetParameters().empty());

    // A validator given to a plain description, and the option's own setter.
    const auto atLeastTwo = boost::make_shared<CMinimumValidator<int>>(2);
    CIntegerOption option(boost::make_shared<CIntegerOptionDescription>("n", 4, atLeastTwo));
    EXPECT_THROW(option.SetValue(1), KelvResult);
    EXPECT_EQ(4, option.GetValue());
    option.SetValue(2);
    EXPECT_EQ(2, option.GetValue());
}

TEST(Parameters, StateAndRefusals)
{
    CParameter fixed(Parameter("B", "eV", 2.0, false, false));
    EXPECT_NE(std::string::npos, MessageOf([&] { fixed.SetIsToBeFitted(true); }).find("cannot be fitted"));
    fixed.SetIsToBeFitted(false);

    CParameter p(Parameter("A", "eV*\xC5^6", 1.5, true, false));
    EXPECT_EQ(1.5, p.GetValue());
    p.SetValue(3.0);
    p.SetDefaultValue(4.0);
    p.SetToDefaultValue();
    EXPECT_EQ(4.0, p.GetValue());
    EXPECT_EQ(1.5, p.GetDescription()->GetDefaultValue());
    p.SetCustomUnit("kcal*\xC5^6");
    EXPECT_EQ("kcal*\xC5^6", p.GetUnit());
    EXPECT_EQ("eV*\xC5^6", p.GetDescription()->GetUnit());
    const ParameterDescriptionPtr none;
    EXPECT_THROW(CParameter{none}, KelvResult);
}

// A parameter's own unit, quality and fit mark belong to it alone: a copy
// made before or after any is set keeps what it had, whichever of the two
// changes; a change of one leaves the others as they were.
TEST(Parameters, OwnUnitAndQualityStayWithTheParameterTheyWereGiven)
{
    CParameter original(Parameter("A", "eV", 1.5, true, false));
    original.SetQuality("good");
    CParameter copy = original;
    const struct {
        const char* change;
        std::function<void()> apply;
        const char* originalUnit;
        const char* originalQuality;
        bool originalFitted;
        const char* copyUnit;
        const char* copyQuality;
        bool copyFitted;
    } rows[] = {
        {"none", [] {}, "eV", "good", false, "eV", "good", false},
        {"the copy's unit", [&] { copy.SetCustomUnit("kJ"); }, "eV", "good", false, "kJ", "good", false},
        {"the original's quality", [&] { original.SetQuality("poor"); }, "eV", "poor", false, "kJ", "good", false},
        {"the copy's quality cleared", [&] { copy.SetQuality(""); }, "eV", "poor", false, "kJ", "", false},
        {"the original's unit", [&] { original.SetCustomUnit("au"); }, "au", "poor", false, "kJ", "", false},
        {"the original marked", [&] { original.SetIsToBeFitted(true); }, "au", "poor", true, "kJ", "", false},
        {"the marked one's unit", [&] { original.SetCustomUnit("Ry"); }, "Ry", "poor", true, "kJ", "", false},
        {"the copy assigned", [&] { copy = original; }, "Ry", "poor", true, "Ry", "poor", true},
        {"the original's mark cleared", [&] { original.SetIsToBeFitted(false); }, "Ry", "poor", false, "Ry", "poor",
         true},
        {"the copy's quality", [&] { copy.SetQuality("fair"); }, "Ry", "poor", false, "Ry", "fair", true},
        {"the original assigned", [&] { original = copy; }, "Ry", "fair", true, "Ry", "fair", true},
        {"the copy given a new one", [&] { copy = CParameter(Parameter("A", "eV", 1.5, true, false)); }, "Ry", "fair",
         true, "eV", "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change);
        row.apply();
        EXPECT_EQ(original.GetUnit(), row.originalUnit);
        EXPECT_EQ(original.GetQuality(), row.originalQuality);
        EXPECT_EQ(original.IsToBeFitted(), row.originalFitted);
        EXPECT_EQ(original.HasCustomUnit(), std::string(row.originalUnit) != "eV");
        EXPECT_EQ(copy.GetUnit(), row.copyUnit);
        EXPECT_EQ(copy.GetQuality(), row.copyQuality);
        EXPECT_EQ(copy.IsToBeFitted(), row.copyFitted);
        EXPECT_EQ(copy.HasCustomUnit(), std::string(row.copyUnit) != "eV");
    }
    EXPECT_EQ(CParameter(Parameter("B", "eV", 0.0, false, false)).GetQuality(), "");
}
