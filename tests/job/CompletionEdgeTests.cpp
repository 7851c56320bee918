// The import at job completion where the results folder is not the usual
// one: no structure document in the project, an archive without its main
// output, a trajectory file left from an earlier run of the same name.

#include "JobHost.h"

#include "host/model/Document.h"

using namespace JobTest;

namespace {

class CompletionEdge : public JobHost {
protected:
    // A GeomOpt job whose results folder holds `files` (name, source), with
    // the project's structure document "rocksalt.qsd" there when asked.
    void Complete(const std::vector<std::pair<std::string, std::string>>& files, bool withDocument,
                  const std::string& staleTrj = {})
    {
        MakeJob("GeomOpt", {});
        for (const auto& [name, source] : files)
            fs::copy_file(source, Results() + name, fs::copy_options::overwrite_existing);
        if (!staleTrj.empty())
            QzTest::WriteFile(Results() + "rocksalt.trj", staleTrj);
        if (withDocument)
            document = RockSaltDocument(Results() + "rocksalt.qsd");
        ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
        result = Events()->OnJobComplete();
        message = FAILED(result) ? QzTest::TakeErrorInfo().description : std::string();
    }
    bool Exists(const std::string& name) const { return fs::exists(Results() + name); }

    KelvComPtr<ISBDocumentRoot> document;
    HRESULT result = E_FAIL;
    std::string message;
};

const std::pair<std::string, std::string> OptArchive{"rocksalt.arc", Example("results/geomopt/rocksalt.arc")};
const std::pair<std::string, std::string> OptOutput{"rocksalt.gout", Example("results/geomopt/rocksalt.gout")};
const std::string Stale = "an earlier run's frames\n";

TEST_F(CompletionEdge, WithoutAStructureDocumentTheImportIsReportedAndMakesNothing)
{
    // The importer loads the run's structure document and applies the
    // archive to it: without that document there is nothing to load.
    Complete({OptArchive, OptOutput}, false);
    EXPECT_TRUE(FAILED(result));
    EXPECT_NE(std::string::npos, message.find("rocksalt.qsd")) << message;
    EXPECT_FALSE(Exists("rocksalt.qsd"));
    EXPECT_FALSE(Exists("rocksalt.qtd"));
    EXPECT_FALSE(Exists("rocksalt.trj"));
}

TEST_F(CompletionEdge, AnArchiveWithoutItsOutputUpdatesTheStructureAndMakesNoTrajectory)
{
    Complete({OptArchive}, true, Stale);
    ASSERT_EQ(S_OK, result) << message;
    EXPECT_NEAR(5.62892, HostModel::LoadQsd(Results() + "rocksalt.qsd")->Lattice3()->Parameters().a, 1e-9);
    // No trajectory: a trajectory document stands only over a whole frames
    // file, and an earlier run's frames of the same name must not stand
    // behind one.
    EXPECT_FALSE(Exists("rocksalt.qtd"));
    EXPECT_FALSE(Exists("rocksalt.trj"));
}

TEST_F(CompletionEdge, AnEarlierTrajectoryFileIsReplaced)
{
    Complete({OptArchive, OptOutput}, true, Stale);
    ASSERT_EQ(S_OK, result) << message;
    ASSERT_TRUE(Exists("rocksalt.trj"));
    EXPECT_NE(Stale, QzTest::ReadFile(Results() + "rocksalt.trj"));
    VARIANT_BOOL hidden = VARIANT_FALSE;
    host->Disk().get_Hidden(KelvBSTR(Results() + "rocksalt.trj").Get(), &hidden);
    EXPECT_EQ(VARIANT_TRUE, hidden);
}

} // namespace

namespace {

TEST_F(CompletionEdge, AnArchiveWithoutAFrameFailsTheImportAndKeepsTheEarlierFrames)
{
    const std::pair<std::string, std::string> emptied{"rocksalt.arc",
                                                      std::string(QZ_TEST_DATA) + "/analysis/no-frame.arc"};
    Complete({emptied, OptOutput}, true, Stale);
    EXPECT_EQ(E_FAIL, result);
    EXPECT_EQ("The run gives no trajectory frame: \"" + Results() + "rocksalt.arc\" holds no frame that can be read.",
              message);
    EXPECT_EQ(Stale, QzTest::ReadFile(Results() + "rocksalt.trj"));
    EXPECT_FALSE(Exists("rocksalt.qtd"));
}

} // namespace
