// The forcefield library reader and the forcefield model built from it: the
// species-only reading the set-up uses, then a load through the module's
// editor, a save, a load of what was saved and a second save, which must
// give the same file as the first. A library that was saved must load
// again; only KelvResult refuses an input.
#include "FuzzFiles.h"

#include "forcefield/ZelmForcefieldEditor.h"
#include "setup/ZelmLibUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = QzFuzz::WriteWhole(data, size, "input.lib");
    const std::string first = QzFuzz::Folder() + "/first.lib";
    const std::string second = QzFuzz::Folder() + "/second.lib";
    QzFuzz::Accepts<KelvResult>([&] {
        CZelmLibUtils species(false, path);
        species.HasShell();
        species.HasCharges();
    });

    CZelmForcefieldEditor editor;
    const bool loaded = QzFuzz::Accepts<KelvResult>([&] { editor.Load(path); });
    if (!loaded)
        return 0;
    editor.SaveAs(first);
    CZelmForcefieldEditor again;
    again.Load(first);
    again.SaveAs(second);
    const std::string firstText = QzFuzz::ReadWhole(first);
    const std::string secondText = QzFuzz::ReadWhole(second);
    if (firstText != secondText) {
        // QZ_FUZZ_ROUND_TRIP=report only reports a difference (for a long run
        // that is to go on past known differences).
        const char* mode = std::getenv("QZ_FUZZ_ROUND_TRIP");
        if (mode != nullptr && std::string(mode) == "report") {
            std::fprintf(stderr, "ROUND TRIP: the library saved from a saved library differs from it\n");
            return 0;
        }
        QzFuzz::Finding("the library saved from a saved library differs from it");
    }
    return 0;
}
