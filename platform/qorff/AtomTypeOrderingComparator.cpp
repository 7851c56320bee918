#include "qorff/AtomTypeOrderingComparator.h"

#include <algorithm>

bool CAtomTypeOrderingComparator::operator()(const std::list<unsigned>& left,
                                             const std::list<unsigned>& right) const
{
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end());
}
