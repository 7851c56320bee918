// The base library's forcefield, editor, server description and
// interaction type.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <boost/make_shared.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "common/TestForms.h"
#include "kelv/kelv.h"
#include "qorff/qorff.h"
#include "common/KelvResults.h"
#include "common/TempFolder.h"

using QzTest::MessageOf;
using QzTest::ReadFile;
using QzTest::TempFolder;

namespace {

using Names = std::list<std::string>;

// A forcefield whose library text is its interaction map, with a switch to
// make writing fail half-way.
class CTestForcefield : public CForcefield {
public:
    explicit CTestForcefield(const CServerDescription& serverDescription)
        : CForcefield("test.lib", serverDescription)
    {
    }
    void WriteLibrary(std::ostream& stream) const override
    {
        stream << "written\n";
        for (const auto& entry : GetAllInteractions()) {
            stream << entry.first;
            for (const std::string& line : entry.second)
                stream << line;
        }
        if (failWriting == 1)
            stream.setstate(std::ios::badbit);
        if (failWriting == 2)
            throw KelvResult(E_UNEXPECTED, "writing refused");
    }
    void ReadLibrary(const std::string&) override {}
    int failWriting = 0;
};

class CTestEditor : public CForcefieldEditor {
public:
    CTestEditor() : CForcefieldEditor(new CServerDescription("Test", false))
    {
        testforms::RegisterTestTypes(*GetServerDescriptionPtr());
    }
    CForcefield& Load(const std::string& path) override
    {
        SetForcefield(path, new CTestForcefield(GetServerDescription()));
        return GetForcefield();
    }
};

class ForcefieldModel : public ::testing::Test {
protected:
    ForcefieldModel() : description(boost::make_shared<CServerDescription>("Test", false))
    {
        testforms::RegisterTestTypes(*description);
        forcefield.reset(new CTestForcefield(*description));
        for (const char* name : {"Si core", "O core", "O shel", "Na core"})
            forcefield->AddAtomType(name, 0.5);
    }
    boost::shared_ptr<CServerDescription> description;
    boost::shared_ptr<CTestForcefield> forcefield;
};

}  // namespace

TEST(AtomTypeOrdering, ComparesListsElementByElement)
{
    const CAtomTypeOrderingComparator less;
    EXPECT_TRUE(less({1, 2}, {2, 1}));
    EXPECT_FALSE(less({2, 1}, {1, 2}));
    EXPECT_FALSE(less({3, 3}, {3, 3}));
    EXPECT_TRUE(less({1}, {1, 0}));
    EXPECT_TRUE(less({0, 9, 9}, {1, 0, 0}));
}

TEST(InteractionTypeRegistry, FindsFormsByKeywordOrDisplayNameAndRefusesUnknown)
{
    testforms::CPairTestType type;
    EXPECT_EQ("xbuc", type.GetFunctionalForm("xbuc")->GetKeyword());
    EXPECT_EQ("xbuc4", type.GetFunctionalForm("Test four-range Buckingham (xbuc4)")->GetKeyword());
    EXPECT_EQ("Test Buckingham (xbuc)", type.GetFunctionalFormNames().front());
    EXPECT_EQ("xbuc", type.GetFunctionalFormKeywords().front());
    EXPECT_EQ(2, type.GetNumberOfAtoms());
    EXPECT_NE(std::string::npos, MessageOf([&] { type.GetFunctionalForm("nope"); }).find("\"nope\""));
    EXPECT_THROW(type.AddFunctionalForm(type.GetFunctionalForm("xbuc")), KelvResult);
    EXPECT_THROW(type.AddFunctionalForm(FunctionalFormPtr()), KelvResult);
    // A one-atom type keeps the order given.
    EXPECT_EQ((std::list<unsigned>{7}), testforms::CCoreTestType().GetCanonicalOrdering({7}));
}

TEST(ServerDescriptionBase, ExactLookupsAndCaseFlag)
{
    CServerDescription exact("Test", false);
    testforms::RegisterTestTypes(exact);
    EXPECT_EQ("Test pair", exact.GetTypeOfFunctionalForm("xsw2j"));
    EXPECT_EQ("Test spring (xspr)", exact.GetFunctionalFormFullName("xspr"));
    EXPECT_FALSE(exact.HasFunctionalForm("xsw2jb"));
    EXPECT_FALSE(exact.HasFunctionalForm("XBUC"));
    EXPECT_FALSE(exact.CanFit());
    EXPECT_THROW(exact.GetTypeOfFunctionalForm("xlennard"), KelvResult);
    EXPECT_NE(std::string::npos, MessageOf([&] { exact.GetInteractionType("Nine-body"); }).find("Nine-body"));
    EXPECT_THROW(exact.AddInteractionType(boost::make_shared<testforms::CCoreTestType>()), KelvResult);
    EXPECT_EQ((Names{"Test core", "Test pair"}), exact.GetInteractionTypeNames());
    EXPECT_EQ("Test", exact.GetServerName());

    CServerDescription relaxed("Test", true);
    testforms::RegisterTestTypes(relaxed);
    std::string resolved;
    EXPECT_TRUE(relaxed.ResolveFunctionalFormKeyword("XBUC", resolved));
    EXPECT_EQ("xbuc", resolved);
}

TEST_F(ForcefieldModel, AtomTypesAreUniqueAndLookupsThrow)
{
    EXPECT_EQ((Names{"Si core", "O core", "O shel", "Na core"}), forcefield->GetAtomTypeNames());
    EXPECT_THROW(forcefield->AddAtomType("O shel", 1.0), KelvResult);
    EXPECT_NE(std::string::npos, MessageOf([&] { forcefield->GetAtomType("Zr core"); }).find("Zr core"));
    EXPECT_TRUE(forcefield->HasAtomType("Na core"));
    EXPECT_FALSE(forcefield->HasAtomType("Na shel"));
    EXPECT_EQ(0.5, forcefield->GetAtomType("O shel").GetCharge());
}

TEST_F(ForcefieldModel, InteractionsAreKeptInCanonicalOrderWithIds)
{
    CInteraction& first = forcefield->AddInteraction("Test pair", "xbuc", {"O shel", "Si core"});
    CInteraction& second = forcefield->AddInteraction("Test pair", "Test Buckingham (xbuc)", {"Si core", "O shel"});
    EXPECT_EQ(0, first.GetId());
    EXPECT_EQ(1, second.GetId());
    const CForcefield::InteractionEntry& entry = forcefield->GetInteractionEntries().front();
    EXPECT_EQ("Si core", entry.atomTypes[0]->GetName());
    EXPECT_EQ("O shel", entry.atomTypes[1]->GetName());

    EXPECT_EQ(&second, &forcefield->GetInteraction("Test pair", "xbuc", {"O shel", "Si core"}, 1));
    EXPECT_EQ(2u, forcefield->GetInteractions("Test pair", {"O shel", "Si core"}).size());
    EXPECT_TRUE(forcefield->GetInteractions("Test pair", {"O core", "Si core"}).empty());
    EXPECT_EQ((Names{"Test Buckingham (xbuc)"}), forcefield->GetInteractionNamesOfType("Test pair", {"Si core", "O shel"}));
    const Names unused = forcefield->GetUnusedInteractionsOfType("Test pair", {"Si core", "O shel"});
    EXPECT_EQ(5u, unused.size());
    EXPECT_EQ("Test four-range Buckingham (xbuc4)", unused.front());

    // A removed id is given again to the next interaction of its kind.
    forcefield->RemoveInteraction("Test pair", "xbuc", {"Si core", "O shel"}, 0);
    EXPECT_EQ(0, forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "O shel"}).GetId());

    // Unknown names, wrong counts and ids are errors, never null.
    EXPECT_THROW(forcefield->GetInteraction("Test pair", "xbuc", {"Si core", "O shel"}, 7), KelvResult);
    EXPECT_THROW(forcefield->AddInteraction("Test pair", "xbuc", {"Si core"}), KelvResult);
    EXPECT_THROW(forcefield->AddInteraction("Test pair", "xspr", {"Si core", "O shel"}), KelvResult);
    EXPECT_THROW(forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "Zr core"}), KelvResult);
    EXPECT_THROW(forcefield->GetInteractions("Nine-body", {"Si core"}), KelvResult);
}

TEST_F(ForcefieldModel, AddingACopyFindsTheTypeOfItsForm)
{
    const FunctionalFormPtr spring = description->GetInteractionType("Test core")->GetFunctionalForm("xspr");
    CInteraction interaction(spring);
    interaction.GetParameter(0).SetValue(42.0);
    CInteraction& added = forcefield->AddInteraction(interaction, {"O shel"});
    EXPECT_NE(&interaction, &added);
    EXPECT_EQ(42.0, forcefield->GetInteraction("Test core", "xspr", {"O shel"}, 0).GetParameter(0).GetValue());

    // A form that the server does not register cannot be added.
    CInteraction stranger(boost::make_shared<CFunctionalForm>("Stranger (strn)", "strn", ParameterDescriptionList{},
                                                              BooleanOptionDescriptionList{},
                                                              IntegerOptionDescriptionList{},
                                                              DoubleOptionDescriptionList{}));
    EXPECT_THROW(forcefield->AddInteraction(stranger, {"O shel"}), KelvResult);
}

TEST_F(ForcefieldModel, AllInteractionsAreGroupedByFormLineInStringOrder)
{
    CInteraction& sw2 = forcefield->AddInteraction("Test pair", "xsw2", {"O core", "Si core"});
    sw2.GetParameter(0).SetValue(2.5);
    forcefield->AddInteraction("Test pair", "xbuc", {"Na core", "O shel"}).SetBooleanOptionValue(2, true);
    forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "O shel"});
    forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "O core"});
    forcefield->AddInteraction("Test core", "xspr", {"O shel"});

    const CForcefield::InteractionMap all = forcefield->GetAllInteractions();
    const CForcefield::InteractionMap expected{
        {"xbuc\n", {"Si core O shel 0.0 0.0 0.0 0.0 10.0 0 0 0\n", "Si core O core 0.0 0.0 0.0 0.0 10.0 0 0 0\n"}},
        {"xbuc kjmol\n", {"O shel Na core 0.0 0.0 0.0 0.0 10.0 0 0 0\n"}},
        {"xspr\n", {"O shel 0.0 0.0 0 0\n"}},
        {"xsw2\n", {"Si core O core 2.5 0.0 0.0 0.0 10.0 0 0 0\n"}},
    };
    EXPECT_EQ(expected, all);
}

TEST_F(ForcefieldModel, RemovingAnAtomTypeRemovesItsInteractionsButHandlesStayValid)
{
    forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "O shel"}).GetParameter(0).SetValue(7.0);
    forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "O core"});
    const AtomTypePtr shell = forcefield->GetAtomTypePtr("O shel");
    const InteractionPtr held = forcefield->GetInteractionPtr("Test pair", "xbuc", {"Si core", "O shel"}, 0);

    forcefield->RemoveAtomType("O shel");
    EXPECT_FALSE(forcefield->HasAtomType("O shel"));
    EXPECT_EQ(1u, forcefield->GetInteractionEntries().size());
    EXPECT_EQ("O shel", shell->GetName());
    EXPECT_EQ(7.0, held->GetParameter(0).GetValue());
    EXPECT_THROW(forcefield->RemoveAtomType("O shel"), KelvResult);
}

TEST_F(ForcefieldModel, MarkAllParametersNoFitClearsEveryFlag)
{
    CInteraction& buck = forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "O shel"});
    buck.GetParameter(0).SetIsToBeFitted(true);
    buck.GetParameter(2).SetIsToBeFitted(true);
    forcefield->AddInteraction("Test core", "xspr", {"O shel"}).GetParameter(1).SetIsToBeFitted(true);
    forcefield->MarkAllParametersNoFit();
    for (const CForcefield::InteractionEntry& entry : forcefield->GetInteractionEntries()) {
        for (const CParameter& parameter : entry.interaction->GetParameters())
            EXPECT_FALSE(parameter.IsToBeFitted()) << parameter.GetName();
    }
}

TEST(ForcefieldLifetime, ForcefieldKeepsItsSharedServerDescriptionAlive)
{
    boost::shared_ptr<CTestForcefield> forcefield;
    {
        CTestEditor editor;
        editor.Load("a.lib");
        forcefield = boost::dynamic_pointer_cast<CTestForcefield>(editor.GetForcefieldPtr());
        forcefield->AddAtomType("Si core", 4.0);
    }
    // The editor and its reference to the description are gone.
    CInteraction& added = forcefield->AddInteraction("Test pair", "xbuc", {"Si core", "Si core"});
    EXPECT_EQ("xbuc", added.GetFunctionalFormKeyword());
    EXPECT_EQ("Test", forcefield->GetServerDescription().GetName());
}

TEST(ForcefieldEditorBase, SetForcefieldReplacesOnlyTheEditorsReference)
{
    CTestEditor editor;
    EXPECT_FALSE(editor.HasForcefield());
    EXPECT_THROW(editor.GetForcefield(), KelvResult);
    EXPECT_THROW(editor.Save(), KelvResult);
    editor.Load("first.lib");
    const ForcefieldPtr first = editor.GetForcefieldPtr();
    first->AddAtomType("Si core", 1.0);
    editor.Load("second.lib");
    EXPECT_EQ("second.lib", editor.GetFilePath());
    EXPECT_NE(first.get(), &editor.GetForcefield());
    EXPECT_TRUE(first->HasAtomType("Si core"));
    EXPECT_THROW(editor.SetForcefield("x.lib", ForcefieldPtr()), KelvResult);
    EXPECT_EQ("second.lib", editor.GetFilePath());
}

TEST(ForcefieldEditorBase, SavingReplacesTheFileOnlyWhenTheWholeTextIsWritten)
{
    const TempFolder scratch("ffmodel");
    const std::string& folder = scratch.Path();
    const std::string path = folder + "/saved.lib";
    {
        std::ofstream old(path.c_str());
        old << "old content\n";
    }
    ::chmod(path.c_str(), 0640);
    CTestEditor editor;
    editor.Load(path);
    CTestForcefield& forcefield = static_cast<CTestForcefield&>(editor.GetForcefield());

    for (int failure : {1, 2}) {
        forcefield.failWriting = failure;
        EXPECT_THROW(editor.Save(), KelvResult) << failure;
        EXPECT_EQ("old content\n", ReadFile(path)) << failure;
    }
    forcefield.failWriting = 0;
    editor.Save();
    EXPECT_EQ("written\n", ReadFile(path));
    struct stat info;
    ASSERT_EQ(0, ::stat(path.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 0777u);

    const std::string other = folder + "/other.lib";
    editor.SaveAs(other);
    EXPECT_EQ(other, editor.GetFilePath());
    EXPECT_EQ("written\n", ReadFile(other));

    // No temporary file is left behind.
    std::remove(path.c_str());
    std::remove(other.c_str());
    EXPECT_EQ(0, ::rmdir(folder.c_str()));

    const std::string missing = folder + "/no/such/folder.lib";
    EXPECT_NE(std::string::npos, MessageOf([&] { editor.SaveAs(missing); }).find(missing));
    EXPECT_THROW(editor.SaveAs(""), KelvResult);
}
