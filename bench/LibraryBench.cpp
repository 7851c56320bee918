// Reading and writing forcefield libraries: a library of n species with a
// Buckingham term for every pair, a spring per species and a Coulomb line,
// read through the editor and written back to memory.

#include <benchmark/benchmark.h>

#include <unistd.h>

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
    explicit LibraryFile(int species)
    {
        char pattern[] = "/tmp/qz-bench-XXXXXX.lib";
        const int fd = mkstemps(pattern, 4);
        if (fd >= 0) {
            close(fd);
        }
        path_ = pattern;
        std::ofstream(path_) << MakeLibrary(species);
    }
    ~LibraryFile() { std::remove(path_.c_str()); }
    LibraryFile(const LibraryFile&) = delete;
    LibraryFile& operator=(const LibraryFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void BM_LoadLibrary(benchmark::State& state)
{
    LibraryFile file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CZelmForcefieldEditor editor;
        benchmark::DoNotOptimize(&editor.Load(file.Path()));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadLibrary)->RangeMultiplier(4)->Range(4, 64)->Complexity();

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
BENCHMARK(BM_WriteLibrary)->RangeMultiplier(4)->Range(4, 64)->Complexity();

}  // namespace
