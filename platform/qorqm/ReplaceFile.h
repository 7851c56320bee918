#pragma once
// Replacing a file as a whole. The new contents go to a temporary file beside
// the target (same folder, so the rename stays on one file system), which is
// flushed, synced and checked, then renamed over the target. A write that fails
// or is stopped half-way leaves the old file as it was and no partial file under
// the target's name; the temporary file is removed on every failure path.

#include <fstream>
#include <string>

class CReplaceFile {
public:
    // Opens a temporary file beside target ("<target>.tmp-XXXXXX", with the
    // permissions of an existing target, else mode 0644).
    // IsOpen() says whether that worked; nothing is changed yet.
    explicit CReplaceFile(const std::string& target);
    ~CReplaceFile();
    CReplaceFile(const CReplaceFile&) = delete;
    CReplaceFile& operator=(const CReplaceFile&) = delete;

    bool IsOpen() const { return !m_temporary.empty() && m_stream.is_open(); }
    std::ofstream& Stream() { return m_stream; }
    const std::string& Target() const { return m_target; }

    // Flushes, syncs and closes the temporary file, then renames it over the
    // target. False, with the temporary file removed and the target untouched,
    // when any step fails or the stream had failed before.
    bool Commit();
    // Drops the temporary file; the target stays as it was.
    void Discard();

private:
    std::string m_target;
    std::string m_temporary;
    std::ofstream m_stream;
};

// Replaces path's contents with bytes as above; false when that failed.
bool ReplaceFileContents(const std::string& path, const std::string& bytes);
