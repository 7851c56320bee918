#include "qorqm/ChartUpdateOperation.h"

#include "kelv/kelv.h"

namespace UpdateUtilities {

CChart2dDocumentUpdateOperation::CChart2dDocumentUpdateOperation(ISDChart2dDocument* document)
    : m_document(document)
{
    Kelv::CheckNullDereference(document);
    KelvResult::Check(m_document->SetUpdating(1));
}

CChart2dDocumentUpdateOperation::~CChart2dDocumentUpdateOperation()
{
    // The update ends whatever became of the work inside it; a failure to
    // end it has nowhere to go from a destructor.
    m_document->EndUpdate(1);
}

}  // namespace UpdateUtilities
