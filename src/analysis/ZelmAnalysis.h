// The analysis component (COM class "QorZelm.ZelmAnalysis"), which the
// host's results-analysis tools talk to once a run has finished.
//
// Its results scope (IQoQMAnalysisScope) looks at one results folder: it
// lists the engine outputs ("*.gout") there, sorts them into the five result
// categories by their companion files, keeps one selected output per
// category and tells its listeners (IQoQMAnalysisEvents) when the selection
// changes. Its commands (IZelmAnalysis) make chart documents, structure and
// trajectory documents and libraries from the selected outputs; each has a
// Can... answer that starts from whether its category has results at all.
//
// Every COM method runs in the framework's catch frame with the component's
// class identifier and the method's interface (IQoQMAnalysisScope for the
// scope, IZelmAnalysis for the commands). A null output pointer gives
// E_POINTER "No pointer supplied for output argument.".
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/KelvConnectionPoints.h"
#include "analysis/OpticalSettings.h"
#include "common/ModuleIds.h"
#include "common/ZelmInterfaces.h"
#include "hostapi/hostapi.h"
#include "kelv/KelvLogicImpl.h"
#include "kelv/kelv.h"
#include "qorvira/StateHelper.h"

class CAtomicIndexMap;
class CZelmPhononData;
class CGeomOptOutputFileReader;
struct StructureUpdatePlan;

template <>
struct KelvDispatchNames<IZelmAnalysis>
{
    static const std::vector<KelvDispatchName>& Names();
};

class CMolDynOutputFileInfo;
class CMolDynOutputFileCommonInfo;

// The result categories: the keys of the component's maps and the category
// names of its results scope.
std::string ResultCategoryEnEvol();
std::string ResultCategoryStructure();
std::string ResultCategoryTrajectory();
std::string ResultCategoryOptics();
std::string ResultCategoryPhonons();
// ".qcd", the extension of the host's chart document.
std::string ChartDocumentExtension();

// The host's code of a unit name: "eV" 1, "Ha" 2, "a.u." 3, "meV" 4,
// "cm-1" 5, "THz" 6; any other text (a different letter case, a trailing
// blank) 4.
LONG UnitCodeFromName(std::string name);

// Whether the output file (a full path) holds results of the category,
// judged by which of its companions exist and what they contain. False for
// any other category name.
bool HasResultsOfCategory(const std::string& outputPath, const std::string& category);

class CZelmAnalysis : public IQoQMAnalysisScope,
                      public ISupportErrorInfo,
                      public IKelvConnectionPointContainerImplEx<&IID_IQoQMAnalysisEvents>,
                      public CKelvLogicImpl,
                      public IKelvDispatchImpl<IZelmAnalysis>,
                      public IZelmFittedLibrary,
                      public IZelmArchiveFrames
{
public:
    // The class-table create function: the new object's controlling unknown
    // in *out (null when out is null; nothing is made then).
    static HRESULT CreateInstance(void** out);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISupportErrorInfo: S_OK for IZelmAnalysis, IQoQMAnalysisScope and
    // ISBContainerRootConsumer.
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

    // ISBLogic: the framework's connection (state, then InitialiseScope).
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override;
    HRESULT InitialiseOnConnect() override { return InitialiseScope(); }
    HRESULT Shutdown() override { return ForwardToScope(); }
    // Connection: the state helper and the scope utility, connected to the root.
    HRESULT InitialiseScope();
    // Disconnection: the scope utility lets the root go.
    HRESULT ForwardToScope();

    // IQoQMAnalysisScope
    HRESULT Refresh() override;
    HRESULT put_ResultsID(VARIANT varResultsID) override;
    HRESULT get_ResultsID(VARIANT* pVarResultsID) override;
    HRESULT put_ResultsIDForProperty(BSTR bstrPropertyCategory, VARIANT varResultsID) override;
    HRESULT get_ResultsIDForProperty(BSTR bstrPropertyCategory, VARIANT* pVarResultsID) override;
    HRESULT get_AvailableResultsIDsForProperty(BSTR bstrPropertyCategory,
                                               ISDVariantDataDimension** pResultsIDs) override;
    HRESULT get_ContainsResultsForProperty(BSTR bstrPropertyCategory, VARIANT_BOOL* pContains) override;

    // IZelmAnalysis
    HRESULT get_AnalysisScope(IQoQMAnalysisScope** pAnalysisScope) override;
    HRESULT UpdateStructure(ISBDocumentRoot* pDocRoot) override;
    HRESULT get_CanUpdateStructure(VARIANT_BOOL* pCanUpdateStructure) override;
    HRESULT CreateTrajectory(ISBDocumentRoot* pSourceDocRoot, ISBDocumentRoot** pTrajDocInfo) override;
    HRESULT get_CanCreateTrajectory(VARIANT_BOOL* pCanCreateTrajectory) override;
    HRESULT PlotEnergyEvolution() override;
    HRESULT get_CanViewEnergyEvolution(VARIANT_BOOL* pCanViewEnergyEvolution) override;
    HRESULT PlotOpticalProperties() override;
    HRESULT get_CanPlotOpticalProperties(VARIANT_BOOL* pCanPlot) override;
    HRESULT ImportLibrary() override;
    HRESULT get_CanImportLibrary(VARIANT_BOOL* pCanPlot) override;
    // IZelmFittedLibrary
    HRESULT get_FittedLibrary(BSTR* pPath) override;
    // IZelmArchiveFrames
    HRESULT GetArchiveFrames(BSTR bstrArchive, LONG* pWholeFrames, VARIANT_BOOL* pLastFrameCut,
                             LONG* pDamagedFrame) override;
    HRESULT get_CanPlotPhononDispersion(VARIANT_BOOL* pCanPlot) override;
    HRESULT get_CanPlotPhononDOS(VARIANT_BOOL* pCanPlot) override;
    HRESULT PlotPhononDispersion() override;
    HRESULT PlotPhononDOS() override;
    HRESULT get_PhononDispersionGenerator(IQoPhononDispersionGenerator** ppGenerator) override;

    // Events: each sink that answers IQoQMAnalysisEvents is called in the
    // order of its Advise; sinks that refuse or fail are passed over. S_OK.
    HRESULT Fire_DataChanged(VARIANT varInfo);
    HRESULT Fire_AvailableDataChanged(VARIANT varInfo);

    // Refills the category's list of outputs from the results folder;
    // errors come back as the HRESULT.
    HRESULT CollectAvailableResults(BSTR category);

    // Shared by the plot commands.
    // The results folder (ends with the separator; "" before put_ResultsID).
    const std::string& ResultsFolder() const noexcept { return m_resultsFolder; }
    // The stored selection of a category (a file name; "" when none).
    std::string SelectedResult(const std::string& category) const;
    // The category's selection, choosing the default when none is stored.
    std::string SelectedOrDefaultResult(const std::string& category);
    // The category's collected outputs (full paths).
    std::vector<std::string> AvailableResults(const std::string& category) const;
    // Whether the category's last collected list is not empty.
    bool ContainsResults(const std::string& category) const;
    // The folder with the project documents folder written ".".
    std::string GetProjectDocumentsFolder(const std::string& folder) const;
    // A new project document of the ProgID, named after the path's file name
    // and placed in its folder.
    KelvComPtr<ISBDocumentRoot> CreateResultsDocument(const std::string& path, const std::string& docTypeProgID) const;
    // Hands a new or refreshed chart document to the host's document service;
    // what the service gives back is returned, to be held until the command ends.
    KelvComPtr<IUnknown> HandToDocumentService(ISBDocumentRoot* document) const;
    // A new chart document for the chart file `chart` (CreateResultsDocument
    // of its name without extension), handed to the document service: the
    // document, its chart, and what the service gave back, to be held until
    // the command ends.
    struct NewChart {
        KelvComPtr<ISBDocumentRoot> document;
        KelvComPtr<ISDChart2dDocument> chart;
        KelvComPtr<IUnknown> view;
    };
    NewChart CreateChartDocument(const std::string& chart) const;

    // The energy-evolution routines (seed: the output's file name without
    // folder and extension).
    HRESULT PlotGeomOptEvolution(std::string seed);
    HRESULT PlotMolDynEvolution(std::string seed);
    HRESULT PlotMolDynCharts(std::string seed, CMolDynOutputFileInfo information, CMolDynOutputFileCommonInfo common);
    // Makes sure the trajectory document of the seed exists, building it from
    // the structure document `name` of the folder; E_UNEXPECTED "Atomistic
    // 3D document not found" when that is missing (nothing is made then).
    void FindOrCreateAtomistic3dDocument(const std::string& folder, const std::string& name, const std::string& seed);
    // The fitting dump of the run named to put_ResultsID: the ".res" of that
    // output in the results folder; true with its path when it is there.
    bool FindFittingResultsFiles(std::string& path) const;
    // The path last given to put_ResultsID ("" before).
    const std::string& ResultsPath() const noexcept { return m_resultsPath; }

    KelvComPtr<ISBContainerRoot> Root() const { return ContainerRoot(true); }
    IQoScopeUtility* ScopeUtility() const noexcept { return m_scopeUtility.get(); }
    CStateHelper* StateHelper() const noexcept { return m_stateHelper.get(); }

    // The optical settings, frequency grid and dielectric tensors, kept from
    // one optical-properties command to the next (ZelmAnalysisOptics.cpp).
    void ReadOpticalSettings();
    bool BuildOpticalFrequencyGrid();
    std::vector<double> GetOpticalFrequencyGrid() const;
    std::string MakeOpticalChartTitle(const std::string& seed) const;
    void MakeOpticalDescription(std::string& text) const;
    void GenOpticsPlottingData(const std::vector<double>& modeFrequencies,
                               const std::vector<xxMatrix3x3>& oscillatorStrengths,
                               const xxMatrix3x3& highFrequencyTensor);
    std::vector<DielectricTensor> GetOpticalPlottingData() const;

    // The phonon commands' helpers (ZelmAnalysisPhonons.cpp): a new
    // ZelmResultsInfo over the run's output (its controlling unknown, one
    // reference; each build links its own, the earlier one has none and
    // says so in HasResultsWrapper); the unit code of the "FrequencyUnits"
    // setting, refreshing the frequency-unit index; the band structure drawn
    // by the state's generator.
    static bool HasResultsWrapper();
    void CreatePhononResultsInfo(const std::string& outputPath, IUnknown** out);
    LONG GetFrequencyUnits();
    void PlotDispersionThroughGenerator(IQoQMDataProvider* provider, ISDChart2d* chart);

protected:
    CZelmAnalysis();
    ~CZelmAnalysis() override;

private:
    // The trajectory command for an explicit seed (the COM method passes the
    // "Structure" selection's): its preparation, then its completion.
    KelvComPtr<ISBDocumentRoot> BuildTrajectory(ISBDocumentRoot* source, const std::string& seed);
    // Removes the trajectory document at `path`; the files named in `keep`
    // (the run's archive, the frames just written) are set aside meanwhile
    // and always come back.
    void PurgeTrajectoryDocument(const KelvComPtr<ISBDocumentRoot>& old, const std::vector<std::string>& keep);
    // The same after a failed build, best effort.
    void RemoveTrajectoryDocument(const std::string& path, const std::vector<std::string>& keep) noexcept;
    // Whether the run's trajectory document stands with its frames file (".trj").
    bool TrajectoryBuilt(const std::string& seed) const;
    // Throws why the trajectory of the run at `base` (results folder + seed)
    // cannot be built from its files: a run type without trajectory, the
    // files of its kind missing (E_UNEXPECTED, naming them), an archive
    // that yields no frame, a trajectory file whose header its load cannot
    // read or whose atoms do not match the output's, or a place the build
    // cannot write: its frames file (".trj") or its trajectory document.
    void CheckTrajectoryFiles(const std::string& base, int code) const;
    // The seed of the "Structure" selection, the run that the structure and
    // trajectory commands take; throws, naming the results folder, when no
    // run of it has an archive.
    std::string StructureSeed() const;
    // --- The structure and trajectory actions: each a preparation, which
    // makes every open, read and check of the action and writes nothing, and
    // a completion that writes only from what its preparation gave. The
    // answers run the preparations alone.
    //
    // The structure update of `document` (none for the answer) from the run
    // of `seed`: throws why it cannot write the run's final structure: a run
    // that failed or did not finish, no archive, no frame in it, a working
    // copy that cannot be written. With the document, a surface run's frames
    // are read through the document's atom map.
    StructureUpdatePlan PrepareStructureUpdate(const std::string& seed, ISBDocumentRoot* document) const;
    // The trajectory of the run of `seed` built from `source` (none for the
    // answer): the run succeeded, its type and files, its frames read (with
    // the atoms of the run's structure document, else of the source), the
    // places of its frames file and trajectory document (and the document
    // that stands there, to be replaced) checked.
    struct TrajectoryWork;
    std::unique_ptr<TrajectoryWork> PrepareTrajectory(const std::string& seed, ISBDocumentRoot* source) const;
    // Writes the frames file, then the trajectory document over it.
    KelvComPtr<ISBDocumentRoot> CompleteTrajectory(ISBDocumentRoot* source, TrajectoryWork& work);
    // --- end of the structure and trajectory actions

    // The energy-evolution charts' preparation, which their answer runs
    // alike: the run succeeded and is an optimisation, surface or dynamics
    // run, its history read (and, for a dynamics run, its series of one
    // length), and the trajectory that the charts are tied to buildable.
    // Nothing is written; the history read is handed to the drawing.
    struct EvolutionHistory;
    std::unique_ptr<EvolutionHistory> PrepareEnergyEvolution(const std::string& seed) const;
    // Draws the optimisation charts of the seed from its history, or the
    // dynamics charts; with `charts`, those of them that the preparation
    // found standing.
    void DrawGeomOptEvolution(const std::string& seed, const CGeomOptOutputFileReader& reader,
                              const std::map<std::string, KelvComPtr<ISBDocumentRoot>>* charts = nullptr);
    void DrawMolDynCharts(const std::string& seed, const CMolDynOutputFileInfo& information,
                          const CMolDynOutputFileCommonInfo& common,
                          const std::map<std::string, KelvComPtr<ISBDocumentRoot>>* charts);
    // Throws why the energy-evolution charts of the seed cannot be made from
    // the files as they are (the run's type must have been checked before):
    // the structure document that their trajectory is built from, or the
    // trajectory's files.
    void CheckEvolutionCanBeTied(const std::string& seed, int code) const;

    // --- The chart and library commands, each split in two: a preparation
    // that opens, reads and checks everything its command needs and writes
    // nothing (not even a temporary file), and a completion that only
    // writes and draws from what the preparation gave. The command's answer
    // runs the preparation alone, so that answer and command cannot differ.
    //
    // Throws why a chart document cannot be made at `path` (a file of the
    // results folder, with its extension): its folder is not there, leads
    // out of the project, or takes no new file (DiskUtilities::AskNewFile).
    void CheckChartCanBeMade(const std::string& path) const;
    // The optical-properties chart of the "Optics" selection: the run's
    // files read, the settings and frequency grid, the dielectric tensors.
    struct OpticsPlan;
    std::unique_ptr<OpticsPlan> PrepareOptics() const;
    void DrawOptics(const OpticsPlan& plan);
    // The band structure and the density of states of the "Phonons"
    // selection.
    // (They read the logic's state, which the host hands out only to a
    // logic it may call back: they are not const, but change nothing.)
    struct DispersionPlan;
    std::unique_ptr<DispersionPlan> PrepareDispersion();
    void DrawDispersion(DispersionPlan& plan);
    struct DosPlan;
    std::unique_ptr<DosPlan> PrepareDos();
    void DrawDos(const DosPlan& plan);
    // The frequency unit of the settings: the host's unit code of its name
    // and its index (GetFrequencyUnits without keeping the index).
    std::pair<LONG, LONG> FrequencyUnitsSetting();
    // A new ZelmResultsInfo over the run's phonon data as read already (the
    // read handed over: nothing is read again).
    void CreatePhononResultsInfo(std::unique_ptr<CZelmPhononData> loaded, IUnknown** out);
    // The library of the fit named to put_ResultsID.
    struct LibraryPlan;
    std::unique_ptr<LibraryPlan> PrepareLibrary() const;
    void WriteLibrary(const LibraryPlan& plan);
    // --- end of the split commands

    std::string m_resultsFolder;
    std::string m_resultsPath;
    // The library the last ImportLibrary gave.
    std::string m_fittedLibrary;
    std::map<std::string, std::vector<std::string>> m_availableResults;
    std::map<std::string, std::string> m_selectedResults;
    std::map<std::string, std::vector<std::string>> m_filePatterns;
    std::unique_ptr<CStateHelper> m_stateHelper;
    KelvComPtr<IQoScopeUtility> m_scopeUtility;
    // The optics plot state; its frequency unit is also the phonon plots'.
    COpticalProperties m_optics;
};
