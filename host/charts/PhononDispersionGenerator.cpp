#include "host/charts/PhononDispersionGenerator.h"

#include "host/managers/HostCall.h"
#include "host/model/ComSupport.h"

#include "qorqm/QMPhysicalConstants.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

namespace HostCharts {

using QzHost::Fail;
using QzHost::HostCall;
using QzHost::Log;
using QzHost::Narrow;
using QzHost::Quote;

namespace {

// SegmentBoundaryTypeEnum values of the data.
constexpr LONG BoundaryStart = 2;
constexpr LONG BoundaryEnd = 3;

struct BandPoint {
    double k[3] = {0.0, 0.0, 0.0}; // Cartesian reciprocal space
    LONG type = 0;
    std::string label;
    std::vector<double> frequencies; // the data's unit
};

void Check(HRESULT hr)
{
    KelvResult::Check(hr);
}

KelvComPtr<IQoPhononDispersionData> DispersionDataOf(IQoQMDataProvider* provider)
{
    KelvVariant value;
    KelvBSTR name("PhononDispersion");
    Check(provider->get_PropertyProvider(name.Get(), value.Receive()));
    const VARIANT& v = value.Get();
    IUnknown* object = v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH ? v.punkVal : nullptr;
    KelvComPtr<IQoPhononDispersionData> data;
    if (!object || FAILED(object->QueryInterface(IID_IQoPhononDispersionData, data.ReceiveVoid())) || !data)
        Fail(E_UNEXPECTED, "The data provider holds no phonon dispersion data.");
    return data;
}

std::vector<double> FrequenciesOf(IQoPhononDispersionData* data, LONG index)
{
    KelvComPtr<ISDVariantDataDimension> values;
    Check(data->GetFrequencies(index, values.Receive()));
    if (!values)
        Fail(E_UNEXPECTED, "The phonon data gave no frequencies for point " + std::to_string(index) + ".");
    LONG count = 0;
    Check(values->get_Count(&count));
    std::vector<double> frequencies;
    for (LONG i = 1; i <= count; ++i) {
        KelvVariant value;
        Check(values->Item(i, value.Receive()));
        frequencies.push_back(value.Double());
    }
    return frequencies;
}

std::vector<BandPoint> ReadPoints(IQoPhononDispersionData* data)
{
    KelvComPtr<ISDMatrix3d> lattice;
    Check(data->GetReciprocalLattice(lattice.Receive()));
    if (!lattice)
        Fail(E_UNEXPECTED, "The phonon data gave no reciprocal lattice.");
    double m[9];
    Check(lattice->GetElements(m));

    LONG count = 0;
    Check(data->get_NumKPoints(&count));
    std::vector<BandPoint> points;
    for (LONG i = 1; i <= count; ++i) {
        BandPoint p;
        KelvComPtr<ISDPoint3d> point;
        Check(data->GetKPoint(i, point.Receive()));
        if (!point)
            Fail(E_UNEXPECTED, "The phonon data gave no k-point " + std::to_string(i) + ".");
        double f[3];
        Check(point->GetXYZ(&f[0], &f[1], &f[2]));
        for (int r = 0; r < 3; ++r)
            p.k[r] = m[3 * r] * f[0] + m[3 * r + 1] * f[1] + m[3 * r + 2] * f[2];
        Check(data->GetKPointBoundaryType(i, &p.type));
        VARIANT_BOOL labelled = VARIANT_FALSE;
        Check(data->HasKPointLabel(i, &labelled));
        if (labelled) {
            KelvBSTR label;
            Check(data->GetKPointLabel(i, label.Receive()));
            p.label = label.ToTString();
        }
        p.frequencies = FrequenciesOf(data, i);
        points.push_back(std::move(p));
    }
    return points;
}

double Distance(const double a[3], const double b[3])
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

void SetTitle(ISDChart2d* chart, HRESULT (ISDChart2d::*put)(BSTR), const std::string& text)
{
    KelvBSTR value(text);
    Check((chart->*put)(value.Get()));
}

// One mark for each x: a label meeting the previous one at its x joins it
// ("X|M") unless it is the same label.
void AddMark(std::vector<std::pair<double, std::string>>& placed, double x, const std::string& label)
{
    if (placed.empty() || placed.back().first != x) {
        placed.emplace_back(x, label);
        return;
    }
    std::string& text = placed.back().second;
    const std::size_t bar = text.rfind('|');
    const std::string last = bar == std::string::npos ? text : text.substr(bar + 1);
    if (last != label)
        text += "|" + label;
}

struct Registration {
    HRESULT result = S_OK;
    DWORD cookie = 0;

    Registration()
    {
        const KelvComPtr<IClassFactory> factory =
            HostModel::MakeClassFactory(&PhononDispersionGenerator::CreateInstance);
        result = CoRegisterClassObject(CLSID_HostPhononDispersionGenerator, factory.get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
        if (SUCCEEDED(result))
            result = ComRegistry::RegisterInProcessProgId(PhononDispersionGeneratorProgId,
                                                          CLSID_HostPhononDispersionGenerator);
    }
    ~Registration()
    {
        if (cookie != 0)
            CoRevokeClassObject(cookie);
    }
};

} // namespace

double WavenumbersPerUnit(LONG unit)
{
    const double hartreeInEv = 27.211386245988;
    switch (unit) {
    case 1:
        return QMPhysicalConstants::EV_TO_CM_1;
    case 2:
    case 3:
        return hartreeInEv * QMPhysicalConstants::EV_TO_CM_1;
    case 4:
        return QMPhysicalConstants::EV_TO_CM_1 / 1000.0;
    case 5:
        return 1.0;
    case 6:
        return 1e12 / (QMPhysicalConstants::speed_light_si * 100.0);
    default:
        return 0.0;
    }
}

std::string FrequencyUnitName(LONG unit)
{
    static const char* const names[] = {"eV", "Ha", "a.u.", "meV", "cm-1", "THz"};
    return unit >= 1 && unit <= 6 ? names[unit - 1] : "";
}

KelvComPtr<PhononDispersionGenerator> PhononDispersionGenerator::Create()
{
    return KelvComPtr<PhononDispersionGenerator>::Adopt(new PhononDispersionGenerator());
}

HRESULT PhononDispersionGenerator::CreateInstance(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(Create().Detach());
    return S_OK;
}

HRESULT PhononDispersionGenerator::RegisterClass()
{
    static Registration registration;
    static std::atomic<bool> answered{false};
    if (FAILED(registration.result))
        return registration.result;
    return answered.exchange(true) ? S_FALSE : S_OK;
}

HRESULT PhononDispersionGenerator::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoPhononDispersionGenerator || iid == IID_IDispatch)
        return FinishQI(static_cast<IQoPhononDispersionGenerator*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT PhononDispersionGenerator::put_FrequencyUnits(LONG unit)
{
    return HostCall(IID_IQoPhononDispersionGenerator, [&] {
        Log("PhononDispersionGenerator", "put_FrequencyUnits", {std::to_string(unit)});
        if (WavenumbersPerUnit(unit) == 0.0)
            Fail(E_INVALIDARG, "There is no frequency unit " + std::to_string(unit) + ".");
        m_unit = unit;
    });
}

HRESULT PhononDispersionGenerator::putref_DataProvider(IQoQMDataProvider* pProvider)
{
    return HostCall(IID_IQoPhononDispersionGenerator, [&] {
        Log("PhononDispersionGenerator", "putref_DataProvider", {pProvider ? "provider" : "null"});
        m_provider = KelvComPtr<IQoQMDataProvider>(pProvider);
    });
}

HRESULT PhononDispersionGenerator::PlotPhononDispersion(ISDChart2d* pBSChart, BSTR ApplicationName)
{
    return HostCall(IID_IQoPhononDispersionGenerator, [&] {
        m_application = Narrow(ApplicationName);
        Log("PhononDispersionGenerator", "PlotPhononDispersion", {pBSChart ? "chart" : "null", Quote(m_application)});
        if (!pBSChart)
            Fail(E_POINTER, "A phonon dispersion needs a chart to draw into.");
        if (!m_provider)
            Fail(E_UNEXPECTED, "The phonon dispersion generator has no data provider.");
        const KelvComPtr<IQoPhononDispersionData> data = DispersionDataOf(m_provider.get());
        LONG dataUnit = 5;
        Check(data->get_FrequencyUnits(&dataUnit));
        if (WavenumbersPerUnit(dataUnit) == 0.0)
            Fail(E_UNEXPECTED, "The phonon data are in an unknown frequency unit (" + std::to_string(dataUnit) + ").");
        const double factor = WavenumbersPerUnit(dataUnit) / WavenumbersPerUnit(m_unit);
        const std::vector<BandPoint> points = ReadPoints(data.get());

        // Path length of each point; a break starts again at the same x.
        std::vector<double> xs;
        std::vector<bool> breaks;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const bool isBreak =
                i > 0 && points[i - 1].type == BoundaryEnd && points[i].type == BoundaryStart;
            const double x = i == 0 ? 0.0 : xs.back() + (isBreak ? 0.0 : Distance(points[i - 1].k, points[i].k));
            xs.push_back(x);
            breaks.push_back(isBreak);
        }

        const std::string unitName = FrequencyUnitName(m_unit);
        SetTitle(pBSChart, &ISDChart2d::put_Title, m_application + " phonon dispersion");
        SetTitle(pBSChart, &ISDChart2d::put_XAxisTitle, "Wave vector");
        SetTitle(pBSChart, &ISDChart2d::put_YAxisTitle, "Frequency (" + unitName + ")");

        std::size_t bands = 0;
        for (const BandPoint& p : points)
            bands = std::max(bands, p.frequencies.size());
        KelvComPtr<ISDChart2dGraphs> graphs;
        Check(pBSChart->get_Graphs(graphs.Receive()));
        if (!graphs)
            Fail(E_UNEXPECTED, "The chart gave no graph list.");
        const double gap = std::numeric_limits<double>::quiet_NaN();
        for (std::size_t b = 0; b < bands; ++b) {
            KelvComPtr<ISDChart2dGraph> graph;
            KelvBSTR name("Band " + std::to_string(b + 1));
            Check(graphs->Add(name.Get(), graph.Receive()));
            if (!graph)
                Fail(E_UNEXPECTED, "The chart gave no new graph.");
            for (std::size_t i = 0; i < points.size(); ++i) {
                if (b >= points[i].frequencies.size())
                    continue;
                if (breaks[i])
                    Check(graph->AddPoint(xs[i], gap, 0));
                Check(graph->AddPoint(xs[i], points[i].frequencies[b] * factor, static_cast<LONG>(i + 1)));
            }
        }

        // Labelled points as marks; one mark for each x.
        std::vector<std::pair<double, std::string>> placed;
        KelvComPtr<ISDChart2dAxisMarks> marks;
        marks = KelvComPtr<ISDChart2dAxisMarks>::QueryFrom(pBSChart);
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (!points[i].label.empty())
                AddMark(placed, xs[i], points[i].label);
        }
        if (marks) {
            Check(marks->ClearXAxisMarks());
            for (const auto& mark : placed) {
                KelvBSTR text(mark.second);
                Check(marks->AddXAxisMark(mark.first, text.Get()));
            }
        }
    });
}

} // namespace HostCharts
