// libFuzzer target of the binary trajectory reader: the first byte gives the
// cell flag, the rest is the ".trg" file. The header pass runs first, then
// the data pass with the counts it gave, into arrays sized from them (the
// run is left out when they would exceed a few megabytes).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "readers/ZelmTrajectoryReader.h"

namespace {

constexpr std::uint64_t MaximumValues = 1u << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int cellFlag = data[0];
    // The file lives in memory; the reader opens it by its /proc path.
    const int fd = memfd_create("trg", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) {
        close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    int atoms = 0, frames = 0, status = 0;
    double version = 0.0;
    Get_Zelm_Trajectory_File_Info(path.c_str(), cellFlag, &atoms, &frames, &version, &status);
    if (status == 0 && frames > 0) {
        const std::uint64_t f = static_cast<std::uint64_t>(frames);
        const std::uint64_t n = atoms > 0 ? static_cast<std::uint64_t>(atoms) : 0;
        if (f <= MaximumValues && n * f <= MaximumValues) {
            std::vector<double> s[4], a[6];
            for (auto& v : s)
                v.resize(f);
            for (auto& v : a)
                v.resize(n * f);
            std::vector<double> cell(9 * f), parameters(6 * f);
            Read_Zelm_Trajectory_File(path.c_str(), cellFlag, atoms, frames, version, s[0].data(), s[1].data(),
                                      s[2].data(), s[3].data(), a[0].data(), a[1].data(), a[2].data(), a[3].data(),
                                      a[4].data(), a[5].data(), cell.data(), parameters.data(), &status);
            if (status != 0 && status != -1 && status != 1)  // 1: a NaN format value never matches
                __builtin_trap();
        }
    }
    close(fd);
    return 0;
}
