// The host's trajectory writer: turns a trajectory data provider into a
// ".trj" file (format in TrjFile.h).
#pragma once

#include "com/com.h"
#include "hostapi/trajectory.h"
#include "kelv/KelvBSTR.h"

#include <string>

class CTrjWriter {
public:
    // Writes the provider's frames to `name` + ".trj" (a name that already
    // ends in ".trj" is taken as it is). The provider is walked with
    // GoToFirstFrame, then GoToNextFrame while it answers true; a frame's
    // values are asked only while the last of those calls answered true,
    // the cell only for periodicity 3 or 2. The file is written under a
    // temporary name beside it and renamed at the end, so a failure leaves
    // no ".trj" (and an older one of that name untouched).
    // Returns S_OK; an exception of the provider becomes its failing HRESULT
    // (with its error information), a list that does not hold 3 values per
    // atom E_UNEXPECTED, a file that cannot be written a write error. With
    // the `project` folder, a file of the project is not written through a
    // link leading outside it (LinkLeavingProject, ReplaceFile.h).
    HRESULT WriteTrajFile(CTrjDataProvider& provider, const KelvBSTR& name,
                          const std::string& project = std::string());
    // Throws (KelvResult) what WriteTrajFile would fail with for a file that
    // cannot be written at `name` (a folder, a FIFO or a link leading out of
    // `project` in its place, a folder that allows no new file); writes
    // nothing.
    static void CheckTrajFilePlace(const KelvBSTR& name, const std::string& project = std::string());
};
