// The current build's selected library: the forcefield locator's file for a
// record built from the state, the deck's library and note for one read
// back from a deck.
#include "setup/ZelmRunInfo.h"

#include "common/ResultFiles.h"

#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmForcefieldLocator.h"

#include <algorithm>
#include <cctype>

namespace {

// A library named with its file's extension ("rocksalt.lib"): the name
// without it, else "".
std::string NameWithoutExtension(const std::string& name)
{
    const std::string extension = CZelmRunInfo::LibraryFileExtension();
    if (name.size() <= extension.size() || name.find_first_of("/\\") != std::string::npos)
        return std::string();
    std::string tail = name.substr(name.size() - extension.size());
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == extension ? name.substr(0, name.size() - extension.size()) : std::string();
}

} // namespace

void CZelmRunInfo::LocateLibrary(CZelmForcefieldLocator* const& locator)
{
    Kelv::CheckNullDereference(locator);
    m_libraryPath = locator->GetSelectedPath();
    m_standardLibrary = locator->IsSelectedZelmStandardLibrary();

    // The locator adds the extension to every name; a name that carries it
    // already is looked for without it, in the standard folder, then in the
    // project, as the locator looks for a bare name.
    const std::string bare = NameWithoutExtension(StateText("library"));
    if (!bare.empty() && !DiskUtilities::FileExists(m_libraryPath)) {
        const std::string fileName = bare + LibraryFileExtension();
        const std::string standard = PathUtilities::Join(m_standardLibraries.GetStandardLibrariesFolder(), fileName);
        const std::string project = PathUtilities::Join(GetProjectDocumentsFolder().ToTString(), fileName);
        if (DiskUtilities::FileExists(standard)) {
            m_libraryPath = standard;
            m_standardLibrary = true;
        } else if (DiskUtilities::FileExists(project)) {
            m_libraryPath = project;
            m_standardLibrary = false;
        }
    }
    // The project's state chose the file: it goes into decks and jobs only
    // from the project or the standard library folder, links followed.
    if (!m_libraryPath.empty())
        m_standardLibraries.RequireLibraryInPlace(m_libraryPath);
    // The deck's "library" line and the file the job uploads name the
    // library by the job's safe-name rule ("rock salt(1).lib" is
    // "rock_salt_1_"): one word the engine finds as "<name>.lib".
    m_libraryName = ZelmJobNames::SafeWord(SeedNameFromPath(m_libraryPath));
}

bool CZelmRunInfo::IsStandardLibrary() const
{
    return m_standardLibrary;
}

std::string CZelmRunInfo::GetLibraryName() const
{
    return m_libraryName;
}

std::string CZelmRunInfo::GetLibraryPath() const
{
    return m_libraryPath;
}
