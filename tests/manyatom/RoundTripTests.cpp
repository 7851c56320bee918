// Libraries with three-body, four-body and many-body interactions read,
// written and read again through the forcefield.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include <boost/make_shared.hpp>

#include "common/TempFolder.h"
#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmServerDescription.h"
#include "manyatom/Support.h"

namespace {

using QzTest::ReadFile;
using QzTest::TempFolder;

std::string DataFile(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/manyatom/" + name;
}

std::string Written(const CZelmForcefield& forcefield)
{
    std::ostringstream text;
    forcefield.WriteLibrary(text);
    return text.str();
}

// The interaction of a form whose atom types begin with `first`.
const CInteraction& Find(const CForcefield& forcefield, const std::string& keyword, const std::string& first = "")
{
    for (const CForcefield::InteractionEntry& entry : forcefield.GetInteractionEntries()) {
        if (entry.interaction->GetFunctionalFormKeyword() == keyword &&
            (first.empty() || entry.atomTypes.front()->GetName() == first))
            return *entry.interaction;
    }
    throw std::runtime_error("no interaction of " + keyword);
}

bool On(const CInteraction& interaction, const std::string& option)
{
    const BooleanOptionDescriptionList& list = interaction.GetFunctionalForm()->GetBooleanOptionDescriptions();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i]->GetName() == option)
            return interaction.GetBooleanOptionValue(static_cast<unsigned>(i));
    }
    return false;
}

// Values, units, fit states and options of every interaction, one line each.
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
        lines.insert(text.str());
    }
    std::string model;
    for (const std::string& line : lines)
        model += line + "\n";
    return model;
}

}  // namespace

TEST(ManyAtomRoundTrip, EveryFormReadsWritesAndReadsBackTheSame)
{
    const auto server = boost::make_shared<CZelmServerDescription>();
    const CZelmForcefield first(DataFile("all-forms.lib"), *server);
    std::set<std::string> keywords;
    for (const CForcefield::InteractionEntry& entry : first.GetInteractionEntries())
        keywords.insert(entry.interaction->GetFunctionalFormKeyword());
    EXPECT_EQ(first.GetInteractionEntries().size(), 32u);
    EXPECT_EQ(keywords.size(), 25u);
    // Only the comment is kept: the coefficient line went to its interaction.
    EXPECT_EQ(first.GetKeptLines(), (std::list<std::string>{"# Every three-body, four-body and many-body form, "
                                                            "with options and fit flags."}));

    const std::string text = Written(first);
    TempFolder folder("manyatom");
    const CZelmForcefield second(folder.Write("again.lib", text), *server);
    EXPECT_EQ(Model(second), Model(first));
    EXPECT_EQ(Written(second), text);
    EXPECT_EQ(second.GetKeptLines(), first.GetKeptLines());
}
TEST(ManyAtomRoundTrip, ValuesOptionsAndFlagsAsRead)
{
    const auto server = boost::make_shared<CZelmServerDescription>();
    const CZelmForcefield library(DataFile("all-forms.lib"), *server);

    const CInteraction& tors = Find(library, "tors", "C core");
    EXPECT_TRUE(On(tors, "esff"));
    EXPECT_TRUE(On(tors, "kcal"));
    EXPECT_EQ(tors.GetParameter(0).GetName(), "k1");
    EXPECT_EQ(tors.GetParameter(0).GetUnit(), "kcal");
    EXPECT_EQ(tors.GetParameter(1).GetValue(), -0.5);
    EXPECT_EQ(tors.GetParameter(3).GetValue(), 180.0);

    const CInteraction& thre = Find(library, "thre", "C core");
    EXPECT_TRUE(On(thre, "k3"));
    EXPECT_EQ(thre.GetParameter(1).GetName(), "k3");
    EXPECT_EQ(thre.GetParameter(1).GetUnit(), "kJ/mol/rad^3");
    EXPECT_EQ(thre.GetParameter(1).GetValue(), -15.0);
    EXPECT_TRUE(thre.GetParameter(2).IsToBeFitted());  // theta0
    const CInteraction& threMol = Find(library, "thre", "Si core");
    EXPECT_TRUE(On(threMol, "mol"));
    EXPECT_FALSE(On(threMol, "bond"));
    EXPECT_TRUE(On(Find(library, "inve"), "mol"));

    const CInteraction& hydro = Find(library, "hydro");
    ASSERT_EQ(hydro.GetParameters().size(), 10u);
    EXPECT_EQ(hydro.GetParameter(0).GetUnit(), "kcal*" AA "^m");
    EXPECT_EQ(hydro.GetParameter(2).GetValue(), 90.0);

    const CInteraction& ryck = Find(library, "ryck", "C core");
    ASSERT_EQ(ryck.GetParameters().size(), 9u);
    EXPECT_EQ(ryck.GetIntegerOptionValue(0), 3);
    EXPECT_EQ(ryck.GetParameter(8).GetValue(), -3.06);
    EXPECT_TRUE(ryck.GetParameter(6).IsToBeFitted());
    bool coefficientLineRead = false;
    for (const CForcefield::InteractionEntry& entry : library.GetInteractionEntries()) {
        const CInteraction& interaction = *entry.interaction;
        if (interaction.GetFunctionalFormKeyword() != "ryck" || entry.atomTypes.back()->GetName() != "H core")
            continue;
        coefficientLineRead = true;
        ASSERT_EQ(interaction.GetParameters().size(), 8u);
        EXPECT_EQ(interaction.GetParameter(5).GetValue(), 2.5);
        EXPECT_EQ(interaction.GetParameter(7).GetValue(), 0.75);
        EXPECT_TRUE(interaction.GetParameter(0).IsToBeFitted());
    }
    EXPECT_TRUE(coefficientLineRead);

    for (const CForcefield::InteractionEntry& entry : library.GetInteractionEntries()) {
        const CInteraction& interaction = *entry.interaction;
        if (interaction.GetFunctionalFormKeyword() == "eam_f" && On(interaction, "power")) {
            EXPECT_EQ(interaction.GetIntegerOptionValue(0), 3);
            EXPECT_EQ(interaction.GetParameter(0).GetValue(), 2.5);
            EXPECT_TRUE(interaction.GetParameter(0).IsToBeFitted());
        }
        if (interaction.GetFunctionalFormKeyword() == "eam_d" && On(interaction, "glue")) {
            EXPECT_TRUE(On(interaction, "kcal"));
            ASSERT_EQ(interaction.GetParameters().size(), 15u);
            EXPECT_EQ(interaction.GetParameter(0).GetValue(), 2.0);
            EXPECT_EQ(interaction.GetParameter(14).GetValue(), 12.0);
            EXPECT_EQ(interaction.GetParameter(14).GetUnit(), "kcal");
            EXPECT_EQ(interaction.GetParameter(2).GetUnit(), AA);
        }
        if (interaction.GetFunctionalFormKeyword() == "eam_f" && On(interaction, "glue")) {
            ASSERT_EQ(interaction.GetParameters().size(), 16u);
            EXPECT_EQ(interaction.GetParameter(15).GetValue(), 14.0);
        }
    }
}

TEST(ManyAtomRoundTrip, WrittenFormLines)
{
    const auto server = boost::make_shared<CZelmServerDescription>();
    const std::string text = Written(CZelmForcefield(DataFile("all-forms.lib"), *server));
    for (const char* line :
         {"\ntors kcal esff\nC core C core C core C core 1.5 -0.5 3.0 180.0 1.7 1.7 1.7 3.0 1 0\n",
          "\nthre vessal mol\n", "\ninve squared mol\n", "\nhydro kcal taper 12 10 4\n",
          "\nryck 2\nC core C core C core H core 0.2 1.7 1.7 1.7 3.0 2.5 -1.5 0.75 1 0 0 0\n",
          "\neam_f power 3\nFe core 2.5000000000 1 \n",
          "\neam_d glue kcal 1\nNi core 2.0000000000 3.5000000000 4.5000000000 \n1.0000000000 ",
          "\neam_f glue\nNi core 0.5000000000 1.5000000000 \n1.0000000000 2.0000000000 3.0000000000 & \n",
          "\nlin3 intra\nSi core O core Si core 0.5 -1.0 2.0 0.0 2.0 0.0 2.0 0.0 3.0 1\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
}

TEST(ManyAtomRoundTrip, ExampleLibrariesSaveStably)
{
    const auto server = boost::make_shared<CZelmServerDescription>();
    const std::vector<std::pair<const char*, std::size_t>> examples = {{"eam-metal.lib", 7u}, {"molecular.lib", 13u}};
    for (const auto& example : examples) {
        SCOPED_TRACE(example.first);
        const CZelmForcefield first(std::string(QZ_TEST_DATA) + "/../../examples/" + example.first, *server);
        EXPECT_EQ(first.GetInteractionEntries().size(), example.second);
        const std::string text = Written(first);
        TempFolder folder("manyatom");
        const CZelmForcefield second(folder.Write("again.lib", text), *server);
        EXPECT_EQ(Model(second), Model(first));
        EXPECT_EQ(Written(second), text);
    }
}
