// The chart document update operation: open for its object's life, ended
// with a redraw however the scope is left.
#include "qorqm/ChartUpdateOperation.h"

#include "host/charts/ChartDocument.h"
#include "host/model/OperationLog.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ChartUpdateOperation, EndsTheUpdateWithARedrawAlsoOnAnException)
{
    const KelvComPtr<HostCharts::ChartDocument> document = HostCharts::ChartDocument::Create();
    {
        const UpdateUtilities::CChart2dDocumentUpdateOperation update(document.get());
        EXPECT_TRUE(document->Updating());
    }
    EXPECT_FALSE(document->Updating());

    HostModel::OperationLog::Clear();
    try {
        const UpdateUtilities::CChart2dDocumentUpdateOperation update(document.get());
        throw std::runtime_error("drawing failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(document->Updating());
    const auto ends = HostModel::OperationLog::Find("ChartDocument", "EndUpdate");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].arguments.back(), "1");

    EXPECT_THROW(UpdateUtilities::CChart2dDocumentUpdateOperation(nullptr), KelvResult);
}

} // namespace
