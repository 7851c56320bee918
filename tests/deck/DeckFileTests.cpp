// The deck and its side files as files: what a write that fails leaves, and
// under which names a job's files go.
#include "DeckHost.h"

#include <algorithm>
#include <filesystem>

using namespace DeckTest;

namespace {

class DeckFiles : public DeckHost
{
protected:
    void SetUp() override
    {
        DeckHost::SetUp();
        UseProjectLibrary("rocksalt", RockSaltLibrary());
        Set("ZelmLogic", "Task", int32_t(2));
        document = AddDocument("rocksalt", *RockSalt());
        out = folder.File("out");
        std::filesystem::create_directories(out);
    }

    // The file names in the output folder, sorted.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(out))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    KelvComPtr<ISBDocumentRoot> document;
    std::string out;
};

} // namespace

// The disk fills up while the deck is written: the request fails, and the
// deck saved before stays whole, with nothing half-written beside it.
TEST_F(DeckFiles, ADeckThatCannotBeWrittenFailsAndLeavesTheOldOne)
{
    QzTest::WriteFile(out + "/rocksalt.gin", "old deck\n");
    const std::string path = out + "/rocksalt.gin";
    const int code = ExitCodeUnderFileSizeLimit(64, [&] {
        HRESULT hr = S_OK;
        Save(Contents(document), out, &hr);
        if (hr != E_UNEXPECTED)
            return 1;
        return failure == "Unable to write file: " + path + ": writing its new contents failed (File too large)" ? 0 : 2;
    });
    EXPECT_EQ(code, 0) << "1: reported as written; 2: another message";
    EXPECT_EQ(QzTest::ReadFile(path), "old deck\n");
    EXPECT_EQ(Files(), std::vector<std::string>{"rocksalt.gin"});
}

// A job name that holds a path would put the deck outside the chosen folder:
// it is refused before anything is written.
TEST_F(DeckFiles, AJobNameThatHoldsAPathIsRefused)
{
    Set("QMJobTemplate", "AutomateJobPrefix", false);
    const std::string nested = out + "/inner";
    std::filesystem::create_directories(nested + "/a");
    for (const char* name : {"../escaped", "a/b", "a\\b", ".."}) {
        Set("QMJobTemplate", "JobPrefix", name);
        HRESULT hr = S_OK;
        EXPECT_EQ(Save(Contents(document), nested, &hr), "") << name;
        EXPECT_EQ(hr, E_INVALIDARG) << name;
        // The name is quoted as a message quotes a setting: a backslash doubled.
        const std::string shown = std::string(name) == "a\\b" ? "a\\\\b" : name;
        EXPECT_EQ(failure, "The job name \"" + shown +
                               "\" cannot name the job's files: it must not hold \"/\" or \"\\\" nor be \".\" or \"..\".");
    }
    EXPECT_EQ(Files(), std::vector<std::string>{"inner"});
    EXPECT_TRUE(std::filesystem::is_empty(nested + "/a"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(nested), std::filesystem::directory_iterator()), 1);
}

// The deck, its output lines and its name share one base, one word that the
// engine's keyword lines and command line carry.
TEST_F(DeckFiles, TheDeckAndItsOutputLinesShareOneSafeBase)
{
    const auto spaced = AddDocument("rock salt", *RockSalt());
    Set("QMJobTemplate", "AutomateJobPrefix", false);
    const struct {
        const char* prefix;
        const char* base;
    } cases[] = {{"", "rock_salt"}, {"my(job)", "my_job_"}, {"run-7.b", "run-7.b"}};
    for (const auto& c : cases) {
        Set("QMJobTemplate", "JobPrefix", c.prefix);
        const std::string base = c.base;
        EXPECT_EQ(Save(Contents(spaced), out), base + ".gin") << c.prefix;
        const std::string deck = QzTest::ReadFile(out + "/" + base + ".gin");
        EXPECT_NE(deck.find("\noutput movie arc " + base + "\n"), std::string::npos) << deck;
    }
}
