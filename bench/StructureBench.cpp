// Importing a crystal into a project and showing its document, as the
// driver's import and show commands do: a P 1 cell of n atoms on random
// sites, n = 10,000 and 100,000. Both steps should take time in proportion
// to the atoms; the closing line gives the ratio of the two times (10 for
// linear time).

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "HostCommands.h"

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
        ZelmHost::ShowDocument(document, "", out);
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
BENCHMARK(BM_ImportAndShow)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true)
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

// The console report, keeping the best time of each size for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min" &&
                run.run_name.function_name == "BM_ImportAndShow") {
                times_[run.run_name.args] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const std::map<std::string, double>& Times() const { return times_; }

private:
    std::map<std::string, double> times_;
};

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

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& times = reporter.Times();
    const auto small = times.find("10000");
    const auto large = times.find("100000");
    if (small != times.end() && large != times.end() && small->second > 0.0) {
        std::printf("import and show, best of five, 10000 atoms: %.0f ms, 100000 atoms: %.0f ms\n", small->second,
                    large->second);
        std::printf("time ratio 100000 / 10000 atoms: %.2f (10 for linear time; target under 15)\n",
                    large->second / small->second);
    }
    benchmark::Shutdown();
    if (registry != nullptr) {
        std::error_code ignored;
        fs::remove_all(registry, ignored);
    }
    return 0;
}
