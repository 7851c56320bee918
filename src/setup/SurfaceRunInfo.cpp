#include "setup/SurfaceRunInfo.h"

#include "appfw/AppUtilsContainer.h"
#include "appfw/AppUtilsDataModel.h"
#include "appfw/AppUtilsDocument.h"

namespace SurfaceNumbering {

Result Number(ULONG atomCount, const std::function<bool(ULONG)>& inAttachmentLayer,
              const std::function<bool(ULONG)>& inSurfaceAtoms)
{
    Result result;
    result.engineOrder.reserve(atomCount);
    for (ULONG i = 1; i <= atomCount; ++i)
        if (inAttachmentLayer(i))
            result.engineOrder.push_back(i);
    result.attachmentAtomCount = static_cast<LONG>(result.engineOrder.size());
    for (ULONG i = 1; i <= atomCount; ++i)
        if (inSurfaceAtoms(i) && !inAttachmentLayer(i))
            result.engineOrder.push_back(i);
    result.region1AtomCount = static_cast<LONG>(result.engineOrder.size());
    for (ULONG i = 1; i <= atomCount; ++i)
        if (!inAttachmentLayer(i) && !inSurfaceAtoms(i))
            result.engineOrder.push_back(i);
    return result;
}

} // namespace SurfaceNumbering

CSurfaceRunInfo::CSurfaceRunInfo(KelvComPtr<ISBContainerRoot> root, KelvComPtr<ISBDocumentRoot> document)
{
    Update(root, document);
}

CSurfaceRunInfo::CSurfaceRunInfo(ISBScope* scope, KelvComPtr<ISBContainerRoot> root)
{
    Update(scope, root);
}

CSurfaceRunInfo::~CSurfaceRunInfo() = default;

void CSurfaceRunInfo::Update(ISBScope* scope, const KelvComPtr<ISBContainerRoot>& root)
{
    if (!scope)
        return;
    Update(root, AppUtils::Document::DocumentFromScope(scope, root.get()));
}

void CSurfaceRunInfo::Update(const KelvComPtr<ISBContainerRoot>& root, const KelvComPtr<ISBDocumentRoot>& document)
{
    if (!document)
        return;
    KelvComPtr<ISBScope> contents;
    if (FAILED(document->get_ContentsAsScope(contents.Receive())) || !contents)
        throw KelvResult(E_UNEXPECTED, "CSurfaceRunInfo::Update: get_ContentsAsScope() failed.\n");

    const KelvComPtr<ISBScopeManager> manager = AppUtils::Document::GetScopeManager(root.get());
    const KelvComPtr<ISBScope> parents =
        AppUtils::Document::ProcessScope(contents.get(), "Normalization:Model3d!SymmetryParent", manager.get());
    const KelvComPtr<ISBScopeObjects> atoms =
        AppUtils::Document::ObjectsFromScope(parents.get(), "Filter:Model3d!Atom", manager.get());
    LONG count = 0;
    KelvResult::Check(atoms->get_Count(&count));
    if (count < 0)
        count = 0;

    // Each atom is fetched once; membership is asked as the passes need it.
    std::vector<KelvComPtr<ISDObject>> objects;
    objects.reserve(static_cast<std::size_t>(count));
    for (LONG i = 1; i <= count; ++i) {
        KelvComPtr<IUnknown> item;
        KelvResult::Check(atoms->Item(i, item.Receive()));
        KelvResult::Check(static_cast<bool>(item));
        objects.push_back(item.QueryInterface<ISDObject>());
    }
    const auto belongs = [&](ULONG i, const char* set) {
        return AppUtils::DataModel::ObjectBelongsToSet(objects[i - 1].get(), set, document.get(), root.get());
    };
    const SurfaceNumbering::Result numbering = SurfaceNumbering::Number(
        static_cast<ULONG>(count), [&](ULONG i) { return belongs(i, "AttachmentLayer"); },
        [&](ULONG i) { return belongs(i, "SurfaceAtoms"); });

    CAtomicIndexMap map;
    map.SetSize(static_cast<ULONG>(count));
    for (std::size_t k = 0; k < numbering.engineOrder.size(); ++k)
        map.MakeDoc2ZelmEntry(numbering.engineOrder[k], static_cast<ULONG>(k + 1));

    m_atomCount = count;
    m_attachmentAtomCount = numbering.attachmentAtomCount;
    m_region1AtomCount = numbering.region1AtomCount;
    m_atomIndexMap = map;
}

ULONG CSurfaceRunInfo::MapDoc2Zelm(ULONG doc, ULONG* zelm) const
{
    const ULONG answer = m_atomIndexMap.MapDoc2Zelm(doc);
    if (zelm)
        *zelm = answer;
    return answer;
}

ULONG CSurfaceRunInfo::MapZelm2Doc(ULONG zelm, ULONG* doc) const
{
    const ULONG answer = m_atomIndexMap.MapZelm2Doc(zelm);
    if (doc)
        *doc = answer;
    return answer;
}

KelvComPtr<IQoZelmSurfaceCalculator> CSurfaceRunInfo::GetSurfaceCalculatorLogic(
    const KelvComPtr<ISBContainerRoot>& root)
{
    const KelvComPtr<ISBLogic> logic =
        AppUtils::Container::GetLogic("SurfaceCalculator", "QorZelm.Extension", root.get());
    if (!logic)
        return KelvComPtr<IQoZelmSurfaceCalculator>();
    return logic.QueryInterface<IQoZelmSurfaceCalculator>();
}
