// The structure document file (".qsd"): a readable JSON text of our own.
// Positions are stored in the document's own frame (fractional for 3-D,
// (fu, fv, z) for 2-D, Cartesian otherwise), angles in degrees; symmetry
// images are stored by parent and operator, their positions derived.
#pragma once

#include "host/model/Document.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace HostModel {

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string QsdText(const Document& document);
// Throws FileError with the reason for malformed or inconsistent text.
std::shared_ptr<Document> DocumentFromQsdText(const std::string& text);

// Writes the file through a temporary beside it, renamed into place, so that
// a failed write leaves the previous file whole; the document's URL is not
// changed here. Throws FileError when the file cannot be written.
void SaveQsd(const Document& document, const std::string& path);
// Reads a file; the document's URL becomes the path. Throws FileError with
// a message that names the file.
std::shared_ptr<Document> LoadQsd(const std::string& path);

} // namespace HostModel
