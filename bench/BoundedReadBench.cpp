// What the readers of whole files hold, against the size of the file read:
// - "heap_per_file": the peak heap a read adds over the file's size, for a
//   real file of its kind (about 1 for a reader that holds the file once,
//   2 at most for one read whole; a loaded forcefield holds what its
//   interactions are);
// - "peak_heap": the peak in bytes for a file that is no such file, a
//   sparse file of zeros within the bound of its kind (refused after a short
//   read: kilobytes, whatever its size).
// The sparse files cost no disk. Kinds: an XYZ molecule (100,000 atoms; 1
// GiB of zeros), a ".trj" (200 frames of 1,000 atoms; 4 GiB of zeros), a
// deck read back for its settings (a deck followed by 1 GiB of nothing; 1
// GiB of zeros), and a forcefield library of pair, three-body and torsion
// lines (about 2 MB), held loaded ("held_per_file" once the load is done:
// at most 20).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "HeapCounter.h"
#include "ShuffledLibrary.h"
#include "com/regularfile.h"
#include "forcefield/ZelmForcefieldEditor.h"
#include "host/model/XyzImport.h"
#include "qorqm/TrjFile.h"
#include "setup/RunInfoFromDeck.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t GiB = std::uintmax_t{1} << 30;

// A file of its own in /tmp, removed at the end.
class BenchFile {
public:
    explicit BenchFile(const char* extension)
    {
        std::string pattern = std::string("/tmp/qz-bounded-bench-XXXXXX") + extension;
        const int fd = mkstemps(pattern.data(), static_cast<int>(std::string(extension).size()));
        if (fd >= 0)
            close(fd);
        m_path = pattern;
    }
    ~BenchFile() { std::remove(m_path.c_str()); }
    BenchFile(const BenchFile&) = delete;
    BenchFile& operator=(const BenchFile&) = delete;

    const std::string& Path() const { return m_path; }
    void Write(const std::string& text) const { std::ofstream(m_path, std::ios::binary) << text; }
    void Zeros(std::uintmax_t size) const
    {
        Write("");
        fs::resize_file(m_path, size);
    }
    double Size() const { return static_cast<double>(fs::file_size(m_path)); }

private:
    std::string m_path;
};

// The peak heap `read` adds over what was held before it; a read that
// throws (a refusal) counts as well.
double PeakOf(const std::function<void()>& read)
{
    const std::size_t before = QzBench::HeapInUse();
    QzBench::ResetHeapPeak();
    try {
        read();
    } catch (...) {
    }
    return static_cast<double>(QzBench::HeapPeak() - before);
}

std::string Molecule(int atoms)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> place(0.0, 50.0);
    std::ostringstream text;
    text << atoms << "\nrandom molecule\n";
    const char* elements[] = {"C", "H", "O", "N"};
    for (int i = 0; i < atoms; ++i)
        text << elements[i % 4] << " " << place(random) << " " << place(random) << " " << place(random) << "\n";
    return text.str();
}

void BM_XyzImportHeap(benchmark::State& state)
{
    BenchFile real(".xyz"), zeros(".xyz");
    real.Write(Molecule(100000));
    zeros.Zeros(GiB);
    double perFile = 0.0, peak = 0.0;
    for (auto _ : state) {
        perFile = PeakOf([&] { benchmark::DoNotOptimize(HostModel::ImportXyz(real.Path())); }) / real.Size();
        peak = PeakOf([&] { HostModel::ImportXyz(zeros.Path()); });
    }
    state.counters["heap_per_file"] = perFile;
    state.counters["peak_heap"] = peak;
}
BENCHMARK(BM_XyzImportHeap)->Iterations(1)->Unit(benchmark::kMillisecond);

std::string Trajectory(int frames, int atoms)
{
    TrjContents header;
    header.name = "bench";
    header.atomCount = atoms;
    std::string bytes = TrjFile::EncodeHeader(header);
    TrjFrame frame;
    frame.periodicity = 3;
    frame.hasCell = true;
    frame.positions.assign(3 * static_cast<std::size_t>(atoms), 0.5);
    frame.secondAtomVectors.assign(3 * static_cast<std::size_t>(atoms), 0.25);
    for (int f = 0; f < frames; ++f) {
        frame.frame = f + 1;
        bytes += TrjFile::EncodeFrame(frame);
    }
    return bytes + TrjFile::EncodeEnd(static_cast<std::uint32_t>(frames));
}

void BM_TrjReadHeap(benchmark::State& state)
{
    BenchFile real(".trj"), zeros(".trj");
    real.Write(Trajectory(200, 1000));
    zeros.Zeros(4 * GiB);
    double perFile = 0.0, peak = 0.0;
    for (auto _ : state) {
        perFile = PeakOf([&] { benchmark::DoNotOptimize(TrjFile::Read(real.Path()).frames.size()); }) / real.Size();
        peak = PeakOf([&] { TrjFile::Read(zeros.Path()); });
    }
    state.counters["heap_per_file"] = perFile;
    state.counters["peak_heap"] = peak;
}
BENCHMARK(BM_TrjReadHeap)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DeckSettingsHeap(benchmark::State& state)
{
    BenchFile real(".gin"), zeros(".gin");
    real.Write("opti conp conv\ntitle\nbench\nend\nlibrary bench\n");
    fs::resize_file(real.Path(), GiB);
    zeros.Zeros(GiB);
    auto read = [](const std::string& path) {
        RegularFile::InputFile deck(path, RegularFile::Bound::Deck);
        benchmark::DoNotOptimize(ZelmDeck::ReadDeckSettings(deck).task);
    };
    double real_peak = 0.0, peak = 0.0;
    for (auto _ : state) {
        real_peak = PeakOf([&] { read(real.Path()); });
        peak = PeakOf([&] { read(zeros.Path()); });
    }
    state.counters["heap_per_file"] = real_peak / real.Size();
    state.counters["peak_heap"] = peak;
}
BENCHMARK(BM_DeckSettingsHeap)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoadedForcefieldHeap(benchmark::State& state)
{
    BenchFile library(".lib");
    library.Write(QzBench::ShuffledLibrary(150, 30000 / 3));
    double perFile = 0.0, held = 0.0;
    for (auto _ : state) {
        const std::size_t before = QzBench::HeapInUse();
        QzBench::ResetHeapPeak();
        {
            CZelmForcefieldEditor editor;
            benchmark::DoNotOptimize(&editor.Load(library.Path()));
            held = static_cast<double>(QzBench::HeapInUse() - before) / library.Size();
        }
        perFile = static_cast<double>(QzBench::HeapPeak() - before) / library.Size();
    }
    state.counters["file_MB"] = library.Size() / 1e6;
    state.counters["heap_per_file"] = perFile;
    state.counters["held_per_file"] = held;
}
BENCHMARK(BM_LoadedForcefieldHeap)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
