#include "setup/ZelmRunInfo.h"
#include "com/regularfile.h"

#include "setup/DeckLines.h"
#include "setup/RunInfoFromDeck.h"
#include "common/ResultFiles.h"
#include "common/ProjectPaths.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/LogicStateUtilities.h"
#include "qorqm/KPointPathFile.h"
#include "qorqm/MessageText.h"
#include "qorqm/ParseUtilities.h"
#include "qorqm/MessageText.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/ReplaceFile.h"
#include "qorvira/ScopeUtilityHelper.h"
#include "qorvira/ZelmParseUtilities.h"
#include "qorqm/MessageText.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

const char* const kExtensionName = "QorZelm.Extension";

// Host calls: failures are thrown, other success codes recorded.
void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

} // namespace

// ---------------------------------------------------------------------------
// Job names

namespace ZelmJobNames {

Names ForFit(const std::string& prefixText, const std::string& libraryName, const std::string& libraryPath)
{
    Names names;
    names.name = prefixText.empty() ? libraryName : prefixText;
    names.prefix = PathUtilities::FolderNameFromPath(libraryPath) + names.name;
    return names;
}

Names ForUnsavedDocument(const std::string& prefixText, const std::string& documentName,
                         const std::string& projectFolder)
{
    Names names;
    names.name = prefixText.empty() ? documentName : prefixText;
    names.prefix = projectFolder + PathUtilities::Separator() + names.name;
    return names;
}

Names ForSavedDocument(const std::string& prefixText, const std::string& drive, const std::string& directory,
                       const std::string& fileName)
{
    Names names;
    names.name = prefixText.empty() ? fileName : prefixText;
    names.prefix = drive + directory + names.name;
    return names;
}

std::string JobFileBase(const std::string& jobName)
{
    if (jobName.find_first_of("/\\") != std::string::npos || jobName == "." || jobName == "..")
        throw KelvResult(E_INVALIDARG, "The job name \"" + MessageText::Excerpt(jobName) +
                                           "\" cannot name the job's files: it must not hold \"/\" or \"\\\" "
                                           "nor be \".\" or \"..\".");
    // The name stands as it is in the deck's title line.
    ZelmDeckLines::DeckText(jobName, "job name");
    return SafeWord(jobName);
}

std::string SafeWord(const std::string& name)
{
    std::string word = name;
    for (char& c : word) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool kept = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' ||
                          u == '-' || u == '.';
        if (!kept)
            c = '_';
    }
    return word;
}

} // namespace ZelmJobNames

// ---------------------------------------------------------------------------
// The settings as the line builders see them.

class CZelmRunInfo::Settings final : public ZelmLines::RunSettingsView
{
public:
    explicit Settings(const CZelmRunInfo& info) : m_info(info) {}
    long Task() const override { return m_info.GetTask(); }
    bool Periodic() const override { return m_info.IsPeriodic(); }
    bool Flag(const char* key) const override { return m_info.StateBool(key); }
    long Long(const char* key) const override { return m_info.StateLong(key); }
    double Double(const char* key) const override { return m_info.StateDouble(key); }
    std::string LibraryName() const override { return m_info.GetLibraryName(); }
    bool CanDoPhononNonGamma() const override { return m_info.CanDoPhononNonGamma(); }

private:
    const CZelmRunInfo& m_info;
};

// ---------------------------------------------------------------------------
// Construction

CZelmRunInfo::CZelmRunInfo(const KelvComPtr<ISBContainerRoot>& root, CStateHelper state,
                           const KelvComPtr<ISBScope>& scope, CZelmForcefieldLocator* const& locator,
                           const KelvComPtr<ISBState>& jobTemplateState, KelvComPtr<ISBScopeManager> scopeManager)
    : m_root(root),
      m_state(std::move(state)),
      m_scope(scope),
      m_jobTemplateState(jobTemplateState),
      m_scopeManager(std::move(scopeManager)),
      m_standardLibraries(root)
{
    LocateLibrary(locator);
}

CZelmRunInfo::CZelmRunInfo(const KelvComPtr<ISBContainerRoot>& root, const std::string& folder,
                           const std::string& deckFileName, const KelvComPtr<ISBScope>& scope)
    : m_root(root), m_scope(scope), m_standardLibraries(root)
{
    ReadInputFile(folder + deckFileName);
    ReadSelectedLibraryFile(folder + SelectedLibraryFileName());
    RequireLibraryInPlace(folder + SelectedLibraryFileName());
}

void CZelmRunInfo::RequireLibraryInPlace(const std::string& notePath) const
{
    // A saved deck's job uploads its library: the deck and its note choose
    // it, so they may name one of the project or of the standard library
    // folder only (links followed), never a file elsewhere on the machine.
    if (m_libraryPath.empty())
        return;
    const std::string reason = m_standardLibraries.WhyLibraryIsNotInPlace(m_libraryPath);
    if (!reason.empty())
        throw KelvResult(E_ACCESSDENIED, reason + "; the library is named by the deck's library note \"" +
                                             MessageText::Excerpt(notePath, 1000) +
                                             "\": only a library of the project or of the standard library "
                                             "folder is uploaded.");
}

CZelmRunInfo::~CZelmRunInfo()
{
    // Counted references go in the reverse order of the fields.
    m_scopeManager.Release();
    m_jobTemplateState.Release();
    m_scope.Release();
    m_state = CStateHelper();
    m_root.Release();
}

// ---------------------------------------------------------------------------
// Getters

bool CZelmRunInfo::StateBool(const std::string& key) const
{
    bool value = false;
    if (m_state.IsValid())
        m_state.GetStateValue(key, value);
    return value;
}

long CZelmRunInfo::StateLong(const std::string& key) const
{
    LONG value = 0;
    if (m_state.IsValid())
        m_state.GetStateValue(key, value);
    return value;
}

double CZelmRunInfo::StateDouble(const std::string& key) const
{
    double value = 0.0;
    if (m_state.IsValid())
        m_state.GetStateValue(key, value);
    return value;
}

std::string CZelmRunInfo::StateText(const std::string& key) const
{
    std::string value;
    if (m_state.IsValid())
        m_state.GetStateValue(key, value);
    return value;
}

long CZelmRunInfo::GetTask() const
{
    return m_state.IsValid() ? StateLong("Task") : m_task;
}

bool CZelmRunInfo::IsConstantPressure() const
{
    return StateBool("conp");
}

bool CZelmRunInfo::IsConstantVolume() const
{
    return StateBool("conv");
}

long CZelmRunInfo::GetEnsemble() const
{
    return StateLong("ensemble");
}

bool CZelmRunInfo::IsPhonon() const
{
    return StateBool("Phonon");
}

long CZelmRunInfo::GetChargeOption() const
{
    return StateText("ChargeOption") == "Use current" ? 2 : 1;
}

bool CZelmRunInfo::IsPeriodic() const
{
    const CScopeUtilityHelper utility(m_root.get());
    VARIANT_BOOL periodic = 0;
    Check(utility->IsPeriodic(m_scope.get(), &periodic));
    return periodic == VARIANT_TRUE;
}

KelvBSTR CZelmRunInfo::GetProjectDocumentsFolder() const
{
    return KelvBSTR(ResolveProjectDocumentsPath(m_root));
}

namespace {

KelvComPtr<ISBDocumentRoot> RequireDocument(const CScopeUtilityHelper& utility, ISBScope* scope)
{
    KelvComPtr<ISBDocumentRoot> document;
    Check(utility->GetDocumentRoot(scope, document.Receive()));
    if (!document)
        throw KelvResult(E_UNEXPECTED, "No document holds the structure of this calculation.");
    return document;
}

void SplitPath(const KelvComPtr<ISBContainerRoot>& root, const std::string& path, std::string& drive,
               std::string& directory, std::string& fileName)
{
    KelvComPtr<ISBDiskManager> disk;
    Check(root->get_DiskManager(disk.Receive()));
    KelvResult::Check(static_cast<bool>(disk));
    KelvBSTR d, dir, name, extension;
    Check(disk->SplitPath(KelvBSTR(path).Get(), d.Receive(), dir.Receive(), name.Receive(), extension.Receive()));
    drive = d.ToTString();
    directory = dir.ToTString();
    fileName = name.ToTString();
}

std::string DocumentUrl(const KelvComPtr<ISBDocumentRoot>& document)
{
    KelvBSTR url;
    Check(document->get_DocumentURL(url.Receive()));
    return url.ToTString();
}

} // namespace

KelvBSTR CZelmRunInfo::GetCurrentDocumentSeedPath() const
{
    KelvComPtr<ISBScope> scope;
    if (!m_scopeManager)
        throw KelvResult(E_UNEXPECTED, "No scope manager is available to find the current document.");
    Check(m_scopeManager->get_DefaultScope(scope.Receive()));
    const CScopeUtilityHelper utility(m_root.get());
    const KelvComPtr<ISBDocumentRoot> document = RequireDocument(utility, scope.get());
    std::string drive, directory, fileName;
    SplitPath(m_root, DocumentUrl(document), drive, directory, fileName);
    return KelvBSTR(drive + directory + fileName);
}

void CZelmRunInfo::ComputeJobNames()
{
    std::string prefixText;
    if (m_jobTemplateState &&
        !LogicStateUtilities::GetPropertyValue(m_jobTemplateState.get(), "AutomateJobPrefix").Bool())
        prefixText = LogicStateUtilities::GetPropertyValue(m_jobTemplateState.get(), "JobPrefix").String();

    ZelmJobNames::Names names;
    if (GetTask() == ZelmLines::TaskFit) {
        names = ZelmJobNames::ForFit(prefixText, GetLibraryName(), GetLibraryPath());
    } else {
        KelvComPtr<ISBScope> scope;
        if (!m_scopeManager || FAILED(m_scopeManager->get_DefaultScope(scope.Receive())) || !scope)
            scope = m_scope;
        const CScopeUtilityHelper utility(m_root.get());
        KelvComPtr<ISBDocumentRoot> document;
        Check(utility->GetDocumentRoot(scope.get(), document.Receive()));
        if (!document)
            document = RequireDocument(utility, m_scope.get());
        const std::string url = DocumentUrl(document);
        if (url.empty()) {
            KelvBSTR documentName;
            Check(document->get_DocumentName(documentName.Receive()));
            names = ZelmJobNames::ForUnsavedDocument(prefixText, documentName.ToTString(),
                                                     ResolveProjectDocumentsPath(m_root));
        } else {
            std::string drive, directory, fileName;
            SplitPath(m_root, url, drive, directory, fileName);
            names = ZelmJobNames::ForSavedDocument(prefixText, drive, directory, fileName);
        }
    }
    m_jobPrefix = KelvBSTR(names.prefix);
    m_jobName = KelvBSTR(names.name);
    m_jobNameText = names.name;
}

KelvBSTR CZelmRunInfo::GetJobPrefix()
{
    ComputeJobNames();
    return m_jobPrefix;
}

KelvBSTR CZelmRunInfo::GetJobName()
{
    ComputeJobNames();
    return m_jobName;
}

KelvBSTR CZelmRunInfo::GetJobNameCopy()
{
    ComputeJobNames();
    return KelvBSTR(m_jobNameText);
}

std::string CZelmRunInfo::GetJobFileBase()
{
    ComputeJobNames();
    return ZelmJobNames::JobFileBase(m_jobNameText);
}

bool CZelmRunInfo::CanDoPhononNonGamma() const
{
    if (GetLibraryName() == "dreiding")
        return true;
    RegularFile::InputFile library(PathUtilities::ToNative(GetLibraryPath()), RegularFile::Bound::Library);
    if (!library.IsOpen() && library.Why() != RegularFile::NotThere)
        throw KelvResult(E_UNEXPECTED, library.Failure("Problem reading the library file."));
    bool restricted = false;
    std::string line;
    while (!library.eof()) {
        if (library.fail())
            throw KelvResult(E_UNEXPECTED,
                             KelvFormat("Problem reading library file '%1' (the library '%2'): it is not there or "
                                        "cannot be read.")
                                 << MessageText::Excerpt(GetLibraryPath()) << MessageText::Excerpt(GetLibraryName()));
        if (!ZelmParseUtilities::GetNonEmptyLine(library, line))
            break;
        ZelmParseUtilities::MakeStringLowerCase(line);
        if (line.find("keyword") == std::string::npos)
            continue;
        std::vector<std::string> words;
        ParseUtilities::Tokenize(line, words, " ");
        if (words.size() > 1 && (words[1] == "sm" || words[1] == "qeq"))
            restricted = true;
    }
    return !restricted;
}

// ---------------------------------------------------------------------------
// Library note and deck

void CZelmRunInfo::ReadSelectedLibraryFile(const std::string& path)
{
    // The note goes with the job too: a link is read and uploaded only when
    // it leads into the project, and a note is read only as a file.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(PathUtilities::ToNative(path), error);
    if (std::filesystem::exists(status)) {
        if (std::filesystem::is_symlink(status))
            m_standardLibraries.RequireLibraryInPlace(path);
        if (std::filesystem::is_directory(PathUtilities::ToNative(path), error))
            throw KelvResult(E_UNEXPECTED, "The library note \"" + MessageText::Excerpt(path, 1000) +
                                               "\" is a folder, not a file: the deck's library cannot be read "
                                               "from it.");
    }
    RegularFile::InputFile note(path, RegularFile::Bound::Settings);
    if (!note.IsOpen() && note.Why() != RegularFile::NotThere)
        throw KelvResult(E_UNEXPECTED, note.Failure("Unable to read the library note."));
    if (!note.IsOpen()) {
        m_standardLibrary = true;
        // A deck without a library has nothing to note.
        if (m_libraryName.empty())
            return;
        // Written whole or not at all: a half note would name half a library.
        std::string why;
        if (!ReplaceFileContents(path, ZelmDeck::StandardLibraryNoteText(m_libraryName), &why,
                                 ProjectFolderForWrites(m_root)))
            throw KelvResult(E_UNEXPECTED, "Unable to write the library note '" + MessageText::Excerpt(path) +
                                               "'" + (why.empty() ? std::string() : ": " + why) + ".");
        MarkFileHidden(m_root, path);
        return;
    }
    const ZelmDeck::LibraryNote content = ZelmDeck::ReadLibraryNote(note, path);
    m_standardLibrary = content.standard;
    if (content.standard && content.name.empty()) {
        // A standard note without a name (as written beside decks without a
        // library) names no library: the deck's own library stands, if any.
        return;
    }
    m_libraryName = content.name;
    if (content.standard)
        m_libraryPath = m_standardLibraries.GetStandardLibrariesFolder() + m_libraryName + LibraryFileExtension();
    else
        m_libraryPath = ResolveProjectDocumentsPath(m_root) + content.relativePath;
}

void CZelmRunInfo::ReadInputFile(const std::string& path)
{
    RegularFile::InputFile deck(path, RegularFile::Bound::Deck);
    if (!deck.IsOpen())
        throw KelvResult(E_UNEXPECTED, deck.Failure(KelvFormat("Unable to open ZELM input file '%1'.") << path));
    const ZelmDeck::DeckSettings settings = ZelmDeck::ReadDeckSettings(deck, path);
    m_task = settings.task;
    m_libraryName = settings.libraryName;
    m_libraryPath = settings.libraryName.empty()
                        ? std::string()
                        : m_standardLibraries.GetStandardLibrariesFolder() + settings.libraryName + LibraryFileExtension();
}

// ---------------------------------------------------------------------------
// Deck lines

std::string CZelmRunInfo::GetKeywords() const
{
    return ZelmLines::Keywords(Settings(*this));
}

std::string CZelmRunInfo::GetPropertyKeywords(bool spatial) const
{
    return ZelmLines::PropertyKeywords(Settings(*this), spatial);
}

std::string CZelmRunInfo::GetTaskOptions() const
{
    return ZelmLines::TaskOptions(Settings(*this));
}

std::string CZelmRunInfo::GetFrequencyRangeLine() const
{
    return ZelmLines::FrequencyRangeLine(Settings(*this));
}

std::string CZelmRunInfo::GetEnsembleName() const
{
    return ZelmLines::EnsembleName(GetEnsemble());
}

std::string CZelmRunInfo::GetEnsembleParameters() const
{
    return ZelmLines::EnsembleParameters(Settings(*this));
}

bool CZelmRunInfo::WantsPhonons() const
{
    return ZelmLines::WantsPhonons(Settings(*this));
}

bool CZelmRunInfo::WantsOptics() const
{
    return ZelmLines::WantsOptics(Settings(*this));
}

bool CZelmRunInfo::IsConstantPressureDynamics() const
{
    return ZelmLines::IsConstantPressureDynamics(Settings(*this));
}

bool CZelmRunInfo::WantsPhononDispersion() const
{
    return ZelmLines::WantsPhononDispersion(Settings(*this));
}

bool CZelmRunInfo::WantsPhononDos() const
{
    return ZelmLines::WantsPhononDos(Settings(*this));
}

KelvComPtr<IQoDispersionPath> CZelmRunInfo::GetDispersionPath() const
{
    const KelvComPtr<ISBLogic> logic = AppUtils::Container::GetLogic("ZelmLogic", kExtensionName, m_root.get());
    if (!logic)
        throw KelvResult(E_UNEXPECTED, "The logic \"ZelmLogic\" was not found.");
    const KelvComPtr<ISBState> state = LogicStateUtilities::GetState(logic.get());
    const KelvComPtr<IUnknown> generatorObject =
        LogicStateUtilities::GetPropertyValueCoClass(state.get(), "PhononDispersionKPGenerator");
    if (!generatorObject)
        throw KelvResult(E_UNEXPECTED, "No phonon dispersion path generator is set.");
    const auto generator = generatorObject.QueryInterface<IQoDispersionPathGenerator>();
    KelvComPtr<IQoDispersionPath> path;
    Check(generator->GetPath(m_scope.get(), path.Receive()));
    KelvResult::Check(static_cast<bool>(path));
    return path;
}

std::string CZelmRunInfo::GetDosBlock() const
{
    const KelvComPtr<ISBLogic> logic =
        AppUtils::Container::GetLogic("KPointSetGenerator", kExtensionName, m_root.get());
    if (!logic)
        throw KelvResult(E_UNEXPECTED, "The logic \"KPointSetGenerator\" was not found.");
    const auto generator = logic.QueryInterface<IQoKPointSetGenerator>();
    Check(generator->put_Separation(0.02));
    LONG n1 = 0, n2 = 0, n3 = 0;
    double o1 = 0.0, o2 = 0.0, o3 = 0.0;
    Check(generator->GetGrid(m_scope.get(), &n1, &n2, &n3, &o1, &o2, &o3));
    return ZelmLines::DensityOfStatesBlock(n1, n2, n3);
}

std::string CZelmRunInfo::GetPhononOptions() const
{
    if (!(IsPeriodic() && StateBool("Phonon")))
        return std::string();
    std::string text;
    if (WantsPhononDispersion()) {
        const KelvComPtr<IQoDispersionPath> path = GetDispersionPath();
        const auto kinds = path.QueryInterface<IQoDispersionPathPointKinds>();
        LONG count = 0;
        Check(path->get_PointCount(&count));
        std::vector<ZelmLines::PathPoint> points;
        for (LONG i = 0; i < count; ++i) {
            KelvComPtr<ISDPoint3d> point;
            Check(path->GetPoint(i, point.Receive()));
            KelvResult::Check(static_cast<bool>(point));
            ZelmLines::PathPoint p;
            Check(point->GetXYZ(&p.x, &p.y, &p.z));
            LONG kind = 0;
            Check(kinds->GetPointKind(i, &kind));
            p.kind = kind;
            points.push_back(p);
        }
        text += ZelmLines::DispersionBlock(points);
    }
    if (WantsPhononDos())
        text += GetDosBlock();
    return text;
}

void CZelmRunInfo::WriteKPointFile(std::ostream& stream) const
{
    const KelvComPtr<IQoDispersionPath> path = GetDispersionPath();
    stream.setf(std::ios::fixed, std::ios::floatfield);
    stream.setf(std::ios::right, std::ios::adjustfield);
    stream.fill(' ');
    QMKPointFileUtilities::WriteKPointPathBlock(stream, path);
}
