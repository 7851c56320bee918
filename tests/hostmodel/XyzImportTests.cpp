#include "host/model/XyzImport.h"

#include <gtest/gtest.h>

using namespace HostModel;

namespace {

std::string Fixture(const char* name) { return std::string(QZ_TEST_DATA) + "/hostmodel/" + name; }

} // namespace

TEST(XyzImport, AMoleculeBecomesANonPeriodicDocument)
{
    auto d = ImportXyz(Fixture("methanol.xyz"));
    EXPECT_EQ(d->Name(), "methanol");
    EXPECT_EQ(d->GetPeriodicity(), Periodicity::None);
    ASSERT_EQ(d->Atoms().size(), 6u);
    const char* elements[] = {"C", "O", "H", "H", "H", "H"};
    for (std::size_t i = 0; i < 6; ++i) {
        const Atom& a = d->Atoms()[i];
        EXPECT_EQ(a.element, elements[i]) << i;
        EXPECT_EQ(a.id, static_cast<std::int32_t>(i + 1));
        EXPECT_TRUE(a.IsSymmetryParent());
    }
    const Vec3 h = d->Cartesian(d->Atoms()[4].handle);
    EXPECT_EQ(h, (Vec3{0.437790, 1.076950, -0.888240}));

    // A byte-order mark, symbols in any case, Windows line ends, extra columns and a blank
    // last line are read as a user expects.
    auto loose = ImportXyzText("\xEF\xBB\xBF" "3\r\n\r\ncl 1 2 3\r\nNA +1.5 -2e-1 0 0.42\r\nh 0 0 0\r\n\r\n");
    ASSERT_EQ(loose->Atoms().size(), 3u);
    EXPECT_EQ(loose->Atoms()[0].element, "Cl");
    EXPECT_EQ(loose->Atoms()[1].element, "Na");
    EXPECT_EQ(loose->Atoms()[1].position, (Vec3{1.5, -0.2, 0.0}));
}

TEST(XyzImport, BadFilesAreRefusedWithTheLineAndReason)
{
    const struct {
        const char* name;
        const char* text;
        const char* reason;
    } cases[] = {
        {"empty", "", "The file is empty"},
        {"no count", "water\nO 0 0 0\n", "Line 1: the first line must hold the atom count"},
        {"count and more", "3 atoms\n\nO 0 0 0\n", "Line 1: the first line must hold the atom count"},
        {"no atoms", "0\nnothing\n", "Line 1: the file holds no atoms"},
        {"no comment line", "1\n", "Line 2: the comment line is missing"},
        {"truncated", "3\nwater\nO 0 0 0.1173\nH 0 0.7572 -0.4692\n", "The file ends after 2 of its 3 atoms"},
        {"cut atom line", "2\nwater\nO 0 0 0.1173\nH 0 0.7572\n", "Line 4: an atom line needs an element symbol"},
        {"blank atom line", "2\nwater\nO 0 0 0\n\nH 0 0 1\n", "Line 4: an atom line needs an element symbol"},
        {"unknown element", "1\n\nQq 0 0 0\n", "Line 3: 'Qq' is not an element symbol"},
        {"label as element", "1\n\nC1 0 0 0\n", "Line 3: 'C1' is not an element symbol"},
        {"long symbol", "1\n\nCla 0 0 0\n", "Line 3: 'Cla' is not an element symbol"},
        {"dummy atom", "1\n\nX 0 0 0\n", "Line 3: 'X' is not an element symbol"},
        {"bad number", "1\n\nO 0 0.1x 0\n", "Line 3: the y coordinate must be a finite number, not '0.1x'"},
        {"not finite", "1\n\nO 0 0 nan\n", "Line 3: the z coordinate must be a finite number, not 'nan'"},
        {"too large", "1\n\nO 1e999 0 0\n", "Line 3: the x coordinate must be a finite number, not '1e999'"},
        {"more atoms than counted", "1\n\nO 0 0 0\nH 0 0 1\n", "Line 4: the file holds more atom lines than the 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            ImportXyzText(c.text);
            ADD_FAILURE() << "imported";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(ImportXyz(Fixture("no-such-file.xyz")), FileError);
}

// A refusal quotes at most an excerpt of the file's text, with control
// characters escaped: a 1 MB first line gives a short message.
TEST(XyzImport, RefusalsQuoteTheFileAsAShortEscapedExcerpt)
{
    const std::string huge(1 << 20, 'x');
    const std::string cases[] = {
        "\x1b[31m" + huge + "\n",             // the count line
        "1\n\n\x1b[31m" + huge + " 0 0 0\n", // the element symbol
        "1\n\nO 0 \x1b[31m" + huge + " 0\n", // a coordinate
    };
    for (const std::string& text : cases) {
        try {
            ImportXyzText(text);
            ADD_FAILURE() << "imported";
        } catch (const FileError& e) {
            const std::string message = e.what();
            EXPECT_LT(message.size(), 400u);
            EXPECT_EQ(message.find('\x1b'), std::string::npos);
            EXPECT_NE(message.find("\\x1b[31mxxx"), std::string::npos) << message;
            EXPECT_NE(message.find("more characters)"), std::string::npos) << message;
        }
    }
}

TEST(XyzImport, AFileOfSeveralFramesGivesTheFrameAskedFor)
{
    const std::string text = "2\nfirst\nH 0 0 0\nH 0 0 0.74\n2\nsecond\nH 0 0 0\nH 0 0 0.80\n\n2\nthird\nH 0 0 0\nO 0 0 0.9\n";
    const XyzFrame first = ImportXyzFrameText(text, 1);
    EXPECT_EQ(3u, first.frames);
    EXPECT_EQ(1u, first.frame);
    ASSERT_EQ(2u, first.document->Atoms().size());
    EXPECT_EQ((Vec3{0, 0, 0.74}), first.document->Atoms()[1].position);
    EXPECT_EQ((Vec3{0, 0, 0.74}), ImportXyzText(text)->Atoms()[1].position);

    const XyzFrame third = ImportXyzFrameText(text, 3);
    EXPECT_EQ("O", third.document->Atoms()[1].element);
    EXPECT_EQ(2, third.document->Atoms()[1].id);

    const struct {
        const char* text;
        std::size_t frame;
        const char* reason;
    } refused[] = {
        {"1\na\nH 0 0 0\n", 2, "The file holds 1 frame; there is no frame 2."},
        {"1\na\nH 0 0 0\n1\nb\nH 0 0 0\n", 3, "The file holds 2 frames; there is no frame 3."},
        // A damaged later frame is refused whichever frame is taken.
        {"1\na\nH 0 0 0\n2\nb\nH 0 0 0\n", 1, "Frame 2 ends after 1 of its 2 atoms."},
        {"1\na\nH 0 0 0\n1\nb\nH 0 0 zz\n", 1, "Line 6: the z coordinate must be a finite number"},
        {"1\na\nH 0 0 0\n0\nb\n", 1, "Line 4: frame 2 holds no atoms"},
        {"1\na\nH 0 0 0\n", 0, "no frame 0"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.text);
        try {
            ImportXyzFrameText(c.text, c.frame);
            ADD_FAILURE() << "taken";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
    }
}
