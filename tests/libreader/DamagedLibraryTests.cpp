// Damaged libraries loaded into the editor, saved and loaded again: no line
// is lost, every line that cannot be read stays under its form line in its
// place, the interactions around it are read, and the editor tells of each
// kept line.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/TempFolder.h"
#include "common/TestForms.h"
#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmForcefieldEditor.h"

using QzTest::ReadFile;
using QzTest::TempFolder;

namespace {

// The form line "buck" is line 8; its block starts on line 9.
const char* const kHead = "species\nNa core 1.0\nNa shel -2.0\nO core 0.8\nO shel -2.8\nK core 1.0\n\nbuck\n";
const int kFirstBlockLine = 9;
const char* const kTail = "lennard 12 6\nNa core Na core 100.0 50.0 8.0\n";

const char* const kValidA = "Na core O shel 1001.0 0.3 0.0 10.0 1 0 1";
const char* const kValidB = "K core O shel 1002.0 0.25 0.0 12.0 0 1 0";
const char* const kUnknown = "Xx core O shel 1003.0 0.3 0.0 10.0";

enum Kind { Valid, Kept, Comment };
struct BlockLine {
    const char* text;
    Kind kind;
};
struct Case {
    const char* name;
    std::vector<BlockLine> block;
};

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The lines of the saved file between the "buck" form line and the next
// form line, each kept line as it stands and each interaction line as "V".
std::vector<std::string> SavedBlock(const std::string& saved, const Case& c)
{
    const std::vector<std::string> lines = SplitLines(saved);
    std::vector<std::string> block;
    bool inBlock = false;
    for (const std::string& line : lines) {
        if (StartsWith(line, "buck")) {
            inBlock = true;
            continue;
        }
        if (StartsWith(line, "lenn"))
            break;
        if (!inBlock)
            continue;
        bool kept = false;
        for (const BlockLine& original : c.block) {
            if (original.kind != Valid && line == original.text)
                kept = true;
        }
        block.push_back(kept ? line : "V");
    }
    return block;
}

std::vector<std::string> Warned(const CZelmForcefieldEditor& editor, bool withNumbers)
{
    std::vector<std::string> result;
    for (const CZelmLibUtils::Warning& warning : editor.GetLoadWarnings()) {
        EXPECT_FALSE(warning.reason.empty()) << warning.line;
        result.push_back((withNumbers ? std::to_string(warning.lineNumber) + ": " : std::string()) + warning.line);
    }
    return result;
}

std::size_t BuckInteractions(const CForcefield& forcefield)
{
    std::size_t count = 0;
    for (const auto& [formLine, lines] : forcefield.GetAllInteractions()) {
        if (StartsWith(formLine, "buck"))
            count += lines.size();
    }
    return count;
}

}  // namespace

TEST(DamagedLibrary, LoadSaveAndLoadAgainLosesNoLine)
{
    const Case cases[] = {
        {"clean", {{kValidA, Valid}, {kValidB, Valid}}},
        {"unknown species first", {{kUnknown, Kept}, {kValidA, Valid}, {kValidB, Valid}}},
        {"unknown species in the middle", {{kValidA, Valid}, {kUnknown, Kept}, {kValidB, Valid}}},
        {"unknown species last", {{kValidA, Valid}, {kValidB, Valid}, {kUnknown, Kept}}},
        {"unknown second atom", {{kValidA, Valid}, {"Na core Xx 1004.0 0.3 0.0 10.0", Kept}, {kValidB, Valid}}},
        {"short line", {{kValidA, Valid}, {"Na core O shel 1.0 2.0", Kept}, {kValidB, Valid}}},
        {"fit flag x", {{kValidA, Valid}, {"Na core O core 1005.0 0.3 0.0 10.0 1 x 0", Kept}, {kValidB, Valid}}},
        {"fit flag 2", {{kValidA, Valid}, {"Na core O core 1006.0 0.3 0.0 10.0 1 2 0", Kept}, {kValidB, Valid}}},
        {"comment", {{kValidA, Valid}, {"# fitted to the oxide", Comment}, {kValidB, Valid}}},
        // A word that is neither a species nor a form keyword, without atom
        // types after it, is the keyword of a form the reader does not know:
        // the lines after it are that form's, kept as they stand.
        {"unknown form keyword", {{kValidA, Valid}, {"zzz 12.0", Kept}, {kValidB, Kept}}},
        {"unknown form keyword first", {{"tersoff", Kept}, {kValidA, Kept}, {"# its comment", Comment}}},
        {"nothing readable", {{kUnknown, Kept}, {"# only kept lines", Comment}, {"Na core O shel 1.0", Kept}}},
        {"several", {{"# first", Comment}, {kUnknown, Kept}, {kValidA, Valid}, {"Na core", Kept},
                     {"Na core O core 1007.0 0.3 0.0 10.0 1 x 0", Kept}, {kValidB, Valid}, {"# last", Comment}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder files("damaged");
        std::string text = kHead;
        std::vector<std::string> expectedBlock;
        std::vector<std::string> expectedWarnings;
        std::vector<std::string> keptTexts;
        std::size_t valid = 0;
        int number = kFirstBlockLine;
        for (const BlockLine& line : c.block) {
            text += std::string(line.text) + "\n";
            expectedBlock.push_back(line.kind == Valid ? "V" : line.text);
            if (line.kind == Valid)
                ++valid;
            if (line.kind == Kept) {
                expectedWarnings.push_back(std::to_string(number) + ": " + line.text);
                keptTexts.push_back(line.text);
            }
            ++number;
        }
        text += kTail;

        CZelmForcefieldEditor editor;
        editor.Load(files.Write("damaged.lib", text));
        EXPECT_EQ(Warned(editor, true), expectedWarnings);
        EXPECT_EQ(BuckInteractions(editor.GetForcefield()), valid);
        EXPECT_EQ(editor.GetForcefield().GetAllInteractions().size(), valid ? 2u : 1u);

        const std::string firstPath = files.File("first.lib");
        editor.SaveAs(firstPath);
        const std::string first = ReadFile(firstPath);
        EXPECT_EQ(SavedBlock(first, c), expectedBlock) << first;

        CZelmForcefieldEditor again;
        again.Load(firstPath);
        EXPECT_EQ(Warned(again, false), keptTexts);
        EXPECT_EQ(BuckInteractions(again.GetForcefield()), valid);
        const std::string secondPath = files.File("second.lib");
        again.SaveAs(secondPath);
        EXPECT_EQ(ReadFile(secondPath), first);
    }
}

TEST(DamagedLibrary, TheEditorHoldsTheWarningsOfItsLastLoad)
{
    TempFolder files("warnings");
    CZelmForcefieldEditor editor;
    EXPECT_TRUE(editor.GetLoadWarnings().empty());

    const std::string damaged = files.Write("damaged.lib", std::string(kHead) + kUnknown + "\n" + kTail);
    editor.Load(damaged);
    ASSERT_EQ(editor.GetLoadWarnings().size(), 1u);
    const CZelmLibUtils::Warning& warning = editor.GetLoadWarnings().front();
    EXPECT_EQ(warning.lineNumber, kFirstBlockLine);
    EXPECT_EQ(warning.line, kUnknown);
    EXPECT_EQ(warning.reason, "Library contains undefined atom type: Xx");

    // A failed load keeps the forcefield, and so the warnings, it had.
    EXPECT_THROW(editor.Load(files.File("missing.lib")), KelvResult);
    EXPECT_EQ(editor.GetLoadWarnings().size(), 1u);

    editor.Load(files.Write("clean.lib", std::string(kHead) + kValidA + "\n"));
    EXPECT_TRUE(editor.GetLoadWarnings().empty());
}

// Kept lines that the reader would read otherwise once they are written
// back: a blank line that cut a glue interaction short, spline data that
// cannot be read, a polynomial without interactions.
TEST(DamagedLibrary, KeptLinesReadTheSameAfterASave)
{
    using namespace testforms;
    TempFolder files("stable");
    boost::shared_ptr<CServerDescription> server = MakeTestServer();
    const std::string original = files.Write(
        "original.lib",
        "species\nNa core 1.0\nK core 1.0\n\n"
        "srgl\n"
        "Na core Na core 4.0 0.0 6.0\n"
        "1.0 2.0 3.0 4.0 &\n"
        "\n"
        "5.0\n"
        "6.0 7.0 8.0 9.0 &\n"
        "10.0 11.0 12.0\n"
        "K core K core 4.0 0.0 6.0 1.0 2.0 3.0 4.0 5.0 6.0 7.0 8.0 9.0 10.0 11.0 12.0\n"
        "splin\n"
        "K core Na core 3.0\n"
        "1.0 2.0\n"
        "9.0 abc\n"
        "3.0 4.0\n"
        "poly\n"
        "4\n");

    CZelmForcefield first(original, *server);
    EXPECT_EQ(first.GetWarnings().size(), 9u);
    std::ostringstream firstText;
    first.WriteLibrary(firstText);
    for (const char* line : {"\nNa core Na core 4.0 0.0 6.0\n1.0 2.0 3.0 4.0 &\n\n5.0\n",
                             "\nK core Na core 3.0\n1.0 2.0\n9.0 abc\n3.0 4.0\n", "\npoly\n4\n"})
        EXPECT_NE(firstText.str().find(line), std::string::npos) << line << "\n" << firstText.str();

    const std::string written = files.Write("written.lib", firstText.str());
    CZelmForcefield second(written, *server);
    std::ostringstream secondText;
    second.WriteLibrary(secondText);
    EXPECT_EQ(secondText.str(), firstText.str());
    EXPECT_EQ(second.GetWarnings().size(), 9u);
    EXPECT_EQ(second.GetInteractionEntries().size(), 1u);
}
