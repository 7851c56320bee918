// Reading the run settings back from a written deck, and the library note
// "selectedLibrary.libaux" that stands beside it.
#pragma once

#include <istream>
#include <string>

namespace ZelmDeck {

// What a deck tells of its run.
struct DeckSettings
{
    long task = 1;             // task code; Energy when the first line names none
    bool hasLibraryLine = false;
    std::string libraryName;   // lower-cased, without extension; "" when there is no library line
    bool region = false;
    bool scell = false;
    bool svector = false;
};

// Reads the task from the first line (the first word that contains "md",
// "opti", "grad" or "fit", tested in that order) and the library from the
// first line whose first word begins with "lib" (its second word, or the
// first word of the next line). A deck that marks regions together with a
// surface cell ("scell" or "svector") is a Surface run (task 5), with or
// without a library line. Lines are lower-cased and may end in CR LF; of
// each line the engine's line length is read, as the engine reads it.
// A first line whose first word begins with neither a letter nor "#" is
// no keyword line: the deck (named by `path` when given) is refused,
// KelvResult E_UNEXPECTED, before more of it is read.
DeckSettings ReadDeckSettings(std::istream& deck, const std::string& path = std::string());

// The library note.
struct LibraryNote
{
    std::string name;
    bool standard = false;
    std::string relativePath; // below the project documents folder, for a non-standard library
};

// Line 1 the library name, line 2 "StandardLibrary" for a standard library
// (anything else for another one), line 3 for another library its path below
// the project documents folder. A note that ends before a non-standard
// library's third line (or leaves it empty) names no file: KelvResult
// E_UNEXPECTED naming `path`.
LibraryNote ReadLibraryNote(std::istream& note, const std::string& path);

// The note written for a standard library.
std::string StandardLibraryNoteText(const std::string& libraryName);

} // namespace ZelmDeck
