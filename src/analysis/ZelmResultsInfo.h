// COM class ZelmResultsInfo ("QorZelm.ZelmResultsInfo"): one run's phonon
// dispersion for the host's dispersion generator. The generator asks the
// data provider for its property provider, which is this object's
// IQoPhononDispersionData; the run's ".disp", ".gout" and k-point path are
// read when the first data method runs, and read again by the next one
// after a failed read.
//
// K-point indices count from 1; an index outside the k-points (or the
// frequency lists, or the labels) fails with "invalid vector<T> subscript".
// A data method called before the property provider was asked for makes the
// record from the results path itself.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <memory>
#include <string>

class CZelmPhononData;
class CZelmPhononDataReaderBase;

// The reader of a run's phonon files: "Unable to read phonon information
// from this file" (E_UNEXPECTED) when there is no ".gout" beside the path.
std::unique_ptr<CZelmPhononDataReaderBase> CreatePhononDataReader(const std::string& resultsPath);

class CZelmResultsInfo final : public CKelvUnknown,
                               public IQoQMDataProvider,
                               public IQoPhononDispersionData,
                               public ISupportErrorInfo
{
public:
    // Class-table create function: null out gives E_POINTER; allocation
    // failure throws std::bad_alloc.
    static HRESULT CreateZelmResultsInfo(void** out);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    // The number of k-points (as get_NumKPoints).
    virtual HRESULT KPointCount(LONG* count);

    // The run's files: a path with or without extension (the ".gout"); an
    // empty path changes nothing.
    void SetResultsPath(const std::string& path);
    const std::string& ResultsPath() const { return m_resultsPath; }
    // The run's data as read already (its results path with it): the data
    // methods hand it out without reading the files again.
    void TakeData(std::unique_ptr<CZelmPhononData> data);

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

    // IQoQMDataProvider: any name gives the phonon dispersion data.
    HRESULT get_PropertyProvider(BSTR bstrPropertyName, VARIANT* pVarPropertyProvider) override;

    // IQoPhononDispersionData
    HRESULT get_NumKPoints(LONG* pCount) override;
    HRESULT GetKPoint(LONG index, ISDPoint3d** ppPoint) override;
    HRESULT GetKPointBoundaryType(LONG index, LONG* pType) override;
    HRESULT HasKPointLabel(LONG index, VARIANT_BOOL* pHasLabel) override;
    HRESULT GetKPointLabel(LONG index, BSTR* pLabel) override;
    HRESULT GetReciprocalLattice(ISDMatrix3d** ppMatrix) override;
    HRESULT GetFrequencies(LONG index, ISDVariantDataDimension** ppFrequencies) override;
    // Always 5 (cm-1), without reading anything.
    HRESULT get_FrequencyUnits(LONG* pUnit) override;

    ~CZelmResultsInfo() override;

private:
    CZelmResultsInfo();

    // The record, made from the results path when there is none yet.
    void EnsureData();
    // The record, loaded.
    CZelmPhononData& LoadedData();

    std::string m_resultsPath;
    std::unique_ptr<CZelmPhononData> m_data;
};
