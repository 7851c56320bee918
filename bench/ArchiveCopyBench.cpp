// Copying the last frame of a long archive (ReadFinalArcFrame, the first
// step of every structure update): its time against a raw read of the same
// file in the same iteration (x_raw) and the heap it adds at its peak at 1x
// and 10x the frames (heap_1x, heap_10x), which must stay at about one
// frame's text (frame_bytes).
//
// Frames of 1000 atoms; the long archive's size: $QZ_BENCH_ARC_MB megabytes
// (default 32).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "HeapCounter.h"
#include "readers/StructureUpdater.h"

namespace {

constexpr int Atoms = 1000;

std::string FrameText(int frame)
{
    std::string text = "                  " + std::to_string(frame) + ".0  -1234.5678\n!DATE Tue Dec  8 2026\n";
    text += "PBC    5.6402    5.6402    5.6402   90.0000   90.0000   90.0000 (P1)\n";
    char line[128];
    for (int j = 0; j < Atoms; ++j) {
        std::snprintf(line, sizeof line, "Na     %14.9f %14.9f %14.9f CORE %4d Na  Na   0.0000 %4d\n", j * 0.001,
                      frame * 0.001, 1.5, j + 1, j + 1);
        text += line;
    }
    return text + "end\nend\n";
}

class ArchiveFile {
public:
    explicit ArchiveFile(int frames) : m_frames(frames)
    {
        char pattern[] = "/tmp/qz-bench-XXXXXX.arc";
        const int fd = mkstemps(pattern, 4);
        if (fd >= 0)
            close(fd);
        m_path = pattern;
        std::ofstream out(m_path);
        out << "!KORVEX archive 3\nPBC=ON\n";
        for (int f = 0; f < frames; ++f)
            out << FrameText(f);
        m_copy = m_path.substr(0, m_path.size() - 4) + "_TDE_.arc";
    }
    ~ArchiveFile()
    {
        std::remove(m_path.c_str());
        std::remove(m_copy.c_str());
    }
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;
    const std::string& Path() const { return m_path; }
    const std::string& Copy() const { return m_copy; }
    int Frames() const { return m_frames; }

private:
    std::string m_path, m_copy;
    int m_frames;
};

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double RawRead(const std::string& path)
{
    const auto start = std::chrono::steady_clock::now();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<char> buffer(1 << 20);
    std::size_t total = 0;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;)
        total += n;
    std::fclose(file);
    benchmark::DoNotOptimize(total);
    return Seconds(start);
}

std::size_t CopyHeap(const ArchiveFile& file)
{
    QzBench::ResetHeapPeak();
    const std::size_t before = QzBench::HeapInUse();
    ReadFinalArcFrame(file.Path(), file.Copy());
    return QzBench::HeapPeak() - before;
}

void BM_ReadFinalArcFrame(benchmark::State& state)
{
    static const ArchiveFile file([] {
        const char* setting = std::getenv("QZ_BENCH_ARC_MB");
        const double megabytes = setting ? std::atof(setting) : 32.0;
        return std::max(1, static_cast<int>(megabytes * 1024 * 1024 / FrameText(0).size()));
    }());
    double copyTime = 0.0, rawTime = 0.0;
    for (auto _ : state) {
        rawTime += RawRead(file.Path());
        const auto start = std::chrono::steady_clock::now();
        ReadFinalArcFrame(file.Path(), file.Copy());
        const double seconds = Seconds(start);
        copyTime += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["frames"] = file.Frames();
    state.counters["x_raw"] = copyTime / rawTime;
    const ArchiveFile small(10), large(100);
    state.counters["heap_1x"] = static_cast<double>(CopyHeap(small));
    state.counters["heap_10x"] = static_cast<double>(CopyHeap(large));
    state.counters["frame_bytes"] = static_cast<double>(FrameText(0).size());
}
BENCHMARK(BM_ReadFinalArcFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
