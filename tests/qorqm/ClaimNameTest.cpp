#include "qorqm/ClaimName.h"

#include "com/regularfile.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <cstdlib>
#include <iostream>
#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

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

TEST(ClaimName, EachKindTakesTheNumberAboveTheHighestTakenAndNeverTakesOneOver)
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
        {"a gap stays: the claim goes above the highest", ClaimKind::File, "fit.lib",
         {{"fit.lib", There::File}, {"fit_3.lib", There::File}}, "", "fit_4.lib", 4},
        {"the name itself free, a number taken", ClaimKind::Folder, "rs", {{"rs_7", There::Folder}}, "", "rs", 1},
        {"far beyond ten thousand", ClaimKind::Folder, "rs", {{"rs", There::Folder}, {"rs_10000", There::Folder}}, "",
         "rs_10001", 10001},
        {"look-alikes are no numbers of the series", ClaimKind::File, "a.qcd",
         {{"a.qcd", There::File}, {"a_09.qcd", There::File}, {"a_9x.qcd", There::File}, {"a_9.qcd.bak", There::File},
          {"a_99.txt", There::File}, {"b_99.qcd", There::File}, {"a_1.qcd", There::File},
          {"a_99999999999.qcd", There::File}},
         "", "a_2.qcd", 2},
        {"a folder's number is its name's end", ClaimKind::Folder, "rs.v1", {{"rs_5.v1", There::Folder}}, "", "rs.v1",
         1},
        {"a name taken otherwise is passed over", ClaimKind::File, "a.qcd", {{"a.qcd", There::File}}, "a_2.qcd",
         "a_3.qcd", 3},
        {"the name itself taken otherwise", ClaimKind::File, "a.qcd", {}, "a.qcd", "a_2.qcd", 2},
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

    // A series at its last number: nothing is made beyond it, and the
    // message says the limit and a way out.
    for (const char* name : {"rs", "rs_3"})
        fs::create_directory(dir.File(name));
    claim = DiskUtilities::ClaimNewName(dir.File("rs"), ClaimKind::Folder, {}, 3);
    EXPECT_FALSE(claim);
    EXPECT_EQ(EEXIST, claim.error);
    EXPECT_FALSE(fs::exists(dir.File("rs_4")));
    EXPECT_EQ(dir.File("rs_4"), DiskUtilities::ClaimNewName(dir.File("rs"), ClaimKind::Folder, {}, 4).path);
    fs::create_directory(dir.File("rs_4294967295"));
    claim = DiskUtilities::ClaimNewName(dir.File("rs"), ClaimKind::Folder);
    EXPECT_FALSE(claim);
    EXPECT_EQ("the name's numbered forms reach _4294967295, the highest number a new name is given; move the "
              "highest-numbered ones elsewhere or choose another name",
              DiskUtilities::ClaimFailure(claim));
}

// Something made whole elsewhere takes its name by a rename that never
// replaces: whatever stands under a name of the series stays as it was.
TEST(ClaimName, AWholeFileOrFolderTakesTheNextNameAndReplacesNothing)
{
    struct Case {
        const char* label;
        ClaimKind kind;
        There before; // under "a.qcd" / "rs"
        const char* claimed;
    };
    const Case cases[] = {
        {"file, free", ClaimKind::File, There::Nothing, "a.qcd"},
        {"file over a file", ClaimKind::File, There::File, "a_2.qcd"},
        {"file over a dangling link", ClaimKind::File, There::DanglingLink, "a_2.qcd"},
        {"file over an empty folder", ClaimKind::File, There::Folder, "a_2.qcd"},
        {"folder over an empty folder", ClaimKind::Folder, There::Folder, "rs_2"},
        {"folder over a file", ClaimKind::Folder, There::File, "rs_2"},
        {"folder over a dangling link", ClaimKind::Folder, There::DanglingLink, "rs_2"},
    };
    // Each case with the system's rename and with the one made of a link
    // (or, for a folder, a claimed empty folder) where that is missing.
    const auto byLink = DiskUtilities::RenameNoReplaceByLink;
    for (const bool fallback : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (fallback ? ", by link" : ""));
            TempFolder dir("claim-for");
            const bool file = c.kind == ClaimKind::File;
            const std::string wanted = dir.File(file ? "a.qcd" : "rs");
            Put(wanted, c.before);
            const std::string made = dir.File("made");
            if (file) {
                QzTest::WriteFile(made, "whole\n");
            } else {
                fs::create_directory(made);
                QzTest::WriteFile(made + "/deck.gin", "whole\n");
            }
            DiskUtilities::ClaimedName claim;
            if (fallback) {
                const int first = byLink(made, wanted);
                claim.path = first == 0 ? wanted : (byLink(made, dir.File(c.claimed)) == 0 ? dir.File(c.claimed) : "");
                EXPECT_EQ(c.before == There::Nothing ? 0 : EEXIST, first);
            } else {
                claim = DiskUtilities::ClaimNameFor(made, wanted, c.kind);
            }
            ASSERT_TRUE(claim) << DiskUtilities::ClaimFailure(claim);
            EXPECT_EQ(dir.File(c.claimed), claim.path);
            EXPECT_FALSE(fs::exists(made));
            EXPECT_EQ("whole\n", QzTest::ReadFile(file ? claim.path : claim.path + "/deck.gin"));
            if (c.before == There::File) {
                EXPECT_EQ("theirs\n", QzTest::ReadFile(wanted));
            }
            if (c.before == There::DanglingLink) {
                EXPECT_TRUE(fs::is_symlink(wanted));
            }
            if (c.before == There::Folder) {
                EXPECT_TRUE(fs::is_empty(wanted));
            }
        }
    }
}

// A new file written whole, then named: a writer that fails or is killed
// half-way leaves nothing under any name of the series, and what a killed
// one left beside it goes with the next claim in that folder.
TEST(ClaimName, ANewFileIsNamedOnlyWhenWholeAndAKilledWritersTemporaryGoes)
{
    TempFolder dir("claim-new-file");
    const std::string wanted = dir.File("DOS.qcd");
    const auto write = [](const std::string& text) {
        return [text](const std::string& temporary) { QzTest::WriteFile(temporary, text); };
    };
    EXPECT_EQ(wanted, DiskUtilities::ClaimNewFile(wanted, write("one\n")).path);
    EXPECT_EQ(dir.File("DOS_2.qcd"), DiskUtilities::ClaimNewFile(wanted, write("two\n")).path);
    EXPECT_EQ("one\n", QzTest::ReadFile(wanted));
    EXPECT_EQ("two\n", QzTest::ReadFile(dir.File("DOS_2.qcd")));

    // A writer that throws: the exception goes on, nothing is left.
    EXPECT_THROW(DiskUtilities::ClaimNewFile(wanted,
                                             [](const std::string& temporary) {
                                                 QzTest::WriteFile(temporary, "half");
                                                 throw std::runtime_error("disk full");
                                             }),
                 std::runtime_error);
    EXPECT_EQ(2, std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));

    // A writer killed half-way through its file.
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        DiskUtilities::ClaimNewFile(wanted, [&](const std::string& temporary) {
            QzTest::WriteFile(temporary, "{\"half\": ");
            (void)!::write(ready[1], "x", 1);
            ::pause();
        });
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(1, ::read(ready[0], &byte, 1));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(fs::exists(dir.File("DOS_3.qcd")));
    EXPECT_EQ(3, std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()))
        << "the killed writer left its temporary file";
    EXPECT_EQ(dir.File("DOS_3.qcd"), DiskUtilities::ClaimNewFile(wanted, write("three\n")).path);
    EXPECT_EQ(3, std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()))
        << "the killed writer's temporary file stays";
}

// A new file of a held project is written and named in its folder as
// opened beneath the project: a folder that is a link leading out is
// refused, and one swapped for such a link while the file is written still
// gets the file, never the link's target; a file made elsewhere is named
// into such a folder never through the link either.
TEST(ClaimName, ANewFileOfAHeldProjectIsMadeBeneathItsFolderAsOpened)
{
    const struct {
        const char* what;
        bool linkBefore;  // "sub" leads out before the claim
        bool swapDuring;  // the writer swaps "sub" for a link leading out
        bool held;        // the project is held
        bool claimed;
    } rows[] = {
        {"a plain folder", false, false, true, true},
        {"a folder that is a link leading out", true, false, true, false},
        {"a folder swapped for a link while written", false, true, true, true},
        {"not held: the path is the user's choice", true, false, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder dir("claim-held");
        const std::string project = dir.File("project");
        const std::string outside = dir.File("outside");
        fs::create_directories(project + "/moved");
        fs::create_directories(outside);
        if (row.linkBefore)
            fs::create_directory_symlink(outside, project + "/sub");
        else
            fs::create_directory(project + "/sub");
        std::unique_ptr<RegularFile::Hold> hold;
        if (row.held)
            hold = std::make_unique<RegularFile::Hold>(project);
        const DiskUtilities::ClaimedName claim =
            DiskUtilities::ClaimNewFile(project + "/sub/DOS.qcd", [&](const std::string& temporary) {
                if (row.swapDuring) {
                    fs::rename(project + "/sub", project + "/moved/sub");
                    fs::create_directory_symlink(outside, project + "/sub");
                }
                QzTest::WriteFile(temporary, "whole\n");
            });
        EXPECT_EQ(static_cast<bool>(claim), row.claimed) << DiskUtilities::ClaimFailure(claim);
        // A whole file made elsewhere takes its name there the same way: in
        // a held project never through the link "sub" is now.
        const std::string made = dir.File("made.qcd");
        QzTest::WriteFile(made, "made\n");
        const bool leadsOut = row.linkBefore || row.swapDuring;
        EXPECT_EQ(static_cast<bool>(DiskUtilities::ClaimNameFor(made, project + "/sub/made.qcd", ClaimKind::File)),
                  !(row.held && leadsOut));
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), row.held ? 0 : 2);
        if (row.claimed) {
            EXPECT_EQ(QzTest::ReadFile(project + (row.swapDuring ? "/moved/sub/DOS.qcd" : "/sub/DOS.qcd")), "whole\n");
        }
    }
}

// Asked first, a claim answers as it then goes, and the asking makes and
// removes nothing: a plain folder takes the file, a folder beyond a link
// leading out of a held project, one that is not there, a file in a
// folder's place and a folder that takes no new file (immutable) refuse it
// with the claim's own reason.
TEST(ClaimName, AClaimAskedFirstAnswersAsItGoes)
{
    const struct {
        const char* what;
        const char* folder;  // beneath the project
        bool held;
        int error;           // the reason of a refusal, 0 none
    } rows[] = {
        {"a plain folder", "sub", true, 0},
        {"a link leading out", "out", true, EXDEV},
        {"a link leading out, not held", "out", false, 0},
        {"no folder", "missing", true, ENOENT},
        {"a file in the folder's place", "file", true, ENOTDIR},
        {"an immutable folder", "frozen", true, EPERM},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempFolder dir("claim-asked");
        const std::string project = dir.File("project");
        fs::create_directories(project + "/sub");
        fs::create_directories(project + "/frozen");
        fs::create_directories(dir.File("outside"));
        fs::create_directory_symlink(dir.File("outside"), project + "/out");
        QzTest::WriteFile(project + "/file", "a file\n");
        const auto chattr = [&](const char* flag) {
            return std::system(("chattr " + std::string(flag) + " '" + project + "/frozen' 2>/dev/null").c_str()) == 0;
        };
        if (row.error == EPERM && !chattr("+i")) {
            std::cout << "[ skipped ] " << row.what << ": no immutable folder here (chattr +i)\n";
            continue;
        }
        std::unique_ptr<RegularFile::Hold> hold;
        if (row.held)
            hold = std::make_unique<RegularFile::Hold>(project);
        const std::string path = project + "/" + row.folder + "/DOS.qcd";
        const DiskUtilities::ClaimedName asked = DiskUtilities::AskNewFile(path);
        EXPECT_EQ(asked.error, row.error) << DiskUtilities::ClaimFailure(asked);
        EXPECT_EQ(static_cast<bool>(asked), row.error == 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << "asking made the file";
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("outside")), fs::directory_iterator()), 0);
        // The claim's reason: its own, or its writer's (which cannot open
        // the temporary file in a folder that takes none).
        std::string refused;
        try {
            refused = DiskUtilities::ClaimFailure(DiskUtilities::ClaimNewFile(path, [](const std::string& temporary) {
                std::ofstream file(temporary);
                if (!(file << "x\n"))
                    throw std::runtime_error(std::strerror(errno));
            }));
        } catch (const std::runtime_error& failure) {
            refused = failure.what();
        }
        EXPECT_EQ(refused, DiskUtilities::ClaimFailure(asked));
        if (row.error == EPERM)
            chattr("-i");
    }
}

// Claims at once from several threads: each gets a name of its own, each
// file whole under it.
TEST(ClaimName, ClaimsAtOnceEachTakeANameOfTheirOwn)
{
    TempFolder dir("claim-race");
    const std::string wanted = dir.File("rs.qcd");
    constexpr int Threads = 8;
    constexpr int Each = 25;
    std::vector<std::vector<std::string>> names(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < Each; ++i) {
                const std::string text = std::to_string(t) + "-" + std::to_string(i) + "\n";
                const DiskUtilities::ClaimedName claim = DiskUtilities::ClaimNewFile(
                    wanted, [&](const std::string& temporary) { QzTest::WriteFile(temporary, text); });
                names[t].push_back(claim && QzTest::ReadFile(claim.path) == text ? claim.path : std::string());
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::set<std::string> all;
    for (const auto& list : names)
        for (const std::string& name : list) {
            EXPECT_FALSE(name.empty());
            all.insert(name);
        }
    EXPECT_EQ(static_cast<std::size_t>(Threads * Each), all.size());
    EXPECT_EQ(Threads * Each, std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
}


// What a failed call made goes, and only that: claimed names whole, folders
// made on the way while empty; a kept call keeps everything.
TEST(ClaimName, AFailedCallsGuardUndoesOnlyWhatItMade)
{
    struct Case {
        const char* label;
        bool keep;
        const char* othersFile; // put in by another process after the call ("" none)
        std::vector<std::pair<const char*, bool>> after; // path, still there
    };
    const Case cases[] = {
        {"failed", false, "", {{"there", true}, {"there/new", false}, {"job", false}, {"job.qcd", false}}},
        {"kept", true, "", {{"there/new/deeper", true}, {"job/deck.gin", true}, {"job.qcd", true}}},
        {"another's file on the way", false, "there/new/theirs.txt",
         {{"there/new/theirs.txt", true}, {"there/new/deeper", false}, {"job", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder dir("made-on-disk");
        fs::create_directory(dir.File("there"));
        {
            DiskUtilities::MadeOnDisk made(DiskUtilities::ClaimNewName(dir.File("job"), ClaimKind::Folder).path);
            QzTest::WriteFile(dir.File("job/deck.gin"), "x");
            EXPECT_TRUE(made.MakeFolders(dir.File("there/new/deeper")));
            EXPECT_EQ(dir.File("job"), made.Path());
            made.Claimed(std::vector<std::string>{DiskUtilities::ClaimNewName(dir.File("job.qcd"), ClaimKind::File).path});
            if (*c.othersFile)
                QzTest::WriteFile(dir.File(c.othersFile), "theirs");
            if (c.keep)
                made.Keep();
        }
        for (const auto& entry : c.after)
            EXPECT_EQ(entry.second, fs::exists(dir.File(entry.first))) << entry.first;
    }
}

} // namespace
