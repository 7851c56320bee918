// Writes the final structure of an engine run (the last frame of an archive)
// back into a 3D structure document: the cell and every atom's position,
// inside one host operation "Update structure".
#pragma once

#include <string>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorvira/AtomicIndexMap.h"

// The whole update from the archive at `outputPath`. A path without ".arc"
// or a missing file does nothing. The last frame is copied alone into
// <path without extension>_TDE_.arc, read back with the archive reader and
// written by the routine of the document's periodicity. A document whose
// atoms do not match the frame is left unchanged (E_INVALIDARG). Only the
// 2-D write-back uses `map` (for the archive reader's atom order).
void UpdateStructureFromOutput(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                               const std::string& outputPath, CAtomicIndexMap& map);

// The same with a default atom map.
void UpdateStructureFromOutputWithMap(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                                      const std::string& outputPath);

// Copies the source archive's first three lines and the text of the archive
// reader's last whole frame (from its "!DATE" line to its closing lines;
// blank lines left out) to `target`: which frames are whole is the reader's
// to say, with the run's atom count (RunAtomCount), so a last frame that the
// end of the file cuts short, or the frames from a damaged one on, are not
// copied and the whole frame before them is. Every atom line of the archive
// is checked as the archive reader checks it when it keeps the frames, so a
// line it fails on fails the copy too. The archive is opened once. The source is opened first: a source that
// cannot be opened creates no target ("Unable to open ZELM arc file."); the
// archive reader's own failures are thrown as it throws them. The copy is
// written by the whole-file writer (CReplaceFile: a new file renamed over
// the target, through a descriptor of its folder held beneath `project`),
// so a link or a hard link in its place is never written through. A target
// that cannot be made throws "Unable to open ZELM intermediate arc file"
// with the copy's name and the writer's reason (E_ACCESSDENIED where access
// is refused, as for a link leading out of `project`; else E_UNEXPECTED);
// one that cannot be written "Unable to write ZELM intermediate arc file."
// (E_UNEXPECTED, with the copy's name, the system's reason and what to do;
// the target is left as it was).
void ReadFinalArcFrame(const std::string& source, const std::string& target,
                       const std::string& project = std::string());

// The folder a file that a run's results add (the working copy, the frames
// file) is held to: the project when the run's folder lies in it, named or
// once links are followed; else the run's own folder, wherever the user
// keeps the run. Nothing is written through a link leaving it.
std::string RunFileHold(const std::string& file, const std::string& project);

// Throws E_INVALIDARG "Model has been modified and cannot be used for
// analysis: wrong number of atoms." when the model's periodic-parent atoms
// are not `expected` in number.
void CheckModelMatchesOutput(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBScope>& model, int& expected);

// The write-back of each periodicity from the single-frame copy at
// `temporaryPath`. Each checks the document against the frame before it
// changes anything; a frame of the wrong periodicity, a copy holding other
// than one frame, or (2-D) surface vectors that make no cell change nothing.
void WriteBackPeriodic3D(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                         const std::string& temporaryPath);
void WriteBackPeriodic2D(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                         const std::string& temporaryPath, CAtomicIndexMap& map);
void WriteBackNonPeriodic(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                          const std::string& temporaryPath);
