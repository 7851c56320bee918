// The driver's forcefield command on the bundled rock-salt library: show,
// edit and save as, show the saved copy, suggest, saved-to.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>

#include <sys/wait.h>

#include "common/TempFolder.h"
#include "driver/DriverRun.h"

namespace {

using Result = QzTest::DriverOutcome;

class ForcefieldCommand : public ::testing::Test {
protected:
    Result Run(const std::string& arguments) const
    {
        return QzTest::RunDriver(folder.Path(), "registry.json", arguments);
    }

    void SetUp() override
    {
        for (const std::string& step : {"register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so", std::string("project p"),
                                       std::string("state --project p ZelmLogic library rocksalt")}) {
            const Result result = Run(step);
            ASSERT_EQ(result.code, 0) << step << "\n" << result.out << result.err;
        }
        std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.lib",
                                   folder.File("p/rocksalt.lib"));
    }

    static bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    QzTest::TempFolder folder{"forcefield-command"};
};

} // namespace

TEST_F(ForcefieldCommand, ShowEditSaveAsAndShowTheCopy)
{
    Result result = Run("forcefield --project p show");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Contains(result.out, "server: Zelm (can fit)\natom types:\n  Cl core  -1\n  Na core  1\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, "  [1] Two-body Buckingham (buck) #0: Cl core, Na core\n      A = 1170 eV\n"))
        << result.out;

    result = Run("forcefield --project p edit --charge 'Na core=1.25' --value 1.A=1200 --fit 1.rho=1 "
                 "--option 1.kcal=1 --save-as p/edited.lib");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::string saved = QzTest::ReadFile(folder.File("p/edited.lib"));
    EXPECT_TRUE(Contains(saved, "species\nCl core -1\nNa core 1.25\n")) << saved;
    EXPECT_TRUE(Contains(saved, "buck kcal\nCl core Na core 1200.0 0.3247 0.0 0.0 10.0 0 1 0\n")) << saved;
    EXPECT_EQ(QzTest::ReadFile(folder.File("p/rocksalt.lib")),
              QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.lib"));

    result = Run("forcefield --project p show p/edited.lib");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    EXPECT_TRUE(Contains(result.out, "  Na core  1.25\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, "      A = 1200 kcal\n      rho = 0.3247 \xC3\x85  (fit)\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, " kjmol=0 kcal=1 ")) << result.out;
}

TEST_F(ForcefieldCommand, SuggestSavedToAndClearFailures)
{
    Result result = Run("forcefield --project p suggest");
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out, folder.File("p/rocksalt_2.lib") + "\n");

    std::filesystem::copy_file(folder.File("p/rocksalt.lib"), folder.File("p/mine.lib"));
    result = Run("forcefield --project p saved-to p/mine.lib");
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out, "the library \"mine\" selects " + folder.File("p/mine.lib") + "\n");

    struct Failure {
        const char* arguments;
        const char* message;
    };
    for (const Failure& test :
         {Failure{"forcefield --project p saved-to elsewhere.lib", "zelm-host: Cannot save forcefield\n"},
          Failure{"forcefield --project p edit --value 2.A=1", "zelm-host: \"2.A\" names no interaction: expected "
                                                             "N.NAME with N from 1 to 1 as show numbers them\n"},
          Failure{"forcefield --project p edit --option 1.kcal=2", "zelm-host: the option \"kcal\" takes 0 or 1, "
                                                                 "not \"2\"\n"},
          Failure{"forcefield --project p show --save", "zelm-host: --charge, --value, --fit, --option, --save and "
                                                       "--save-as belong to the edit action\n"}}) {
        result = Run(test.arguments);
        EXPECT_EQ(result.code, 1) << test.arguments;
        EXPECT_EQ(result.err, test.message) << test.arguments;
    }
}

// A kept line of the library reaches the terminal as a short excerpt with
// its control characters escaped, not whole and raw.
TEST_F(ForcefieldCommand, KeptLibraryLinesAreShownAsShortEscapedExcerpts)
{
    std::string library = QzTest::ReadFile(folder.File("p/rocksalt.lib"));
    library += "\x1b[2J" + std::string(100000, 'k') + "\n";
    QzTest::WriteFile(folder.File("p/rocksalt.lib"), library);
    const Result result = Run("forcefield --project p show");
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_TRUE(Contains(result.out, "load warnings (")) << result.out.substr(0, 2000);
    EXPECT_TRUE(Contains(result.out, ": \\x1b[2Jkkk")) << result.out.substr(0, 2000);
    EXPECT_TRUE(Contains(result.out, "more characters)")) << result.out.substr(0, 2000);
    EXPECT_FALSE(Contains(result.out, "\x1b"));
    EXPECT_LT(result.out.size(), 5000u);
}

// show lists what the library holds in the order of its atom types, pairs
// once whichever way round they were given, interactions between the same
// atom types in the order they were given, whatever the order of the file.
TEST_F(ForcefieldCommand, ShowListsHeldInteractionsInAtomTypeOrder)
{
    const std::string library = std::string(QZ_TEST_DATA) + "/driver/shuffled.lib";
    const Result result = Run("forcefield --project p show '" + library + "'");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::size_t from = result.out.find("interactions:\n");
    ASSERT_NE(from, std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(from), QzTest::ReadFile(std::string(QZ_TEST_DATA) + "/driver/shuffled-show.txt"));
}

// edit reaches the interaction show numbers: the second of two three-body
// terms between the same atom types, given last in the file.
TEST_F(ForcefieldCommand, EditAddressesTheInteractionShowNumbers)
{
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/driver/shuffled.lib", folder.File("p/shuffled.lib"));
    const Result result = Run("forcefield --project p edit p/shuffled.lib --value 9.k=9.5 --save-as p/edited.lib");
    ASSERT_EQ(result.code, 0) << result.out << result.err;
    const std::string saved = QzTest::ReadFile(folder.File("p/edited.lib"));
    EXPECT_TRUE(Contains(saved, "O core Na core Cl core 7.0 ")) << saved;
    EXPECT_TRUE(Contains(saved, "O core Na core Cl core 9.5 ")) << saved;
    EXPECT_FALSE(Contains(saved, " 9.0 109.5")) << saved;
}

// The lines of a form the module does not read are neither listed as
// interactions of the form before them nor rewritten when another line is
// edited and the library saved: they come back as they stood, in their
// place, and are listed as kept.
TEST_F(ForcefieldCommand, AFormTheModuleDoesNotReadIsKeptAsItStands)
{
    const std::string unknown = "tersoff\n"
                                "Na core Cl core 2.0 0.5 0.0 0.0 8.0\n"
                                "  4.0 5.0\n"
                                "\n"
                                "Cl core Cl core 3.0 0.4 0.0 0.0 8.0\n";
    QzTest::WriteFile(folder.File("p/tersoff.lib"), "species\nNa core 1.0\nCl core -1.0\n\n"
                                                    "buck\nNa core Cl core 1170.0 0.3247 0.0 0.0 10.0\n" +
                                                        unknown + "buck\nCl core Cl core 1227.2 0.3214 3.47 0.0 10.0\n");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Result result = Run("forcefield --project p show p/tersoff.lib");
        ASSERT_EQ(result.code, 0) << result.out << result.err;
        EXPECT_TRUE(Contains(result.out, "  [1] Two-body Buckingham (buck) #0: Cl core, Cl core\n")) << result.out;
        EXPECT_TRUE(Contains(result.out, "  [2] Two-body Buckingham (buck) #0: Cl core, Na core\n")) << result.out;
        EXPECT_FALSE(Contains(result.out, "[3]")) << result.out;
        EXPECT_TRUE(Contains(result.out, "load warnings (4 lines kept as text, not read):\n")) << result.out;

        result = Run("forcefield --project p edit p/tersoff.lib --value 1.A=1300 --save");
        ASSERT_EQ(result.code, 0) << result.out << result.err;
        const std::string saved = QzTest::ReadFile(folder.File("p/tersoff.lib"));
        const std::size_t block = saved.find("\n" + unknown + "buck\n");
        ASSERT_NE(block, std::string::npos) << saved;
        EXPECT_LT(saved.find("Cl core Na core 1170.0"), block) << saved;
        EXPECT_NE(saved.find("Cl core Cl core 1300"), std::string::npos) << saved;
    }
}

// A fitted library converted on a disk that fills up (a bound on the size of
// every file the driver writes) is refused with the system's reason and never
// made with part of its interactions; without the bound it is made whole.
TEST_F(ForcefieldCommand, AFittedLibraryOnAFullDiskIsRefusedWhole)
{
    std::filesystem::create_directories(folder.File("p/fit"));
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/analysis/energy.gout", folder.File("p/fit/fit.gout"));
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/forcefield/fit.res", folder.File("p/fit/fit.res"));
    const auto convert = [&](unsigned long limit) {
        const std::string errFile = folder.File("limited-stderr.txt");
        const std::string command = "trap '' XFSZ; cd '" + folder.Path() + "' && QZ_USER_SETTINGS='" +
                                    folder.File("user-settings") + "' timeout -s KILL 60 " +
                                    (limit > 0 ? "prlimit --fsize=" + std::to_string(limit) + " " : std::string()) + "'" +
                                    QzTest::DriverPath() + "' --registry registry.json analyse p/fit/fit.gout library 2>&1 >/dev/null | cat >'" +
                                    errFile + "'";  // the error file is not the bounded driver's own
        const int status = std::system(command.c_str());
        Result result;
        result.exited = WIFEXITED(status);
        result.err = QzTest::ReadFile(errFile);
        // The status is the pipe's: a failure of the driver is its message.
        result.code = result.err.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
        return result;
    };
    const Result whole = convert(0);
    ASSERT_EQ(whole.code, 0) << whole.err;
    const std::string made = QzTest::ReadFile(folder.File("p/fit/fit.lib"));
    std::filesystem::remove(folder.File("p/fit/fit.lib"));
    for (const unsigned long limit : {1ul, 40ul, made.size() / 2, made.size() - 1}) {
        SCOPED_TRACE(limit);
        const Result cut = convert(limit);
        EXPECT_EQ(cut.code, 1) << cut.err;
        EXPECT_TRUE(Contains(cut.err, "File too large")) << cut.err;
        EXPECT_FALSE(Contains(cut.err, "Input/output error")) << cut.err;
        EXPECT_FALSE(std::filesystem::exists(folder.File("p/fit/fit.lib")));
        for (const auto& entry : std::filesystem::directory_iterator(folder.File("p/fit")))
            EXPECT_EQ(entry.path().filename().string().rfind("fit", 0), 0u) << entry.path();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.File("p/fit")),
                                std::filesystem::directory_iterator()),
                  2) << "nothing left beside the run's files";
    }
    EXPECT_EQ(convert(made.size()).code, 0);
    EXPECT_EQ(QzTest::ReadFile(folder.File("p/fit/fit.lib")), made);
}

// Every way a library is saved, cut short by a bound on the size of the files
// the driver writes or by a file system that fills up, at several places of
// the library: the command names the library with the system's reason of the
// failing write, and the library is left as it was (a new one not made),
// with nothing left beside it.
TEST_F(ForcefieldCommand, ALibrarySavedOnAFullDiskGivesTheSystemsReasonAndKeepsTheLibrary)
{
    enum class Limit { FileSize, FullDisk };
    enum class Cut { Header, Middle, LastLine, Flush };
    // {p} stands for the project's folder.
    struct Path {
        const char* command;
        const char* library;  // in the project
        bool earlier;         // the library stands there before the save
        bool converted;       // written by the conversion of the fit's dump
    };
    const Path projects{"forcefield --project {p} edit --value 1.A=1300 --save", "rocksalt.lib", true, false};
    const Path named{"forcefield --project {p} edit {p}/rocksalt.lib --value 1.A=1300 --save", "rocksalt.lib", true,
                     false};
    const Path over{"forcefield --project {p} edit --value 1.A=1300 --save-as {p}/copy.lib", "copy.lib", true, false};
    const Path fresh{"forcefield --project {p} edit --value 1.A=1300 --save-as {p}/new.lib", "new.lib", false, false};
    const Path fit{"analyse {p}/fit/fit.gout library", "fit/fit.lib", false, true};
    const Path refit{"analyse {p}/fit/fit.gout library", "fit/fit.lib", true, true};
    const struct {
        const Path& path;
        Limit limit;
        Cut cut;
    } rows[] = {
        {projects, Limit::FileSize, Cut::Header},   {projects, Limit::FileSize, Cut::Middle},
        {projects, Limit::FileSize, Cut::LastLine}, {projects, Limit::FileSize, Cut::Flush},
        {named, Limit::FileSize, Cut::Header},      {named, Limit::FileSize, Cut::Middle},
        {named, Limit::FileSize, Cut::LastLine},    {named, Limit::FileSize, Cut::Flush},
        {over, Limit::FileSize, Cut::Header},       {over, Limit::FileSize, Cut::Middle},
        {over, Limit::FileSize, Cut::LastLine},     {over, Limit::FileSize, Cut::Flush},
        {fresh, Limit::FileSize, Cut::Header},      {fresh, Limit::FileSize, Cut::Middle},
        {fresh, Limit::FileSize, Cut::LastLine},    {fresh, Limit::FileSize, Cut::Flush},
        {refit, Limit::FileSize, Cut::Header},      {refit, Limit::FileSize, Cut::Middle},
        {refit, Limit::FileSize, Cut::LastLine},    {refit, Limit::FileSize, Cut::Flush},
        {projects, Limit::FullDisk, Cut::Header},   {projects, Limit::FullDisk, Cut::Middle},
        {named, Limit::FullDisk, Cut::LastLine},    {over, Limit::FullDisk, Cut::Header},
        {over, Limit::FullDisk, Cut::Middle},       {fresh, Limit::FullDisk, Cut::LastLine},
        {fit, Limit::FullDisk, Cut::Header},        {refit, Limit::FullDisk, Cut::Header},
    };

    // A library of some pages: the kept lines of a form the module does not
    // read are written past the stream's buffer.
    std::string library = QzTest::ReadFile(folder.File("p/rocksalt.lib")) + "tersoff\n";
    for (int i = 0; i < 700; ++i)
        library += "Na core Cl core " + std::to_string(i) + ".0 0.5 0.0 0.0 8.0 kept as it stands\n";
    const std::string earlierFit = QzTest::ReadFile(folder.File("p/rocksalt.lib"));
    std::filesystem::create_directories(folder.File("p/fit"));
    std::filesystem::create_directories(folder.File("disk"));
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/analysis/energy.gout", folder.File("p/fit/fit.gout"));
    std::filesystem::copy_file(std::string(QZ_TEST_DATA) + "/forcefield/fit.res", folder.File("p/fit/fit.res"));
    const auto begin = [&](const Path& path) {
        QzTest::WriteFile(folder.File("p/rocksalt.lib"), library);
        QzTest::WriteFile(folder.File("p/copy.lib"), library);
        std::filesystem::remove(folder.File("p/new.lib"));
        std::filesystem::remove(folder.File("p/fit/fit.lib"));
        if (path.converted && path.earlier)
            QzTest::WriteFile(folder.File("p/fit/fit.lib"), earlierFit);
    };
    const auto entries = [&] {
        std::string names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.File("p")))
            names += entry.path().string().substr(folder.Path().size()) + "\n";
        return names;
    };
    const auto commandIn = [](const Path& path, const std::string& project) {
        std::string command = path.command;
        for (std::size_t at = command.find("{p}"); at != std::string::npos; at = command.find("{p}"))
            command.replace(at, 3, project);
        return command;
    };
    const std::string errFile = folder.File("limited-stderr.txt");
    const std::string environment = "QZ_USER_SETTINGS='" + folder.File("user-settings") + "'";
    const std::string driver = "'" + QzTest::DriverPath() + "' --registry registry.json ";
    // Runs the path's command with the limit; its stderr, -1 when no file
    // system can be mounted here. A full disk is a small file system mounted
    // (in a namespace of its own) for the run, filled but for `room` bytes,
    // with a copy of the project, which is copied back afterwards.
    const auto run = [&](const Path& path, Limit limit, unsigned long bytes) -> std::pair<int, std::string> {
        std::remove(errFile.c_str());
        std::string command;
        if (limit == Limit::FileSize) {
            // The error file is not the bounded driver's own.
            command = "trap '' XFSZ; cd '" + folder.Path() + "' && " +
                      QzTest::Bounded(environment, "prlimit --fsize=" + std::to_string(bytes) + " " + driver +
                                                       commandIn(path, "p")) +
                      " 2>&1 >/dev/null | cat >'" + errFile + "'";
        } else {
            QzTest::WriteFile(folder.File("full-disk.sh"),
                              "mount -t tmpfs -o size=1m qz-full disk || exit 77\n"
                              "cp -a p disk/p || exit 1\n"
                              "room=$(( $(df -B1 --output=avail disk | tail -n 1) - " + std::to_string(bytes) +
                                  " ))\n"
                              "[ $room -le 0 ] || head -c $room /dev/zero >disk/filler\n" +
                                  QzTest::Bounded(environment, driver + commandIn(path, "disk/p")) + " >/dev/null 2>'" +
                                  errFile + "'\n"
                                            "rm -rf p && cp -a disk/p p\n");
            command = "cd '" + folder.Path() + "' && { unshare -rm true 2>/dev/null || exit 77; } && unshare -rm sh full-disk.sh 2>/dev/null";
        }
        const int status = std::system(command.c_str());
        if (limit == Limit::FullDisk && WIFEXITED(status) && WEXITSTATUS(status) == 77)
            return {-1, std::string()};
        return {0, QzTest::ReadFile(errFile)};
    };

    // The size of what each writer saves whole.
    begin(fresh);
    ASSERT_EQ(Run(commandIn(fresh, "p")).code, 0);
    const std::size_t editedSize = QzTest::ReadFile(folder.File("p/new.lib")).size();
    ASSERT_EQ(Run(commandIn(fit, "p")).code, 0);
    const std::size_t fittedSize = QzTest::ReadFile(folder.File("p/fit/fit.lib")).size();
    ASSERT_GT(editedSize, 30000u);

    int skipped = 0;
    for (const auto& row : rows) {
        const std::size_t whole = row.path.converted ? fittedSize : editedSize;
        const std::size_t cut = row.cut == Cut::Header ? 4 : row.cut == Cut::Middle ? whole / 2
                                : row.cut == Cut::LastLine                          ? whole - 10
                                                                                    : whole - 1;
        // A file system gives room by whole pages.
        const std::size_t bytes = row.limit == Limit::FileSize ? cut : cut / 4096 * 4096;
        const std::string project = row.limit == Limit::FileSize ? "p" : "disk/p";
        SCOPED_TRACE(commandIn(row.path, project) + (row.limit == Limit::FileSize ? ", files up to " : ", room for ") +
                     std::to_string(bytes) + " bytes of " + std::to_string(whole));
        begin(row.path);
        const std::string before = QzTest::ReadFile(folder.File("p/" + std::string(row.path.library)));
        const std::string listed = entries();
        const auto [ran, err] = run(row.path, row.limit, bytes);
        if (ran < 0) {
            ++skipped;
            continue;
        }
        const std::string reason = std::strerror(row.limit == Limit::FileSize ? EFBIG : ENOSPC);
        EXPECT_TRUE(Contains(err, "zelm-host: Failed to write " + folder.File(project + "/" + row.path.library) +
                                      ": writing its new contents failed (" + reason + ")"))
            << err;
        EXPECT_FALSE(Contains(err, "Input/output error")) << err;
        EXPECT_EQ(std::filesystem::exists(folder.File("p/" + std::string(row.path.library))), row.path.earlier);
        EXPECT_EQ(QzTest::ReadFile(folder.File("p/" + std::string(row.path.library))), before);
        EXPECT_EQ(entries(), listed) << "nothing is left beside the library";
    }
    if (skipped > 0)
        std::cerr << "note: " << skipped << " full-disk rows not run: no file system can be mounted here\n";
}
