#include "setup/Zelm.h"

#include "forcefield/ZelmForcefieldEditor.h"
#include "setup/DeckSpecies.h"
#include "setup/SurfaceRunInfo.h"
#include "setup/ZelmFileWriter.h"
#include "setup/ZelmMessages.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/LogicStateUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorvira/ZelmForcefieldLocator.h"

namespace {

const char* const kComponentsMessage = ZelmMessages::Components;
const char* const kNoDocumentMessage = ZelmMessages::NoDocument;
const char* const kNoOutputMessage = ZelmMessages::NoOutput;

// The host-call convention of the connection: any code but S_OK is recorded,
// a failure is raised as the recorded error.
void CheckHostCall(HRESULT hr)
{
    KelvResult::Check(hr);
}

} // namespace

const std::vector<KelvDispatchName>& KelvDispatchNames<IZelm>::Names()
{
    namespace Id = ZelmDispatchIds;
    static const std::vector<KelvDispatchName> names{
        {u"State", Id::State},
        {u"OnConnect", Id::OnConnect},
        {u"Extension", Id::Extension},
        {u"SaveZelmInputFiles", Id::SaveZelmInputFiles},
        {u"AllAtomicChargesInLibrary", Id::AllAtomicChargesInLibrary},
        {u"IsP1", Id::IsP1},
        {u"MakeP1", Id::MakeP1},
        {u"IsPeriodic", Id::IsPeriodic},
        {u"AllAtomicChargesInLibrary2", Id::AllAtomicChargesInLibrary2},
        {u"Run", Id::Run},
        {u"HasPiSystems", Id::HasPiSystems},
        {u"LibrariesToExclude", Id::LibrariesToExclude},
        {u"CanDoPhononNonGamma", Id::CanDoPhononNonGamma},
        {u"ObservableData", Id::ObservableData}};
    return names;
}

const std::vector<KelvDispatchName>& KelvDispatchNames<ISBManagedJobFiles>::Names()
{
    namespace Id = ZelmDispatchIds;
    static const std::vector<KelvDispatchName> names{{u"StartFiles", Id::StartFiles},
                                                     {u"ExportFiles", Id::ExportFiles},
                                                     {u"CanStartFiles", Id::CanStartFiles},
                                                     {u"CanExportFiles", Id::CanExportFiles},
                                                     {u"ShouldStartFiles", Id::ShouldStartFiles}};
    return names;
}

// ---------------------------------------------------------------------------
// The object

CZelm::CZelm() = default;

// Members go in the reverse order of their declaration: forcefield sync,
// locator, the two editor-side objects, job-template state and logic, scope
// utility, state helper; then the framework bases.
CZelm::~CZelm() = default;

HRESULT CZelm::CreateZelmLogic(void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    CZelm* object = new CZelm;
    *out = static_cast<IDelegatedUnknown*>(object);
    return S_OK;
}

HRESULT CZelm::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IZelm)
        return FinishQI(static_cast<IZelm*>(this), out);
    if (iid == IID_ISupportErrorInfo)
        return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
    if (iid == IID_ISBLogic)
        return FinishQI(static_cast<IZelm*>(this), out);
    if (iid == IID_ISBManagedJobFiles)
        return FinishQI(static_cast<ISBManagedJobFiles*>(this), out);
    if (iid == IID_IDispatch)
        return FinishQI(static_cast<IZelm*>(this), out);
    if (iid == IID_IQoEditedForcefieldConsumer && HasForcefieldModel())
        return FinishQI(static_cast<IQoEditedForcefieldConsumer*>(this), out);
    if (iid == IID_ISBContainerRootConsumer)
        return FinishQI(static_cast<ISBContainerRootConsumer*>(this), out);
    if (iid == IID_IZelmExportCheck)
        return FinishQI(static_cast<IZelmExportCheck*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT CZelm::InterfaceSupportsErrorInfo(REFIID iid)
{
    return iid == IID_IZelm || iid == IID_ISupportErrorInfo || iid == IID_ISBLogic || iid == IID_ISBManagedJobFiles ||
                   iid == IID_IDispatch || (iid == IID_IQoEditedForcefieldConsumer && HasForcefieldModel()) ||
                   iid == IID_ISBContainerRootConsumer || iid == IID_IZelmExportCheck
               ? S_OK
               : S_FALSE;
}

// ---------------------------------------------------------------------------
// Connection

HRESULT CZelm::InitialiseOnConnect()
{
    return Request([&] {
        // 1. The state helper over this logic's state.
        m_stateHelper = std::make_unique<CStateHelper>(StateValues(), State());

        // 2. The scope utility, initialised with the container root.
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        Kelv::KelvCreateImpl("QorQMUtilities.ScopeUtility", nullptr, 0x15, IID_IQoScopeUtility,
                             m_scopeUtility.ReceiveVoid(), false);
        Kelv::CheckNullDereference(m_scopeUtility.get());
        CheckHostCall(m_scopeUtility->Initialise(root.get()));

        // 3, 4. The job-template logic and its state.
        m_jobTemplateLogic = LogicStateUtilities::GetNamedLogicItem(Extension(), "QMJobTemplate");
        m_jobTemplateState = LogicStateUtilities::GetState(m_jobTemplateLogic.get());

        // 5. The forcefield locator over this logic's state.
        m_forcefieldLocator = std::make_unique<CZelmForcefieldLocator>(State(), root.get());

        // 6. This logic itself, as the host knows it.
        KelvComPtr<ISBLogic> self;
        const HRESULT hr = ControllingUnknown()->QueryInterface(IID_ISBLogic, self.ReceiveVoid());
        if (FAILED(hr)) {
            KelvResult::SetLastError(hr);
            throw Kelv::QueryInterfaceFailure(hr, IID_ISBLogic);
        }

        // 7, 8. Keep the forcefield choice in step with the chooser logic.
        const KelvComPtr<ISBLogic> chooser = AppUtils::Container::GetLogic("ZelmForcefieldChooser", Extension());
        m_forcefieldSync.Subscribe(self.get(), chooser.get());
    });
}

HRESULT CZelm::Shutdown()
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, [&] {
        Kelv::CheckNullDereference(m_scopeUtility.get());
        CheckHostCall(m_scopeUtility->Shutdown());
        m_forcefieldSync.Unsubscribe();
    });
}

void CZelm::CheckComponentsSetUp() const
{
    // A connection that failed part-way leaves the members made before the
    // failing step; a request needs all of them.
    if (!HasStateValues() || !HasContainerRoot() || !m_stateHelper || !m_scopeUtility || !m_jobTemplateState ||
        !m_forcefieldLocator)
        throw KelvResult(E_UNEXPECTED, kComponentsMessage);
}

std::unique_ptr<CZelmRunInfo> CZelm::BuildRunInfo(ISBScope* scope) const
{
    CZelmForcefieldLocator* const locator = m_forcefieldLocator.get();
    return std::make_unique<CZelmRunInfo>(ContainerRoot(true), *m_stateHelper, KelvComPtr<ISBScope>(scope), locator,
                                          m_jobTemplateState, ObtainScopeManager());
}

void CZelm::RefuseUnreadSpeciesLines(CZelmRunInfo& runInfo)
{
    // Every deck takes its species from the library: one that cannot be read
    // is refused here with the reader's message, as the writer would.
    const std::unique_ptr<CDeckSpecies> species = CDeckSpecies::ForRun(runInfo);
    const std::vector<std::string> refused = species->RefusedLines();
    if (refused.empty()) {
        // The engine reads a line of the library to its line length only.
        species->RefuseCutLines();
        species->RefuseMissingCharges();
        return;
    }
    std::string message = "The forcefield library \"" + MessageText::Excerpt(runInfo.GetLibraryPath()) +
                          "\" has species lines that cannot be read; their species are left out, so a deck would "
                          "give their atoms no charge:";
    for (const std::string& line : refused)
        message += "\n  " + line;
    message += "\nMend these lines of the library first.";
    throw KelvResult(E_UNEXPECTED, message);
}

HRESULT CZelm::NotAvailable(const char* method)
{
    return Request([&] {
        throw KelvResult(E_NOTIMPL, std::string(method) + " is not available in this build of QorZelm.");
    });
}

// ---------------------------------------------------------------------------
// Requests

bool CZelm::IsSlab(ISBScope* scope) const
{
    // The document's whole contents, as the deck writer takes its periodicity.
    KelvComPtr<ISBDocumentRoot> document;
    if (!scope || FAILED(scope->get_DocumentRoot(document.Receive())) || !document || !m_scopeUtility)
        return false;
    KelvComPtr<ISBScope> contents;
    KelvResult::Check(document->get_ContentsAsScope(contents.Receive()));
    VARIANT_BOOL slab = VARIANT_FALSE;
    KelvResult::Check(m_scopeUtility->Is2DPeriodic(contents.get(), &slab));
    return slab == VARIANT_TRUE;
}

HRESULT CZelm::SaveZelmInputFiles(ISBScope* pScope, BSTR InputFolderPath, BSTR* InputFileName)
{
    return Request([&] {
        if (!InputFileName)
            throw KelvResult(E_POINTER, kNoOutputMessage);
        *InputFileName = nullptr;
        if (!pScope)
            throw KelvResult(E_INVALIDARG, kNoDocumentMessage);
        CheckComponentsSetUp();

        // The files go into the folder itself: the writer puts the names
        // directly after it.
        std::string folder = Kelv::BSTRToTString(InputFolderPath);
        if (folder.empty())
            throw KelvResult(E_INVALIDARG, "No folder was given for the ZELM input files.");
        if (!PathUtilities::IsSeparator(folder.back()))
            folder += PathUtilities::Separator();

        const std::unique_ptr<CZelmRunInfo> runInfo = BuildRunInfo(pScope);
        // The deck's name, checked and made safe before anything is written.
        const std::string jobName = runInfo->GetJobFileBase();
        RefuseDeck(pScope, *runInfo);
        const KelvComPtr<ISBContainerRoot> root = ContainerRoot(true);
        CZelmFileWriter writer(*runInfo, root.get(), ObtainDocumentManager().get(), pScope);

        if (runInfo->GetTask() == 5) {
            const KelvComPtr<ISBLogic> logic = AppUtils::Container::GetLogic("SurfaceCalculator", Extension());
            if (!logic)
                throw KelvResult(E_UNEXPECTED, ZelmMessages::SurfaceNeedsCalculator);
            const auto calculator = logic.QueryInterface<IQoZelmSurfaceCalculator>();
            const CSurfaceRunInfo surface(pScope, root);
            writer.WriteSurfaceInputFile(folder, jobName, calculator, surface);
        } else {
            writer.WriteInputFile(folder, jobName);
        }
        *InputFileName = Kelv::bstrdup(jobName + CZelmRunInfo::InputFileExtension());
    });
}
