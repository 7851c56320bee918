#pragma once
// The driver's result commands, on a structure document of a project (the
// document's folder) and a run's files beside it:
//   update-structure DOC.qsd ARC [--surface]   writes the archive's last
//       frame into the document (with the surface run's atom map when
//       --surface) and saves it;
//   import-result SEED.qsd   imports the document anew through
//       "QorZelm.ZelmStructureImporter", which applies SEED.arc;
//   trajectory BASE --document DOC.qsd [--kind geomopt|surface|dynamics]
//       writes BASE.trj from the run's provider (the kind from the run's
//       output when not given), copies the document to BASE.qtd when there
//       is none and shows that trajectory document.
// The structure updater and the providers are reached through the module's
// static core (they have no COM road of their own); the importer through
// the class registry, as the host reaches it.

#include <cstddef>
#include <iosfwd>
#include <string>

namespace ZelmHost {

// A line telling that the run's archive ends in a frame cut short, or holds
// a damaged frame that ends its frames, of which the commands and the
// analysis take the whole frames before it; empty for an archive that is
// whole, missing or unreadable.
std::string CutFrameNote(const std::string& archive);
// The same line for an archive already read: whether its last frame is cut,
// the number of its damaged frame (0 for none) and how many whole frames it
// holds.
std::string CutFrameNote(const std::string& archive, bool cut, std::size_t damaged, std::size_t whole);

// The same line only for an archive of no whole frame, which a command that
// fails for want of a frame gives with its reason; empty otherwise.
std::string NoFrameNote(const std::string& archive);

void UpdateStructure(const std::string& document, const std::string& archive, bool surface, std::ostream& out);
void ImportResult(const std::string& seedDocument, std::ostream& out);
void WriteTrajectory(const std::string& base, const std::string& document, const std::string& kind,
                     std::ostream& out);

}  // namespace ZelmHost
