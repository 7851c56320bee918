#include "qorqm/UpdateUtilities.h"

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
    std::ifstream in(PathUtilities::ToNative(path), std::ios::binary);
    if (!in)
        throw KelvResult(STG_E_FILENOTFOUND, "The file \"" + path + "\" cannot be opened.");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw KelvResult(E_FAIL, "The file \"" + path + "\" cannot be read.");
    const KelvComPtr<ISDTextDocument> textDocument =
        KelvComPtr<IUnknown>(static_cast<IUnknown*>(document)).QueryInterface<ISDTextDocument>();
    const KelvBSTR content(text.str());
    KelvResult::Check(textDocument->put_Text(content.Get()));
}

} // namespace UpdateUtilities
