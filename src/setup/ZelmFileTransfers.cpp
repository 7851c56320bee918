// The file-transfer items of a job's files: from a file's name, whether the
// job manager uploads it before the run and brings it back afterwards.
#include "setup/Zelm.h"

#include "common/ResultFiles.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/LogicStateUtilities.h"
#include "qorqm/FTIUtilities.h"
#include "qorqm/PathUtilities.h"
#include "qorqm/SafeName.h"

#include <vector>

namespace {

enum class Test { EndsIn, NameContains };
enum class Kind { Plain, Deck, Structure };

struct Rule
{
    Test test;
    std::string text;
    LONG upload;
    LONG download;
    Kind kind;
};

// Tried in order; the first rule that matches decides. A structure
// document's download word gains 0x40 when the model follows the job live.
const std::vector<Rule>& Rules()
{
    static const std::vector<Rule> rules{
        {Test::EndsIn, CZelmRunInfo::InputFileExtension(), 0x31, 0, Kind::Deck},
        {Test::EndsIn, CZelmRunInfo::LibraryFileExtension(), 0x11, 0, Kind::Plain},
        {Test::EndsIn, ".qms", 0x20, 0, Kind::Plain},
        {Test::EndsIn, StructureDocumentExtension(), 0x20, 0x04, Kind::Structure},
        {Test::EndsIn, CZelmRunInfo::OutputFileExtension(), 0x10, 0x05, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::FrcFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::OscillatorFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::TrajectoryFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::PressureFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::DispersionFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::PhononDosFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::DumpFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::NameContains, CZelmRunInfo::BulkArchiveFileSuffix(), 0x10, 0x83, Kind::Plain},
        {Test::NameContains, CZelmRunInfo::ClusterArchiveFileSuffix(), 0x10, 0x83, Kind::Plain},
        {Test::NameContains, CZelmRunInfo::DefectArchiveFileSuffix(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, CZelmRunInfo::ArchiveFileExtension(), 0x10, 0x83, Kind::Plain},
        {Test::EndsIn, ".trjaux", 0x70, 0x83, Kind::Plain},
        {Test::EndsIn, ".libaux", 0x70, 0x83, Kind::Plain},
        {Test::EndsIn, ".kptaux", 0x70, 0x83, Kind::Plain},
    };
    return rules;
}

bool Matches(const Rule& rule, const std::string& path)
{
    if (rule.test == Test::EndsIn)
        return PathUtilities::MatchesExtension(path, rule.text);
    // The archive suffixes are searched in the file's name only: a folder
    // whose name holds one must not change the items of the files in it.
    return PathUtilities::FileNameFromPath(path).find(rule.text) != std::string::npos;
}

} // namespace

HRESULT CZelm::AddJobFileTransfers(const KelvComPtr<ISBManagedJob>& job, const std::string& path)
{
    return Kelv::ComMethod(GUID_NULL, GUID_NULL, [&] {
        const bool liveModel =
            LogicStateUtilities::GetPropertyValue(m_jobTemplateState.get(), "LiveUpdateModel").Bool();
        const KelvComPtr<ISBManagedTask> task(static_cast<ISBManagedTask*>(job.get()));
        const FTIUtilities::CFTIHelper helper(task);

        for (const Rule& rule : Rules()) {
            if (!Matches(rule, path))
                continue;
            switch (rule.kind) {
            case Kind::Plain:
                helper.AddFTI(FTIUtilities::CFTI(path, rule.upload, rule.download));
                break;
            case Kind::Structure:
                helper.AddFTI(FTIUtilities::CFTI(path, rule.upload, rule.download | (liveModel ? 0x40 : 0)));
                helper.AddFTI(FTIUtilities::CFTI(path, 0x20, 0));
                break;
            case Kind::Deck: {
                const std::string seed = FileBaseName(path);
                helper.AddFTI(FTIUtilities::CFTI(path, rule.upload, rule.download, KelvVariant(seed)));
                const std::string safe = SafeName(task)(seed);
                KelvResult::Check(job->AddServerCommandItem(KelvBSTR("SeedName").Get(), KelvBSTR(safe).Get()));
                break;
            }
            }
            return;
        }
    });
}
