// Deck line texts that depend on values alone, as tables, and the refusal
// of a structure's own text that the deck writer and the export's check
// share.
#include "setup/DeckLines.h"
#include "setup/ZelmFileWriter.h"

#include "common/FakeDataObjects.h"
#include "common/FakeScopeUtility.h"
#include "common/HostFakes.h"
#include "kelv/kelv.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace ZelmDeckLines;

TEST(SpaceGroupLine, ByLatticeRepresentation)
{
    struct Case {
        long representation;
        const char* longName;
        const char* line; // null: no line
    } cases[] = {
        {0, "P -1", "P -1"},
        {2, "P 1 21/c 1", "P 1 21/c 1"},
        // The host's orthorhombic names lose their slashed tokens.
        {4, "P 1 21/c 1", "P 1 c 1"},
        {4, "P 42/m 2/n 2/m", "P m n m"},
        {4, "P n m a", "P n m a"},
        {4, "/m", "m"},
        {5, "P 42/m", "123"},
        {6, "R -3 m", "123"},
        {7, "P 63/m m c", "123"},
        {8, "F m -3 m", "123"},
        {1, "P 1 1 21/m", nullptr},
        {3, "P 1 1 21/m", nullptr},
        {9, "P 1", nullptr},
        {-1, "P 1", nullptr},
    };
    for (const Case& c : cases) {
        const auto line = SpaceGroupLine(c.representation, c.longName, 123);
        if (c.line) {
            ASSERT_TRUE(line.has_value()) << c.representation << " " << c.longName;
            EXPECT_EQ(*line, c.line) << c.representation << " " << c.longName;
        } else {
            EXPECT_FALSE(line.has_value()) << c.representation;
        }
    }
}

TEST(OriginChoice, FromTheQualifier)
{
    const std::pair<const char*, long> cases[] = {
        {"Origin 2", 2}, {"Origin 1", 1}, {"Origin", 0}, {"Origin ", 0}, {"", 0},
        {"Hexagonal axes", 0}, {"Origin 2, rhombohedral", 2}, {"Origin x", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OriginChoice(c.first), c.second) << c.first;
}

namespace {

std::string OperatorBlock(const xxTransformMatrix& op)
{
    std::ostringstream deck;
    WriteSymmetryOperator(deck, op);
    return deck.str();
}

xxTransformMatrix Transform(const double (&r)[3][3], const double (&t)[3])
{
    xxTransformMatrix op;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            op(i + 1, j + 1) = r[i][j];
        op(i + 1, 4) = t[i];
    }
    return op;
}

} // namespace

TEST(SymmetryOperator, IdentityWritesNothing)
{
    xxTransformMatrix identity;
    identity.SetIdentity();
    EXPECT_EQ(OperatorBlock(identity), "");
    // Within the tolerance of 0.001 it is still the identity.
    identity(1, 4) = 0.0009;
    identity(2, 2) = 1.0005;
    EXPECT_EQ(OperatorBlock(identity), "");
    identity(1, 4) = 0.002;
    EXPECT_NE(OperatorBlock(identity), "");
}

TEST(SymmetryOperator, LinesCarryTheRotationColumns)
{
    // -y, x-y, z+1/3: rows (0 -1 0), (1 -1 0), (0 0 1), translation (0 0 1/3).
    const xxTransformMatrix op = Transform({{0, -1, 0}, {1, -1, 0}, {0, 0, 1}}, {0, 0, 1.0 / 3.0});
    EXPECT_EQ(OperatorBlock(op), "symmetry_operator\n"
                                 "   0.000000000000000   1.000000000000000   0.000000000000000   0.000000000000000\n"
                                 "  -1.000000000000000  -1.000000000000000   0.000000000000000   0.000000000000000\n"
                                 "   0.000000000000000   0.000000000000000   1.000000000000000   0.333333333333333\n");
}

TEST(AtomFlags, CartesianFlagsFromTheMask)
{
    const std::pair<long, const char*> cases[] = {
        {0, " 1 1 1 "}, {1, " 0 1 1 "}, {2, " 1 0 1 "}, {4, " 1 1 0 "}, {5, " 0 1 0 "}, {7, " 0 0 0 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CartesianFlags(c.first), c.second) << c.first;
}

TEST(OutputLines, ByTask)
{
    struct Case {
        long task;
        bool pressure, phonon, optics;
        const char* text;
    } cases[] = {
        {1, false, false, false, "output arc job\n"},
        {2, false, false, false, "output movie arc job\n"},
        {3, false, false, false, "output movie arc job\nmdarchive job.arc\noutput trajectory job.trg\n"},
        {3, true, false, false,
         "output movie arc job\nmdarchive job.arc\noutput trajectory job.trg\noutput pressure job.pre\n"},
        {5, false, false, false, "output movie arc job\n"},
        {4, true, true, true, "dump job.res\n"},
        {9, false, false, false, "output arc job\n"},
        {1, false, true, false, "output arc job\noutput phonon job\noutput frc job\n"},
        {2, false, true, true, "output movie arc job\noutput phonon job\noutput frc job\noutput osc job\n"},
        {1, false, false, true, "output arc job\n"},
    };
    for (const Case& c : cases) {
        OutputSettings settings;
        settings.task = c.task;
        settings.base = "job";
        settings.constantPressureDynamics = c.pressure;
        settings.phonon = c.phonon;
        settings.optics = c.optics;
        EXPECT_EQ(OutputLines(settings), c.text) << c.task << c.pressure << c.phonon << c.optics;
    }
}

TEST(DeckFormat, KeywordTextIsPaddedToEightAndNothingElse)
{
    const std::pair<const char*, const char*> cases[] = {
        {"md ", "md      pres \n1.500000\n"},
        {"opti conv ", "opti conv pres \n1.500000\n"},
        {"", "        pres \n1.500000\n"},
        {"12345678", "12345678pres \n1.500000\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream deck;
        SetDeckFormat(deck);
        deck << std::string(c.first) << "pres " << std::endl << 1.5 << std::endl;
        EXPECT_EQ(deck.str(), c.second) << c.first;
    }
}

TEST(DeckFormat, LargeStructureFromOneHundredAndOneAtoms)
{
    EXPECT_FALSE(IsLargeStructure(0));
    EXPECT_FALSE(IsLargeStructure(100));
    EXPECT_TRUE(IsLargeStructure(101));
}

TEST(DeckText, RefusesWhatWouldEndTheLineOrTheQuotedName)
{
    const struct {
        std::string text;
        bool quoted;
        const char* shown;  // the escape the refusal names; nullptr: taken as it is
    } cases[] = {
        {"rock salt (1) é", false, nullptr},
        {"", true, nullptr},
        {"say \"hi\"", false, nullptr},
        {"say \"hi\"", true, "a double quote"},
        {"salt\nend", false, "(\\x0a)"},
        {"salt\r", false, "(\\x0d)"},
        {"tab\there", false, "(\\x09)"},
        {std::string("nul\0x", 5), false, "(\\x00)"},
        {"del\x7f", false, "(\\x7f)"},
        {"next\xc2\x85line", false, "(\\xc2\\x85)"},
        {"csi\xc2\x9b", false, "(\\xc2\\x9b)"},
        {"line\xe2\x80\xa8sep", false, "(\\xe2\\x80\\xa8)"},
        {"para\xe2\x80\xa9sep", true, "(\\xe2\\x80\\xa9)"},
        {"\xc2\xa0no-break and \xe2\x80\xa6", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (!c.shown) {
            EXPECT_EQ(&ZelmDeckLines::DeckText(c.text, "name", c.quoted), &c.text);
            continue;
        }
        try {
            ZelmDeckLines::DeckText(c.text, "fit observable structure name", c.quoted);
            ADD_FAILURE() << "taken";
        } catch (const KelvResult& refusal) {
            EXPECT_EQ(refusal.GetHRESULT(), E_INVALIDARG);
            EXPECT_EQ(refusal.GetMessage().rfind("The fit observable structure name \"", 0), 0u) << refusal.GetMessage();
            EXPECT_NE(refusal.GetMessage().find(c.shown), std::string::npos) << refusal.GetMessage();
        }
    }
    // A long name is quoted bounded in the refusal.
    const std::string huge = std::string(1 << 20, 'x') + "\n";
    try {
        ZelmDeckLines::DeckText(huge, "job name");
        ADD_FAILURE() << "taken";
    } catch (const KelvResult& refusal) {
        EXPECT_LT(refusal.GetMessage().size(), 1000u);
    }
}

namespace {

// A structure as the scope utility tells it: periodic or not, in its
// standard setting or not, with a lattice of the given space-group symbol.
class LatticeUtility : public QzTest::NoScopeUtility
{
public:
    bool periodic = true;
    bool standard = true;
    KelvComPtr<QzTest::PropertyObject<>> lattice = QzTest::Make<QzTest::PropertyObject<>>();

    HRESULT IsPeriodic(ISBScope*, VARIANT_BOOL* answer) override
    {
        *answer = periodic ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT HasNonStandardSetting(ISBScope*, VARIANT_BOOL* answer) override
    {
        *answer = standard ? VARIANT_FALSE : VARIANT_TRUE;
        return S_OK;
    }
    HRESULT NeedsPrimitiveConversion(ISBScope*, VARIANT_BOOL* answer) override
    {
        *answer = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT GetLattice(ISBScope*, IUnknown** out) override
    {
        *out = KelvComPtr<IUnknown>(static_cast<ISDObject*>(lattice.get())).Detach();
        return S_OK;
    }
};

} // namespace

// The space-group symbol is refused where the deck would write it (a 3-D
// periodic structure in its standard setting), naming it; elsewhere the deck
// holds symmetry operators or no symmetry, and the symbol is not looked at.
TEST(StructureText, TheSpaceGroupSymbolIsRefusedWhereTheDeckWritesIt)
{
    const struct {
        const char* symbol;
        bool periodic;
        bool standard;
        bool refused;
    } rows[] = {
        {"F m -3 m", true, true, false},
        {"F m -3 m\nend\nlibrary evil", true, true, true},
        {"P 1\r", true, true, true},
        {"P 1\xc2\x85", true, true, true},
        {"F m -3 m\nend", false, true, false},
        {"F m -3 m\nend", true, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.symbol);
        const auto utility = QzTest::Make<LatticeUtility>();
        utility->periodic = row.periodic;
        utility->standard = row.standard;
        utility->lattice->properties["SpaceGroupLongName"] = KelvVariant(row.symbol);
        const auto document = QzTest::Make<FakeDocument>();
        try {
            CZelmFileWriter::RefuseStructureText(utility.get(), document.get());
            EXPECT_FALSE(row.refused);
        } catch (const KelvResult& refusal) {
            EXPECT_TRUE(row.refused) << refusal.GetMessage();
            EXPECT_EQ(refusal.GetMessage().rfind("The space-group symbol \"", 0), 0u) << refusal.GetMessage();
        }
    }
}
