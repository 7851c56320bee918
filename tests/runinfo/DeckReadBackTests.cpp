#include "FakeRoot.h"

#include "setup/RunInfoFromDeck.h"
#include "setup/ZelmRunInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using QzTest::ReadFile;
using QzTest::WriteFile;

namespace {

// The standard libraries' folder of a host whose core folder is "/core".
const std::string kStandardFolder = "/core/" + CZelmStandardLibraries::DefaultRelativeFolder();

ZelmDeck::DeckSettings Read(const std::string& text)
{
    std::istringstream deck(text);
    return ZelmDeck::ReadDeckSettings(deck);
}

} // namespace

TEST(DeckReadBack, HandWrittenDecksOfAllTasks)
{
    struct Case
    {
        const char* file;
        long task;
        const char* library;
    };
    const Case cases[] = {
        {"energy.gin", 1, "mylib"},   {"geomopt.gin", 2, "marvik"}, {"dynamics.gin", 3, "dreiding"},
        {"fit.gin", 4, "myfit"},      {"surface.gin", 5, "surflib"}, {"surface_nolibrary.gin", 5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempFolder folder(std::string("deck-") + c.file);
        fs::copy_file(std::string(QZ_TEST_DATA) + "/runinfo/" + c.file, folder.Slash() + c.file);
        FakeDiskManager* disk = nullptr;
        const auto root = FakeRoot::Make(folder.Path(), &disk);
        CZelmRunInfo info(root, folder.Slash(), c.file, KelvComPtr<ISBScope>());
        EXPECT_EQ(info.GetTask(), c.task);
        EXPECT_EQ(info.GetLibraryName(), c.library);
        EXPECT_TRUE(info.IsStandardLibrary());
        const std::string note = folder.Slash() + "selectedLibrary.libaux";
        if (*c.library) {
            EXPECT_EQ(info.GetLibraryPath(), kStandardFolder + c.library + ".lib");
            // The missing note is written as a standard note and hidden.
            EXPECT_EQ(ReadFile(note), std::string(c.library) + "\nStandardLibrary\n");
            EXPECT_EQ(disk->hidden.count(note), 1u);
        } else {
            // A deck without a library has no library and nothing to note.
            EXPECT_EQ(info.GetLibraryPath(), "");
            EXPECT_FALSE(fs::exists(note));
        }
        // Read back again, with the note of the first reading.
        CZelmRunInfo again(root, folder.Slash(), c.file, KelvComPtr<ISBScope>());
        EXPECT_EQ(again.GetTask(), c.task);
        EXPECT_EQ(again.GetLibraryName(), c.library);
        EXPECT_EQ(again.GetLibraryPath(), info.GetLibraryPath());
        EXPECT_TRUE(again.IsStandardLibrary());
    }
}

TEST(DeckReadBack, AStandardNoteWithoutANameNamesNoLibrary)
{
    // Such notes were written beside decks without a library line.
    const struct {
        const char* deck;
        const char* library;
    } cases[] = {
        {"grad conv\n", ""},
        {"grad conv\nlibrary mylib\n", "mylib"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deck);
        TempFolder folder("empty-note");
        WriteFile(folder.Slash() + "job.gin", c.deck);
        WriteFile(folder.Slash() + "selectedLibrary.libaux", "\nStandardLibrary\n");
        const auto root = FakeRoot::Make(folder.Path());
        CZelmRunInfo info(root, folder.Slash(), "job.gin", KelvComPtr<ISBScope>());
        EXPECT_EQ(info.GetLibraryName(), c.library);
        EXPECT_EQ(info.GetLibraryPath(), *c.library ? kStandardFolder + c.library + ".lib" : std::string());
        EXPECT_TRUE(info.IsStandardLibrary());
    }
}

TEST(DeckReadBack, FirstWordDecidesTaskByContainment)
{
    EXPECT_EQ(Read("md conv\nlibrary x\n").task, 3);
    EXPECT_EQ(Read("fit libff libd conp rela opti\nlibrary x\n").task, 4);
    EXPECT_EQ(Read("optimise conv\n").task, 2);
    EXPECT_EQ(Read("  GRAD conv\n").task, 1);
    // "md" is tested before "opti" within one word.
    EXPECT_EQ(Read("optimd\n").task, 3);
    // No task word at all: Energy.
    EXPECT_EQ(Read("single point\n").task, 1);
    EXPECT_EQ(Read("").task, 1);
}

TEST(DeckReadBack, LibraryLineVariants)
{
    EXPECT_EQ(Read("grad\nLIBRARY MyLib\n").libraryName, "mylib");
    EXPECT_EQ(Read("grad\nlibrary mylib.lib extra\n").libraryName, "mylib");
    EXPECT_EQ(Read("grad\nlib\n  other.lib  more\n").libraryName, "other");
    // A name on the first line does not count as the library line.
    EXPECT_EQ(Read("library first\ngrad\n").libraryName, "");
    // A library word with an empty next line names no library.
    const auto empty = Read("grad\nlibrary\n\nlibrary late\n");
    EXPECT_TRUE(empty.hasLibraryLine);
    EXPECT_EQ(empty.libraryName, "");
    // Only the first library line counts; words after it are not read.
    const auto first = Read("opti\nregion 1\nlibrary a\nscell\nlibrary b\n");
    EXPECT_EQ(first.libraryName, "a");
    EXPECT_EQ(first.task, 2);
}

TEST(DeckReadBack, SurfaceFlagsOnLibraryLineAndAtEndOfFile)
{
    EXPECT_EQ(Read("opti conv nomod qok\nregion 1\nlibrary lib svector\n").task, 5);
    EXPECT_EQ(Read("opti conv nomod qok\nregion 1\nsvector\n").task, 5);
    EXPECT_EQ(Read("opti conv nomod qok\nscell\n").task, 2);
    EXPECT_EQ(Read("opti conv nomod qok\nregion 1\n").task, 2);
    // Words on the first line are the keywords, not sections.
    EXPECT_EQ(Read("opti region scell\nlibrary x\n").task, 2);
}

TEST(DeckReadBack, CarriageReturnLineEnds)
{
    const auto settings = Read("md conv\r\nregion 1\r\nscell\r\nlibrary\r\nMyLib.lib\r\n");
    EXPECT_EQ(settings.task, 5);
    EXPECT_EQ(settings.libraryName, "mylib");
}

// A deck begins with its keyword line: a first word that is no keyword is
// refused (the deck named); a line is read to the engine's line length, as
// the engine reads it, so words past it count for nothing.
TEST(DeckReadBack, AFirstLineOfNoKeywordsIsRefusedAndLinesAreReadToTheEnginesLength)
{
    const std::string past(1100, 'x');
    const struct {
        const char* what;
        std::string deck;
        const char* refusal; // nullptr: read; then its task
        long task;
    } rows[] = {
        {"zeros", std::string(5000, '\0') + "\nopti\n", "its first word is '\\x00\\x00", 0},
        {"a number", "12 opti\n", "its first word is '12'", 0},
        {"binary", "\x89PNG\r\n", "its first word is '\\x89png'", 0},
        {"a comment first", "# made by hand\nopti\n", nullptr, 1},
        {"blanks before the keywords", "   opti conv\n", nullptr, 2},
        {"an empty first line", "\nopti\n", nullptr, 1},
        {"a keyword past the line length", "opti\nregion 1\n" + past + " scell\n", nullptr, 2},
        {"a keyword within the line length", "opti\nregion 1\nscell " + past + "\n", nullptr, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::istringstream deck(row.deck);
        if (row.refusal == nullptr) {
            EXPECT_EQ(ZelmDeck::ReadDeckSettings(deck, "/p/x.gin").task, row.task);
            continue;
        }
        try {
            ZelmDeck::ReadDeckSettings(deck, "/p/x.gin");
            ADD_FAILURE() << "read";
        } catch (const KelvResult& refused) {
            EXPECT_EQ(refused.GetMessage().rfind("The ZELM input file '/p/x.gin' is not a deck: it does not begin "
                                                 "with a line of keywords",
                                                 0),
                      0u)
                << refused.GetMessage();
            EXPECT_NE(refused.GetMessage().find(row.refusal), std::string::npos) << refused.GetMessage();
            EXPECT_LT(refused.GetMessage().size(), 400u);
        }
    }
}

TEST(DeckReadBack, UnopenableDeckNamesItsPath)
{
    TempFolder folder("missing-deck");
    const auto root = FakeRoot::Make(folder.Path());
    try {
        CZelmRunInfo info(root, folder.Slash(), "absent.gin", KelvComPtr<ISBScope>());
        ADD_FAILURE() << "a missing deck was accepted";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_EQ(error.GetMessage(), "Unable to open ZELM input file '" + folder.Slash() + "absent.gin'.");
    }
    // Nothing was written beside the missing deck.
    EXPECT_FALSE(fs::exists(folder.Slash() + "selectedLibrary.libaux"));
}

TEST(DeckReadBack, NoteOverridesDeck)
{
    TempFolder folder("note-overrides");
    fs::copy_file(std::string(QZ_TEST_DATA) + "/runinfo/energy.gin", folder.Slash() + "job.gin");
    const auto root = FakeRoot::Make(folder.Path());

    WriteFile(folder.Slash() + "selectedLibrary.libaux", "Custom\nNotStandardLibrary\n/libs/Custom.lib\n");
    CZelmRunInfo user(root, folder.Slash(), "job.gin", KelvComPtr<ISBScope>());
    EXPECT_EQ(user.GetTask(), 1);
    EXPECT_FALSE(user.IsStandardLibrary());
    EXPECT_EQ(user.GetLibraryName(), "Custom");
    EXPECT_EQ(user.GetLibraryPath(), folder.Path() + "/libs/Custom.lib");

    WriteFile(folder.Slash() + "selectedLibrary.libaux", "marvik\r\nStandardLibrary\r\n");
    CZelmRunInfo standard(root, folder.Slash(), "job.gin", KelvComPtr<ISBScope>());
    EXPECT_TRUE(standard.IsStandardLibrary());
    EXPECT_EQ(standard.GetLibraryName(), "marvik");
    EXPECT_EQ(standard.GetLibraryPath(), kStandardFolder + "marvik.lib");
}

TEST(LibraryNote, IncompleteNonStandardNotesFail)
{
    for (const char* text : {"", "Custom\n", "Custom\nNotStandardLibrary\n", "Custom\nNotStandardLibrary\n\n",
                             "Custom\nStandardLibrary \n"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(text)));
        std::istringstream note(text);
        try {
            ZelmDeck::ReadLibraryNote(note, "/p/selectedLibrary.libaux");
            ADD_FAILURE() << "an incomplete note was accepted";
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
            EXPECT_NE(error.GetMessage().find("/p/selectedLibrary.libaux"), std::string::npos);
        }
    }
}

TEST(LibraryNote, LinesAreKeptWhole)
{
    std::istringstream note("My Lib \nNotStandardLibrary\n/sub dir/My Lib .lib\n");
    const auto content = ZelmDeck::ReadLibraryNote(note, "note");
    EXPECT_EQ(content.name, "My Lib ");
    EXPECT_FALSE(content.standard);
    EXPECT_EQ(content.relativePath, "/sub dir/My Lib .lib");

    std::istringstream standard("Å-lib\nStandardLibrary");
    const auto latin = ZelmDeck::ReadLibraryNote(standard, "note");
    EXPECT_TRUE(latin.standard);
    EXPECT_EQ(latin.name, "Å-lib");
}

TEST(LibraryNote, StandardNoteReadsBack)
{
    std::istringstream note(ZelmDeck::StandardLibraryNoteText("uff"));
    const auto content = ZelmDeck::ReadLibraryNote(note, "note");
    EXPECT_EQ(content.name, "uff");
    EXPECT_TRUE(content.standard);
}
