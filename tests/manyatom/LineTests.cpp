// Form lines and interaction lines of the three-body, four-body and
// many-body forms, read and written.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kelv/kelv.h"
#include "manyatom/Support.h"

using manyatom::Lists;

namespace {

TokenList Words(const std::string& line)
{
    TokenList words;
    std::istringstream stream(line);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

Lists FromFormLine(const std::string& line)
{
    const TokenList words = Words(line);
    Lists lists(words.front());
    lists.form->ParseFunctionalFormLine(words, lists.booleans, lists.integers, lists.doubles, lists.parameters);
    return lists;
}

// Reads an interaction line whose values follow `atoms` words.
void Read(Lists& lists, const std::string& line, int atoms)
{
    const TokenList words = Words(line);
    lists.form->ParseInteractionLine(words, words.begin() + atoms, lists.booleans, lists.parameters);
}

std::string Write(const Lists& lists)
{
    return lists.form->WriteInteractionLine(lists.parameters, lists.booleans, lists.integers);
}

// The values, "*" for those to be fitted.
std::string Values(const Lists& lists)
{
    std::ostringstream text;
    for (const CParameter& parameter : lists.parameters)
        text << (text.tellp() > 0 ? " " : "") << parameter.GetValue() << (parameter.IsToBeFitted() ? "*" : "");
    return text.str();
}

}  // namespace

TEST(ManyAtomLines, FormLines)
{
    // "esff" acts before the energy unit, whatever the order of the words.
    for (const char* line : {"tors esff kcal", "tors kcal esff", "tort kjmol esff", "tore esff kcal intra"}) {
        const Lists lists = FromFormLine(line);
        EXPECT_EQ(lists.Names().substr(0, 5), "k1 k2") << line;
        EXPECT_NE(lists.parameters[1].GetUnit(), "eV") << line;
    }
    EXPECT_EQ(FromFormLine("thre kjmol k3").State().substr(0, 36), "k=0kJ/mol/rad^2 k3=0kJ/mol/rad^3 the");
    const Lists hydro = FromFormLine("hydro kcal taper 6 8 2");
    EXPECT_EQ(hydro.State().substr(0, 20), "A=0kcal*" AA "^m B=0kcal*");
    EXPECT_EQ(hydro.State().substr(hydro.State().find('|')), "| kcal taper | m=6 n=8 p=2");
    EXPECT_EQ(FromFormLine("eam_f power 3").State(), "A=1eV | power | n=3");
    EXPECT_EQ(FromFormLine("eam_d kcal glue").parameters[3].GetUnit(), "kcal");
    // "mol" reaches the form's own "mol" where there is one, else "bond".
    EXPECT_EQ(FromFormLine("thre mol").OnOptions(), "mol");
    EXPECT_EQ(FromFormLine("inve mol").OnOptions(), "mol");
    EXPECT_EQ(FromFormLine("equa mol").OnOptions(), "bond");
    EXPECT_EQ(FromFormLine("sw3 mol").OnOptions(), "bond");
    EXPECT_EQ(FromFormLine("tors mol").OnOptions(), "bond");
    for (const char* line : {"bacr mol", "hydro mol", "tora mol", "thre MOL"})
        EXPECT_THROW(FromFormLine(line), KelvResult) << line;
}

TEST(ManyAtomLines, ThreeBodyCutOffsWithAndWithoutTheirMinima)
{
    const std::vector<std::vector<const char*>> cases = {
        {"urey", "30.0 1.8 1.2 1.2 2.2 1 0", "30* 1.8 0 1.2 0 1.2 0 2.2"},
        {"urey", "30.0 1.8 0.1 1.2 0.2 1.2 0.3 2.2 0 1", "30 1.8* 0.1 1.2 0.2 1.2 0.3 2.2"},
        {"urey", "30.0 1.8 0.1 1.2 1.2 2.2", "30 1.8 0.1 1.2 0 1.2 0 2.2"},
        {"murr", "1 2 3 4 5 3.5 3.5 3.5 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.1 1.2",
         "1 2 3 4 5 0 3.5 0 3.5 0 3.5 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.1 1.2"}};
    for (const auto& c : cases) {
        Lists lists(c[0]);
        Read(lists, std::string("a b c ") + c[1], 3);
        EXPECT_EQ(Values(lists), c[2]) << c[1];
    }
    Lists urey("urey");
    Read(urey, "a b c 30.0 1.8 0.1 1.2 0.2 1.2 0.3 2.2 1 1", 3);
    EXPECT_EQ(Write(urey), "30.0 1.8 0.1 1.2 0.2 1.2 0.3 2.2 1 1\n");
    EXPECT_THROW(Read(urey, "a b c 30.0 1.8 1.2 1.2", 3), KelvResult);
}

TEST(ManyAtomLines, RyckaertInteractionAndCoefficientLines)
{
    Lists ryck("ryck");
    ASSERT_TRUE(ryck.SetInteger(0, 3));
    // Values after the five leading ones are the coefficients.
    Read(ryck, "C core C core C core C core 0.1 1.7 1.8 1.9 3.0 9.5 -2.5 0.5 4.0 1 1 0 0 1", 8);
    EXPECT_EQ(Values(ryck), "0.1* 1.7 1.8 1.9 3 9.5* -2.5 0.5 4*");
    EXPECT_EQ(Write(ryck), "0.1 1.7 1.8 1.9 3.0 9.5 -2.5 0.5 4.0 1 1 0 0 1\n");
    // A line handed from its first word fills the coefficients (six words
    // too); no fit flags.
    Read(ryck, "1.0 2.0 3.0 4.0 5.0 6.0", 0);
    EXPECT_EQ(Values(ryck), "0.1* 1.7 1.8 1.9 3 1* 2 3 4*");
    Read(ryck, "7.0 8.0", 0);
    Read(ryck, "a b c d 0.2 1.5", 4);  // ends early: the rest stays
    EXPECT_EQ(Values(ryck), "0.2* 1.5 1.8 1.9 3 7* 8 3 4*");
    EXPECT_THROW(Read(ryck, "a b c d 0.3 x 1.0 1.0 1.0", 4), KelvResult);
    EXPECT_THROW(Read(ryck, "0.5 y", 0), KelvResult);
    EXPECT_EQ(Values(ryck), "0.2* 1.5 1.8 1.9 3 7* 8 3 4*");
}

TEST(ManyAtomLines, EmbeddedAtomLinesInFixedNotation)
{
    Lists density("eam_d");
    density.P("C").SetValue(2.5);
    density.P("C").SetIsToBeFitted(true);
    EXPECT_EQ(Write(density), "2.5000000000 1 \n");
    density.Apply("+exponential");
    density.P("A").SetValue(-1.0);
    density.P("B").SetValue(0.123456789012345);  // more than ten decimals carry
    density.P("r0").SetIsToBeFitted(true);
    EXPECT_EQ(Write(density), "-1.0000000000 0.123456789012345 0.0000000000 0 0 1 \n");

    Lists glue("eam_d");
    glue.Apply("+glue");
    for (std::size_t i = 0; i < glue.parameters.size(); ++i)
        glue.parameters[i].SetValue(static_cast<double>(i + 1));
    EXPECT_EQ(Write(glue), "1.0000000000 2.0000000000 3.0000000000 \n"
                           "4.0000000000 5.0000000000 6.0000000000 7.0000000000 \n"
                           "8.0000000000 9.0000000000 10.0000000000 11.0000000000 \n"
                           "12.0000000000 13.0000000000 14.0000000000 15.0000000000 \n");
    Lists functional("eam_f");
    functional.Apply("+glue");
    for (std::size_t i = 0; i < functional.parameters.size(); ++i)
        functional.parameters[i].SetValue(0.5 * static_cast<double>(i));
    EXPECT_EQ(Write(functional), "0.0000000000 0.5000000000 \n"
                                 "1.0000000000 1.5000000000 2.0000000000 & \n"
                                 "2.5000000000 3.0000000000 \n"
                                 "3.5000000000 4.0000000000 4.5000000000 & \n"
                                 "5.0000000000 5.5000000000 \n"
                                 "6.0000000000 6.5000000000 7.0000000000 7.5000000000 \n");
}
