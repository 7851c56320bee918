// Host application interfaces of results analysis: the results scope of an
// analysis component with its events, data providers and the phonon
// dispersion data and generator.
#pragma once

#include "hostapi/core.h"

struct ISDVariantDataDimension;
struct ISDPoint3d;
struct ISDMatrix3d;
struct ISDChart2d;

inline constexpr IID IID_IQoQMAnalysisScope = HostApi::MakeGuid("7B533E1F-9490-4E99-AE7B-CDCC393A4A10");
inline constexpr IID IID_IQoQMAnalysisEvents = HostApi::MakeGuid("DC64D484-8583-4129-83FE-4688C5A02245");
inline constexpr IID IID_IQoQMDataProvider = HostApi::MakeGuid("626F2B73-1FF1-4B03-94C1-DBB200044005");
inline constexpr IID IID_IQoPhononDispersionData = HostApi::MakeGuid("5EF697BB-7B49-45AD-8F0C-357153B00BCA");
inline constexpr IID IID_IQoPhononDispersionGenerator = HostApi::MakeGuid("17F6D6CA-388C-489D-80F5-E256F327953A");

// Dispatch identifiers of the analysis events.
inline constexpr DISPID DISPID_QoQMAnalysisDataChanged = 1001;
inline constexpr DISPID DISPID_QoQMAnalysisAvailableDataChanged = 1002;

// Implemented by an analysis component: the host chooses which results it
// looks at, by result category ("EnEvol", "Structure", "Trajectory",
// "Optics", "Phonons").
struct IQoQMAnalysisScope : public IUnknown {
    static const IID& Iid() { return IID_IQoQMAnalysisScope; }
    // Tells the sinks that the data and the available data changed.
    virtual HRESULT Refresh() = 0;
    // Looks at the results of the folder of the result file in varResultsID (VT_BSTR).
    virtual HRESULT put_ResultsID(VARIANT varResultsID) = 0;
    // The results folder looked at.
    virtual HRESULT get_ResultsID(VARIANT* pVarResultsID) = 0;
    // Selects the result (a file name) of one category.
    virtual HRESULT put_ResultsIDForProperty(BSTR bstrPropertyCategory, VARIANT varResultsID) = 0;
    // The selected result of one category.
    virtual HRESULT get_ResultsIDForProperty(BSTR bstrPropertyCategory, VARIANT* pVarResultsID) = 0;
    // The results available for one category, as a collection of file names.
    virtual HRESULT get_AvailableResultsIDsForProperty(BSTR bstrPropertyCategory,
                                                       ISDVariantDataDimension** pResultsIDs) = 0;
    // Whether the category has any result.
    virtual HRESULT get_ContainsResultsForProperty(BSTR bstrPropertyCategory, VARIANT_BOOL* pContains) = 0;
};

// Outgoing interface of an analysis component, implemented by the host's sinks.
struct IQoQMAnalysisEvents : public IUnknown {
    static const IID& Iid() { return IID_IQoQMAnalysisEvents; }
    // The selected results changed (varInfo: the category, or VT_EMPTY for all).
    virtual HRESULT DataChanged(VARIANT varInfo) = 0;
    // The lists of available results changed.
    virtual HRESULT AvailableDataChanged(VARIANT varInfo) = 0;
};

// Gives the data of a result by property name.
struct IQoQMDataProvider : public IUnknown {
    static const IID& Iid() { return IID_IQoQMDataProvider; }
    // The object that provides the named property's data (VT_UNKNOWN), or VT_EMPTY.
    virtual HRESULT get_PropertyProvider(BSTR bstrPropertyName, VARIANT* pVarPropertyProvider) = 0;
};

// Phonon frequencies along a path of k-points. Indices are 1-based.
struct IQoPhononDispersionData : public IUnknown {
    static const IID& Iid() { return IID_IQoPhononDispersionData; }
    // Number of k-points.
    virtual HRESULT get_NumKPoints(LONG* pCount) = 0;
    // K-point i as a new point object (fractional reciprocal coordinates).
    virtual HRESULT GetKPoint(LONG index, ISDPoint3d** ppPoint) = 0;
    // Where k-point i lies on the path (a SegmentBoundaryTypeEnum value; 0: unknown).
    virtual HRESULT GetKPointBoundaryType(LONG index, LONG* pType) = 0;
    // Whether k-point i carries a label.
    virtual HRESULT HasKPointLabel(LONG index, VARIANT_BOOL* pHasLabel) = 0;
    // The label of k-point i ("" when none).
    virtual HRESULT GetKPointLabel(LONG index, BSTR* pLabel) = 0;
    // The reciprocal lattice as a new matrix object.
    virtual HRESULT GetReciprocalLattice(ISDMatrix3d** ppMatrix) = 0;
    // The frequencies of k-point i as a new collection of VT_R8 values.
    virtual HRESULT GetFrequencies(LONG index, ISDVariantDataDimension** ppFrequencies) = 0;
    // Unit code of the frequencies (1 eV, 2 Ha, 3 a.u., 4 meV, 5 cm-1, 6 THz).
    virtual HRESULT get_FrequencyUnits(LONG* pUnit) = 0;
};

// Draws phonon dispersion band structures into charts (held by a logic's
// state as the co-class "PhononDispersionGenerator"). Dual.
struct IQoPhononDispersionGenerator : public IDispatch {
    static const IID& Iid() { return IID_IQoPhononDispersionGenerator; }
    // Unit code in which frequencies are drawn (as IQoPhononDispersionData::get_FrequencyUnits).
    virtual HRESULT put_FrequencyUnits(LONG unit) = 0;
    // The provider whose "PhononDispersion" property gives the IQoPhononDispersionData.
    virtual HRESULT putref_DataProvider(IQoQMDataProvider* pProvider) = 0;
    // Draws one graph per band into the chart; ApplicationName names the engine ("ZELM").
    virtual HRESULT PlotPhononDispersion(ISDChart2d* pBSChart, BSTR ApplicationName) = 0;
};
