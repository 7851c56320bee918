#pragma once
// The k-point path file ".kptaux": written beside a run's input deck when the
// run computes a phonon dispersion, read back beside the run's results to
// label the dispersion. Writer and reader form one pair over this format:
//
//   # k-point path: number, fractional reciprocal coordinates, kind, label
//   # kinds: 1 inside a segment, 2 segment start, 3 segment end, 4 joint
//   KPOINT_PATH <count>
//   <number> <x> <y> <z> <kind> [<label>]      (one line per point, number 1..count)
//   END_KPOINT_PATH
//
// Lines starting with "#" are comments. The label is the rest of the line
// after the kind, without leading and trailing blanks; a point without a
// label has none. Control characters of a label are written as blanks.

#include "hostapi/utilities.h"
#include "kelv/KelvComPtr.h"

#include <ostream>
#include <string>
#include <vector>

namespace QMKPointFileUtilities {

// Writes the whole block for the path: its point count, coordinates, kinds
// (asked through IQoDispersionPathPointKinds) and labels. The block is
// composed first and written in one piece, so a failing host call (thrown as
// KelvResult with the host's error) leaves the stream untouched. The stream's
// format settings are not used and not changed. A null path: KelvResult E_POINTER.
void WriteKPointPathBlock(std::ostream& stream, IQoDispersionPath* path);
void WriteKPointPathBlock(std::ostream& stream, const KelvComPtr<IQoDispersionPath>& path);

}  // namespace QMKPointFileUtilities

namespace KPointParseUtilities {

// Reads the ".kptaux" file that lies beside `path` (the path with its
// extension replaced by ".kptaux", so the dispersion file of a run finds the
// run's k-point path) and fills three parallel lists, one entry per point:
// the point numbers, the labels ("" for none) and the kinds. The lists are
// emptied first. A file that cannot be opened, or one that breaks the format
// (no KPOINT_PATH line, a point line that does not parse, a kind outside 1
// to 4, fewer or more points than announced, no END_KPOINT_PATH line),
// throws KelvResult E_UNEXPECTED naming the file; the lists are then empty.
void ReadPathInfo(const std::string& path, std::vector<LONG>& numbers, std::vector<std::string>& labels,
                  std::vector<SegmentBoundaryTypeEnum>& types);

}  // namespace KPointParseUtilities
