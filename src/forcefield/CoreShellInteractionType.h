// The interaction type "Core-Shell": interactions of one atom type and their
// six forms.
#pragma once

#include "qorff/InteractionType.h"

class CZelmCoreShellInteractionType : public CInteractionType {
public:
    // Registers every form of the type.
    CZelmCoreShellInteractionType();
    ~CZelmCoreShellInteractionType() override;
};
