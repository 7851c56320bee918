// The interaction type "Two-body": pair interactions and their 25 forms.
#pragma once

#include <list>

#include "qorff/InteractionType.h"

class CZelmTwoBodyInteractionType : public CInteractionType {
public:
    // Registers every form of the type.
    CZelmTwoBodyInteractionType();
    ~CZelmTwoBodyInteractionType() override;

    // The two atom-type identifiers in canonical order: the received pair or
    // its reverse, whichever CAtomTypeOrderingComparator ranks first (the
    // received pair when neither ranks first). A list that does not hold two
    // identifiers comes back unchanged.
    std::list<unsigned> GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const override;
};
