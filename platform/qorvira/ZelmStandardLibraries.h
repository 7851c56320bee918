// Where the engine's standard forcefield libraries and its element-data file
// are installed: a folder inside the product data folder that the host's
// folder manager reports (ISBFolderManager::CoreFolder).
//
// The folder inside the product data folder is the value "ZelmLibraryFolder"
// of the engine logic's state ("ZelmLogic" of "QorZelm.Extension"), or
// "Resources/Virakon/ZELM/" when that logic, or the value, is not there or
// is empty; the element-data file's name is the value "ZelmElementDataFile"
// of the same state (empty when it is not there). Parts are joined with
// exactly one separator whichever separators they carry. Nothing is cached:
// each call reads the state and the folder manager again.
//
// The state is a project's, and a project comes from elsewhere: the folder
// it gives must be the installation's own ("Resources/Virakon/ZELM/" in the
// product data folder, however it is spelt: inside the product data folder
// or as the whole path of that folder). One that resolves anywhere else is
// refused as a library outside the project, naming the value as stored and
// the command that clears it.
//
// Where a library lies: a library file that the engine is given (selected
// in the state, named by a deck or by the note beside it) must lie, with
// links followed, in the project documents folder or in the standard
// libraries' folder. RequireLibraryInPlace is the one check of that rule.
#pragma once

#include <string>
#include <vector>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

class CZelmStandardLibraries
{
public:
    // Keeps a reference to the root (null allowed: the lookups then throw
    // the framework's null-pointer error).
    explicit CZelmStandardLibraries(ISBContainerRoot* root) noexcept;
    explicit CZelmStandardLibraries(const KelvComPtr<ISBContainerRoot>& root) noexcept;
    virtual ~CZelmStandardLibraries();

    // The folder of the standard libraries, ending with a separator. A
    // failing folder manager throws the host's error.
    std::string GetStandardLibrariesFolder() const;
    // The full path of the element-data file: the folder followed by the
    // file's name (the folder itself when no name is configured).
    std::string GetElementDataFileName() const;

    // Why the library file `path` is not taken, or "" when it lies, links
    // followed, in the project documents folder or in the standard
    // libraries' folder. The reason begins as every refusal of a library
    // elsewhere: "<path> is not in the current project".
    std::string WhyLibraryIsNotInPlace(const std::string& path) const;
    // The same check, throwing the reason as KelvResult E_ACCESSDENIED.
    void RequireLibraryInPlace(const std::string& path) const;
    // Why the library file `path`, picked from the project's state, may not
    // be written over, or "" when it lies, links followed, in the project
    // documents folder. A standard library is the installation's own: it is
    // read from its folder, never written there. The reason begins as
    // WhyLibraryIsNotInPlace's.
    std::string WhyLibraryIsNotTheProjects(const std::string& path) const;

    // The folder inside the product data folder used when the state does not
    // give one.
    static const std::string& DefaultRelativeFolder();

    // The installation's core folder, as the host's folder manager gives it.
    // A failing folder manager throws the host's error.
    std::string CoreFolder() const;

private:
    std::string StateText(const std::string& key) const;
    std::string ProjectFolder() const;
    // Why `path` lies in none of `folders` ("" when it lies in one).
    static std::string WhyNotIn(const std::string& path, const std::vector<std::string>& folders);

    KelvComPtr<ISBContainerRoot> m_root;
};
