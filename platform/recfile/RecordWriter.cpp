#include "recfile/RecordWriter.h"

#include <cstring>
#include <stdexcept>
#include <unistd.h>

#include "com/regularfile.h"

namespace RecordFile {
namespace {

std::string LittleEndian64(std::uint64_t value)
{
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

}  // namespace

std::string LittleEndian32(std::uint32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

Record& Record::Real(double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    m_bytes += LittleEndian64(bits);
    return *this;
}

Record& Record::Reals(const double* values, std::size_t n)
{
    m_bytes.reserve(m_bytes.size() + 8 * n);
    for (std::size_t i = 0; i < n; ++i)
        Real(values[i]);
    return *this;
}

Record& Record::Integer(std::int32_t value)
{
    m_bytes += LittleEndian32(static_cast<std::uint32_t>(value));
    return *this;
}

namespace {

// The file opened to write through the one writer's opener (nothing but a
// regular file, without waiting), as a stdio stream.
std::FILE* OpenRecordFile(const std::string& path)
{
    std::string why;
    const int fd = RegularFile::OpenToWrite(path, why);
    if (fd < 0)
        throw std::runtime_error("cannot write the record file " + RegularFile::Refusal(path, why));
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        throw std::runtime_error("cannot write the record file " + path);
    }
    return file;
}

}  // namespace

RecordWriter::RecordWriter(const std::string& path) : m_path(path), m_file(OpenRecordFile(path))
{
}

RecordWriter::~RecordWriter()
{
    if (m_file != nullptr)
        std::fclose(m_file);
}

void RecordWriter::Write(const Record& record)
{
    const std::string& data = record.Bytes();
    if (data.size() > 0xFFFFFFFFu)
        throw std::runtime_error("a record of more than 4 GiB cannot be framed");
    const auto length = static_cast<std::uint32_t>(data.size());
    WriteFramed(length, data, length);
}

void RecordWriter::WriteFramed(std::uint32_t leading, const std::string& data, std::uint32_t trailing)
{
    WriteRaw(LittleEndian32(leading));
    WriteRaw(data);
    WriteRaw(LittleEndian32(trailing));
}

void RecordWriter::WriteRaw(const std::string& bytes)
{
    if (m_file == nullptr)
        throw std::runtime_error("the record file " + m_path + " is closed");
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        throw std::runtime_error("cannot write the record file " + m_path);
}

void RecordWriter::Close()
{
    if (m_file == nullptr)
        return;
    const int failed = std::fclose(m_file);
    m_file = nullptr;
    if (failed != 0)
        throw std::runtime_error("cannot write the record file " + m_path);
}

}  // namespace RecordFile
