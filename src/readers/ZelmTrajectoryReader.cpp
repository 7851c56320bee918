#include "readers/ZelmTrajectoryReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "recfile/RecordFile.h"

namespace {

// The unit both passes read on (units belong to the calling thread).
constexpr int TrajectoryUnit = 31;

// Closes the unit on every way out of a pass.
struct UnitGuard {
    ~UnitGuard() { RecordFile::Close(TrajectoryUnit); }
};

int OpenTrajectory(const char* name, std::size_t nameLength)
{
    return RecordFile::Open(TrajectoryUnit, name, nameLength, "OLD", "UNFORMATTED", "SEQUENTIAL", "REWIND",
                            "READ");
}

// Records 1 and 2. Each value is read into a local first and handed over
// only when its record was read whole: a record cut short by the end of the
// file may have filled part of its value.
int ReadVersionAndAtoms(double& version, std::int32_t& natoms)
{
    double fileVersion = 0.0;
    int status = RecordFile::Read(TrajectoryUnit, {RecordFile::Item::Real(fileVersion)});
    if (status != RecordFile::Ok)
        return status;
    version = fileVersion;
    std::int32_t fileAtoms = 0;
    status = RecordFile::Read(TrajectoryUnit, {RecordFile::Item::Integer(fileAtoms)});
    if (status == RecordFile::Ok)
        natoms = fileAtoms;
    return status;
}

// Reads the next record's first `count` reals into `target` (skips them for
// a null target). The values pass through `buffer`, so that a record the
// end of the file cuts short leaves the target as it was.
int ReadReals(double* target, std::size_t count, std::vector<double>& buffer)
{
    if (target == nullptr)
        return RecordFile::Read(TrajectoryUnit, {RecordFile::Item::SkipReals(count)});
    buffer.resize(count);
    const int status = RecordFile::Read(TrajectoryUnit, {{RecordFile::Item::Real8, buffer.data(), count}});
    if (status == RecordFile::Ok)
        std::copy(buffer.begin(), buffer.end(), target);
    return status;
}

// One frame, its values stored at frame index `frame` (0-based) of the
// arrays, or skipped where an array is null. The atom count is not negative.
int ReadFrame(bool withCell, std::size_t natoms, std::size_t frame, double* const scalars[4],
              double* const atoms[6], double* cell, double* cellParameters, std::vector<double>& buffer)
{
    double values[4];
    const bool keepScalars = scalars[0] || scalars[1] || scalars[2] || scalars[3];
    int status = RecordFile::Read(TrajectoryUnit, {keepScalars ? RecordFile::Item::Reals(values, 4)
                                                               : RecordFile::Item::SkipReals(4)});
    if (status != RecordFile::Ok)
        return status;
    for (int k = 0; k < 4 && keepScalars; ++k) {
        if (scalars[k] != nullptr)
            scalars[k][frame] = values[k];
    }
    for (int k = 0; k < 6; ++k) {
        status = ReadReals(atoms[k] != nullptr ? atoms[k] + frame * natoms : nullptr, natoms, buffer);
        if (status != RecordFile::Ok)
            return status;
    }
    if (withCell) {
        status = ReadReals(cell ? cell + frame * 9 : nullptr, 9, buffer);
        if (status != RecordFile::Ok)
            return status;
        status = ReadReals(cellParameters ? cellParameters + frame * 6 : nullptr, 6, buffer);
    }
    return status;
}

void HeaderPass(const char* name, int cellFlag, int& natoms, int& nframes, double& version, int& status,
                std::size_t nameLength)
{
    natoms = 0;
    status = -1;
    nframes = 0;
    if (name == nullptr)
        return;
    UnitGuard guard;
    if (OpenTrajectory(name, nameLength) != RecordFile::Ok)
        return;
    std::int32_t atoms = 0;
    int outcome = ReadVersionAndAtoms(version, atoms);
    natoms = atoms;  // still 0 unless record 2 was read whole
    if (outcome == RecordFile::EndOfFile) {
        status = 0;
        return;
    }
    if (outcome != RecordFile::Ok)
        return;
    // The per-atom records are only checked and passed over: nothing is
    // stored, so a damaged count costs no memory.
    const std::size_t perAtom = atoms > 0 ? static_cast<std::size_t>(atoms) : 0;
    double* const none4[4] = {};
    double* const none6[6] = {};
    std::vector<double> unused;
    for (;;) {
        outcome = ReadFrame((cellFlag & 1) != 0, perAtom, 0, none4, none6, nullptr, nullptr, unused);
        if (outcome != RecordFile::Ok)
            break;
        if (nframes == INT32_MAX)  // no count beyond what the caller can hold
            return;
        ++nframes;
    }
    if (outcome == RecordFile::EndOfFile)
        status = 0;
}

}  // namespace

void ReadZelmTrajectoryHeader(const char* name, const int& cellFlag, int& natoms, int& nframes, double& version,
                              int& status, std::size_t nameLength)
{
    try {
        HeaderPass(name, cellFlag, natoms, nframes, version, status, nameLength);
    } catch (...) {
        status = -1;
    }
}

void ReadZelmTrajectoryFrames(const char* name, const int& cellFlag, const int& natoms, const int& nframes,
                              const double& version, double* s1, double* s2, double* s3, double* s4, double* a1,
                              double* a2, double* a3, double* a4, double* a5, double* a6, double* cell,
                              double* cellParameters, int& status, std::size_t nameLength)
{
    try {
        status = -1;
        double localVersion = 0.0;
        int localAtoms = 0;
        int localFrames = 0;
        ReadZelmTrajectoryHeader(name, cellFlag, localAtoms, localFrames, localVersion, status, nameLength);
        if (!(version == localVersion)) {  // NaN on either side differs too
            status = 1;
            return;
        }
        if (natoms != localAtoms) {
            status = 2;
            return;
        }
        if (nframes != localFrames) {
            status = 3;
            return;
        }
        status = -1;
        const bool withCell = (cellFlag & 1) != 0;
        const std::size_t perAtom = natoms > 0 ? static_cast<std::size_t>(natoms) : 0;
        double* const scalars[4] = {s1, s2, s3, s4};
        double* const atoms[6] = {a1, a2, a3, a4, a5, a6};
        if (nframes > 0) {
            for (double* array : scalars) {
                if (array == nullptr)
                    return;
            }
            for (double* array : atoms) {
                if (array == nullptr && perAtom > 0)
                    return;
            }
            if (withCell && (cell == nullptr || cellParameters == nullptr))
                return;
        }
        UnitGuard guard;
        if (OpenTrajectory(name, nameLength) != RecordFile::Ok)
            return;
        std::int32_t atomsAgain = 0;
        double versionAgain = 0.0;
        int outcome = ReadVersionAndAtoms(versionAgain, atomsAgain);
        std::vector<double> buffer;
        buffer.reserve(std::max<std::size_t>(perAtom, 9));
        for (std::size_t frame = 0; outcome == RecordFile::Ok && frame < static_cast<std::size_t>(nframes > 0 ? nframes : 0);
             ++frame) {
            outcome = ReadFrame(withCell, perAtom, frame, scalars, atoms, cell, cellParameters, buffer);
        }
        if (outcome == RecordFile::Ok || outcome == RecordFile::EndOfFile)
            status = 0;
    } catch (...) {
        status = -1;
    }
}

namespace {

// The path as the passes take it: a text of its own length.
bool NameText(const char* path, std::string& text)
{
    if (path == nullptr)
        return false;
    text.assign(path, std::strlen(path));
    return true;
}

}  // namespace

extern "C" void Get_Zelm_Trajectory_File_Info(const char* path, int cellFlag, int* natoms, int* nframes,
                                              double* version, int* status)
{
    if (status == nullptr)
        return;
    *status = -1;
    try {
        std::string name;
        if (natoms == nullptr || nframes == nullptr || version == nullptr || !NameText(path, name))
            return;
        ReadZelmTrajectoryHeader(name.c_str(), cellFlag, *natoms, *nframes, *version, *status, name.size());
    } catch (...) {
        *status = -1;
    }
}

extern "C" void Read_Zelm_Trajectory_File(const char* path, int cellFlag, int natoms, int nframes, double version,
                                          double* s1, double* s2, double* s3, double* s4, double* a1, double* a2,
                                          double* a3, double* a4, double* a5, double* a6, double* cell,
                                          double* cellParameters, int* status)
{
    if (status == nullptr)
        return;
    *status = -1;
    try {
        std::string name;
        if (!NameText(path, name))
            return;
        ReadZelmTrajectoryFrames(name.c_str(), cellFlag, natoms, nframes, version, s1, s2, s3, s4, a1, a2, a3, a4,
                                 a5, a6, cell, cellParameters, *status, name.size());
    } catch (...) {
        *status = -1;
    }
}
