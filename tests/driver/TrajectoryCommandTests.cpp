// The driver's trajectory commands, run as a user runs them: `trg` through
// the module's exports, and `show` of a ".qtd" trajectory document.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "common/FakeTrajectory.h"
#include "driver/DriverRun.h"
#include "common/TempFolder.h"
#include "qorqm/CTrjWriter.h"
#include "trajectory/TrgFiles.h"

namespace {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

struct TrajectoryCommands : ::testing::Test {
    QzTest::TempFolder folder{"driver-trj"};

    Outcome Run(const std::string& arguments) const
    {
        const std::string err = folder.File("stderr.txt");
        const std::string command =
            "cd " + folder.Path() + " && " +
            QzTest::Bounded("", std::string(QZ_BIN_DIR) + "/zelm-host --registry " + folder.File("registry.json") + " " +
                                    arguments) +
            " 2>" + err;
        Outcome outcome;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            outcome.out.append(buffer, n);
        const int status = pclose(pipe);
        EXPECT_FALSE(QzTest::KilledByBound(status)) << arguments;
        outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.err = QzTest::ReadFile(err);
        return outcome;
    }
};

}  // namespace

TEST_F(TrajectoryCommands, TrgPrintsTheFramesAsTheExportsReadThem)
{
    QzTest::WriteTrg(folder.File("md.trg"), QzTest::TrgSpec{4.0, 2, 2, true});
    const Outcome read = Run("trg md.trg --cell");
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_NE(read.out.find("md.trg: format value 4, 2 atoms, 2 frames, with cell records"), std::string::npos);
    EXPECT_NE(read.out.find("Frame 2: time 10, energy terms 1010 2010 (sum 3020), auxiliary 3010"), std::string::npos)
        << read.out;
    EXPECT_NE(read.out.find("cell parameters 11010 11010.125"), std::string::npos);
    // Without the flag the cell records are taken for frame records until
    // one is too short for its place.
    const Outcome wrong = Run("trg md.trg");
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.err.find("a record cannot be read"), std::string::npos) << wrong.err;

    const Outcome missing = Run("trg none.trg");
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err,
              "zelm-host: the trajectory \"none.trg\" cannot be read: the file cannot be opened or a record cannot be "
              "read\n");
}

TEST_F(TrajectoryCommands, ShowPrintsTheFramesOfATrajectoryDocument)
{
    ASSERT_EQ(Run("project .").code, 0);
    ASSERT_EQ(Run(std::string("import ") + QZ_TEST_DATA + "/../../examples/rocksalt.cif --name salt").code, 0);
    std::filesystem::copy_file(folder.File("salt.qsd"), folder.File("salt.qtd"));

    const Outcome noFrames = Run("show salt.qtd");
    EXPECT_EQ(noFrames.code, 0) << noFrames.err;
    EXPECT_EQ(noFrames.out.find("Trajectory:"), std::string::npos);

    QzTest::FakeTrjProvider provider;
    ASSERT_EQ(CTrjWriter().WriteTrajFile(provider, folder.File("salt")), S_OK);
    const Outcome shown = Run("show salt.qtd");
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_NE(shown.out.find("Space group"), std::string::npos) << shown.out;  // still a structure file
    EXPECT_NE(shown.out.find("Trajectory: 3 frames of 2 atoms (run)"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("Frame 3: time 307.25 (step 306.25)"), std::string::npos);

    QzTest::WriteFile(folder.File("salt.trj"), "QTRJ");
    const Outcome bad = Run("show salt.qtd");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("The trajectory file \"" + folder.File("salt.trj") + "\" is cut short."), std::string::npos)
        << bad.err;
}

TEST_F(TrajectoryCommands, ImportResultGoesThroughTheRegisteredImporter)
{
    ASSERT_EQ(Run("register").code, 0);
    ASSERT_EQ(Run("project .").code, 0);
    ASSERT_EQ(Run(std::string("import ") + QZ_TEST_DATA + "/../../examples/rocksalt.cif --name salt").code, 0);
    // Without an archive there is no result to import: the document would
    // come back as it is, and nothing is written.
    const std::string before = QzTest::ReadFile(folder.File("salt.qsd"));
    const Outcome without = Run("import-result salt.qsd");
    EXPECT_EQ(without.code, 1);
    EXPECT_EQ(without.err, "zelm-host: the document \"salt.qsd\" has no archive \"" + folder.File("salt.arc") +
                               "\" to import its result from\n");
    EXPECT_EQ(QzTest::ReadFile(folder.File("salt.qsd")), before);
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/../../examples/results/geomopt/rocksalt.arc",
                               folder.File("salt.arc"));
    const Outcome imported = Run("import-result salt.qsd --log");
    EXPECT_EQ(imported.code, 0) << imported.err;
    EXPECT_NE(imported.out.find("imported " + folder.File("salt.qsd") +
                                " through QorZelm.ZelmStructureImporter with its archive\n"),
              std::string::npos)
        << imported.out;
    EXPECT_NE(imported.out.find("Space group"), std::string::npos);
    EXPECT_NE(imported.out.find("ImportDocument"), std::string::npos);  // the operation log
    const Outcome missing = Run("import-result none.qsd");
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "zelm-host: the document \"none.qsd\" does not exist\n");
}

TEST_F(TrajectoryCommands, BundledRunsComeHomeThroughTheReaders)
{
    namespace fs = std::filesystem;
    const std::string results = std::string(QZ_TEST_DATA) + "/../../examples/results/";
    ASSERT_EQ(Run("register").code, 0);
    ASSERT_EQ(Run("project .").code, 0);
    ASSERT_EQ(Run(std::string("import ") + QZ_TEST_DATA + "/../../examples/rocksalt.cif --name salt").code, 0);
    fs::copy_file(results + "geomopt/rocksalt.arc", folder.File("salt.arc"));
    fs::copy_file(results + "geomopt/rocksalt.gout", folder.File("salt.gout"));

    // The importer applies the archive of the document's name.
    const Outcome imported = Run("import-result salt.qsd");
    EXPECT_EQ(imported.code, 0) << imported.err;
    EXPECT_NE(imported.out.find("through QorZelm.ZelmStructureImporter with its archive"), std::string::npos);
    EXPECT_NE(imported.out.find("Lattice: 3D  a=5.628920"), std::string::npos) << imported.out;

    // The run type, read from the output, chooses the optimisation provider.
    const Outcome optimisation = Run("trajectory salt --document salt.qsd");
    EXPECT_EQ(optimisation.code, 0) << optimisation.err;
    EXPECT_NE(optimisation.out.find("(geomopt)\n"), std::string::npos);
    EXPECT_NE(optimisation.out.find("Trajectory: 5 frames of 8 atoms"), std::string::npos) << optimisation.out;

    // A broken archive is the reader's error, and the document stays.
    QzTest::WriteFile(folder.File("bad.arc"), "!KORVEX archive 3\nPBC=ON\n -1\n!DATE x\nPBC 6 6 6 90 90 90\nNa 1 2\n");
    const Outcome bad = Run("update-structure salt.qsd bad.arc");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("ZELM output not readable."), std::string::npos) << bad.err;
    EXPECT_NE(Run("show salt.qsd").out.find("a=5.628920"), std::string::npos);
}

TEST_F(TrajectoryCommands, AResultThatChangesNothingWritesNothing)
{
    namespace fs = std::filesystem;
    const std::string results = std::string(QZ_TEST_DATA) + "/../../examples/results/";
    ASSERT_EQ(Run("register").code, 0);
    ASSERT_EQ(Run("project .").code, 0);
    ASSERT_EQ(Run(std::string("import ") + QZ_TEST_DATA + "/../../examples/rocksalt.cif --name salt").code, 0);
    fs::copy_file(results + "geomopt/rocksalt.arc", folder.File("salt.arc"));
    fs::copy_file(results + "geomopt/rocksalt.gout", folder.File("salt.gout"));
    ASSERT_EQ(Run("import-result salt.qsd").code, 0);

    // The same result again: refused, and the file (its identifier with it)
    // is the one the first import wrote, not written anew.
    const std::string imported = QzTest::ReadFile(folder.File("salt.qsd"));
    struct stat before{};
    ASSERT_EQ(stat(folder.File("salt.qsd").c_str(), &before), 0);
    const struct {
        const char* command;
    } rows[] = {{"import-result salt.qsd"}, {"update-structure salt.qsd salt.arc"}};
    for (const auto& row : rows) {
        const Outcome again = Run(row.command);
        EXPECT_EQ(again.code, 1) << row.command << "\n" << again.out;
        EXPECT_NE(again.err.find("did not change the document"), std::string::npos) << again.err;
        EXPECT_EQ(again.out.find("imported"), std::string::npos) << again.out;
        EXPECT_EQ(QzTest::ReadFile(folder.File("salt.qsd")), imported) << row.command;
        struct stat after{};
        ASSERT_EQ(stat(folder.File("salt.qsd").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << row.command << ": the document was written again";
    }
}

TEST_F(TrajectoryCommands, AnArchiveWithItsLastFrameCutGivesTheWholeFramesBeforeIt)
{
    namespace fs = std::filesystem;
    const std::string results = std::string(QZ_TEST_DATA) + "/../../examples/results/";
    ASSERT_EQ(Run("register").code, 0);
    ASSERT_EQ(Run("project .").code, 0);
    ASSERT_EQ(Run(std::string("import ") + QZ_TEST_DATA + "/../../examples/rocksalt.cif --name salt").code, 0);
    // The archive cut right after the date line of its fifth frame: the
    // fourth frame is the last whole one.
    const std::string whole = QzTest::ReadFile(results + "geomopt/rocksalt.arc");
    std::size_t date = 0;
    for (int frame = 0; frame < 5; ++frame)
        date = whole.find("!DATE", date + 1);
    ASSERT_NE(date, std::string::npos);
    QzTest::WriteFile(folder.File("salt.arc"), whole.substr(0, whole.find('\n', date) + 1));
    fs::copy_file(results + "geomopt/rocksalt.gout", folder.File("salt.gout"));
    const std::string note = "note: the last frame of \"" + folder.File("salt.arc") +
                             "\" is cut short: the 4 whole frames before it are taken\n";

    const Outcome trajectory = Run("trajectory salt --document salt.qsd");
    EXPECT_EQ(trajectory.code, 0) << trajectory.err;
    EXPECT_NE(trajectory.out.find("Trajectory: 4 frames of 8 atoms"), std::string::npos) << trajectory.out;
    EXPECT_NE(trajectory.out.find(note), std::string::npos) << trajectory.out;
    const Outcome imported = Run("import-result salt.qsd");
    EXPECT_EQ(imported.code, 0) << imported.err;
    EXPECT_NE(imported.out.find(note), std::string::npos) << imported.out;
    // The fourth frame's cell.
    EXPECT_NE(imported.out.find("a=5.631"), std::string::npos) << imported.out;
}

TEST_F(TrajectoryCommands, AFrameEqualButForRoundingChangesNothing)
{
    namespace fs = std::filesystem;
    const std::string results = std::string(QZ_TEST_DATA) + "/../../examples/results/";
    // One frame of rock salt as the document has it (a = 5.6402, Na at the
    // origin, Cl at a/2), with one quantity rounded or moved by 1e-5 A.
    const auto archive = [](const std::string& cell, const std::string& chlorine) {
        return "!ZELM archive 3\nPBC=ON\n                   -734.742004\n!DATE Tue Dec  8 21:10:00 2026\nPBC    " + cell +
               " (P1)\n"
               "Na1        0.000000000     0.000000000     0.000000000 CORE 1 Na  Na    0.0000 1\n"
               "Na2        0.000000000     2.820100000     2.820100000 CORE 2 Na  Na    0.0000 2\n"
               "Na3        2.820100000     0.000000000     2.820100000 CORE 3 Na  Na    0.0000 3\n"
               "Na4        2.820100000     2.820100000     0.000000000 CORE 4 Na  Na    0.0000 4\n"
               "Cl1        " + chlorine + " CORE 5 Cl  Cl    0.0000 5\n"
               "Cl2        2.820100000     0.000000000     0.000000000 CORE 6 Cl  Cl    0.0000 6\n"
               "Cl3        0.000000000     2.820100000     0.000000000 CORE 7 Cl  Cl    0.0000 7\n"
               "Cl4        0.000000000     0.000000000     2.820100000 CORE 8 Cl  Cl    0.0000 8\nend\nend\n";
    };
    // The same archive with CR LF breaks and every atom line padded to 1,023
    // columns, the longest line the readers take.
    const auto wideCrLf = [](const std::string& text) {
        std::string out;
        std::size_t at = 0;
        for (std::size_t next; (next = text.find('\n', at)) != std::string::npos; at = next + 1) {
            std::string line = text.substr(at, next - at);
            if (line.find(" CORE ") != std::string::npos)
                line.resize(1023, ' ');
            out += line + "\r\n";
        }
        return out;
    };
    // The slab's run: its header, then its last frame with the surface angle
    // as given.
    const std::string slabRun = QzTest::ReadFile(results + "surface/slab.arc");
    const auto slab = [&](const std::string& angle) {
        const std::size_t last = slabRun.rfind("!DATE");
        const std::size_t header = slabRun.rfind('\n', slabRun.rfind('\n', last - 1) - 1) + 1;
        std::string text = slabRun.substr(0, slabRun.find('\n', slabRun.find('\n') + 1) + 1) +
                           slabRun.substr(header, std::string::npos);
        const std::string given = "90.000000\n";
        return text.replace(text.rfind(given), given.size() - 1, angle);
    };
    const std::string cubic = "5.640200    5.640200    5.640200   90.000000   90.000000   90.000000";
    const std::string half = "2.820100000     2.820100000     2.820100000";
    enum Start { Salt, SaltP1, Slab };
    const struct {
        const char* quantity;
        Start start;
        std::string arc;
        bool changes;
    } rows[] = {
        {"as printed", Salt, archive(cubic, half), false},
        {"cell length rounded",
         Salt, archive("5.640200000000001    5.640200    5.640200   90.000000   90.000000   90.000000", half), false},
        {"cell length moved", Salt, archive("5.640210    5.640200    5.640200   90.000000   90.000000   90.000000", half),
         true},
        {"angle rounded", Salt,
         archive("5.640200    5.640200    5.640200   90.00000000000001   90.000000   90.000000", half), false},
        {"angle moved", Salt, archive("5.640200    5.640200    5.640200   90.000102   90.000000   90.000000", half),
         true},
        {"x rounded", Salt, archive(cubic, "2.8201000004     2.820100000     2.820100000"), false},
        {"x moved", Salt, archive(cubic, "2.820110000     2.820100000     2.820100000"), true},
        {"y rounded", Salt, archive(cubic, "2.820100000     2.8200999996     2.820100000"), false},
        {"y moved", Salt, archive(cubic, "2.820100000     2.820090000     2.820100000"), true},
        {"z rounded", Salt, archive(cubic, "2.820100000     2.820100000     2.8201000004"), false},
        {"z moved", Salt, archive(cubic, "2.820100000     2.820100000     2.820110000"), true},
        {"x moved, CR LF lines of 1,023 columns", Salt,
         wideCrLf(archive(cubic, "2.820110000     2.820100000     2.820100000")), true},
        {"P1 as printed", SaltP1, archive(cubic, half), false},
        {"P1 alpha alone moved", SaltP1,
         archive("5.640200    5.640200    5.640200   90.000050   90.000000   90.000000", half), true},
        {"P1 c alone moved", SaltP1, archive("5.640200    5.640200    5.640300   90.000000   90.000000   90.000000", half),
         true},
        {"P1 gamma alone moved", SaltP1,
         archive("5.640200    5.640200    5.640200   90.000000   90.000000   90.000050", half), true},
        {"slab as its run left it", Slab, slab("90.000000"), false},
        {"slab surface angle moved", Slab, slab("90.000050"), true},
    };
    ASSERT_EQ(Run("register").code, 0);
    ASSERT_EQ(Run("project .").code, 0);
    // The documents each row starts from.
    ASSERT_EQ(Run(std::string("import ") + QZ_TEST_DATA + "/../../examples/rocksalt.cif --name salt").code, 0);
    fs::copy_file(folder.File("salt.qsd"), folder.File("salt.start"));
    ASSERT_EQ(Run("check salt.qsd --make-p1").code, 0);
    fs::copy_file(folder.File("salt.qsd"), folder.File("saltp1.start"));
    // The slab in a folder of its own: the analysis takes the first run of
    // its folder.
    fs::create_directories(folder.File("slab"));
    fs::copy_file(std::string(QZ_TEST_DATA) + "/../../examples/slab.qsd", folder.File("slab/slab.qsd"));
    fs::copy_file(results + "surface/slab.arc", folder.File("slab/slab.arc"));
    fs::copy_file(results + "surface/slab.gout", folder.File("slab/slab.gout"));
    fs::copy_file(results + "geomopt/rocksalt.gout", folder.File("salt.gout"));
    const Outcome settled = Run("update-structure slab/slab.qsd slab/slab.arc --surface");
    ASSERT_EQ(settled.code, 0) << settled.err;
    fs::copy_file(folder.File("slab/slab.qsd"), folder.File("slab.start"));

    for (const auto& row : rows) {
        const std::string name = row.start == Slab ? "slab/slab" : "salt";
        const std::string start = row.start == Slab ? "slab.start" : row.start == SaltP1 ? "saltp1.start" : "salt.start";
        const std::string surface = row.start == Slab ? " --surface" : "";
        const std::string commands[] = {"import-result " + name + ".qsd",
                                        "update-structure " + name + ".qsd " + name + ".arc" + surface,
                                        "analyse " + name + ".gout structure " + name + ".qsd"};
        for (const std::string& command : commands) {
            SCOPED_TRACE(std::string(row.quantity) + ": " + command);
            fs::copy_file(folder.File(start), folder.File(name + ".qsd"), fs::copy_options::overwrite_existing);
            QzTest::WriteFile(folder.File(name + ".arc"), row.arc);
            const std::string before = QzTest::ReadFile(folder.File(name + ".qsd"));
            const Outcome outcome = Run(command);
            const bool analyse = command.rfind("analyse", 0) == 0;
            if (row.changes) {
                EXPECT_EQ(outcome.code, 0) << outcome.err;
                EXPECT_NE(QzTest::ReadFile(folder.File(name + ".qsd")), before);
                continue;
            }
            EXPECT_EQ(outcome.code, analyse ? 0 : 1) << outcome.out << outcome.err;
            EXPECT_NE((analyse ? outcome.out : outcome.err)
                          .find(analyse ? "has the run's final structure already" : "did not change the document"),
                      std::string::npos)
                << outcome.out << outcome.err;
            // Nothing written: the document keeps its identifier.
            EXPECT_EQ(QzTest::ReadFile(folder.File(name + ".qsd")), before);
        }
    }
}

TEST_F(TrajectoryCommands, ARunKeptOutsideTheProjectUpdatesTheDocumentNamed)
{
    namespace fs = std::filesystem;
    const std::string results = std::string(QZ_TEST_DATA) + "/../../examples/results/";
    ASSERT_EQ(Run("register").code, 0);
    fs::create_directories(folder.File("proj"));
    fs::create_directories(folder.File("run"));
    fs::create_directories(folder.File("shared"));
    fs::create_directories(folder.File("elsewhere"));
    ASSERT_EQ(Run("project proj").code, 0);
    ASSERT_EQ(Run(std::string("import ") + QZ_TEST_DATA + "/../../examples/rocksalt.cif --name salt --project proj").code,
              0);
    fs::copy_file(folder.File("proj/salt.qsd"), folder.File("shared/salt.qsd"));
    fs::copy_file(folder.File("proj/salt.qsd"), folder.File("proj/plain.qsd"));
    fs::remove(folder.File("proj/salt.qsd"));
    fs::create_symlink("../shared/salt.qsd", folder.File("proj/salt.qsd"));
    fs::copy_file(results + "geomopt/rocksalt.arc", folder.File("run/rocksalt.arc"));
    fs::copy_file(results + "geomopt/rocksalt.gout", folder.File("run/rocksalt.gout"));

    // Each file is held to the folder it is written in: the document is
    // saved where it is (through its link), the working copy and the frames
    // file belong to the run's folder and are never written through a link
    // leading out of it.
    const struct {
        const char* command;
        const char* link;    // a link put in the run's folder first (to "elsewhere")
        const char* output;  // in standard output on success
        const char* error;   // in standard error on failure
        const char* changed; // the file the command changes
    } rows[] = {
        {"update-structure proj/plain.qsd run/rocksalt.arc", "", "updated ", "", "proj/plain.qsd"},
        {"update-structure proj/salt.qsd run/rocksalt.arc", "", "updated ", "", "shared/salt.qsd"},
        {"trajectory run/rocksalt --document proj/plain.qsd", "", "Trajectory: 5 frames of 8 atoms", "",
         "run/rocksalt.trj"},
        {"update-structure proj/plain.qsd run/rocksalt.arc", "rocksalt_TDE_.arc", "",
         "rocksalt_TDE_.arc\" cannot be written: it is a symbolic link to", ""},
        {"trajectory run/rocksalt --document proj/plain.qsd", "rocksalt.trj", "",
         "rocksalt.trj\" cannot be written: it is a symbolic link to", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " " + row.link);
        fs::copy_file(folder.File("proj/plain.qsd"), folder.File("plain.before"), fs::copy_options::overwrite_existing);
        std::error_code error;
        fs::remove(folder.File("run/rocksalt.trj"), error);
        const std::string before = *row.changed ? QzTest::ReadFile(folder.File(row.changed)) : std::string();
        if (*row.link)
            fs::create_symlink("../elsewhere/" + std::string(row.link), folder.File(std::string("run/") + row.link));
        const Outcome outcome = Run(row.command);
        if (*row.link)
            fs::remove(folder.File(std::string("run/") + row.link));
        EXPECT_TRUE(fs::is_empty(folder.File("elsewhere")));
        if (*row.error) {
            EXPECT_EQ(outcome.code, 1) << outcome.out;
            EXPECT_NE(outcome.err.find(row.error), std::string::npos) << outcome.err;
            continue;
        }
        EXPECT_EQ(outcome.code, 0) << outcome.err;
        EXPECT_NE(outcome.out.find(row.output), std::string::npos) << outcome.out;
        EXPECT_NE(QzTest::ReadFile(folder.File(row.changed)), before);
        EXPECT_TRUE(fs::is_symlink(folder.File("proj/salt.qsd")));
        fs::copy_file(folder.File("plain.before"), folder.File("proj/plain.qsd"), fs::copy_options::overwrite_existing);
        fs::copy_file(folder.File("plain.before"), folder.File("shared/salt.qsd"), fs::copy_options::overwrite_existing);
    }
}
