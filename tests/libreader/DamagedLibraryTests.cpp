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
#include "forcefield/ZelmServerDescription.h"

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
        {"unknown form keyword and a name of no species", {{kValidA, Valid}, {"tersoff Xx 12.0", Kept}, {kValidB, Kept}}},
        {"hexadecimal value", {{kValidA, Valid}, {"Na core O shel 0x10 0.3 0.0 10.0", Kept}, {kValidB, Valid}}},
        {"value not a number", {{kValidA, Valid}, {"Na core O shel nan 0.3 0.0 10.0", Kept}, {kValidB, Valid}}},
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

// The lines between the species and the first form line: each but a
// comment is told; a word that is no species opens a form this reader does
// not know, whose lines follow it. All stay where they stood when saved.
TEST(DamagedLibrary, LinesBeforeTheFirstFormAreKeptWithWarnings)
{
    const struct {
        const char* what;
        const char* lines;     // after the species, before "buck"
        const char* warnings;  // the reasons' first words, one a line
        int keptForms;
    } cases[] = {
        {"keyword and words", "tersoff Na core\nNa core Cl core 1.0 2.0 3.0\n", "\"tersoff\"\nIt follows\n", 1},
        {"keyword and a number", "tersoff Xx 12.0\n", "\"tersoff\"\n", 1},
        {"keyword alone, then a comment", "bondorder0_bond\n# its block\n1.0 2.0\n", "\"bondorder0_bond\"\nIt follows\n", 1},
        {"an interaction line without a form", "Na core Cl core 1.0 2.0\n", "No form\n", 0},
        {"a comment only", "# notes\n", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder files("before-forms");
        const std::string head = "species\nNa core 1.0\nCl core -1.0\n\n";
        const std::string block = "buck\nNa core Cl core 1000.0 0.3 0.0 0.0 10.0\n";
        CZelmForcefieldEditor editor;
        const CForcefield& forcefield = editor.Load(files.Write("lib.lib", head + c.lines + block));
        // Each reason as far as its first letters tell it apart.
        std::string reasons;
        for (const CZelmLibUtils::Warning& warning : editor.GetLoadWarnings()) {
            const std::string& reason = warning.reason;
            reasons += (reason[0] == '"' ? reason.substr(0, reason.find(' ')) : reason.substr(0, reason.find(' ', 3))) + "\n";
        }
        EXPECT_EQ(reasons, c.warnings);
        EXPECT_EQ(static_cast<const CZelmForcefield&>(forcefield).GetKeptFormCount(), c.keptForms);
        EXPECT_EQ(forcefield.GetAtomTypeNames().size(), 2u);
        EXPECT_EQ(BuckInteractions(forcefield), 1u);
        editor.SaveAs(files.File("saved.lib"));
        EXPECT_NE(ReadFile(files.File("saved.lib")).find(c.lines), std::string::npos) << ReadFile(files.File("saved.lib"));
    }
}

// A line longer than the engine reads is a warning naming the word that is
// cut, comments too; only data lines are the cut data lines.
TEST(DamagedLibrary, LongLinesAreWarnedOfAndDataLinesCounted)
{
    const std::string pad(1020, ' ');
    const struct {
        const char* what;
        std::string line;
        const char* word;  // named; empty: no warning
        bool data;
    } cases[] = {
        {"species charge", "Cl core" + pad + "-1.25", "-1.25", true},
        {"interaction rmax", "Na core Cl core 1.0 0.3 0.0 0.0" + pad + "12.5", "12.5", true},
        {"comment", "#" + pad + "remark", "remark", false},
        {"blanks only", "Cl core -1.0" + pad, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder files("long-lines");
        const bool species = c.line.rfind("Cl", 0) == 0;
        const std::string text = "species\nNa core 1.0\n" + (species ? c.line + "\n" : std::string("Cl core -1.0\n")) +
                                 "buck\n" + (species ? std::string() : c.line + "\n") +
                                 "Na core Na core 1.0 0.3 0.0 0.0 9.0\n";
        const int lineNumber = species ? 3 : 5;
        const CZelmServerDescription server;
        const CZelmLibUtils whole(false, files.Write("lib.lib", text), server);
        const CZelmLibUtils speciesOnly(false, files.File("lib.lib"));
        std::vector<std::string> warned;
        for (const CZelmLibUtils::Warning& warning : whole.GetWarnings())
            if (warning.reason.find("columns the engine reads") != std::string::npos)
                warned.push_back(std::to_string(warning.lineNumber) + " " + warning.reason);
        if (*c.word == '\0') {
            EXPECT_TRUE(warned.empty());
        } else {
            ASSERT_EQ(warned.size(), 1u);
            EXPECT_EQ(warned[0].substr(0, warned[0].find(' ')), std::to_string(lineNumber));
            EXPECT_NE(warned[0].find(std::string("before the word \"") + c.word + "\""), std::string::npos) << warned[0];
        }
        EXPECT_EQ(whole.GetCutDataLines().size(), c.data ? 1u : 0u);
        EXPECT_EQ(speciesOnly.GetCutDataLines().size(), c.data ? 1u : 0u);
        EXPECT_EQ(speciesOnly.GetWarnings().size(), 0u) << "a species reading warns of species lines only";
    }
}
