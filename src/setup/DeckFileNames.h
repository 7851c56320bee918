#pragma once
// The files a deck makes the engine read or write ("output <kind> FILE",
// "dump [every N] FILE", "library FILE") are named by plain names in the
// deck's own folder: a received deck that names a path elsewhere
// ("output trajectory ../../outside/x.trg") would make the engine write or
// read outside the job's folder.

#include <string>

namespace ZelmDeckFiles {

// The first file name of the deck text that is no plain name (empty, ".",
// "..", or holding "/" or "\\"), with its keyword: {keyword, name}; both
// empty when every one is plain. Lines of "title" and "observables" blocks
// are text, not keywords.
struct Named {
    std::string keyword;
    std::string name;
    bool Plain() const { return keyword.empty(); }
};
Named FirstNotPlain(const std::string& text);

// Reads the deck at path and throws (E_ACCESSDENIED) naming the deck, the
// keyword and the file when a name is no plain one; nothing when the deck
// cannot be read (its own reader says why).
void RequirePlainFileNames(const std::string& deckPath);

}  // namespace ZelmDeckFiles
