// The standard libraries' folder and the selected forcefield library.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/HostFakes.h"
#include "common/TempFolder.h"
#include "qorvira/ZelmForcefieldLocator.h"
#include "qorvira/ZelmStandardLibraries.h"
#include "common/KelvResults.h"

using QzTest::CodeOf;
using QzTest::TempFolder;

namespace
{
// A product data folder with the standard libraries "dreiding" and
// "marvik", and a project folder with a user library "mine".
class LibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(temp.Path() + "/core/Resources/Virakon/ZELM");
        std::filesystem::create_directories(temp.Path() + "/project/sub");
        temp.Write("core/Resources/Virakon/ZELM/dreiding.lib");
        temp.Write("core/Resources/Virakon/ZELM/marvik.lib");
        temp.Write("project/mine.lib");
        temp.Write("project/sub/other.lib");
        root->folders->core = temp.Path() + "/core";
        root->folders->project = temp.Path() + "/project";
        engineState = root->AddLogic("QorZelm.Extension", "ZelmLogic");
    }
    std::string StandardFolder() const { return temp.Path() + "/core/Resources/Virakon/ZELM/"; }
    void Select(const std::string& name) { engineState->values["library"] = KelvVariant(name); }

    TempFolder temp;
    KelvComPtr<FakeRoot> root = Make<FakeRoot>();
    KelvComPtr<FakeState> engineState;
};
} // namespace

TEST_F(LibraryTest, StandardFolderJoinsCoreAndRelativeFolderWithOneSeparator)
{
    const CZelmStandardLibraries libraries(root.get());
    // No "ZelmLibraryFolder" value: the installation's default folder.
    EXPECT_EQ(libraries.GetStandardLibrariesFolder(), StandardFolder());
    EXPECT_EQ(libraries.GetElementDataFileName(), StandardFolder());

    struct Case
    {
        std::string core, relative, element, folder;
    };
    const std::vector<Case> cases{
        {"/opt/qz", "Resources/Virakon/ZELM/", "elements.dat", "/opt/qz/Resources/Virakon/ZELM/"},
        {"/opt/qz/", "/Resources/Virakon/ZELM", "elements.dat", "/opt/qz/Resources/Virakon/ZELM/"},
        {"C:\\Product\\", "Resources\\Virakon\\ZELM\\", "", "C:\\Product\\Resources\\Virakon\\ZELM\\"},
        {"/opt/qz", "", "e", "/opt/qz/Resources/Virakon/ZELM/"},
        // The installation's folder written out whole.
        {"/opt/qz", "/opt/qz/Resources/Virakon/ZELM", "e", "/opt/qz/Resources/Virakon/ZELM/"},
        {"/opt/qz/", "/opt/qz/Resources/./Virakon/ZELM/", "", "/opt/qz/Resources/./Virakon/ZELM/"},
    };
    for (const Case& c : cases) {
        root->folders->core = c.core;
        engineState->values["ZelmLibraryFolder"] = KelvVariant(c.relative);
        engineState->values["ZelmElementDataFile"] = KelvVariant(c.element);
        EXPECT_EQ(libraries.GetStandardLibrariesFolder(), c.folder) << c.core << " + " << c.relative;
        EXPECT_EQ(libraries.GetElementDataFileName(), c.folder + c.element);
    }
}

// The state is a project's: a folder that does not come to the
// installation's own is refused naming it, however it gets elsewhere.
TEST_F(LibraryTest, StandardFolderElsewhereThanTheInstallationsIsRefused)
{
    const CZelmStandardLibraries libraries(root.get());
    std::filesystem::create_directories(temp.Path() + "/elsewhere");
    std::filesystem::create_directory_symlink(temp.Path() + "/elsewhere", temp.Path() + "/core/Resources/linked");
    for (const std::string relative : {"/Libs", "Resources/Virakon/ZELM/../../../../elsewhere/", "Resources/linked/",
                                       "Resources/Virakon/ZELM/../ZELM2"}) {
        engineState->values["ZelmLibraryFolder"] = KelvVariant(relative);
        try {
            libraries.GetStandardLibrariesFolder();
            ADD_FAILURE() << relative << " was taken";
        } catch (const KelvResult& refused) {
            EXPECT_EQ(refused.GetHRESULT(), E_ACCESSDENIED);
            // Named as stored: a whole path as it is, else inside the
            // product data folder; then the command that clears it.
            EXPECT_EQ(refused.GetMessage().find((relative[0] == '/' ? relative : temp.Path() + "/core/" + relative) +
                                                (relative.back() == '/' ? "" : "/") + " is not in the current project"),
                      0u)
                << refused.GetMessage();
            EXPECT_NE(refused.GetMessage().find("ZelmLogic.ZelmLibraryFolder \"" + relative + "\""), std::string::npos)
                << refused.GetMessage();
            EXPECT_NE(refused.GetMessage().find(" ZelmLogic ZelmLibraryFolder \"\""), std::string::npos)
                << refused.GetMessage();
        }
    }
}

// A library lies in the project or the standard folder with its links
// followed; a link between two files of the project is fine.
TEST_F(LibraryTest, LibraryInPlaceFollowsLinks)
{
    const CZelmStandardLibraries libraries(root.get());
    const std::string outside = temp.Write("outside.lib");
    std::filesystem::create_symlink(outside, temp.Path() + "/project/evil.lib");
    std::filesystem::create_symlink("mine.lib", temp.Path() + "/project/alias.lib");
    std::filesystem::create_symlink(temp.Path() + "/missing.lib", temp.Path() + "/project/dangling.lib");
    std::filesystem::create_symlink("loop.lib", temp.Path() + "/project/loop.lib");
    struct Case
    {
        std::string path, reason;
    };
    const std::string project = temp.Path() + "/project/";
    const std::vector<Case> cases{
        {project + "mine.lib", ""},
        {project + "alias.lib", ""},
        {StandardFolder() + "dreiding.lib", ""},
        {project + "sub/../mine.lib", ""},
        {project + "not-yet.lib", ""},
        {outside, outside + " is not in the current project"},
        {project + "../outside.lib", project + "../outside.lib is not in the current project"},
        {project + "evil.lib", project + "evil.lib is not in the current project: a link leads it to \"" +
                                   std::filesystem::canonical(outside).string() + "\""},
        {project + "dangling.lib", project + "dangling.lib is not in the current project: a link leads it to \"" +
                                       std::filesystem::weakly_canonical(temp.Path()).string() + "/missing.lib\""},
        {project + "loop.lib", project + "loop.lib is not in the current project: its links go round in a loop"},
        {project + std::string(300, 'n') + ".lib",
         project + std::string(300, 'n') + ".lib is not in the current project: its name is too long"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(libraries.WhyLibraryIsNotInPlace(c.path), c.reason) << c.path;
        EXPECT_EQ(CodeOf([&] { libraries.RequireLibraryInPlace(c.path); }), c.reason.empty() ? S_OK : E_ACCESSDENIED);
        // Written over only in the project: a standard library is read, not
        // saved over.
        const bool standard = c.path.rfind(StandardFolder(), 0) == 0;
        EXPECT_EQ(libraries.WhyLibraryIsNotTheProjects(c.path),
                  standard ? c.path + " is not in the current project: it is a standard library of the installation"
                           : c.reason)
            << c.path;
    }
}

TEST_F(LibraryTest, StandardFolderWithoutTheEngineLogicOrFolderManager)
{
    root->extensions->extensions.clear();
    EXPECT_EQ(CZelmStandardLibraries(root.get()).GetStandardLibrariesFolder(), StandardFolder());
    root->folders = nullptr;
    EXPECT_EQ(CodeOf([&] { CZelmStandardLibraries(root.get()).GetStandardLibrariesFolder(); }), E_NOTIMPL);
    EXPECT_EQ(CodeOf([] { CZelmStandardLibraries(static_cast<ISBContainerRoot*>(nullptr)).GetStandardLibrariesFolder(); }),
              E_POINTER);
}

TEST_F(LibraryTest, SelectedPathForStandardAndUserLibraries)
{
    const CZelmForcefieldLocator locator(engineState.get(), root.get());
    struct Case
    {
        std::string library, path;
        bool standard;
    };
    const std::vector<Case> cases{
        {"dreiding", StandardFolder() + "dreiding.lib", true},
        {"mine", temp.Path() + "/project/mine.lib", false},
        // Not installed anywhere: still the standard folder.
        {"uff", StandardFolder() + "uff.lib", true},
        // A path of the user's, with the project folder variable and without extension.
        {"%PROJECT_DOCUMENTS_FOLDER%\\sub\\other", temp.Path() + "/project\\sub\\other.lib", false},
        {temp.Path() + "/project/sub/other.lib", temp.Path() + "/project/sub/other.lib", false},
        {"", "", false},
    };
    for (const Case& c : cases) {
        Select(c.library);
        EXPECT_EQ(locator.GetSelectedPath(), c.path) << c.library;
        EXPECT_EQ(locator.IsSelectedZelmStandardLibrary(), c.standard) << c.library;
    }
}

TEST_F(LibraryTest, AddedForcefieldTakesItsNameOverTheStandardOne)
{
    CZelmForcefieldLocator locator(engineState.get(), root.get());
    const std::string saved = temp.Write("project/sub/marvik.lib");
    auto info = Make<FakeDocumentInfo>(saved);
    locator.AddForcefield(info.get());

    Select("marvik");
    EXPECT_EQ(locator.GetSelectedPath(), saved);
    EXPECT_FALSE(locator.IsSelectedZelmStandardLibrary());
    Select("dreiding");
    EXPECT_TRUE(locator.IsSelectedZelmStandardLibrary());

    auto unsaved = Make<FakeDocumentInfo>("");
    EXPECT_EQ(CodeOf([&] { locator.AddForcefield(unsaved.get()); }), E_INVALIDARG);
    EXPECT_EQ(CodeOf([&] { locator.AddForcefield(nullptr); }), E_POINTER);
}

TEST_F(LibraryTest, LocatorFollowsTheStateAndNeedsBothObjects)
{
    const CZelmForcefieldLocator locator(engineState.get(), root.get());
    EXPECT_EQ(CodeOf([&] { locator.GetSelectedPath(); }), E_INVALIDARG); // no "library" value
    Select("marvik");
    EXPECT_EQ(locator.GetSelectedPath(), StandardFolder() + "marvik.lib");
    EXPECT_EQ(CodeOf([&] { CZelmForcefieldLocator(nullptr, root.get()); }), E_POINTER);
    EXPECT_EQ(CodeOf([&] { CZelmForcefieldLocator(engineState.get(), nullptr); }), E_POINTER);
}
