// The files a deck names for the engine are plain names in its own folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/TempFolder.h"
#include "kelv/KelvResult.h"
#include "setup/DeckFileNames.h"

namespace {

namespace fs = std::filesystem;

TEST(DeckFileNames, OnlyPlainNamesInTheDecksFolderPass)
{
    const struct {
        const char* text;
        const char* keyword;  // "" passes
        const char* name;
    } cases[] = {
        {"output trajectory rocksalt.trg\n", "", ""},
        {"output movie arc rocksalt\ndump rocksalt.res\nlibrary rocksalt\n", "", ""},
        {"dump every 5 fit.res\n", "", ""},
        {"output trajectory ../../../outside/pwn.trg\n", "output", "../../../outside/pwn.trg"},
        {"output arc /tmp/x\n", "output", "/tmp/x"},
        {"output phonon sub\\x\n", "output", "sub\\x"},
        {"dump every 1 ..\n", "dump", ".."},
        {"dump .\n", "dump", "."},
        {"library ../lib/halides.lib\n", "library", "../lib/halides.lib"},
        {"library two words\n", "library", "two words"},
        {"  output   pressure   a/b.pre   # a comment\n", "output", "a/b.pre"},
        {"output arc x # ../not/a/name\n", "output", "../not/a/name"},  // no comment hides a name
        {"title\noutput trajectory ../a/title/line\nend\noutput arc ok\n", "", ""},
        {"observables\ndump ../x\nend\n", "", ""},
        {"title\nend\ndump ../after.res\n", "dump", "../after.res"},
        {"output\noutput arc\n", "", ""},  // no file named
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ZelmDeckFiles::Named named = ZelmDeckFiles::FirstNotPlain(c.text);
        EXPECT_EQ(c.keyword, named.keyword);
        EXPECT_EQ(c.name, named.name);
    }
}

// Every deck of the examples and the test data passes as it is, read from
// its file as `start` reads it.
TEST(DeckFileNames, EveryShippedDeckPasses)
{
    int decks = 0;
    for (const char* top : {"/", "/../../examples"}) {
        for (const auto& entry : fs::recursive_directory_iterator(std::string(QZ_TEST_DATA) + top)) {
            if (entry.path().extension() != ".gin" || !entry.is_regular_file())
                continue;
            SCOPED_TRACE(entry.path().string());
            EXPECT_NO_THROW(ZelmDeckFiles::RequirePlainFileNames(entry.path().string()));
            ++decks;
        }
    }
    EXPECT_GT(decks, 10);
    // And a deck naming a file outside is refused, by the deck's name.
    QzTest::TempFolder folder{"deck-names"};
    const std::string deck = folder.Write("pwn.gin", "opti conp\noutput trajectory ../pwn.trg\n");
    try {
        ZelmDeckFiles::RequirePlainFileNames(deck);
        ADD_FAILURE() << "not refused";
    } catch (const KelvResult& refused) {
        EXPECT_NE(refused.GetMessage().find("pwn.gin"), std::string::npos) << refused.GetMessage();
        EXPECT_NE(refused.GetMessage().find("\"../pwn.trg\""), std::string::npos) << refused.GetMessage();
    }
}

}  // namespace
