// The chart and text documents through their interfaces: charts, graphs and
// points, the modified mark and the update state, the document root.

#include "host/charts/ChartDocument.h"
#include "host/charts/TextDocument.h"

#include "common/ErrorInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace HostCharts;

namespace {

KelvComPtr<ISDChart2d> ChartOf(ChartDocument& document, LONG index)
{
    KelvComPtr<ISDChart2dCollection> charts;
    EXPECT_EQ(S_OK, document.get_Charts(charts.Receive()));
    KelvComPtr<ISDChart2d> chart;
    EXPECT_EQ(S_OK, charts->Item(index, chart.Receive()));
    return chart;
}

KelvComPtr<ISDChart2dGraph> AddGraph(ISDChart2d* chart, const std::string& name)
{
    KelvComPtr<ISDChart2dGraphs> graphs;
    EXPECT_EQ(S_OK, chart->get_Graphs(graphs.Receive()));
    KelvComPtr<ISDChart2dGraph> graph;
    KelvBSTR text(name);
    EXPECT_EQ(S_OK, graphs->Add(text.Get(), graph.Receive()));
    return graph;
}

} // namespace

TEST(ChartDocument, NewDocumentHasOneEmptyChartAndCountsFromOne)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    KelvComPtr<ISDChart2dCollection> charts;
    ASSERT_EQ(S_OK, document->get_Charts(charts.Receive()));
    LONG count = 0;
    EXPECT_EQ(S_OK, charts->get_Count(&count));
    EXPECT_EQ(1, count);
    KelvComPtr<ISDChart2d> chart;
    for (LONG bad : {0, 2, -1}) {
        EXPECT_EQ(DISP_E_BADINDEX, charts->Item(bad, chart.Receive())) << bad;
        EXPECT_FALSE(chart);
    }
    EXPECT_NE(std::string::npos, QzTest::LastErrorText().find("no chart -1"));

    KelvComPtr<ISDChart2d> second;
    ASSERT_EQ(S_OK, charts->Add(second.Receive()));
    EXPECT_EQ(S_OK, charts->get_Count(&count));
    EXPECT_EQ(2, count);
    KelvComPtr<ISDChart2dGraphs> graphs;
    ASSERT_EQ(S_OK, second->get_Graphs(graphs.Receive()));
    EXPECT_EQ(S_OK, graphs->get_Count(&count));
    EXPECT_EQ(0, count);
    KelvComPtr<ISDChart2dGraph> graph;
    EXPECT_EQ(DISP_E_BADINDEX, graphs->Item(1, graph.Receive()));
}

TEST(ChartDocument, GraphsKeepTheirPointsAndStylesInOrder)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    KelvComPtr<ISDChart2d> chart = ChartOf(*document, 1);
    KelvComPtr<ISDChart2dGraph> energy = AddGraph(chart.get(), "Energy");
    KelvComPtr<ISDChart2dGraph> gradient = AddGraph(chart.get(), "Gradient");
    EXPECT_EQ(S_OK, gradient->AddPoint(2.5, -1.0, 7));
    EXPECT_EQ(S_OK, gradient->AddPoint(-0.5, 3.0, 8));
    EXPECT_EQ(S_OK, gradient->put_LineStyle(SDLineDashDotDot));
    EXPECT_EQ(S_OK, gradient->put_DrawOnTop(VARIANT_TRUE));
    EXPECT_EQ(E_INVALIDARG, gradient->put_LineStyle(6));
    EXPECT_EQ(E_INVALIDARG, gradient->put_LineWidth(-1));

    // The same graph fetched again by index shows what was set.
    KelvComPtr<ISDChart2dGraphs> graphs;
    ASSERT_EQ(S_OK, chart->get_Graphs(graphs.Receive()));
    KelvComPtr<ISDChart2dGraph> second;
    ASSERT_EQ(S_OK, graphs->Item(2, second.Receive()));
    KelvBSTR name;
    EXPECT_EQ(S_OK, second->get_Name(name.Receive()));
    EXPECT_EQ("Gradient", name.ToTString());
    LONG style = 0, count = 0, item = 0;
    VARIANT_BOOL onTop = VARIANT_FALSE;
    EXPECT_EQ(S_OK, second->get_LineStyle(&style));
    EXPECT_EQ(SDLineDashDotDot, style);
    EXPECT_EQ(S_OK, second->get_DrawOnTop(&onTop));
    EXPECT_EQ(VARIANT_TRUE, onTop);
    EXPECT_EQ(S_OK, second->get_PointCount(&count));
    EXPECT_EQ(2, count);
    double x = 0, y = 0;
    EXPECT_EQ(S_OK, second->GetPoint(2, &x, &y, &item));
    EXPECT_EQ(-0.5, x);
    EXPECT_EQ(3.0, y);
    EXPECT_EQ(8, item);
    EXPECT_EQ(DISP_E_BADINDEX, second->GetPoint(3, &x, &y, &item));
    EXPECT_EQ(E_POINTER, second->GetPoint(1, nullptr, &y, &item));

    ASSERT_EQ(2u, document->Charts()[0]->graphs.size());
    EXPECT_TRUE(document->Charts()[0]->graphs[0]->points.empty());
    EXPECT_EQ("Energy", document->Charts()[0]->graphs[0]->name);
}

TEST(ChartDocument, RangeOfXIgnoresMissingValuesAndIsEmptyWithoutPoints)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    KelvComPtr<ISDChart2dGraph> graph = AddGraph(ChartOf(*document, 1).get(), "g");
    KelvVariant minimum, maximum;
    EXPECT_EQ(S_FALSE, graph->get_MinX(minimum.Receive()));
    EXPECT_EQ(VT_EMPTY, minimum.Get().vt);
    EXPECT_EQ(S_FALSE, graph->get_MaxX(maximum.Receive()));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double x : {nan, 4.0, -2.0, nan, 9.5, 0.0})
        graph->AddPoint(x, 1.0, 0);
    ASSERT_EQ(S_OK, graph->get_MinX(minimum.Receive()));
    ASSERT_EQ(S_OK, graph->get_MaxX(maximum.Receive()));
    EXPECT_EQ(VT_R8, minimum.Get().vt);
    EXPECT_EQ(-2.0, minimum.Get().dblVal);
    EXPECT_EQ(9.5, maximum.Get().dblVal);

    EXPECT_EQ(S_OK, graph->Clear());
    EXPECT_EQ(S_FALSE, graph->get_MaxX(maximum.Receive()));
    EXPECT_EQ(VT_EMPTY, maximum.Get().vt);
}

TEST(ChartDocument, ChangesMarkTheDocumentModifiedAndTheMarkCanBeSet)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    EXPECT_FALSE(document->IsModified());
    KelvComPtr<ISDChart2d> chart = ChartOf(*document, 1);
    KelvBSTR empty("");
    EXPECT_EQ(S_OK, chart->put_Title(empty.Get())); // no change
    EXPECT_FALSE(document->IsModified());
    EXPECT_EQ(S_OK, chart->put_ShowLegend(VARIANT_TRUE));
    EXPECT_TRUE(document->IsModified());

    // The module clears the mark before it lays out a new chart; what it adds
    // afterwards must still reach the file.
    EXPECT_EQ(S_OK, document->SetModified(0));
    EXPECT_FALSE(document->IsModified());
    KelvComPtr<ISDChart2dGraph> graph = AddGraph(chart.get(), "g");
    EXPECT_TRUE(document->IsModified());
    document->SetModifiedMark(false);
    EXPECT_EQ(S_OK, graph->AddPoint(1, 2, 0));
    EXPECT_TRUE(document->IsModified());
    document->SetModifiedMark(false);
    EXPECT_EQ(S_OK, graph->Clear());
    EXPECT_TRUE(document->IsModified());
    document->SetModifiedMark(false);
    EXPECT_EQ(S_OK, graph->Clear()); // already empty
    EXPECT_FALSE(document->IsModified());
    EXPECT_EQ(S_OK, document->SetModified(-1));
    EXPECT_TRUE(document->IsModified());
}

TEST(ChartDocument, UpdateStateAndDocumentRoot)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    LONG updating = -5;
    EXPECT_EQ(S_OK, document->GetUpdating(&updating));
    EXPECT_EQ(0, updating);
    EXPECT_EQ(S_OK, document->SetUpdating(-1));
    EXPECT_EQ(S_OK, document->GetUpdating(&updating));
    EXPECT_NE(0, updating);
    EXPECT_EQ(S_OK, document->EndUpdate(1));
    EXPECT_EQ(S_OK, document->GetUpdating(&updating));
    EXPECT_EQ(0, updating);

    // The document root answers the chart interface, as the module asks it.
    KelvComPtr<ISBDocumentRoot> root(document);
    KelvComPtr<ISDChart2dDocument> asChart = root.TryQueryInterface<ISDChart2dDocument>();
    ASSERT_TRUE(asChart);
    EXPECT_EQ(document.get(), ChartDocument::From(asChart.get()));
    KelvComPtr<IUnknown> model;
    EXPECT_EQ(S_OK, root->get_ModelDocument(model.Receive()));
    EXPECT_EQ(document.get(), ChartDocument::From(model.get()));
    EXPECT_EQ(nullptr, TextDocument::From(root.get()));
    KelvComPtr<ISBScope> scope;
    EXPECT_EQ(E_NOTIMPL, root->get_ContentsAsScope(scope.Receive()));

    KelvComPtr<ISBDocumentInfo> info;
    ASSERT_EQ(S_OK, root->get_DocumentInfo(info.Receive()));
    KelvBSTR key("_ParentDocID"), id;
    KelvVariant value;
    EXPECT_EQ(S_FALSE, info->GetDocumentProperty(key.Get(), value.Receive()));
    EXPECT_EQ(S_OK, info->SetDocumentProperty(key.Get(), KelvVariant("{P}").Get()));
    EXPECT_TRUE(document->IsModified());
    EXPECT_EQ(S_OK, info->GetDocumentProperty(key.Get(), value.Receive()));
    EXPECT_EQ("{P}", value.String());
    EXPECT_EQ(S_OK, root->get_DocumentID(id.Receive()));
    EXPECT_EQ(38u, id.ToTString().size());
}

TEST(TextDocument, TextIsKeptByteForByteAndChangesMarkIt)
{
    KelvComPtr<TextDocument> document = TextDocument::Create();
    const std::string text("Status: \xC5 done\n\0tail", 20);
    KelvBSTR in(text), out;
    EXPECT_EQ(S_OK, document->put_Text(in.Get()));
    EXPECT_TRUE(document->IsModified());
    EXPECT_EQ(S_OK, document->get_Text(out.Receive()));
    EXPECT_EQ(text, out.ToTString());
    document->SetModifiedMark(false);
    EXPECT_EQ(S_OK, document->put_Text(in.Get()));
    EXPECT_FALSE(document->IsModified());
    // A renamed text document is not modified: its file keeps the text only.
    KelvBSTR name("Status");
    EXPECT_EQ(S_OK, document->put_DocumentName(name.Get()));
    EXPECT_FALSE(document->IsModified());
    EXPECT_EQ(E_POINTER, document->get_Text(nullptr));
    KelvComPtr<ISBDocumentRoot> root(document);
    EXPECT_TRUE(root.TryQueryInterface<ISDTextDocument>());
    EXPECT_FALSE(root.TryQueryInterface<ISDChart2dDocument>());
}
