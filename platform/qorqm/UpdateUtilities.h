#pragma once
// Helpers of the live updates.

#include "hostapi/hostapi.h"
#include "kelv/KelvBSTR.h"

namespace UpdateUtilities {

// The text document's content becomes the file's text (bytes taken as
// Latin-1). The document must answer ISDTextDocument; an unreadable file
// throws KelvResult naming it. The document manager is the one that holds
// the document; the caller saves it.
void SetTextDocumentContentFromFile(ISBDocumentManager* documentManager, const KelvBSTR& filePath,
                                    ISBDocumentRoot* document);

} // namespace UpdateUtilities
