// A long campaign of one document: its 1st run against its 10,000th, each
// run as a user runs it (zelm-host with the engine stand-in), and the claim
// of a results folder alone against the same numbers of earlier folders.
// The earlier runs stand as their results folders ("rocksalt ZELM Energy",
// "_2" ... "_9999"); the engine folders of runs brought home are gone. The
// closing counters give the ratios of the 10,000th to the 1st (target for a
// whole run: at most 1.5).
//   build/bin/qz_campaign_bench

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "qorqm/ClaimName.h"

namespace {

namespace fs = std::filesystem;

const char* const Series = "rocksalt ZELM Energy";

std::string TemporaryFolder(const char* what)
{
    std::string pattern = std::string("/tmp/qz-campaign-") + what + "-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    return made ? made : std::string();
}

// The results folders of `earlier` runs of the document in `project`.
void EarlierRuns(const std::string& project, unsigned earlier)
{
    for (unsigned n = 1; n <= earlier; ++n)
        ::mkdir(DiskUtilities::NumberedName(project + "/" + Series, n, DiskUtilities::ClaimKind::Folder).c_str(),
                0777);
}

// A project "p" in a folder of its own with the rock salt and its library,
// run by the engine stand-in.
class Campaign {
public:
    explicit Campaign(unsigned earlier) : folder_(TemporaryFolder("run"))
    {
        const std::string examples = std::string(QZ_SOURCE_DIR) + "/examples/";
        ok_ = Driver("register " + std::string(QZ_LIB_DIR) + "/libQorZelm.so") && Driver("project p") &&
              Driver("import " + examples + "rocksalt.cif --project p");
        std::error_code error;
        fs::copy_file(examples + "rocksalt.lib", folder_ + "/p/rocksalt.lib", error);
        ok_ = ok_ && !error && Driver("state --project p ZelmLogic library rocksalt") &&
              Driver("engine --project p --stub --time-limit 60");
        EarlierRuns(folder_ + "/p", earlier);
    }
    ~Campaign()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    Campaign(const Campaign&) = delete;
    Campaign& operator=(const Campaign&) = delete;

    bool Ok() const { return ok_; }

    // One run's time in seconds, negative when it failed.
    double Run() const
    {
        const auto start = std::chrono::steady_clock::now();
        if (!Driver("run p/rocksalt.qsd --task Energy"))
            return -1.0;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    bool Driver(const std::string& arguments) const
    {
        const std::string command = "cd '" + folder_ + "' && QZ_USER_SETTINGS='" + folder_ + "/user-settings' '" +
                                    QZ_BIN_DIR + "/zelm-host' --registry '" + folder_ + "/registry.json' " +
                                    arguments + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }

    std::string folder_;
    bool ok_ = false;
};

void BM_CampaignRunGrowth(benchmark::State& state)
{
    const Campaign first(0);
    const Campaign late(9999);
    if (!first.Ok() || !late.Ok()) {
        state.SkipWithError("the campaign's project cannot be made");
        return;
    }
    double firstSeconds = 0.0;
    double lateSeconds = 0.0;
    for (auto _ : state) {
        const double a = first.Run();
        const double b = late.Run();
        if (a < 0 || b < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        firstSeconds += a;
        lateSeconds += b;
        state.SetIterationTime(a + b);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["run_1st_s"] = firstSeconds / iterations;
    state.counters["run_10000th_s"] = lateSeconds / iterations;
    state.counters["ratio_10000th_to_1st"] = lateSeconds / firstSeconds;
}
BENCHMARK(BM_CampaignRunGrowth)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// The claim of the next results folder alone: one read of the folder, one
// mkdir (the folder is removed again outside the timing).
void BM_ClaimGrowth(benchmark::State& state)
{
    const std::string few = TemporaryFolder("claim-1");
    const std::string many = TemporaryFolder("claim-10000");
    EarlierRuns(many, 9999);
    double firstSeconds = 0.0;
    double lateSeconds = 0.0;
    for (auto _ : state) {
        for (const std::string* folder : {&few, &many}) {
            const auto start = std::chrono::steady_clock::now();
            const DiskUtilities::ClaimedName claim =
                DiskUtilities::ClaimNewName(*folder + "/" + Series, DiskUtilities::ClaimKind::Folder);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            (folder == &few ? firstSeconds : lateSeconds) += seconds;
            if (!claim) {
                state.SkipWithError("a claim failed");
                break;
            }
            ::rmdir(claim.path.c_str());
        }
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["claim_1st_us"] = firstSeconds / iterations * 1e6;
    state.counters["claim_10000th_us"] = lateSeconds / iterations * 1e6;
    state.counters["ratio_10000th_to_1st"] = lateSeconds / firstSeconds;
    std::error_code ignored;
    fs::remove_all(few, ignored);
    fs::remove_all(many, ignored);
}
BENCHMARK(BM_ClaimGrowth)->Iterations(200)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
