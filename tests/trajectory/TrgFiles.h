// Binary trajectories (".trg") written with the record writer, frame by
// frame, with values that tell every frame, atom and array apart.
#pragma once

#include <string>
#include <vector>

#include "recfile/RecordWriter.h"

namespace QzTest {

// Value k of array `array` (0 = s1 .. 3 = s4 for scalars, 4..9 = A1..A6,
// 10 = cell, 11 = cell parameters) of frame `frame` (0-based).
inline double TrgValue(int array, int frame, int k)
{
    return array * 1000.0 + frame * 10.0 + k * 0.125;
}

struct TrgSpec {
    double version = 4.0;
    int atoms = 2;
    int frames = 2;
    bool cell = false;
};

inline void WriteTrgFrame(RecordFile::RecordWriter& writer, const TrgSpec& spec, int frame)
{
    RecordFile::Record scalars;
    for (int k = 0; k < 4; ++k)
        scalars.Real(TrgValue(k, frame, 0));
    writer.Write(scalars);
    for (int array = 4; array < 10; ++array) {
        RecordFile::Record values;
        for (int j = 0; j < spec.atoms; ++j)
            values.Real(TrgValue(array, frame, j));
        writer.Write(values);
    }
    if (spec.cell) {
        RecordFile::Record cell;
        RecordFile::Record parameters;
        for (int k = 0; k < 9; ++k)
            cell.Real(TrgValue(10, frame, k));
        for (int k = 0; k < 6; ++k)
            parameters.Real(TrgValue(11, frame, k));
        writer.Write(cell);
        writer.Write(parameters);
    }
}

inline void WriteTrgHeader(RecordFile::RecordWriter& writer, const TrgSpec& spec)
{
    writer.Write(RecordFile::Record().Real(spec.version));
    writer.Write(RecordFile::Record().Integer(spec.atoms));
}

inline void WriteTrg(const std::string& path, const TrgSpec& spec)
{
    RecordFile::RecordWriter writer(path);
    WriteTrgHeader(writer, spec);
    for (int frame = 0; frame < spec.frames; ++frame)
        WriteTrgFrame(writer, spec, frame);
    writer.Close();
}

}  // namespace QzTest
