// The small utilities of jobs and documents: file-value writing, automatic
// file deletion, safe names, file-transfer items, project documents and the
// data-model readers.

#include "qorqm/CAutoFileDelete.h"
#include "qorqm/CDocManagementUtility.h"
#include "qorqm/DMUtilities.h"
#include "qorqm/FTIUtilities.h"
#include "qorqm/QMFileUtilities.h"
#include "qorqm/SafeName.h"

#include "FakeHost.h"
#include "common/TempFolder.h"
#include "common/KelvResults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>

using QzTest::CodeOf;
using QzTest::TempFolder;

using namespace Fakes;

namespace {

TEST(QMFileUtilities, TokensAreSplitAtAnyWhitespace) {
    EXPECT_EQ((std::vector<std::string>{"Dimensionality", "=", "3"}),
              QMFileUtilities::ExtractTokens("  Dimensionality\t=  3\r\n"));
    EXPECT_TRUE(QMFileUtilities::ExtractTokens(" \t \r").empty());
}

TEST(QMFileUtilities, ValuesFillTheirFieldAndNeverRunTogether) {
    std::ostringstream out;
    out.setf(std::ios::fixed, std::ios::floatfield);
    out.precision(6);
    QMFileUtilities::WriteValue(out, -0.5, 20, 15);
    QMFileUtilities::WriteValue(out, 1.0, 20, 15);
    EXPECT_EQ("  -0.500000000000000   1.000000000000000", out.str());
    // The caller's format is untouched.
    out << ' ' << 0.25;
    EXPECT_EQ("  -0.500000000000000   1.000000000000000 0.250000", out.str());

    std::ostringstream wide;
    QMFileUtilities::WriteValue(wide, 12345.5, 20, 15);
    QMFileUtilities::WriteValue(wide, -1.0, 4, 2);
    EXPECT_EQ(" 12345.500000000000000 -1.00", wide.str());
}

TEST(CAutoFileDelete, DeletesItsFileOnEveryWayOutOfTheScope) {
    TempFolder folder;
    const std::string normal = folder.Write("run_TDE_.arc", "frame");
    { CAutoFileDelete guard(normal); }
    EXPECT_FALSE(std::filesystem::exists(normal));

    const std::string thrown = folder.Write("other_TDE_.arc", "frame");
    try {
        CAutoFileDelete guard(thrown);
        throw std::runtime_error("reader failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(std::filesystem::exists(thrown));

    // Backslash paths are understood; a file already gone is no error.
    const std::string windowsStyle = folder.Write("w.arc");
    { CAutoFileDelete guard(folder.Path() + "\\w.arc"); }
    EXPECT_FALSE(std::filesystem::exists(windowsStyle));
    { CAutoFileDelete guard(folder.Path() + "/never-made.arc"); }
}

TEST(CAutoFileDelete, NeverDeletesAFolder) {
    TempFolder folder;
    const std::string inner = folder.Path() + "/results";
    std::filesystem::create_directory(inner);
    folder.Write("results/keep.gout", "x");
    { CAutoFileDelete guard(inner); }
    EXPECT_TRUE(std::filesystem::exists(inner + "/keep.gout"));
}

TEST(SafeFileName, OneRuleForFilesAndJobs) {
    struct Case {
        std::string name;
        bool windowsSafeOnly;
        bool allowWild;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"Quartz ZELM GeomOpt", false, false, "Quartz ZELM GeomOpt"},
        {"Na+Cl-(1 0 0).v2", false, false, "Na_Cl-_1 0 0_.v2"},
        {"a/b\\c:d*e?f", false, false, "a_b_c_d_e_f"},
        {"a/b\\c:d*e?f", false, true, "a_b_c_d*e?f"},
        {"a/b\\c:d*e?f", true, false, "a_b_c_d_e_f"},
        {"Na+Cl (1,0,0) [x]", true, false, "Na+Cl (1,0,0) [x]"},
        {"tab\there|\"q\"<>", true, false, "tab_here__q___"},
        {"\xC5ngstr\xF6m", false, false, "_ngstr_m"},
        {"\xC5ngstr\xF6m", true, false, "\xC5ngstr\xF6m"},
        {"..", false, false, "__"},
        {".", true, false, "_"},
        {"..hidden", false, false, "..hidden"},
        {"", false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string safe = QorQMUtilities::MakeSafeFileName(c.name, c.windowsSafeOnly, c.allowWild);
        EXPECT_EQ(c.expected, safe);
        EXPECT_EQ(c.name.size(), safe.size());
        // Applying the rule again changes nothing.
        EXPECT_EQ(safe, QorQMUtilities::MakeSafeFileName(safe, c.windowsSafeOnly, c.allowWild));
    }
}

TEST(SafeName, AsksTheJobAndPassesItsErrorsOn) {
    auto task = Make<Task>();
    const SafeName safe(KelvComPtr<ISBManagedTask>(task.get()));
    EXPECT_EQ("safe:Quartz", safe("Quartz"));
    EXPECT_EQ((std::vector<std::string>{"Quartz"}), task->safeNameCalls);

    task->failSafeName = true;
    std::string message;
    EXPECT_EQ(E_UNEXPECTED, CodeOf([&] { safe("Quartz"); }, message));
    EXPECT_EQ("No server for this job", message);

    const SafeName noJob(static_cast<ISBManagedTask*>(nullptr));
    EXPECT_EQ(E_POINTER, CodeOf([&] { noJob("x"); }, message));
}

TEST(FTIUtilities, ItemsReachTheJobWithEveryFieldInOrder) {
    auto task = Make<Task>();
    const FTIUtilities::CFTIHelper helper(task.get());
    helper.AddFTI(FTIUtilities::CFTI("/jobs/run/Quartz.gin", 0x31, 0, KelvVariant("Quartz"), KelvVariant(),
                                     KelvVariant(), KelvVariant()));
    helper.AddFTI(FTIUtilities::CFTI("/jobs/run/Quartz.qsd", 0x20, 0x44));
    ASSERT_EQ(2u, task->transfers.size());
    const TransferCall& deck = task->transfers[0];
    EXPECT_EQ("/jobs/run/Quartz.gin", deck.descriptor);
    EXPECT_EQ(0x31, deck.upload);
    EXPECT_EQ(0, deck.download);
    EXPECT_EQ(VT_BSTR, deck.identifierType);
    EXPECT_EQ("Quartz", deck.identifier);
    const TransferCall& structure = task->transfers[1];
    EXPECT_EQ(0x20, structure.upload);
    EXPECT_EQ(0x44, structure.download);
    EXPECT_EQ(VT_EMPTY, structure.identifierType);
    EXPECT_EQ(VT_EMPTY, structure.docType);
    EXPECT_EQ(VT_EMPTY, structure.importExport);
    EXPECT_EQ(VT_EMPTY, structure.viewer);

    std::string message;
    EXPECT_EQ(E_INVALIDARG, CodeOf([&] { helper.AddFTI(FTIUtilities::CFTI("", 0x10, 0x83)); }, message));
    task->failTransfers = true;
    EXPECT_EQ(E_FAIL, CodeOf([&] { helper.AddFTI(FTIUtilities::CFTI("/jobs/run/x.arc", 0x10, 0x83)); }, message));
    EXPECT_EQ("The job has started already", message);
    EXPECT_EQ(2u, task->transfers.size());
}

TEST(CDocManagementUtility, FindsOrMakesProjectDocumentsAndAssociatesThem) {
    auto root = Make<Root>();
    auto& manager = *root->documents;
    auto existing = Make<Document>(nullptr, "/project/results/Quartz.qsd");
    manager.documents["/project/results/Quartz.qsd"] = KelvComPtr<ISBDocumentRoot>(existing.get());
    const CDocManagementUtility docs(root.get());

    EXPECT_EQ(existing.get(), docs.FindDocument("/project/results/Quartz", ".qsd").get());
    EXPECT_FALSE(docs.FindDocument("/project/results/Other", ".qsd"));

    bool created = true;
    auto found = docs.FindOrCreateDocument("/project/results/", "Quartz.qsd", "SDDocuments.Atomistic3dDocument",
                                           created);
    EXPECT_FALSE(created);
    EXPECT_EQ(existing.get(), found.get());
    EXPECT_TRUE(manager.newCalls.empty());

    auto chart = docs.FindOrCreateDocument("/project/results", "Quartz Energies.qcd", "SDDocuments.Chart2dDocument",
                                           created);
    EXPECT_TRUE(created);
    ASSERT_TRUE(chart);
    ASSERT_EQ(1u, manager.newCalls.size());
    EXPECT_EQ("SDDocuments.Chart2dDocument", manager.newCalls[0].progId);
    EXPECT_EQ("/project/results/Quartz Energies.qcd", manager.newCalls[0].path);
    EXPECT_EQ(0, manager.newCalls[0].flags);
    EXPECT_EQ("Quartz Energies", manager.newCalls[0].name);
    // Asked again, the document made before is found.
    docs.FindOrCreateDocument("/project/results", "Quartz Energies.qcd", "SDDocuments.Chart2dDocument", created);
    EXPECT_FALSE(created);

    docs.AssociateDocuments(chart, "QorQMUtilities.ChartTrajectoryEventHandler", "/project/results/Quartz.qtd");
    ASSERT_EQ(1u, manager.associations.size());
    EXPECT_EQ(static_cast<IUnknown*>(chart.get()), manager.associations[0].first);
    EXPECT_EQ("QorQMUtilities.ChartTrajectoryEventHandler|/project/results/Quartz.qtd", manager.associations[0].second);

    std::string message;
    const CDocManagementUtility noRoot(static_cast<ISBContainerRoot*>(nullptr));
    EXPECT_EQ(E_POINTER, CodeOf([&] { noRoot.FindDocument("/a", ".qsd"); }, message));
}

TEST(DMUtilities, ValuesItemsOperatorsAndFractionalPositions) {
    auto atom = Make<Atom>();
    atom->properties["ElementSymbol"] = KelvVariant("O");
    atom->properties["Charge"] = KelvVariant();
    atom->properties["FractionalXYZ"] = KelvVariant(static_cast<IUnknown*>(Make<Point>(0.25, 0.5, -0.125).get()));

    EXPECT_EQ("O", DMUtilities::BasicUtilities::GetValue(atom.get(), u"ElementSymbol").String());
    EXPECT_TRUE(DMUtilities::BasicUtilities::GetValue(KelvComPtr<ISDObject>(atom.get()), "Charge").IsEmpty());
    std::string message;
    EXPECT_EQ(E_INVALIDARG, CodeOf([&] { DMUtilities::BasicUtilities::GetValue(atom.get(), "Mass"); }, message));
    EXPECT_EQ("Unknown property Mass", message);

    const xxPoint3d f = DMUtilities::AtomUtilities::AtomFracCoord(atom.get());
    EXPECT_EQ(0.25, f.x);
    EXPECT_EQ(0.5, f.y);
    EXPECT_EQ(-0.125, f.z);
    atom->properties["FractionalXYZ"] = KelvVariant();
    EXPECT_EQ(E_UNEXPECTED, CodeOf([&] { DMUtilities::AtomUtilities::AtomFracCoord(atom.get()); }, message));

    // Items count from 0 here and from 1 in the collection.
    auto collection = Make<Collection>();
    collection->values = {KelvVariant("first"), KelvVariant("second")};
    EXPECT_EQ(2, DMUtilities::BasicUtilities::GetArraySize(collection.get()));
    EXPECT_EQ(0, DMUtilities::BasicUtilities::GetArraySize(static_cast<ISDVariantDataDimension*>(nullptr)));
    EXPECT_EQ("first", DMUtilities::BasicUtilities::GetArrayItem(collection.get(), 0).String());
    EXPECT_EQ("second", DMUtilities::BasicUtilities::GetArrayItem(collection.get(), 1).String());
    EXPECT_EQ(DISP_E_BADINDEX,
              CodeOf([&] { DMUtilities::BasicUtilities::GetArrayItem(collection.get(), 2); }, message));
    EXPECT_EQ(DISP_E_BADINDEX,
              CodeOf([&] { DMUtilities::BasicUtilities::GetArrayItem(collection.get(), -1); }, message));

    // Rows of the operator: rotation then translation.
    auto op = Make<Operator>(std::vector<double>{0, -1, 0, 0.5, 1, 0, 0, 0.25, 0, 0, 1, 0.75});
    const xxTransformMatrix m = DMUtilities::SymmetryUtilities::GetOperatorMatrix(KelvComPtr<ISDObject>(op.get()));
    EXPECT_EQ(-1.0, m(1, 2));
    EXPECT_EQ(0.5, m(1, 4));
    EXPECT_EQ(1.0, m(2, 1));
    EXPECT_EQ(0.25, m(2, 4));
    EXPECT_EQ(1.0, m(3, 3));
    EXPECT_EQ(0.75, m(3, 4));
    EXPECT_EQ(E_NOINTERFACE,
              CodeOf([&] { DMUtilities::SymmetryUtilities::GetOperatorMatrix(atom.get()); }, message));
}

}  // namespace
