// The trajectory of a finished geometry optimisation or surface run: one
// frame per archive frame, energies from the archive, periodicity and
// pressure from the main output. With symmetry only the document's symmetry
// parents are served, each at its first image in the archive and, in a 3-D
// cell, moved by whole cell vectors into the periodic image of the parent in
// the document.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dravix/dravix.h"
#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "readers/RunOutput.h"
#include "readers/ZelmTrjDataProvider.h"

class CZelmGeomOptTrjDataProvider : public CZelmTrjDataProvider {
public:
    // Loads everything (with the surface run's atom map when `surface`);
    // throws KelvResult when the run cannot be read.
    CZelmGeomOptTrjDataProvider(const std::string& name, KelvComPtr<ISBContainerRoot>& root,
                                KelvComPtr<ISBDocumentRoot>& document, bool surface);
    ~CZelmGeomOptTrjDataProvider() override;

    double GetCellVolume() override;
    double GetVolumeFactor() override;
    double GetPressure() override;
    const std::vector<double>& GetSecondAtomVectors() override;
    int GetPeriodicity() override;
    int QueryOptionA() override;
    int QueryOptionB() override;
    // A restart serves the frames again from the first.
    HRESULT BeforeRestart() override;
    HRESULT Reset() override;
    HRESULT ReadAtomIds() override;
    virtual HRESULT LoadFromArchive(const std::string& name, KelvComPtr<ISBContainerRoot>& root,
                                    KelvComPtr<ISBDocumentRoot>& document);

    // The number of atoms served: every archive position without symmetry
    // (strides all 1), else the sum of the parents' multiplicities (one
    // stride per parent).
    int GetSymmetryImages(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                          std::vector<int>& strides);
    // Whole cell vectors that move each parent's first archive image next to
    // the parent in the document; `cell` has the cell vectors as columns.
    void GetPositionOffsets(KelvComPtr<ISBContainerRoot>& root, KelvComPtr<ISBDocumentRoot>& document,
                            const std::vector<std::array<double, 3>>& positions, const xxMatrix3x3& cell);

    const std::vector<int>& OffsetsA() const { return m_offsetsA; }

private:
    void ReadArchiveFrames(const std::string& name, KelvComPtr<ISBContainerRoot>& root,
                           KelvComPtr<ISBDocumentRoot>& document);
    void LoadOutputInfo(const std::string& name);

    std::unique_ptr<IRunOutput> m_output;
    double m_pressure = 0.0;
    std::vector<int> m_offsetsA, m_offsetsB, m_offsetsC;
};

// A provider for the run at `name` (result base path), or null when its
// ".arc" or ".gout" is missing. The caller owns it.
CZelmGeomOptTrjDataProvider* CreateZelmGeomOptTrjDataProvider(const std::string& name,
                                                              KelvComPtr<ISBContainerRoot>& root,
                                                              KelvComPtr<ISBDocumentRoot>& document, bool surface);
