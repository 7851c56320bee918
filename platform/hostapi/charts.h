// Host application interfaces: 2-D chart documents, their charts, graphs and points.
#pragma once

#include "hostapi/core.h"

struct ISDChart2dCollection;
struct ISDChart2d;
struct ISDChart2dGraphs;
struct ISDChart2dGraph;

inline constexpr IID IID_ISDChart2dDocument = HostApi::MakeGuid("CE2FED1C-A7A4-4D46-90C0-7DDDA8985B5E");
// identifier of our own
inline constexpr IID IID_ISDChart2dCollection = HostApi::MakeGuid("1E629E25-2809-4218-BC20-AF0C7BE7BD80");
// identifier of our own
inline constexpr IID IID_ISDChart2d = HostApi::MakeGuid("CC73236D-AD16-40A9-8029-A902F09738E9");
// identifier of our own
inline constexpr IID IID_ISDChart2dGraphs = HostApi::MakeGuid("81F34705-C5F8-4420-A271-DA16EB622A86");
// identifier of our own
inline constexpr IID IID_ISDChart2dGraph = HostApi::MakeGuid("D0F0519B-228C-47D1-A0CC-54E6C7B0C4D9");

// Line styles of a graph.
enum SDLineStyle : LONG {
    SDLineNone = 0,
    SDLineSolid = 1,
    SDLineDash = 2,
    SDLineDot = 3,
    SDLineDashDot = 4,
    SDLineDashDotDot = 5
};

// A chart document ("SDDocuments.Chart2dDocument"); a new one holds one empty chart. Dual.
struct ISDChart2dDocument : public IDispatch {
    static const IID& Iid() { return IID_ISDChart2dDocument; }
    // Non-zero: the document is being updated and its views stop redrawing; 0: redraw again.
    virtual HRESULT SetUpdating(LONG updating) = 0;
    // Non-zero while an update runs.
    virtual HRESULT GetUpdating(LONG* pUpdating) = 0;
    // Sets (non-zero) or clears (0) the document's modified mark.
    virtual HRESULT SetModified(LONG modified) = 0;
    // Ends an update begun by SetUpdating; non-zero redraw: rescale and redraw every view.
    virtual HRESULT EndUpdate(LONG redraw) = 0;
    // The document's charts.
    virtual HRESULT get_Charts(ISDChart2dCollection** ppCharts) = 0;
};

// The charts of a chart document. Dual.
struct ISDChart2dCollection : public IDispatch {
    static const IID& Iid() { return IID_ISDChart2dCollection; }
    // Chart `index`, counted from 1. Out of range: DISP_E_BADINDEX.
    virtual HRESULT Item(LONG index, ISDChart2d** ppChart) = 0;
    // Number of charts.
    virtual HRESULT get_Count(LONG* pCount) = 0;
    // Appends a new empty chart.
    virtual HRESULT Add(ISDChart2d** ppChart) = 0;
};

// One chart: titles, axes and graphs.
struct ISDChart2d : public IUnknown {
    static const IID& Iid() { return IID_ISDChart2d; }
    // The chart's title.
    virtual HRESULT get_Title(BSTR* pTitle) = 0;
    virtual HRESULT put_Title(BSTR title) = 0;
    // The x axis title.
    virtual HRESULT get_XAxisTitle(BSTR* pTitle) = 0;
    virtual HRESULT put_XAxisTitle(BSTR title) = 0;
    // The y axis title.
    virtual HRESULT get_YAxisTitle(BSTR* pTitle) = 0;
    virtual HRESULT put_YAxisTitle(BSTR title) = 0;
    // Whether the axes follow the data.
    virtual HRESULT get_AutoScale(VARIANT_BOOL* pAutoScale) = 0;
    virtual HRESULT put_AutoScale(VARIANT_BOOL autoScale) = 0;
    // Whether the chart shows a legend of its graphs.
    virtual HRESULT get_ShowLegend(VARIANT_BOOL* pShow) = 0;
    virtual HRESULT put_ShowLegend(VARIANT_BOOL show) = 0;
    // The chart's graphs.
    virtual HRESULT get_Graphs(ISDChart2dGraphs** ppGraphs) = 0;
};

// The graphs of a chart, in the order they were added.
struct ISDChart2dGraphs : public IUnknown {
    static const IID& Iid() { return IID_ISDChart2dGraphs; }
    // Number of graphs.
    virtual HRESULT get_Count(LONG* pCount) = 0;
    // Graph `index`, counted from 1. Out of range: DISP_E_BADINDEX.
    virtual HRESULT Item(LONG index, ISDChart2dGraph** ppGraph) = 0;
    // Appends a new empty graph with that name.
    virtual HRESULT Add(BSTR name, ISDChart2dGraph** ppGraph) = 0;
};

// One graph: a named series of points with its drawing style.
struct ISDChart2dGraph : public IUnknown {
    static const IID& Iid() { return IID_ISDChart2dGraph; }
    // The graph's name (shown in the legend).
    virtual HRESULT get_Name(BSTR* pName) = 0;
    virtual HRESULT put_Name(BSTR name) = 0;
    // Whether each point is drawn as a marker.
    virtual HRESULT get_ShowMarkers(VARIANT_BOOL* pShow) = 0;
    virtual HRESULT put_ShowMarkers(VARIANT_BOOL show) = 0;
    // Colour as 0x00BBGGRR; 0 lets the chart choose.
    virtual HRESULT get_Colour(LONG* pColour) = 0;
    virtual HRESULT put_Colour(LONG colour) = 0;
    // Line width in points; 0 for the default width.
    virtual HRESULT get_LineWidth(LONG* pWidth) = 0;
    virtual HRESULT put_LineWidth(LONG width) = 0;
    // Whether the graph is drawn above the others (guide and tolerance lines).
    virtual HRESULT get_DrawOnTop(VARIANT_BOOL* pOnTop) = 0;
    virtual HRESULT put_DrawOnTop(VARIANT_BOOL onTop) = 0;
    // Line style (an SDLineStyle value).
    virtual HRESULT get_LineStyle(LONG* pStyle) = 0;
    virtual HRESULT put_LineStyle(LONG style) = 0;
    // Appends a point; itemIndex ties it to a frame or step (0: none).
    virtual HRESULT AddPoint(double x, double y, LONG itemIndex) = 0;
    // Number of points.
    virtual HRESULT get_PointCount(LONG* pCount) = 0;
    // Point `index`, counted from 1. Out of range: DISP_E_BADINDEX.
    virtual HRESULT GetPoint(LONG index, double* pX, double* pY, LONG* pItemIndex) = 0;
    // Removes every point.
    virtual HRESULT Clear() = 0;
    // Smallest x of the points as VT_R8; a graph without points: S_FALSE and VT_EMPTY.
    virtual HRESULT get_MinX(VARIANT* pMinX) = 0;
    // Largest x of the points as VT_R8; a graph without points: S_FALSE and VT_EMPTY.
    virtual HRESULT get_MaxX(VARIANT* pMaxX) = 0;
};

// identifier of our own
inline constexpr IID IID_ISDChart2dAxisMarks = HostApi::MakeGuid("5B0C7E2A-91D4-4F3B-8C6E-2A7D13F0B9C4");

// Labelled marks along the x axis of a chart (the labelled k-points of a
// band structure), asked of an ISDChart2d with QueryInterface.
struct ISDChart2dAxisMarks : public IUnknown {
    static const IID& Iid() { return IID_ISDChart2dAxisMarks; }
    // Removes every mark.
    virtual HRESULT ClearXAxisMarks() = 0;
    // Appends a mark at x with its text; x must be finite.
    virtual HRESULT AddXAxisMark(double x, BSTR text) = 0;
    // Number of marks.
    virtual HRESULT get_XAxisMarkCount(LONG* pCount) = 0;
    // Mark `index`, counted from 1. Out of range: DISP_E_BADINDEX.
    virtual HRESULT GetXAxisMark(LONG index, double* pX, BSTR* pText) = 0;
};
