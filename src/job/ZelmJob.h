// The job object CZelmJob, COM class ZelmJob ("QorZelm.ZelmJob"): the host's
// job manager creates one for each engine job, connects it like a logic and
// tells it the job's life through ISBManagedJobEvents. It forwards every
// event to the host's job handler and adds the module's own work: the
// live-update policy at job start, the live updates of intermediate results
// and the import of the results at completion.
//
// ZelmJob.cpp holds the object and its events; ZelmJobImport.cpp the import
// at completion.
#pragma once

#include "common/ModuleIds.h"
#include "forcefield/DumpToLibraryConverter.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvLogicImpl.h"
#include "kelv/kelv.h"
#include "qorqm/CJobHandlerUtility.h"

#include <memory>
#include <string>

class CZelmLiveUpdater;
class CTrjDataProvider;
struct StructureUpdatePlan;

class CZelmJob final
    : public ISupportErrorInfo,
      public IKelvLogicImpl<&QorZelm::CLSID_ZelmJob, ISBManagedJobEvents, &IID_ISBManagedJobEvents,
                            &QorZelm::LIBID_QorZelm, 0, 1, 0>
{
public:
    // Class-table create function: the new object's delegating IUnknown in
    // *out. Allocation failure throws std::bad_alloc.
    static HRESULT CreateInstance(void** out);

    KELV_DELEGATE_IUNKNOWN
    // ISupportErrorInfo, ISBManagedJobEvents (also IDispatch), ISBLogic,
    // ISBContainerRootConsumer.
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;
    // S_OK for the interfaces above, S_FALSE otherwise.
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

    // ISBManagedJobEvents. Errors carry CLSID_ZelmJob and the interface.
    HRESULT OnAttach(ISBManagedJob* pJob) override;
    HRESULT OnDetach() override;
    // The live-update policy, then the handler's job start.
    HRESULT OnJobStart() override;
    // The handler's completion, then the import of the results (ImportResults).
    HRESULT OnJobComplete() override;
    // Download, live update, the handler sees the path as received, the
    // local copy is deleted. The copy is deleted whatever fails; a failing
    // update is returned and the handler is not told.
    HRESULT OnIntermediateFileResult(BSTR bstrFilePath) override;
    HRESULT OnIntermediateDataResult(BSTR bstrDataString) override;
    HRESULT OnJobPrepareComplete(VARIANT_BOOL bProcessed) override;
    HRESULT OnJobDisconnect() override;
    HRESULT OnJobReconnect() override;

    // The framework's connection and disconnection hooks.
    HRESULT InitialiseOnConnect() override { return Initialize(); }
    HRESULT Shutdown() override { return Terminate(); }
    // Makes and connects the scope utility, initialises the job handler.
    HRESULT Initialize();
    // Disconnects the scope utility.
    HRESULT Terminate();

    // The host extension "QorZelm.Extension" and its logic of that name.
    KelvComPtr<ISBExtension> GetExtension() const;
    KelvComPtr<ISBLogic> FindLogic(const std::string& name) const;
    // The live updater, made on first use.
    CZelmLiveUpdater& GetLiveUpdater();
    bool HasLiveUpdater() const { return static_cast<bool>(m_liveUpdater); }

    // The policy bits (text 1, graphs 2, model 4) from the job template's
    // three live-update flags; none for a Fit job (by the job's task
    // description).
    void ApplyLiveUpdatesPolicy();
    void ReadLiveUpdateFlags(bool& model, bool& graphs, bool& text) const;

    // The body of OnJobComplete (see ZelmJobImport.cpp).
    void ImportResults();
    // The final structure of the run at base (results folder + task prefix)
    // written into the project's structure document base + ".qsd", or a new
    // one imported from the results; then saved.
    static void ImportResultStructure(KelvComPtr<ISBContainerRoot> root, const std::string& base, bool defaultMap);
    // The trajectory of the run at base: kind 2 optimisation, 3 dynamics, 5
    // surface (1, 4 and others make none). A failing trajectory write is
    // thrown with its HRESULT; so is a run whose files give no frame (see
    // WriteRunTrajectory). Without the files of its kind an older ".trj" of
    // the name goes, so that no trajectory document shows another run.
    static void ImportTrajectory(KelvComPtr<ISBContainerRoot> root, const std::string& base, const int* kind);
    // Writes base + ".trj" from the run's files of the kind, the atoms taken
    // as `document` holds them (optimisation and surface kinds). False, with
    // nothing written, when the kind makes no trajectory or its files are not
    // there. A run whose files give no frame throws (E_FAIL, the text of
    // NoTrajectoryFrame); a ".trj" of that name is replaced only by a whole
    // new one, so on any failure an older one stays as it was.
    static bool WriteRunTrajectory(KelvComPtr<ISBContainerRoot> root, const std::string& base, int kind,
                                   KelvComPtr<ISBDocumentRoot> document);
    // WriteRunTrajectory prepared: the run's frames read (the provider of the
    // kind, null when the kind makes no trajectory or its files are not
    // there), a run whose files give no frame refused (NoTrajectoryFrame),
    // and the frames file's place checked as its writer would (a folder, a
    // FIFO or a link leading out of the run's folder in its place, a folder
    // that allows no new file). Nothing is written. Without a document an
    // optimisation or surface run's frames are not read (their atoms are the
    // document's): the place alone is checked.
    struct RunTrajectory {
        std::string base;
        int kind = 0;
        // The frames file's name without ".trj", and the folder it is held to.
        std::string name;
        std::string hold;
        std::shared_ptr<CTrjDataProvider> frames;
    };
    static RunTrajectory PrepareRunTrajectory(KelvComPtr<ISBContainerRoot> root, const std::string& base, int kind,
                                              KelvComPtr<ISBDocumentRoot> document);
    // Writes the prepared frames to the ".trj" (replaced only by a whole new
    // one), walking them from the first, where the preparation left them
    // (once for a preparation); false when the preparation found no files
    // to write them from.
    static bool CompleteRunTrajectory(KelvComPtr<ISBContainerRoot> root, const RunTrajectory& run);
    // A fitting run's library, prepared: its dump converted in memory, the
    // name beside the dump ("<dump>.lib") whose series it takes a name of,
    // and the library or numbered copy that holds the very bytes of the
    // conversion already (then it is the fitted library and nothing is
    // written).
    struct FittedLibrary {
        std::string dump;
        std::string wanted;
        std::string project;
        std::shared_ptr<const CDumpToLibraryConverter::Prepared> library;
        std::string same;
    };
    // Converts the dump in memory and asks, writing nothing, where its
    // library goes: an existing library is never replaced, nor is a numbered
    // copy of it ("<name>_2.lib", ...); a new one takes the next name of
    // the series. Throws the converter's errors, a folder in the library's
    // place and a folder that takes no new file.
    static FittedLibrary PrepareFittedLibrary(const KelvComPtr<ISBContainerRoot>& root, const std::string& dump);
    // Writes the prepared library whole under its new name (nothing when a
    // library holds its bytes already) and answers the fitted library's path.
    static std::string WriteFittedLibrary(const FittedLibrary& prepared);
    // The two above, one after the other.
    static std::string ConvertFittedLibrary(const KelvComPtr<ISBContainerRoot>& root, const std::string& dump);
    // Why a run's trajectory of the kind has no frame, naming the file read.
    static std::string NoTrajectoryFrame(const std::string& base, int kind);
    // The text of the status document of a job whose run failed for `reason`,
    // kept before the last status the job received (`last`, may be empty).
    static std::string FailedRunStatus(const std::string& reason, const std::string& last);
    // Whether a status document's text is one FailedRunStatus made with a
    // last status (its first line then gives the reason).
    static bool IsFailedRunStatus(const std::string& text);
    // The first line of the status document of a run that left no main
    // output (the job's task prefix names it).
    static std::string UnfinishedRunStatusLine(const std::string& prefix);
    // The status text document the live updates keep in a results folder.
    static std::string StatusDocumentPath(const std::string& resultsFolder);

    const CJobHandlerUtility& JobHandler() const { return m_jobHandler; }
    const KelvComPtr<IQoScopeUtility>& ScopeUtility() const { return m_scopeUtility; }

protected:
    ~CZelmJob() override;

private:
    CZelmJob();
    template <class F>
    static HRESULT Event(F&& body)
    {
        return Kelv::ComMethod(QorZelm::CLSID_ZelmJob, IID_ISBManagedJobEvents, std::forward<F>(body));
    }

    KelvComPtr<IQoScopeUtility> m_scopeUtility;
    CJobHandlerUtility m_jobHandler;
    std::unique_ptr<CZelmLiveUpdater> m_liveUpdater;
};
