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
        return failure == "Unable to write file: " + path ? 0 : 2;
    });
    EXPECT_EQ(code, 0) << "1: reported as written; 2: another message";
    EXPECT_EQ(QzTest::ReadFile(path), "old deck\n");
    EXPECT_EQ(Files(), std::vector<std::string>{"rocksalt.gin"});
}
