// The interaction type "Four-body": torsions, inversions and out-of-plane
// terms with their 9 forms.
#pragma once

#include <list>

#include "qorff/InteractionType.h"

class CZelmFourBodyInteractionType : public CInteractionType {
public:
    // Registers every form of the type.
    CZelmFourBodyInteractionType();
    ~CZelmFourBodyInteractionType() override;

    // The atom types keep the order in which they are given.
    std::list<unsigned> GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const override;
};
