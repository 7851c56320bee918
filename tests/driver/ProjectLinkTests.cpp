// A project received from a colleague may hold symbolic links. A file that a
// command picks itself in the project is not written through a link that
// leads outside it; one that stays inside is written as any other.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DriverRun.h"

namespace {

namespace fs = std::filesystem;

class ProjectLinks : public QzTest::DriverTest {
protected:
    ProjectLinks() : DriverTest("driver-project-links") {}
    void SetUp() override
    {
        const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
        Step("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so");
        Step("project p");
        Step("import " + examples + "rocksalt.cif --project p");
        fs::create_directories(folder.File("p/run"));
        for (const char* file : {"rocksalt.gout", "rocksalt.arc", "rocksalt.geomopt"})
            fs::copy_file(examples + "results/geomopt/" + file, folder.File(std::string("p/run/") + file));
        fs::copy_file(folder.File("p/rocksalt.qsd"), folder.File("p/run/rocksalt.qsd"));
        fs::create_directories(folder.File("outside"));
    }

    // Puts `inProject` (relative to the test folder) in place as a relative
    // link to "outside/<name>", which holds `bytes`, as a project that was
    // packed with its links arrives.
    void LinkOutside(const std::string& inProject, const std::string& name, const std::string& bytes) const
    {
        QzTest::WriteFile(folder.File("outside/" + name), bytes);
        fs::remove(folder.File(inProject));
        const fs::path link(folder.File(inProject));
        fs::create_symlink(fs::path(folder.File("outside/" + name)).lexically_relative(link.parent_path()), link);
    }
};

struct LinkCase {
    const char* link;    // in the project
    const char* target;  // in "outside"
    const char* copyOf;  // the file whose bytes the target holds (empty: `bytes`)
    const char* bytes;
    const char* command;
};

TEST_F(ProjectLinks, AFileTheCommandPicksIsNotWrittenThroughALinkLeavingTheProject)
{
    const LinkCase cases[] = {
        {"p/run/rocksalt.trj", "frames.trj", "", "not yours\n", "analyse p/run/rocksalt.gout trajectory p/rocksalt.qsd"},
        {"p/salt.qsd", "salt.qsd", "p/rocksalt.qsd", "", "analyse p/run/rocksalt.gout structure p/salt.qsd"},
        {"p/project-state.json", "state.json", "p/project-state.json", "",
         "state --project p ZelmLogic ChargeOption Library"},
        {"p/host-settings.json", "settings.json", "", "{\"engines\": {}}\n", "engine --project p --stub"},
        // A chart document is written as the project's without a project
        // given to its writer: the command's project holds it all the same.
        {"p/run/rocksalt Energies.qcd", "energies.qcd", "", "not yours\n",
         "analyse p/run/rocksalt.gout energy --select EnEvol=rocksalt.gout"},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.command);
        const std::string bytes = *c.copyOf ? QzTest::ReadFile(folder.File(c.copyOf)) : std::string(c.bytes);
        LinkOutside(c.link, c.target, bytes);
        const QzTest::DriverOutcome outcome = Run(c.command);
        EXPECT_NE(0, outcome.code) << outcome.out;
        EXPECT_NE(std::string::npos, outcome.err.find(c.link)) << outcome.err;
        EXPECT_NE(std::string::npos, outcome.err.find("symbolic link to \"" + folder.File(std::string("outside/") + c.target)))
            << outcome.err;
        EXPECT_NE(std::string::npos, outcome.err.find("outside the project")) << outcome.err;
        EXPECT_EQ(bytes, QzTest::ReadFile(folder.File(std::string("outside/") + c.target)));
        EXPECT_TRUE(fs::is_symlink(folder.File(c.link)));
        fs::remove(folder.File(c.link));
        if (*c.copyOf)
            fs::copy_file(folder.File(std::string("outside/") + c.target), folder.File(c.link));
    }
    // Nothing else came to lie outside (no temporary, no copy).
    EXPECT_EQ(5, std::distance(fs::directory_iterator(folder.File("outside")), fs::directory_iterator()));
}

// A results folder that is itself a link leading outside: the frames would
// land outside through it.
TEST_F(ProjectLinks, ALinkedResultsFolderLeadingOutsideIsRefused)
{
    fs::rename(folder.File("p/run"), folder.File("outside/run"));
    fs::create_directory_symlink("../outside/run", folder.File("p/run"));
    const QzTest::DriverOutcome outcome = Run("analyse p/run/rocksalt.gout trajectory p/rocksalt.qsd");
    EXPECT_EQ(1, outcome.code) << outcome.out;
    EXPECT_NE(std::string::npos, outcome.err.find("lies in \"" + folder.File("p/run") + "\", a symbolic link to \"" +
                                                  folder.File("outside/run") + "\""))
        << outcome.err;
    EXPECT_FALSE(fs::exists(folder.File("outside/run/rocksalt.trj")));
    EXPECT_FALSE(fs::exists(folder.File("outside/run/rocksalt.qtd")));
}

// A link inside the project to a file inside it is written through, and so
// is a path the user names for a file of their own choosing.
TEST_F(ProjectLinks, LinksStayingInsideAndTheUsersOwnPathsAreWrittenThrough)
{
    fs::create_directories(folder.File("p/kept"));
    QzTest::WriteFile(folder.File("p/kept/frames.trj"), "old\n");
    fs::create_symlink("../kept/frames.trj", folder.File("p/run/rocksalt.trj"));
    const QzTest::DriverOutcome outcome = Run("analyse p/run/rocksalt.gout trajectory p/rocksalt.qsd");
    ASSERT_EQ(0, outcome.code) << outcome.err;
    EXPECT_TRUE(fs::is_symlink(folder.File("p/run/rocksalt.trj")));
    EXPECT_NE("old\n", QzTest::ReadFile(folder.File("p/kept/frames.trj")));

    const std::string examples = std::string(QZ_TEST_DATA) + "/../../examples/";
    fs::copy_file(examples + "rocksalt.lib", folder.File("p/rocksalt.lib"));
    Step("state --project p ZelmLogic library rocksalt");
    LinkOutside("p/mine.lib", "mine.lib", "mine\n");
    const QzTest::DriverOutcome saved = Run("forcefield --project p edit --option 1.kcal=1 --save-as p/mine.lib");
    ASSERT_EQ(0, saved.code) << saved.err;
    EXPECT_NE(std::string::npos, QzTest::ReadFile(folder.File("outside/mine.lib")).find("species"));
}

} // namespace
