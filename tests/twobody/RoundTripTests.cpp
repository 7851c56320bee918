// Libraries with core-shell and two-body interactions read, written and read
// again through the forcefield.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include <boost/make_shared.hpp>

#include "common/TempFolder.h"
#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmServerDescription.h"
#include "kelv/kelv.h"

using QzTest::ReadFile;
using QzTest::TempFolder;

namespace {

#define AA "\xC5"

std::string DataFile(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/twobody/" + name;
}

ServerDescriptionPtr Server()
{
    return boost::make_shared<CZelmServerDescription>();
}

std::string Written(const CZelmForcefield& forcefield)
{
    std::ostringstream text;
    forcefield.WriteLibrary(text);
    return text.str();
}

const CInteraction& Find(const CForcefield& forcefield, const std::string& keyword)
{
    for (const CForcefield::InteractionEntry& entry : forcefield.GetInteractionEntries()) {
        if (entry.interaction->GetFunctionalFormKeyword() == keyword)
            return *entry.interaction;
    }
    throw std::runtime_error("no interaction of " + keyword);
}

bool On(const CInteraction& interaction, const std::string& option)
{
    const int index = interaction.GetFunctionalForm()->IndexOfBooleanOption(option);
    return index >= 0 && interaction.GetBooleanOptionValue(static_cast<unsigned>(index));
}

// Values, units, fit states and options of every interaction, one line each,
// in text order.
std::string Model(const CForcefield& forcefield)
{
    std::multiset<std::string> lines;
    for (const CForcefield::InteractionEntry& entry : forcefield.GetInteractionEntries()) {
        std::ostringstream text;
        text.precision(17);
        const CInteraction& interaction = *entry.interaction;
        text << interaction.GetFunctionalFormKeyword();
        for (const AtomTypePtr& atomType : entry.atomTypes)
            text << " [" << atomType->GetName() << "]";
        for (const CParameter& parameter : interaction.GetParameters())
            text << " " << parameter.GetName() << "=" << parameter.GetValue() << parameter.GetUnit()
                 << (parameter.IsToBeFitted() ? "*" : "");
        for (const CBooleanOption& option : interaction.GetBooleanOptions())
            text << (option.GetValue() ? " +" + option.GetName() : "");
        for (const CIntegerOption& option : interaction.GetIntegerOptions())
            text << " " << option.GetName() << "=" << option.GetValue();
        for (const CDoubleOption& option : interaction.GetDoubleOptions())
            text << " " << option.GetName() << "=" << option.GetValue();
        lines.insert(text.str());
    }
    std::string model;
    for (const std::string& line : lines)
        model += line + "\n";
    return model;
}

}  // namespace

TEST(TwoBodyRoundTrip, EveryFormReadsWritesAndReadsBackTheSame)
{
    const ServerDescriptionPtr server = Server();
    const CZelmForcefield first(DataFile("every-form.lib"), *server);

    std::set<std::string> keywords;
    for (const CForcefield::InteractionEntry& entry : first.GetInteractionEntries())
        keywords.insert(entry.interaction->GetFunctionalFormKeyword());
    EXPECT_EQ(first.GetInteractionEntries().size(), 32u);
    EXPECT_EQ(keywords.size(), 31u);

    const std::string text = Written(first);
    TempFolder files("twobody");
    const std::string written = files.Write("written.lib", text);
    const CZelmForcefield second(written, *server);
    EXPECT_EQ(Model(second), Model(first));
    EXPECT_EQ(Written(second), text);
    EXPECT_EQ(second.GetKeptLines(), first.GetKeptLines());
}

TEST(TwoBodyRoundTrip, ValuesOptionsAndFlagsAsWritten)
{
    const ServerDescriptionPtr server = Server();
    const CZelmForcefield library(DataFile("every-form.lib"), *server);

    // A polynomial in kJ/mol keeps its unit and its values.
    const CInteraction& poly = Find(library, "poly");
    EXPECT_TRUE(On(poly, "kjmol"));
    EXPECT_TRUE(On(poly, "harmonic"));
    EXPECT_EQ(poly.GetIntegerOptionValue(0), 3);
    ASSERT_EQ(poly.GetParameters().size(), 7u);
    EXPECT_EQ(poly.GetParameter(0).GetValue(), 96.0);
    EXPECT_EQ(poly.GetParameter(0).GetUnit(), "kJ/mol");
    EXPECT_EQ(poly.GetParameter(4).GetName(), "r0");
    EXPECT_EQ(poly.GetParameter(4).GetValue(), 2.0);
    EXPECT_EQ(poly.GetParameter(6).GetValue(), 6.0);
    EXPECT_TRUE(poly.GetParameter(4).IsToBeFitted());
    EXPECT_FALSE(poly.GetParameter(2).IsToBeFitted());

    const CInteraction& glue = Find(library, "srgl");
    ASSERT_EQ(glue.GetParameters().size(), 15u);
    EXPECT_EQ(glue.GetParameter(0).GetValue(), 4.0);
    EXPECT_EQ(glue.GetParameter(2).GetValue(), 6.0);
    EXPECT_EQ(glue.GetParameter(14).GetValue(), 12.0);

    const CInteraction& ljbuf = Find(library, "ljbuf");
    EXPECT_EQ(ljbuf.GetIntegerOptionValue(1), 9);   // n
    EXPECT_EQ(ljbuf.GetIntegerOptionValue(0), 12);  // m
    EXPECT_EQ(ljbuf.GetDoubleOptionValue(0), 0.5);
    EXPECT_TRUE(On(ljbuf, "intra"));
    EXPECT_TRUE(On(ljbuf, "bond"));
    EXPECT_TRUE(ljbuf.GetParameter(2).IsToBeFitted());

    const CInteraction& buck = Find(library, "buck");
    EXPECT_TRUE(On(buck, "kjmol"));
    EXPECT_EQ(buck.GetParameter(0).GetValue(), 96485.0);
    EXPECT_EQ(buck.GetParameter(0).GetUnit(), "kJ/mol");
    EXPECT_EQ(buck.GetParameter(2).GetUnit(), "kJ/mol*" AA "^6");

    const CInteraction& bsm = Find(library, "bsm");
    EXPECT_TRUE(On(bsm, "kjmol"));
    EXPECT_TRUE(On(bsm, "exponential"));
    EXPECT_EQ(bsm.GetParameter(0).GetValue(), 1000.0);
    EXPECT_EQ(bsm.GetParameter(0).GetUnit(), "kJ/mol");
    EXPECT_EQ(bsm.GetParameter(1).GetName(), "rho");

    const CInteraction& lenn = Find(library, "lenn");
    EXPECT_EQ(lenn.GetParameter(0).GetName(), "epsilon");
    EXPECT_EQ(lenn.GetParameter(1).GetValue(), 3.4);

    const CInteraction& harm = Find(library, "harm");
    EXPECT_EQ(harm.GetParameter(1).GetName(), "k3");
    EXPECT_EQ(harm.GetParameter(1).GetValue(), -5.0);
    EXPECT_EQ(harm.GetParameter(2).GetName(), "k4");

    const CInteraction& bore = Find(library, "bore");
    ASSERT_EQ(bore.GetParameters().size(), 7u);
    EXPECT_EQ(bore.GetParameter(6).GetValue(), 7.0);
    EXPECT_TRUE(bore.GetParameter(4).IsToBeFitted());  // "c"
    EXPECT_FALSE(bore.GetParameter(5).IsToBeFitted());

    const CInteraction& cosh = Find(library, "cosh");
    EXPECT_TRUE(On(cosh, "kcal"));
    EXPECT_EQ(cosh.GetParameter(1).GetValue(), 0.1);

    const CInteraction& damp = Find(library, "damp");
    EXPECT_EQ(damp.GetParameter(4).GetValue(), 0.25);  // b8
    EXPECT_EQ(damp.GetParameter(7).GetValue(), 8.0);

    EXPECT_EQ(Find(library, "gener").GetIntegerOptionValue(0), 10);
    EXPECT_EQ(Find(library, "coul").GetDoubleOptionValue(0), 0.5);

    int bondOrder = 0;
    for (const CForcefield::InteractionEntry& entry : library.GetInteractionEntries()) {
        const CInteraction& botw = *entry.interaction;
        if (botw.GetFunctionalFormKeyword() != "botw")
            continue;
        ++bondOrder;
        if (On(botw, "combine")) {
            EXPECT_TRUE(On(botw, "kjmol"));
            ASSERT_EQ(botw.GetParameters().size(), 2u);
            EXPECT_EQ(botw.GetParameter(0).GetName(), "chiR");
            EXPECT_EQ(botw.GetParameter(1).GetValue(), 2.5);
            EXPECT_TRUE(botw.GetParameter(0).IsToBeFitted());
        } else {
            ASSERT_EQ(botw.GetParameters().size(), 6u);
            EXPECT_EQ(botw.GetParameter(3).GetValue(), 4.0);
            EXPECT_TRUE(botw.GetParameter(1).IsToBeFitted());
            EXPECT_FALSE(botw.GetParameter(2).IsToBeFitted());
        }
    }
    EXPECT_EQ(bondOrder, 2);
}

TEST(TwoBodyRoundTrip, WrittenFormLinesOfEveryForm)
{
    const ServerDescriptionPtr server = Server();
    const CZelmForcefield library(DataFile("every-form.lib"), *server);
    const std::string text = Written(library);
    for (const char* line : {"\nsrgl\nMg core Na core 4.0000000000 0.0000000000 6.0000000000 \n",
                             "\nljbuf 9 12 intra bond 0.5\n", "\npoly harmonic kjmol\n3\nCa core Mg core 96.0 -48.0 12.0 1.5 2.0 0.0 6.0 1 1 0 0 1\n",
                             "\nbotw kjmol combine\n", "\nbsm exponential kjmol\nO shel 1000.0 2.0 0.3 1 0 1\n",
                             "\nlenn epsilon 12 6\n", "\nharm k3 k4 bond\n", "\ngener ener 10 6\n",
                             "\ncoul o14 0.5\n", "\ncosh kcal\nMg core 100.0 0.1 1 0\n", "\nboch staper\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
}

TEST(TwoBodyRoundTrip, CoreShellOxideLibraryIsWrittenAsRead)
{
    const ServerDescriptionPtr server = Server();
    const std::string original = ReadFile(DataFile("oxide.lib"));
    const CZelmForcefield library(DataFile("oxide.lib"), *server);
    EXPECT_EQ(library.GetAtomTypeNames(), (std::list<std::string>{"Mg core", "O core", "O shel"}));
    EXPECT_EQ(library.GetInteractionEntries().size(), 5u);
    EXPECT_EQ(Written(library), original);

    const CInteraction& buck = Find(library, "buck");
    EXPECT_TRUE(buck.GetParameter(0).IsToBeFitted());
    EXPECT_TRUE(buck.GetParameter(1).IsToBeFitted());
    EXPECT_FALSE(buck.GetParameter(2).IsToBeFitted());
    const CInteraction& lenn = Find(library, "lenn");
    EXPECT_EQ(lenn.GetParameter(0).GetUnit(), "kJ/mol");
    EXPECT_EQ(lenn.GetParameter(0).GetValue(), 0.25);
}

TEST(TwoBodyRoundTrip, EditedInteractionsAreSavedWithTheirNewShape)
{
    const ServerDescriptionPtr server = Server();
    CZelmForcefield library(DataFile("oxide.lib"), *server);
    CInteraction& buck = library.GetInteraction("Two-body", "buck", {"Mg core", "O shel"}, 0);
    buck.SetBooleanOptionValue(static_cast<unsigned>(buck.GetFunctionalForm()->IndexOfBooleanOption("kcal")), true);
    CInteraction& poly = library.AddInteraction("Two-body", "poly", {"O shel", "Mg core"});
    poly.SetIntegerOptionValue(0, 2);
    poly.SetBooleanOptionValue(static_cast<unsigned>(poly.GetFunctionalForm()->IndexOfBooleanOption("kjmol")), true);
    poly.GetParameter(1).SetValue(-3.5);

    const std::string text = Written(library);
    TempFolder files("twobody");
    const std::string written = files.Write("written.lib", text);
    const CZelmForcefield again(written, *server);
    EXPECT_EQ(Model(again), Model(library));
    const CInteraction& polyAgain = Find(again, "poly");
    EXPECT_EQ(polyAgain.GetParameters().size(), 5u);
    EXPECT_EQ(polyAgain.GetParameter(1).GetValue(), -3.5);
    EXPECT_EQ(polyAgain.GetParameter(1).GetUnit(), "kJ/mol");
    const CInteraction& buckAgain = again.GetInteraction("Two-body", "buck", {"O shel", "Mg core"}, 0);
    EXPECT_NEAR(buckAgain.GetParameter(0).GetValue(), 1428.5 / 0.043393453, 1e-6);
    EXPECT_EQ(buckAgain.GetParameter(0).GetUnit(), "kcal");
}
