#include "qorqm/ClaimName.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

using DiskUtilities::ClaimKind;
using QzTest::TempFolder;

namespace {

namespace fs = std::filesystem;

// What stands in the folder before a claim of "<name>".
enum class There { Nothing, File, Folder, DanglingLink };

void Put(const std::string& path, There what)
{
    switch (what) {
    case There::Nothing:
        break;
    case There::File:
        QzTest::WriteFile(path, "theirs\n");
        break;
    case There::Folder:
        fs::create_directory(path);
        break;
    case There::DanglingLink:
        fs::create_symlink("nowhere/at/all", path);
        break;
    }
}

TEST(ClaimName, EachKindTakesTheFirstNameNothingStandsOnAndNeverTakesOneOver)
{
    struct Case {
        const char* label;
        ClaimKind kind;
        const char* name;
        std::vector<std::pair<const char*, There>> before;
        const char* skipped; // answered as taken in another way ("" none)
        const char* claimed;
        unsigned number;
    };
    const Case cases[] = {
        {"free file", ClaimKind::File, "chart.qcd", {}, "", "chart.qcd", 1},
        {"free folder", ClaimKind::Folder, "rs ZELM Energy", {}, "", "rs ZELM Energy", 1},
        {"file taken", ClaimKind::File, "chart.qcd", {{"chart.qcd", There::File}}, "", "chart_2.qcd", 2},
        {"file taken by a folder", ClaimKind::File, "chart.qcd", {{"chart.qcd", There::Folder}}, "", "chart_2.qcd", 2},
        {"file taken by a dangling link", ClaimKind::File, "chart.qcd", {{"chart.qcd", There::DanglingLink}}, "",
         "chart_2.qcd", 2},
        {"folder taken by a file", ClaimKind::Folder, "rs", {{"rs", There::File}}, "", "rs_2", 2},
        {"folder taken by a dangling link", ClaimKind::Folder, "rs", {{"rs", There::DanglingLink}}, "", "rs_2", 2},
        {"a folder's number goes at the end", ClaimKind::Folder, "rs.v1",
         {{"rs.v1", There::Folder}, {"rs.v1_2", There::Folder}}, "", "rs.v1_3", 3},
        {"a file's number goes before its extension", ClaimKind::File, "fit.lib",
         {{"fit.lib", There::File}, {"fit_2.lib", There::File}, {"fit_3.lib", There::Folder}}, "", "fit_4.lib", 4},
        {"a gap is filled", ClaimKind::File, "fit.lib", {{"fit.lib", There::File}, {"fit_3.lib", There::File}}, "",
         "fit_2.lib", 2},
        {"a name taken otherwise is passed over", ClaimKind::File, "a.qcd", {{"a.qcd", There::File}}, "a_2.qcd",
         "a_3.qcd", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder dir("claim");
        for (const auto& entry : c.before)
            Put(dir.File(entry.first), entry.second);
        const std::string skipped = *c.skipped ? dir.File(c.skipped) : std::string();
        const DiskUtilities::ClaimedName claim = DiskUtilities::ClaimNewName(
            dir.File(c.name), c.kind, [&skipped](const std::string& p) { return p == skipped; });
        ASSERT_TRUE(claim) << DiskUtilities::ClaimFailure(claim);
        EXPECT_EQ(dir.File(c.claimed), claim.path);
        EXPECT_EQ(c.number, claim.number);
        EXPECT_EQ(0, claim.error);
        const fs::file_status made = fs::symlink_status(claim.path);
        EXPECT_TRUE(c.kind == ClaimKind::Folder ? fs::is_directory(made) : fs::is_regular_file(made));
        if (c.kind == ClaimKind::File) {
            EXPECT_EQ(0u, fs::file_size(claim.path));
        }
        // What stood there before is as it was.
        for (const auto& entry : c.before) {
            if (entry.second == There::File) {
                EXPECT_EQ("theirs\n", QzTest::ReadFile(dir.File(entry.first)));
            }
            if (entry.second == There::DanglingLink) {
                EXPECT_TRUE(fs::is_symlink(dir.File(entry.first)));
            }
        }
        if (!skipped.empty()) {
            EXPECT_FALSE(fs::exists(skipped));
        }
    }
}

TEST(ClaimName, OnlyATakenNameMovesOnAndTheTriesAreBounded)
{
    TempFolder dir("claim-fail");
    // The folder above is missing: the claim ends at once with the reason.
    DiskUtilities::ClaimedName claim = DiskUtilities::ClaimNewName(dir.File("missing/rs"), ClaimKind::Folder);
    EXPECT_FALSE(claim);
    EXPECT_EQ(ENOENT, claim.error);
    EXPECT_EQ(0u, claim.number);
    EXPECT_FALSE(DiskUtilities::ClaimFailure(claim).empty());
    claim = DiskUtilities::ClaimNewName(dir.File("missing/a.qcd"), ClaimKind::File);
    EXPECT_EQ(ENOENT, claim.error);
    // A file in the way of the folder above.
    QzTest::WriteFile(dir.File("plain"), "x");
    EXPECT_EQ(ENOTDIR, DiskUtilities::ClaimNewName(dir.File("plain/rs"), ClaimKind::Folder).error);

    // Every name of a short series taken: nothing is made beyond it.
    for (const char* name : {"rs", "rs_2", "rs_3"})
        fs::create_directory(dir.File(name));
    claim = DiskUtilities::ClaimNewName(dir.File("rs"), ClaimKind::Folder, {}, 3);
    EXPECT_FALSE(claim);
    EXPECT_EQ(EEXIST, claim.error);
    EXPECT_FALSE(fs::exists(dir.File("rs_4")));
    EXPECT_EQ(dir.File("rs_4"), DiskUtilities::ClaimNewName(dir.File("rs"), ClaimKind::Folder, {}, 4).path);
}

} // namespace
