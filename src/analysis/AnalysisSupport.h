// What the analysis component's source files share: the catch frame of its
// commands, the null-pointer check of its out arguments and the host's
// managers.
#pragma once

#include <utility>

#include "common/ModuleIds.h"
#include "common/ZelmInterfaces.h"
#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

namespace ZelmAnalysisSupport {

inline constexpr const char* NoOutputPointer = "No pointer supplied for output argument.";

// Runs a command's body; what it throws becomes the HRESULT with error
// information naming the component and IZelmAnalysis.
template <class F>
HRESULT RunCommand(F&& body)
{
    return Kelv::ComMethod(QorZelm::CLSID_ZelmAnalysis, IID_IZelmAnalysis, std::forward<F>(body));
}

inline void RequireOutput(const void* pointer)
{
    if (!pointer)
        throw KelvResult(E_POINTER, NoOutputPointer);
}

inline VARIANT_BOOL ToVariantBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// The managers of the container root; a failing host call is thrown.
inline KelvComPtr<ISBDiskManager> DiskManagerOf(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvComPtr<ISBDiskManager> disk;
    KelvResult::Check(root->get_DiskManager(disk.Receive()));
    Kelv::CheckNullDereference(disk.get());
    return disk;
}

inline KelvComPtr<ISBDocumentManager> DocumentManagerOf(const KelvComPtr<ISBContainerRoot>& root)
{
    KelvComPtr<ISBDocumentManager> documents;
    KelvResult::Check(root->get_DocumentManager(documents.Receive()));
    Kelv::CheckNullDereference(documents.get());
    return documents;
}

} // namespace ZelmAnalysisSupport
