// The binary trajectory reader through the loaded module's two exports, as
// another program calls them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

#include "common/TempFolder.h"
#include "trajectory/TrgFiles.h"

namespace {

using InfoFunction = void (*)(const char*, int, int*, int*, double*, int*);
using ReadFunction = void (*)(const char*, int, int, int, double, double*, double*, double*, double*, double*,
                              double*, double*, double*, double*, double*, double*, double*, int*);

struct Module {
    void* handle = dlopen((std::string(QZ_LIB_DIR) + "/libQorZelm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    InfoFunction info = handle ? reinterpret_cast<InfoFunction>(dlsym(handle, "Get_Zelm_Trajectory_File_Info")) : nullptr;
    ReadFunction read = handle ? reinterpret_cast<ReadFunction>(dlsym(handle, "Read_Zelm_Trajectory_File")) : nullptr;
};

const Module& Exports()
{
    static Module module;
    return module;
}

struct Header {
    int atoms = -7;
    int frames = -7;
    double version = -7.0;
    int status = -7;
};

Header Info(const std::string& path, int cellFlag)
{
    Header h;
    Exports().info(path.c_str(), cellFlag, &h.atoms, &h.frames, &h.version, &h.status);
    return h;
}

// The caller's arrays, sized from the counts; unread elements stay at -1.
struct Arrays {
    std::vector<double> s[4], a[6], cell, parameters;
    Arrays(int atoms, int frames)
    {
        const std::size_t f = static_cast<std::size_t>(std::max(frames, 0));
        for (auto& v : s)
            v.assign(f, -1.0);
        for (auto& v : a)
            v.assign(f * static_cast<std::size_t>(std::max(atoms, 0)), -1.0);
        cell.assign(9 * f, -1.0);
        parameters.assign(6 * f, -1.0);
    }
    int Read(const std::string& path, int cellFlag, int atoms, int frames, double version)
    {
        int status = -7;
        Exports().read(path.c_str(), cellFlag, atoms, frames, version, s[0].data(), s[1].data(), s[2].data(),
                       s[3].data(), a[0].data(), a[1].data(), a[2].data(), a[3].data(), a[4].data(), a[5].data(),
                       cell.data(), parameters.data(), &status);
        return status;
    }
};

struct TrajectoryReader : ::testing::Test {
    QzTest::TempFolder folder{"trg"};
    std::string path = folder.File("run.trg");
    void SetUp() override
    {
        ASSERT_NE(Exports().info, nullptr) << dlerror();
        ASSERT_NE(Exports().read, nullptr);
    }
};

}  // namespace

TEST_F(TrajectoryReader, BothCellFlagsFillFrameMajorArrays)
{
    for (bool cell : {false, true}) {
        SCOPED_TRACE(cell ? "with cell" : "without cell");
        QzTest::TrgSpec spec{4.5, 3, 2, cell};
        QzTest::WriteTrg(path, spec);
        const Header h = Info(path, cell ? 3 : 2);  // only the lowest bit counts
        EXPECT_EQ(h.status, 0);
        EXPECT_EQ(h.atoms, 3);
        EXPECT_EQ(h.frames, 2);
        EXPECT_EQ(h.version, 4.5);
        Arrays arrays(h.atoms, h.frames);
        ASSERT_EQ(arrays.Read(path, cell ? 1 : 0, h.atoms, h.frames, h.version), 0);
        for (int f = 0; f < 2; ++f) {
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(arrays.s[k][f], QzTest::TrgValue(k, f, 0));
            for (int k = 0; k < 6; ++k) {
                for (int j = 0; j < 3; ++j)
                    EXPECT_EQ(arrays.a[k][f * 3 + j], QzTest::TrgValue(4 + k, f, j));
            }
            for (int k = 0; k < 9; ++k)
                EXPECT_EQ(arrays.cell[f * 9 + k], cell ? QzTest::TrgValue(10, f, k) : -1.0);
            for (int k = 0; k < 6; ++k)
                EXPECT_EQ(arrays.parameters[f * 6 + k], cell ? QzTest::TrgValue(11, f, k) : -1.0);
        }
    }
}

TEST_F(TrajectoryReader, HeaderPassCountsWholeFramesOnly)
{
    struct Case {
        const char* what;
        std::function<void(RecordFile::RecordWriter&)> write;
        int status, atoms, frames;
    } cases[] = {
        {"empty file", [](auto&) {}, 0, 0, 0},
        {"ends inside the header", [](auto& w) { w.Write(RecordFile::Record().Real(4.0)); }, 0, 0, 0},
        {"third frame cut in its fourth per-atom record",
         [](auto& w) {
             QzTest::TrgSpec spec;
             QzTest::WriteTrgHeader(w, spec);
             QzTest::WriteTrgFrame(w, spec, 0);
             QzTest::WriteTrgFrame(w, spec, 1);
             w.Write(RecordFile::Record().Reals({1, 2, 3, 4}));
             for (int k = 0; k < 3; ++k)
                 w.Write(RecordFile::Record().Reals({1, 2}));
             w.WriteRaw(RecordFile::LittleEndian32(16) + std::string(9, 'x'));
         },
         0, 2, 2},
        {"per-atom record shorter than N after one frame",
         [](auto& w) {
             QzTest::TrgSpec spec;
             QzTest::WriteTrgHeader(w, spec);
             QzTest::WriteTrgFrame(w, spec, 0);
             w.Write(RecordFile::Record().Reals({1, 2, 3, 4}));
             w.Write(RecordFile::Record().Real(1));
         },
         -1, 2, 1},
        {"mismatched markers",
         [](auto& w) {
             QzTest::WriteTrgHeader(w, QzTest::TrgSpec{});
             w.WriteFramed(32, RecordFile::Record().Reals({1, 2, 3, 4}).Bytes(), 24);
         },
         -1, 2, 0},
        {"frame record 1 with five reals",
         [](auto& w) {
             QzTest::TrgSpec spec;
             spec.frames = 0;
             QzTest::WriteTrgHeader(w, spec);
             w.Write(RecordFile::Record().Reals({1, 2, 3, 4, 5}));
             for (int k = 0; k < 6; ++k)
                 w.Write(RecordFile::Record().Reals({1, 2}));
         },
         0, 2, 1},
        {"no atoms in the file",
         [](auto& w) {
             QzTest::TrgSpec spec{4.0, 0, 3, false};
             QzTest::WriteTrgHeader(w, spec);
             for (int f = 0; f < 3; ++f)
                 QzTest::WriteTrgFrame(w, spec, f);
         },
         0, 0, 3},
        {"a huge atom count asks for no memory",
         [](auto& w) {
             w.Write(RecordFile::Record().Real(4.0));
             w.Write(RecordFile::Record().Integer(std::numeric_limits<int>::max()));
             w.Write(RecordFile::Record().Reals({1, 2, 3, 4}));
             w.Write(RecordFile::Record().Reals({1, 2}));
         },
         -1, std::numeric_limits<int>::max(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            RecordFile::RecordWriter writer(path);
            c.write(writer);
            writer.Close();
        }
        const Header h = Info(path, 0);
        EXPECT_EQ(h.status, c.status);
        EXPECT_EQ(h.atoms, c.atoms);
        EXPECT_EQ(h.frames, c.frames);
    }
}

// A file cut at every byte of its two header records: a value reaches the
// caller only when its record was read whole, and the counts stay 0.
TEST_F(TrajectoryReader, HeaderCutAnywhereLeavesPartialValuesOut)
{
    const std::uintmax_t headerBytes = (4 + 8 + 4) + (4 + 4 + 4);
    for (std::uintmax_t cut = 0; cut < headerBytes; ++cut) {
        SCOPED_TRACE("cut after byte " + std::to_string(cut));
        QzTest::WriteTrg(path, QzTest::TrgSpec{4.5, 3, 1, false});
        std::filesystem::resize_file(path, cut);
        const Header h = Info(path, 0);
        EXPECT_EQ(h.status, 0);
        EXPECT_EQ(h.atoms, 0);
        EXPECT_EQ(h.frames, 0);
        EXPECT_EQ(h.version, cut >= 16 ? 4.5 : -7.0);
    }
}

TEST_F(TrajectoryReader, DataPassChecksTheCallersCounts)
{
    QzTest::WriteTrg(path, QzTest::TrgSpec{4.0, 2, 2, false});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        int atoms, frames;
        double version;
        int status;
    } cases[] = {
        {"format value differs", 2, 2, 4.25, 1},
        {"NaN format value", 2, 2, nan, 1},
        {"atom count differs", 3, 2, 4.0, 2},
        {"frame count larger than the file's", 2, 5, 4.0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Arrays arrays(c.atoms, c.frames);
        EXPECT_EQ(arrays.Read(path, 0, c.atoms, c.frames, c.version), c.status);
        for (double v : arrays.s[0])
            EXPECT_EQ(v, -1.0);  // no array is written
    }
    // The same NaN bit pattern in the file still differs.
    QzTest::WriteTrg(path, QzTest::TrgSpec{nan, 2, 1, false});
    const Header h = Info(path, 0);
    ASSERT_EQ(h.status, 0);
    ASSERT_TRUE(std::isnan(h.version));
    Arrays arrays(2, 1);
    EXPECT_EQ(arrays.Read(path, 0, 2, 1, h.version), 1);
}

TEST_F(TrajectoryReader, NullPointersAndMissingFilesAreStatusMinusOne)
{
    QzTest::WriteTrg(path, QzTest::TrgSpec{});
    Header h;
    Exports().info(nullptr, 0, &h.atoms, &h.frames, &h.version, &h.status);
    EXPECT_EQ(h.status, -1);
    Exports().info(path.c_str(), 0, nullptr, &h.frames, &h.version, &h.status);
    EXPECT_EQ(h.status, -1);
    Exports().info(path.c_str(), 0, &h.atoms, &h.frames, &h.version, nullptr);  // nothing to report to
    EXPECT_EQ(Info(folder.File("missing.trg"), 0).status, -1);

    Arrays arrays(2, 2);
    int status = -7;
    Exports().read(path.c_str(), 0, 2, 2, 4.0, arrays.s[0].data(), nullptr, arrays.s[2].data(), arrays.s[3].data(),
                   arrays.a[0].data(), arrays.a[1].data(), arrays.a[2].data(), arrays.a[3].data(),
                   arrays.a[4].data(), arrays.a[5].data(), nullptr, nullptr, &status);
    EXPECT_EQ(status, -1);
    // Without the cell flag the cell arrays are not needed.
    Exports().read(path.c_str(), 0, 2, 2, 4.0, arrays.s[0].data(), arrays.s[1].data(), arrays.s[2].data(),
                   arrays.s[3].data(), arrays.a[0].data(), arrays.a[1].data(), arrays.a[2].data(),
                   arrays.a[3].data(), arrays.a[4].data(), arrays.a[5].data(), nullptr, nullptr, &status);
    EXPECT_EQ(status, 0);
    Exports().read(nullptr, 0, 2, 2, 4.0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr, &status);
    EXPECT_EQ(status, -1);
}
