// The results scope: sorting a folder's outputs into the result categories,
// default selections, the folder it reports, and the shared helpers.
#include "AnalysisHost.h"

namespace {

using namespace AnalysisTest;
using Names = std::vector<std::string>;

class Scope : public Fixture {
protected:
    // Six runs: a with an archive, b with a binary trajectory, c with a
    // whole oscillator file, d with one that lacks the dielectric tensor,
    // e with densities of states, f with a dispersion.
    void MakeRuns()
    {
        for (const char* run : {"a", "b", "c", "d", "e", "f"})
            Put(std::string(run) + ".gout", run == std::string("c") || run == std::string("d")
                                                ? "  Frequency dependent properties : \n"
                                                : "output\n");
        Put("a.arc");
        Put("b.trg");
        Put("c.osc", "oscillator strengths and phonon frequencies\nhigh frequency dielectric constant tensor\n");
        Put("d.osc", "oscillator strengths and phonon frequencies\n");
        Put("e.dens");
        Put("f.disp");
        Put("notes.txt");
    }
};

TEST_F(Scope, SortsOutputsIntoCategoriesAndSelectsTheFirstOfEach)
{
    MakeRuns();
    // The file named is used for its folder only.
    Look("f.gout");
    const struct {
        const char* category;
        Names available;
    } expected[] = {
        {"EnEvol", {"a.gout", "b.gout", "c.gout", "d.gout", "e.gout", "f.gout"}},
        {"Structure", {"a.gout"}},
        {"Trajectory", {"a.gout", "b.gout"}},
        {"Optics", {"c.gout"}},
        {"Phonons", {"e.gout", "f.gout"}},
    };
    for (const auto& row : expected) {
        EXPECT_TRUE(Contains(row.category)) << row.category;
        EXPECT_EQ(Selected(row.category), row.available.front()) << row.category;
        EXPECT_EQ(Available(row.category), row.available) << row.category;
    }
    KelvVariant folder;
    ASSERT_EQ(scope->get_ResultsID(folder.Receive()), S_OK);
    EXPECT_EQ(folder.String(), Results() + "/");

    // A category of another name has nothing and can still be selected.
    EXPECT_FALSE(Contains("Elastic"));
    EXPECT_EQ(Available("Elastic"), Names{});
    Select("Elastic", "a.gout");
    EXPECT_EQ(Selected("Elastic"), "a.gout");
}

TEST_F(Scope, NothingIsKnownBeforeAFolderIsGiven)
{
    MakeRuns();
    // Not even the outputs of the working folder.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(Results());
    EXPECT_EQ(Available("EnEvol"), Names{});
    EXPECT_EQ(Selected("Structure"), "");
    std::filesystem::current_path(before);
    for (const char* category : {"EnEvol", "Structure", "Trajectory", "Optics", "Phonons", "Unknown"})
        EXPECT_FALSE(Contains(category)) << category;
    KelvVariant folder;
    ASSERT_EQ(scope->get_ResultsID(folder.Receive()), S_OK);
    EXPECT_EQ(folder.String(), "");
}

TEST_F(Scope, ASelectionStaysUntilTheFolderIsGivenAgain)
{
    MakeRuns();
    Look("a.gout");
    Select("EnEvol", "c.gout");
    EXPECT_EQ(Selected("EnEvol"), "c.gout");
    Look("c.gout");
    EXPECT_EQ(Selected("EnEvol"), "a.gout");

    // A folder without outputs: empty lists and selections, no error.
    std::filesystem::create_directories(Result("empty"));
    Look("empty/x.gout");
    EXPECT_FALSE(Contains("EnEvol"));
    EXPECT_EQ(Selected("EnEvol"), "");
}

TEST_F(Scope, NullOutputsAndTheScopeItself)
{
    EXPECT_EQ(scope->get_ResultsID(nullptr), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    EXPECT_EQ(scope->get_ContainsResultsForProperty(KelvBSTR("EnEvol").Get(), nullptr), E_POINTER);
    EXPECT_EQ(analysis->get_AnalysisScope(nullptr), E_POINTER);
    KelvComPtr<IQoQMAnalysisScope> same;
    ASSERT_EQ(analysis->get_AnalysisScope(same.Receive()), S_OK);
    EXPECT_EQ(same.get(), scope.get());
}

TEST_F(Scope, InterfacesAndErrorInformation)
{
    const KelvComPtr<ISupportErrorInfo> errors = analysis.QueryInterface<ISupportErrorInfo>();
    for (const IID* iid : {&IID_IZelmAnalysis, &IID_IQoQMAnalysisScope, &IID_ISBContainerRootConsumer})
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(*iid), S_OK);
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ISBLogic), S_FALSE);
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_ISBLogic, &IID_IConnectionPointContainer,
                           &IID_ISBContainerRootConsumer}) {
        KelvComPtr<IUnknown> answer;
        EXPECT_EQ(analysis->QueryInterface(*iid, answer.ReceiveVoid()), S_OK);
    }
    KelvComPtr<ISBLogic> logic = analysis.QueryInterface<ISBLogic>();
    KelvComPtr<ISBState> state;
    EXPECT_EQ(logic->get_State(state.Receive()), S_OK);
}

TEST(UnitCode, ExactNamesOnly)
{
    const std::pair<const char*, LONG> rows[] = {{"eV", 1},  {"Ha", 2},  {"a.u.", 3}, {"meV", 4}, {"cm-1", 5},
                                                 {"THz", 6}, {"MEV", 4}, {"THz ", 4}, {"", 4},    {"thz", 4}};
    for (const auto& [name, code] : rows)
        EXPECT_EQ(UnitCodeFromName(name), code) << '"' << name << '"';
}

TEST_F(Scope, ResultsDocumentsAreMadeInTheProject)
{
    const KelvComPtr<ISBDocumentRoot> document =
        static_cast<CZelmAnalysis*>(analysis.get())->CreateResultsDocument(Result("run Phonon DOS.qcd"),
                                                                            "SDDocuments.Chart2dDocument");
    ASSERT_TRUE(document);
    KelvBSTR url;
    ASSERT_EQ(document->get_DocumentURL(url.Receive()), S_OK);
    EXPECT_EQ(url.ToTString(), Result("run Phonon DOS.qcd"));
    EXPECT_EQ(static_cast<CZelmAnalysis*>(analysis.get())->GetProjectDocumentsFolder(Results()),
              "./results");
}

} // namespace
