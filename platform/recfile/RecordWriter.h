// A writer of record files (see RecordFile.h): for tests, fixtures,
// benchmarks and anything that stands in for the engine writing them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace RecordFile {

// The data bytes of one record, values appended little-endian.
class Record {
public:
    Record& Real(double value);
    Record& Reals(const double* values, std::size_t n);
    Record& Reals(const std::vector<double>& values) { return Reals(values.data(), values.size()); }
    Record& Integer(std::int32_t value);
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// Writes records to a new file (an existing one is replaced). Every write
// throws std::runtime_error when the file cannot be written.
class RecordWriter {
public:
    explicit RecordWriter(const std::string& path);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // One record framed by its length.
    void Write(const Record& record);
    // A record whose markers say what is given: damaged files for tests.
    void WriteFramed(std::uint32_t leading, const std::string& data, std::uint32_t trailing);
    // Bytes as they are (a record cut short, garbage).
    void WriteRaw(const std::string& bytes);
    // Flushes and closes; throws when the data did not reach the file.
    void Close();

private:
    std::string m_path;
    std::FILE* m_file = nullptr;
};

// The four bytes of a marker or integer, little-endian.
std::string LittleEndian32(std::uint32_t value);

}  // namespace RecordFile
