// The logic object CZelm, COM class ZelmLogic ("QorZelm.ZelmLogic"): the
// module's main logic component. The host connects it to the module's
// extension and calls its IZelm and ISBManagedJobFiles requests with the
// scope of a structure.
//
// This file declares the whole object. Its members are defined by topic:
// Zelm.cpp (the object, its connection, the component check, the deck
// request SaveZelmInputFiles), ZelmObservableData.cpp (the observables
// property), ZelmRequests.cpp
// (run, export, start and the preparation of a job folder),
// ZelmSubmission.cpp (the job and its file list), ZelmFileTransfers.cpp (the
// file-transfer items of each file), ZelmChecks.cpp (structure checks and
// the saved-deck and export queries), ZelmTyping.cpp (forcefield types
// before a run) and ZelmForcefieldConsumer.cpp (the host's forcefield editor
// road). The earlier build answers the forcefield-editor and observables
// requests in src/earlier/NotInThisBuild.cpp.
#pragma once

#include "common/ModuleIds.h"
#include "common/ZelmInterfaces.h"

#include "hostapi/hostapi.h"
#include "kelv/KelvLogicImpl.h"
#include "kelv/kelv.h"
#include "qorvira/ForcefieldSync.h"
#include "qorvira/StateHelper.h"

#include <boost/shared_ptr.hpp>

#include <memory>
#include <string>
#include <vector>

class CZelmForcefieldEditor;
class CZelmForcefieldLocator;
class CZelmRunInfo;

template <>
struct KelvDispatchNames<IZelm>
{
    static const std::vector<KelvDispatchName>& Names();
};

template <>
struct KelvDispatchNames<ISBManagedJobFiles>
{
    static const std::vector<KelvDispatchName>& Names();
};

class CZelm final : public ISupportErrorInfo,
                    public IKelvLogicImpl<&QorZelm::CLSID_ZelmLogic, IZelm, &IID_IZelm, &QorZelm::LIBID_QorZelm, 0, 1, 0>,
                    public IKelvDispatchImpl<ISBManagedJobFiles>,
                    public IZelmExportCheck,
                    public IQoEditedForcefieldConsumer
{
public:
    // Class-table create function (row 1): stores the new object's
    // delegating IUnknown in *out. Allocation failure throws std::bad_alloc.
    static HRESULT CreateZelmLogic(void** out);

    KELV_DELEGATE_IUNKNOWN
    // IZelm (also for ISBLogic and IDispatch), ISupportErrorInfo,
    // ISBManagedJobFiles, IQoEditedForcefieldConsumer,
    // ISBContainerRootConsumer, then the framework's own. With a null out
    // pointer: S_OK for a supported interface, S_FALSE otherwise.
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // ISupportErrorInfo: S_OK for the interfaces of the map, S_FALSE otherwise.
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

    // IZelm
    HRESULT SaveZelmInputFiles(ISBScope* pScope, BSTR InputFolderPath, BSTR* InputFileName) override;
    HRESULT AllAtomicChargesInLibrary(ISBScope* pScope, VARIANT_BOOL* retval) override;
    HRESULT IsP1(ISBScope* pScope, VARIANT_BOOL* retval) override;
    HRESULT MakeP1(ISBScope* pScope) override;
    HRESULT IsPeriodic(ISBScope* pScope, VARIANT_BOOL* retval) override;
    HRESULT AllAtomicChargesInLibrary2(ISBScope* pScope, SAFEARRAY** pMissingAtomArr, VARIANT_BOOL* retval) override;
    HRESULT Run(ISBScope* pScope) override;
    HRESULT HasPiSystems(ISBScope* pScope, VARIANT_BOOL* retval) override;
    HRESULT get_LibrariesToExclude(BSTR* Exclusions) override;
    HRESULT CanDoPhononNonGamma(ISBScope* pScope, VARIANT_BOOL* retval) override;
    // Hands out no object: S_OK and null.
    HRESULT get_ObservableData(IQoZelmObservableData** ppObservableData) override;

    // ISBManagedJobFiles
    HRESULT StartFiles(ISBScope* pScope) override;
    HRESULT ExportFiles(ISBScope* pScope) override;
    HRESULT CanStartFiles(ISBScope* pScope, VARIANT_BOOL* canStart) override;
    HRESULT CanExportFiles(ISBScope* pScope, VARIANT_BOOL* canExport) override;
    HRESULT ShouldStartFiles(ISBScope* pScope, BSTR* reason, VARIANT_BOOL* shouldStart) override;

    // IZelmExportCheck: the export's preparation run dry, with its reason.
    HRESULT ExportRefusal(ISBScope* pScope, BSTR* pReason) override;

    // IQoEditedForcefieldConsumer (errors with CLSID_ZelmLogic and
    // IID_IQoEditedForcefieldConsumer), answered only by a build with the
    // forcefield model (each build says which).
    static bool HasForcefieldModel();
    // A new editor object over the logic's one editor, which is made on the
    // first request and loaded from the selected library on every request.
    HRESULT get_ForcefieldEditor(IQoForcefieldEditor** ppEditor) override;
    // Makes the saved file a library that can be selected; a file the host
    // has no document information of: E_UNEXPECTED "Cannot save forcefield".
    HRESULT ForcefieldSavedTo(BSTR filePath) override;
    // A free path for an edited copy of the selected library: its folder
    // (for a standard library, the active document's folder) and its name,
    // made unique. fileName is not used.
    HRESULT SuggestSavePath(BSTR fileName, BSTR* pSuggestedDirectory) override;

    // The connection hook: state helper, scope utility, job-template logic
    // and state, forcefield locator, forcefield-chooser subscription.
    HRESULT InitialiseOnConnect() override;
    // The disconnection hook: lets the scope utility go and unsubscribes.
    HRESULT Shutdown() override;

    // Every request checks this first (after its argument checks): the
    // logic has its state and container root and every member that its
    // connection makes. Otherwise KelvResult E_UNEXPECTED "One or more
    // components were not set up as expected".
    void CheckComponentsSetUp() const;

    // The run settings of a request for the scope, built from the container
    // root, the state helper, the scope, the forcefield locator, the
    // job-template state and the scope manager.
    std::unique_ptr<CZelmRunInfo> BuildRunInfo(ISBScope* scope) const;
    // Whether the scope's document is a slab (periodic in two dimensions), as
    // the scope utility answers for its contents; false without a document.
    bool IsSlab(ISBScope* scope) const;
    // What stops a deck of the scope before anything is written, whoever
    // writes it (SaveZelmInputFiles, and through RefuseInputFiles an export,
    // a run and the export question): a structure without atoms ("No atoms
    // have been found in the input scope."; a Fit deck holds the structures
    // of its observables instead), a library that cannot be read, has
    // refused species lines or gives no charges where the charges are the
    // library's, a Surface task without the surface calculator or of a
    // structure that is no slab, a Fit whose observable rows the deck cannot
    // hold. KelvResult with the reason.
    void RefuseDeck(ISBScope* scope, CZelmRunInfo& runInfo) const;
    // The symmetry-parent atoms of the structure behind the scope (0 for a
    // scope with no structure behind it: a deck or a chart).
    LONG StructureAtomCount(ISBScope* scope) const;
    // A library whose species lines were refused (a charge that is not a
    // number) would give their atoms no charge in a deck, and the engine
    // refuses such a line too: KelvResult E_UNEXPECTED listing the lines.
    // A library without charges where the deck takes them from it is
    // refused as an atom line would refuse it.
    // A library that cannot be read is refused with the reader's message.
    static void RefuseUnreadSpeciesLines(CZelmRunInfo& runInfo);

    // Runs the body of an IZelm or ISBManagedJobFiles method under the
    // module's error convention (CLSID_ZelmLogic, IID_IZelm).
    template <class F>
    static HRESULT Request(F&& body)
    {
        return Kelv::ComMethod(QorZelm::CLSID_ZelmLogic, IID_IZelm, std::forward<F>(body));
    }
    // The answer of a request this build does not offer: E_NOTIMPL naming it.
    static HRESULT NotAvailable(const char* method);

    // What the connection made (null before it).
    const CStateHelper* StateHelper() const { return m_stateHelper.get(); }
    const KelvComPtr<IQoScopeUtility>& ScopeUtility() const { return m_scopeUtility; }
    const KelvComPtr<ISBState>& JobTemplateState() const { return m_jobTemplateState; }
    CZelmForcefieldLocator* ForcefieldLocator() const { return m_forcefieldLocator.get(); }

    // Job submission: hands the deck folder + name (folder ends with a
    // separator) to a new job of the job manager, configures and starts it.
    // S_OK once started; failures come back with error information.
    HRESULT SubmitJob(ISBScope* scope, BSTR folder, BSTR name);
    // A new, unstarted managed job of the server program.
    KelvComPtr<ISBManagedJob> CreateJob(const std::string& serverName) const;
    // Originator, description, prefix, update interval, handler and one set
    // of file-transfer items per file of the job; true when done.
    bool ConfigureJob(CZelmRunInfo& runInfo, const KelvComPtr<ISBManagedJob>& job, const KelvBSTR& folder,
                      const KelvBSTR& name);
    // The file-transfer items of one path of the job's file list (none when
    // no rule matches: S_OK). Errors come back with error information that
    // names no class or interface.
    HRESULT AddJobFileTransfers(const KelvComPtr<ISBManagedJob>& job, const std::string& path);

    // Display name of a task code: "Energy", "GeomOpt", "Dynamics", "Fit",
    // "Surface"; any other code gives "Energy".
    static std::string TaskDisplayName(long task);
    // Appends the folder's "*.qms" files, then its "*.qsd" files.
    static void FindModelFile(const std::string& folder, std::vector<std::string>& files);
    // The path's file name without folder and extension.
    static std::string FileBaseName(const std::string& path);
    // The job's files in submission order, the deck first: the deck (which
    // must exist and be a ".gin" file: E_UNEXPECTED "ZELM input file not
    // found."), the library when it exists, the model files, the engine's
    // outputs and the side files.
    static std::vector<std::string> JobFileList(const std::string& folder, const std::string& name,
                                                const std::string& libraryPath, long task);
    // The library file the job uploads: the library itself when its file is
    // named as the deck's "library" line names it (the library name and
    // ".lib"); else a hidden copy under that name in the job's folder, made
    // now, so that the engine finds it. A different file of that name in the
    // folder is not replaced: E_UNEXPECTED naming both.
    std::string LibraryUploadPath(const CZelmRunInfo& runInfo, const std::string& folder) const;

    // A second object of the forcefield-editor side: nothing of this build
    // fills it; it is deleted with the logic object when set.
    class EditorSideObject
    {
    public:
        virtual ~EditorSideObject() = default;
    };

protected:
    ~CZelm() override;

private:
    CZelm();

    // The common opening of a check: the out value cleared (a null one is
    // E_POINTER), the scope present, the components set up.
    void OpenCheck(ISBScope* scope, VARIANT_BOOL* retval) const;
    // Typing and preparation when the library is a typed one (Run and
    // ExportFiles).
    void TypeAndPrepareIfNeeded(ISBScope* scope);
    // A typed library whose atoms are not all typed: KelvResult E_INVALIDARG
    // (nothing is changed; TypeAndPrepareIfNeeded refuses the same way).
    void RefuseUntypedAtoms(ISBScope* scope);
    // What stops an export or a run of the scope before anything is changed
    // or written: a job name that names no file, a monoclinic structure not
    // in the B-unique setting, a Fit with a standard library, a job outside
    // the project, a library that cannot be read or has refused species
    // lines, a job folder made through a link leading outside the project,
    // untyped atoms for a typed library, and all that refuses a deck
    // (RefuseDeck). KelvResult with the reason; the export's questions
    // (CanExportFiles, ExportRefusal) ask the same.
    void RefuseInputFiles(ISBScope* scope, CZelmRunInfo& runInfo);
    // A job folder that would be made through a link leading outside the
    // project: KelvResult naming the folder and the link.
    void RefuseJobFolderPlace(CZelmRunInfo& runInfo) const;
    // Job name and folder, side files, deck and module state, after the
    // caller's RefuseInputFiles; the two out texts are the caller's.
    HRESULT PrepareAndWriteInputFiles(ISBScope* scope, VARIANT_BOOL forRun, BSTR* jobFolder, BSTR* deckName);
    // What a run and an export do first: the scope present, the components
    // set up, the run settings built, what refuses the input files
    // (RefuseInputFiles) passed before anything is touched, the structure
    // typed and prepared, and the input files written. The run settings.
    std::unique_ptr<CZelmRunInfo> WriteInputFilesOf(ISBScope* scope, VARIANT_BOOL forRun, KelvBSTR& jobFolder,
                                                    KelvBSTR& deckName);
    // Makes a new folder for the job inside the project; *jobFolder is its
    // absolute path ending in a separator.
    HRESULT MakeJobNameAndFolder(BSTR* jobFolder, ISBScope* scope, bool forRun);
    // The job's title (the prefix's folder, the base of the job's files,
    // " ZELM ", the task's name); a title outside the project is refused.
    std::string JobTitle(CZelmRunInfo& runInfo) const;
    // The Fit job goes in on a private document named after the library.
    HRESULT SubmitFitJob(CZelmRunInfo& runInfo, const std::string& folder, BSTR deckName);

    bool IsTypedForcefieldLibrary() const;
    HRESULT AssignForcefieldTypes(ISBScope* scope);
    void PrepareStructure(ISBScope* scope);
    // The folder (ending in a separator) for a copy of a standard library:
    // the folder of the active scope's document, else (no active scope, or
    // a scope without a document) the project documents folder.
    std::string GetActiveDocumentFolder() const;

    std::unique_ptr<CStateHelper> m_stateHelper;
    KelvComPtr<IQoScopeUtility> m_scopeUtility;
    KelvComPtr<ISBLogic> m_jobTemplateLogic;
    KelvComPtr<ISBState> m_jobTemplateState;
    // Shared with the editor objects handed out, which keep it alive after
    // the logic object has gone.
    boost::shared_ptr<CZelmForcefieldEditor> m_forcefieldEditor;
    std::unique_ptr<EditorSideObject> m_editorSideObject;
    std::unique_ptr<CZelmForcefieldLocator> m_forcefieldLocator;
    CForcefieldSync m_forcefieldSync;
};
