#include "FakeRoot.h"

#include "common/ProjectPaths.h"
#include "setup/ZelmRunInfo.h"

#include <gtest/gtest.h>

namespace {

using QzTest::WriteFile;

// A record over a deck in `folder` whose note names the user library
// `relative` below the project folder.
std::unique_ptr<CZelmRunInfo> UserLibraryRecord(const TempFolder& folder, const std::string& name,
                                                const std::string& relative)
{
    WriteFile(folder.Slash() + "job.gin", "grad conv\nlibrary " + name + "\n");
    WriteFile(folder.Slash() + "selectedLibrary.libaux", name + "\nNotStandardLibrary\n" + relative + "\n");
    return std::make_unique<CZelmRunInfo>(FakeRoot::Make(folder.Path()), folder.Slash(), "job.gin",
                                          KelvComPtr<ISBScope>());
}

} // namespace

TEST(FileNames, ConstantsAreExact)
{
    const std::pair<std::string, const char*> names[] = {
        {CZelmRunInfo::InputFileExtension(), ".gin"},
        {CZelmRunInfo::OutputFileExtension(), ".gout"},
        {CZelmRunInfo::ArchiveFileExtension(), ".arc"},
        {CZelmRunInfo::BulkArchiveFileSuffix(), "_bulk.arc"},
        {CZelmRunInfo::ClusterArchiveFileSuffix(), "_clus.arc"},
        {CZelmRunInfo::DefectArchiveFileSuffix(), "_defe.arc"},
        {CZelmRunInfo::TrajectoryFileExtension(), ".trg"},
        {CZelmRunInfo::DumpFileExtension(), ".res"},
        {CZelmRunInfo::FrcFileExtension(), ".frc"},
        {CZelmRunInfo::PhononDosFileExtension(), ".dens"},
        {CZelmRunInfo::DispersionFileExtension(), ".disp"},
        {CZelmRunInfo::OscillatorFileExtension(), ".osc"},
        {CZelmRunInfo::PressureFileExtension(), ".pre"},
        {CZelmRunInfo::LibraryFileExtension(), ".lib"},
        {CZelmRunInfo::TrajectoryDocumentExtension(), ".qtd"},
        {CZelmRunInfo::SelectedLibraryFileName(), "selectedLibrary.libaux"},
        {CZelmRunInfo::StandardLibraryMarker(), "StandardLibrary"},
    };
    for (const auto& [value, expected] : names)
        EXPECT_EQ(value, expected);
}

TEST(PhononNonGamma, ChargeEquilibrationKeywordsForbidIt)
{
    struct Case
    {
        const char* content;
        bool expected;
    };
    const Case cases[] = {
        {"species\nNa core 1.0\n", true},
        {"keyword sm\n", false},
        {"  KEYWORD   QEq  \r\n", false},
        {"keyword\n", true},
        {"keyword conp sm\n", true},
        {"# keyword smx\nkeyword qeqx\n", true},
        {"\n\nspecies\n\nkeyword molq\nkeyword qeq\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        TempFolder folder("nongamma");
        WriteFile(folder.Slash() + "user.lib", c.content);
        EXPECT_EQ(UserLibraryRecord(folder, "user", "/user.lib")->CanDoPhononNonGamma(), c.expected);
    }
}

TEST(PhononNonGamma, DreidingNeedsNoFileAndMissingFileFails)
{
    TempFolder folder("nongamma-missing");
    EXPECT_TRUE(UserLibraryRecord(folder, "dreiding", "/nowhere.lib")->CanDoPhononNonGamma());
    try {
        UserLibraryRecord(folder, "other", "/nowhere.lib")->CanDoPhononNonGamma();
        ADD_FAILURE() << "a missing library was read";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        // The message names the library and where it was looked for.
        EXPECT_EQ(error.GetMessage().rfind("Problem reading library file '" + folder.Path() + "/nowhere.lib' (the "
                                           "library 'other')", 0), 0u) << error.GetMessage();
    }
}

// A saved deck's note may not make its job upload a library from anywhere
// on the machine.
TEST(LibraryNote, APathLeavingTheProjectIsRefusedNamingIt)
{
    TempFolder folder("note-outside");
    try {
        UserLibraryRecord(folder, "X", "/../../x/X.lib");
        ADD_FAILURE() << "a library outside the project was taken";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_ACCESSDENIED);
        EXPECT_EQ(error.GetMessage().find(folder.Path() + "/../../x/X.lib is not in the current project; the library "
                                          "is named by the deck's library note \"" + folder.Path() +
                                          "/selectedLibrary.libaux\""),
                  0u)
            << error.GetMessage();
    }
    // A standard library's name may not leave the standard library folder.
    WriteFile(folder.Slash() + "job.gin", "grad conv\nlibrary X\n");
    WriteFile(folder.Slash() + "selectedLibrary.libaux", "../../../x/X\nStandardLibrary\n");
    EXPECT_THROW(CZelmRunInfo(FakeRoot::Make(folder.Path()), folder.Slash(), "job.gin", KelvComPtr<ISBScope>()),
                 KelvResult);
    // A library of the project is taken.
    EXPECT_EQ(UserLibraryRecord(folder, "user", "/libs/../user.lib")->GetLibraryPath(),
              folder.Path() + "/libs/../user.lib");
}

TEST(ProjectPaths, ExpandAndCheckBelowProject)
{
    const auto root = FakeRoot::Make("/proj/Documents");
    EXPECT_EQ(ResolveProjectDocumentsPath(root), "/proj/Documents");
    EXPECT_EQ(CheckPathInProject(root, "/proj/Documents/a/b.gin"), "/a/b.gin");
    EXPECT_EQ(CheckPathInProject("/proj/Documents/lib.lib", root), "/lib.lib");
    try {
        CheckPathInProject(root, "/elsewhere/b.gin");
        ADD_FAILURE() << "a path outside the project was accepted";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_EQ(error.GetMessage(), "/elsewhere/b.gin is not in the current project");
    }
}

TEST(ProjectPaths, UniqueFileNames)
{
    FakeDiskManager* disk = nullptr;
    const auto root = FakeRoot::Make("/proj", &disk);
    EXPECT_EQ(MakeUniqueFilePath(root, "/d", "lib.lib"), "/d/lib.lib");
    disk->existing = {"/d/lib.lib"};
    EXPECT_EQ(MakeUniqueFilePath(root, "/d/", "lib_3.lib"), "/d/lib_2.lib");
    disk->existing.insert("/d/lib_2.lib");
    EXPECT_EQ(MakeUniqueFilePath(root, "/d", "lib.lib"), "/d/lib_3.lib");
    // Only a numeric suffix is dropped.
    EXPECT_EQ(MakeUniqueFilePath(root, "/d", "lib_a.lib"), "/d/lib_a.lib");
    EXPECT_EQ(MakeUniqueFilePath(root, "/d", "lib_.lib"), "/d/lib_.lib");
    // The consumer's order answers the name alone.
    EXPECT_EQ(MakeUniqueFilePath("/d", "lib.lib", root), "lib_3.lib");
    disk->failExists = E_ACCESSDENIED;
    EXPECT_THROW(MakeUniqueFilePath(root, "/d", "lib.lib"), KelvResult);
}

TEST(ProjectPaths, HiddenFileMustExist)
{
    TempFolder folder("hidden");
    FakeDiskManager* disk = nullptr;
    const auto root = FakeRoot::Make(folder.Path(), &disk);
    WriteFile(folder.Slash() + "x.kptaux", "x");
    MarkFileHidden(root, folder.Slash() + "x.kptaux");
    EXPECT_EQ(disk->hidden.count(folder.Slash() + "x.kptaux"), 1u);
    EXPECT_THROW(SetFileHidden(root, folder.Slash() + "absent"), KelvResult);
}
