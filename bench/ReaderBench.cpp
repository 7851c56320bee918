// The engine output readers on generated files. Each benchmark reports the
// bytes read per second, its time per pass over the file against a raw line
// scan of the same file in the same run ("x_raw"; some readers pass over the
// main output several times by design), the time of the whole read against a
// raw tokenising scan of the same files in the same run ("x_scan": lines
// split into words and every word converted as a number, the least any
// reader of the numbers has to do; both ratios take the least processor time
// of several runs, so that a busy machine moves them little), and the peak
// heap of one read,
// measured by this program's allocation hooks, beside the bytes of the
// results it keeps ("peak_heap", "results", "peak_ok": peak within
// 3 x results + 1 MiB). The scans that keep no per-frame result run at 1x
// and 10x the frames: their peaks must not grow.
//
// Sizes: QZ_BENCH_SCALE (a factor, default 1) multiplies every generated
// file; about 150 gives a main output of 1 GB.

#include <benchmark/benchmark.h>

#include <charconv>

#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "readers/ArchiveFileReader.h"
#include "readers/GeomOptReaders.h"
#include "readers/MolDynFileReader.h"
#include "readers/MolDynOutputFileReader.h"
#include "readers/OutputFileReader.h"
#include "readers/PhononFileReader.h"

#include "ReadCommands.h"

// ---- allocation hooks -------------------------------------------------------

namespace {
std::atomic<long long> g_current{0};
std::atomic<long long> g_peak{0};

void* Allocate(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    const long long now = g_current += static_cast<long long>(malloc_usable_size(p));
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void Release(void* p) noexcept
{
    if (p != nullptr) {
        g_current -= static_cast<long long>(malloc_usable_size(p));
        std::free(p);
    }
}
} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

// ---- generated files --------------------------------------------------------

double Scale()
{
    const char* text = std::getenv("QZ_BENCH_SCALE");
    const double scale = text ? std::atof(text) : 1.0;
    return scale > 0 ? scale : 1.0;
}

long Scaled(long count)
{
    return std::max(1L, static_cast<long>(std::llround(static_cast<double>(count) * Scale())));
}

class TempFiles {
public:
    TempFiles()
    {
        char pattern[] = "/tmp/qz-reader-bench-XXXXXX";
        folder_ = mkdtemp(pattern) ? pattern : "/tmp";
        base_ = folder_ + "/run";
    }
    ~TempFiles()
    {
        for (const std::string& file : files_) {
            std::remove(file.c_str());
        }
        rmdir(folder_.c_str());
    }
    TempFiles(const TempFiles&) = delete;
    TempFiles& operator=(const TempFiles&) = delete;

    // Writes "<base><extension>" from a generator and answers its path.
    std::string Write(const std::string& extension, const std::function<void(std::ostream&)>& generate)
    {
        const std::string path = base_ + extension;
        std::ofstream out(path, std::ios::binary);
        generate(out);
        files_.push_back(path);
        return path;
    }
    const std::string& Base() const { return base_; }

private:
    std::string folder_;
    std::string base_;
    std::vector<std::string> files_;
};

long long FileSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return static_cast<long long>(in.tellg());
}

const std::string Rule(80, '-');

void OutputHead(std::ostream& out, const char* task, int atoms, bool table = true)
{
    out << "  *  " << task << "\n\n  Number of CPUs = 1\n\n  Dimensionality 3 : Bulk\n\n";
    out << "  Cartesian lattice vectors (Angstroms) :\n\n   5.64 0 0\n   0 5.64 0\n   0 0 5.64\n\n";
    out << "  Cell parameters (Angstroms/Degrees):\n\n\n  a = 5.64 alpha = 90.0\n  b = 5.64 beta = 90.0\n"
           "  c = 5.64 gamma = 90.0\n\n";
    if (!table) {
        return;
    }
    out << "  Number of irreducible atoms/shells = " << atoms << "\n  Total number atoms/shells = " << atoms << "\n";
    out << Rule << "\n   No.  Atomic       x           y          z         Charge      Occupancy\n"
        << "        Label      (Frac)      (Frac)     (Frac)        (e)         (Frac)\n"
        << Rule << "\n";
    for (int i = 1; i <= atoms; ++i) {
        out << "  " << i << " Na    c    0.100000    0.200000    0.300000     1.00000    1.000000\n";
    }
    out << Rule << "\n\n";
}

void GeomOptOutput(std::ostream& out, long cycles)
{
    OutputHead(out, "opti - perform optimisation run", 64);
    out << "  Maximum function tolerance = 0.00001\n  Maximum gradient tolerance = 0.001\n\n";
    out << "  Start of bulk optimisation :\n\n";
    for (long i = 0; i < cycles; ++i) {
        out << "  Cycle: " << i << " Energy: " << -31.0 - 1e-6 * i << "  Gnorm: " << 1.0 / (i + 1)
            << "  CPU: " << 0.01 * i << "\n";
    }
    out << "\n  **** Optimisation achieved ****\n";
}

void DynamicsOutput(std::ostream& out, long blocks, bool table = true)
{
    OutputHead(out, "md - perform molecular dynamics run", 64, table);
    out << "  Canonical ensemble (NVT) to be used\n\n  Molecular dynamics production :\n\n";
    for (long i = 0; i < blocks; ++i) {
        out << "  ** Time : " << 0.001 * i << " ps **\n"
            << "  Kinetic energy    (eV) = 0.31 0.31\n  Potential energy  (eV) = -31.9 -31.9\n"
            << "  Total energy      (eV) = -31.6 -31.6\n  Conserved quantity(eV) = -31.6 -31.6\n"
            << "  Temperature       (K) = 300.0 300.0\n  Pressure        (GPa) = 0.12 0.12\n"
            << "  Cell parameter : a (A) = 5.64 5.64\n  Cell volume : (A**3) = 179.4 179.4\n\n";
    }
    out << "  Pressure of configuration = 0.1345 GPa\n\n  Timing analysis for Zelm :\n";
}

// ---- measurement ------------------------------------------------------------

// Processor seconds of this thread: the measures below take the least of
// several runs of this, which a busy machine disturbs far less than the
// time on the clock.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Seconds of one raw line scan of the files.
double RawScan(const std::vector<std::string>& paths)
{
    const double start = ThreadSeconds();
    std::size_t lines = 0;
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            ++lines;
        }
    }
    benchmark::DoNotOptimize(lines);
    return ThreadSeconds() - start;
}

// Seconds of one raw tokenising scan of the files: each line split at blanks
// into words, each word converted as a number.
double TokenisingScan(const std::vector<std::string>& paths)
{
    const double start = ThreadSeconds();
    double sum = 0.0;
    std::size_t numbers = 0;
    for (const std::string& path : paths) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            const char* p = line.data();
            const char* const end = p + line.size();
            while (p < end) {
                while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) {
                    ++p;
                }
                const char* word = p;
                while (p < end && *p != ' ' && *p != '\t' && *p != '\r') {
                    ++p;
                }
                double value = 0.0;
                if (p > word && std::from_chars(word, p, value).ec == std::errc()) {
                    sum += value;
                    ++numbers;
                }
            }
        }
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(numbers);
    return ThreadSeconds() - start;
}

// Runs `read` in the benchmark loop and sets the counters. `read` answers
// the bytes of the results it kept (a negative number: none to compare the
// peak with); `passes` is the number of passes the reader makes over the
// files. The ratios compare the least processor time of a read with the
// least of the scans, which run between the reads, outside the timing.
void Measure(benchmark::State& state, const std::vector<std::string>& paths, double passes,
             const std::function<long long()>& read)
{
    long long bytes = 0;
    for (const std::string& path : paths) {
        bytes += FileSize(path);
    }
    double raw = 1e30;
    double scan = 1e30;
    auto scanAgain = [&] {
        raw = std::min(raw, RawScan(paths));
        scan = std::min(scan, TokenisingScan(paths));
    };
    scanAgain();
    scanAgain();

    const long long baseline = g_current.load();
    g_peak.store(baseline);
    const long long results = read();
    const long long peak = g_peak.load() - baseline;

    double best = 1e30;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        benchmark::DoNotOptimize(read());
        best = std::min(best, ThreadSeconds() - start);
        state.PauseTiming();
        scanAgain();
        state.ResumeTiming();
    }
    const double iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(static_cast<double>(bytes) * iterations));
    state.counters["x_raw"] = best / passes / raw;
    state.counters["x_scan"] = best / scan;
    state.counters["peak_heap"] = static_cast<double>(peak);
    if (results >= 0) {
        state.counters["results"] = static_cast<double>(results);
        state.counters["peak_ok"] = peak <= 3 * results + (1 << 20) ? 1 : 0;
    }
}

template <class T>
long long Bytes(const std::vector<T>& values)
{
    return static_cast<long long>(values.capacity() * sizeof(T));
}

// ---- benchmarks -------------------------------------------------------------

void BM_Archive(benchmark::State& state)
{
    TempFiles files;
    const long frames = Scaled(state.range(0));
    const std::string arc = files.Write(".arc", [&](std::ostream& out) {
        out << "!KORVEX archive 3\nPBC=ON\n";
        for (long f = 0; f < frames; ++f) {
            out << "      -734.742197\n!DATE Tue Dec  8 21:10:00 2026\n"
                   "PBC    5.6402    5.6402    5.6402   90.0000   90.0000   90.0000 (P1)\n";
            for (int a = 1; a <= 64; ++a) {
                out << "Na" << a << "     1.234567890    2.345678901    3.456789012 CORE " << a
                    << "    Na      Na   1.0000 " << a << "\n";
            }
            out << "end\nend\n";
        }
    });
    Measure(state, {arc}, 1.0, [&] {
        CArchiveFileReader reader(arc, CAtomicIndexMap::Default);
        long long bytes = Bytes(reader.GetFrames());
        for (const CArchiveFrameInfo& frame : reader.GetFrames()) {
            bytes += Bytes(frame.GetAtomPositions());
        }
        return bytes;
    });
}

void BM_GeomOptFile(benchmark::State& state)
{
    TempFiles files;
    const long steps = Scaled(state.range(0));
    const std::string path = files.Write(".geomopt", [&](std::ostream& out) {
        out << "Tolerances energy:0.00001 gradient:0.001\n";
        for (long i = 0; i < steps; ++i) {
            out << -31.0 - 1e-6 * i << " " << 1.0 / (i + 1) << " " << -1e-6 << "\n";
        }
    });
    Measure(state, {path}, 1.0, [&] {
        CGeomOptFileReader reader(path);
        return Bytes(reader.GetSeries1()) + Bytes(reader.GetSeries2()) + Bytes(reader.GetSeries3());
    });
}

void BM_MdynamFile(benchmark::State& state)
{
    TempFiles files;
    const long frames = Scaled(state.range(0));
    const std::string path = files.Write(".mdynam", [&](std::ostream& out) {
        for (long i = 0; i <= frames; ++i) {
            out << "Frame number: " << i + 1 << "\nt : " << 0.001 * i
                << "\nT : 300.1\nP : 0.12\nEk : 0.31\nEp : -31.9\nEt : -31.6\nH : -31.6\n";
        }
        out << "Frame number: " << frames + 2 << "\n";
    });
    Measure(state, {path}, 1.0, [&] {
        CMolDynFileReader reader(path);
        return 7 * Bytes(reader.GetTime());
    });
}

void BM_GeomOptOutput(benchmark::State& state)
{
    TempFiles files;
    const std::string gout = files.Write(".gout", [&](std::ostream& out) { GeomOptOutput(out, Scaled(state.range(0))); });
    // The main output's own part stops early; the history is one pass.
    Measure(state, {gout}, 1.0, [&] {
        CGeomOptOutputFileReader reader(gout);
        return Bytes(reader.GetSeries1()) + Bytes(reader.GetSeries2()) + Bytes(reader.GetSeries3());
    });
}

void BM_MolDynOutput(benchmark::State& state)
{
    TempFiles files;
    const long blocks = Scaled(state.range(0));
    const std::string gout = files.Write(".gout", [&](std::ostream& out) { DynamicsOutput(out, blocks); });
    const std::string pre = files.Write(".pre", [&](std::ostream& out) {
        for (long i = 0; i < blocks; ++i) {
            out << "Instant: " << i << " 0.1 0.2 0.3 0.4 0.5 0.6\nAverage: " << i << " 0.1 0.2 0.3 0.4 0.5 0.6\n";
        }
    });
    // The ensemble, both stages and the configuration pressure are read in
    // one pass over the output.
    Measure(state, {gout, pre}, 1.0, [&] {
        CMolDynOutputFileReader reader(gout);
        const CMolDynOutputFileInfo& info = reader.GetOutputFileInfo();
        const CMolDynOutputFileCommonInfo& now = info.GetCommonInfo();
        return Bytes(info.GetTime()) +
               2 * (Bytes(now.GetTotalEnergy()) + Bytes(now.GetKineticEnergy()) + Bytes(now.GetPotentialEnergy()) +
                    Bytes(now.GetConservedQuantity()) + Bytes(now.GetTemperature()) + Bytes(now.GetPressure()) +
                    Bytes(now.GetCellA()) + Bytes(now.GetCellVolume()) + Bytes(now.GetPressureFileSeries()));
    });
}

// The driver's `read` of a dynamics run (main output and pressure file): the
// whole command, its output included.
void BM_ReadDynamicsCommand(benchmark::State& state)
{
    TempFiles files;
    const long blocks = Scaled(state.range(0));
    const std::string gout = files.Write(".gout", [&](std::ostream& out) { DynamicsOutput(out, blocks); });
    const std::string pre = files.Write(".pre", [&](std::ostream& out) {
        for (long i = 0; i < blocks; ++i) {
            out << "Instant: " << i << " 0.1 0.2 0.3 0.4 0.5 0.6\nAverage: " << i << " 0.1 0.2 0.3 0.4 0.5 0.6\n";
        }
    });
    ZelmHost::ReadOptions options;
    options.result = files.Base();
    Measure(state, {gout, pre}, 1.0, [&] {
        std::ostringstream out;
        std::ostringstream err;
        if (ZelmHost::ReadResults(options, out, err) != 0) {
            state.SkipWithError(err.str().c_str());
        }
        benchmark::DoNotOptimize(out.str().size());
        return -1LL;
    });
}

// The main output's own part: dimensionality and the atom table, on an
// output that is mostly its atom table.
void BM_MainOutput(benchmark::State& state)
{
    TempFiles files;
    const int atoms = static_cast<int>(Scaled(state.range(0)));
    const std::string gout = files.Write(".gout", [&](std::ostream& out) {
        OutputHead(out, "opti - perform optimisation run", atoms);
        out << "  Start of bulk optimisation :\n";
    });
    // The dimensionality stops at its line; the atom table is one pass.
    Measure(state, {gout}, 1.0, [&] {
        COutputFileReader reader(gout);
        benchmark::DoNotOptimize(reader.GetCoreCount());
        return 0LL;
    });
}

// Scans that keep no per-frame result, over a main output of range(0) history lines.
void BM_Scan(benchmark::State& state, const std::function<void(const std::string&)>& scan)
{
    TempFiles files;
    const long lines = Scaled(state.range(0));
    const std::string gout = files.Write(".gout", [&](std::ostream& out) {
        out << "  * perform optimisation run\n";
        DynamicsOutput(out, lines / 12, false);
        // The atom table at the end, so that its scan reads the whole file.
        out << "  Number of irreducible atoms/shells = 2\n  Total number atoms/shells = 2\n";
        out << Rule << "\n   No.  Atomic       x           y          z         Charge      Occupancy\n\n" << Rule
            << "\n  1 Na c 0 0 0 1 1\n  2 Cl c 0 0 0 1 1\n" << Rule << "\n";
        out << "  Cell parameters (Angstroms/Degrees):\n\n\n  a = 5.64 alpha = 90.0\n  b = 5.64 beta = 90.0\n";
    });
    Measure(state, {gout}, 1.0, [&] {
        scan(gout);
        return 0LL;
    });
}

void BM_ScanRunType(benchmark::State& state)
{
    BM_Scan(state, [](const std::string& path) { benchmark::DoNotOptimize(COutputFileReader::ReadRunType(path)); });
}

void BM_AtomTable(benchmark::State& state)
{
    BM_Scan(state, [](const std::string& path) {
        int cores = 0, shells = 0;
        COutputFileReader::ReadAtomTable(path, cores, shells);
        benchmark::DoNotOptimize(cores);
    });
}

void BM_ReadPressure(benchmark::State& state)
{
    BM_Scan(state, [](const std::string& path) { benchmark::DoNotOptimize(CMolDynOutputFileReader::ReadPressure(path)); });
}

void BM_CellScan(benchmark::State& state)
{
    BM_Scan(state, [](const std::string& path) {
        double a = 0, b = 0, alpha = 0;
        CMolDynOutputFileReader::ReadSurfaceCellParameters(a, b, alpha, path);
        benchmark::DoNotOptimize(a);
    });
}

void BM_DensFile(benchmark::State& state)
{
    TempFiles files;
    const long points = Scaled(state.range(0));
    files.Write(".gout", [&](std::ostream& out) { out << "  Dimensionality 3 : Bulk\n"; });
    const std::string dens = files.Write(".dens", [&](std::ostream& out) {
        out << "# frequency density\n";
        for (long i = 0; i < points; ++i) {
            out << 0.01 * i << " " << std::sin(0.001 * i) << "\n";
        }
    });
    const std::string gout = files.Base() + ".gout";
    Measure(state, {dens}, 1.0, [&] {
        COutputFileReader reader(gout);
        return Bytes(reader.GetDosFrequencies()) + Bytes(reader.GetDosValues());
    });
}

void BM_Dispersion(benchmark::State& state)
{
    TempFiles files;
    const long points = Scaled(state.range(0));
    const int modes = 6;
    const int sections = 4;
    const std::string disp = files.Write(".disp", [&](std::ostream& out) {
        long number = 0;
        for (int s = 0; s < sections; ++s) {
            out << "# Section " << s + 1 << "\n# Start k-point at : 0 0 0\n# Final k-point at : 0.5 0 0.5\n";
            for (long p = 0; p < points / sections; ++p) {
                ++number;
                for (int m = 0; m < modes; ++m) {
                    out << number << " " << 10.0 * m + 0.001 * p << "\n";
                }
            }
        }
    });
    files.Write(".kptaux", [](std::ostream& out) {
        out << "KPOINT_PATH 2\n1 0 0 0 2 G\n2 0.5 0 0.5 3 X\nEND_KPOINT_PATH\n";
    });
    files.Write(".gout", [](std::ostream& out) {
        out << "  Cartesian lattice vectors (Angstroms) :\n\n 0 2.82 2.82\n 2.82 0 2.82\n 2.82 2.82 0\n";
    });
    // Two counting passes and the parsing pass.
    Measure(state, {disp}, 3.0, [&] {
        CZelmPhononData data(files.Base());
        CPhononFileReader().Read(data.resultsPath, data);
        return static_cast<long long>(data.frequencies.Bytes()) + Bytes(data.kPoints) + Bytes(data.boundaryTypes) +
               Bytes(data.labels.Labelled()) + Bytes(data.pointNumbers);
    });
}

} // namespace

BENCHMARK(BM_Archive)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeomOptFile)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MdynamFile)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeomOptOutput)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MolDynOutput)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDynamicsCommand)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MainOutput)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanRunType)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtomTable)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPressure)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CellScan)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DensFile)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dispersion)->Arg(20000)->Unit(benchmark::kMillisecond);
