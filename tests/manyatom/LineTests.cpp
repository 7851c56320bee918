// Form lines and interaction lines of the three-body, four-body and
// many-body forms, read and written.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kelv/kelv.h"
#include "manyatom/Support.h"

using manyatom::Lists;
using manyatom::New;

namespace {

TokenList Words(const std::string& line)
{
    TokenList words;
    std::istringstream stream(line);
    std::string word;
    while (stream >> word)
        words.push_back(word);
    return words;
}

// Reads a form line into new lists.
Lists FromFormLine(const std::string& line)
{
    const TokenList words = Words(line);
    Lists lists = New(words.front());
    lists.form->ParseFunctionalFormLine(words, lists.booleans, lists.integers, lists.doubles, lists.parameters);
    return lists;
}

// Reads an interaction line whose values follow `atoms` atom words.
void Read(Lists& lists, const std::string& line, int atoms)
{
    const TokenList words = Words(line);
    lists.form->ParseInteractionLine(words, words.begin() + atoms, lists.booleans, lists.parameters);
}

std::string Write(const Lists& lists)
{
    return lists.form->WriteInteractionLine(lists.parameters, lists.booleans, lists.integers);
}

std::string Values(const Lists& lists)
{
    std::ostringstream text;
    for (const CParameter& parameter : lists.parameters)
        text << (text.tellp() > 0 ? " " : "") << parameter.GetValue() << (parameter.IsToBeFitted() ? "*" : "");
    return text.str();
}

}  // namespace

TEST(ManyAtomLines, EnergyUnitOfAFormLineActsAfterEsff)
{
    for (const char* line : {"tors esff kcal", "tors kcal esff", "tort kjmol esff", "tore esff kcal intra"}) {
        SCOPED_TRACE(line);
        const Lists lists = FromFormLine(line);
        EXPECT_TRUE(lists.On("esff"));
        EXPECT_TRUE(lists.On("kcal") || lists.On("kjmol"));
        EXPECT_NE(lists.parameters[0].GetUnit(), "eV");
        EXPECT_EQ(lists.parameters[0].GetName(), "k1");
        EXPECT_EQ(lists.parameters[1].GetUnit(), lists.parameters[0].GetUnit());
        EXPECT_EQ(lists.form->WriteFunctionalFormLine(lists.booleans, lists.integers, lists.doubles).find("esff") !=
                      std::string::npos,
                  true);
    }
    const Lists thre = FromFormLine("thre kjmol k3");
    EXPECT_EQ(thre.Names().substr(0, 9), "k k3 thet");
    EXPECT_EQ(thre.parameters[1].GetUnit(), "kJ/mol/rad^3");
    const Lists hydro = FromFormLine("hydro kcal taper 6 8 2");
    EXPECT_EQ(hydro.parameters.size(), 10u);
    EXPECT_EQ(hydro.parameters[0].GetUnit(), "kcal*" AA "^m");
    EXPECT_EQ(hydro.integers[0].GetValue(), 6);
    EXPECT_EQ(hydro.integers[2].GetValue(), 2);
    const Lists eam = FromFormLine("eam_f power 3");
    EXPECT_EQ(eam.integers.size(), 1u);
    EXPECT_EQ(eam.integers[0].GetValue(), 3);
    EXPECT_EQ(FromFormLine("eam_d kcal glue").parameters[3].GetUnit(), "kcal");
    // "mol" names the own "mol" option where there is one.
    EXPECT_EQ(FromFormLine("thre mol").OnOptions(), "mol");
    EXPECT_EQ(FromFormLine("inve mol").OnOptions(), "mol");
    EXPECT_EQ(FromFormLine("equa mol").OnOptions(), "bond");
    EXPECT_THROW(FromFormLine("bacr mol"), KelvResult);
}

TEST(ManyAtomLines, ThreeBodyCutOffsWithAndWithoutTheirMinima)
{
    struct Case {
        const char* form;
        const char* line;
        const char* values;
    };
    const std::vector<Case> cases = {
        {"urey", "a b c 30.0 1.8 1.2 1.2 2.2 1 0", "30* 1.8 0 1.2 0 1.2 0 2.2"},
        {"urey", "a b c 30.0 1.8 0.1 1.2 0.2 1.2 0.3 2.2 0 1", "30 1.8* 0.1 1.2 0.2 1.2 0.3 2.2"},
        {"urey", "a b c 30.0 1.8 0.1 1.2 1.2 2.2", "30 1.8 0.1 1.2 0 1.2 0 2.2"},
        {"thre", "a b c 4.5 145.0 1.9 1.9 3.5 1 1", "4.5* 145* 0 1.9 0 1.9 0 3.5"},
        {"murr", "a b c 1 2 3 4 5 3.5 3.5 3.5 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.1 1.2",
         "1 2 3 4 5 0 3.5 0 3.5 0 3.5 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.1 1.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Lists lists = New(c.form);
        Read(lists, c.line, 3);
        EXPECT_EQ(Values(lists), c.values);
    }
    Lists urey = New("urey");
    Read(urey, "a b c 30.0 1.8 0.1 1.2 0.2 1.2 0.3 2.2 1 1", 3);
    EXPECT_EQ(Write(urey), "30.0 1.8 0.1 1.2 0.2 1.2 0.3 2.2 1 1\n");
    EXPECT_THROW(Read(urey, "a b c 30.0 1.8 1.2 1.2", 3), KelvResult);
}

TEST(ManyAtomLines, RyckaertInteractionAndCoefficientLines)
{
    Lists ryck = New("ryck");
    ASSERT_TRUE(ryck.SetInteger(0, 3));
    // Values after the five leading ones are the coefficients.
    Read(ryck, "C core C core C core C core 0.1 1.7 1.8 1.9 3.0 9.5 -2.5 0.5 4.0 1 1 0 0 1", 8);
    EXPECT_EQ(Values(ryck), "0.1* 1.7 1.8 1.9 3 9.5* -2.5 0.5 4*");
    EXPECT_EQ(Write(ryck), "0.1 1.7 1.8 1.9 3.0 9.5 -2.5 0.5 4.0 1 1 0 0 1\n");

    // A line of numbers handed from its first word fills the coefficients,
    // six of them too; fit flags stay as they were.
    Read(ryck, "1.0 2.0 3.0 4.0 5.0 6.0", 0);
    EXPECT_EQ(Values(ryck), "0.1* 1.7 1.8 1.9 3 1* 2 3 4*");
    Read(ryck, "7.0 8.0", 0);
    EXPECT_EQ(Values(ryck), "0.1* 1.7 1.8 1.9 3 7* 8 3 4*");

    // Values that end early leave the rest as it was.
    Read(ryck, "a b c d 0.2 1.5", 4);
    EXPECT_EQ(Values(ryck), "0.2* 1.5 1.8 1.9 3 7* 8 3 4*");

    // A word that holds no number changes nothing.
    const std::string before = Values(ryck);
    EXPECT_THROW(Read(ryck, "a b c d 0.3 x 1.0 1.0 1.0", 4), KelvResult);
    EXPECT_THROW(Read(ryck, "0.5 y", 0), KelvResult);
    EXPECT_EQ(Values(ryck), before);
}

TEST(ManyAtomLines, EmbeddedAtomLinesInFixedNotation)
{
    Lists density = New("eam_d");
    density.P("C").SetValue(2.5);
    density.P("C").SetIsToBeFitted(true);
    EXPECT_EQ(Write(density), "2.5000000000 1 \n");

    Lists exponential = New("eam_d");
    ASSERT_TRUE(exponential.Set("exponential", true));
    exponential.P("A").SetValue(-1.0);
    exponential.P("r0").SetIsToBeFitted(true);
    // A value that ten decimals do not carry keeps its digits.
    exponential.P("B").SetValue(0.123456789012345);
    EXPECT_EQ(Write(exponential), "-1.0000000000 0.123456789012345 0.0000000000 0 0 1 \n");

    Lists glue = New("eam_d");
    ASSERT_TRUE(glue.Set("glue", true));
    for (std::size_t i = 0; i < glue.parameters.size(); ++i)
        glue.parameters[i].SetValue(static_cast<double>(i + 1));
    EXPECT_EQ(Write(glue),
              "1.0000000000 2.0000000000 3.0000000000 \n"
              "4.0000000000 5.0000000000 6.0000000000 7.0000000000 \n"
              "8.0000000000 9.0000000000 10.0000000000 11.0000000000 \n"
              "12.0000000000 13.0000000000 14.0000000000 15.0000000000 \n");

    Lists functional = New("eam_f");
    ASSERT_TRUE(functional.Set("glue", true));
    for (std::size_t i = 0; i < functional.parameters.size(); ++i)
        functional.parameters[i].SetValue(0.5 * static_cast<double>(i));
    EXPECT_EQ(Write(functional),
              "0.0000000000 0.5000000000 \n"
              "1.0000000000 1.5000000000 2.0000000000 & \n"
              "2.5000000000 3.0000000000 \n"
              "3.5000000000 4.0000000000 4.5000000000 & \n"
              "5.0000000000 5.5000000000 \n"
              "6.0000000000 6.5000000000 7.0000000000 7.5000000000 \n");
    Lists johnson = New("eam_f");
    ASSERT_TRUE(johnson.Set("johnson", true));
    EXPECT_EQ(Write(johnson), "1.0000000000 1.0000000000 1.0000000000 1.0000000000 1.0000000000 1.0000000000 "
                              "0 0 0 0 0 0 \n");
}
