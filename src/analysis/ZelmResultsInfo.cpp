#include "analysis/ZelmResultsInfo.h"

#include "common/ModuleIds.h"
#include "readers/PhononFileReader.h"
#include "setup/ZelmRunInfo.h"

#include "qorqm/DiskUtilities.h"
#include "qorqm/PathUtilities.h"

#include <stdexcept>

namespace {

// The wording of an index past a list, whatever the standard library says.
[[noreturn]] void IndexPastTheList()
{
    throw std::out_of_range("invalid vector<T> subscript");
}

// Position of the 1-based index i in a list of `size`.
std::size_t Position(LONG i, std::size_t size)
{
    if (i < 1 || static_cast<std::size_t>(i) > size)
        IndexPastTheList();
    return static_cast<std::size_t>(i - 1);
}

template <class F>
HRESULT Method(REFIID iid, F&& body)
{
    return Kelv::ComMethod(QorZelm::CLSID_ZelmResultsInfo, iid, std::forward<F>(body));
}

void RequireOut(const void* out)
{
    if (!out)
        throw KelvResult(E_POINTER, "No pointer supplied for output argument.");
}

// Reads the record once; a failed read leaves it unloaded, to be tried again.
void EnsureLoaded(CZelmPhononData& data)
{
    if (data.loaded)
        return;
    std::unique_ptr<CZelmPhononDataReaderBase> reader = CreatePhononDataReader(data.resultsPath);
    reader->Read(data.resultsPath, data);
    data.loaded = true;
}

} // namespace

std::unique_ptr<CZelmPhononDataReaderBase> CreatePhononDataReader(const std::string& resultsPath)
{
    if (!DiskUtilities::FileExists(PathUtilities::ExtensionReplaced(resultsPath, CZelmRunInfo::OutputFileExtension())))
        throw KelvResult(E_UNEXPECTED, "Unable to read phonon information from this file");
    return std::make_unique<CPhononFileReader>();
}

CZelmResultsInfo::CZelmResultsInfo() = default;
CZelmResultsInfo::~CZelmResultsInfo() = default;

HRESULT CZelmResultsInfo::CreateZelmResultsInfo(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CZelmResultsInfo);
    return S_OK;
}

HRESULT CZelmResultsInfo::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IQoQMDataProvider)
        return FinishQI(static_cast<IQoQMDataProvider*>(this), out);
    if (iid == IID_IQoPhononDispersionData)
        return FinishQI(static_cast<IQoPhononDispersionData*>(this), out);
    if (iid == IID_ISupportErrorInfo)
        return FinishQI(static_cast<ISupportErrorInfo*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT CZelmResultsInfo::InterfaceSupportsErrorInfo(REFIID iid)
{
    return iid == IID_IQoQMDataProvider || iid == IID_IQoPhononDispersionData || iid == IID_ISupportErrorInfo
               ? S_OK
               : S_FALSE;
}

void CZelmResultsInfo::SetResultsPath(const std::string& path)
{
    if (!path.empty())
        m_resultsPath = PathUtilities::ExtensionRemoved(path);
}

void CZelmResultsInfo::TakeData(std::unique_ptr<CZelmPhononData> data)
{
    if (!data)
        return;
    m_resultsPath = data->resultsPath;
    m_data = std::move(data);
}

void CZelmResultsInfo::EnsureData()
{
    if (!m_data)
        m_data = std::make_unique<CZelmPhononData>(m_resultsPath);
}

CZelmPhononData& CZelmResultsInfo::LoadedData()
{
    EnsureData();
    EnsureLoaded(*m_data);
    return *m_data;
}

HRESULT CZelmResultsInfo::get_PropertyProvider(BSTR /*bstrPropertyName*/, VARIANT* pVarPropertyProvider)
{
    return Method(IID_IQoQMDataProvider, [&] {
        RequireOut(pVarPropertyProvider);
        VariantInit(pVarPropertyProvider);
        EnsureData();
        pVarPropertyProvider->vt = VT_UNKNOWN;
        IQoPhononDispersionData* data = this;
        data->AddRef();
        pVarPropertyProvider->punkVal = data;
    });
}

HRESULT CZelmResultsInfo::KPointCount(LONG* count)
{
    return get_NumKPoints(count);
}

HRESULT CZelmResultsInfo::get_NumKPoints(LONG* pCount)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(pCount);
        *pCount = static_cast<LONG>(LoadedData().kPoints.size());
    });
}

HRESULT CZelmResultsInfo::GetKPoint(LONG index, ISDPoint3d** ppPoint)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(ppPoint);
        *ppPoint = nullptr;
        const CZelmPhononData& data = LoadedData();
        const xxPoint3d p = data.kPoints[Position(index, data.kPoints.size())];
        KelvComPtr<ISDPoint3d> point;
        Kelv::KelvCreateImpl(CLSID_SDPoint3d, nullptr, CLSCTX_SERVER, IID_ISDPoint3d, point.ReceiveVoid(), false);
        Kelv::CheckNullDereference(point.get());
        KelvResult::Check(point->SetXYZ(p.x, p.y, p.z));
        *ppPoint = point.Detach();
    });
}

HRESULT CZelmResultsInfo::GetKPointBoundaryType(LONG index, LONG* pType)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(pType);
        const CZelmPhononData& data = LoadedData();
        if (data.boundaryTypes.empty()) {
            Position(index, data.kPoints.size());
            *pType = 0;
            return;
        }
        *pType = data.boundaryTypes[Position(index, data.boundaryTypes.size())];
    });
}

HRESULT CZelmResultsInfo::HasKPointLabel(LONG index, VARIANT_BOOL* pHasLabel)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(pHasLabel);
        const CZelmPhononData& data = LoadedData();
        if (data.labels.empty()) {
            Position(index, data.kPoints.size());
            *pHasLabel = VARIANT_FALSE;
            return;
        }
        *pHasLabel = data.labels[Position(index, data.labels.size())].empty() ? VARIANT_FALSE : VARIANT_TRUE;
    });
}

HRESULT CZelmResultsInfo::GetKPointLabel(LONG index, BSTR* pLabel)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(pLabel);
        *pLabel = nullptr;
        const CZelmPhononData& data = LoadedData();
        std::string label;
        if (data.labels.empty())
            Position(index, data.kPoints.size());
        else
            label = data.labels[Position(index, data.labels.size())];
        *pLabel = KelvBSTR(label).Detach();
    });
}

HRESULT CZelmResultsInfo::GetReciprocalLattice(ISDMatrix3d** ppMatrix)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(ppMatrix);
        *ppMatrix = nullptr;
        KelvComPtr<ISDMatrix3d> matrix;
        Kelv::KelvCreateImpl(CLSID_SDMatrix3d, nullptr, CLSCTX_SERVER, IID_ISDMatrix3d, matrix.ReceiveVoid(), false);
        const xxMatrix3x3 lattice = LoadedData().reciprocalLattice;
        if (!matrix)
            throw KelvResult(E_UNEXPECTED, "Can't get reciprocal lattice.");
        const double* m = lattice.Data();
        // A matrix that was not set is no lattice: its failure is reported.
        KelvResult::Check(matrix->SetElements(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]));
        *ppMatrix = matrix.Detach();
    });
}

HRESULT CZelmResultsInfo::GetFrequencies(LONG index, ISDVariantDataDimension** ppFrequencies)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(ppFrequencies);
        *ppFrequencies = nullptr;
        const CZelmPhononData& data = LoadedData();
        KelvComPtr<ISDVariantDataDimension> values;
        Kelv::KelvCreateImpl(CLSID_SDVariantDataDimension, nullptr, CLSCTX_SERVER, IID_ISDVariantDataDimension,
                             values.ReceiveVoid(), true);
        Kelv::CheckNullDereference(values.get());
        if (!data.frequencies.empty()) {
            for (const double frequency : data.frequencies[Position(index, data.frequencies.size())]) {
                KelvVariant value(frequency);
                LONG added = 0;
                KelvResult::Check(values->Add(value.Get(), &added));
            }
        } else {
            Position(index, data.kPoints.size());
        }
        // Handed out only when filled.
        *ppFrequencies = values.Detach();
    });
}

HRESULT CZelmResultsInfo::get_FrequencyUnits(LONG* pUnit)
{
    return Method(IID_IQoPhononDispersionData, [&] {
        RequireOut(pUnit);
        *pUnit = 5;
    });
}
