#include "host/model/TrajectoryDocument.h"

#include "host/model/QsdFile.h"
#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"

#include <filesystem>

namespace HostModel {

std::shared_ptr<Document> LoadStructureFile(const std::string& path)
{
    std::shared_ptr<Document> document = LoadQsd(path);
    if (PathUtilities::MatchesExtension(path, ".qtd")) {
        const std::string frames = PathUtilities::ExtensionReplaced(path, ".trj");
        // Whatever stands there is read: a folder, a FIFO or a device in
        // place of the frames is refused by name, not taken for no frames.
        std::error_code error;
        if (std::filesystem::exists(frames, error))
            document->SetTrajectory(std::make_shared<const TrjContents>(TrjFile::Read(frames)));
    }
    return document;
}

}  // namespace HostModel
