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
    std::cout << text;
}
TEST(ManyAtomRoundTrip, Tmp)
{
    const auto server = boost::make_shared<CZelmServerDescription>();
    const CZelmForcefield first(DataFile("all-forms.lib"), *server);
    EXPECT_TRUE(On(Find(first, "thre"), "k3"));
}
TEST(ManyAtomRoundTrip, Examples)
{
    const auto server = boost::make_shared<CZelmServerDescription>();
    for (const char* name : {"eam-metal.lib", "molecular.lib"}) {
    const CZelmForcefield first(std::string(QZ_TEST_DATA) + "/../../examples/" + name, *server);
    std::cout << first.GetInteractionEntries().size() << "\n" << Written(first);
    }
}
