#pragma once
// The record of the files this process wrote whole (CReplaceFile, and so
// every document, chart, trajectory and library saved through it), so that
// a command can say what it made or changed from what it wrote, without
// reading anything else. Off until Start(); each entry is a path (absolute,
// lexically normal) at most once, in the order first written. A name a
// command claims for a new file (DiskUtilities::ClaimNewName) counts as made.

#include <string>
#include <vector>

namespace WrittenFiles {

enum class Change {
    Made,      // no file stood under the name before
    Changed,   // a file stood there with other bytes
    Unchanged  // the same bytes were written again
};

struct Entry {
    std::string path;
    Change change = Change::Made;
    bool removed = false;  // removed afterwards (a purged document's file)
};

// Starts recording (dropping what was recorded before).
void Start();
// Whether recording is on.
bool Recording();

// What writing `written` (a finished temporary file) over `target` does;
// Unchanged only when target is a regular file of the same bytes. Reads the
// two files alone, and only while recording (else Made).
Change Compare(const std::string& written, const std::string& target);
// The same for two names in the folder of descriptor `folder`, neither
// followed when it is a link.
Change CompareAt(int folder, const std::string& written, const std::string& target);
// Records a write under `path` that did `change`. A later write of the same
// path keeps the first entry's Made; Changed outweighs Unchanged.
void Note(const std::string& path, Change change);
// Records that the file under `path` was removed.
void NoteRemoved(const std::string& path);

// What was recorded since Start().
std::vector<Entry> Entries();

}  // namespace WrittenFiles
