// The current build's selected library: the forcefield locator's file for a
// record built from the state, the deck's library and note for one read
// back from a deck.
#include "setup/ZelmRunInfo.h"

#include "common/ResultFiles.h"

#include "qorvira/ZelmForcefieldLocator.h"

void CZelmRunInfo::LocateLibrary(CZelmForcefieldLocator* const& locator)
{
    Kelv::CheckNullDereference(locator);
    m_libraryName = SeedNameFromPath(locator->GetSelectedPath());
    m_libraryPath = locator->GetSelectedPath();
    m_standardLibrary = locator->IsSelectedZelmStandardLibrary();

    KelvComPtr<ISBDiskManager> disk;
    KelvResult::Check(m_root->get_DiskManager(disk.Receive()));
    KelvResult::Check(static_cast<bool>(disk));
    KelvBSTR safe;
    KelvResult::Check(disk->MakeSafeFileName(KelvBSTR(m_libraryName).Get(), 0, 0, safe.Receive()));
    m_libraryName = safe.ToTString();
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
