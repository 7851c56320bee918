#include "forcefield/ZelmForcefieldEditor.h"

#include "forcefield/ZelmForcefield.h"
#include "forcefield/ZelmServerDescription.h"

CZelmForcefieldEditor::CZelmForcefieldEditor() : CForcefieldEditor(new CZelmServerDescription) {}

CZelmForcefieldEditor::~CZelmForcefieldEditor() = default;

CForcefield& CZelmForcefieldEditor::Load(const std::string& path)
{
    // Read completely before anything changes: a failed read keeps the
    // forcefield installed before.
    ForcefieldPtr forcefield(new CZelmForcefield(path, GetServerDescription()));
    SetForcefield(path, forcefield);
    return GetForcefield();
}

void CZelmForcefieldEditor::MarkAllParametersNoFit()
{
    if (HasForcefield())
        GetForcefield().MarkAllParametersNoFit();
}

const std::vector<CZelmLibUtils::Warning>& CZelmForcefieldEditor::GetLoadWarnings() const
{
    static const std::vector<CZelmLibUtils::Warning> none;
    const auto* forcefield = dynamic_cast<const CZelmForcefield*>(GetForcefieldPtr().get());
    return forcefield ? forcefield->GetWarnings() : none;
}
