// Rules that the forms of several interaction types share.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "qorff/FunctionalForm.h"

namespace FormRules {

// The atom types of a three-body or four-body interaction keep the order in
// which they are given: a copy of the list.
std::list<unsigned> KeepOrder(const std::list<unsigned>& atomTypeIds);

// The boolean option that a keyword names when "mol" may stand for "bond":
// a form with an option "mol" of its own is reached there by the keyword;
// on any other form "mol" names the option "bond". Every other keyword is
// looked up exactly (case-sensitive); NotFound when nothing matches.
int IndexOfOptionMolAsBond(const CFunctionalForm& form, const std::string& keyword);

// An integer option that changes nothing else: false for an index that
// names no option, else the option's own setter takes the value (its
// description may refuse it by throwing) and the answer is true.
bool SetIntegerOptionOnly(int index, int value, std::vector<CIntegerOption>& integers);

}  // namespace FormRules
