// The settings of one calculation: the task, the selected forcefield
// library, the job's names, and the texts of the deck's keyword and option
// lines. Built either from the "ZelmLogic" state or from a deck written
// before; the file-name constants are the one source of the names of the
// engine's files.
#pragma once

#include "setup/KeywordLines.h"

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorvira/StateHelper.h"
#include "qorvira/ZelmStandardLibraries.h"

#include <ostream>
#include <string>

class CZelmLibUtils;
class CZelmForcefieldLocator;

namespace ZelmJobNames {

// Job prefix (full path without extension) and job name.
struct Names
{
    std::string prefix;
    std::string name;
};

// A Fit run: named after the prefix text, else the library; placed in the
// library's folder.
Names ForFit(const std::string& prefixText, const std::string& libraryName, const std::string& libraryPath);
// A document never saved: named after the prefix text, else the document;
// placed in the project documents folder.
Names ForUnsavedDocument(const std::string& prefixText, const std::string& documentName,
                         const std::string& projectFolder);
// A saved document split into drive, directory (with its trailing separator)
// and file name: named after the prefix text, else the file.
Names ForSavedDocument(const std::string& prefixText, const std::string& drive, const std::string& directory,
                       const std::string& fileName);

// The job's safe-name rule: every character but an ASCII letter or digit,
// "_", "-" and "." becomes "_", so that the name is one word on the engine's
// keyword lines and command line and the host keeps it as it is.
std::string SafeWord(const std::string& name);

// The base name of a job's files (the deck, its output lines, its side files
// and the module state), made once from the job name by SafeWord. A name
// that holds a path separator or is "." or ".." would put the files outside
// the job's folder: KelvResult E_INVALIDARG.
std::string JobFileBase(const std::string& jobName);

} // namespace ZelmJobNames

class CZelmRunInfo
{
public:
    // From the "ZelmLogic" state; the locator gives the selected library.
    CZelmRunInfo(const KelvComPtr<ISBContainerRoot>& root, CStateHelper state, const KelvComPtr<ISBScope>& scope,
                 CZelmForcefieldLocator* const& locator, const KelvComPtr<ISBState>& jobTemplateState,
                 KelvComPtr<ISBScopeManager> scopeManager);
    // From a written deck: `folder` ends with a separator; the deck is folder
    // + deckFileName, its library note folder + SelectedLibraryFileName().
    CZelmRunInfo(const KelvComPtr<ISBContainerRoot>& root, const std::string& folder, const std::string& deckFileName,
                 const KelvComPtr<ISBScope>& scope);
    virtual ~CZelmRunInfo();

    CZelmRunInfo(const CZelmRunInfo&) = delete;
    CZelmRunInfo& operator=(const CZelmRunInfo&) = delete;

    // File-name constants.
    static std::string InputFileExtension() { return ".gin"; }
    static std::string OutputFileExtension() { return ".gout"; }
    static std::string ArchiveFileExtension() { return ".arc"; }
    static std::string BulkArchiveFileSuffix() { return "_bulk.arc"; }
    static std::string ClusterArchiveFileSuffix() { return "_clus.arc"; }
    static std::string DefectArchiveFileSuffix() { return "_defe.arc"; }
    static std::string TrajectoryFileExtension() { return ".trg"; }
    static std::string DumpFileExtension() { return ".res"; }
    static std::string FrcFileExtension() { return ".frc"; }
    static std::string PhononDosFileExtension() { return ".dens"; }
    static std::string DispersionFileExtension() { return ".disp"; }
    static std::string OscillatorFileExtension() { return ".osc"; }
    static std::string PressureFileExtension() { return ".pre"; }
    static std::string LibraryFileExtension() { return ".lib"; }
    static std::string TrajectoryDocumentExtension() { return ".qtd"; }
    static std::string SelectedLibraryFileName() { return "selectedLibrary.libaux"; }
    static std::string StandardLibraryMarker() { return "StandardLibrary"; }

    // Getters.
    long GetTask() const;
    // The selected library: each build links its own form of these (the
    // current one: what the locator or the deck gave; the earlier one: the
    // standard-library folder's, see GetLibraryFolder).
    bool IsStandardLibrary() const;
    std::string GetLibraryName() const;
    std::string GetLibraryPath() const;
    // The earlier build's standard-library folder (core folder followed by
    // "ZelmLibraryFolder") and element-data file in it.
    std::string GetLibraryFolder() const;
    std::string GetElementDataFile() const;
    bool IsConstantPressure() const;
    bool IsConstantVolume() const;
    long GetEnsemble() const;
    bool IsPhonon() const;
    long GetChargeOption() const;
    bool IsPeriodic() const;
    KelvBSTR GetProjectDocumentsFolder() const;
    KelvBSTR GetCurrentDocumentSeedPath() const;
    KelvBSTR GetJobPrefix();
    KelvBSTR GetJobName();
    KelvBSTR GetJobNameCopy();
    // ZelmJobNames::JobFileBase of the job name.
    std::string GetJobFileBase();
    bool CanDoPhononNonGamma() const;
    // The current build's core charge of an atom (defined with its species).
    double GetCoreCharge(const KelvComPtr<ISDObject>& atom, const CZelmLibUtils& library) const;

    // The library note beside a deck (see ZelmDeck::ReadLibraryNote); a
    // missing note is written as a standard-library note and hidden, unless
    // no library is known (a deck without a library line): then no note is
    // written. A standard note without a name names no library. A note that
    // leads outside the project or is a folder is refused naming it.
    void ReadSelectedLibraryFile(const std::string& path);
    // Task and library of a written deck.
    void ReadInputFile(const std::string& path);
    // A library read back from a deck and its note (at `notePath`) must lie,
    // links followed, in the project or in the standard library folder;
    // else KelvResult E_ACCESSDENIED naming the library and the note.
    void RequireLibraryInPlace(const std::string& notePath) const;

    // Deck lines.
    std::string GetKeywords() const;
    std::string GetPropertyKeywords(bool spatial) const;
    std::string GetTaskOptions() const;
    std::string GetFrequencyRangeLine() const;
    std::string GetPhononOptions() const;
    void WriteKPointFile(std::ostream& stream) const;
    std::string GetEnsembleName() const;
    std::string GetEnsembleParameters() const;
    bool WantsPhonons() const;
    bool WantsOptics() const;
    bool IsConstantPressureDynamics() const;
    bool WantsPhononDispersion() const;
    bool WantsPhononDos() const;

private:
    class Settings;
    friend class Settings;

    // Fills the library fields of a record built from the state (the
    // current build asks the locator; the earlier one holds no name then).
    void LocateLibrary(CZelmForcefieldLocator* const& locator);
    void ComputeJobNames();
    // State reads that answer false, zero or "" over no state.
    bool StateBool(const std::string& key) const;
    long StateLong(const std::string& key) const;
    double StateDouble(const std::string& key) const;
    std::string StateText(const std::string& key) const;
    KelvComPtr<IQoDispersionPath> GetDispersionPath() const;
    std::string GetDosBlock() const;

    KelvComPtr<ISBContainerRoot> m_root;
    CStateHelper m_state;
    KelvComPtr<ISBScope> m_scope;
    long m_task = ZelmLines::TaskEnergy;
    std::string m_libraryName;
    std::string m_libraryPath;
    bool m_standardLibrary = false;
    KelvComPtr<ISBState> m_jobTemplateState;
    KelvComPtr<ISBScopeManager> m_scopeManager;
    CZelmStandardLibraries m_standardLibraries;
    KelvBSTR m_jobPrefix;
    KelvBSTR m_jobName;
    std::string m_jobNameText;
};
