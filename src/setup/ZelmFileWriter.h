// The input-deck writer of one request: writes the engine's ".gin" deck for
// a task from the request's structure and run settings, and the side files
// beside it (".trjaux", ".kptaux", "selectedLibrary.libaux").
//
// Members are defined by topic: ZelmFileWriter.cpp (set-up and the deck
// layout by task), ZelmFileWriterLines.cpp (the header, trailer and
// structure lines), ZelmFileWriterAtoms.cpp (atom selection, fixing flags,
// species labels and the side files).
#pragma once

#include "common/SurfaceCalculatorInterface.h"

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorvira/AtomicIndexMap.h"
#include "qorvira/Species.h"

#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CDeckSpecies;
class CReplaceFile;
class CZelmRunInfo;
class CSurfaceRunInfo;

namespace ZelmDeckAtoms {

// Merges parallel restriction arrays into the masks by atom "ID": entry k
// ORs mask k into the entry of atom k. Nothing happens when either array is
// null. The masks (VT_I4) are counted over all dimensions; an atom array
// (VT_UNKNOWN, VT_DISPATCH or VT_VARIANT) shorter than that fails with
// KelvResult DISP_E_BADINDEX, other element types with DISP_E_TYPEMISMATCH;
// a failing "ID" read raises its HRESULT. Masks merged before a failure stay.
void AddFixedAxisMasks(SAFEARRAY* flags, SAFEARRAY* atoms, std::map<long, long>& masks);

} // namespace ZelmDeckAtoms

class CZelmFileWriter
{
public:
    // Species labels of one structure section: alternative name -> (label,
    // species), and species name -> number of labels made for it.
    using LabelTable = std::map<std::string, std::pair<std::string, CSpecies>>;
    using NameCounter = std::map<std::string, long>;

    // Sets the writer up for the scope: its own scope utility, the scope's
    // document (none: KelvResult E_UNEXPECTED "DocumentRoot has not yet been
    // set."), the fixed-atom restriction logic, the position properties, the
    // fixing masks of the scope's atoms and the periodic-parent atom count.
    // The run settings must outlive the writer.
    CZelmFileWriter(CZelmRunInfo& runInfo, ISBContainerRoot* root, ISBDocumentManager* documents, ISBScope* scope);
    virtual ~CZelmFileWriter();

    CZelmFileWriter(const CZelmFileWriter&) = delete;
    CZelmFileWriter& operator=(const CZelmFileWriter&) = delete;

    // The deck folder + name + ".gin" of an Energy, GeomOpt, Dynamics or Fit
    // run (folder ends with a separator), with "selectedLibrary.libaux" and,
    // for a phonon dispersion, ".kptaux". The deck and its side files each
    // replace their file whole once written: a write that fails leaves the
    // file as it was and fails with "Unable to write file: <path>".
    void WriteInputFile(const std::string& folder, const std::string& name);
    // The same for a Surface run: the slab's two regions and the
    // "sbulkenergy" line.
    void WriteSurfaceInputFile(const std::string& folder, const std::string& name,
                               KelvComPtr<IQoZelmSurfaceCalculator> calculator, const CSurfaceRunInfo& surface);
    // Numbers the symmetry-parent atoms (their "ID"), writes folder + name +
    // ".trjaux" and saves the structure as folder + name + ".qsd".
    void WriteJobSideFiles(const std::string& folder, const std::string& name);

    // The label of a species, made on its first use: its name followed by
    // the count of labels made for that name ("O1", "O2").
    static std::string GetSpeciesLabel(const CSpecies& species, LabelTable& labels, NameCounter& names);

    // What refuses a Fit deck before anything is written (a row of the
    // observables naming a structure not in the project): KelvResult, as
    // writing the deck's structures would fail.
    // Each structure's own text is refused as RefuseStructureText does.
    static void RefuseFitStructures(const KelvComPtr<ISBContainerRoot>& root, IQoScopeUtility* utility);
    // What refuses a structure's own text before its deck lines are written:
    // the space-group symbol, where the deck holds one, passes
    // ZelmDeckLines::DeckText (KelvResult naming the "space-group symbol").
    static void RefuseStructureText(IQoScopeUtility* utility, ISBDocumentRoot* document);

    // The fixing mask of every atom with a restriction, by "ID".
    const std::map<long, long>& FixedAxisMasks() const { return m_fixedAxisMasks; }
    long PeriodicParentAtomCount() const { return m_periodicParentAtomCount; }

    // Why a deck or side file could not be begun, to follow a message
    // (": " and the writer's or the system's reason; "" when neither has one).
    static std::string WriteFailure(const CReplaceFile& file);
    // Commits the file; false with the reason when that fails. A stream that
    // failed while it was written keeps the system's reason of that write.
    static bool CommitWithReason(CReplaceFile& file, std::string& reason);

private:
    // Periodicity of the current document's contents: 3, 2 or 0.
    int Periodicity() const;
    KelvComPtr<ISBScope> Contents() const;
    // The current document's symmetry-parent atoms.
    KelvComPtr<ISBScopeObjects> SymmetryParentAtoms() const;
    static KelvComPtr<ISDObject> AtomAt(const KelvComPtr<ISBScopeObjects>& atoms, LONG index);
    void RequireOpen(const std::ofstream& deck) const;

    // Layout.
    void WriteStructure(std::ofstream& deck);
    void WriteStructures(std::ofstream& deck);
    void WriteSurfaceStructure(std::ofstream& deck, const KelvComPtr<IQoZelmSurfaceCalculator>& calculator,
                               const CSurfaceRunInfo& surface);
    void WriteCell(std::ofstream& deck);
    void WriteCoordinates(std::ofstream& deck);
    void WriteSurfaceCoordinates(std::ofstream& deck, const KelvComPtr<IQoZelmSurfaceCalculator>& calculator,
                                 const CSurfaceRunInfo& surface);
    void WriteConnectivity(std::ofstream& deck, const KelvComPtr<ISBScope>& contents, bool periodic,
                           const CAtomicIndexMap& map);
    bool WantsConnectivity() const;

    // Header and trailer.
    void WriteHeader(CReplaceFile& deck, const std::string& path);
    void WriteKeywordLine(std::ofstream& deck);
    void WritePropertyKeywords(std::ofstream& deck);
    void WriteTaskOptions(std::ofstream& deck);
    void WriteFrequencyOptions(std::ofstream& deck);
    void WritePhononOptions(std::ofstream& deck);
    void WriteTitle(std::ofstream& deck);
    void WriteTrailer(CReplaceFile& deck, const std::string& path, const std::string& folder);
    void WriteLibraryLine(std::ofstream& deck);
    void WriteOutputLines(std::ofstream& deck);
    void WriteSurfaceBulkEnergy(std::ofstream& deck, const KelvComPtr<IQoZelmSurfaceCalculator>& calculator);

    // Structure lines.
    void WriteBulkCell(std::ofstream& deck);
    void WriteSurfaceCell(std::ofstream& deck);
    void WriteAtom(std::ofstream& deck, const VARIANT_BOOL& fractional, CDeckSpecies& species,
                   const KelvComPtr<ISDObject>& atom, const std::string& tail);
    bool ShouldWriteSpaceGroup() const;
    static bool WritesSpaceGroup(IQoScopeUtility* utility, ISBScope* contents);
    // The lattice's space-group symbol as the deck line holds it.
    static std::string SpaceGroupSymbol(IQoScopeUtility* utility, ISBScope* contents);
    void WriteSpaceGroup(std::ofstream& deck);
    void WriteOrigin(std::ofstream& deck);
    void WriteSymmetryOperators(std::ofstream& deck);
    bool IsFractionalPositionFree(const KelvComPtr<ISDObject>& atom) const;
    bool IsPropertyRestricted(const KelvComPtr<ISDObject>& atom, const std::string& property) const;
    KelvComPtr<ISDObject> LatticeObject(bool surface) const;
    void LoadFixedAtomRestriction();
    void LookUpPositionProperties();
    long CountPeriodicParentAtoms(ISBScope* scope) const;

    // Fixing flags and numbering: each build links its own form of these.
    // The fixing masks by "ID" of the scope's atoms (constructor; each
    // structure of a Fit deck), one atom's mask for its Cartesian line, and
    // the numbers of the symmetry-parent atoms, given to them as their "ID"
    // before the side files and the deck are written.
    void CollectFixedAxisFlags(KelvComPtr<ISBScope> scope);
    long GetFixedAxisFlags(const KelvComPtr<ISDObject>& atom) const;
    void NumberAtoms(std::vector<long>& ids);
    // The current build's forms.
    void AddFixedAxisFlags(SAFEARRAY** flags, SAFEARRAY** atoms);
    void CollectSymmetryParents(std::vector<long>& ids);
    // The earlier build's numbering: "ID" on every atom of the scope, in a
    // 3-D periodic structure on the symmetry parents only.
    void AssignAtomIDs();
    // The host's atom numbering of the model object `source` (an
    // IQoAtomNumberingSource), begun at 1: both builds number through it.
    static KelvComPtr<IQoAtomNumbering> NumberingOf(const KelvComPtr<IUnknown>& source);
    void WriteAtomIdFile(const std::string& basePath, const std::vector<long>& ids);
    void WriteLibraryNote(const std::string& folder);
    void WriteKPointFile(const std::string& deckPath);

    KelvComPtr<ISBContainerRoot> m_root;
    KelvComPtr<ISBDocumentManager> m_documents;
    KelvComPtr<ISBScope> m_scope;
    CZelmRunInfo& m_runInfo;
    KelvComPtr<ISBDocumentRoot> m_documentRoot;
    KelvComPtr<IQoScopeUtility> m_scopeUtility;
    KelvComPtr<IQoFixedAtomRestriction> m_fixedAtomRestriction;
    KelvComPtr<ISDPropertyTemplate> m_positionProperty;
    KelvComPtr<ISDPropertyTemplate> m_axisDistanceProperty;
    std::map<long, long> m_fixedAxisMasks;
    long m_periodicParentAtomCount = 0;
};
