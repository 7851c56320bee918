#include "setup/ZelmFileWriter.h"
#include "com/regularfile.h"

#include "setup/SurfaceRunInfo.h"
#include "setup/DeckSpecies.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsDocument.h"
#include "common/ProjectPaths.h"
#include "appfw/LogicStateUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/ZelmSpeciesReader.h"
#include "qorvira/ZelmUtils.h"

#include <cerrno>
#include <list>

namespace {

const char* const kSymmetryParents = "Normalization:Model3d!SymmetryParent";
const char* const kAtoms = "Filter:Model3d!Atom";
const char* const kDeckNotOpen = "Unable to open ZELM input file.";

// Host calls: a failure raises the host's error, other codes are recorded.
void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

bool IsTrue(VARIANT_BOOL value)
{
    return value == VARIANT_TRUE;
}

} // namespace

// ---------------------------------------------------------------------------
// Set-up

CZelmFileWriter::CZelmFileWriter(CZelmRunInfo& runInfo, ISBContainerRoot* root, ISBDocumentManager* documents,
                                 ISBScope* scope)
    : m_root(root), m_documents(documents), m_scope(scope), m_runInfo(runInfo)
{
    Kelv::KelvCreateImpl("QorQMUtilities.ScopeUtility", nullptr, 0x15, IID_IQoScopeUtility,
                         m_scopeUtility.ReceiveVoid(), true);
    Kelv::CheckNullDereference(m_scopeUtility.get());
    Check(m_scopeUtility->Initialise(m_root.get()));
    Check(m_scopeUtility->GetDocumentRoot(m_scope.get(), m_documentRoot.Receive()));
    if (!m_documentRoot)
        throw KelvResult(E_UNEXPECTED, "DocumentRoot has not yet been set.");
    LoadFixedAtomRestriction();
    LookUpPositionProperties();
    CollectFixedAxisFlags(m_scope);
    m_periodicParentAtomCount = CountPeriodicParentAtoms(m_scope.get());
}

CZelmFileWriter::~CZelmFileWriter()
{
    if (m_scopeUtility)
        m_scopeUtility->Shutdown();
    m_fixedAxisMasks.clear();
    m_axisDistanceProperty.Release();
    m_positionProperty.Release();
    m_fixedAtomRestriction.Release();
    m_scopeUtility.Release();
    m_documentRoot.Release();
    m_scope.Release();
    m_documents.Release();
    m_root.Release();
}

KelvComPtr<ISBScope> CZelmFileWriter::Contents() const
{
    KelvComPtr<ISBScope> contents;
    Check(m_documentRoot->get_ContentsAsScope(contents.Receive()));
    Kelv::CheckNullDereference(contents.get());
    return contents;
}

int CZelmFileWriter::Periodicity() const
{
    const KelvComPtr<ISBScope> contents = Contents();
    VARIANT_BOOL periodic = VARIANT_FALSE;
    Check(m_scopeUtility->IsPeriodic(contents.get(), &periodic));
    if (IsTrue(periodic))
        return 3;
    VARIANT_BOOL slab = VARIANT_FALSE;
    Check(m_scopeUtility->Is2DPeriodic(contents.get(), &slab));
    return IsTrue(slab) ? 2 : 0;
}

KelvComPtr<ISBScopeObjects> CZelmFileWriter::SymmetryParentAtoms() const
{
    const KelvComPtr<ISBScope> contents = Contents();
    KelvComPtr<ISBScope> parents;
    Check(m_scopeUtility->ApplyScopeProcessor(contents.get(), KelvBSTR(kSymmetryParents).Get(), parents.Receive()));
    Kelv::CheckNullDereference(parents.get());
    KelvComPtr<ISBScope> atoms;
    Check(m_scopeUtility->ApplyScopeProcessor(parents.get(), KelvBSTR(kAtoms).Get(), atoms.Receive()));
    Kelv::CheckNullDereference(atoms.get());
    KelvComPtr<ISBScopeObjects> objects;
    Check(atoms->get_Objects(objects.Receive()));
    Kelv::CheckNullDereference(objects.get());
    return objects;
}

KelvComPtr<ISDObject> CZelmFileWriter::AtomAt(const KelvComPtr<ISBScopeObjects>& atoms, LONG index)
{
    KelvComPtr<IUnknown> item;
    Check(atoms->Item(index, item.Receive()));
    return item.QueryInterface<ISDObject>();
}

void CZelmFileWriter::RequireOpen(const std::ofstream& deck) const
{
    if (!deck.is_open())
        throw KelvResult(E_UNEXPECTED, kDeckNotOpen);
}

// ---------------------------------------------------------------------------
// Entry points

// The deck is written beside its place and put there by the trailer; a
// deck left unfinished by an error is dropped when `deck` goes.
void CZelmFileWriter::WriteInputFile(const std::string& folder, const std::string& name)
{
    const std::string path = folder + name + CZelmRunInfo::InputFileExtension();
    errno = 0; // the reason of a deck that cannot be begun
    CReplaceFile deck(path, ProjectFolderForWrites(m_root));
    WriteHeader(deck, path);
    if (m_runInfo.GetTask() == 4)
        WriteStructures(deck.Stream());
    else
        WriteStructure(deck.Stream());
    WriteTrailer(deck, path, folder);
}

void CZelmFileWriter::WriteSurfaceInputFile(const std::string& folder, const std::string& name,
                                            KelvComPtr<IQoZelmSurfaceCalculator> calculator,
                                            const CSurfaceRunInfo& surface)
{
    const std::string path = folder + name + CZelmRunInfo::InputFileExtension();
    errno = 0; // the reason of a deck that cannot be begun
    CReplaceFile deck(path, ProjectFolderForWrites(m_root));
    WriteHeader(deck, path);
    if (m_runInfo.GetTask() != 5)
        throw KelvResult::LastErrorCheckNotS_OK();
    WriteSurfaceStructure(deck.Stream(), calculator, surface);
    WriteSurfaceBulkEnergy(deck.Stream(), calculator);
    WriteTrailer(deck, path, folder);
}

// ---------------------------------------------------------------------------
// Layout

void CZelmFileWriter::WriteStructure(std::ofstream& deck)
{
    deck << std::endl;
    WriteCell(deck);
    WriteCoordinates(deck);
    if (ShouldWriteSpaceGroup()) {
        WriteSpaceGroup(deck);
        WriteOrigin(deck);
    } else {
        WriteSymmetryOperators(deck);
    }
    if (WantsConnectivity()) {
        const int periodicity = Periodicity();
        WriteConnectivity(deck, Contents(), periodicity != 0, CAtomicIndexMap::Default);
    }
}

bool CZelmFileWriter::WantsConnectivity() const
{
    const std::string library = m_runInfo.GetLibraryName();
    return library == "dreiding" || library == "uff";
}

void CZelmFileWriter::WriteConnectivity(std::ofstream& deck, const KelvComPtr<ISBScope>& contents, bool periodic,
                                        const CAtomicIndexMap& map)
{
    RegularFile::InputFile library(PathUtilities::ToNative(m_runInfo.GetLibraryPath()), RegularFile::Bound::Library);
    if (!library.IsOpen())
        throw KelvResult(E_UNEXPECTED, library.Failure("Unable to read ZELM library file."));
    std::list<std::string> otherLines;
    CZelmSpeciesReader species(otherLines, m_runInfo.IsStandardLibrary(), m_runInfo.GetLibraryPath());
    species.Read(library, otherLines);
    if (periodic)
        ZelmUtils::WritePeriodicBonds(deck, contents.get(), m_root.get(), m_runInfo.GetLibraryName(), species, false,
                                      map);
    else
        ZelmUtils::WriteBonds(deck, contents.get(), m_root.get(), m_runInfo.GetLibraryName(), species, false, map);
    deck << std::endl;
}

void CZelmFileWriter::WriteCell(std::ofstream& deck)
{
    RequireOpen(deck);
    switch (Periodicity()) {
    case 3:
        WriteBulkCell(deck);
        break;
    case 2:
        WriteSurfaceCell(deck);
        break;
    default:
        break;
    }
}

void CZelmFileWriter::WriteCoordinates(std::ofstream& deck)
{
    RequireOpen(deck);
    const std::unique_ptr<CDeckSpecies> species = CDeckSpecies::ForRun(m_runInfo);
    const KelvComPtr<ISBScopeObjects> atoms = SymmetryParentAtoms();
    LONG count = 0;
    Check(atoms->get_Count(&count));

    const int periodicity = Periodicity();
    deck << (periodicity == 3 ? "fractional" : periodicity == 2 ? "sfractional" : "cartesian") << std::endl;
    const VARIANT_BOOL fractional = periodicity != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    for (LONG i = 1; i <= count; ++i)
        WriteAtom(deck, fractional, *species, AtomAt(atoms, i), "");
    deck << std::endl;
    RequireOpen(deck);
    species->WriteSpeciesBlock(deck);
}

void CZelmFileWriter::WriteSurfaceStructure(std::ofstream& deck, const KelvComPtr<IQoZelmSurfaceCalculator>& calculator,
                                            const CSurfaceRunInfo& surface)
{
    deck << std::endl;
    WriteCell(deck);
    WriteSurfaceCoordinates(deck, calculator, surface);
    if (WantsConnectivity())
        WriteConnectivity(deck, Contents(), true, surface.m_atomIndexMap);
}

void CZelmFileWriter::WriteSurfaceCoordinates(std::ofstream& deck,
                                              const KelvComPtr<IQoZelmSurfaceCalculator>& calculator,
                                              const CSurfaceRunInfo& surface)
{
    const KelvComPtr<ISBState> state = LogicStateUtilities::GetState(calculator.get());
    const bool attachment = LogicStateUtilities::GetPropertyValue(state.get(), "CalculateAttachmentEnergy").Bool();

    RequireOpen(deck);
    const std::unique_ptr<CDeckSpecies> species = CDeckSpecies::ForRun(m_runInfo);
    const KelvComPtr<ISBScopeObjects> atoms = SymmetryParentAtoms();
    LONG count = 0;
    Check(atoms->get_Count(&count));

    const LONG attachmentCount = surface.m_attachmentAtomCount;
    const LONG region1Count = surface.m_region1AtomCount;
    deck << "sfractional region 1" << std::endl;
    for (LONG e = 1; e <= count; ++e) {
        if (e == region1Count + 1)
            deck << "sfractional region 2" << std::endl;
        const ULONG document = surface.MapZelm2Doc(static_cast<ULONG>(e), nullptr);
        const KelvComPtr<ISDObject> atom = AtomAt(atoms, static_cast<LONG>(document));
        WriteAtom(deck, VARIANT_TRUE, *species, atom, attachment && e <= attachmentCount ? " %" : "");
    }
    deck << std::endl;
    RequireOpen(deck);
    species->WriteSpeciesBlock(deck);
}
