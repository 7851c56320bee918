// Structure files of the host: a ".qsd" structure, or a ".qtd" trajectory
// document, which is a structure file whose frames stand in the ".trj" file
// beside it.
#pragma once

#include <memory>
#include <string>

#include "host/model/Document.h"

namespace HostModel {

// Loads a structure file. For a ".qtd" the ".trj" of the same name is read
// too: a missing one leaves the document without frames, a damaged one
// throws KelvResult with a message naming it.
std::shared_ptr<Document> LoadStructureFile(const std::string& path);

}  // namespace HostModel
