#include "analysis/ZelmAnalysis.h"

#include <new>

#include "analysis/AnalysisSupport.h"
#include "qorqm/ClaimName.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/ParseUtilities.h"
#include "qorqm/PathUtilities.h"
#include "setup/ZelmRunInfo.h"

using namespace ZelmAnalysisSupport;

const std::vector<KelvDispatchName>& KelvDispatchNames<IZelmAnalysis>::Names()
{
    namespace Id = ZelmDispatchIds;
    static const std::vector<KelvDispatchName> names{
        {u"AnalysisScope", Id::AnalysisScope},
        {u"UpdateStructure", Id::UpdateStructure},
        {u"CanUpdateStructure", Id::CanUpdateStructure},
        {u"CreateTrajectory", Id::CreateTrajectory},
        {u"CanCreateTrajectory", Id::CanCreateTrajectory},
        {u"PlotEnergyEvolution", Id::PlotEnergyEvolution},
        {u"CanViewEnergyEvolution", Id::CanViewEnergyEvolution},
        {u"PlotOpticalProperties", Id::PlotOpticalProperties},
        {u"CanPlotOpticalProperties", Id::CanPlotOpticalProperties},
        {u"ImportLibrary", Id::ImportLibrary},
        {u"CanImportLibrary", Id::CanImportLibrary},
        {u"CanPlotPhononDispersion", Id::CanPlotPhononDispersion},
        {u"CanPlotPhononDOS", Id::CanPlotPhononDOS},
        {u"PlotPhononDispersion", Id::PlotPhononDispersion},
        {u"PlotPhononDOS", Id::PlotPhononDOS},
        {u"PhononDispersionGenerator", Id::PhononDispersionGenerator},
    };
    return names;
}

namespace {

constexpr const char* ScopeUtilityProgId = "QorQMUtilities.ScopeUtility";
constexpr DWORD InProcLocalRemote = 21;
constexpr const char* ProjectDocumentsVariable = "%PROJECT_DOCUMENTS_FOLDER%";

template <class F>
HRESULT RunScope(F&& body)
{
    return Kelv::ComMethod(QorZelm::CLSID_ZelmAnalysis, IID_IQoQMAnalysisScope, std::forward<F>(body));
}

} // namespace

// --- shared names -------------------------------------------------------------

std::string ResultCategoryEnEvol() { return "EnEvol"; }
std::string ResultCategoryStructure() { return "Structure"; }
std::string ResultCategoryTrajectory() { return "Trajectory"; }
std::string ResultCategoryOptics() { return "Optics"; }
std::string ResultCategoryPhonons() { return "Phonons"; }
std::string ChartDocumentExtension() { return ".qcd"; }

LONG UnitCodeFromName(std::string name)
{
    static const std::pair<const char*, LONG> units[] = {{"eV", 1},   {"Ha", 2},   {"a.u.", 3},
                                                         {"meV", 4},  {"cm-1", 5}, {"THz", 6}};
    for (const auto& [unit, code] : units)
        if (name == unit)
            return code;
    return 4;
}

bool HasResultsOfCategory(const std::string& outputPath, const std::string& category)
{
    const std::string arc = PathUtilities::ExtensionReplaced(outputPath, CZelmRunInfo::ArchiveFileExtension());
    const std::string trg = PathUtilities::ExtensionReplaced(outputPath, CZelmRunInfo::TrajectoryFileExtension());
    const std::string osc = PathUtilities::ExtensionReplaced(outputPath, CZelmRunInfo::OscillatorFileExtension());
    const std::string dens = PathUtilities::ExtensionReplaced(outputPath, CZelmRunInfo::PhononDosFileExtension());
    const std::string disp = PathUtilities::ExtensionReplaced(outputPath, CZelmRunInfo::DispersionFileExtension());

    if (category == ResultCategoryStructure())
        return DiskUtilities::FileExists(arc);
    if (category == ResultCategoryTrajectory())
        return DiskUtilities::FileExists(arc) || DiskUtilities::FileExists(trg);
    if (category == ResultCategoryEnEvol())
        return DiskUtilities::FileExists(outputPath);
    if (category == ResultCategoryOptics()) {
        if (!DiskUtilities::FileExists(osc) || !DiskUtilities::FileExists(outputPath))
            return false;
        return ParseUtilities::IsTokenInFile(osc, "oscillator strengths and phonon frequencies") &&
               ParseUtilities::IsTokenInFile(osc, "high frequency dielectric constant tensor") &&
               ParseUtilities::IsTokenInFile(outputPath, "Frequency dependent properties :");
    }
    if (category == ResultCategoryPhonons())
        return DiskUtilities::FileExists(dens) || DiskUtilities::FileExists(disp);
    return false;
}

// --- creation and lifetime ------------------------------------------------------

CZelmAnalysis::CZelmAnalysis() : CKelvLogicImpl(QorZelm::CLSID_ZelmAnalysis)
{
    const std::string pattern = "*" + CZelmRunInfo::OutputFileExtension();
    for (const std::string& category : {ResultCategoryEnEvol(), ResultCategoryStructure(), ResultCategoryTrajectory(),
                                        ResultCategoryOptics(), ResultCategoryPhonons()})
        m_filePatterns[category].push_back(pattern);
}

CZelmAnalysis::~CZelmAnalysis()
{
    m_optics.Clear();
    m_availableResults.clear();
    m_selectedResults.clear();
    m_filePatterns.clear();
    m_resultsFolder.clear();
    m_stateHelper.reset();
    m_scopeUtility.Release();
    // The sinks go before the logic part is torn down, so that a sink that
    // holds nothing of ours but our events sees a whole object to the end.
    ClearConnections();
}

HRESULT CZelmAnalysis::CreateInstance(void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    CZelmAnalysis* object = new CZelmAnalysis();
    *out = object->ControllingUnknown();
    return S_OK;
}

HRESULT CZelmAnalysis::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IZelmAnalysis || iid == IID_IDispatch)
        return FinishQI(static_cast<IZelmAnalysis*>(this), out);
    if (iid == IID_IQoQMAnalysisScope)
        return FinishQI(static_cast<IQoQMAnalysisScope*>(this), out);
    if (iid == IID_ISupportErrorInfo)
        return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
    if (iid == IID_IConnectionPointContainer)
        return FinishQI(static_cast<IConnectionPointContainer*>(this), out);
    if (iid == IID_IZelmFittedLibrary)
        return FinishQI(static_cast<IZelmFittedLibrary*>(this), out);
    if (iid == IID_IZelmArchiveFrames)
        return FinishQI(static_cast<IZelmArchiveFrames*>(this), out);
    // IUnknown, ISBLogic and ISBContainerRootConsumer come from the logic part.
    return CKelvLogicImpl::DelegatedQueryInterface(iid, out);
}

HRESULT CZelmAnalysis::InterfaceSupportsErrorInfo(REFIID iid)
{
    return iid == IID_IZelmAnalysis || iid == IID_IQoQMAnalysisScope || iid == IID_ISBContainerRootConsumer ? S_OK
                                                                                                              : S_FALSE;
}

HRESULT CZelmAnalysis::OnConnect(ISBExtension* extension, VARIANT instanceData)
{
    return ConnectLogic(extension, instanceData);
}

HRESULT CZelmAnalysis::InitialiseScope()
{
    return RunCommand([&] {
        m_stateHelper = std::make_unique<CStateHelper>(StateValues(), State());
        KelvComPtr<IQoScopeUtility> scopeUtility;
        Kelv::KelvCreateImpl(ScopeUtilityProgId, nullptr, InProcLocalRemote, IID_IQoScopeUtility,
                             scopeUtility.ReceiveVoid(), true);
        m_scopeUtility = std::move(scopeUtility);
        KelvResult::Check(m_scopeUtility->Initialise(ContainerRoot(false).get()));
    });
}

HRESULT CZelmAnalysis::ForwardToScope()
{
    return RunCommand([&] {
        Kelv::CheckNullDereference(m_scopeUtility.get());
        KelvResult::Check(m_scopeUtility->Shutdown());
    });
}

// --- events -----------------------------------------------------------------------

namespace {

template <class Call>
HRESULT FireEach(KelvConnectionPointContainer& container, const VARIANT& varInfo, Call call)
{
    try {
        const KelvVariant info(varInfo);
        DWORD cookie = 0;
        for (KelvComPtr<IUnknown> sink = container.NextSink(IID_IQoQMAnalysisEvents, 0, cookie); sink;
             sink = container.NextSink(IID_IQoQMAnalysisEvents, cookie, cookie)) {
            const KelvComPtr<IQoQMAnalysisEvents> events = sink.TryQueryInterface<IQoQMAnalysisEvents>();
            if (events)
                call(events.get(), info.Get());
        }
    } catch (...) {
        // A sink's trouble never reaches the operation that fired.
    }
    return S_OK;
}

} // namespace

HRESULT CZelmAnalysis::Fire_DataChanged(VARIANT varInfo)
{
    return FireEach(*this, varInfo, [](IQoQMAnalysisEvents* sink, const VARIANT& info) { sink->DataChanged(info); });
}

HRESULT CZelmAnalysis::Fire_AvailableDataChanged(VARIANT varInfo)
{
    return FireEach(*this, varInfo,
                    [](IQoQMAnalysisEvents* sink, const VARIANT& info) { sink->AvailableDataChanged(info); });
}

// --- results scope -------------------------------------------------------------------

std::string CZelmAnalysis::SelectedResult(const std::string& category) const
{
    const auto found = m_selectedResults.find(category);
    return found == m_selectedResults.end() ? std::string() : found->second;
}

std::vector<std::string> CZelmAnalysis::AvailableResults(const std::string& category) const
{
    const auto found = m_availableResults.find(category);
    return found == m_availableResults.end() ? std::vector<std::string>() : found->second;
}

bool CZelmAnalysis::ContainsResults(const std::string& category) const
{
    const auto found = m_availableResults.find(category);
    return found != m_availableResults.end() && !found->second.empty();
}

std::string CZelmAnalysis::SelectedOrDefaultResult(const std::string& category)
{
    std::string& selection = m_selectedResults[category];
    if (selection.empty()) {
        CollectAvailableResults(KelvBSTR(category).Get());
        const std::vector<std::string>& available = m_availableResults[category];
        if (!available.empty())
            selection = PathUtilities::FileNameFromPath(available.front());
    }
    return selection;
}

HRESULT CZelmAnalysis::CollectAvailableResults(BSTR category)
{
    return RunScope([&] {
        const std::string name = Kelv::BSTRToTString(category);
        std::vector<std::string>& available = m_availableResults[name];
        available.clear();
        // A category outside the table has no patterns and so no results;
        // before a results path is given there is no folder to look in (an
        // empty folder would be the working folder of the process).
        const auto patterns = m_filePatterns.find(name);
        if (patterns == m_filePatterns.end() || m_resultsFolder.empty())
            return;
        std::vector<std::string> candidates;
        for (const std::string& pattern : patterns->second)
            DiskUtilities::AddItemsFromFolder(m_resultsFolder, pattern, candidates);
        for (const std::string& candidate : candidates)
            if (HasResultsOfCategory(candidate, name))
                available.push_back(candidate);
    });
}

HRESULT CZelmAnalysis::Refresh()
{
    return RunScope([&] {
        const KelvVariant empty;
        Fire_DataChanged(empty.Get());
        Fire_AvailableDataChanged(empty.Get());
    });
}

HRESULT CZelmAnalysis::put_ResultsID(VARIANT varResultsID)
{
    return RunScope([&] {
        const std::string path = KelvVariant(varResultsID).String();
        m_resultsFolder = PathUtilities::FolderNameFromPath(path);
        m_resultsPath = path;
        for (const auto& entry : m_filePatterns) {
            m_selectedResults[entry.first].clear();
            SelectedOrDefaultResult(entry.first);
        }
        Fire_DataChanged(KelvVariant().Get());
    });
}

HRESULT CZelmAnalysis::get_ResultsID(VARIANT* pVarResultsID)
{
    return RunScope([&] {
        RequireOutput(pVarResultsID);
        VariantClear(pVarResultsID);
        *pVarResultsID = KelvVariant(m_resultsFolder).Detach();
    });
}

HRESULT CZelmAnalysis::put_ResultsIDForProperty(BSTR bstrPropertyCategory, VARIANT varResultsID)
{
    return RunScope([&] {
        const std::string category = Kelv::BSTRToTString(bstrPropertyCategory);
        m_selectedResults[category] = KelvVariant(varResultsID).String();
        Fire_DataChanged(KelvVariant(category).Get());
    });
}

HRESULT CZelmAnalysis::get_ResultsIDForProperty(BSTR bstrPropertyCategory, VARIANT* pVarResultsID)
{
    return RunScope([&] {
        RequireOutput(pVarResultsID);
        VariantClear(pVarResultsID);
        const std::string selection = SelectedOrDefaultResult(Kelv::BSTRToTString(bstrPropertyCategory));
        *pVarResultsID = KelvVariant(selection).Detach();
    });
}

HRESULT CZelmAnalysis::get_AvailableResultsIDsForProperty(BSTR bstrPropertyCategory,
                                                          ISDVariantDataDimension** pResultsIDs)
{
    return RunScope([&] {
        RequireOutput(pResultsIDs);
        *pResultsIDs = nullptr;
        CollectAvailableResults(bstrPropertyCategory);
        KelvComPtr<ISDVariantDataDimension> collection;
        Kelv::KelvCreateImpl(CLSID_SDVariantDataDimension, nullptr, InProcLocalRemote, IID_ISDVariantDataDimension,
                             collection.ReceiveVoid(), true);
        for (const std::string& path : AvailableResults(Kelv::BSTRToTString(bstrPropertyCategory))) {
            const KelvVariant name(PathUtilities::FileNameFromPath(path));
            LONG index = 0;
            KelvResult::Check(collection->Add(name.Get(), &index));
        }
        *pResultsIDs = collection.Detach();
    });
}

HRESULT CZelmAnalysis::get_ContainsResultsForProperty(BSTR bstrPropertyCategory, VARIANT_BOOL* pContains)
{
    return RunScope([&] {
        RequireOutput(pContains);
        *pContains = ContainsResults(Kelv::BSTRToTString(bstrPropertyCategory)) ? VARIANT_TRUE : VARIANT_FALSE;
    });
}

HRESULT CZelmAnalysis::get_AnalysisScope(IQoQMAnalysisScope** pAnalysisScope)
{
    return RunCommand([&] {
        RequireOutput(pAnalysisScope);
        IQoQMAnalysisScope* scope = this;
        scope->AddRef();
        *pAnalysisScope = scope;
    });
}

// --- documents of the results --------------------------------------------------------

std::string CZelmAnalysis::GetProjectDocumentsFolder(const std::string& folder) const
{
    KelvComPtr<ISBFolderManager> folders;
    if (FAILED(Root()->get_FolderManager(folders.Receive())) || !folders)
        throw KelvResult(E_UNEXPECTED, "Unable to get Folder manager interface.");
    KelvBSTR compacted;
    const HRESULT hr = folders->CompactPath(KelvBSTR(folder).Get(), compacted.Receive());
    if (FAILED(hr))
        throw KelvResult(hr);
    std::string text = compacted.ToTString();
    const std::string::size_type at = text.find(ProjectDocumentsVariable);
    if (at != std::string::npos)
        text.replace(at, std::char_traits<char>::length(ProjectDocumentsVariable), ".");
    return text;
}

KelvComPtr<ISBDocumentRoot> CZelmAnalysis::CreateResultsDocument(const std::string& path,
                                                                 const std::string& docTypeProgID) const
{
    const std::string projectPath = GetProjectDocumentsFolder(PathUtilities::FolderNameFromPath(path));
    const KelvVariant name(PathUtilities::FileNameFromPath(path));
    KelvComPtr<ISBDocumentManager> documents;
    if (FAILED(Root()->get_DocumentManager(documents.Receive())) || !documents)
        throw KelvResult(E_UNEXPECTED, "Unable to get Folder manager interface.");
    KelvComPtr<ISBDocumentRoot> document;
    if (FAILED(documents->NewProjectDocument(KelvBSTR(docTypeProgID).Get(), KelvBSTR(projectPath).Get(), 0, name.Get(),
                                             document.Receive())) ||
        !document)
        throw KelvResult(E_UNEXPECTED, "Failed to create document.");
    return document;
}

CZelmAnalysis::NewChart CZelmAnalysis::CreateChartDocument(const std::string& chart) const
{
    NewChart made;
    made.document = CreateResultsDocument(PathUtilities::ExtensionRemoved(chart), "SDDocuments.Chart2dDocument");
    made.chart = KelvComPtr<ISDChart2dDocument>::QueryFrom(made.document.get());
    if (!made.chart)
        throw KelvResult(E_UNEXPECTED, "Failed to obtain chart from document manager.");
    made.view = HandToDocumentService(made.document.get());
    return made;
}

void CZelmAnalysis::CheckChartCanBeMade(const std::string& path) const
{
    // Asked as the host's claim of a new document file takes its folder.
    const DiskUtilities::ClaimedName asked = DiskUtilities::AskNewFile(path);
    if (!asked)
        throw KelvResult(E_UNEXPECTED, "The chart document \"" + MessageText::Excerpt(path) +
                                           "\" cannot be made: " + DiskUtilities::ClaimFailure(asked) + ".");
}

KelvComPtr<IUnknown> CZelmAnalysis::HandToDocumentService(ISBDocumentRoot* document) const
{
    const KelvComPtr<ISBDocumentServiceProvider> provider = Root().QueryInterface<ISBDocumentServiceProvider>();
    KelvComPtr<ISBDocumentService> service;
    KelvResult::Check(provider->get_DocumentService(service.Receive()));
    Kelv::CheckNullDereference(service.get());
    KelvComPtr<IUnknown> view;
    KelvResult::Check(service->OpenDocument(document, view.Receive()));
    return view;
}
