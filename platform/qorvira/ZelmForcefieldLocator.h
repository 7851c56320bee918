// Knows the forcefield library selected for the engine: the state value
// "library" of the engine logic names it, and the locator finds its file.
//
// The selected file, by the first rule that applies to the name:
// 1. an empty name selects nothing: the path is "" and it is not a standard
//    library;
// 2. a name with a folder in it (a separator) is the path of a user library;
//    "%PROJECT_DOCUMENTS_FOLDER%" in it is expanded by the folder manager and
//    ".lib" is added when the name has no extension;
// 3. the library most recently handed to AddForcefield whose file name
//    without extension equals the name;
// 4. "<name>.lib" in the standard libraries' folder (CZelmStandardLibraries)
//    when that file exists;
// 5. "<name>.lib" in the project documents folder when that file exists;
// 6. otherwise "<name>.lib" in the standard libraries' folder (a standard
//    library that is not installed; reading it fails with the reader's
//    message).
// The selected library is a standard one when its file lies directly in the
// standard libraries' folder. Nothing is cached but the added libraries:
// every call reads the state and the host's folders again.
//
// The state is a project's: what the engine is given of the file it selects
// is checked by its users (CZelmStandardLibraries::RequireLibraryInPlace).
#pragma once

#include <string>
#include <vector>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

class CZelmForcefieldLocator
{
public:
    // The engine logic's state and the container root; both must be
    // non-null (null throws the framework's null-pointer error).
    CZelmForcefieldLocator(ISBState* state, ISBContainerRoot* root);
    CZelmForcefieldLocator(const KelvComPtr<ISBState>& state, const KelvComPtr<ISBContainerRoot>& root);
    CZelmForcefieldLocator(const CZelmForcefieldLocator&) = delete;
    CZelmForcefieldLocator& operator=(const CZelmForcefieldLocator&) = delete;
    virtual ~CZelmForcefieldLocator();

    // The full path of the selected library file. Failing host calls throw
    // the host's error.
    std::string GetSelectedPath() const;
    // True when the selected library is one of the standard libraries.
    bool IsSelectedZelmStandardLibrary() const;

    // Takes a library the user saved (its document information, whose
    // DocumentURL is the file) so that selecting its name selects that file.
    // A null information throws the framework's null-pointer error; one
    // without a file path, KelvResult E_INVALIDARG.
    void AddForcefield(ISBDocumentInfo* documentInfo);

private:
    std::string SelectedName() const;
    std::string StandardFolder() const;
    std::string ProjectDocumentsFolder() const;
    std::string ExpandFolders(const std::string& path) const;

    KelvComPtr<ISBState> m_state;
    KelvComPtr<ISBContainerRoot> m_root;
    std::vector<std::string> m_addedLibraries; // full paths, in the order added
};
