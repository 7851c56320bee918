// The import at job completion on hand-written results folders: by the
// job's task description, the structure written back, the trajectory
// document, the fitted library, and what fails is reported.

#include "JobHost.h"

#include "host/model/Document.h"

#include <functional>

using namespace JobTest;

namespace {

class Import : public JobHost {
protected:
    // A job of `task` whose results folder holds `files` (name, source) and
    // the project's structure document "rocksalt.qsd" there.
    void Complete(const std::string& task, const std::vector<std::pair<std::string, std::string>>& files,
                  bool withDocument = true, const std::function<void()>& before = {})
    {
        MakeJob(task, {});
        if (before)
            before();
        for (const auto& [name, source] : files)
            fs::copy_file(source, Results() + name, fs::copy_options::overwrite_existing);
        if (withDocument)
            document = RockSaltDocument(Results() + "rocksalt.qsd");
        ASSERT_EQ(S_OK, Events()->OnAttach(job.get()));
        result = Events()->OnJobComplete();
        message = FAILED(result) ? QzTest::TakeErrorInfo().description : std::string();
    }
    std::vector<std::string> ResultFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Results()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool Hidden(const std::string& path) const
    {
        VARIANT_BOOL hidden = VARIANT_FALSE;
        host->Disk().get_Hidden(KelvBSTR(path).Get(), &hidden);
        return hidden == VARIANT_TRUE;
    }

    KelvComPtr<ISBDocumentRoot> document;
    HRESULT result = E_FAIL;
    std::string message;
};

const std::pair<std::string, std::string> OptArchive{"rocksalt.arc", Example("results/geomopt/rocksalt.arc")};
const std::pair<std::string, std::string> OptOutput{"rocksalt.gout", Example("results/geomopt/rocksalt.gout")};

TEST_F(Import, GeomOptUpdatesTheDocumentInPlaceAndWritesAHiddenTrajectory)
{
    Complete("GeomOpt", {OptArchive, OptOutput});
    ASSERT_EQ(S_OK, result) << message << " " << std::hex << result;
    // The last archive frame in the open document and in its saved file.
    const auto saved = HostModel::LoadQsd(Results() + "rocksalt.qsd");
    for (const auto& model : {HostModel::DocumentOf(document.get()), saved}) {
        EXPECT_NEAR(5.62892, model->Lattice3()->Parameters().a, 1e-9);
        EXPECT_EQ(8u, model->Atoms().size());
    }
    EXPECT_EQ((std::vector<std::string>{"rocksalt.arc", "rocksalt.gout", "rocksalt.qsd", "rocksalt.qtd", "rocksalt.trj"}),
              ResultFiles());
    EXPECT_TRUE(Hidden(Results() + "rocksalt.trj"));
    EXPECT_EQ(CJobHandlerUtility::Stage::Completed, Job().JobHandler().GetStage());
}

TEST_F(Import, NoImportForEnergyOrAnUnknownDescription)
{
    for (const char* task : {"Energy", "geomopt", "Phonons"}) {
        Complete(task, {OptArchive, OptOutput});
        EXPECT_EQ(S_OK, result) << task << message;
        EXPECT_EQ((std::vector<std::string>{"rocksalt.arc", "rocksalt.gout", "rocksalt.qsd"}), ResultFiles()) << task;
        EXPECT_NEAR(5.6402, HostModel::DocumentOf(document.get())->Lattice3()->Parameters().a, 1e-9) << task;
        ReleaseJobObject();
    }
}

TEST_F(Import, WithoutAnArchiveThereIsNeitherStructureNorTrajectory)
{
    Complete("GeomOpt", {OptOutput});
    EXPECT_EQ(S_OK, result) << message;
    EXPECT_NEAR(5.6402, HostModel::LoadQsd(Results() + "rocksalt.qsd")->Lattice3()->Parameters().a, 1e-9);
    EXPECT_FALSE(fs::exists(Results() + "rocksalt.trj"));
}

TEST_F(Import, DynamicsTrajectoryComesFromTheBinaryTrajectory)
{
    Complete("Dynamics", {{"rocksalt.gout", Example("results/dynamics/rocksalt.gout")},
                          {"rocksalt.trg", Example("results/dynamics/rocksalt.trg")}});
    ASSERT_EQ(S_OK, result) << message << " " << std::hex << result;
    EXPECT_TRUE(fs::exists(Results() + "rocksalt.qtd"));
    EXPECT_TRUE(Hidden(Results() + "rocksalt.trj"));
    EXPECT_GT(fs::file_size(Results() + "rocksalt.trj"), 0u);
}

TEST_F(Import, FailedTrajectoryWriteIsReported)
{
    // A folder stands where the trajectory file must go.
    Complete("GeomOpt", {OptArchive, OptOutput}, true, [&] { fs::create_directories(Results() + "rocksalt.trj/keep"); });
    EXPECT_TRUE(FAILED(result));
    EXPECT_FALSE(message.empty());
    EXPECT_FALSE(fs::exists(Results() + "rocksalt.qtd")) << "no trajectory document over a missing trajectory";
}

TEST_F(Import, FitTurnsTheDumpIntoALibraryAndAMissingDumpIsReported)
{
    const std::string dump = folder.Write("rocksalt.res", "fit conp simu conse qok nomod\n" +
                                                              QzTest::ReadFile(Example("rocksalt.lib")));
    Complete("Fit", {{"rocksalt.res", dump}}, false);
    ASSERT_EQ(S_OK, result) << message << " " << std::hex << result;
    const std::string library = QzTest::ReadFile(Results() + "rocksalt.lib");
    EXPECT_NE(std::string::npos, library.find("buck")) << library;
    EXPECT_EQ(std::string::npos, library.find("conse")) << library;
    ReleaseJobObject();

    Complete("Fit", {}, false);
    EXPECT_TRUE(FAILED(result));
    EXPECT_NE(std::string::npos, message.find("rocksalt.res")) << message;
}

} // namespace
