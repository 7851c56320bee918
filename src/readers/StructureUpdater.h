// Writes the final structure of an engine run (the last frame of an archive)
// back into a 3D structure document: the cell and every atom's position,
// inside one host operation "Update structure".
#pragma once

#include <string>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorvira/AtomicIndexMap.h"
#include "readers/TrajectoryArchive.h"

// What an archive gives the structure update, read through one open: its
// whole frames and how they end (as the archive reader judges them, with the
// run's atom count), its periodicity, the text of the working copy (the
// archive's first three lines and its last whole frame, blank lines left
// out) and that frame, in file order and in document order through the map.
struct FinalArcFrame {
    std::size_t frames = 0;
    bool lastFrameCut = false;
    std::size_t damagedFrame = 0;
    bool periodic2D = false;
    bool periodic3D = false;
    std::string copy;
    // Whether the copy gives exactly one frame, which `frame` and `mapped` hold.
    bool hasFrame = false;
    TrajectoryArchiveFrame frame;
    TrajectoryArchiveFrame mapped;
};

// The last whole frame of the archive at `source` as the archive reader finds
// it (every frame judged, none kept; one open serves the working copy's text
// too); its failures thrown as the archive reader throws them.
FinalArcFrame ReadFinalFrame(const std::string& source, const CAtomicIndexMap& map);

// The structure update of a document from a run's archive, prepared: every
// read and check made, nothing written. `frames` 0 when the archive holds no
// whole frame (its places are not checked then: there is nothing to write).
struct StructureUpdatePlan {
    std::string archive;
    // The working copy <archive without extension>_TDE_.arc and the folder
    // it is held to (RunFileHold).
    std::string workingCopy;
    std::string hold;
    CAtomicIndexMap map;
    FinalArcFrame last;
};

// The refusal of a working copy that cannot be written, told apart from the
// archive reader's failures.
class WorkingCopyRefusal : public KelvResult {
public:
    using KelvResult::KelvResult;
};

// Reads the archive (ReadFinalFrame) and, when it gives a frame, checks the
// working copy's place as its writer would: a folder, a FIFO, a device or a
// socket in its place, a link leading out of the run's folder (or of the
// project that holds it) and a folder that allows no new file are refused
// with the words of the copy's writer ("Unable to open ZELM intermediate
// arc file: ...", thrown as WorkingCopyRefusal). `project` is the project of
// the run's files.
StructureUpdatePlan PrepareStructureUpdate(const std::string& archive, const CAtomicIndexMap& map,
                                           const std::string& project);

// Writes the prepared frame into the document: the working copy written and
// removed again, the write-back of the document's periodicity inside one
// host operation "Update structure", then the project's documents
// synchronised. Nothing is read again. A plan without a frame changes
// nothing.
void CompleteStructureUpdate(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                             const StructureUpdatePlan& plan);

// The whole update from the archive at `outputPath` (its preparation, then
// its completion). A path without ".arc" or a missing file does nothing. The
// last frame is copied alone into <path without extension>_TDE_.arc and
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

// The write-back of each periodicity from the archive's last frame. Each
// checks the document against the frame before it changes anything; a frame
// of the wrong periodicity, a copy holding other than one frame, or (2-D)
// surface vectors that make no cell change nothing. The 2-D write-back takes
// the frame in document order (the surface run's atom map), the others in
// file order.
void WriteBackPeriodic3D(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                         const FinalArcFrame& last);
void WriteBackPeriodic2D(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                         const FinalArcFrame& last);
void WriteBackNonPeriodic(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                          const FinalArcFrame& last);
