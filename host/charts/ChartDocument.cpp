#include "host/charts/ChartDocument.h"

#include "host/managers/HostCall.h"

#include <cmath>

namespace HostCharts {

using QzHost::Fail;
using QzHost::HostCall;
using QzHost::Log;
using QzHost::Narrow;
using QzHost::Quote;
using QzHost::RequireOut;
using QzHost::StoreString;

namespace {

VARIANT_BOOL ToVariantBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// Index counted from 1 into a list of `count`; anything else is DISP_E_BADINDEX.
std::size_t RequireIndex(LONG index, std::size_t count, const std::string& what)
{
    if (index < 1 || static_cast<std::size_t>(index) > count)
        Fail(DISP_E_BADINDEX,
             "There is no " + what + " " + std::to_string(index) + " (there are " + std::to_string(count) + ").");
    return static_cast<std::size_t>(index - 1);
}

template <class T, class U>
void Hand(T** out, U* object)
{
    // object arrives with the one reference the caller now owns.
    *out = static_cast<T*>(object);
}

// Sets a value and marks the document modified when it changes.
template <class T>
void Change(ChartDocument& document, T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    document.Touch();
}

class Graph final : public CKelvUnknown, public ISDChart2dGraph {
public:
    Graph(KelvComPtr<ChartDocument> owner, std::shared_ptr<GraphData> data)
        : m_owner(std::move(owner)), m_data(std::move(data))
    {
    }
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDChart2dGraph)
            return FinishQI(static_cast<ISDChart2dGraph*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT get_Name(BSTR* pName) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] { StoreString(pName, m_data->name); });
    }
    HRESULT put_Name(BSTR name) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] { Change(*m_owner, m_data->name, Narrow(name)); });
    }
    HRESULT get_ShowMarkers(VARIANT_BOOL* pShow) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            RequireOut(pShow);
            *pShow = ToVariantBool(m_data->showMarkers);
        });
    }
    HRESULT put_ShowMarkers(VARIANT_BOOL show) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] { Change(*m_owner, m_data->showMarkers, show != 0); });
    }
    HRESULT get_Colour(LONG* pColour) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            RequireOut(pColour);
            *pColour = m_data->colour;
        });
    }
    HRESULT put_Colour(LONG colour) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] { Change(*m_owner, m_data->colour, colour); });
    }
    HRESULT get_LineWidth(LONG* pWidth) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            RequireOut(pWidth);
            *pWidth = m_data->lineWidth;
        });
    }
    HRESULT put_LineWidth(LONG width) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            if (width < 0)
                Fail(E_INVALIDARG, "A line width cannot be negative (" + std::to_string(width) + ").");
            Change(*m_owner, m_data->lineWidth, width);
        });
    }
    HRESULT get_DrawOnTop(VARIANT_BOOL* pOnTop) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            RequireOut(pOnTop);
            *pOnTop = ToVariantBool(m_data->drawOnTop);
        });
    }
    HRESULT put_DrawOnTop(VARIANT_BOOL onTop) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] { Change(*m_owner, m_data->drawOnTop, onTop != 0); });
    }
    HRESULT get_LineStyle(LONG* pStyle) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            RequireOut(pStyle);
            *pStyle = m_data->lineStyle;
        });
    }
    HRESULT put_LineStyle(LONG style) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            if (style < SDLineNone || style > SDLineDashDotDot)
                Fail(E_INVALIDARG, "There is no line style " + std::to_string(style) + ".");
            Change(*m_owner, m_data->lineStyle, static_cast<std::int32_t>(style));
        });
    }
    HRESULT AddPoint(double x, double y, LONG itemIndex) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            m_data->points.push_back(ChartPoint{x, y, itemIndex});
            m_owner->Touch();
        });
    }
    HRESULT get_PointCount(LONG* pCount) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            RequireOut(pCount);
            *pCount = static_cast<LONG>(m_data->points.size());
        });
    }
    HRESULT GetPoint(LONG index, double* pX, double* pY, LONG* pItemIndex) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            RequireOut(pX);
            RequireOut(pY);
            RequireOut(pItemIndex);
            const ChartPoint& p = m_data->points[RequireIndex(index, m_data->points.size(), "point")];
            *pX = p.x;
            *pY = p.y;
            *pItemIndex = p.itemIndex;
        });
    }
    HRESULT Clear() override
    {
        return HostCall(IID_ISDChart2dGraph, [&] {
            if (m_data->points.empty())
                return;
            m_data->points.clear();
            m_owner->Touch();
        });
    }
    HRESULT get_MinX(VARIANT* pMinX) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] { return Extreme(pMinX, false); });
    }
    HRESULT get_MaxX(VARIANT* pMaxX) override
    {
        return HostCall(IID_ISDChart2dGraph, [&] { return Extreme(pMaxX, true); });
    }

private:
    // The smallest or largest x; points whose x is not a number take no part.
    HRESULT Extreme(VARIANT* out, bool largest) const
    {
        RequireOut(out);
        VariantInit(out);
        bool found = false;
        double extreme = 0.0;
        for (const ChartPoint& p : m_data->points) {
            if (std::isnan(p.x))
                continue;
            if (!found || (largest ? p.x > extreme : p.x < extreme))
                extreme = p.x;
            found = true;
        }
        if (!found)
            return S_FALSE;
        *out = KelvVariant(extreme).Detach();
        return S_OK;
    }

    KelvComPtr<ChartDocument> m_owner;
    std::shared_ptr<GraphData> m_data;
};

class Graphs final : public CKelvUnknown, public ISDChart2dGraphs {
public:
    Graphs(KelvComPtr<ChartDocument> owner, std::shared_ptr<ChartData> chart)
        : m_owner(std::move(owner)), m_chart(std::move(chart))
    {
    }
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDChart2dGraphs)
            return FinishQI(static_cast<ISDChart2dGraphs*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT get_Count(LONG* pCount) override
    {
        return HostCall(IID_ISDChart2dGraphs, [&] {
            RequireOut(pCount);
            *pCount = static_cast<LONG>(m_chart->graphs.size());
        });
    }
    HRESULT Item(LONG index, ISDChart2dGraph** ppGraph) override
    {
        return HostCall(IID_ISDChart2dGraphs, [&] {
            RequireOut(ppGraph);
            *ppGraph = nullptr;
            const std::size_t i = RequireIndex(index, m_chart->graphs.size(), "graph");
            Hand(ppGraph, new Graph(m_owner, m_chart->graphs[i]));
        });
    }
    HRESULT Add(BSTR name, ISDChart2dGraph** ppGraph) override
    {
        return HostCall(IID_ISDChart2dGraphs, [&] {
            RequireOut(ppGraph);
            *ppGraph = nullptr;
            auto graph = std::make_shared<GraphData>();
            graph->name = Narrow(name);
            Log("ChartDocument", "AddGraph", {Quote(m_owner->Url()), Quote(graph->name)});
            m_chart->graphs.push_back(graph);
            m_owner->Touch();
            Hand(ppGraph, new Graph(m_owner, std::move(graph)));
        });
    }

private:
    KelvComPtr<ChartDocument> m_owner;
    std::shared_ptr<ChartData> m_chart;
};

class Chart final : public CKelvUnknown, public ISDChart2d, public ISDChart2dAxisMarks {
public:
    Chart(KelvComPtr<ChartDocument> owner, std::shared_ptr<ChartData> data)
        : m_owner(std::move(owner)), m_data(std::move(data))
    {
    }
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDChart2d)
            return FinishQI(static_cast<ISDChart2d*>(this), out);
        if (iid == IID_ISDChart2dAxisMarks)
            return FinishQI(static_cast<ISDChart2dAxisMarks*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    // ISDChart2dAxisMarks
    HRESULT ClearXAxisMarks() override
    {
        return HostCall(IID_ISDChart2dAxisMarks, [&] {
            if (m_data->xMarks.empty())
                return;
            m_data->xMarks.clear();
            m_owner->Touch();
        });
    }
    HRESULT AddXAxisMark(double x, BSTR text) override
    {
        return HostCall(IID_ISDChart2dAxisMarks, [&] {
            if (!std::isfinite(x))
                Fail(E_INVALIDARG, "An axis mark needs a finite position.");
            m_data->xMarks.push_back(AxisMark{x, Narrow(text)});
            m_owner->Touch();
        });
    }
    HRESULT get_XAxisMarkCount(LONG* pCount) override
    {
        return HostCall(IID_ISDChart2dAxisMarks, [&] {
            RequireOut(pCount);
            *pCount = static_cast<LONG>(m_data->xMarks.size());
        });
    }
    HRESULT GetXAxisMark(LONG index, double* pX, BSTR* pText) override
    {
        return HostCall(IID_ISDChart2dAxisMarks, [&] {
            RequireOut(pX);
            RequireOut(pText);
            *pText = nullptr;
            const AxisMark& mark = m_data->xMarks[RequireIndex(index, m_data->xMarks.size(), "axis mark")];
            *pX = mark.x;
            StoreString(pText, mark.text);
        });
    }

    HRESULT get_Title(BSTR* pTitle) override
    {
        return HostCall(IID_ISDChart2d, [&] { StoreString(pTitle, m_data->title); });
    }
    HRESULT put_Title(BSTR title) override
    {
        return HostCall(IID_ISDChart2d, [&] { Change(*m_owner, m_data->title, Narrow(title)); });
    }
    HRESULT get_XAxisTitle(BSTR* pTitle) override
    {
        return HostCall(IID_ISDChart2d, [&] { StoreString(pTitle, m_data->xAxisTitle); });
    }
    HRESULT put_XAxisTitle(BSTR title) override
    {
        return HostCall(IID_ISDChart2d, [&] { Change(*m_owner, m_data->xAxisTitle, Narrow(title)); });
    }
    HRESULT get_YAxisTitle(BSTR* pTitle) override
    {
        return HostCall(IID_ISDChart2d, [&] { StoreString(pTitle, m_data->yAxisTitle); });
    }
    HRESULT put_YAxisTitle(BSTR title) override
    {
        return HostCall(IID_ISDChart2d, [&] { Change(*m_owner, m_data->yAxisTitle, Narrow(title)); });
    }
    HRESULT get_AutoScale(VARIANT_BOOL* pAutoScale) override
    {
        return HostCall(IID_ISDChart2d, [&] {
            RequireOut(pAutoScale);
            *pAutoScale = ToVariantBool(m_data->autoScale);
        });
    }
    HRESULT put_AutoScale(VARIANT_BOOL autoScale) override
    {
        return HostCall(IID_ISDChart2d, [&] { Change(*m_owner, m_data->autoScale, autoScale != 0); });
    }
    HRESULT get_ShowLegend(VARIANT_BOOL* pShow) override
    {
        return HostCall(IID_ISDChart2d, [&] {
            RequireOut(pShow);
            *pShow = ToVariantBool(m_data->showLegend);
        });
    }
    HRESULT put_ShowLegend(VARIANT_BOOL show) override
    {
        return HostCall(IID_ISDChart2d, [&] { Change(*m_owner, m_data->showLegend, show != 0); });
    }
    HRESULT get_Graphs(ISDChart2dGraphs** ppGraphs) override
    {
        return HostCall(IID_ISDChart2d, [&] {
            RequireOut(ppGraphs);
            *ppGraphs = nullptr;
            Hand(ppGraphs, new Graphs(m_owner, m_data));
        });
    }

private:
    KelvComPtr<ChartDocument> m_owner;
    std::shared_ptr<ChartData> m_data;
};

class ChartCollection final : public CKelvUnknown, public IKelvDispatchImpl<ISDChart2dCollection> {
public:
    explicit ChartCollection(KelvComPtr<ChartDocument> owner) : m_owner(std::move(owner)) {}
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDChart2dCollection || iid == IID_IDispatch)
            return FinishQI(static_cast<ISDChart2dCollection*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }

    HRESULT Item(LONG index, ISDChart2d** ppChart) override
    {
        return HostCall(IID_ISDChart2dCollection, [&] {
            RequireOut(ppChart);
            *ppChart = nullptr;
            const std::size_t i = RequireIndex(index, m_owner->Charts().size(), "chart");
            Hand(ppChart, new Chart(m_owner, m_owner->Charts()[i]));
        });
    }
    HRESULT get_Count(LONG* pCount) override
    {
        return HostCall(IID_ISDChart2dCollection, [&] {
            RequireOut(pCount);
            *pCount = static_cast<LONG>(m_owner->Charts().size());
        });
    }
    HRESULT Add(ISDChart2d** ppChart) override
    {
        return HostCall(IID_ISDChart2dCollection, [&] {
            RequireOut(ppChart);
            *ppChart = nullptr;
            Log("ChartDocument", "AddChart", {Quote(m_owner->Url())});
            std::shared_ptr<ChartData> chart = m_owner->AppendChart();
            Hand(ppChart, new Chart(m_owner, std::move(chart)));
        });
    }

private:
    KelvComPtr<ChartDocument> m_owner;
};

} // namespace

KelvComPtr<ChartDocument> ChartDocument::Create()
{
    return KelvComPtr<ChartDocument>::Adopt(new ChartDocument());
}

ChartDocument::ChartDocument() : FileDocument("ChartDocument", true)
{
    m_charts.push_back(std::make_shared<ChartData>());
}

ChartDocument* ChartDocument::From(IUnknown* object)
{
    return dynamic_cast<ChartDocument*>(FileDocument::From(object));
}

HRESULT ChartDocument::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISDChart2dDocument || iid == IID_IDispatch)
        return FinishQI(static_cast<ISDChart2dDocument*>(this), out);
    return FileDocument::DelegatedQueryInterface(iid, out);
}

void ChartDocument::Load(const DocumentHeader& header, ChartList charts)
{
    SetHeader(header);
    m_charts = std::move(charts);
    SetModifiedMark(false);
}

std::shared_ptr<ChartData> ChartDocument::AppendChart()
{
    auto chart = std::make_shared<ChartData>();
    m_charts.push_back(chart);
    Touch();
    return chart;
}

HRESULT ChartDocument::SetUpdating(LONG updating)
{
    return HostCall(IID_ISDChart2dDocument, [&] {
        Log("ChartDocument", "SetUpdating", {Quote(Url()), std::to_string(updating)});
        m_updating = updating != 0;
    });
}

HRESULT ChartDocument::GetUpdating(LONG* pUpdating)
{
    return HostCall(IID_ISDChart2dDocument, [&] {
        RequireOut(pUpdating);
        *pUpdating = m_updating ? 1 : 0;
    });
}

HRESULT ChartDocument::SetModified(LONG modified)
{
    return HostCall(IID_ISDChart2dDocument, [&] {
        Log("ChartDocument", "SetModified", {Quote(Url()), std::to_string(modified)});
        SetModifiedMark(modified != 0);
    });
}

HRESULT ChartDocument::EndUpdate(LONG redraw)
{
    return HostCall(IID_ISDChart2dDocument, [&] {
        Log("ChartDocument", "EndUpdate", {Quote(Url()), std::to_string(redraw)});
        m_updating = false;
    });
}

HRESULT ChartDocument::get_Charts(ISDChart2dCollection** ppCharts)
{
    return HostCall(IID_ISDChart2dDocument, [&] {
        RequireOut(ppCharts);
        *ppCharts = nullptr;
        Hand(ppCharts, new ChartCollection(KelvComPtr<ChartDocument>(this)));
    });
}

} // namespace HostCharts
