#pragma once
// Update operations on host documents: while one is open the document's views
// stop redrawing; closing it ends the update and redraws them.

#include "hostapi/charts.h"
#include "kelv/KelvComPtr.h"

namespace UpdateUtilities {

// An update of a chart document, open for the object's life. The constructor
// begins the update (a failing host call is thrown as KelvResult; a null
// document is E_POINTER); the destructor ends it with a redraw, also when
// the scope is left by an exception, and never throws.
class CChart2dDocumentUpdateOperation {
public:
    explicit CChart2dDocumentUpdateOperation(ISDChart2dDocument* document);
    ~CChart2dDocumentUpdateOperation();
    CChart2dDocumentUpdateOperation(const CChart2dDocumentUpdateOperation&) = delete;
    CChart2dDocumentUpdateOperation& operator=(const CChart2dDocumentUpdateOperation&) = delete;

private:
    KelvComPtr<ISDChart2dDocument> m_document;
};

}  // namespace UpdateUtilities
