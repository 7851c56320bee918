#include "forcefield/FormRules.h"

#include <cstddef>

namespace FormRules {

std::list<unsigned> KeepOrder(const std::list<unsigned>& atomTypeIds)
{
    return atomTypeIds;
}

int IndexOfOptionMolAsBond(const CFunctionalForm& form, const std::string& keyword)
{
    const int exact = form.CFunctionalForm::IndexOfBooleanOption(keyword);
    if (exact != CFunctionalForm::NotFound || keyword != "mol")
        return exact;
    return form.CFunctionalForm::IndexOfBooleanOption("bond");
}

bool SetIntegerOptionOnly(int index, int value, std::vector<CIntegerOption>& integers)
{
    if (index < 0 || static_cast<std::size_t>(index) >= integers.size())
        return false;
    integers[static_cast<std::size_t>(index)].SetValue(value);
    return true;
}

}  // namespace FormRules
