#include "host/model/TrajectoryDocument.h"

#include "host/model/QsdFile.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"

namespace HostModel {

std::shared_ptr<Document> LoadStructureFile(const std::string& path)
{
    std::shared_ptr<Document> document = LoadQsd(path);
    if (PathUtilities::MatchesExtension(path, ".qtd")) {
        const std::string frames = PathUtilities::ExtensionReplaced(path, ".trj");
        if (DiskUtilities::FileExists(frames))
            document->SetTrajectory(std::make_shared<const TrjContents>(TrjFile::Read(frames)));
    }
    return document;
}

}  // namespace HostModel
