#pragma once
// Copying a file's bytes as they stand, holes included.

#include <ostream>

// Copies the bytes of the open regular file `from`, from its start to the
// size its descriptor gives, to `to` (a stream over a new, empty file): only
// the file's data ranges are read and written (SEEK_DATA and SEEK_HOLE), a
// hole is passed over by moving the stream past it, so that a sparse file's
// copy is as sparse (a file of a gigabyte of nothing stays a few blocks),
// and the copy is as long as the file. Where the file system cannot tell
// data from holes every byte is copied. One block of memory is used,
// whatever the size. Returns 0, or the errno of a read that failed; a write
// that failed leaves `to` failed. A file that shrinks meanwhile is copied
// to where its bytes end.
int CopyFileData(int from, std::ostream& to);
