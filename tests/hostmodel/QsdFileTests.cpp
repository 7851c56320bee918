#include "ModelFixtures.h"

#include "host/model/QsdFile.h"
#include "common/FailingWrite.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <fstream>

#include <unistd.h>

using namespace HostModelTest;
namespace fs = std::filesystem;

namespace {

class QsdFile : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_folder.File(name); }

    QzTest::TempFolder m_folder{"hostmodel"};
};

std::shared_ptr<Document> RichDocument()
{
    auto d = RockSalt();
    const auto& a = d->Atoms();
    const Handle na = a[0].handle, naImage = a[2].handle, cl = a[4].handle;
    d->SetProperty("_ParentDocID", "{11111111-2222-3333-4444-555555555555}");
    d->SetCharge(na, 1.0);
    d->SetFormalCharge(cl, {-1, 1});
    d->SetForcefieldType(cl, "Cl_");
    d->SetFixedMask(na, FixedX | FixedZ);
    d->SetId(naImage, 42);
    d->SetSelected(naImage, true);
    d->AddBond(na, cl, 1);
    d->AddPiSystem({na, naImage});
    d->CreateSet("SurfaceAtoms", false);
    d->AddToSet("SurfaceAtoms", cl);
    d->AddToSet("SurfaceAtoms", naImage);
    d->CreateSet("AttachmentLayer");
    SurfaceDescription s;
    s.plane = "(1 0 0)";
    s.h = 1;
    s.relativeDepth = 1.5;
    s.absoluteDepth = 8.4603;
    s.dSpacing = 5.6402;
    d->SetSurface(s);
    return d;
}

} // namespace

TEST_F(QsdFile, RoundTripKeepsEverything)
{
    auto d = RichDocument();
    SaveQsd(*d, Path("salt.qsd"));
    auto back = LoadQsd(Path("salt.qsd"));
    EXPECT_EQ(back->Url(), Path("salt.qsd"));
    EXPECT_EQ(back->Name(), "NaCl");
    EXPECT_EQ(back->Id(), d->Id());
    EXPECT_EQ(back->Property("_ParentDocID"), d->Property("_ParentDocID"));
    EXPECT_EQ(back->GetSymmetry().Number(), 225);
    EXPECT_NEAR(back->Lattice3()->Parameters().a, 5.6402, 1e-12);
    ASSERT_EQ(back->Atoms().size(), d->Atoms().size());
    for (std::size_t i = 0; i < d->Atoms().size(); ++i) {
        const Atom& x = d->Atoms()[i];
        const Atom& y = back->Atoms()[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(y.element, x.element);
        EXPECT_EQ(y.forcefieldType, x.forcefieldType);
        EXPECT_DOUBLE_EQ(y.charge, x.charge);
        EXPECT_EQ(y.formalCharge, x.formalCharge);
        EXPECT_EQ(y.id, x.id);
        EXPECT_EQ(y.selected, x.selected);
        EXPECT_EQ(y.fixedMask, x.fixedMask);
        EXPECT_EQ(y.IsSymmetryParent(), x.IsSymmetryParent());
        EXPECT_EQ(y.operatorIndex, x.operatorIndex);
        EXPECT_TRUE(Near(y.position, x.position, 1e-15));
    }
    ASSERT_EQ(back->Bonds().size(), 1u);
    EXPECT_EQ(back->IndexOf(back->Bonds()[0].atom2), 4u);
    ASSERT_EQ(back->PiSystems().size(), 1u);
    EXPECT_EQ(back->PiSystems()[0].atoms.size(), 2u);
    EXPECT_FALSE(back->Sets().at("SurfaceAtoms").visible);
    EXPECT_EQ(back->SetAtoms("SurfaceAtoms").size(), 2u);
    EXPECT_TRUE(back->HasSet("AttachmentLayer"));
    EXPECT_TRUE(back->SetIsEmpty("AttachmentLayer"));
    EXPECT_EQ(back->SetNames(), (std::vector<std::string>{"SurfaceAtoms", "AttachmentLayer"})) << "creation order";
    EXPECT_EQ(back->Surface().plane, "(1 0 0)");
    EXPECT_DOUBLE_EQ(back->Surface().absoluteDepth, 8.4603);
    // Saving the loaded document gives the same text.
    EXPECT_EQ(QsdText(*back), QsdText(*d));
}

TEST_F(QsdFile, SlabsAndMoleculesRoundTrip)
{
    auto slab = std::make_shared<Document>();
    slab->SetSurfaceCell({3.0, 4.0, Radians(100)});
    slab->AddAtomAt("Mg", {0.5, 0.25, -1.2});
    auto slabBack = DocumentFromQsdText(QsdText(*slab));
    ASSERT_EQ(slabBack->GetPeriodicity(), Periodicity::Surface2D);
    EXPECT_NEAR(Degrees(slabBack->Lattice2()->Parameters().theta), 100.0, 1e-12);
    EXPECT_TRUE(Near(slabBack->Atoms()[0].position, {0.5, 0.25, -1.2}));

    Document molecule;
    molecule.AddAtom("O", {0, 0, 0.1173});
    molecule.AddAtom("H", {0, 0.7572, -0.4692});
    auto moleculeBack = DocumentFromQsdText(QsdText(molecule));
    EXPECT_EQ(moleculeBack->GetPeriodicity(), Periodicity::None);
    EXPECT_TRUE(Near(moleculeBack->Cartesian(moleculeBack->Atoms()[1].handle), {0, 0.7572, -0.4692}));
}

TEST_F(QsdFile, StoredImagesAreCheckedAgainstTheOperators)
{
    // A hand-edited copper cell: one image listed twice (operator 1) and the
    // other two missing. The operators decide which images exist; a stored
    // image keeps its ID and selection.
    const std::string text = R"({
      "format": "QorZelm structure document", "version": 1, "name": "Cu",
      "periodicity": "3D",
      "cell": {"a": 3.615, "b": 3.615, "c": 3.615, "alpha": 90, "beta": 90, "gamma": 90},
      "symmetry": {"operators": ["x,y,z", "x,y+1/2,z+1/2", "x+1/2,y,z+1/2", "x+1/2,y+1/2,z"]},
      "atoms": [
        {"element": "Cu", "position": [0, 0, 0], "id": 1},
        {"imageOf": 0, "operator": 1, "id": 7, "selected": true},
        {"imageOf": 0, "operator": 1, "id": 8}
      ],
      "sets": [{"name": "SurfaceAtoms", "atoms": [2, 0]}]
    })";
    auto d = DocumentFromQsdText(text);
    ASSERT_EQ(d->Atoms().size(), 4u);
    EXPECT_EQ(d->Atoms()[1].id, 7);
    EXPECT_TRUE(d->Atoms()[1].selected);
    EXPECT_EQ(d->Multiplicity(d->Atoms()[0].handle), 4);
    EXPECT_EQ(d->SetAtoms("SurfaceAtoms"), std::vector<Handle>{d->Atoms()[0].handle});
}

TEST_F(QsdFile, MalformedTextIsRefusedWithAReason)
{
    const char* head = R"("format": "QorZelm structure document", "version": 1, )";
    const std::string cases[] = {
        "",
        "{",
        "[1, 2, 3]",
        R"({"format": "something else", "version": 1})",
        std::string("{") + R"("format": "QorZelm structure document", "version": 99})",
        std::string("{") + head + R"("periodicity": "4D"})",
        std::string("{") + head + R"("periodicity": "3D"})",
        std::string("{") + head + R"("periodicity": "3D", "cell": {"a": 1, "b": 1, "c": 1, "alpha": 0, "beta": 90, "gamma": 90}})",
        std::string("{") + head + R"("atoms": [{"element": "C"}]})",
        std::string("{") + head + R"("atoms": [{"element": "C", "position": [0, 0]}]})",
        std::string("{") + head + R"("atoms": [{"element": "C", "position": [0, 0, "x"]}]})",
        std::string("{") + head + R"("atoms": [{"element": "C", "position": [0, 0, 0], "formalCharge": [1, 0]}]})",
        std::string("{") + head + R"("atoms": [{"imageOf": 0, "operator": 1}]})",
        std::string("{") + head + R"("atoms": [{"element": "C", "position": [0, 0, 0]}, {"imageOf": 0, "operator": 1}]})",
        std::string("{") + head + R"("atoms": [{"element": "C", "position": [0, 0, 0]}], "bonds": [{"atoms": [0, 5]}]})",
        std::string("{") + head + R"("atoms": [{"element": "C", "position": [0, 0, 0]}], "bonds": [{"atoms": [0, 0]}]})",
        std::string("{") + head + R"("atoms": [{"element": "C", "position": [0, 0, 0]}], "sets": [{"name": "S", "atoms": [-1]}]})",
        std::string("{") + head + R"("sets": [{"name": "S"}, {"name": "S"}]})",
        std::string("{") + head + R"("sets": [{"atoms": []}]})",
        // A periodic position so far from the cell that its images cannot be placed.
        std::string("{") + head + R"("periodicity": "3D", "cell": {"a": 4, "b": 4, "c": 4, "alpha": 90, "beta": 90, "gamma": 90}, "atoms": [{"element": "C", "position": [1e308, 0, 0]}]})",
        std::string("{") + head + R"("periodicity": "2D", "surfaceCell": {"u": 4, "v": 4, "theta": 90}, "atoms": [{"element": "C", "position": [0, -2e6, 0]}]})",
        std::string("{") + head + R"("periodicity": "3D", "cell": {"a": 1, "b": 1, "c": 1, "alpha": 90, "beta": 90, "gamma": 90}, "symmetry": {"operators": ["x,y"]}})",
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        EXPECT_THROW(DocumentFromQsdText(text), FileError);
    }
}

// Every whole number of a document is checked against its range before it is
// converted: a number beyond an int is refused with what it was for.
TEST_F(QsdFile, NumbersBeyondTheirRangeAreRefusedByWhatTheyAre)
{
    const std::string head = R"({"format": "QorZelm structure document", "version": 1, )";
    const std::string atom = R"({"element": "C", "position": [0, 0, 0])";
    const std::string cell = R"("periodicity": "3D", "cell": {"a": 4, "b": 4, "c": 4, "alpha": 90, "beta": 90, "gamma": 90}, )";
    const std::pair<std::string, const char*> cases[] = {
        {head + R"("atoms": [)" + atom + R"(, "formalCharge": [1.3e37, 1]}]})", "numerator"},
        {head + R"("atoms": [)" + atom + R"(, "formalCharge": [-1, -1.8e77]}]})", "denominator"},
        {head + R"("atoms": [)" + atom + R"(, "formalCharge": [2147483648, 1]}]})", "numerator"},
        {head + R"("atoms": [)" + atom + R"(, "id": 1.3e37}]})", "the id"},
        {head + R"("atoms": [)" + atom + R"(, "id": 18446744073709551615}]})", "the id"},
        {head + R"("atoms": [)" + atom + R"(, "fixed": -1.8e77}]})", "fixing flags"},
        {head + R"("atoms": [)" + atom + R"(}, {"imageOf": 0, "operator": -1e30}]})", "operator"},
        {head + R"("atoms": [)" + atom + R"(}, )" + atom + R"(}], "bonds": [{"atoms": [0, 1], "order": 1e300}]})", "bond order"},
        {head + R"("atoms": [)" + atom + R"(}], "bonds": [{"atoms": [0, 18446744073709551615]}]})", "does not exist"},
        {head + cell + R"("symmetry": {"operators": ["x,y,z"], "number": 1e40}})", "space group number"},
        {head + cell + R"("symmetry": {"operators": ["x,y,z"], "representation": -3e9}})", "representation"},
        {head + R"j("surface": {"plane": "(0 0 1)", "l": 9e99}})j", "Miller index l"},
        {R"({"format": "QorZelm structure document", "version": 1e300})", "version"},
    };
    for (const auto& [text, what] : cases) {
        SCOPED_TRACE(text);
        try {
            DocumentFromQsdText(text);
            ADD_FAILURE() << "accepted";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    }
}

TEST_F(QsdFile, TruncatedAndMissingFilesFailCleanly)
{
    const std::string full = QsdText(*RichDocument());
    for (std::size_t cut : {full.size() / 4, full.size() / 2, full.size() - 3}) {
        std::ofstream(Path("cut.qsd"), std::ios::binary) << full.substr(0, cut);
        EXPECT_THROW(LoadQsd(Path("cut.qsd")), FileError);
    }
    // The message names the file once.
    try {
        LoadQsd(Path("cut.qsd"));
    } catch (const FileError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("\"" + Path("cut.qsd") + "\" cannot be read: "), std::string::npos) << text;
        EXPECT_EQ(text.find("cut.qsd"), text.rfind("cut.qsd")) << text;
    }
    EXPECT_THROW(LoadQsd(Path("absent.qsd")), FileError);
    EXPECT_THROW(SaveQsd(*RichDocument(), Path("no-such-folder/x.qsd")), FileError);
}

TEST_F(QsdFile, Latin1TextSurvivesTheFile)
{
    // Host text is Latin-1 bytes ("\xC5" is Å); the file holds UTF-8.
    auto d = RockSalt();
    d->SetName("Na\xC5 cell");
    d->SetProperty("Note\xE9", "\xC5ngstr\xF6m");
    d->SetForcefieldType(d->Atoms()[4].handle, "Cl\xE9");
    d->CreateSet("Surf\xE9");
    SaveQsd(*d, Path("latin1.qsd"));
    auto back = LoadQsd(Path("latin1.qsd"));
    EXPECT_EQ(back->Name(), "Na\xC5 cell");
    EXPECT_EQ(back->Properties().at("Note\xE9"), "\xC5ngstr\xF6m");
    EXPECT_EQ(back->Atoms()[4].forcefieldType, "Cl\xE9");
    EXPECT_EQ(back->SetNames(), std::vector<std::string>{"Surf\xE9"});
}

// A save that runs out of room half-way (structure and trajectory documents
// alike) reports the failure and leaves the previous file whole, with no
// partial file beside it.
TEST_F(QsdFile, SaveFailingHalfWayLeavesThePreviousFileWhole)
{
    for (const char* name : {"salt.qsd", "run.qtd"}) {
        SCOPED_TRACE(name);
        auto previous = RockSalt();
        previous->SetName("previous");
        SaveQsd(*previous, Path(name));
        const std::string before = QzTest::ReadFile(Path(name));
        const auto rich = RichDocument();
        ASSERT_GT(QsdText(*rich).size(), 1024u);

        const auto outcome = QzTest::WriteWithFileSizeLimit([&] { SaveQsd(*rich, Path(name)); }, 1024);
        EXPECT_EQ(outcome, QzTest::WriteOutcome::Threw);
        EXPECT_EQ(QzTest::ReadFile(Path(name)), before);
        EXPECT_EQ(m_folder.Entries(), std::vector<std::string>{name});
        fs::remove(Path(name));
    }
}

// Atoms the file gives no id get fresh ones after the highest, so that the
// document saves as a file that loads again.
TEST_F(QsdFile, AtomsWithoutIdGetFreshOnesAndSaveAgain)
{
    const std::string text = R"({"format": "QorZelm structure document", "version": 1, "periodicity": "none",
        "atoms": [{"element": "O", "position": [0, 0, 0]},
                  {"element": "H", "position": [0.96, 0, 0], "id": 7},
                  {"element": "H", "position": [-0.24, 0.93, 0]}]})";
    auto d = DocumentFromQsdText(text);
    ASSERT_EQ(d->Atoms().size(), 3u);
    EXPECT_EQ(d->Atoms()[0].id, 8);
    EXPECT_EQ(d->Atoms()[1].id, 7);
    EXPECT_EQ(d->Atoms()[2].id, 9);
    EXPECT_NO_THROW(DocumentFromQsdText(QsdText(*d)));
}

// The atoms, written one by one, stand in the file exactly as a tree of the
// whole document lays them out, so the file reads the same and stays stable.
TEST_F(QsdFile, AtomsWrittenOneByOneKeepTheDocumentsLayout)
{
    auto rich = RichDocument();
    rich->SetOccupancy(rich->Atoms()[4].handle, 0.25);
    rich->SetForcefieldType(rich->Atoms()[0].handle, "Na\xC5");
    for (const auto& d : {rich, std::make_shared<Document>()}) {
        const std::string text = QsdText(*d);
        EXPECT_EQ(nlohmann::json::parse(text).dump(2) + "\n", text);
        EXPECT_EQ(QsdText(*DocumentFromQsdText(text)), text);
    }
}

TEST_F(QsdFile, AtomIndicesOutsideTheListAreRefusedByWhatNamesThem)
{
    // Three atoms, numbered 0 to 2; a symmetry image may name only the atoms
    // before it. Index 3, the count, is one past the end.
    const std::string head = R"({"format": "QorZelm structure document", "version": 1, "periodicity": "3D",
        "cell": {"a": 4, "b": 4, "c": 4, "alpha": 90, "beta": 90, "gamma": 90},
        "symmetry": {"operators": ["x,y,z", "-x,-y,-z"]}, "atoms": [)";
    const std::string atoms = R"({"element": "C", "position": [0.1, 0.2, 0.3]}, {"element": "O", "position": [0.3, 0.1, 0.2]},
        {"element": "N", "position": [0.2, 0.3, 0.1]})";
    const std::string three = atoms + "]";
    // A partner for a bond's other end that makes no bond to itself.
    const auto other = [](const std::string& i, const char* first, const char* second) {
        return i == first ? std::string(second) : std::string(first);
    };
    const struct {
        const char* referrer;
        std::function<std::string(const std::string& index)> text;
        const char* named;  // how the message names what refers to the atom
    } rows[] = {
        {"a bond's first atom",
         [&](const std::string& i) {
             return head + three + R"(, "bonds": [{"atoms": [)" + i + ", " + other(i, "0", "1") + "]}]}";
         },
         "Bond 1"},
        {"a bond's second atom",
         [&](const std::string& i) {
             return head + three + R"(, "bonds": [{"atoms": [0, 1]}, {"atoms": [)" + other(i, "2", "0") + ", " + i +
                    "]}]}";
         },
         "Bond 2"},
        {"a pi-system", [&](const std::string& i) { return head + three + R"(, "piSystems": [[)" + i + "]]}"; },
         "Pi-system 1"},
        {"a set", [&](const std::string& i) { return head + three + R"(, "sets": [{"name": "top", "atoms": [)" + i + "]}]}"; },
         "The atom set 'top'"},
        {"an image", [&](const std::string& i) { return head + atoms + R"(, {"imageOf": )" + i + R"(, "operator": 1}]})"; },
         "The symmetry image Atom 4"},
    };
    const struct {
        const char* index;
        bool taken;
    } indices[] = {{"0", true}, {"1", true}, {"2", true}, {"3", false}, {"4", false}, {"-1", false},
                   {"4294967298", false}, {"1.0", false}, {"\"1\"", false}};
    for (const auto& row : rows) {
        for (const auto& index : indices) {
            SCOPED_TRACE(std::string(row.referrer) + " at " + index.index);
            const std::string text = row.text(index.index);
            if (index.taken) {
                EXPECT_NO_THROW(DocumentFromQsdText(text));
                continue;
            }
            try {
                DocumentFromQsdText(text);
                ADD_FAILURE() << "accepted";
            } catch (const FileError& e) {
                const std::string message = e.what();
                EXPECT_NE(message.find(std::string(row.named) + " refers to an atom that does not exist: "),
                          std::string::npos)
                    << message;
                EXPECT_NE(message.find("(the atoms it may name are 0 to 2)"), std::string::npos) << message;
            }
        }
    }
    // Nothing to name at all.
    try {
        DocumentFromQsdText(head + R"({"imageOf": 0, "operator": 1}]})");
        ADD_FAILURE() << "accepted";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("The symmetry image Atom 1 refers to an atom that does not exist: 0 "
                                             "(there is no atom it may name)"),
                  std::string::npos)
            << e.what();
    }
}
