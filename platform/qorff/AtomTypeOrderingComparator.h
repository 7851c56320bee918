// The order of lists of atom-type identifiers used to put the atom types of
// an interaction into canonical order: lexicographic, element by element by
// value, a list that is a prefix of another ranking first.
#pragma once

#include <list>

class CAtomTypeOrderingComparator {
public:
    bool operator()(const std::list<unsigned>& left, const std::list<unsigned>& right) const;
};
