#include "qorqm/CAutoFileDelete.h"

#include "qorqm/PathUtilities.h"

#include <filesystem>
#include <system_error>

CAutoFileDelete::CAutoFileDelete(const std::string& path) : m_path(path) {}

CAutoFileDelete::~CAutoFileDelete() {
    if (m_path.empty()) {
        return;
    }
    try {
        const std::filesystem::path file(PathUtilities::ToNative(m_path));
        std::error_code ec;
        const std::filesystem::file_status status = std::filesystem::symlink_status(file, ec);
        if (ec || std::filesystem::is_directory(status) || !std::filesystem::exists(status)) {
            return;
        }
        std::filesystem::remove(file, ec);
    } catch (...) {
        // A destructor must not throw; the file simply stays.
    }
}
