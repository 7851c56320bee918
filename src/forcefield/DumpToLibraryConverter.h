// Turns the dump of a fitting run into a forcefield library.
#pragma once

#include <memory>
#include <string>

// The constructor does the whole conversion: the run keywords are dropped
// from the dump's keyword line (its first line that is neither empty nor a
// comment), everything before the species block is
// dropped, the species block and the forcefield lines after it are kept up
// to a line holding "observables" or "dump"; the result is read as a
// library, every parameter is marked not to be fitted and the library is
// written in the module's layout.
//
// A dump of a run whose input had no species block has none either: its
// structures (atom lines after "fractional", "cartesian" and the like, each
// with its charge after the three coordinates) and a "variables" block come
// first, then the potentials, then "dump". Its library gets the species and
// the potentials only, no keyword line: a species block of every species
// half that its atom lines and interaction lines name, in the order met,
// with the charge as the atom lines write it (0 for a half that no atom line
// gives a charge), and the potentials from the first line after the last
// structure or "variables" block that is no run line, again up to
// "observables" or "dump". Run and structure lines ("space" and its group,
// "totalenergy", "accuracy", "xtol opt", "print", "switch_min", "output
// movie" and the like) never reach the library; lines of forms this build
// does not read keep their text, fit flags included. Atom lines that give
// one species half two different charges are an error naming the species.
//
// A dump whose last line ends without a line break before the line that
// ends its forcefield lines is cut short, and one that gives no potential
// (no interaction read, nor a block of a form this build keeps as text,
// wherever it stands) gives a library of species alone: both are refused,
// naming the dump. So is a dump whose potential gives a value that is no
// number ("nan", "inf"), or whose atom line gives a charge that is no
// decimal number ("0x10"): nothing of it would be read.
//
// The dump is read once, whole, within RegularFile::Bound::Dump (a larger
// file is refused by its size, unread). The converted text is read as a
// library in memory; the library file is replaced only when the whole
// conversion succeeds (CForcefieldEditor::WriteForcefieldFile: a new copy
// renamed over it). A dump or library that cannot be opened, a dump in which
// no species can be found ("Invalid dump file format - species block
// absent") and every reading or writing error throw KelvResult, and leave an
// existing library as it was. With the `project` folder, a library of the
// project is not written through a link leading outside it
// (LinkLeavingProject, ReplaceFile.h).
class CDumpToLibraryConverter {
public:
    CDumpToLibraryConverter(const std::string& dumpPath, const std::string& libraryPath,
                            const std::string& project = std::string());
    virtual ~CDumpToLibraryConverter();

    // Throws why the conversion of the dump into the library would fail, as
    // the conversion itself fails: the conversion run dry, everything but
    // writing the library done, and nothing written.
    static void CheckConvertible(const std::string& dumpPath, const std::string& libraryPath);

    // The conversion up to the writing: the dump read, converted, read back
    // as a library with every parameter marked not to be fitted, and the
    // library's text made in memory. Throws what the conversion throws
    // before it writes; nothing is written (CheckConvertible is this).
    class Prepared;
    static std::shared_ptr<const Prepared> Prepare(const std::string& dumpPath, const std::string& libraryPath);
    // The bytes Write puts in the library.
    static const std::string& LibraryText(const Prepared& prepared);
    // The rest of the conversion: the prepared library written over
    // libraryPath as the constructor writes it (the dump is not read again).
    static void Write(const Prepared& prepared, const std::string& libraryPath,
                      const std::string& project = std::string());

    // Whether the conversion of the dump into the library would succeed
    // (CheckConvertible). Exhausted memory is thrown; every other failure
    // answers false.
    static bool CanConvert(const std::string& dumpPath, const std::string& libraryPath);
};
