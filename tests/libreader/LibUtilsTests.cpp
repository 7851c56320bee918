// The library reader's rules, on hand-written libraries and a small server
// description of test forms (so that the rules are tested apart from the
// engine's real forms).
#include <algorithm>
#include <list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeAtoms.h"
#include "common/TempFolder.h"
#include "common/TestForms.h"

using QzTest::TempFolder;

using namespace testforms;

namespace {

const char* const kSpecies = "species\nNa core 1.0\nNa shel -2.0\nO core 0.8\nO shel -2.8\nK core 1.0\n\n";

class LibraryReader : public ::testing::Test
{
protected:
    std::unique_ptr<CZelmLibUtils> Load(const std::string& text)
    {
        const std::string path = m_files.Write("test" + std::to_string(m_count++) + ".lib", text);
        return std::make_unique<CZelmLibUtils>(false, path, *m_server);
    }

    TempFolder m_files;
    boost::shared_ptr<CServerDescription> m_server = MakeTestServer();
    int m_count = 0;
};

// Each kept line of a form block as "form | line" (the form line without
// its line breaks, "/" between its lines); "form |" for a block that keeps
// its form line alone.
std::vector<std::string> Blocks(const CZelmLibUtils& library)
{
    std::vector<std::string> result;
    for (const CZelmLibUtils::FormBlock& block : library.GetFormBlocks()) {
        std::string form = block.formLine;
        while (!form.empty() && form.back() == '\n') {
            form.pop_back();
        }
        std::replace(form.begin(), form.end(), '\n', '/');
        if (block.keptLines.empty()) {
            result.push_back(form + " |");
        }
        for (const CZelmLibUtils::KeptLine& line : block.keptLines) {
            result.push_back(form + " | " + line.text);
        }
    }
    return result;
}

// Each warning as "number: line"; every warning gives a reason.
std::vector<std::string> Warned(const CZelmLibUtils& library)
{
    std::vector<std::string> result;
    for (const CZelmLibUtils::Warning& warning : library.GetWarnings()) {
        EXPECT_FALSE(warning.reason.empty()) << warning.line;
        result.push_back(std::to_string(warning.lineNumber) + ": " + warning.line);
    }
    return result;
}

}  // namespace

TEST_F(LibraryReader, FilesThatCannotBeOpened)
{
    const std::string missing = m_files.Path() + "/missing.lib";
    const struct
    {
        std::string path;
        bool whole;
        std::string message;
    } cases[] = {
        {missing, false, "Unable to read ZELM library file."},
        {missing, true, "Unable to open ZELM library file."},
        // A folder is named as what it is.
        {m_files.Path(), false,
         "Unable to read ZELM library file: the file \"" + m_files.Path() + "\" is a folder, not a file."},
        {m_files.Path(), true,
         "Unable to open ZELM library file: the file \"" + m_files.Path() + "\" is a folder, not a file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            if (c.whole) {
                CZelmLibUtils library(false, c.path, *m_server);
            } else {
                CZelmLibUtils library(false, c.path);
            }
            ADD_FAILURE() << "no error";
        } catch (const KelvResult& error) {
            EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
            EXPECT_EQ(error.GetMessage(), c.message);
        }
    }
}

TEST_F(LibraryReader, SpeciesOnlyReadsNothingElse)
{
    const std::string path = m_files.Write("species.lib", std::string(kSpecies) +
                                                              "poly\nnot an order\nbuck\n"
                                                              "Na core Na core 1.0 2.0 3.0 4.0\n");
    CZelmLibUtils library(true, path);
    EXPECT_EQ(library.GetAllSpecies().size(), 3u);
    EXPECT_TRUE(library.HasShell());
    EXPECT_TRUE(library.HasCharges());
    EXPECT_TRUE(library.GetInteractions().empty());
    EXPECT_EQ(library.GetDescription(), "");
}

TEST_F(LibraryReader, SpeciesOfModelAtoms)
{
    const std::string path = m_files.Write("atoms.lib", "species\nNa core 1.0\nO_OH core 0.9\n"
                                                        "O_OH shel -1.4\nK shel 0.5\n");
    CZelmLibUtils library(false, path);
    KelvComPtr<ISDObject> hydrogen = MakeAtom("H");
    KelvComPtr<ISDObject> oxygen = MakeAtom("O", -2);
    Attach(oxygen, {hydrogen});
    EXPECT_TRUE(library.HasSpecies(oxygen));
    EXPECT_EQ(library.GetAlternativeName(oxygen), "O_OH");
    EXPECT_DOUBLE_EQ(library.GetCoreCharge(oxygen), 0.9);
    EXPECT_DOUBLE_EQ(library.GetShellCharge(oxygen), -1.4);
    EXPECT_DOUBLE_EQ(library.GetCoreCharge(MakeAtom("K", 1)), 0.0);
    EXPECT_DOUBLE_EQ(library.GetShellCharge(MakeAtom("K", 1)), 0.5);
    EXPECT_DOUBLE_EQ(library.GetShellCharge(MakeAtom("Na", 1)), 0.0);
    EXPECT_FALSE(library.HasSpecies(hydrogen));
    EXPECT_EQ(library.Get(hydrogen).GetAlternativeName(), "H");
}

TEST_F(LibraryReader, TheLayoutTheModuleWrites)
{
    auto library = Load("\nspecies\nNa core 1\nO core 0.8\nO shel -2.8\n\n"
                        "# kept comment\nkeyword conp\n"
                        "buck\n"
                        "Na core O shel 1000.0 0.3 0.0 10.0 1 0 1 \n"
                        "O shel O shel 22764.0 0.149 27.879 0.5 12.0 0 0 1 \n"
                        "buck intra\n"
                        "Na core Na core 1.5 0.25 0.0 8.0\n"
                        "\n");
    EXPECT_EQ(Lines(library->GetOtherLines()),
              (std::vector<std::string>{"# kept comment", "keyword conp"}));
    EXPECT_EQ(Describe(*library),
              (std::vector<std::string>{
                  "buck [Na core,O shel] 1000* 0.3 0* 0 10",
                  "buck [O shel,O shel] 22764 0.149 27.879* 0.5 12",
                  "buck [Na core,Na core] 1.5 0.25 0 0 8 {intra}",
              }));
    EXPECT_EQ(library->GetDescription(), "");
}

TEST_F(LibraryReader, SpeciesBeforeAndAfterTheSpeciesLine)
{
    auto library = Load("Na core 1.0\n"
                        "species\n"
                        "O core 0.8\n"
                        "Na shel -2.0\n"
                        "buck\n"
                        "Na core O core 1.0 2.0 3.0 4.0\n"
                        "Na shel O 1.0 2.0 3.0 5.0\n");
    const auto& species = library->GetAllSpecies();
    ASSERT_EQ(species.size(), 2u);
    EXPECT_TRUE(species.at("Na").IsCore());
    EXPECT_TRUE(species.at("Na").IsShell());
    EXPECT_DOUBLE_EQ(species.at("Na").GetCoreCharge(), 1.0);
    EXPECT_DOUBLE_EQ(species.at("Na").GetShellCharge(), -2.0);
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "buck [Na core,O core] 1 2 3 0 4",
                                      "buck [Na shel,O core] 1 2 3 0 5",
                                  }));
    EXPECT_TRUE(library->GetOtherLines().empty());
}

TEST_F(LibraryReader, AtomTypesOfInteractionLines)
{
    auto library = Load(std::string(kSpecies) +
                        "buck\n"
                        "Na core O shel 1.0 2.0 3.0 4.0\n"
                        "Na O 1.0 2.0 3.0 5.0\n"
                        "Na shell O SHEL 1.0 2.0 3.0 6.0\n"
                        "K shel O core 1.0 2.0 3.0 4.0\n"      // K has no shell
                        "Na core Xx core 1.0 2.0 3.0 4.0\n"    // unknown second atom
                        "Na core\n"                            // too few atom types
                        "Na core O shel 1.0 2.0\n"             // too few values
                        "Na core O shel 1.0 abc 3.0 4.0\n"     // a value that is no number
                        "K O 1.0 2.0 3.0 7.0\n"
                        "Na\tcore\tO\tshel 1.0 2.0 3.0 8.0\n");
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "buck [Na core,O shel] 1 2 3 0 4",
                                      "buck [Na core,O core] 1 2 3 0 5",
                                      "buck [Na shel,O shel] 1 2 3 0 6",
                                      "buck [K core,O core] 1 2 3 0 7",
                                      "buck [Na core,O shel] 1 2 3 0 8",
                                  }));
    // Lines of interactions that cannot be read stay in their block, each
    // in its place and with a warning.
    EXPECT_TRUE(library->GetOtherLines().empty());
    const std::vector<std::string> kept = {"K shel O core 1.0 2.0 3.0 4.0", "Na core Xx core 1.0 2.0 3.0 4.0",
                                           "Na core", "Na core O shel 1.0 2.0",
                                           "Na core O shel 1.0 abc 3.0 4.0"};
    std::vector<std::string> blocks;
    std::vector<std::string> warned;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        blocks.push_back("buck | " + kept[i]);
        warned.push_back(std::to_string(12 + i) + ": " + kept[i]);
    }
    EXPECT_EQ(Blocks(*library), blocks);
    EXPECT_EQ(Warned(*library), warned);
    for (const CZelmLibUtils::KeptLine& line : library->GetFormBlocks().front().keptLines) {
        EXPECT_EQ(line.after, 2);
    }
    EXPECT_EQ(library->GetWarnings()[0].reason, "Library contains undefined atom type: K shel");
    EXPECT_EQ(library->GetWarnings()[1].reason, "Library contains undefined atom type: Xx");
    EXPECT_EQ(library->GetWarnings()[2].reason, "Interaction specified insufficient atomtypes");
}

TEST_F(LibraryReader, FormLinesWithOptionsAndFormLinesThatCannotBeRead)
{
    auto library = Load(std::string(kSpecies) +
                        "Buck Nonsense\n"
                        "Na core Na core 1.0 2.0 3.0 4.0\n"
                        "# about the next form\n"
                        "BUCK inter bond 0.5\n"
                        "Na core Na core 5.0 6.0 7.0 8.0\n");
    EXPECT_EQ(Lines(library->GetOtherLines()),
              (std::vector<std::string>{"Buck Nonsense", "Na core Na core 1.0 2.0 3.0 4.0",
                                        "# about the next form"}));
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "buck [Na core,Na core] 5 6 7 0 8 {inter} {bond} {scale14=0.5}",
                                  }));
}

TEST_F(LibraryReader, ALineWithAnUnknownSpeciesStaysInItsBlock)
{
    auto library = Load(std::string(kSpecies) +
                        "buck\n"
                        "Na core Na core 1.0 2.0 3.0 4.0\n"
                        "Xx core Na core 1.0 2.0 3.0 4.0\n"
                        "Na core Na core 5.0 6.0 7.0 8.0\n"
                        "buck\n"
                        "K core K core 9.0 1.5 2.5 3.5\n");
    // The lines after it are still interactions of the block.
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "buck [Na core,Na core] 1 2 3 0 4",
                                      "buck [Na core,Na core] 5 6 7 0 8",
                                      "buck [K core,K core] 9 1.5 2.5 0 3.5",
                                  }));
    EXPECT_TRUE(library->GetOtherLines().empty());
    EXPECT_EQ(Blocks(*library), (std::vector<std::string>{"buck | Xx core Na core 1.0 2.0 3.0 4.0"}));
    const CZelmLibUtils::KeptLine& kept = library->GetFormBlocks().front().keptLines.front();
    EXPECT_EQ(kept.after, 0);
    EXPECT_EQ(Warned(*library), (std::vector<std::string>{"10: Xx core Na core 1.0 2.0 3.0 4.0"}));
}

TEST_F(LibraryReader, CommentsAndBlankLinesInsideInteractions)
{
    auto library = Load(std::string(kSpecies) +
                        "buck\n"
                        "Na core Na core 1.0 2.0 3.0 4.0\n"
                        "\n"
                        "    \t \n"
                        "# between two interactions\n"
                        "K core K core 5.0 6.0 7.0 8.0\n");
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "buck [Na core,Na core] 1 2 3 0 4",
                                      "buck [K core,K core] 5 6 7 0 8",
                                  }));
    // The comment stays in its block, between the two; blank lines go.
    EXPECT_TRUE(library->GetOtherLines().empty());
    EXPECT_EQ(Blocks(*library), (std::vector<std::string>{"buck | # between two interactions"}));
    EXPECT_EQ(library->GetFormBlocks().front().keptLines.front().after, 0);
    EXPECT_TRUE(library->GetWarnings().empty());
}

TEST_F(LibraryReader, LineEndsAndTheLastLine)
{
    const std::string body = std::string(kSpecies) +
                             "# note\n"
                             "buck\n"
                             "Na core Na core 1.0 2.0 3.0 4.0\n"
                             "K core K core 5.0 6.0 7.0 8.0";
    std::string crlf;
    for (char c : body) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    const std::vector<std::string> expected = {"buck [Na core,Na core] 1 2 3 0 4",
                                               "buck [K core,K core] 5 6 7 0 8"};
    for (const std::string& text : {body, body + "\n", crlf, crlf + "\r\n", body + "\n\n  \n"}) {
        SCOPED_TRACE(text);
        auto library = Load(text);
        EXPECT_EQ(Describe(*library), expected);
        EXPECT_EQ(Lines(library->GetOtherLines()), (std::vector<std::string>{"# note"}));
        EXPECT_EQ(library->GetAllSpecies().size(), 3u);
    }
}

TEST_F(LibraryReader, WarningsNumberEveryLineOfTheFile)
{
    // The species section ends at the form line itself, at a blank line, or
    // runs to the end; lines end in LF or CR LF; the last may have no break.
    const struct {
        const char* text;
        std::vector<std::string> warned;
    } cases[] = {
        {"species\nNa core 1.0\nbuck nonsense\nNa core Na core 1.0 2.0 3.0 4.0\n",
         {"3: buck nonsense", "4: Na core Na core 1.0 2.0 3.0 4.0"}},
        {"\n\n# top\nspecies\r\nNa core 1.0\r\n\r\n\r\nbuck\r\nXx 1.0\r\n\r\nNa core 2.0",
         {"9: Xx 1.0", "11: Na core 2.0"}},
        {"species\nNa core 1.0\npoly\nbuck\nNa core Na core 1.0 2.0", {"3: poly", "5: Na core Na core 1.0 2.0"}},
        {"species\nNa core 1.0\n# end of species\n\nbuck\nNa core Na core 1.0 2.0 3.0 4.0\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto library = Load(c.text);
        EXPECT_EQ(Warned(*library), c.warned);
    }
}

TEST_F(LibraryReader, EndOfInputRightAfterAFormLine)
{
    for (const char* ending : {"buck", "buck\n", "buck\n\n", "poly\n", "poly\n3", "srgl\n"}) {
        SCOPED_TRACE(ending);
        auto library = Load(std::string(kSpecies) + ending);
        EXPECT_TRUE(library->GetInteractions().empty());
    }
    // The same with a species section that runs to the end of the file.
    auto library = Load("species\nNa core 1.0");
    EXPECT_TRUE(library->GetInteractions().empty());
    EXPECT_TRUE(library->GetOtherLines().empty());
    EXPECT_EQ(library->GetAllSpecies().size(), 1u);
}

TEST_F(LibraryReader, PolynomialOrderLine)
{
    auto library = Load(std::string(kSpecies) +
                        "poly harmonic\n"
                        "3\n"
                        "Na core Na core 1.0 2.0 3.0 1 0\n"
                        // A bare keyword right after the form line.
                        "poly\n"
                        "buck\n"
                        "Na core K core 1.0 2.0 3.0 4.0\n"
                        // An interaction line where the order belongs.
                        "poly\n"
                        "Na core K core 1.0 2.0 3.0\n"
                        "K core K core 1.0 2.0 3.0\n"
                        // An order that the form refuses.
                        "poly\n"
                        "0\n"
                        "K core K core 4.0 5.0 6.0\n"
                        // Orders that are no integers.
                        "poly\n"
                        "abc\n"
                        // An order as the integer field reads it.
                        "poly\n"
                        "5.0\n"
                        "K core K core 7.0 8.0 9.0\n"
                        "buck\n"
                        "K core Na core 1.0 2.0 3.0 4.0\n"
                        "poly\n"
                        "+2\n");
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "poly [Na core,Na core] 1* 2 3 {harmonic} {norder=3}",
                                      "buck [Na core,K core] 1 2 3 0 4",
                                      "poly [K core,K core] 7 8 9 {norder=5}",
                                      "buck [K core,Na core] 1 2 3 0 4",
                                  }));
    const std::vector<std::string> kept = {"poly", "poly", "Na core K core 1.0 2.0 3.0",
                                           "K core K core 1.0 2.0 3.0", "poly", "0",
                                           "K core K core 4.0 5.0 6.0", "poly", "abc"};
    EXPECT_EQ(Lines(library->GetOtherLines()), kept);
    // Each kept line is told of, with its number.
    const int numbers[] = {11, 14, 15, 16, 17, 18, 19, 20, 21};
    std::vector<std::string> warned;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        warned.push_back(std::to_string(numbers[i]) + ": " + kept[i]);
    }
    EXPECT_EQ(Warned(*library), warned);
    // A polynomial without interactions keeps its form line.
    EXPECT_EQ(Blocks(*library), (std::vector<std::string>{"poly/2 |"}));
}

namespace {

// An interaction of the glue form as the module writes it: the values of
// d, rmin, rmax on the first line, then 4 + "&", 1, 4 + "&", 3.
std::string GlueInteraction(const std::string& atoms, int first)
{
    std::ostringstream text;
    text.setf(std::ios::fixed | std::ios::showpoint);
    text.precision(10);
    int value = first;
    auto values = [&](int count) {
        for (int i = 0; i < count; ++i) {
            text << static_cast<double>(value++) << " ";
        }
    };
    text << atoms << " ";
    values(3);
    text << "\n";
    values(4);
    text << "& \n";
    values(1);
    text << "\n";
    values(4);
    text << "& \n";
    values(3);
    text << "\n";
    return text.str();
}

std::string GlueDescription(const std::string& atoms, int first)
{
    std::string text = "srgl [" + atoms + "]";
    for (int i = 0; i < 15; ++i) {
        text += " " + std::to_string(first + i);
    }
    return text;
}

}  // namespace

TEST_F(LibraryReader, GlueInteractionsSpanFiveLines)
{
    auto library = Load(std::string(kSpecies) + "srgl\n" + GlueInteraction("Na core Na core", 1) +
                        GlueInteraction("Na core K core", 20) + "buck\n" +
                        "K core K core 5.0 6.0 7.0 8.0\n");
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      GlueDescription("Na core,Na core", 1),
                                      GlueDescription("Na core,K core", 20),
                                      "buck [K core,K core] 5 6 7 0 8",
                                  }));
    EXPECT_TRUE(library->GetOtherLines().empty());
}

TEST_F(LibraryReader, AContinuationWordJoinsTheNextLineEvenWhenNoValueIsMissing)
{
    // Fourteen values already fill every parameter but the optional "rmin";
    // the "&" still joins the fifteenth, which moves every value after "d"
    // one parameter on.
    auto library = Load(std::string(kSpecies) +
                        "srgl\n"
                        "Na core Na core 1.0 2.0 3.0 4.0 5.0 6.0 7.0 8.0 9.0 10.0 11.0 12.0 13.0 14.0 &\n"
                        "15.0\n"
                        "K core K core 1.0 2.0 3.0 4.0 5.0 6.0 7.0 8.0 9.0 10.0 11.0 12.0 13.0 14.0\n");
    EXPECT_EQ(Describe(*library),
              (std::vector<std::string>{GlueDescription("Na core,Na core", 1),
                                        "srgl [K core,K core] 1 0 2 3 4 5 6 7 8 9 10 11 12 13 14"}));
}

TEST_F(LibraryReader, GlueInteractionsThatCannotBeCompleted)
{
    // An unknown atom type: the interaction's own lines stay in the block,
    // before the next interaction, which is read.
    {
        const std::string glue = GlueInteraction("Na core Xx core", 1);
        auto library = Load(std::string(kSpecies) + "srgl\n" + glue + GlueInteraction("K core K core", 40));
        EXPECT_EQ(Describe(*library),
                  (std::vector<std::string>{GlueDescription("K core,K core", 40)}));
        EXPECT_TRUE(library->GetOtherLines().empty());
        std::vector<std::string> blocks;
        std::vector<std::string> warned;
        std::istringstream lines(glue);
        int number = 9;
        for (std::string line; std::getline(lines, line); ++number) {
            blocks.push_back("srgl | " + line);
            warned.push_back(std::to_string(number) + ": " + line);
        }
        EXPECT_EQ(Blocks(*library), blocks);
        EXPECT_EQ(Warned(*library), warned);
        EXPECT_EQ(library->GetFormBlocks().front().keptLines.front().before, 0);
    }
    // A blank line or a comment line inside an interaction ends it: it lacks
    // values, and its lines, the line that ended it and the lines after it
    // stay in the block.
    for (const char* breaker : {"\n", "# cut\n"}) {
        SCOPED_TRACE(breaker);
        std::string glue = GlueInteraction("Na core Na core", 1);
        std::size_t secondLineEnd = glue.find('\n', glue.find('\n') + 1);
        glue.insert(secondLineEnd + 1, breaker);
        auto library = Load(std::string(kSpecies) + "srgl\n" + glue + "buck\n" +
                            "K core K core 5.0 6.0 7.0 8.0\n");
        EXPECT_EQ(Describe(*library),
                  (std::vector<std::string>{"buck [K core,K core] 5 6 7 0 8"}));
        EXPECT_TRUE(library->GetOtherLines().empty());
        std::vector<std::string> blocks;
        std::istringstream lines(glue);
        for (std::string line; std::getline(lines, line);) {
            blocks.push_back("srgl | " + line);
        }
        EXPECT_EQ(Blocks(*library), blocks);
        EXPECT_EQ(library->GetWarnings().size(), 5u);
    }
    // An interaction cut off by the end of the file.
    {
        std::string glue = GlueInteraction("Na core Na core", 1);
        glue.resize(glue.find('\n', glue.find('\n') + 1));
        auto library = Load(std::string(kSpecies) + "srgl\n" + glue);
        EXPECT_TRUE(library->GetInteractions().empty());
        EXPECT_EQ(Blocks(*library).size(), 2u);
        EXPECT_EQ(library->GetWarnings().size(), 2u);
    }
}

TEST_F(LibraryReader, GlueOptionJoinsLinesWithoutContinuationWords)
{
    auto library = Load(std::string(kSpecies) +
                        "eamg glue\n"
                        "Na core 1.0 2.0 3.0\n"
                        "4.0 5.0\n"
                        "6.0\n"
                        "O shel 7.0 8.0 9.0\n"
                        "10.0 11.0 12.0\n"
                        "eamg power\n"
                        "K 1.0 2.0 3.0 4.0 5.0 6.0\n"
                        "K 1.0 2.0 3.0\n"
                        "4.0 5.0 6.0\n");
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "eamg [Na core] 1 2 3 4 5 6 {glue}",
                                      "eamg [O shel] 7 8 9 10 11 12 {glue}",
                                      "eamg [K core] 1 2 3 4 5 6 {power}",
                                  }));
    // Without "glue" the short line and its second line stay in the block.
    EXPECT_TRUE(library->GetOtherLines().empty());
    EXPECT_EQ(Blocks(*library),
              (std::vector<std::string>{"eamg power | K 1.0 2.0 3.0", "eamg power | 4.0 5.0 6.0"}));
    EXPECT_EQ(Warned(*library), (std::vector<std::string>{"16: K 1.0 2.0 3.0", "17: 4.0 5.0 6.0"}));
}

TEST_F(LibraryReader, SplineDataLines)
{
    auto library = Load(std::string(kSpecies) +
                        "splin\n"
                        "Na core Na core 5.0\n"
                        "1.0 2.0\n"
                        "3.0 4.0\n"
                        "Na core K core 6.0\n"
                        "7.0 8.0\n"
                        "\n"
                        "0.5 0.25\n"
                        "buck\n"
                        "K core K core 5.0 6.0 7.0 8.0\n"
                        "splin\n"
                        "K core K core 2.0\n"
                        "1.0 2.0 3.0\n"
                        "splin\n"
                        "K core Na core 3.0\n"
                        "9.0 abc\n");
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "splin [Na core,Na core] 5 1 2 3 4",
                                      "splin [Na core,K core] 6 7 8 0.5 0.25",
                                      "buck [K core,K core] 5 6 7 0 8",
                                      "splin [K core,K core] 2",
                                  }));
    // A line that does not have two words ends the data and is examined
    // next; two words that are not both numbers make the interaction fail.
    EXPECT_TRUE(library->GetOtherLines().empty());
    EXPECT_EQ(Blocks(*library), (std::vector<std::string>{"splin | 1.0 2.0 3.0", "splin | K core Na core 3.0",
                                                          "splin | 9.0 abc"}));
    EXPECT_EQ(Warned(*library), (std::vector<std::string>{"20: 1.0 2.0 3.0", "22: K core Na core 3.0",
                                                          "23: 9.0 abc"}));
    EXPECT_EQ(library->GetWarnings()[1].reason, "The data line \"9.0 abc\" cannot be read");
}

// A form keyword the reader does not know ends the block before it: it and
// its lines up to the next form line stay in that block as text, blank
// lines between them included, and none is read as an interaction of the
// form before it.
TEST_F(LibraryReader, AFormKeywordTheReaderDoesNotKnowKeepsItsLinesAsText)
{
    auto library = Load(std::string(kSpecies) +
                        "buck\n"
                        "Na core Na core 1.0 2.0 3.0 4.0\n"
                        "tersoff\n"
                        "Na core O core 5.0 6.0 7.0 8.0\n"
                        "  9.0 10.0\n"
                        " \t\n"
                        "K core K core 1.0 2.0 3.0 4.0\n"
                        "\n"
                        "buck\n"
                        "K core K core 9.0 1.5 2.5 3.5\n");
    EXPECT_EQ(Describe(*library), (std::vector<std::string>{
                                      "buck [Na core,Na core] 1 2 3 0 4",
                                      "buck [K core,K core] 9 1.5 2.5 0 3.5",
                                  }));
    EXPECT_EQ(Blocks(*library), (std::vector<std::string>{"buck | tersoff", "buck | Na core O core 5.0 6.0 7.0 8.0",
                                                          "buck |   9.0 10.0", "buck |  \t",
                                                          "buck | K core K core 1.0 2.0 3.0 4.0"}));
    for (const CZelmLibUtils::KeptLine& line : library->GetFormBlocks().front().keptLines) {
        EXPECT_EQ(line.after, 0);
        EXPECT_TRUE(line.unknownForm);
    }
    EXPECT_EQ(Warned(*library), (std::vector<std::string>{"10: tersoff", "11: Na core O core 5.0 6.0 7.0 8.0",
                                                          "12:   9.0 10.0", "14: K core K core 1.0 2.0 3.0 4.0"}));
    EXPECT_EQ(library->GetWarnings()[0].reason,
              "\"tersoff\" is no form keyword this reader knows: the lines of its form are kept as they stand");
    EXPECT_TRUE(library->GetOtherLines().empty());
}

// What a line of a block that begins with an unknown word is taken for: the
// form line of an unknown form (the next interaction line is kept with it),
// or an interaction whose species is unknown (the next one is read).
TEST_F(LibraryReader, AnUnknownWordOpensAFormUnlessAtomTypesFollowIt)
{
    const struct {
        const char* line;
        bool unknownForm;
    } cases[] = {
        {"tersoff", true},
        {"Tersoff combine", true},
        {"sw3 12.0", true},
        {"cutp 10.0 mdf 1.0", true},
        {"Xx core Na core 1.0 2.0 3.0 4.0", false},
        {"Xx SHEL Na core 1.0 2.0 3.0 4.0", false},
        {"Xx Na 1.0 2.0 3.0 4.0", false},
        {"Xx Na core 1.0 2.0 3.0 4.0", false},
        {"tersoff Na", true},
        {"tersoff Na core", true},
        {"tersoff Na K 1.0", true},
        {"tersoff Na combine", true},
        {"tersoff core", true},
        {"Xx core", false},
        {"1.0 2.0 3.0 4.0", false},
        {"# comment", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        for (const char* before : {"", "Na core Na core 1.0 2.0 3.0 4.0\n"}) {
            auto library = Load(std::string(kSpecies) + "buck\n" + before + c.line + "\nK core K core 5.0 6.0 7.0 8.0\n");
            const std::size_t read = std::string(before).empty() ? 0 : 1;
            EXPECT_EQ(library->GetInteractions().size(), read + (c.unknownForm ? 0 : 1));
            ASSERT_EQ(library->GetFormBlocks().size(), 1u);
            const std::list<CZelmLibUtils::KeptLine>& kept = library->GetFormBlocks().front().keptLines;
            ASSERT_EQ(kept.size(), c.unknownForm ? 2u : 1u);
            EXPECT_EQ(kept.front().text, c.line);
            EXPECT_EQ(kept.front().unknownForm, c.unknownForm);
        }
    }
}
