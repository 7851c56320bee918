// The driver's host commands at scale, each run as the driver runs it:
// - import of a crystal into a project and show of its document: a P 1 cell
//   of n atoms on random sites, n = 10,000 and 100,000;
// - types: forcefield types by element for the same documents;
// - forcefield show of generated libraries of 32 and 300 atom types (16 and
//   150 species with core and shell) holding pair, three-body and
//   four-body interactions (about 670 and 20,000);
// - export, run and deck of the typed documents (the CPU time of the
//   command as the driver runs it, the folders it made removed after it).
// Import and types should take time in proportion to the atoms, forcefield
// show in proportion to the interactions; the closing lines give the ratio
// of the 100,000-atom to the 10,000-atom times (10 for linear time, target
// at most 12) and the times of forcefield show.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "DeckCommands.h"
#include "ForcefieldCommands.h"
#include "HostCommands.h"
#include "JobCommands.h"
#include "ModuleCommands.h"
#include "PrintableOutput.h"
#include "ShuffledLibrary.h"
#include "TypeCommands.h"

namespace {

namespace fs = std::filesystem;

std::string MakeCif(long atoms)
{
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double a = std::cbrt(12.0 * static_cast<double>(atoms)); // about 12 cubic Angstrom per atom
    std::ostringstream text;
    text << "data_random\n_cell_length_a " << a << "\n_cell_length_b " << a << "\n_cell_length_c " << a
         << "\n_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
         << "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
         << "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
    const char* elements[] = {"Si", "O", "O", "Na"};
    for (long i = 0; i < atoms; ++i) {
        const char* element = elements[i % 4];
        text << element << i + 1 << " " << element << " " << unit(random) << " " << unit(random) << " "
             << unit(random) << "\n";
    }
    return text.str();
}

// A project folder of its own holding the CIF file.
class Project {
public:
    explicit Project(long atoms)
    {
        char pattern[] = "/tmp/qz-host-bench-XXXXXX";
        const char* made = mkdtemp(pattern);
        folder_ = made ? made : "";
        std::ostringstream ignored;
        ZelmHost::CreateProject(folder_, ignored);
        cif_ = folder_ + "/random.cif";
        std::ofstream(cif_) << MakeCif(atoms);
    }
    ~Project()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    const std::string& Folder() const { return folder_; }
    const std::string& Cif() const { return cif_; }

private:
    std::string folder_;
    std::string cif_;
};

// A library of `species` species (2 x species atom types) and about
// `interactions` interactions.
std::string MakeLibrary(int species, int interactions)
{
    return QzBench::ShuffledLibrary(species, std::max(1, (interactions - species) / 3));
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_ImportAndShow(benchmark::State& state)
{
    Project project(state.range(0));
    const std::string document = project.Folder() + "/structure.qsd";
    double import = 0.0;
    double show = 0.0;
    for (auto _ : state) {
        std::ostringstream out;
        auto start = std::chrono::steady_clock::now();
        ZelmHost::ImportStructure(project.Cif(), project.Folder(), "structure", 0, out);
        import += Seconds(start);
        start = std::chrono::steady_clock::now();
        {
            // As the driver prints: through its printable output.
            const ZelmHost::PrintableOutput printed(out);
            ZelmHost::ShowDocument(document, "", out);
        }
        show += Seconds(start);
        benchmark::DoNotOptimize(out.str().size());

        state.PauseTiming();
        if (!fs::remove(document)) {
            state.SkipWithError("the import made no document structure.qsd");
        }
        state.ResumeTiming();
    }
    state.counters["import_s"] = benchmark::Counter(import, benchmark::Counter::kAvgIterations);
    state.counters["show_s"] = benchmark::Counter(show, benchmark::Counter::kAvgIterations);
    state.counters["atoms"] = static_cast<double>(state.range(0));
}
// The best of five runs: other work on the machine only ever adds time.
auto Minimum = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };

BENCHMARK(BM_ImportAndShow)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true)
    ->ComputeStatistics("min", Minimum);

// Forcefield types by element for every atom of an imported document.
void BM_Types(benchmark::State& state)
{
    Project project(state.range(0));
    const std::string document = project.Folder() + "/structure.qsd";
    std::ostringstream made;
    ZelmHost::ImportStructure(project.Cif(), project.Folder(), "structure", 0, made);
    int round = 0;
    for (auto _ : state) {
        std::ostringstream out;
        // Types that differ from round to round, so that every round changes
        // every atom.
        const std::string suffix = "_" + std::to_string(++round % 2);
        ZelmHost::TypeAtoms(document, project.Folder(), {"Si=Si" + suffix, "O=O" + suffix, "Na=Na" + suffix}, false,
                            out);
        benchmark::DoNotOptimize(out.str().size());
    }
    state.counters["atoms"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_Types)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true)
    ->ComputeStatistics("min", Minimum);

// CPU seconds of this process, all threads.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Runs one driver command as zelm-host would; its exit code.
int RunDriverCommand(std::vector<std::string> words, std::ostream& out)
{
    ZelmHost::CommandLine commandLine;
    ZelmHost::AddJobCommands(commandLine);
    ZelmHost::AddDeckCommands(commandLine);
    words.insert(words.begin(), "zelm-host");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    // Host commands print to standard output and error: into `out` here.
    std::streambuf* const standardOutput = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const standardError = std::cerr.rdbuf(out.rdbuf());
    const int code = commandLine.Run(static_cast<int>(argv.size()), argv.data(), out, out);
    std::cout.rdbuf(standardOutput);
    std::cerr.rdbuf(standardError);
    return code;
}

// Export, run (the job made and staged, no engine) and deck of a typed
// document of n atoms, in CPU time. Each round removes what the command
// made beside the document (results folder, engine folder, deck files).
void BM_JobCommand(benchmark::State& state, const char* command)
{
    Project project(state.range(0));
    const std::string document = project.Folder() + "/structure.qsd";
    std::ostringstream made;
    ZelmHost::ImportStructure(project.Cif(), project.Folder(), "structure", 0, made);
    ZelmHost::TypeAtoms(document, project.Folder(), {}, false, made);
    std::ofstream(project.Folder() + "/bench.lib")
        << "species\nSi core 4.0\nO core -2.0\nNa core 1.0\nbuckingham\nSi core O core 1283.9 0.32 10.66 0.0 10.0\n";
    ZelmHost::StateCommand(project.Folder(), "ZelmLogic", std::string("library"), std::string("bench"), made);
    std::vector<fs::path> before;
    for (const auto& entry : fs::directory_iterator(project.Folder()))
        before.push_back(entry.path());
    for (auto _ : state) {
        std::ostringstream out;
        const double start = CpuSeconds();
        const int code = RunDriverCommand({command, document}, out);
        state.SetIterationTime(CpuSeconds() - start);
        if (code != 0) {
            state.SkipWithError((std::string(command) + " failed: " + out.str().substr(0, 400)).c_str());
            break;
        }
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(project.Folder())) {
            if (std::find(before.begin(), before.end(), entry.path()) == before.end())
                fs::remove_all(entry.path(), ignored);
        }
        fs::remove_all(project.Folder() + "/.server", ignored);
    }
    state.counters["atoms"] = static_cast<double>(state.range(0));
}
// Each command on 10k and 100k atoms, timed once a repetition, the least of
// five quoted.
void JobCommandRuns(benchmark::internal::Benchmark* bench)
{
    bench->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(5)
        ->DisplayAggregatesOnly(true)
        ->ComputeStatistics("min", Minimum);
}
BENCHMARK_CAPTURE(BM_JobCommand, export, "export")->Apply(JobCommandRuns);
BENCHMARK_CAPTURE(BM_JobCommand, run, "run")->Apply(JobCommandRuns);
BENCHMARK_CAPTURE(BM_JobCommand, deck, "deck")->Apply(JobCommandRuns);

// The forcefield command's show of a generated library (the argument: the
// number of atom types).
void BM_ForcefieldShow(benchmark::State& state)
{
    const int atomTypes = static_cast<int>(state.range(0));
    const int interactions = atomTypes >= 300 ? 20000 : atomTypes * 21;
    Project project(0);
    const std::string library = project.Folder() + "/generated.lib";
    std::ofstream(library) << MakeLibrary(atomTypes / 2, interactions);
    std::size_t lines = 0;
    for (auto _ : state) {
        std::ostringstream out;
        ZelmHost::ForcefieldOptions options;
        options.project = project.Folder();
        options.action = "show";
        options.argument = library;
        ZelmHost::RunForcefieldCommand(options, out);
        const std::string text = out.str();
        lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        benchmark::DoNotOptimize(lines);
    }
    state.counters["atom_types"] = atomTypes;
    state.counters["lines_shown"] = static_cast<double>(lines);
}
BENCHMARK(BM_ForcefieldShow)
    ->Arg(32)
    ->Arg(300)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true)
    ->ComputeStatistics("min", Minimum);

// The console report, keeping the best time of each size for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                times_[run.run_name.function_name][run.run_name.args] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Best time (ms) by benchmark and argument; 0 when it did not run.
    double Time(const std::string& benchmark, const std::string& argument) const
    {
        const auto found = times_.find(benchmark);
        if (found == times_.end())
            return 0.0;
        const auto time = found->second.find(argument);
        return time == found->second.end() ? 0.0 : time->second;
    }

private:
    std::map<std::string, std::map<std::string, double>> times_;
};

void PrintRatio(const RatioReporter& reporter, const char* benchmark, const char* what)
{
    const double small = reporter.Time(benchmark, "10000");
    const double large = reporter.Time(benchmark, "100000");
    if (small > 0.0 && large > 0.0)
        std::printf("%s, best of five, 10000 atoms: %.0f ms, 100000 atoms: %.0f ms; ratio %.2f (10 for linear "
                    "time; target at most 12)\n",
                    what, small, large, large / small);
}

}  // namespace

int main(int argc, char** argv)
{
    // The host's class registry of this run only: a module registered by
    // the user must not load into the measured host.
    char pattern[] = "/tmp/qz-host-bench-registry-XXXXXX";
    const char* registry = mkdtemp(pattern);
    if (registry != nullptr) {
        setenv("QZ_REGISTRY_FILE", (std::string(registry) + "/registry.json").c_str(), 1);
    }

    // forcefield show needs the module in that registry.
    std::ostringstream registered;
    std::ostringstream refused;
    if (ZelmHost::RegisterModule(ZelmHost::DefaultModulePath(), registered, refused) != 0)
        std::fprintf(stderr, "the module could not be registered: %s\n", refused.str().c_str());

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio(reporter, "BM_ImportAndShow", "import and show");
    PrintRatio(reporter, "BM_Types", "types");
    PrintRatio(reporter, "BM_JobCommand/export", "export 100k/10k (CPU)");
    PrintRatio(reporter, "BM_JobCommand/run", "run 100k/10k (CPU)");
    PrintRatio(reporter, "BM_JobCommand/deck", "deck 100k/10k (CPU)");
    for (const char* types : {"32", "300"}) {
        if (const double time = reporter.Time("BM_ForcefieldShow", types); time > 0.0)
            std::printf("forcefield show, best of three, %s atom types: %.0f ms\n", types, time);
    }
    benchmark::Shutdown();
    if (registry != nullptr) {
        std::error_code ignored;
        fs::remove_all(registry, ignored);
    }
    return 0;
}
