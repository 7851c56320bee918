// The binary trajectory reader on a generated ".trg" (1000 atoms a frame,
// without cell records): the header pass, the data pass and both, called as
// the dynamics provider calls them, each against a raw read of the same file
// in the same iteration (counter x_raw: pass time / raw read time through a
// reused 1 MiB buffer; x_raw_to_memory: against a raw read that places the
// whole file in memory, as the data pass places its values), and the
// heap each pass adds on top of what was held before it, the caller's arrays
// excluded (peak_heap), at 1x and 10x the frames (heap_1x, heap_10x).
//
// The file's size: $QZ_BENCH_TRG_MB megabytes (default 32; about 1000 for
// the figure of a long run).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HeapCounter.h"
#include "readers/ZelmTrajectoryReader.h"
#include "recfile/RecordWriter.h"

namespace {

constexpr int Atoms = 1000;

class TrgFile {
public:
    explicit TrgFile(int frames) : m_frames(frames)
    {
        char pattern[] = "/tmp/qz-bench-XXXXXX.trg";
        const int fd = mkstemps(pattern, 4);
        if (fd >= 0)
            close(fd);
        m_path = pattern;
        RecordFile::RecordWriter writer(m_path);
        writer.Write(RecordFile::Record().Real(1.0));
        writer.Write(RecordFile::Record().Integer(Atoms));
        std::vector<double> values(Atoms);
        for (int f = 0; f < frames; ++f) {
            writer.Write(RecordFile::Record().Real(f * 0.001).Real(-1.0).Real(2.0).Real(300.0));
            for (int k = 0; k < 6; ++k) {
                for (int j = 0; j < Atoms; ++j)
                    values[static_cast<std::size_t>(j)] = f + k * 0.1 + j * 1e-4;
                writer.Write(RecordFile::Record().Reals(values));
            }
        }
        writer.Close();
    }
    ~TrgFile() { std::remove(m_path.c_str()); }
    TrgFile(const TrgFile&) = delete;
    TrgFile& operator=(const TrgFile&) = delete;
    const std::string& Path() const { return m_path; }
    int Frames() const { return m_frames; }

private:
    std::string m_path;
    int m_frames;
};

int FramesForMegabytes(double megabytes)
{
    const double frameBytes = 4 * 8 + 8 + 6 * (Atoms * 8.0 + 8);
    return std::max(1, static_cast<int>(megabytes * 1024 * 1024 / frameBytes));
}

const TrgFile& MainFile()
{
    static const TrgFile file([] {
        const char* setting = std::getenv("QZ_BENCH_TRG_MB");
        return FramesForMegabytes(setting ? std::atof(setting) : 32.0);
    }());
    return file;
}

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The file read in chunks of 1 MiB into `memory`: one chunk reused when it
// holds 1 MiB, else the whole file side by side (as a pass that keeps every
// value must place them).
double RawRead(const std::string& path, std::vector<char>& memory)
{
    const auto start = std::chrono::steady_clock::now();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const std::size_t chunk = 1 << 20;
    std::size_t total = 0;
    for (std::size_t n; (n = std::fread(memory.data() + (memory.size() > chunk ? total : 0), 1,
                                         std::min(chunk, memory.size() - (memory.size() > chunk ? total : 0)), file)) > 0;)
        total += n;
    std::fclose(file);
    benchmark::DoNotOptimize(total);
    return Seconds(start);
}

struct CallerArrays {
    std::vector<double> s[4], a[6];
    explicit CallerArrays(int frames)
    {
        for (auto& v : s)
            v.assign(static_cast<std::size_t>(frames), 0.0);
        for (auto& v : a)
            v.assign(static_cast<std::size_t>(frames) * Atoms, 0.0);
    }
};

enum Pass { HeaderPass, DataPass, BothPasses };

// Runs a pass; returns the heap it added at its peak.
std::size_t RunPass(Pass pass, const std::string& path, int frames, CallerArrays& arrays)
{
    QzBench::ResetHeapPeak();
    const std::size_t before = QzBench::HeapInUse();
    int atoms = 0, counted = 0, status = 1;
    double version = 0.0;
    if (pass != DataPass) {
        Get_Zelm_Trajectory_File_Info(path.c_str(), 0, &atoms, &counted, &version, &status);
        if (status != 0 || counted != frames)
            std::abort();
    } else {
        atoms = Atoms;
        counted = frames;
        version = 1.0;
    }
    if (pass != HeaderPass) {
        Read_Zelm_Trajectory_File(path.c_str(), 0, atoms, counted, version, arrays.s[0].data(), arrays.s[1].data(),
                                  arrays.s[2].data(), arrays.s[3].data(), arrays.a[0].data(), arrays.a[1].data(),
                                  arrays.a[2].data(), arrays.a[3].data(), arrays.a[4].data(), arrays.a[5].data(),
                                  nullptr, nullptr, &status);
        if (status != 0)
            std::abort();
    }
    return QzBench::HeapPeak() - before;
}

void BM_Trajectory(benchmark::State& state)
{
    const Pass pass = static_cast<Pass>(state.range(0));
    const TrgFile& file = MainFile();
    CallerArrays arrays(pass == HeaderPass ? 0 : file.Frames());
    double passTime = 0.0, rawTime = 0.0, rawToMemoryTime = 0.0;
    std::vector<char> chunk(1 << 20);
    std::vector<char> whole(pass == HeaderPass ? 0 : static_cast<std::size_t>(file.Frames()) * (6 * (Atoms * 8 + 8) + 40) + 64);
    std::size_t peak = 0;
    for (auto _ : state) {
        rawTime += RawRead(file.Path(), chunk);
        if (!whole.empty())
            rawToMemoryTime += RawRead(file.Path(), whole);
        const auto start = std::chrono::steady_clock::now();
        peak = std::max(peak, RunPass(pass, file.Path(), file.Frames(), arrays));
        const double seconds = Seconds(start);
        passTime += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["frames"] = file.Frames();
    state.counters["x_raw"] = passTime / rawTime;
    if (!whole.empty())
        state.counters["x_raw_to_memory"] = passTime / rawToMemoryTime;
    state.counters["peak_heap"] = static_cast<double>(peak);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(file.Frames()) * (6 * (Atoms * 8 + 8) + 40));
}
BENCHMARK(BM_Trajectory)->ArgName("pass")->Arg(HeaderPass)->Arg(DataPass)->Arg(BothPasses)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The heap of each pass on 20 and on 200 frames: it must not grow with them.
void BM_TrajectoryHeapByFrames(benchmark::State& state)
{
    const Pass pass = static_cast<Pass>(state.range(0));
    const TrgFile small(20), large(200);
    CallerArrays smallArrays(20), largeArrays(200);
    std::size_t heap1 = 0, heap10 = 0;
    for (auto _ : state) {
        heap1 = RunPass(pass, small.Path(), 20, smallArrays);
        heap10 = RunPass(pass, large.Path(), 200, largeArrays);
    }
    state.counters["heap_1x"] = static_cast<double>(heap1);
    state.counters["heap_10x"] = static_cast<double>(heap10);
    state.counters["frame_bytes"] = 6.0 * Atoms * 8;
}
BENCHMARK(BM_TrajectoryHeapByFrames)->ArgName("pass")->Arg(HeaderPass)->Arg(DataPass)->Arg(BothPasses)->Iterations(1);

}  // namespace
