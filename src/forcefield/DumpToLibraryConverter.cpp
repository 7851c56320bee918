#include "forcefield/DumpToLibraryConverter.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "forcefield/ZelmForcefieldEditor.h"
#include "kelv/kelv.h"
#include "qorqm/ParseUtilities.h"
#include "qorvira/ZelmParseUtilities.h"

namespace {

// Keywords of a fitting run that a library must not carry.
const char* const kRunKeywords[] = {
    "optimise", "conp",      "conv",       "md",       "fit",        "gradient", "qok",      "property",
    "phonon",   "nodensity_out", "pot",    "efg",      "nomodcoord", "libff",    "relax",    "intensity",
    "simultaneous", "libdump", "conserved", "preserve_Q", "spatial", "noautobond", "nofreq",
};

std::string Lower(std::string text)
{
    return ZelmParseUtilities::MakeStringLowerCase(text);
}

// A token that is a run keyword or any piece of one (as the engine accepts
// abbreviations); compared without regard to letter case.
bool IsRunKeywordFragment(const std::string& token)
{
    const std::string lower = Lower(token);
    for (const char* keyword : kRunKeywords) {
        if (Lower(keyword).find(lower) != std::string::npos)
            return true;
    }
    return false;
}

// The converted text lives in a file of its own beside the library while it
// is read back; it is removed whatever happens.
class CTemporaryFile {
public:
    explicit CTemporaryFile(const std::string& beside)
    {
        for (unsigned attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const std::string name =
                beside + ".converting-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
            const int descriptor = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
            if (descriptor >= 0) {
                ::close(descriptor);
                m_path = name;
            } else if (errno != EEXIST) {
                break;
            }
        }
        if (m_path.empty())
            throw KelvResult(E_UNEXPECTED, "Cannot open the library file " + beside);
    }
    ~CTemporaryFile() { std::remove(m_path.c_str()); }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The library text of a dump (see the class comment).
std::string ConvertDump(std::istream& dump)
{
    using namespace ZelmParseUtilities;
    std::ostringstream library;

    // The run's keywords: the first line that is neither empty nor a
    // comment (dumps may open with comment lines).
    std::string line;
    while (GetNonEmptyLine(dump, line) && IsCommentLine(line)) {
    }
    std::vector<std::string> tokens;
    ParseUtilities::Tokenize(line, tokens, " ");
    std::string kept;
    for (const std::string& token : tokens) {
        if (!IsRunKeywordFragment(token))
            kept += token + " ";
    }
    library << "keyword " << ChopToZelmLength(kept) << std::endl;

    std::list<std::string> passedOver;
    if (!FindNonCommentLineContainingToken(dump, "species", line, passedOver))
        throw KelvResult(E_UNEXPECTED, "Invalid dump file format - species block absent");
    library << ChopToZelmLength(line) << std::endl;

    while (GetNonEmptyLine(dump, line)) {
        if (line.find("observables") != std::string::npos || line.find("dump") != std::string::npos)
            break;
        library << ChopToZelmLength(line) << std::endl;
    }
    if (dump.bad())
        throw KelvResult(E_UNEXPECTED, "Problem reading file");
    return library.str();
}

}  // namespace

CDumpToLibraryConverter::CDumpToLibraryConverter(const std::string& dumpPath, const std::string& libraryPath)
{
    std::ifstream dump(dumpPath.c_str());
    if (!dump)
        throw KelvResult(E_UNEXPECTED, "Cannot open the dump file " + dumpPath);
    const std::string converted = ConvertDump(dump);

    CTemporaryFile temporary(libraryPath);
    {
        std::ofstream stream(temporary.Path().c_str(), std::ios::out | std::ios::trunc);
        stream << converted;
        stream.close();
        if (stream.fail())
            throw KelvResult(E_UNEXPECTED, "Cannot write the library file " + libraryPath);
    }

    // Read back as a library, clear the fit marks and write it in the
    // module's layout over the library (replaced only when saving succeeds).
    CZelmForcefieldEditor editor;
    editor.Load(temporary.Path());
    editor.MarkAllParametersNoFit();
    editor.SaveAs(libraryPath);
}

CDumpToLibraryConverter::~CDumpToLibraryConverter() = default;
