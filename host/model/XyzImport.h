// Import of a molecule from an XYZ file into a non-periodic structure
// document.
#pragma once

#include "host/model/Document.h"
#include "host/model/QsdFile.h"

#include <memory>
#include <string>

namespace HostModel {

// Reads an XYZ file: a line with the number of atoms, a comment line, then
// one line per atom with its element symbol and its Cartesian position in
// Angstrom (further columns are ignored). A file may hold several such
// frames one after the other (blank lines between them are allowed); one
// frame is taken, the first unless another is asked for. Its atoms become
// symmetry parents with IDs 1, 2, ... in file order; the document has no
// lattice and is named after the file. A truncated frame, an atom count
// that does not match the atom lines, an unknown element or a coordinate
// that is not a finite number, in any frame, is refused: FileError with the
// line and the reason (the caller names the file); so is a frame number
// past the last frame.
struct XyzFrame {
    std::shared_ptr<Document> document; // the frame taken
    std::size_t frame = 1;              // its number, from 1
    std::size_t frames = 0;             // how many the file holds
    std::size_t atomsOfFirst = 0;
};
XyzFrame ImportXyzFrame(const std::string& path, std::size_t frame);
XyzFrame ImportXyzFrameText(const std::string& text, std::size_t frame);
// The first frame.
std::shared_ptr<Document> ImportXyz(const std::string& path);
std::shared_ptr<Document> ImportXyzText(const std::string& text);

} // namespace HostModel
