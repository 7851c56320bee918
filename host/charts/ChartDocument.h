// The chart document ("SDDocuments.Chart2dDocument"): charts with titles,
// axes and legends, each with graphs of points and their drawing styles.
// A new document holds one empty chart. Every change of the contents marks
// the document modified, so that the document manager writes it back to
// its ".qcd" file when the project is synchronised.
#pragma once

#include "host/charts/ChartFile.h"
#include "host/charts/FileDocument.h"

#include "hostapi/charts.h"

namespace HostCharts {

class ChartDocument final : public FileDocument, public IKelvDispatchImpl<ISDChart2dDocument> {
public:
    // A new document with one empty chart.
    static KelvComPtr<ChartDocument> Create();
    // The chart document behind any interface of it; null for anything else.
    static ChartDocument* From(IUnknown* object);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    const ChartList& Charts() const { return m_charts; }
    // Replaces the contents (a document read from its file); not modified.
    void Load(const DocumentHeader& header, ChartList charts);
    // Marks the document modified (called by its charts and graphs).
    void Touch() { SetModifiedMark(true); }
    // Appends a new empty chart.
    std::shared_ptr<ChartData> AppendChart();
    bool Updating() const { return m_updating; }

    // ISDChart2dDocument
    HRESULT SetUpdating(LONG updating) override;
    HRESULT GetUpdating(LONG* pUpdating) override;
    HRESULT SetModified(LONG modified) override;
    HRESULT EndUpdate(LONG redraw) override;
    HRESULT get_Charts(ISDChart2dCollection** ppCharts) override;

private:
    ChartDocument();

    ChartList m_charts;
    bool m_updating = false;
};

} // namespace HostCharts
