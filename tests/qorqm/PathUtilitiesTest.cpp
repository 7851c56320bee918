#include "qorqm/PathUtilities.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace PathUtilities;

struct SplitCase {
    std::string path;
    std::string fileName;
    std::string folder;
    std::string extension;
    std::string withoutExtension;
};

TEST(PathUtilities, SplitsPathsWithEitherSeparator) {
    const std::vector<SplitCase> cases = {
        {"C:\\work\\run\\seed.gout", "seed.gout", "C:\\work\\run\\", ".gout", "C:\\work\\run\\seed"},
        {"/work/run/seed.gout", "seed.gout", "/work/run/", ".gout", "/work/run/seed"},
        {"mixed\\dir/seed.gin", "seed.gin", "mixed\\dir/", ".gin", "mixed\\dir/seed"},
        {"mixed/dir\\seed.gin", "seed.gin", "mixed/dir\\", ".gin", "mixed/dir\\seed"},
        {"/a.b/c", "c", "/a.b/", "", "/a.b/c"},            // dot in the folder only
        {"C:\\a.b\\c", "c", "C:\\a.b\\", "", "C:\\a.b\\c"},
        {"/a/b.d/", "", "/a/b.d/", "", "/a/b.d/"},          // trailing separator: no name
        {"C:\\a\\", "", "C:\\a\\", "", "C:\\a\\"},
        {"", "", "", "", ""},
        {"seed.tar.gz", "seed.tar.gz", "", ".gz", "seed.tar"},
        {"noext", "noext", "", "", "noext"},
        {"/dir/.gin", ".gin", "/dir/", ".gin", "/dir/"},
        {"/dir/..", "..", "/dir/", "", "/dir/.."},
        {"/dir/name.", "name.", "/dir/", ".", "/dir/name"},
        {"\\\\server\\share\\f.res", "f.res", "\\\\server\\share\\", ".res", "\\\\server\\share\\f"},
        {"/eV \xC5/x.lib", "x.lib", "/eV \xC5/", ".lib", "/eV \xC5/x"},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE("path \"" + c.path + "\"");
        EXPECT_EQ(FileNameFromPath(c.path), c.fileName);
        EXPECT_EQ(FolderNameFromPath(c.path), c.folder);
        EXPECT_EQ(ExtensionFromPath(c.path), c.extension);
        EXPECT_EQ(ExtensionRemoved(c.path), c.withoutExtension);
        // Folder and name always put the path back together.
        std::string folder = "stale", name = "stale";
        FolderAndFileNameFromPath(c.path, folder, name);
        EXPECT_EQ(folder, c.folder);
        EXPECT_EQ(name, c.fileName);
        EXPECT_EQ(folder + name, c.path);
    }
}

TEST(PathUtilities, FolderAndFileNameMayOverwriteTheirInput) {
    std::string path = "/lib/dir/my.lib";
    std::string name;
    FolderAndFileNameFromPath(path, path, name);
    EXPECT_EQ(path, "/lib/dir/");
    EXPECT_EQ(name, "my.lib");

    std::string other = "C:\\x\\y.gin";
    std::string folder;
    FolderAndFileNameFromPath(other, folder, other);
    EXPECT_EQ(folder, "C:\\x\\");
    EXPECT_EQ(other, "y.gin");
}

TEST(PathUtilities, ExtensionReplacedChangesOnlyTheLastExtensionOfTheName) {
    struct Case {
        std::string path, extension, expected;
    };
    const std::vector<Case> cases = {
        {"/r/seed.gout", ".osc", "/r/seed.osc"},
        {"C:\\r\\seed.gin", ".kptaux", "C:\\r\\seed.kptaux"},
        {"/r.d/seed", ".disp", "/r.d/seed.disp"},          // the folder's dot is not an extension
        {"C:\\r.d\\seed", ".disp", "C:\\r.d\\seed.disp"},
        {"a.b.c", ".x", "a.b.x"},
        {"seed.gout", "osc", "seed.osc"},                  // leading dot supplied
        {"seed.gout", "", "seed"},                         // empty extension removes
        {"", ".disp", ".disp"},                            // empty selection stays harmless
        {"/r/", ".arc", "/r/.arc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtensionReplaced(c.path, c.extension), c.expected)
            << c.path << " with " << c.extension;
    }
}

TEST(PathUtilities, MatchesExtensionIgnoresAsciiCaseOnly) {
    struct Case {
        std::string path, extension;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"x.arc", ".arc", true},
        {"X.ARC", ".arc", true},
        {"x.Arc", "ARC", true},
        {"/r/x_bulk.arc", ".arc", true},
        {"C:\\r\\deck.gin", ".gin", true},
        {"a.tar.gz", ".tar.gz", true},
        {"xarc", ".arc", false},                // the dot belongs to the extension
        {"x.arcx", ".arc", false},
        {"x.arc.bak", ".arc", false},
        {"/d.gin/file", ".gin", false},         // a folder's extension does not count
        {"C:\\d.gin\\", ".gin", false},
        {"a.gin", ".gout", false},
        {"", ".gin", false},
        {"x.gin", "", false},
        {"x", "", true},
        {"/d.e/x", "", true},
        {"x.\xC5", ".\xE5", false},             // Latin-1 letters are not folded
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesExtension(c.path, c.extension), c.matches)
            << "\"" << c.path << "\" against \"" << c.extension << "\"";
    }
}

TEST(PathUtilities, JoinPutsExactlyOneSeparatorBetweenParts) {
    EXPECT_EQ(Separator(), "/");
    struct Case {
        std::string folder, name, expected;
    };
    const std::vector<Case> cases = {
        {"/a", "b.gin", "/a/b.gin"},
        {"/a/", "b.gin", "/a/b.gin"},
        {"C:\\a\\", "b.gin", "C:\\a\\b.gin"},   // the folder's own separator is kept
        {"C:\\a", "b.gin", "C:\\a/b.gin"},
        {"/a/", "/b", "/a/b"},
        {"/a", "\\\\b", "/a/b"},
        {"", "b", "b"},
        {"/a", "", "/a"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Join(c.folder, c.name), c.expected) << c.folder << " + " << c.name;
    }
}

}  // namespace
