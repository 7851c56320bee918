// The run settings read back from a written deck (".gin") and the library
// note beside it ("selectedLibrary.libaux"), the input being the deck and,
// after a separator line, the note (no note: the reading writes one). The
// settings are built over the in-memory host's container root, as the job
// submission builds them; only KelvResult refuses an input.
#include "FuzzFiles.h"

#include "host/HostApplication.h"
#include "setup/RunInfoFromDeck.h"
#include "setup/ZelmRunInfo.h"

#include <sstream>

namespace {

QzHost::HostApplication& Host()
{
    static QzHost::HostApplication* host = [] {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = QzFuzz::Folder() + "/project";
        configuration.connectModuleLogics = false;
        return new QzHost::HostApplication(configuration);
    }();
    return *host;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QzHost::HostApplication& host = Host();
    QzFuzz::WriteFiles(data, size, {"run.gin", "selectedLibrary.libaux"});
    QzFuzz::Accepts<KelvResult>([&] {
        const KelvComPtr<ISBContainerRoot> root(host.Root());
        CZelmRunInfo settings(root, QzFuzz::Folder() + "/", "run.gin", KelvComPtr<ISBScope>());
        const long task = settings.GetTask();
        if (task < 1 || task > 5)
            QzFuzz::Finding("a deck read back gave no task");
        settings.GetLibraryName();
        settings.GetLibraryPath();
        settings.IsStandardLibrary();
    });
    // The plain readers on the same text.
    const std::string input(reinterpret_cast<const char*>(data), size);
    QzFuzz::Accepts<KelvResult>([&] {
        std::istringstream deck(input);
        ZelmDeck::ReadDeckSettings(deck);
    });
    QzFuzz::Accepts<KelvResult>([&] {
        std::istringstream note(input);
        ZelmDeck::ReadLibraryNote(note, "note");
    });
    return 0;
}
