#include "qorqm/UpdateUtilities.h"

#include "com/regularfile.h"

#include "qorqm/PathUtilities.h"

#include "kelv/KelvComPtr.h"
#include "kelv/KelvErrors.h"
#include "kelv/KelvResult.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace UpdateUtilities {

void SetTextDocumentContentFromFile(ISBDocumentManager* documentManager, const KelvBSTR& filePath,
                                    ISBDocumentRoot* document)
{
    Kelv::CheckNullDereference(documentManager);
    Kelv::CheckNullDereference(document);
    const std::string path = filePath.ToTString();
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(PathUtilities::ToNative(path), text, why, RegularFile::Bound::Document))
        throw KelvResult(STG_E_FILENOTFOUND, "The file \"" + path + "\" " +
                                                 (why == RegularFile::NotThere ? std::string("cannot be opened") : why) + ".");
    const KelvComPtr<ISDTextDocument> textDocument =
        KelvComPtr<IUnknown>(static_cast<IUnknown*>(document)).QueryInterface<ISDTextDocument>();
    const KelvBSTR content(text);
    KelvResult::Check(textDocument->put_Text(content.Get()));
}

} // namespace UpdateUtilities
