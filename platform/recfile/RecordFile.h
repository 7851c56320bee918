// The record-file runtime: unformatted sequential files of length-framed
// records, read through numbered units.
//
// A record on disk is
//     leading marker   4 bytes, the number L of data bytes, little-endian
//     data             L bytes
//     trailing marker  4 bytes, L again
// Values inside a record are little-endian: a real is an IEEE 754 binary64
// double, an integer a two's-complement 32-bit integer. The runtime decodes
// them on a machine of either byte order.
//
// Units belong to the calling thread: unit 31 of one thread is not unit 31 of
// another, so passes on different threads never share an open file.
//
// Outcome of every operation: 0 success, EndOfFile (-1) when the file ends
// before the record is whole (a file still being written thus ends at its
// last whole record), a positive code for any other error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace RecordFile {

enum Status : int {
    Ok = 0,
    EndOfFile = -1,
    CannotOpen = 1,      // the file is missing or cannot be read
    ShortRecord = 2,     // the record holds fewer values than asked for
    MarkerMismatch = 3,  // leading and trailing markers differ
    UnitNotOpen = 4,     // no file is open on the unit
    BadArgument = 5,     // an unknown keyword, a bad unit or item
    ReadFailure = 6,     // the system reported an I/O error
};

// One item of a read list: `count` consecutive values of one kind, taken
// from the record in list order. A null `data` skips the values (they must
// still be in the record) without storing them.
struct Item {
    enum Kind { Real8, Integer4 };
    Kind kind = Real8;
    void* data = nullptr;
    std::size_t count = 0;

    static Item Reals(double* values, std::size_t n) { return {Real8, values, n}; }
    static Item Real(double& value) { return {Real8, &value, 1}; }
    static Item Integers(std::int32_t* values, std::size_t n) { return {Integer4, values, n}; }
    static Item Integer(std::int32_t& value) { return {Integer4, &value, 1}; }
    static Item SkipReals(std::size_t n) { return {Real8, nullptr, n}; }
};

// Opens an existing file on `unit` (0 or above) for reading from its first
// record. The name is a fixed-length text of `nameLength` characters;
// trailing blanks are not part of the file name. The keywords accepted are
// status "OLD", form "UNFORMATTED", access "SEQUENTIAL", position "REWIND"
// and action "READ" (in any letter case); anything else is BadArgument. A
// file already open on the unit is closed first.
int Open(int unit, const char* name, std::size_t nameLength, const char* status = "OLD",
         const char* form = "UNFORMATTED", const char* access = "SEQUENTIAL", const char* position = "REWIND",
         const char* action = "READ");

// Reads the next record into the items. A record longer than the items is
// accepted and the rest of it skipped (never read into memory); a shorter
// one is ShortRecord; markers that differ are MarkerMismatch; a record cut
// by the end of the file, or no record at all, is EndOfFile. Whatever the
// outcome, the file position is after the record (or at the end), and items
// may have been partly filled.
int Read(int unit, const Item* items, std::size_t itemCount);
int Read(int unit, std::initializer_list<Item> items);

// Closes the unit, keeping the file ("KEEP", any letter case; anything else
// is BadArgument and closes nothing). Closing a unit that is not open is 0.
int Close(int unit, const char* status = "KEEP");

}  // namespace RecordFile
