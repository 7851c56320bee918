// The host's phonon dispersion generator on hand-made dispersion data: path
// lengths, breaks, bands in the chosen unit, axis marks and their file.
#include "host/charts/ChartDocument.h"
#include "host/charts/ChartSvg.h"
#include "host/charts/PhononDispersionGenerator.h"

#include "common/ErrorInfo.h"
#include "common/FakeDataObjects.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace HostCharts;
using QzTest::Fake;
using QzTest::Make;
using QzTest::NoDispatch;

namespace {

class Matrix final : public Fake<NoDispatch<ISDMatrix3d>> {
public:
    HRESULT get_Element(LONG, LONG, double*) override { return E_NOTIMPL; }
    HRESULT put_Element(LONG, LONG, double) override { return E_NOTIMPL; }
    HRESULT GetElements(double* e) override
    {
        for (int i = 0; i < 9; ++i)
            e[i] = m[i];
        return S_OK;
    }
    HRESULT SetElements(double, double, double, double, double, double, double, double, double) override
    {
        return E_NOTIMPL;
    }
    double m[9] = {0.2, 0, 0, 0, 0.2, 0, 0, 0, 0.2};
};

struct KPoint {
    double x, y, z;
    LONG type;
    const char* label;
    std::vector<double> frequencies;
};

// Two segments G-X-M (a joint at X) and, after a break, G-Z; frequencies in cm-1.
class Data final : public Fake<IQoPhononDispersionData, IQoQMDataProvider> {
public:
    std::vector<KPoint> points{{0, 0, 0, 2, "G", {0, 100}},       {0.5, 0, 0, 4, "X", {50, 150}},
                               {0.5, 0, 0, 4, "X", {50, 150}},    {0.5, 0.5, 0, 3, "M", {60, 160}},
                               {0, 0, 0, 2, "G", {0, 100}},       {0, 0, 0.5, 3, "Z", {40, 140}}};
    HRESULT failFrequencies = S_OK;

    HRESULT get_PropertyProvider(BSTR, VARIANT* out) override
    {
        *out = KelvVariant(static_cast<IUnknown*>(static_cast<IQoPhononDispersionData*>(this))).Detach();
        return S_OK;
    }
    HRESULT get_NumKPoints(LONG* count) override { return *count = static_cast<LONG>(points.size()), S_OK; }
    HRESULT GetKPoint(LONG i, ISDPoint3d** out) override
    {
        const KPoint& p = At(i);
        *out = new QzTest::Point(p.x, p.y, p.z);
        return S_OK;
    }
    HRESULT GetKPointBoundaryType(LONG i, LONG* type) override { return *type = At(i).type, S_OK; }
    HRESULT HasKPointLabel(LONG i, VARIANT_BOOL* has) override
    {
        *has = *At(i).label ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT GetKPointLabel(LONG i, BSTR* label) override
    {
        *label = Kelv::bstrdup(std::string(At(i).label));
        return S_OK;
    }
    HRESULT GetReciprocalLattice(ISDMatrix3d** out) override
    {
        *out = new Matrix();
        return S_OK;
    }
    HRESULT GetFrequencies(LONG i, ISDVariantDataDimension** out) override
    {
        if (FAILED(failFrequencies))
            return QzTest::HostError(failFrequencies, "invalid vector<T> subscript");
        auto* values = new QzTest::Collection();
        for (double f : At(i).frequencies)
            values->values.emplace_back(f);
        *out = values;
        return S_OK;
    }
    HRESULT get_FrequencyUnits(LONG* unit) override { return *unit = 5, S_OK; }

private:
    const KPoint& At(LONG i) const { return points.at(static_cast<std::size_t>(i - 1)); }
};

KelvComPtr<ISDChart2d> FirstChart(ChartDocument& document)
{
    KelvComPtr<ISDChart2dCollection> charts;
    EXPECT_EQ(S_OK, document.get_Charts(charts.Receive()));
    KelvComPtr<ISDChart2d> chart;
    EXPECT_EQ(S_OK, charts->Item(1, chart.Receive()));
    return chart;
}

HRESULT Plot(PhononDispersionGenerator& generator, ISDChart2d* chart)
{
    KelvBSTR application("ZELM");
    return generator.PlotPhononDispersion(chart, application.Get());
}

} // namespace

TEST(PhononDispersionGenerator, DrawsBandsAlongThePathWithMarks)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    KelvComPtr<ISDChart2d> chart = FirstChart(*document);
    KelvComPtr<Data> data = Make<Data>();
    KelvComPtr<PhononDispersionGenerator> generator = PhononDispersionGenerator::Create();
    ASSERT_EQ(S_OK, generator->putref_DataProvider(data.get()));
    ASSERT_EQ(S_OK, generator->put_FrequencyUnits(6));
    ASSERT_EQ(S_OK, Plot(*generator, chart.get()));
    EXPECT_EQ("ZELM", generator->ApplicationName());

    const ChartData& drawn = *document->Charts()[0];
    EXPECT_EQ("Frequency (THz)", drawn.yAxisTitle);
    ASSERT_EQ(2u, drawn.graphs.size());
    EXPECT_EQ("Band 2", drawn.graphs[1]->name);
    // x: 0, 0.1, 0.1 (joint), 0.2, then the break (a gap) and 0.2, 0.3.
    const double thz = 1e12 / (299792458.0 * 100.0);
    const std::vector<ChartPoint>& band = drawn.graphs[1]->points;
    const double xs[] = {0, 0.1, 0.1, 0.2, 0.2, 0.2, 0.3};
    const double ys[] = {100, 150, 150, 160, NAN, 100, 140};
    ASSERT_EQ(7u, band.size());
    for (std::size_t i = 0; i < band.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(xs[i], band[i].x, 1e-12);
        if (std::isnan(ys[i]))
            EXPECT_TRUE(std::isnan(band[i].y));
        else
            EXPECT_NEAR(ys[i] / thz, band[i].y, 1e-9);
    }
    ASSERT_EQ(4u, drawn.xMarks.size());
    const char* texts[] = {"G", "X", "M|G", "Z"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(texts[i], drawn.xMarks[i].text);
        EXPECT_NEAR(i * 0.1, drawn.xMarks[i].x, 1e-12);
    }

    // The marks survive the document's file.
    DocumentHeader header;
    ChartList read;
    ReadChartFileText(ChartFileText(header, document->Charts()), header, read);
    EXPECT_TRUE(SameCharts(document->Charts(), read));
    read[0]->xMarks[2].text = "M";
    EXPECT_FALSE(SameCharts(document->Charts(), read));

    // Through the interface too.
    KelvComPtr<ISDChart2dAxisMarks> marks = chart.TryQueryInterface<ISDChart2dAxisMarks>();
    ASSERT_TRUE(marks);
    LONG count = 0;
    EXPECT_EQ(S_OK, marks->get_XAxisMarkCount(&count));
    EXPECT_EQ(4, count);
    double x = 0;
    KelvBSTR text;
    EXPECT_EQ(DISP_E_BADINDEX, marks->GetXAxisMark(5, &x, text.Receive()));
    EXPECT_EQ(E_INVALIDARG, marks->AddXAxisMark(NAN, text.Get()));
}

TEST(PhononDispersionGenerator, RefusesWhatItCannotDraw)
{
    KelvComPtr<ChartDocument> document = ChartDocument::Create();
    KelvComPtr<ISDChart2d> chart = FirstChart(*document);
    KelvComPtr<PhononDispersionGenerator> generator = PhononDispersionGenerator::Create();
    for (LONG bad : {0, 7, -1})
        EXPECT_EQ(E_INVALIDARG, generator->put_FrequencyUnits(bad)) << bad;
    EXPECT_EQ(5, generator->FrequencyUnits());
    EXPECT_EQ(E_UNEXPECTED, Plot(*generator, chart.get()));
    EXPECT_EQ(QzTest::LastErrorText(), "The phonon dispersion generator has no data provider.");

    KelvComPtr<Data> data = Make<Data>();
    data->failFrequencies = E_UNEXPECTED;
    ASSERT_EQ(S_OK, generator->putref_DataProvider(data.get()));
    EXPECT_EQ(E_POINTER, Plot(*generator, nullptr));
    EXPECT_EQ(E_UNEXPECTED, Plot(*generator, chart.get()));
    EXPECT_EQ(QzTest::LastErrorText(), "invalid vector<T> subscript");
    EXPECT_TRUE(document->Charts()[0]->graphs.empty());
}

TEST(PhononDispersionGenerator, PictureNamesTheMarksOnTheAxis)
{
    ChartList charts{std::make_shared<ChartData>()};
    ChartData& chart = *charts[0];
    auto band = std::make_shared<GraphData>();
    band->points = {{0, 1, 0}, {0.1, 2, 0}, {0.1, NAN, 0}, {0.1, 3, 0}, {0.2, 1, 0}};
    chart.graphs.push_back(band);
    chart.xMarks = {{0, "G"}, {0.1, "X|M"}, {0.2, "Z"}};
    QzTest::TempFolder folder("svg");
    WriteChartSvg(charts, folder.File("bands.svg"));
    const std::string svg = QzTest::ReadFile(folder.File("bands.svg"));
    // Texts are written as character references, each mark in one text.
    const auto encoded = [](const std::string& text) {
        std::string out = ">";
        char buffer[16];
        for (const unsigned char c : text) {
            std::snprintf(buffer, sizeof buffer, "&#x%x;", c);
            out += buffer;
        }
        return out + "<";
    };
    for (const char* label : {"G", "X|M", "Z"})
        EXPECT_NE(std::string::npos, svg.find(encoded(label))) << label;
}
