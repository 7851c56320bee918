// Reading and writing forcefield libraries: a library of n species with a
// Buckingham term for every pair and a spring per species, read through the
// editor and written back to memory. 128 species give 8,644 lines, 256 give
// 33,668 and 384 give 75,076.
//
// Each load (the editor's Load, without freeing the forcefield afterwards)
// reports its speed (bytes_per_second) and "x_raw", its time over that of a
// raw read of the same file into memory measured in the same run.
// BM_LoadLibraryLongWord loads a small library with one line of a long word.
// BM_LoadLibraryGrowth loads the 8,644-line and the 33,668-line library in
// turn and reports "large_over_small", the ratio of their load times (linear
// loading gives about 3.9), and the large library's speed in MB/s.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "forcefield/ZelmForcefieldEditor.h"
#include "qorff/Forcefield.h"

namespace {

std::string MakeLibrary(int species)
{
    std::ostringstream text;
    text << "# generated benchmark library\nspecies\n";
    for (int i = 0; i < species; ++i) {
        text << "X" << i << " core " << 0.5 + i * 0.001 << "\n";
        text << "X" << i << " shel " << -1.5 - i * 0.001 << "\n";
    }
    text << "buck\n";
    for (int i = 0; i < species; ++i) {
        for (int j = i; j < species; ++j) {
            text << "X" << i << " shel X" << j << " shel " << 1000.0 + i + j << " 0.3" << i % 10 << " "
                 << 10.0 + j << " 0.0 12.0 1 1 0\n";
        }
    }
    text << "spring\n";
    for (int i = 0; i < species; ++i) {
        text << "X" << i << " core X" << i << " shel " << 20.0 + i << " 1\n";
    }
    return text.str();
}

class LibraryFile {
public:
    // `extra`: text after the library's own lines.
    explicit LibraryFile(int species, const std::string& extra = std::string())
    {
        char pattern[] = "/tmp/qz-bench-XXXXXX.lib";
        const int fd = mkstemps(pattern, 4);
        if (fd >= 0) {
            close(fd);
        }
        path_ = pattern;
        const std::string text = MakeLibrary(species) + extra;
        std::ofstream(path_) << text;
        bytes_ = static_cast<int64_t>(text.size());
        for (char c : text) {
            lines_ += c == '\n' ? 1 : 0;
        }
    }
    ~LibraryFile() { std::remove(path_.c_str()); }
    LibraryFile(const LibraryFile&) = delete;
    LibraryFile& operator=(const LibraryFile&) = delete;
    const std::string& Path() const { return path_; }
    int64_t Bytes() const { return bytes_; }
    int64_t Lines() const { return lines_; }

private:
    std::string path_;
    int64_t bytes_ = 0;
    int64_t lines_ = 0;
};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string text(static_cast<size_t>(std::max<std::streamoff>(0, in.tellg())), '\0');
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

// Seconds of one raw read of the file into memory, averaged over enough
// reads to last a few milliseconds.
double RawReadSeconds(const std::string& path)
{
    int reads = 0;
    const Clock::time_point start = Clock::now();
    do {
        benchmark::DoNotOptimize(ReadWhole(path).size());
        ++reads;
    } while (SecondsSince(start) < 0.005);
    return SecondsSince(start) / reads;
}

// Seconds of one load of the library through the editor.
double LoadSeconds(const std::string& path)
{
    const Clock::time_point start = Clock::now();
    CZelmForcefieldEditor editor;
    benchmark::DoNotOptimize(&editor.Load(path));
    return SecondsSince(start);
}

void BM_RawRead(benchmark::State& state)
{
    LibraryFile file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadWhole(file.Path()).size());
    }
    state.SetBytesProcessed(state.iterations() * file.Bytes());
    state.counters["lines"] = static_cast<double>(file.Lines());
}
BENCHMARK(BM_RawRead)->Arg(16)->Arg(64)->Arg(128)->Arg(256)->Arg(384);

void BM_LoadLibrary(benchmark::State& state)
{
    LibraryFile file(static_cast<int>(state.range(0)));
    const double raw = RawReadSeconds(file.Path());
    double loading = 0.0;
    for (auto _ : state) {
        const double seconds = LoadSeconds(file.Path());
        state.SetIterationTime(seconds);
        loading += seconds;
    }
    state.SetBytesProcessed(state.iterations() * file.Bytes());
    state.counters["lines"] = static_cast<double>(file.Lines());
    state.counters["x_raw"] = loading / static_cast<double>(state.iterations()) / raw;
    state.SetComplexityN(file.Lines());
}
BENCHMARK(BM_LoadLibrary)->Arg(4)->Arg(16)->Arg(64)->Arg(128)->Arg(256)->Arg(384)->Unit(benchmark::kMillisecond)
    ->UseManualTime()->Complexity();

// The 8,644-line library against the 33,668-line one, in one run.
void BM_LoadLibraryGrowth(benchmark::State& state)
{
    LibraryFile small(128);
    LibraryFile large(256);
    const double raw = RawReadSeconds(large.Path());
    double smallSeconds = 0.0;
    double largeSeconds = 0.0;
    for (auto _ : state) {
        smallSeconds += LoadSeconds(small.Path());
        largeSeconds += LoadSeconds(large.Path());
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["small_lines"] = static_cast<double>(small.Lines());
    state.counters["large_lines"] = static_cast<double>(large.Lines());
    state.counters["small_s"] = smallSeconds / iterations;
    state.counters["large_s"] = largeSeconds / iterations;
    state.counters["large_over_small"] = largeSeconds / smallSeconds;
    state.counters["large_MBps"] = static_cast<double>(large.Bytes()) / 1e6 / (largeSeconds / iterations);
    state.counters["large_x_raw"] = largeSeconds / iterations / raw;
}
BENCHMARK(BM_LoadLibraryGrowth)->Unit(benchmark::kMillisecond);

// A library line that holds one long word (a piece over and over, no form
// keyword) of 16 KiB to 1 MiB, in the block of the springs: its load time
// grows with the word's length, not with its square.
void BM_LoadLibraryLongWord(benchmark::State& state)
{
    std::string word;
    while (word.size() < static_cast<std::size_t>(state.range(0)) * 1024)
        word += "qwerty";
    LibraryFile file(16, word + "\n");
    for (auto _ : state) {
        const double seconds = LoadSeconds(file.Path());
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(state.iterations() * file.Bytes());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadLibraryLongWord)->Arg(16)->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond)
    ->UseManualTime()->Complexity();

void BM_WriteLibrary(benchmark::State& state)
{
    LibraryFile file(static_cast<int>(state.range(0)));
    CZelmForcefieldEditor editor;
    CForcefield& forcefield = editor.Load(file.Path());
    for (auto _ : state) {
        std::ostringstream out;
        forcefield.WriteLibrary(out);
        benchmark::DoNotOptimize(out.str().size());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_WriteLibrary)->Arg(4)->Arg(16)->Arg(64)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
