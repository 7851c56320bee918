// Libraries read into a forcefield, written by the forcefield's writer and
// read again.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/TempFolder.h"
#include "common/TestForms.h"
#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmServerDescription.h"

using QzTest::ReadFile;
using QzTest::TempFolder;

using namespace testforms;

namespace {

std::string WriteLibrary(const CForcefield& forcefield)
{
    std::ostringstream text;
    forcefield.WriteLibrary(text);
    return text.str();
}

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

void ExpectSameSpecies(const CZelmLibUtils& a, const CZelmLibUtils& b)
{
    ASSERT_EQ(a.GetAllSpecies().size(), b.GetAllSpecies().size());
    for (const auto& [name, species] : a.GetAllSpecies()) {
        SCOPED_TRACE(name);
        ASSERT_EQ(b.GetAllSpecies().count(name), 1u);
        const CSpecies& other = b.GetAllSpecies().at(name);
        EXPECT_EQ(species.IsCore(), other.IsCore());
        EXPECT_EQ(species.IsShell(), other.IsShell());
        // Exactly: charges are written with every digit they need.
        EXPECT_EQ(species.GetCoreCharge(), other.GetCoreCharge());
        EXPECT_EQ(species.GetShellCharge(), other.GetShellCharge());
    }
}

}  // namespace

TEST(LibraryRoundTrip, ReadWriteReadKeepsEverything)
{
    TempFolder files;
    boost::shared_ptr<CServerDescription> server = MakeTestServer();
    const std::string original = files.Write(
        "original.lib",
        "# library of tests\r\n"
        "keyword conp\r\n"
        "species\r\n"
        "Na core 1.0\r\n"
        "Na shel -2.123456789012345\r\n"
        "O core 0.86902\r\n"
        "O shel -2.86902\r\n"
        "K core 1\r\n"
        "\r\n"
        "buck intra 0.5\r\n"
        "Na core O shel 1000.0 0.3 0.0 10.0 1 0 1\r\n"
        "Na shel O shel 1.5 0.25 0.0 1.0 8.0 0 0 0\r\n"
        "poly harmonic\r\n"
        "3\r\n"
        "K core K core 1.0 2.0 3.0 1 0\r\n"
        "srgl\r\n"
        "Na core K core 4.0 0.5 6.0 1.5 2.5 3.5 4.5 5.5 6.5 7.5 8.5 9.5 10.5 11.5 12.5\r\n"
        "eamg glue\r\n"
        "Na core 1.0 2.0 3.0\r\n"
        "4.0 5.0 6.0");

    CZelmForcefield first(original, *server);
    const std::string firstText = WriteLibrary(first);
    EXPECT_EQ(firstText.rfind("\nspecies\n", 0), 0u) << firstText;

    const std::string written = files.Write("written.lib", firstText);
    CZelmForcefield second(written, *server);
    const std::string secondText = WriteLibrary(second);
    EXPECT_EQ(secondText, firstText);

    CZelmLibUtils before(false, original, *server);
    CZelmLibUtils after(false, written, *server);
    ASSERT_EQ(before.GetInteractions().size(), 5u);
    EXPECT_EQ(Sorted(Describe(after)), Sorted(Describe(before)));
    EXPECT_EQ(Lines(after.GetOtherLines()), Lines(before.GetOtherLines()));
    EXPECT_EQ(Lines(after.GetOtherLines()),
              (std::vector<std::string>{"# library of tests", "keyword conp"}));
    ExpectSameSpecies(before, after);
}

TEST(LibraryRoundTrip, SpeciesOnlyLibraryIsByteStable)
{
    TempFolder files;
    boost::shared_ptr<CServerDescription> server = MakeTestServer();
    const std::string written = "\nspecies\nNa core 1\nO core 0.86902\nO shel -2.86902\n\n\n";
    const std::string path = files.Write("species.lib", written);
    CZelmForcefield forcefield(path, *server);
    EXPECT_EQ(WriteLibrary(forcefield), written);
}

TEST(LibraryRoundTrip, EngineFormsOfAHandWrittenLibrary)
{
    // Abbreviated keywords, a spring with a bare species, options on form
    // lines, a glue interaction over five lines and a polynomial order line.
    const std::string original = std::string(QZ_TEST_DATA) + "/libreader/oxides.lib";
    CZelmServerDescription server;
    CZelmLibUtils read(false, original, server);
    const std::vector<std::string> described = Describe(read);
    ASSERT_EQ(described.size(), 7u);
    EXPECT_EQ(described[5], "srgl [Na core,Mg core] 4 0 6 1 2 3 4 5 6 7 8 9 10 11 12");
    EXPECT_EQ(Lines(read.GetOtherLines()),
              (std::vector<std::string>{"# Hand-written test library: rigid ions and shell-model oxygen.",
                                        "keyword conp", "#"}));

    TempFolder files;
    CZelmForcefield first(original, server);
    const std::string firstPath = files.Write("first.lib", WriteLibrary(first));
    CZelmForcefield second(firstPath, server);
    const std::string secondText = WriteLibrary(second);
    EXPECT_EQ(secondText, ReadFile(firstPath));
    // The glue interaction is written over five lines and read back whole.
    EXPECT_NE(secondText.find("4.0000000000 & \n5.0000000000 \n"), std::string::npos) << secondText;

    const std::string secondPath = files.Write("second.lib", secondText);
    CZelmLibUtils firstRead(false, firstPath, server);
    CZelmLibUtils secondRead(false, secondPath, server);
    EXPECT_EQ(Describe(firstRead).size(), 7u);
    EXPECT_EQ(Describe(secondRead), Describe(firstRead));
    EXPECT_EQ(Lines(firstRead.GetOtherLines()), Lines(read.GetOtherLines()));
    ExpectSameSpecies(read, firstRead);
}

// The block of a form keyword the reader does not know is written back as
// it stands, after the interaction it followed; the interactions of the form
// after it come after the form line again, so that none of them is read as
// a line of the unknown form.
TEST(LibraryRoundTrip, TheBlockOfAnUnknownFormIsWrittenBackAsItStands)
{
    TempFolder files;
    boost::shared_ptr<CServerDescription> server = MakeTestServer();
    const std::string unknown = "tersoff combine\n"
                                "Na core O core 5.0 6.0 7.0 8.0\n"
                                "\t  9.0 10.0   \n"
                                " \n"
                                "K core K core 1.0 2.0 3.0 4.0\n";
    const std::string original = files.Write("original.lib", "species\nNa core 1.0\nO core -2.0\nK core 1.0\n\n"
                                                             "buck\n"
                                                             "Na core Na core 1.0 2.0 3.0 4.0\n" +
                                                                 unknown +
                                                                 "\nbuck\n"
                                                                 "K core K core 9.0 1.5 2.5 3.5\n");
    CZelmForcefield first(original, *server);
    ASSERT_EQ(first.GetInteractionEntries().size(), 2u);
    const std::string firstText = WriteLibrary(first);
    const std::size_t block = firstText.find(unknown);
    ASSERT_NE(block, std::string::npos) << firstText;
    EXPECT_LT(firstText.find("Na core Na core"), block) << firstText;
    EXPECT_EQ(firstText.compare(block + unknown.size(), 5, "buck\n"), 0) << firstText;
    EXPECT_LT(block, firstText.find("K core K core 9")) << firstText;

    CZelmForcefield second(files.Write("written.lib", firstText), *server);
    EXPECT_EQ(second.GetInteractionEntries().size(), 2u);
    EXPECT_EQ(WriteLibrary(second), firstText);
}
