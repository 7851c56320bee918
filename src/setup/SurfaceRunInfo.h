// The engine's atom numbering of a surface run: first the atoms of the
// attachment layer, then the other surface atoms (together region 1), then
// every other atom (region 2). Writing the deck and reading the results
// build the same numbering from the document's named sets.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"
#include "qorvira/AtomicIndexMap.h"
#include "common/SurfaceCalculatorInterface.h"

#include <functional>
#include <vector>

namespace SurfaceNumbering {

// The numbering of `atomCount` document atoms (1-based) given their set
// membership: engineOrder[k] is the document number of engine atom k + 1.
struct Result
{
    std::vector<ULONG> engineOrder;
    LONG attachmentAtomCount = 0;
    LONG region1AtomCount = 0;
};

Result Number(ULONG atomCount, const std::function<bool(ULONG)>& inAttachmentLayer,
              const std::function<bool(ULONG)>& inSurfaceAtoms);

} // namespace SurfaceNumbering

class CSurfaceRunInfo
{
public:
    CSurfaceRunInfo(KelvComPtr<ISBContainerRoot> root, KelvComPtr<ISBDocumentRoot> document);
    CSurfaceRunInfo(ISBScope* scope, KelvComPtr<ISBContainerRoot> root);
    virtual ~CSurfaceRunInfo();

    // A null scope or document changes nothing.
    void Update(ISBScope* scope, const KelvComPtr<ISBContainerRoot>& root);
    void Update(const KelvComPtr<ISBContainerRoot>& root, const KelvComPtr<ISBDocumentRoot>& document);

    ULONG MapDoc2Zelm(ULONG doc, ULONG* zelm) const;
    ULONG MapZelm2Doc(ULONG zelm, ULONG* doc) const;

    // The logic "SurfaceCalculator" of "QorZelm.Extension"; null when the
    // extension holds no such logic.
    static KelvComPtr<IQoZelmSurfaceCalculator> GetSurfaceCalculatorLogic(const KelvComPtr<ISBContainerRoot>& root);

    LONG m_attachmentAtomCount = 0;
    LONG m_region1AtomCount = 0;
    LONG m_atomCount = 0;
    CAtomicIndexMap m_atomIndexMap;
};
