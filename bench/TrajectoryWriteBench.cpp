// Writing a dynamics run's trajectory document: the dynamics provider over a
// generated run in the NPT ensemble (".gout" with one production block a
// step, ".pre", ".trg" of a few atoms with the cell of every frame) handed to the host's trajectory writer,
// at 1x and 10x the frames in the same run. The writer asks the provider for
// the step's volume, pressure and pressure-file values at every frame, so
// any per-frame cost that grows with the run shows in the ratio.
//
// Counters: seconds_1x and seconds_10x (load and write, best of the
// iterations), x_time = seconds_10x / seconds_1x (linear writing gives about
// 10). Frames: $QZ_BENCH_MD_FRAMES for 1x (default 6400).
//
//   build/bin/qz_bench --benchmark_filter=BM_WriteDynamicsTrajectory

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "kelv/KelvBSTR.h"
#include "kelv/KelvResult.h"
#include "qorqm/CTrjWriter.h"
#include "readers/ZelmMolDynTrjDataProvider.h"
#include "recfile/RecordWriter.h"

namespace {

constexpr int Atoms = 4;

// A finished dynamics run of `frames` steps in a folder of its own.
class DynamicsRun {
public:
    explicit DynamicsRun(int frames)
    {
        char folder[] = "/tmp/qz-bench-md-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            std::abort();
        m_folder = folder;
        m_base = m_folder + "/run";
        WriteOutput(frames);
        WritePressureFile(frames);
        WriteTrajectory(frames);
    }
    ~DynamicsRun()
    {
        for (const char* extension : {".gout", ".pre", ".trg", ".trj"})
            std::remove((m_base + extension).c_str());
        rmdir(m_folder.c_str());
    }
    DynamicsRun(const DynamicsRun&) = delete;
    DynamicsRun& operator=(const DynamicsRun&) = delete;
    const std::string& Base() const { return m_base; }

private:
    void WriteOutput(int frames) const
    {
        std::ofstream out(m_base + ".gout");
        const std::string rule(80, '-');
        out << "  *  md - perform molecular dynamics run\n\n"
            << "  Number of irreducible atoms/shells =       " << Atoms << "\n"
            << "  Total number atoms/shells =       " << Atoms << "\n"
            << "\n"
            << rule << "\n   No.  Atomic       x           y          z         Charge      Occupancy\n"
            << "        Label      (Frac)      (Frac)     (Frac)        (e)         (Frac)\n"
            << rule << "\n";
        for (int i = 1; i <= Atoms; ++i)
            out << "      " << i << " Na    c    0.100000    0.200000    0.300000     1.00000    1.000000\n";
        out << rule << "\n\n  Isothermal/baric ensemble (NPT) to be used\n\n  Molecular dynamics production :\n\n";
        for (int i = 0; i < frames; ++i)
            out << "  ** Time : " << 0.001 * (i + 1) << " ps **\n"
                << "  Kinetic energy    (eV) = 0.31 0.31\n  Potential energy  (eV) = -31.9 -31.9\n"
                << "  Total energy      (eV) = -31.6 -31.6\n  Conserved quantity(eV) = -31.6 -31.6\n"
                << "  Temperature       (K) = 300.0 300.0\n  Pressure        (GPa) = " << 0.1 + 1e-6 * i
                << " 0.12\n  Cell volume : (A**3) = " << 179.4 + 1e-6 * i << " 179.4\n\n";
        out << "  Pressure of configuration = 0.1345 GPa\n\n  Timing analysis for Zelm :\n";
    }

    void WritePressureFile(int frames) const
    {
        std::ofstream out(m_base + ".pre");
        for (int i = 0; i < frames; ++i)
            out << "Instant: " << i + 1 << " 0.1 0.2 0.3 0.4 0.5 0.6\n";
    }

    void WriteTrajectory(int frames) const
    {
        RecordFile::RecordWriter writer(m_base + ".trg");
        writer.Write(RecordFile::Record().Real(1.0));
        writer.Write(RecordFile::Record().Integer(Atoms));
        std::vector<double> values(Atoms);
        for (int f = 0; f < frames; ++f) {
            writer.Write(RecordFile::Record().Real(0.001 * (f + 1)).Real(-31.9).Real(0.31).Real(300.0));
            for (int k = 0; k < 6; ++k) {
                for (int j = 0; j < Atoms; ++j)
                    values[static_cast<std::size_t>(j)] = 0.5 * j + 0.01 * k + 1e-5 * f;
                writer.Write(RecordFile::Record().Reals(values));
            }
            const double side = 5.64 + 1e-6 * f;
            writer.Write(RecordFile::Record().Reals({side, 0, 0, 0, side, 0, 0, 0, side}));
            writer.Write(RecordFile::Record().Reals({side, side, side, 90, 90, 90}));
        }
        writer.Close();
    }

    std::string m_folder;
    std::string m_base;
};

// Seconds to load the provider and write the ".trj".
double WriteOnce(const DynamicsRun& run)
{
    const auto start = std::chrono::steady_clock::now();
    try {
        std::unique_ptr<CZelmMolDynTrjDataProvider> provider(CZelmMolDynTrjDataProvider::Create(run.Base()));
        if (!provider || FAILED(CTrjWriter().WriteTrajFile(*provider, KelvBSTR(run.Base()))))
            throw KelvResult(E_FAIL, "no trajectory was written");
    } catch (const KelvResult& failure) {
        std::fprintf(stderr, "%s\n", failure.GetMessage().c_str());
        std::abort();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_WriteDynamicsTrajectory(benchmark::State& state)
{
    const char* setting = std::getenv("QZ_BENCH_MD_FRAMES");
    const int frames = std::max(10, setting ? std::atoi(setting) : 6400);
    const DynamicsRun small(frames), large(10 * frames);
    double best1 = 1e300, best10 = 1e300;
    for (auto _ : state) {
        const double seconds1 = WriteOnce(small);
        const double seconds10 = WriteOnce(large);
        best1 = std::min(best1, seconds1);
        best10 = std::min(best10, seconds10);
        state.SetIterationTime(seconds1 + seconds10);
    }
    state.counters["frames_1x"] = frames;
    state.counters["seconds_1x"] = best1;
    state.counters["seconds_10x"] = best10;
    state.counters["x_time"] = best10 / best1;
}
BENCHMARK(BM_WriteDynamicsTrajectory)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
