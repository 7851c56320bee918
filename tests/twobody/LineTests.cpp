// The library lines that the two-body and core-shell forms read and write
// themselves: polynomial, buffered Lennard-Jones and short-range glue, and
// form lines whose options change the parameters.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "forcefield/CoreShellInteractionType.h"
#include "forcefield/TwoBodyInteractionType.h"
#include "kelv/kelv.h"
#include "qorff/Interaction.h"

namespace {

#define AA "\xC5"

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

FunctionalFormPtr Form(const std::string& keyword)
{
    if (TwoBody().HasFunctionalForm(keyword))
        return TwoBody().GetFunctionalForm(keyword);
    return CoreShell().GetFunctionalForm(keyword);
}

TokenList Tokens(const std::string& line)
{
    TokenList tokens;
    std::istringstream stream(line);
    std::string token;
    while (stream >> token)
        tokens.push_back(token);
    return tokens;
}

// An interaction as the library reader builds it from a form line.
struct Read {
    FunctionalFormPtr form;
    std::vector<CBooleanOption> booleans;
    std::vector<CIntegerOption> integers;
    std::vector<CDoubleOption> doubles;
    std::vector<CParameter> parameters;

    explicit Read(const std::string& formLine)
    {
        const TokenList tokens = Tokens(formLine);
        form = Form(tokens.front());
        form->ParseFunctionalFormLine(tokens, booleans, integers, doubles, parameters);
    }

    // Reads an interaction line of two atoms, each named by two tokens.
    void Line(const std::string& line)
    {
        const TokenList tokens = Tokens(line);
        form->ParseInteractionLine(tokens, tokens.begin() + 4, booleans, parameters);
    }

    std::set<std::string> On() const
    {
        std::set<std::string> on;
        for (const CBooleanOption& option : booleans) {
            if (option.GetValue())
                on.insert(option.GetName());
        }
        return on;
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const CParameter& parameter : parameters)
            names.push_back(parameter.GetName());
        return names;
    }

    std::string FormLine() const { return form->WriteFunctionalFormLine(booleans, integers, doubles); }
    std::string InteractionLine() const { return form->WriteInteractionLine(parameters, booleans, integers); }
};

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        return error.GetMessage();
    }
    return "no error";
}

}  // namespace

TEST(PolynomialLines, FormLineOptionsAndScale)
{
    Read poly("poly harmonic intra bond");
    EXPECT_EQ(poly.On(), (std::set<std::string>{"harmonic", "intra", "bond"}));
    EXPECT_EQ(poly.parameters.size(), 9u);
    EXPECT_EQ(poly.parameters[6].GetName(), "r0");
    EXPECT_EQ(poly.FormLine(), "poly harmonic intra bond\n5\n");

    Read scaled("poly kjmol x12 0.5 intra");
    EXPECT_EQ(scaled.On(), (std::set<std::string>{"kjmol", "x12"}));  // words after the number are ignored
    EXPECT_EQ(scaled.doubles[0].GetValue(), 0.5);
    EXPECT_EQ(scaled.FormLine(), "poly x12 kjmol 0.5\n5\n");

    EXPECT_EQ(Read("poly").FormLine(), "poly\n5\n");
    EXPECT_EQ(ErrorOf([] { Read("poly intra nonsense"); }), "Found invalid field in the string nonsense");
}

TEST(PolynomialLines, InteractionLineValuesAndFlags)
{
    Read poly("poly");
    ASSERT_TRUE(poly.form->SetIntegerOption(0, 3, poly.integers, poly.booleans, poly.parameters));

    // rmin left out: it keeps its default, the last value is rmax.
    poly.Line("Si core O shel 1.5 -2.5 3.0 4.0e-2 9.0 1 0 1 1");
    EXPECT_EQ(poly.Names(), (std::vector<std::string>{"coefficient0", "coefficient1", "coefficient2", "coefficient3",
                                                       "rmin", "rmax"}));
    EXPECT_EQ(poly.parameters[1].GetValue(), -2.5);
    EXPECT_EQ(poly.parameters[3].GetValue(), 0.04);
    EXPECT_EQ(poly.parameters[4].GetValue(), 0.0);
    EXPECT_EQ(poly.parameters[5].GetValue(), 9.0);
    EXPECT_TRUE(poly.parameters[0].IsToBeFitted());
    EXPECT_FALSE(poly.parameters[1].IsToBeFitted());
    EXPECT_TRUE(poly.parameters[3].IsToBeFitted());

    poly.Line("Si core O shel 1.0 2.0 3.0 4.0 0.8 12.0");
    EXPECT_EQ(poly.parameters[4].GetValue(), 0.8);
    EXPECT_EQ(poly.parameters[5].GetValue(), 12.0);
    EXPECT_TRUE(poly.parameters[0].IsToBeFitted());  // no flags: states kept

    // Written and read back.
    const std::string written = poly.InteractionLine();
    EXPECT_EQ(written, "1.0 2.0 3.0 4.0 0.8 12.0 1 0 1 1\n");
    Read again("poly");
    again.form->SetIntegerOption(0, 3, again.integers, again.booleans, again.parameters);
    again.Line("Si core O shel " + written);
    EXPECT_EQ(again.InteractionLine(), written);
}

TEST(PolynomialLines, ShortAndLongLinesAreRefused)
{
    Read poly("poly");
    poly.form->SetIntegerOption(0, 2, poly.integers, poly.booleans, poly.parameters);  // 5 parameters
    poly.Line("A core B core 1.0 2.0 3.0 4.0");
    const std::vector<CParameter> before = poly.parameters;

    // Three values and a flag: the flag is no rmax.
    EXPECT_EQ(ErrorOf([&] { poly.Line("A core B core 5.0 6.0 7.0 1"); }), "Insufficient params for polynomial");
    EXPECT_EQ(ErrorOf([&] { poly.Line("A core B core 5.0"); }), "Insufficient params for polynomial");
    EXPECT_EQ(ErrorOf([&] { poly.Line("A core B core"); }), "Insufficient params for polynomial");
    EXPECT_NE(ErrorOf([&] { poly.Line("A core B core 1.0 2.0 3.0 4.0 5.0 6.0"); }), "no error");
    EXPECT_EQ(ErrorOf([&] { poly.Line("A core B core 1.0 x 3.0 4.0"); }), "Found invalid field in the string x");
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(poly.parameters[i].GetValue(), before[i].GetValue());
}

TEST(BufferedLennardJonesLines, ExponentsOptionsAndScale)
{
    Read plain("ljbuf 9 12");
    EXPECT_EQ(plain.integers[1].GetName(), "n");
    EXPECT_EQ(plain.integers[1].GetValue(), 9);
    EXPECT_EQ(plain.integers[0].GetValue(), 12);
    EXPECT_EQ(plain.FormLine(), "ljbuf 9 12\n");

    Read full("ljbuf 6 12 intra bond 0.5");
    EXPECT_EQ(full.On(), (std::set<std::string>{"intra", "bond"}));
    EXPECT_EQ(full.doubles[0].GetValue(), 0.5);
    EXPECT_EQ(full.FormLine(), "ljbuf 6 12 intra bond 0.5\n");
    Read again(full.FormLine());
    EXPECT_EQ(again.FormLine(), full.FormLine());

    Read units("ljbuf 6 12 kcal");
    EXPECT_EQ(units.On(), std::set<std::string>{"kcal"});
    EXPECT_EQ(units.parameters[0].GetUnit(), "kcal*" AA "^m");

    EXPECT_EQ(ErrorOf([] { Read("ljbuf"); }), "Missing exponents for ljbuffered");
    EXPECT_EQ(ErrorOf([] { Read("ljbuf 6"); }), "Missing exponents for ljbuffered");
    EXPECT_EQ(ErrorOf([] { Read("ljbuf six 12"); }), "Found invalid field in the string six");
    EXPECT_EQ(ErrorOf([] { Read("ljbuf 6 12 intra sideways"); }), "invalid option for ljbuffered functionalForm.");
    EXPECT_EQ(ErrorOf([] { Read("ljbuf 6 12 0.5 intra"); }), "Too many options for ljbuffered");
}

TEST(GlueLines, FifteenValuesOnFiveLines)
{
    Read glue("srgl");
    double value = 0.5;
    for (CParameter& parameter : glue.parameters) {
        parameter.SetValue(value);
        value += 1.0;
    }
    glue.parameters[14].SetValue(-0.123456789012345);  // more digits than ten decimals carry
    EXPECT_EQ(glue.InteractionLine(),
              "0.5000000000 1.5000000000 2.5000000000 \n"
              "3.5000000000 4.5000000000 5.5000000000 6.5000000000 & \n"
              "7.5000000000 \n"
              "8.5000000000 9.5000000000 10.5000000000 11.5000000000 & \n"
              "12.5000000000 13.5000000000 -0.123456789012345 \n");
    EXPECT_EQ(Read("srgl").InteractionLine(),
              "4.0000000000 0.0000000000 10.0000000000 \n"
              "1.0000000000 1.0000000000 1.0000000000 1.0000000000 & \n"
              "1.0000000000 \n"
              "1.0000000000 1.0000000000 1.0000000000 1.0000000000 & \n"
              "1.0000000000 1.0000000000 1.0000000000 \n");
}

TEST(FormLines, ParameterSetsComeBeforeEnergyUnits)
{
    struct Case {
        const char* line;
        std::set<std::string> on;
        std::vector<std::string> parameters;
        const char* firstUnit;
    };
    const std::vector<Case> cases = {
        {"bsm kjmol exponential", {"kjmol", "exponential"}, {"K", "rho", "r0"}, "kJ/mol"},
        {"bsm kcal", {"kcal"}, {"K", "r0"}, "kcal/" AA "^2"},
        {"botw kjmol combine", {"kjmol", "combine"}, {"chiR", "chiA"}, ""},
        {"botw kcal", {"kcal"}, {"A", "B", "za", "zb", "rtaper", "rmax"}, "kcal"},
        {"lenn kcal epsilon 12 6", {"kcal", "epsilon"}, {"epsilon", "sigma", "rmin", "rmax"}, "kcal"},
        {"harm kjmol k4 k3", {"kjmol", "k3", "k4"}, {"k2", "k3", "k4", "r0", "coul", "rmin", "rmax"}, "kJ/mol/" AA "^2"},
        {"bore theta", {"theta"}, {"alpha", "m", "n", "lambda", "c", "d", "h"}, ""},
        {"spri kcal", {"kcal"}, {"k2", "k4"}, "kcal/" AA "^2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Read read(c.line);
        EXPECT_EQ(read.On(), c.on);
        EXPECT_EQ(read.Names(), c.parameters);
        EXPECT_EQ(read.parameters[0].GetUnit(), c.firstUnit);
        // The line the form writes reads back to the same options.
        Read again(read.FormLine());
        EXPECT_EQ(again.On(), c.on);
        EXPECT_EQ(again.Names(), c.parameters);
    }
    EXPECT_EQ(Read("harm kjmol k4 k3").parameters[1].GetUnit(), "kJ/mol/" AA "^3");
}
