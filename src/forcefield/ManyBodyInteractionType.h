// The interaction type "Many-body": the embedded-atom functional and
// density of one atom type.
#pragma once

#include "qorff/InteractionType.h"

class CZelmManyBodyInteractionType : public CInteractionType {
public:
    // Registers both forms of the type.
    CZelmManyBodyInteractionType();
    ~CZelmManyBodyInteractionType() override;
};
