// The converter of a fitting run's dump (".res") into a forcefield library.
// A dump the converter refuses (KelvResult) leaves no library behind and no
// temporary file beside it.
#include "FuzzFiles.h"

#include "forcefield/DumpToLibraryConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string dump = QzFuzz::WriteWhole(data, size, "run.res");
    const std::string library = QzFuzz::Folder() + "/run.lib";
    std::error_code ignored;
    std::filesystem::remove(library, ignored);
    const bool converted =
        QzFuzz::Accepts<KelvResult>([&] { CDumpToLibraryConverter converter(dump, library); });
    if (converted != std::filesystem::exists(library))
        QzFuzz::Finding("the library exists after a failed conversion, or is missing after a good one");
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QzFuzz::Folder())) {
        (void)entry;
        ++files;
    }
    if (files != (converted ? 2u : 1u))
        QzFuzz::Finding("the conversion left a file behind");
    return 0;
}
