// The observables of a fitting run: the rows read from the "ObservableData"
// state, the structures in use and their names, and the "observable" block.
#include "DeckHost.h"

#include "setup/ZelmObservableInfo.h"

#include <filesystem>
#include <sstream>

using namespace DeckTest;

namespace {

struct Row {
    std::string id;
    std::string name;
    int kind;
    int first;
    int second;
    std::string value; // as the state takes it
    bool used;
};

class Observables : public DeckHost
{
protected:
    void SetUp() override
    {
        DeckHost::SetUp();
        first = AddDocument("first", HostModel::Document());
        second = AddDocument("second", HostModel::Document());
        firstId = Model(first)->Id();
        secondId = Model(second)->Id();
    }

    void SetArray(const std::string& key, const std::string& list)
    {
        try {
            host->State("ObservableData")->SetValueFromText(key, list);
        } catch (const KelvResult& error) {
            FAIL() << key << ": " << error.GetMessage();
        }
    }

    void SetRows(const std::vector<Row>& rows)
    {
        std::ostringstream ids, names, kinds, firsts, seconds, values, used;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const char* sep = i ? ", " : "";
            ids << sep << "\"" << rows[i].id << "\"";
            names << sep << "\"" << rows[i].name << "\"";
            kinds << sep << rows[i].kind;
            firsts << sep << rows[i].first;
            seconds << sep << rows[i].second;
            values << sep << rows[i].value;
            used << sep << (rows[i].used ? "true" : "false");
        }
        SetArray("StructureIDArray", "[" + ids.str() + "]");
        SetArray("StructureNameArray", "[" + names.str() + "]");
        SetArray("ObservableArray", "[" + kinds.str() + "]");
        SetArray("FirstIndexArray", "[" + firsts.str() + "]");
        SetArray("SecondIndexArray", "[" + seconds.str() + "]");
        SetArray("ValueArray", "[" + values.str() + "]");
        SetArray("UseObservable", "[" + used.str() + "]");
    }

    std::unique_ptr<CZelmObservableInfo> Info()
    {
        return std::make_unique<CZelmObservableInfo>(KelvComPtr<ISBContainerRoot>(host->Root()));
    }

    // The block of the first structure, or the error's message.
    std::string BlockOfFirst()
    {
        try {
            return Info()->WriteObservables(first.get());
        } catch (const KelvResult& error) {
            return "error: " + error.GetMessage();
        }
    }

    KelvComPtr<ISBDocumentRoot> first;
    KelvComPtr<ISBDocumentRoot> second;
    std::string firstId;
    std::string secondId;
};

} // namespace

TEST_F(Observables, BlockOfThreeObservables)
{
    SetRows({{firstId, "A", 2, 0, 0, "270.5", true},
             {firstId, "A", 5, 4, 0, "512.25", true},
             {firstId, "A", 11, 1, 1, "450", true}});
    EXPECT_EQ(BlockOfFirst(), "observable\nbulk_modulus\n270.5\nfrequency\n4 512.25\nelastic\n1 1 450\nend\n\n");
}

TEST_F(Observables, EveryKind)
{
    struct Case {
        int kind, first, second;
        const char* value;
        const char* lines;
    } cases[] = {
        {1, 1, 1, "5", ""},
        {2, 0, 0, "1000000", "bulk_modulus\n1e+06\n"},
        {3, 0, 0, "0.0001", "shear_modulus\n0.0001\n"},
        {4, 0, 0, "-12.3456789", "energy_of_configuration\n-12.3457\n"},
        {5, 3, 0, "12.5", "frequency\n3 12.5\n"},
        {6, 2, 0, "1.5", "srefractive \n2 1.5\n"},
        {7, 1, 0, "1.25", "hfrefractive \n1 1.25\n"},
        {8, 2, 1, "0.5", "piezoelectric\n2 x 0.5\n"},
        {8, 2, 2, "0.5", "piezoelectric\n2 y 0.5\n"},
        {8, 2, 3, "0.5", "piezoelectric\n2 z 0.5\n"},
        {8, 2, 0, "0.5", "piezoelectric\n2 0.5\n"},
        {8, 2, -1, "0.5", "piezoelectric\n2 0.5\n"},
        {9, 1, 2, "3", "sdlc\n1 2 3\n"},
        {10, 3, 3, "2.25", "hfdlc\n3 3 2.25\n"},
        {11, 4, 4, "0.00001", "elastic\n4 4 1e-05\n"},
    };
    for (const Case& c : cases) {
        SetRows({{firstId, "A", c.kind, c.first, c.second, c.value, true}});
        EXPECT_EQ(BlockOfFirst(), std::string("observable\n") + c.lines + "end\n\n") << c.kind << " " << c.second;
    }
}

TEST_F(Observables, KindsThatCannotBeWritten)
{
    SetRows({{firstId, "A", 12, 0, 0, "1", true}});
    EXPECT_EQ(BlockOfFirst(), "error: Observable not recognized");
    SetRows({{firstId, "A", 0, 0, 0, "1", true}});
    EXPECT_EQ(BlockOfFirst(), "error: Observable not recognized");
    SetRows({{firstId, "A", 8, 1, 4, "1", true}});
    EXPECT_EQ(BlockOfFirst(), "error: Piezoelectric 2nd index out of range");
}

TEST_F(Observables, UnusedAndForeignRowsAreNotExamined)
{
    SetRows({{firstId, "A", 12, 0, 0, "1", false},
             {secondId, "B", 99, 0, 0, "1", true},
             {firstId, "A", 3, 0, 0, "7", true}});
    EXPECT_EQ(BlockOfFirst(), "observable\nshear_modulus\n7\nend\n\n");
}

TEST_F(Observables, UsedStructuresInOrderOfTheirFirstRowAndLastNameWins)
{
    SetRows({{firstId, "unused", 2, 0, 0, "1", false},
             {secondId, "B", 1, 0, 0, "1", true},
             {firstId, "A1", 2, 0, 0, "1", true},
             {secondId, "B2", 2, 0, 0, "1", true},
             {firstId, "A2", 2, 0, 0, "1", true},
             {firstId, "late but unused", 2, 0, 0, "1", false}});
    const auto info = Info();
    const auto used = info->GetUsedStructures();
    ASSERT_EQ(used.size(), 2u);
    EXPECT_EQ(used[0].get(), second.get());
    EXPECT_EQ(used[1].get(), first.get());
    const auto names = info->GetUsedStructureNames();
    EXPECT_EQ(names.at(first.get()), "A2");
    EXPECT_EQ(names.at(second.get()), "B2");
    // A structure whose only rows are of kind 1 is used and gets an empty block.
    SetRows({{firstId, "A", 1, 0, 0, "1", true}});
    EXPECT_EQ(Info()->GetUsedStructures().size(), 1u);
    EXPECT_EQ(BlockOfFirst(), "observable\nend\n\n");
}

TEST_F(Observables, ArraysOfUnequalLengthNameTheShorterOne)
{
    SetRows({{firstId, "A", 2, 0, 0, "1", true}, {firstId, "A", 2, 0, 0, "2", true}});
    SetArray("ValueArray", "[1.0]");
    try {
        Info();
        ADD_FAILURE() << "unequal arrays";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_EQ(error.GetMessage(), "The observable data array \"ValueArray\" holds 1 entries, fewer than the 2 "
                                      "observable rows.");
    }
}

TEST_F(Observables, ARowNamingAMissingDocumentFailsBeforeAnyStructure)
{
    SetRows({{firstId, "A", 2, 0, 0, "1", true}, {"{0000-gone}", "lost salt", 2, 0, 0, "1", true}});
    const auto info = Info();
    try {
        info->CheckUsedStructuresFound();
        ADD_FAILURE() << "missing document";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetMessage(), "The observables name the structure \"lost salt\" (document identifier "
                                      "\"{0000-gone}\"), which is not in the project.");
    }

    // Through the request: nothing of the structures is written.
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    Set("ZelmLogic", "Task", int32_t(4));
    const std::string out = folder.File("out");
    std::filesystem::create_directories(out);
    HRESULT hr = S_OK;
    Save(Contents(first), out, &hr);
    EXPECT_EQ(hr, E_UNEXPECTED);
    EXPECT_NE(failure.find("lost salt"), std::string::npos) << failure;
    const std::string deck = QzTest::ReadFile(out + "/rocksalt.gin");
    EXPECT_EQ(deck.find("name "), std::string::npos) << deck;
}

TEST_F(Observables, ObservableDataObjectAllowsEveryRun)
{
    const KelvComPtr<ISBLogic> logic = host->Logic(QzHost::ModuleExtensionName, "ObservableData");
    ASSERT_TRUE(logic);
    const auto data = logic.QueryInterface<IQoZelmObservableData>();
    VARIANT_BOOL canRun = 0;
    EXPECT_EQ(data->ObservableRunCheck(&canRun), S_OK);
    EXPECT_EQ(canRun, VARIANT_TRUE);
    EXPECT_EQ(data->ObservableRunCheck(nullptr), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    const auto errors = logic.QueryInterface<ISupportErrorInfo>();
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IQoZelmObservableData), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IZelm), S_FALSE);

    // The logic object hands out no observables object.
    IQoZelmObservableData* handed = reinterpret_cast<IQoZelmObservableData*>(0x1);
    EXPECT_EQ(Zelm()->get_ObservableData(&handed), S_OK);
    EXPECT_EQ(handed, nullptr);
    EXPECT_EQ(Zelm()->get_ObservableData(nullptr), E_POINTER);
}

TEST_F(Observables, FittedStructuresCarryTheirOwnFixingFlags)
{
    // Two molecules whose atoms share identifiers: only the request's
    // magnesium is fixed in y.
    HostModel::Document fixedOne;
    const HostModel::Handle fixed = fixedOne.AddAtom("Mg", {0.0, 0.0, 0.0});
    fixedOne.SetFixedMask(fixed, HostModel::FixedY);
    HostModel::Document freeOne;
    freeOne.AddAtom("Mg", {0.0, 0.0, 1.0});
    const auto request = AddDocument("fixed", fixedOne);
    const auto other = AddDocument("free", freeOne);
    ASSERT_EQ(Model(request)->Atoms().front().id, Model(other)->Atoms().front().id);
    SetRows({{Model(other)->Id(), "free", 2, 0, 0, "1", true}, {Model(request)->Id(), "fixed", 2, 0, 0, "2", true}});
    UseProjectLibrary("magnesium", "species\nMg core 2.0\n");
    Set("ZelmLogic", "Task", int32_t(4));
    const std::string out = folder.File("out");
    std::filesystem::create_directories(out);
    ASSERT_EQ(Save(Contents(request), out), "magnesium.gin");
    const std::string deck = QzTest::ReadFile(out + "/magnesium.gin");
    EXPECT_NE(deck.find("name \"free\"\ncartesian\nMg1 core 0.000000 0.000000 1.000000 2.000000 1.000000 0.0 1 1 1 \n"),
              std::string::npos)
        << deck;
    EXPECT_NE(deck.find("name \"fixed\"\ncartesian\nMg1 core 0.000000 0.000000 0.000000 2.000000 1.000000 0.0 1 0 1 \n"),
              std::string::npos)
        << deck;
}
