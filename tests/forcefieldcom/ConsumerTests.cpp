// The logic object's part of the editing road on the in-memory host: the
// editor it hands out, the save path it suggests, the saved libraries it
// takes.
#include "deck/DeckHost.h"

#include "setup/Zelm.h"

#include "qorvira/ZelmForcefieldLocator.h"

#include <filesystem>

using namespace DeckTest;

namespace {

std::string Take(BSTR text)
{
    const std::string narrow = NarrowFromBSTR(text);
    SysFreeString(text);
    return narrow;
}

class Consumer : public DeckHost {
protected:
    KelvComPtr<IQoEditedForcefieldConsumer> Logic() const
    {
        return Zelm().TryQueryInterface<IQoEditedForcefieldConsumer>();
    }

    KelvComPtr<IQoForcefieldEditor> Editor(HRESULT expected = S_OK) const
    {
        KelvComPtr<IQoForcefieldEditor> editor;
        EXPECT_EQ(Logic()->get_ForcefieldEditor(editor.Receive()), expected) << QzTest::LastErrorText();
        return editor;
    }

    static KelvComPtr<IQoForcefield> Forcefield(const KelvComPtr<IQoForcefieldEditor>& editor)
    {
        KelvComPtr<IQoForcefield> forcefield;
        EXPECT_EQ(editor->get_Forcefield(forcefield.Receive()), S_OK);
        return forcefield;
    }

    static bool Has(const KelvComPtr<IQoForcefield>& forcefield, const std::string& name)
    {
        VARIANT_BOOL has = VARIANT_FALSE;
        EXPECT_EQ(forcefield->get_HasAtomType(KelvBSTR(name).Get(), &has), S_OK);
        return has == VARIANT_TRUE;
    }

    std::string Suggestion() const
    {
        BSTR suggestion = nullptr;
        EXPECT_EQ(Logic()->SuggestSavePath(KelvBSTR("ignored.lib").Get(), &suggestion), S_OK)
            << QzTest::LastErrorText();
        return Take(suggestion);
    }

    std::string SelectedPath() const
    {
        return static_cast<CZelm*>(Zelm().get())->ForcefieldLocator()->GetSelectedPath();
    }

    std::string StandardFolder() const { return configuration.coreFolder + "/Resources/Virakon/ZELM/"; }
};

} // namespace

TEST_F(Consumer, EachRequestGivesANewObjectOverTheOneEditorLoadedAgain)
{
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    ASSERT_TRUE(Logic());
    const auto first = Editor();
    const auto firstForcefield = Forcefield(first);
    KelvComPtr<IQoAtomType> added;
    ASSERT_EQ(firstForcefield->AddAtomType(KelvBSTR("Mg core").Get(), added.Receive()), S_OK);

    const auto second = Editor();
    EXPECT_NE(second.get(), first.get());
    EXPECT_FALSE(Has(Forcefield(second), "Mg core")); // the unsaved change is gone
    EXPECT_FALSE(Has(Forcefield(first), "Mg core"));  // one editor behind both
    EXPECT_TRUE(Has(firstForcefield, "Mg core"));     // the object kept its forcefield
    BSTR loaded = nullptr;
    ASSERT_EQ(second->get_LoadedFilePath(&loaded), S_OK);
    EXPECT_EQ(Take(loaded), Project() + "/rocksalt.lib");

    // A null output; errors name the logic object and this interface.
    EXPECT_EQ(Logic()->get_ForcefieldEditor(nullptr), E_POINTER);
    const QzTest::ErrorInfoText info = QzTest::TakeErrorInfo();
    EXPECT_EQ(info.description, "No pointer supplied for output argument.");
    EXPECT_EQ(info.guid, IID_IQoEditedForcefieldConsumer);

    // The editor outlives the logic object and the host.
    host.reset();
    const auto kept = Forcefield(first);
    EXPECT_TRUE(Has(kept, "Na core"));
    EXPECT_EQ(first->SaveAs(KelvBSTR(folder.File("kept.lib")).Get()), S_OK);
    EXPECT_NE(QzTest::ReadFile(folder.File("kept.lib")).find("Na core 1"), std::string::npos);
}

TEST_F(Consumer, SuggestedPathsAreFreeNamesBesideTheSelectedLibrary)
{
    const std::string libs = Project() + "/libs/";
    std::filesystem::create_directories(libs);
    Set("ZelmLogic", "library", libs + "my.lib");
    EXPECT_EQ(Suggestion(), libs + "my.lib");
    QzTest::WriteFile(libs + "my.lib", RockSaltLibrary());
    EXPECT_EQ(Suggestion(), libs + "my_2.lib");
    QzTest::WriteFile(libs + "my_2.lib", RockSaltLibrary());
    EXPECT_EQ(Suggestion(), libs + "my_3.lib");

    // A standard library: the active document's folder, else (no active
    // scope, or a scope without a saved document) the project's.
    std::filesystem::create_directories(StandardFolder());
    QzTest::WriteFile(StandardFolder() + "std.lib", RockSaltLibrary());
    Set("ZelmLogic", "library", "std");
    EXPECT_EQ(Suggestion(), Project() + "/std.lib");

    std::filesystem::create_directories(Project() + "/sub");
    KelvComPtr<ISBDocumentRoot> document;
    const KelvBSTR progId(HostModel::Atomistic3dDocumentProgId), path(Project() + "/sub/rs.qsd");
    const KelvVariant name("rs");
    ASSERT_EQ(host->Documents().NewProjectDocument(progId.Get(), path.Get(), 0, name.Get(), document.Receive()), S_OK);
    HostModel::DocumentOf(document.get())->CopyModelFrom(*RockSalt());
    host->Scopes().SetActiveScope(Contents(document));
    EXPECT_EQ(Suggestion(), Project() + "/sub/std.lib");

    EXPECT_EQ(Logic()->SuggestSavePath(nullptr, nullptr), E_POINTER);
}

TEST_F(Consumer, SavedLibrariesBecomeSelectable)
{
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    Set("ZelmLogic", "library", "edited");
    const std::string before = SelectedPath();

    // A file the host does not know as a document: refused, nothing taken.
    const std::string outside = folder.Write("elsewhere/edited.lib", RockSaltLibrary());
    EXPECT_EQ(Logic()->ForcefieldSavedTo(KelvBSTR(outside).Get()), E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "Cannot save forcefield");
    EXPECT_EQ(SelectedPath(), before);

    // The editor saves a copy in a project folder; once told, the logic
    // selects it by its name.
    Set("ZelmLogic", "library", "rocksalt");
    const auto editor = Editor();
    std::filesystem::create_directories(Project() + "/mine");
    const std::string saved = Project() + "/mine/edited.lib";
    ASSERT_EQ(editor->SaveAs(KelvBSTR(saved).Get()), S_OK);
    ASSERT_EQ(Logic()->ForcefieldSavedTo(KelvBSTR(saved).Get()), S_OK) << QzTest::LastErrorText();
    Set("ZelmLogic", "library", "edited");
    EXPECT_EQ(SelectedPath(), saved);
    BSTR loaded = nullptr;
    ASSERT_EQ(Editor()->get_LoadedFilePath(&loaded), S_OK);
    EXPECT_EQ(Take(loaded), saved);
}
