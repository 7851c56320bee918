// The host's editor works on a library through the COM objects only: it
// adds, reads back, changes, removes, saves and loads again; names that the
// library could not keep are refused.
#include "ComHelpers.h"

using namespace FfCom;

namespace {

class EditingRoad : public EditorTest {
protected:
    INT BooleanIndex(const KelvComPtr<IQoInteraction>& interaction, const std::string& name)
    {
        SAFEARRAY* array = nullptr;
        EXPECT_EQ(interaction->get_BooleanOptionNames(&array), S_OK);
        const std::vector<std::string> names = Take(array);
        return static_cast<INT>(std::find(names.begin(), names.end(), name) - names.begin());
    }

    std::vector<std::string> AtomTypes(const KelvComPtr<IQoForcefield>& of)
    {
        SAFEARRAY* array = nullptr;
        EXPECT_EQ(of->get_AtomTypes(&array), S_OK);
        return Take(array);
    }
};

} // namespace

TEST_F(EditingRoad, AddChangeRemoveSaveAsAndLoadAgain)
{
    // A new atom type and a new interaction, found again by type, atom
    // types (in any order), form and id.
    KelvComPtr<IQoAtomType> mg;
    ASSERT_EQ(forcefield->AddAtomType(B("Mg core").Get(), mg.Receive()), S_OK) << QzTest::LastErrorText();
    double charge = -1.0;
    ASSERT_EQ(mg->get_Charge(&charge), S_OK);
    EXPECT_EQ(charge, 0.0);
    ASSERT_EQ(mg->put_Charge(2.0), S_OK);
    Names oMg({"O shel", "Mg core"});
    KelvComPtr<IQoInteraction> added;
    ASSERT_EQ(forcefield->get_AddInteraction(B("Two-body").Get(), oMg.In(), B(kBuck).Get(), added.Receive()), S_OK)
        << QzTest::LastErrorText();
    const auto mgO = Interaction("Two-body", {"Mg core", "O shel"}, kBuck, 0);
    ASSERT_TRUE(mgO);
    ASSERT_EQ(Parameter(mgO, 0)->put_Value(1428.5), S_OK);
    ASSERT_EQ(Parameter(added, 1)->put_Value(0.2945), S_OK);
    ASSERT_EQ(Parameter(mgO, 0)->put_IsToBeFitted(VARIANT_TRUE), S_OK);
    EXPECT_EQ(Value(Parameter(added, 0)), 1428.5);

    // "kcal" on the Na-Cl interaction converts its energies; a parameter
    // object held from before reads the converted value.
    const auto naCl = Interaction("Two-body", {"Cl core", "Na core"}, kBuck, 0);
    const auto a = Parameter(naCl, 0);
    ASSERT_EQ(naCl->put_BooleanOption(BooleanIndex(naCl, "kcal"), VARIANT_TRUE), S_OK) << QzTest::LastErrorText();
    EXPECT_DOUBLE_EQ(Value(a), 1170.0 / 0.043393453);
    BSTR unit = nullptr;
    ASSERT_EQ(a->get_Unit(&unit), S_OK);
    EXPECT_EQ(Take(unit), "kcal");

    // The core-shell spring goes.
    Names o({"O core"});
    ASSERT_EQ(forcefield->RemoveInteraction(B("Core-Shell").Get(), B("Spring (spri)").Get(), o.In(), 0), S_OK);

    const std::string saved = folder.File("saved.lib");
    ASSERT_EQ(editorCom->SaveAs(B(saved).Get()), S_OK) << QzTest::LastErrorText();
    const std::string expected = QzTest::ReadFile(Data("edited.lib"));
    EXPECT_EQ(QzTest::ReadFile(saved), expected);

    // Loaded again, the library holds the changes (species now in name
    // order), and from then on saving and loading keep the text.
    KelvComPtr<IQoForcefield> reloaded;
    ASSERT_EQ(editorCom->get_Load(B(saved).Get(), reloaded.Receive()), S_OK) << QzTest::LastErrorText();
    EXPECT_EQ(AtomTypes(reloaded), (std::vector<std::string>{"Cl core", "Mg core", "Na core", "O core", "O shel"}));
    forcefield = reloaded;
    EXPECT_EQ(Value(Parameter(Interaction("Two-body", {"Mg core", "O shel"}, kBuck), 1)), 0.2945);
    ASSERT_EQ(editorCom->Save(), S_OK);
    const std::string once = QzTest::ReadFile(saved);
    ASSERT_EQ(editorCom->get_Load(B(saved).Get(), reloaded.Receive()), S_OK);
    ASSERT_EQ(editorCom->Save(), S_OK);
    EXPECT_EQ(QzTest::ReadFile(saved), once);
}

TEST_F(EditingRoad, NamesTheLibraryCannotKeepAreRefused)
{
    struct Case {
        const char* name;
        bool kept;
    };
    for (const Case& test : {Case{"Mg core", true}, Case{"O_OH shel", true}, Case{"Na core", false},
                             Case{"Mg", false}, Case{"Mg  core", false}, Case{"Mg core x", false},
                             Case{"Mg shell", false}, Case{"Score core", false}, Case{"#Mg core", false},
                             Case{"core", false}, Case{"", false}}) {
        KelvComPtr<IQoAtomType> added;
        const HRESULT hr = forcefield->AddAtomType(B(test.name).Get(), added.Receive());
        const std::string text = QzTest::LastErrorText();
        EXPECT_EQ(hr, test.kept ? S_OK : E_UNEXPECTED) << test.name;
        EXPECT_EQ(text.empty(), test.kept) << test.name;
    }

    // Renaming: a taken or unreadable name is refused, a good one kept.
    KelvComPtr<IQoAtomType> na;
    ASSERT_EQ(forcefield->get_AtomType(B("Na core").Get(), na.Receive()), S_OK);
    EXPECT_EQ(na->put_Name(B("Cl core").Get()), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "The atom type \"Cl core\" already exists.");
    EXPECT_EQ(na->put_Name(B("Na").Get()), E_UNEXPECTED);
    EXPECT_EQ(na->put_Name(B("Na core").Get()), S_OK);
    ASSERT_EQ(na->put_Name(B("Nb core").Get()), S_OK);

    // What was accepted reads back after a save, with its interaction.
    ASSERT_EQ(editorCom->Save(), S_OK);
    KelvComPtr<IQoForcefield> reloaded;
    ASSERT_EQ(editorCom->get_Load(B(path).Get(), reloaded.Receive()), S_OK) << QzTest::LastErrorText();
    EXPECT_EQ(AtomTypes(reloaded),
              (std::vector<std::string>{"Cl core", "Mg core", "Nb core", "O core", "O shel", "O_OH shel"}));
    forcefield = reloaded;
    EXPECT_EQ(Value(Parameter(Interaction("Two-body", {"Nb core", "Cl core"}, kBuck), 0)), 1170.0);
}
