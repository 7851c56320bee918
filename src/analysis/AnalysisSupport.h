// What the analysis component's source files share: the catch frame of its
// commands and the null-pointer check of its out arguments.
#pragma once

#include <utility>

#include "frame/ModuleIds.h"
#include "frame/ZelmInterfaces.h"
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

} // namespace ZelmAnalysisSupport
