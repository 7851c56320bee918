// The host's trajectory data file (".trj", the data behind a ".qtd"
// trajectory document) and its reader; CTrjWriter writes it.
//
// Format, all values little-endian, doubles IEEE 754 binary64, so that every
// value reads back exactly as the provider served it:
//
//   file     = "QTRJ" u32:version(1) i32:atomCount i32:optionA i32:optionB
//              u32:nameLength name-bytes frame* "END " u32:frameCount
//   frame    = "FRM " i32:frame i32:periodicity
//              f64 x 10: time, time step, auxiliary value, energy sum,
//                        energy term 1, energy term 2, volume product,
//                        cell volume, volume factor, pressure
//              f64 x 6: six-component value A   f64 x 6: value B
//              [f64 x 6: cell (a.x, b.y, c.z, b.z, a.z, a.y)]  only for
//                        periodicity 3 or 2
//              list:positions list:second vectors list:third vectors
//   list     = u32:count f64 x count     (count is 0 or 3 x atomCount;
//              positions always 3 x atomCount)
//
// The header's values are those the provider gave at its first frame; a
// trajectory without frames has a header of zeros and an empty name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TrjFrame {
    std::int32_t frame = 0;
    std::int32_t periodicity = 0;
    double time = 0.0;
    double timeStep = 0.0;
    double auxiliaryValue = 0.0;
    double energySum = 0.0;
    double energyTerm1 = 0.0;
    double energyTerm2 = 0.0;
    double volumeProduct = 0.0;
    double cellVolume = 0.0;
    double volumeFactor = 0.0;
    double pressure = 0.0;
    std::array<double, 6> valuesA{};
    std::array<double, 6> valuesB{};
    bool hasCell = false;  // periodicity 3 or 2
    std::array<double, 6> cell{};
    std::vector<double> positions;
    std::vector<double> secondAtomVectors;
    std::vector<double> thirdAtomVectors;

    bool operator==(const TrjFrame& other) const;
};

struct TrjContents {
    std::string name;
    std::int32_t atomCount = 0;
    std::int32_t optionA = 0;
    std::int32_t optionB = 0;
    std::vector<TrjFrame> frames;
};

namespace TrjFile {

// The file's bytes of the header and of one frame, as the writer emits them.
std::string EncodeHeader(const TrjContents& header);
std::string EncodeFrame(const TrjFrame& frame);
std::string EncodeEnd(std::uint32_t frameCount);

// Reads a whole ".trj" file. Throws KelvResult E_FAIL with a message naming
// the file when it cannot be read, is not a trajectory file, is cut short or
// holds values that contradict its header. Nothing is allocated beyond what
// the file's own size can hold.
TrjContents Read(const std::string& path);

}  // namespace TrjFile
