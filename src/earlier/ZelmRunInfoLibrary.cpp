// The earlier build's selected library: always a library of the standard
// folder, found by name. Every lookup reads the state and the host's core
// folder again; the library's path is refused when it leads outside the
// project and the installation's standard library folder.
#include "setup/ZelmRunInfo.h"

namespace {

// The standard folder inside the core folder when no state says otherwise.
const char* const kDefaultLibraryFolder = "Resources\\Virakon\\ZELM\\";

} // namespace

void CZelmRunInfo::LocateLibrary(CZelmForcefieldLocator* const& /*locator*/)
{
    // A record built from the state holds no name of its own: the state's
    // "library" names the library.
}

bool CZelmRunInfo::IsStandardLibrary() const
{
    return true;
}

std::string CZelmRunInfo::GetLibraryName() const
{
    if (!m_state.IsValid())
        return m_libraryName;
    std::string name;
    m_state.GetStateValue("library", name);
    return name;
}

std::string CZelmRunInfo::GetLibraryFolder() const
{
    std::string relative = kDefaultLibraryFolder;
    if (m_state.IsValid())
        m_state.GetStateValue("ZelmLibraryFolder", relative);
    // Joined as they stand: the state's text carries its own separators.
    return m_standardLibraries.CoreFolder() + relative;
}

std::string CZelmRunInfo::GetElementDataFile() const
{
    std::string name;
    if (m_state.IsValid())
        m_state.GetStateValue("ZelmElementDataFile", name);
    return GetLibraryFolder() + name;
}

std::string CZelmRunInfo::GetLibraryPath() const
{
    // The folder and the name come from the project's state: the file they
    // make must be the installation's or the project's own (links followed).
    const std::string path = GetLibraryFolder() + GetLibraryName() + LibraryFileExtension();
    m_standardLibraries.RequireLibraryInPlace(path);
    return path;
}
