#pragma once
// Deletes a file when it goes out of scope, on every way out of the scope.

#include <string>

class CAutoFileDelete {
public:
    // path may use "/" or "\\". Nothing is touched until destruction.
    explicit CAutoFileDelete(const std::string& path);
    // Deletes the file if it is still there. Only a file is deleted (never a
    // folder); a file that cannot be deleted is left alone. Never throws.
    ~CAutoFileDelete();

    CAutoFileDelete(const CAutoFileDelete&) = delete;
    CAutoFileDelete& operator=(const CAutoFileDelete&) = delete;

    const std::string& GetPath() const { return m_path; }

private:
    std::string m_path;
};
