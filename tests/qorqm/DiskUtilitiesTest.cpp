#include "qorqm/DiskUtilities.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

using QzTest::TempFolder;

namespace {

std::string Backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

TEST(DiskUtilities, FileExistsOnlyForFiles) {
    TempFolder dir;
    const std::string file = dir.Write("seed.gout", "x");
    std::filesystem::create_directory(dir.Path() + "/seed.arc");

    EXPECT_TRUE(DiskUtilities::FileExists(file));
    EXPECT_TRUE(DiskUtilities::FileExists(Backslashed(file)));
    EXPECT_TRUE(DiskUtilities::FileExists(dir.Write("empty.res")));  // empty file exists
    EXPECT_FALSE(DiskUtilities::FileExists(dir.Path() + "/seed.arc"));  // a folder
    EXPECT_FALSE(DiskUtilities::FileExists(dir.Path()));
    EXPECT_FALSE(DiskUtilities::FileExists(dir.Path() + "/missing.gout"));
    EXPECT_FALSE(DiskUtilities::FileExists(""));
}

TEST(DiskUtilities, MatchesPatternWildcards) {
    struct Case {
        std::string name, pattern;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"a.gout", "*.gout", true},
        {"a.GOUT", "*.gout", true},
        {"a.gout", "*.GOUT", true},
        {".gout", "*.gout", true},               // "*" may be empty
        {"a.gou", "*.gout", false},
        {"a.gout.bak", "*.gout", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abbc", "a?c", false},
        {"", "*", true},
        {"", "", true},
        {"a", "", false},
        {"", "?", false},
        {"aaa", "*a*a*a*", true},
        {"aa", "*a*a*a*", false},
        {"abcbcd", "a*bcd", true},               // needs backtracking past the first "bc"
        {"x.tar.gz", "*.gz", true},
        {"seed_1.res", "seed_?.res", true},
        {"seed_12.res", "seed_?.res", false},
        {std::string(40, 'a') + "b", "*a*a*a*a*a*a*a*a*a*a*a*c", false},  // must not blow up
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DiskUtilities::MatchesPattern(c.name, c.pattern), c.matches)
            << "\"" << c.name << "\" against \"" << c.pattern << "\"";
    }
}

class FolderListing : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.gout", "a.gout", "C.GOUT", "a.arc", "a.gout.bak", "x1.res",
                                 "x22.res", "notes"}) {
            dir.Write(name, "data");
        }
        std::filesystem::create_directory(dir.Path() + "/sub.gout");  // folders are not listed
    }
    std::string In(const std::string& name) const { return dir.Path() + "/" + name; }

    TempFolder dir;
};

TEST_F(FolderListing, ListsMatchingFilesInNameOrderWithFullPaths) {
    std::vector<std::string> items;
    EXPECT_TRUE(DiskUtilities::AddItemsFromFolder(dir.Path(), "*.gout", items));
    EXPECT_EQ(items, (std::vector<std::string>{In("C.GOUT"), In("a.gout"), In("b.gout")}));

    items.clear();
    EXPECT_TRUE(DiskUtilities::AddItemsFromFolder(dir.Path(), "x?.res", items));
    EXPECT_EQ(items, (std::vector<std::string>{In("x1.res")}));

    items.clear();
    EXPECT_TRUE(DiskUtilities::AddItemsFromFolder(dir.Path(), "*", items));
    EXPECT_EQ(items.size(), 8u);
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));
}

TEST_F(FolderListing, AppendsAfterExistingItemsOncePerPattern) {
    // Model files are gathered with two patterns in a row: the first
    // pattern's files come first, whatever their names.
    dir.Write("z.qms");
    dir.Write("m.qsd");
    std::vector<std::string> items = {"/deck.gin"};
    DiskUtilities::AddItemsFromFolder(dir.Path(), "*.qms", items);
    DiskUtilities::AddItemsFromFolder(dir.Path(), "*.qsd", items);
    EXPECT_EQ(items, (std::vector<std::string>{"/deck.gin", In("z.qms"), In("m.qsd")}));
}

TEST_F(FolderListing, AcceptsBackslashesAndTrailingSeparators) {
    for (const std::string& folder :
         {dir.Path() + "/", Backslashed(dir.Path()), Backslashed(dir.Path()) + "\\"}) {
        std::vector<std::string> items;
        EXPECT_TRUE(DiskUtilities::AddItemsFromFolder(folder, "*.arc", items)) << folder;
        EXPECT_EQ(items, (std::vector<std::string>{In("a.arc")})) << folder;
    }
}

TEST_F(FolderListing, NoMatchOrMissingFolderAddsNothing) {
    std::vector<std::string> items = {"kept"};
    EXPECT_TRUE(DiskUtilities::AddItemsFromFolder(dir.Path(), "*.qms", items));
    EXPECT_FALSE(DiskUtilities::AddItemsFromFolder(dir.Path() + "/missing", "*", items));
    EXPECT_FALSE(DiskUtilities::AddItemsFromFolder(In("a.arc"), "*", items));  // a file, not a folder
    EXPECT_EQ(items, (std::vector<std::string>{"kept"}));
}

TEST_F(FolderListing, EmptyFolderMeansCurrentFolderAndGivesBareNames) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    std::vector<std::string> items;
    const bool listed = DiskUtilities::AddItemsFromFolder("", "*.gout", items);
    std::filesystem::current_path(previous);
    EXPECT_TRUE(listed);
    EXPECT_EQ(items, (std::vector<std::string>{"C.GOUT", "a.gout", "b.gout"}));
}

}  // namespace
