// Points the class registry at a file in a fresh folder of this test's own
// for as long as the object lives, so that parallel tests never share one,
// and puts back what QZ_REGISTRY_FILE said before.
#pragma once

#include "common/TempFolder.h"

#include <stdlib.h>

#include <string>

namespace QzTest {

class TempRegistry {
public:
    // `relative` names the registry file inside the fresh folder; it may
    // lie in folders that do not exist yet.
    explicit TempRegistry(const std::string& relative = "registry.json")
        : m_folder("registry"), m_file(m_folder.File(relative))
    {
        if (const char* old = ::getenv(kVariable)) {
            m_hadOld = true;
            m_old = old;
        }
        ::setenv(kVariable, m_file.c_str(), 1);
    }
    ~TempRegistry()
    {
        if (m_hadOld)
            ::setenv(kVariable, m_old.c_str(), 1);
        else
            ::unsetenv(kVariable);
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::string& File() const { return m_file; }
    const std::string& Folder() const { return m_folder.Path(); }

private:
    static constexpr const char* kVariable = "QZ_REGISTRY_FILE";

    TempFolder m_folder;
    std::string m_file;
    std::string m_old;
    bool m_hadOld = false;
};

} // namespace QzTest
