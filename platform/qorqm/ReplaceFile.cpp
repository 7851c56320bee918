#include "qorqm/ReplaceFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "qorqm/PathUtilities.h"

CReplaceFile::CReplaceFile(const std::string& target) : m_target(PathUtilities::ToNative(target))
{
    std::string pattern = m_target + ".tmp-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return;
    // The permissions of the file being replaced; a new file is a document
    // file, not a private one.
    struct stat existing;
    fchmod(fd, ::stat(m_target.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);
    close(fd);
    m_stream.open(pattern, std::ios::binary | std::ios::trunc);
    m_temporary = pattern;
    if (!m_stream.is_open())
        Discard();
}

CReplaceFile::~CReplaceFile()
{
    Discard();
}

void CReplaceFile::Discard()
{
    if (m_stream.is_open())
        m_stream.close();
    if (!m_temporary.empty())
        std::remove(m_temporary.c_str());
    m_temporary.clear();
}

bool CReplaceFile::Commit()
{
    if (!IsOpen())
        return false;
    m_stream.flush();
    bool ok = static_cast<bool>(m_stream);
    m_stream.close();
    ok = ok && !m_stream.fail();
    if (ok) {
        const int fd = ::open(m_temporary.c_str(), O_RDONLY);
        ok = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
    }
    if (ok)
        ok = std::rename(m_temporary.c_str(), m_target.c_str()) == 0;
    if (!ok) {
        Discard();
        return false;
    }
    m_temporary.clear();
    return true;
}

bool ReplaceFileContents(const std::string& path, const std::string& bytes)
{
    CReplaceFile file(path);
    if (!file.IsOpen())
        return false;
    file.Stream().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.Commit();
}
