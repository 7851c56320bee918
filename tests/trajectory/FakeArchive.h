// An archive the tests hand the module in place of the archive reader: the
// frames it gives are the test's, whatever the file holds; it records what it
// was opened on.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/TempFolder.h"
#include "readers/TrajectoryArchive.h"

namespace QzTest {

struct FakeArchiveContent {
    std::vector<TrajectoryArchiveFrame> frames;
    bool periodic2D = false;
    bool periodic3D = false;
};

class FakeArchive : public ITrajectoryArchive {
public:
    explicit FakeArchive(FakeArchiveContent content) : m_content(std::move(content)) {}
    std::size_t GetFrameCount() const override { return m_content.frames.size(); }
    TrajectoryArchiveFrame GetFrame(std::size_t index) const override { return m_content.frames.at(index); }
    bool Is2DPeriodic() const override { return m_content.periodic2D; }
    bool Is3DPeriodic() const override { return m_content.periodic3D; }

private:
    FakeArchiveContent m_content;
};

// Installs a fake opener while it lives; `opened` lists the paths it was
// asked for and `copies` what those files held when they were opened.
class FakeArchiveOpener {
public:
    FakeArchiveContent content;
    std::vector<std::string> opened;
    std::vector<std::string> copies;
    std::vector<unsigned long> mapSizes;

    FakeArchiveOpener()
    {
        m_previous = SetTrajectoryArchiveOpener([this](const std::string& path, const CAtomicIndexMap& map) {
            opened.push_back(path);
            copies.push_back(ReadFile(path));
            mapSizes.push_back(map.GetSize());
            return std::make_unique<FakeArchive>(content);
        });
    }
    ~FakeArchiveOpener() { SetTrajectoryArchiveOpener(std::move(m_previous)); }
    FakeArchiveOpener(const FakeArchiveOpener&) = delete;
    FakeArchiveOpener& operator=(const FakeArchiveOpener&) = delete;

private:
    TrajectoryArchiveOpener m_previous;
};

}  // namespace QzTest
