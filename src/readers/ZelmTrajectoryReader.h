// The engine's binary trajectory (".trg"): a record file of
//     record 1       1 real      format value
//     record 2       1 integer   N, the number of atoms
//     per frame:     4 reals     time, energy term 1, energy term 2, auxiliary
//                    6 records of N reals: x, y, z, then a second vector u, v, w
//                    9 reals     cell vectors a, b, c   } only when the caller's
//                    6 reals     cell parameters        } cell flag is set
// The frames run to the end of the file; a frame cut short is not a frame.
//
// Two passes: the header pass counts the whole frames, the data pass fills
// arrays the caller sized from those counts (frame-major: value of atom j of
// frame i, both from 0, at i * N + j). Both are offered to other programs as
// exported C functions; nothing is ever thrown out of them and every outcome
// is the status:
//   -1  the file cannot be opened or a record cannot be read, or a path,
//       output or needed array pointer is null
//    0  the pass ended normally
//    1  (data pass) the format value differs from the caller's (or either is NaN)
//    2  (data pass) the atom count differs from the caller's
//    3  (data pass) the frame count differs from the caller's
// Neither pass allocates memory from a count it read.
#pragma once

#include <cstddef>

// The passes, as the exported functions call them: the path as a text of
// `nameLength` characters (trailing blanks are not part of it), every other
// argument by reference; only the lowest bit of the cell flag counts.
void ReadZelmTrajectoryHeader(const char* name, const int& cellFlag, int& natoms, int& nframes, double& version,
                              int& status, std::size_t nameLength);

void ReadZelmTrajectoryFrames(const char* name, const int& cellFlag, const int& natoms, const int& nframes,
                              const double& version, double* s1, double* s2, double* s3, double* s4, double* a1,
                              double* a2, double* a3, double* a4, double* a5, double* a6, double* cell,
                              double* cellParameters, int& status, std::size_t nameLength);

extern "C" {

// Header pass: atom count, number of whole frames and the format value.
void Get_Zelm_Trajectory_File_Info(const char* path, int cellFlag, int* natoms, int* nframes, double* version,
                                   int* status);

// Data pass: natoms, nframes and version as the info function returned them;
// s1..s4 hold nframes values, a1..a6 nframes * natoms, cell 9 * nframes and
// cellParameters 6 * nframes (both only used with the cell flag).
void Read_Zelm_Trajectory_File(const char* path, int cellFlag, int natoms, int nframes, double version, double* s1,
                               double* s2, double* s3, double* s4, double* a1, double* a2, double* a3, double* a4,
                               double* a5, double* a6, double* cell, double* cellParameters, int* status);
}
