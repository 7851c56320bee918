// The interaction type "Three-body": angle terms and their 14 forms.
#pragma once

#include <list>

#include "qorff/InteractionType.h"

class CZelmThreeBodyInteractionType : public CInteractionType {
public:
    // Registers every form of the type.
    CZelmThreeBodyInteractionType();
    ~CZelmThreeBodyInteractionType() override;

    // The atom types keep the order in which they are given.
    std::list<unsigned> GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const override;
};
