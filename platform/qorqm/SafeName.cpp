#include "qorqm/SafeName.h"

#include "kelv/KelvBSTR.h"
#include "kelv/KelvResult.h"

#include <algorithm>

namespace QorQMUtilities {

namespace {

bool IsAsciiLetterOrDigit(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsAllowed(unsigned char c, bool windowsSafeOnly, bool allowWildCharacters) {
    if (c == '*' || c == '?') {
        return allowWildCharacters;
    }
    if (windowsSafeOnly) {
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
        switch (c) {
            case '<':
            case '>':
            case ':':
            case '"':
            case '/':
            case '\\':
            case '|':
                return false;
            default:
                return true;
        }
    }
    return IsAsciiLetterOrDigit(c) || c == '_' || c == '-' || c == '.' || c == ' ';
}

}  // namespace

std::string MakeSafeFileName(const std::string& name, bool windowsSafeOnly, bool allowWildCharacters) {
    std::string safe = name;
    for (char& c : safe) {
        if (!IsAllowed(static_cast<unsigned char>(c), windowsSafeOnly, allowWildCharacters)) {
            c = '_';
        }
    }
    if (!safe.empty() && std::all_of(safe.begin(), safe.end(), [](char c) { return c == '.'; })) {
        std::fill(safe.begin(), safe.end(), '_');
    }
    return safe;
}

}  // namespace QorQMUtilities

SafeName::SafeName(const KelvComPtr<ISBManagedTask>& job) : m_job(job) {}

SafeName::SafeName(ISBManagedTask* job) : m_job(job) {}

std::string SafeName::operator()(const std::string& name) const {
    const KelvBSTR original(name);
    KelvBSTR safe;
    KelvResult::Check(m_job->MakeSafeName(original.Get(), safe.Receive()));
    return safe.ToTString();
}
